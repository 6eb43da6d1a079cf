// Every localised string key and image asset name that the agent's code asks the bundle for.
// The resource test checks each against resources/strings/*.json and resources/images/; whoever
// adds a lookup of a new key or image adds its name here. Constant data, any thread.
#pragma once

#include <string_view>
#include <vector>

namespace resources {

// Keys of the string tables (strings/ko.json, strings/en.json); each table holds every one.
const std::vector<std::string_view>& stringKeys();

// Image asset names, without extension (images/<name>.svg or .png).
const std::vector<std::string_view>& imageNames();

} // namespace resources
