// SPDX-License-Identifier: GPL-3.0-or-later
// A strict reader of JSON documents (RFC 8259) of the kind this program writes: objects,
// arrays, strings, whole numbers, booleans and null. A document that is not valid JSON, holds
// a number with a fraction or an exponent or beyond 64 bits, names one member twice or nests
// deeper than JSON_DEPTH_MAXIMUM reads as nothing.
//
// Every value keeps the text it was read from, so a part of one document can be written into
// another unchanged.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pictavo {

// Reports nest three levels; a deeper document is not one of them, and the reader's own
// recursion stays small.
constexpr int JSON_DEPTH_MAXIMUM = 32;

struct JsonValue {
    enum class Kind { Null, Boolean, Integer, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    std::int64_t integer = 0;
    std::string text; // a string's value, escapes resolved
    std::vector<JsonValue> items;
    std::vector<std::pair<std::string, JsonValue>> members; // in document order
    std::string_view source; // the value's own text inside the document read

    // The member of that name, or nullptr (also for a value that is not an object).
    const JsonValue* find(std::string_view name) const;
    bool is(Kind wanted) const { return kind == wanted; }
};

// The document's value; nothing when text is not such a document. The values' source views
// point into text, which must outlive them.
std::optional<JsonValue> read_json(std::string_view text);

} // namespace pictavo
