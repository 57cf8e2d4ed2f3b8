#include <gtest/gtest.h>

#include "text.hpp"

using namespace pellorine::text;

TEST(Text, TrimFollowsUnicodeWhiteSpace) {
    struct Case { std::string_view in, out; } cases[] = {
        {"  a b \t\r\n", "a b"},
        {"\xE2\x80\x8Bx", "\xE2\x80\x8Bx"},     // zero-width space is not White_Space
        {"\x85y\x85", "\x85y\x85"},             // a stray continuation byte is not space
        {"\xC2\x85z\xE2\x80\xA8", "z"},          // U+0085 NEL and the line separator are
    };
    for (const auto& c : cases) EXPECT_EQ(trim(c.in), c.out) << c.in;
}

TEST(Text, QuotedForm) {
    struct Case { std::string_view in, out; } cases[] = {
        {std::string_view("\t\r\n\0", 4), "\"\\t\\r\\n\\0\""},
        {"\x01\x7F", "\"\\u{1}\\u{7f}\""},
        {"e\xCC\x81", "\"e\\u{301}\""},                 // combining acute: Grapheme_Extend
        {"\xC3\xA9\xF0\x9F\x98\x80", "\"\xC3\xA9\xF0\x9F\x98\x80\""},  // printable stays
        {"\xC2\xA0\xE2\x80\x8B", "\"\\u{a0}\\u{200b}\""},  // Zs and Cf
        {"\xEE\x80\x80", "\"\\u{e000}\""},              // private use
        {"\xFF", "\"\xEF\xBF\xBD\""},                   // invalid byte reads as U+FFFD
    };
    for (const auto& c : cases) EXPECT_EQ(quoted(c.in), c.out) << c.in;
}

// Full lowercase mapping, UTF-8 validity and Unicode classes.
TEST(Text, CaseAndClasses) {
    EXPECT_EQ(unicode_lowercase("F\xC3\x89VRIER"), "f\xC3\xA9vrier");
    EXPECT_EQ(unicode_lowercase("\xC4\xB0\xF0\x90\x90\x80"), "i\xCC\x87\xF0\x90\x90\xA8");  // lengthens; non-BMP
    EXPECT_TRUE(is_valid_utf8("\xEF\xBF\xBD"));
    for (std::string_view bad : {"\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82", "1234567\x80"})
        EXPECT_FALSE(is_valid_utf8(bad)) << bad;
    EXPECT_TRUE(is_alphabetic(U'\u05D0'));
    EXPECT_TRUE(is_numeric(U'\u2167'));  // Nl
    EXPECT_FALSE(is_numeric(U'x'));
}

TEST(Text, ParseUnsigned) {
    EXPECT_EQ(std::pair(parse_unsigned("+0065535", 65535), parse_unsigned("65536", 65535)),
              std::pair(std::optional<std::uint64_t>(65535), std::optional<std::uint64_t>()));
    for (auto bad : {"", "+", "-1", "++1", " 1", "1 ", "1a"})
        EXPECT_EQ(parse_unsigned(bad, UINT64_MAX), std::nullopt) << bad;
}
