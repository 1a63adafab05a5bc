// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/json_writer.h"
#include "json_reader.h"

#include <gtest/gtest.h>

namespace pictavo {
namespace {

TEST(JsonWriter, StringsReadBackAsWrittenWhateverTheyHold)
{
    const struct {
        std::string text;
        std::string read_back; // what a JSON reader gets from the written string
    } cases[] = {
        {"plain/photo.jpg", "plain/photo.jpg"},
        {"a \"quoted\" \\ name", "a \"quoted\" \\ name"},
        {std::string("tab\tline\nfeed\rbell\a nul") + '\0' + "\x1f del\x7f", std::string("tab\tline\nfeed\rbell\a nul") + '\0' + "\x1f del\x7f"},
        {"Fotos/Grüße/日本/😀.jpg", "Fotos/Grüße/日本/😀.jpg"}, // UTF-8 passes through
        // Bytes that are no UTF-8 (a name from another system, an overlong '/', a surrogate,
        // a sequence cut short) each become U+FFFD.
        {"caf\xE9.jpg", "caf\xEF\xBF\xBD.jpg"},
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"end\xE6\x97", "end\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const auto& [text, read_back] : cases) {
        JsonWriter json;
        json.begin_array();
        json.value(text);
        json.end_array();
        const auto document = test::read_json(json.text());
        ASSERT_TRUE(document) << json.text();
        ASSERT_EQ(document->items.size(), 1u);
        EXPECT_EQ(document->items[0].text, read_back) << json.text();
    }
    // Passed through as UTF-8, not as \u escapes (which a reader would also turn back).
    JsonWriter utf8;
    utf8.value("Grüße/😀");
    EXPECT_EQ(utf8.text(), "\"Grüße/😀\"");
}

} // namespace
} // namespace pictavo
