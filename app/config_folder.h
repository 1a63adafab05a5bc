// SPDX-License-Identifier: GPL-3.0-or-later
// The folder where the program keeps what it stores for its user: the service key and the
// window's remembered folders and options.
#pragma once

#include <string>

namespace pictavo {

// "$XDG_CONFIG_HOME/pictavo/", or "$HOME/.config/pictavo/" when XDG_CONFIG_HOME is unset,
// empty or relative (a relative one is ignored, as the desktop's base-directory rules say).
// Empty when neither gives an absolute folder. Either argument may be null.
std::string config_folder_of(const char* xdg_config_home, const char* home);

// The same for this process: its environment, and the account's home folder from the user
// database when HOME is unset.
std::string config_folder_of_process();

// Creates the folder and any missing parents, each readable by the owner only (0700); folders
// that exist already are left as they are. 1 when the folder exists as a folder afterwards.
int make_private_folder(const std::string& folder);

} // namespace pictavo
