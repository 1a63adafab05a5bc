// SPDX-License-Identifier: GPL-3.0-or-later
// A temporary folder for one test, removed with everything in it when the test ends.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace pictavo {

class TestFolder {
public:
    TestFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "pictavo-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            root_ = pattern;
    }
    ~TestFolder()
    {
        std::error_code ignored;
        // Make read-only leftovers removable before removing the tree.
        for (auto it = std::filesystem::recursive_directory_iterator(root_, ignored);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(root_, ignored);
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    // The folder itself, ending with '/'.
    std::string root() const { return root_ + "/"; }
    std::string path(const std::string& relative) const { return root_ + "/" + relative; }

    void write(const std::string& relative, const std::string& content) const
    {
        const std::filesystem::path file = path(relative);
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
    }
    void make_folder(const std::string& relative) const
    {
        std::filesystem::create_directories(path(relative));
    }
    std::string read(const std::string& relative) const
    {
        std::ifstream in(path(relative), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    bool exists(const std::string& relative) const { return std::filesystem::exists(path(relative)); }

    // Names directly in the folder (or in a sub-folder), sorted.
    std::vector<std::string> entries(const std::string& relative = "") const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(relative.empty() ? root_ : path(relative)))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::string root_;
};

} // namespace pictavo
