// SPDX-License-Identifier: GPL-3.0-or-later
// The final message of a run as tests compare it.
#pragma once

#include <string>

namespace pictavo::test {

// The message without its last line of saved bytes ("Saved ..." or "The outputs are ...
// larger ..."), whose figures follow the encoders' exact output sizes; the tests of those
// figures read that line on its own. The line break that ends a printed message stays.
inline std::string without_savings_line(const std::string& text)
{
    const bool printed = !text.empty() && text.back() == '\n';
    const std::string body = printed ? text.substr(0, text.size() - 1) : text;
    const std::size_t start = body.rfind('\n');
    const std::string last = start == std::string::npos ? body : body.substr(start + 1);
    if (last.rfind("Saved ", 0) != 0 && last.rfind("The outputs are ", 0) != 0)
        return text;
    return body.substr(0, start == std::string::npos ? 0 : start) + (printed ? "\n" : "");
}

} // namespace pictavo::test
