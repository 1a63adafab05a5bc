// SPDX-License-Identifier: GPL-3.0-or-later
// The program's own strict JSON reader, with the lookups tests want: a document that is not
// valid JSON reads as nothing, so a test that reads one back checks its form too, and a
// missing member reads as null.
#pragma once

#include "cli/json_reader.h"

#include <map>
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

inline JsonValue test_value(const pictavo::JsonValue& read)
{
    using Read = pictavo::JsonValue::Kind;
    JsonValue value;
    switch (read.kind) {
    case Read::Null: value.kind = JsonValue::Kind::Null; break;
    case Read::Boolean: value.kind = JsonValue::Kind::Boolean; break;
    case Read::Integer: value.kind = JsonValue::Kind::Number; break;
    case Read::String: value.kind = JsonValue::Kind::String; break;
    case Read::Array: value.kind = JsonValue::Kind::Array; break;
    case Read::Object: value.kind = JsonValue::Kind::Object; break;
    }
    value.boolean = read.boolean;
    value.number = static_cast<double>(read.integer);
    value.text = read.text;
    for (const pictavo::JsonValue& item : read.items)
        value.items.push_back(test_value(item));
    for (const auto& [name, member] : read.members)
        value.members.emplace(name, test_value(member));
    return value;
}

inline std::optional<JsonValue> read_json(std::string_view text)
{
    const std::optional<pictavo::JsonValue> read = pictavo::read_json(text);
    if (!read)
        return std::nullopt;
    return test_value(*read);
}

} // namespace pictavo::test
