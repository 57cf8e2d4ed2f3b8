// The one JSON writer: escaping, the repair of invalid UTF-8, the string
// overloads, and one writer serving several texts in turn.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "json.hpp"

using pellorine::json::Writer;

namespace {

std::string one_string(std::string_view s) {
    Writer w;
    w.string(s);
    return w.take();
}

TEST(JsonWriterText, EscapesAndRepairs) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain", R"("plain")"},
        {"\"\\/", R"("\"\\/")"},
        {"\n\r\t\b\f", R"("\n\r\t\b\f")"},
        {std::string("a\0b\x1f\x7f", 5), "\"a\\u0000b\\u001F\x7f\""},
        {"\xC3\xA9\xE2\x80\xA6\xF0\x9F\x98\x80", "\"\xC3\xA9\xE2\x80\xA6\xF0\x9F\x98\x80\""},
        {"\xEF\xBF\xBD", "\"\xEF\xBF\xBD\""},  // U+FFFD itself is valid and kept
        // Each invalid byte becomes U+FFFD: a lone continuation byte, a cut
        // sequence, an overlong form, a surrogate, a code point past U+10FFFF.
        {"a\x80z", "\"a\xEF\xBF\xBDz\""},
        {"\xE2\x82|", "\"\xEF\xBF\xBD\xEF\xBF\xBD|\""},
        {"\xC0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"\xF4\x90\x80\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"\xC3", "\"\xEF\xBF\xBD\""},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(one_string(in), out) << in;
}

TEST(JsonWriterText, KeysAreEscapedAndRepairedLikeStrings) {
    // A literal key is checked when compiling; any other text is escaped and repaired.
    const std::string_view odd = "a\"\xFF";
    const std::string owned = "b\n";
    Writer w;
    w.begin_object().key("plain").uint(1).key(odd).null().key(owned).null().key(owned.c_str()).null().end_object();
    EXPECT_EQ(w.take(), "{\"plain\":1,\"a\\\"\xEF\xBF\xBD\":null,\"b\\n\":null,\"b\\n\":null}");
}

TEST(JsonWriterText, EveryStringOverloadWritesTheSameText) {
    const std::string s = "x\"y";
    Writer w;
    w.begin_array()
        .string(s)
        .string("x\"y")
        .string(std::string_view(s))
        .string(std::optional<std::string>(s))
        .string(std::optional<std::string_view>(s))
        .string(std::optional<std::string>())
        .string(std::optional<std::string_view>())
        .end_array();
    EXPECT_EQ(w.take(), R"(["x\"y","x\"y","x\"y","x\"y","x\"y",null,null])");
}

TEST(JsonWriterNumbers, WritesTheFullRanges) {
    Writer w;
    w.begin_array().uint(0).uint(18446744073709551615ull).int64(-9223372036854775807ll - 1).int64(42);
    w.boolean(false).end_array();
    EXPECT_EQ(w.take(), "[0,18446744073709551615,-9223372036854775808,42,false]");
}

TEST(JsonWriterReuse, ClearStartsAFreshTextInTheSameWriter) {
    Writer w;
    EXPECT_EQ(w.view(), "");
    std::string long_text(1000, 'q');
    w.begin_object().key("a").string(long_text).end_object();
    EXPECT_EQ(w.view(), "{\"a\":\"" + long_text + "\"}");
    // A text that needed repair must not leak into the next one.
    w.clear();
    w.begin_array().string("\xFF").end_array();
    EXPECT_EQ(w.view(), "[\"\xEF\xBF\xBD\"]");
    w.clear();
    EXPECT_EQ(w.view(), "");
    w.begin_object().key("b").uint(1).end_object();
    EXPECT_EQ(w.view(), R"({"b":1})");
    EXPECT_EQ(w.take(), R"({"b":1})");
}

}  // namespace
