// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/json_writer.h"

namespace pictavo {
namespace {

constexpr const char* REPLACEMENT_CHARACTER = "\xEF\xBF\xBD"; // U+FFFD in UTF-8

// The length of the well-formed UTF-8 sequence at text[at] (RFC 3629: no overlong forms, no
// surrogates, nothing above U+10FFFF), or 0 when the byte there does not start one.
std::size_t utf8_sequence_length(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // the allowed range of the second byte
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF)
            return 0;
    return length;
}

void append_escaped(std::string& out, unsigned char c)
{
    switch (c) {
    case '"': out += "\\\""; return;
    case '\\': out += "\\\\"; return;
    case '\b': out += "\\b"; return;
    case '\f': out += "\\f"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    default: break;
    }
    if (c < 0x20 || c == 0x7F) {
        constexpr char hex[] = "0123456789abcdef";
        out += "\\u00";
        out += hex[c >> 4];
        out += hex[c & 0xF];
        return;
    }
    out += static_cast<char>(c);
}

} // namespace

std::string json_string(std::string_view text)
{
    std::string out = "\"";
    out.reserve(text.size() + 2);
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8_sequence_length(text, at);
        if (length == 0) {
            out += REPLACEMENT_CHARACTER;
            ++at;
        } else if (length == 1) {
            append_escaped(out, static_cast<unsigned char>(text[at]));
            ++at;
        } else {
            out.append(text.substr(at, length));
            at += length;
        }
    }
    out += '"';
    return out;
}

void JsonWriter::before_value()
{
    if (after_key_) {
        after_key_ = false;
        return;
    }
    if (empty_.empty())
        return;
    if (!empty_.back())
        text_ += ',';
    empty_.back() = false;
    text_ += '\n';
    text_.append(2 * empty_.size(), ' ');
}

void JsonWriter::open(char bracket)
{
    before_value();
    text_ += bracket;
    empty_.push_back(true);
}

void JsonWriter::close(char bracket)
{
    const bool was_empty = empty_.empty() || empty_.back();
    if (!empty_.empty())
        empty_.pop_back();
    if (!was_empty) {
        text_ += '\n';
        text_.append(2 * empty_.size(), ' ');
    }
    text_ += bracket;
    if (empty_.empty())
        text_ += '\n';
}

void JsonWriter::begin_object() { open('{'); }
void JsonWriter::end_object() { close('}'); }
void JsonWriter::begin_array() { open('['); }
void JsonWriter::end_array() { close(']'); }

void JsonWriter::key(std::string_view name)
{
    before_value();
    text_ += json_string(name);
    text_ += ": ";
    after_key_ = true;
}

void JsonWriter::value(std::string_view text)
{
    before_value();
    text_ += json_string(text);
}

void JsonWriter::value(std::int64_t number)
{
    before_value();
    text_ += std::to_string(number);
}

void JsonWriter::value(bool truth)
{
    before_value();
    text_ += truth ? "true" : "false";
}

void JsonWriter::null()
{
    before_value();
    text_ += "null";
}

void JsonWriter::json_value(std::string_view json)
{
    before_value();
    text_ += json;
}

} // namespace pictavo
