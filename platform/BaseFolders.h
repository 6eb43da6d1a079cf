// The user's base folders by the XDG base-directory rules: the settings live under the config
// home, the log file (where no system log listens) under the state home. Any thread.
#pragma once

#include <string>

namespace platform {

// $XDG_CONFIG_HOME when it is set to an absolute path, else ~/.config.
std::string configHome();
// $XDG_STATE_HOME when it is set to an absolute path, else ~/.local/state.
std::string stateHome();

} // namespace platform
