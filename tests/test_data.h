// SPDX-License-Identifier: GPL-3.0-or-later
// The test images kept in tests/data. A file that is missing there fails the test that asked
// for it with a message naming the file (GoogleTest reports the exception), never a crash on
// an empty buffer.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace pictavo::test {

inline std::string testdata(const std::string& relative)
{
    const std::string path = std::string(PICTAVO_TEST_DATA) + "/" + relative;
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        throw std::runtime_error("test data missing: " + path);
    return path;
}

} // namespace pictavo::test
