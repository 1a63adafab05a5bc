// SPDX-License-Identifier: GPL-3.0-or-later
// A small JSON writer for the run report: objects, arrays, strings, whole numbers, booleans
// and null, indented two blanks a level.
//
// Strings are written as RFC 8259 asks: the quotation mark, the backslash and every control
// character escaped, UTF-8 passed through. File names on this host are bytes, not always
// UTF-8; a byte that does not belong to a well-formed UTF-8 sequence becomes U+FFFD, so the
// report stays valid JSON whatever the names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pictavo {

// text as a JSON string, with its quotation marks.
std::string json_string(std::string_view text);

class JsonWriter {
public:
    void begin_object();
    void end_object();
    void begin_array();
    void end_array();
    // Inside an object: the name of the next value.
    void key(std::string_view name);
    void value(std::string_view text);
    void value(const char* text) { value(std::string_view(text)); }
    void value(std::int64_t number);
    void value(int number) { value(static_cast<std::int64_t>(number)); }
    void value(bool truth);
    void null();
    // A value that is JSON text already (a value of another document, as read), put in as it
    // is; it keeps its own line breaks and indentation.
    void json_value(std::string_view json);
    // key(name) and its value.
    template <typename Value>
    void member(std::string_view name, const Value& content)
    {
        key(name);
        value(content);
    }
    void null_member(std::string_view name)
    {
        key(name);
        null();
    }

    // The document so far; complete once every object and array is ended.
    const std::string& text() const { return text_; }

private:
    void before_value();
    void open(char bracket);
    void close(char bracket);

    std::string text_;
    std::vector<bool> empty_; // one per open object or array: nothing written in it yet
    bool after_key_ = false;
};

} // namespace pictavo
