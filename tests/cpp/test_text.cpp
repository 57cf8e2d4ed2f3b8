#include <gtest/gtest.h>

#include "text.hpp"

using namespace pellorine::text;

TEST(Text, TrimFollowsUnicodeWhiteSpace) {
    struct Case { std::string_view in, out; } cases[] = {
        {"", ""},
        {"  a b \t\r\n", "a b"},
        {"\xC2\xA0x\xE3\x80\x80", "x"},         // no-break space, ideographic space
        {"\xE2\x80\x8Bx", "\xE2\x80\x8Bx"},     // zero-width space is not White_Space
        {"\x85y\x85", "\x85y\x85"},             // a stray continuation byte is not space
        {"\xC2\x85z", "z"},                     // U+0085 NEL is
        {"\xE2\x80\xA8", ""},                   // line separator alone
    };
    for (const auto& c : cases) EXPECT_EQ(trim(c.in), c.out) << c.in;
}

TEST(Text, QuotedForm) {
    struct Case { std::string_view in, out; } cases[] = {
        {"", "\"\""},
        {"ab'c", "\"ab'c\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
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

TEST(Text, CaseFolding) {
    EXPECT_TRUE(ascii_iequals("@i1@", "@I1@"));
    EXPECT_FALSE(ascii_iequals("\xC3\xA9", "\xC3\x89"));  // only ASCII folds
    EXPECT_EQ(ascii_uppercase("abz@\xC3\xA9"), "ABZ@\xC3\xA9");
    EXPECT_EQ(unicode_lowercase("JANVIER"), "janvier");
    EXPECT_EQ(unicode_lowercase("F\xC3\x89VRIER"), "f\xC3\xA9vrier");
    EXPECT_EQ(unicode_lowercase("\xC4\xB0"), "i\xCC\x87");  // full mapping lengthens U+0130
    EXPECT_EQ(unicode_lowercase("\xF0\x90\x90\x80"), "\xF0\x90\x90\xA8");  // Deseret, non-BMP
}

TEST(Text, Utf8Decoding) {
    struct Case { std::string_view in; bool valid; } cases[] = {
        {"plain ascii text here", true},
        {"\xC3\xA9", true},
        {"\xEF\xBF\xBD", true},
        {"\xC0\x80", false},          // overlong
        {"\xED\xA0\x80", false},      // surrogate
        {"\xF4\x90\x80\x80", false},  // past U+10FFFF
        {"\xE2\x82", false},          // truncated
    };
    for (const auto& c : cases) EXPECT_EQ(is_valid_utf8(c.in), c.valid) << c.in;
    std::string out;
    append_utf8(out, 0x1F600);
    append_utf8(out, 0xD800);
    EXPECT_EQ(out, "\xF0\x9F\x98\x80\xEF\xBF\xBD");
}

TEST(Text, CharacterClasses) {
    EXPECT_TRUE(is_alphabetic(U'\u00E9'));
    EXPECT_TRUE(is_alphabetic(U'\u05D0'));
    EXPECT_FALSE(is_alphabetic(U'1'));
    EXPECT_TRUE(is_numeric(U'\u0663'));  // Arabic-Indic three
    EXPECT_TRUE(is_numeric(U'\u2167'));  // Roman numeral eight (Nl)
    EXPECT_FALSE(is_numeric(U'x'));
}

TEST(Text, ParseUnsigned) {
    EXPECT_EQ(parse_unsigned("+007", 65535), 7u);
    EXPECT_EQ(parse_unsigned("65535", 65535), 65535u);
    EXPECT_EQ(parse_unsigned("65536", 65535), std::nullopt);
    EXPECT_EQ(parse_unsigned("18446744073709551615", UINT64_MAX), UINT64_MAX);
    EXPECT_EQ(parse_unsigned("18446744073709551616", UINT64_MAX), std::nullopt);
    for (auto bad : {"", "+", "-1", "++1", " 1", "1 ", "1a"})
        EXPECT_EQ(parse_unsigned(bad, UINT64_MAX), std::nullopt) << bad;
}
