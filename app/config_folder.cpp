// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/config_folder.h"

#include "sys/files.h"

#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pictavo {
namespace {

constexpr const char* PROGRAM_FOLDER_NAME = "pictavo/";

// Room for one entry of the user database; the lookup fails cleanly when it is not enough.
constexpr std::size_t PASSWORD_ENTRY_BUFFER = 16384;

bool is_absolute(const char* path) { return path != nullptr && path[0] == '/'; }

std::string with_slash(std::string folder)
{
    if (folder.back() != '/')
        folder += '/';
    return folder;
}

std::string home_from_user_database()
{
    std::vector<char> buffer(PASSWORD_ENTRY_BUFFER);
    passwd entry {};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
        return {};
    return is_absolute(found->pw_dir) ? found->pw_dir : std::string();
}

} // namespace

std::string config_folder_of(const char* xdg_config_home, const char* home)
{
    if (is_absolute(xdg_config_home))
        return with_slash(xdg_config_home) + PROGRAM_FOLDER_NAME;
    if (is_absolute(home))
        return with_slash(home) + ".config/" + PROGRAM_FOLDER_NAME;
    return {};
}

std::string config_folder_of_process()
{
    const char* home = std::getenv("HOME");
    if (is_absolute(home))
        return config_folder_of(std::getenv("XDG_CONFIG_HOME"), home);
    const std::string account_home = home_from_user_database();
    return config_folder_of(std::getenv("XDG_CONFIG_HOME"), account_home.empty() ? nullptr : account_home.c_str());
}

int make_private_folder(const std::string& folder)
{
    if (folder.empty() || folder[0] != '/')
        return 0;
    // Each parent in turn, so a missing ~/.config is made private too.
    for (std::size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (file_size(part) == FILE_SIZE_MISSING)
            ::mkdir(part.c_str(), 0700);
    }
    if (file_size(folder) == FILE_SIZE_MISSING)
        ::mkdir(folder.c_str(), 0700);
    return file_size(folder) == FILE_SIZE_FOLDER ? 1 : 0;
}

} // namespace pictavo
