// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/json_reader.h"

#include <limits>

namespace pictavo {
namespace {

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    std::optional<JsonValue> document()
    {
        JsonValue value;
        if (!read_value(value, 0))
            return std::nullopt;
        skip_blanks();
        if (at_ != text_.size())
            return std::nullopt;
        return value;
    }

private:
    void skip_blanks()
    {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\n' || text_[at_] == '\r' || text_[at_] == '\t'))
            ++at_;
    }
    bool take(char c)
    {
        skip_blanks();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool word(std::string_view expected)
    {
        if (text_.substr(at_, expected.size()) != expected)
            return false;
        at_ += expected.size();
        return true;
    }

    bool read_value(JsonValue& value, int depth)
    {
        skip_blanks();
        if (at_ >= text_.size() || depth > JSON_DEPTH_MAXIMUM)
            return false;
        const std::size_t start = at_;
        bool read = false;
        switch (text_[at_]) {
        case '{': read = read_object(value, depth); break;
        case '[': read = read_array(value, depth); break;
        case '"': value.kind = JsonValue::Kind::String; read = read_string(value.text); break;
        case 't': value.kind = JsonValue::Kind::Boolean; value.boolean = true; read = word("true"); break;
        case 'f': value.kind = JsonValue::Kind::Boolean; read = word("false"); break;
        case 'n': read = word("null"); break;
        default: read = read_integer(value); break;
        }
        value.source = text_.substr(start, at_ - start);
        return read;
    }

    bool read_object(JsonValue& value, int depth)
    {
        value.kind = JsonValue::Kind::Object;
        ++at_;
        if (take('}'))
            return true;
        do {
            std::string name;
            skip_blanks();
            if (at_ >= text_.size() || text_[at_] != '"' || !read_string(name) || !take(':') || value.find(name))
                return false;
            value.members.emplace_back(std::move(name), JsonValue{});
            if (!read_value(value.members.back().second, depth + 1))
                return false;
        } while (take(','));
        return take('}');
    }

    bool read_array(JsonValue& value, int depth)
    {
        value.kind = JsonValue::Kind::Array;
        ++at_;
        if (take(']'))
            return true;
        do {
            value.items.emplace_back();
            if (!read_value(value.items.back(), depth + 1))
                return false;
        } while (take(','));
        return take(']');
    }

    // -?(0|[1-9][0-9]*) within 64 bits; a fraction or an exponent is not one of ours.
    bool read_integer(JsonValue& value)
    {
        const bool negative = at_ < text_.size() && text_[at_] == '-';
        if (negative)
            ++at_;
        const std::size_t digits = at_;
        std::uint64_t magnitude = 0;
        const std::uint64_t limit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
        while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
            const auto digit = static_cast<std::uint64_t>(text_[at_++] - '0');
            if (magnitude > (limit - digit) / 10)
                return false;
            magnitude = magnitude * 10 + digit;
        }
        if (at_ == digits || (text_[digits] == '0' && at_ - digits > 1))
            return false;
        if (at_ < text_.size() && (text_[at_] == '.' || text_[at_] == 'e' || text_[at_] == 'E'))
            return false;
        value.kind = JsonValue::Kind::Integer;
        value.integer = negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
        return true;
    }

    std::optional<unsigned> read_hex4()
    {
        if (at_ + 4 > text_.size())
            return std::nullopt;
        unsigned code = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = text_[at_++];
            const unsigned digit = c >= '0' && c <= '9'   ? static_cast<unsigned>(c - '0')
                                   : c >= 'a' && c <= 'f' ? static_cast<unsigned>(c - 'a' + 10)
                                   : c >= 'A' && c <= 'F' ? static_cast<unsigned>(c - 'A' + 10)
                                                          : 16u;
            if (digit == 16)
                return std::nullopt;
            code = code * 16 + digit;
        }
        return code;
    }

    // A \u escape, with the second half of a surrogate pair, as UTF-8.
    bool read_unicode_escape(std::string& out)
    {
        auto code = read_hex4();
        if (!code || (*code >= 0xDC00 && *code <= 0xDFFF))
            return false;
        if (*code >= 0xD800 && *code <= 0xDBFF) {
            if (!word("\\u"))
                return false;
            const auto low = read_hex4();
            if (!low || *low < 0xDC00 || *low > 0xDFFF)
                return false;
            code = 0x10000 + ((*code - 0xD800) << 10) + (*low - 0xDC00);
        }
        append_utf8(out, *code);
        return true;
    }

    static void append_utf8(std::string& out, unsigned code)
    {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    // A string with its escapes resolved; raw control characters are refused.
    bool read_string(std::string& out)
    {
        ++at_;
        while (at_ < text_.size()) {
            const auto c = static_cast<unsigned char>(text_[at_++]);
            if (c == '"')
                return true;
            if (c < 0x20)
                return false;
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (at_ >= text_.size())
                return false;
            switch (const char escape = text_[at_++]) {
            case '"': case '\\': case '/': out += escape; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u':
                if (!read_unicode_escape(out))
                    return false;
                break;
            default: return false;
            }
        }
        return false;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

} // namespace

const JsonValue* JsonValue::find(std::string_view name) const
{
    for (const auto& [member, value] : members)
        if (member == name)
            return &value;
    return nullptr;
}

std::optional<JsonValue> read_json(std::string_view text) { return Reader(text).document(); }

} // namespace pictavo
