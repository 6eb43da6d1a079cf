// The settings suites' files: where a suite is stored, reading one (a file that cannot be read as
// settings is renamed aside and logged; temp files of writes that were killed are removed) and
// writing one atomically (temp file, fsync, rename). Plain functions; any thread, one write per
// file at a time (the suite's write lock).
#pragma once

#include "platform/SettingsText.h"

#include <string>

namespace platform {

// $XDG_CONFIG_HOME/olvex-student/<suite>.json, ~/.config when unset.
std::string settingsPathForSuite(const std::string& name);
// Adds the file's values to contents; a missing file adds nothing.
void loadSettingsFile(const std::string& path, SettingsContents& contents);
// True when the file holds contents afterwards.
bool saveSettingsFile(const std::string& path, const SettingsContents& contents);

} // namespace platform
