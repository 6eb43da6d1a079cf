// User-facing texts by key, from the bundle's string tables (resources/strings/<lang>.json,
// Korean and English). The first preferred language decides the table; a missing key gives "".
#pragma once

#include <string>
#include <vector>

namespace platform {

std::string localizedString(const std::string& key);

// The user's preferred languages, first first ("ko-KR", "en-US", ...), from the locale.
std::vector<std::string> preferredLanguages();
std::string firstPreferredLanguage();
// Overrides the preferred languages (tests; an empty list restores the locale's).
void setPreferredLanguagesForTesting(std::vector<std::string> languages);

// Folder holding the bundle's resources (strings/, images/). Defaults to the one found from the
// running executable (findResourcesDirectory), so a moved or installed program finds its own.
std::string resourcesDirectory();
// The bundle folder "share/olvex-student" of the prefix that holds the executable: its parent
// folder's parent (bin/.. of an install, app/.. of the build tree), or up to two folders higher for
// the build tree's test programs. Empty when there is none.
std::string findResourcesDirectory(const std::string& executable);
void setResourcesDirectory(const std::string& path);

} // namespace platform
