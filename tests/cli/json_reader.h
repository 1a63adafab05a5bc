// SPDX-License-Identifier: GPL-3.0-or-later
// A strict reader of JSON documents for tests of what the program writes: a document that is
// not valid JSON (RFC 8259) reads as nothing, so a test that reads one back checks its form too.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pictavo::test {

struct JsonValue {
    enum class Kind { Null, Boolean, Number, String, Array, Object } kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<JsonValue> items;
    std::map<std::string, JsonValue> members;

    const JsonValue& operator[](const std::string& name) const
    {
        static const JsonValue missing;
        const auto found = members.find(name);
        return found == members.end() ? missing : found->second;
    }
    bool is_null() const { return kind == Kind::Null; }
};

class JsonReader {
public:
    explicit JsonReader(std::string_view text) : text_(text) {}

    std::optional<JsonValue> document()
    {
        JsonValue value;
        if (!read_value(value, 0))
            return std::nullopt;
        skip_blanks();
        return at_ == text_.size() ? std::optional<JsonValue>(std::move(value)) : std::nullopt;
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
        if (at_ >= text_.size() || depth > 64)
            return false;
        switch (text_[at_]) {
        case '{': return read_object(value, depth);
        case '[': return read_array(value, depth);
        case '"': value.kind = JsonValue::Kind::String; return read_string(value.text);
        case 't': value.kind = JsonValue::Kind::Boolean; value.boolean = true; return word("true");
        case 'f': value.kind = JsonValue::Kind::Boolean; return word("false");
        case 'n': return word("null");
        default: return read_number(value);
        }
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
            if (at_ >= text_.size() || text_[at_] != '"' || !read_string(name) || !take(':') ||
                !read_value(value.members[name], depth + 1))
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
    bool read_number(JsonValue& value)
    {
        const std::size_t start = at_;
        if (at_ < text_.size() && text_[at_] == '-')
            ++at_;
        const std::size_t digits = at_;
        while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9')
            ++at_;
        if (at_ == digits || (text_[digits] == '0' && at_ - digits > 1))
            return false;
        value.kind = JsonValue::Kind::Number;
        value.number = std::stod(std::string(text_.substr(start, at_ - start)));
        return true;
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
            const char escape = text_[at_++];
            switch (escape) {
            case '"': case '\\': case '/': out += escape; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                if (at_ + 4 > text_.size())
                    return false;
                const unsigned long code = std::stoul(std::string(text_.substr(at_, 4)), nullptr, 16);
                at_ += 4;
                if (code >= 0x80) // the writer escapes only control characters
                    return false;
                out += static_cast<char>(code);
                break;
            }
            default: return false;
            }
        }
        return false;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

inline std::optional<JsonValue> read_json(std::string_view text) { return JsonReader(text).document(); }

} // namespace pictavo::test
