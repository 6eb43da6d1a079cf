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

// Folder holding the bundle's resources (strings/, images/). Defaults to the build-time folder.
std::string resourcesDirectory();
void setResourcesDirectory(const std::string& path);

} // namespace platform
