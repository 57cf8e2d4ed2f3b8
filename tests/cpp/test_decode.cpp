#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "decode.hpp"
#include "text.hpp"

using namespace std::string_literals;
using pellorine::EncodingReport;
using pellorine::GedcomEncoding;
using pellorine::ParseLimits;
namespace decode = pellorine::decode;

namespace {

constexpr const char* kAnselDefault =
    "File declares no CHAR and is not valid UTF-8; read as ANSEL, the GEDCOM 5.5 default.";
constexpr const char* kInvalidUtf8 =
    "File declares UTF-8 but contains invalid UTF-8; read as Windows-1252 instead.";
constexpr const char* kUnicode =
    "File declares UNICODE but has no byte-order mark and no UTF-16 structure; read as UTF-8.";
constexpr const char* kOdd = "UTF-16 file has an odd number of bytes; the final byte was ignored.";

std::string undecodable_warning(int n, const char* enc) {
    return std::to_string(n) + " byte(s) had no mapping in " + enc + " and were replaced with U+FFFD.";
}

// ---------------------------------------------------------------------------
// The whole decoding: sniffing, CHAR reconciliation, warnings.

struct SniffCase {
    const char* name;
    std::string bytes;
    GedcomEncoding encoding;
    bool bom;
    std::optional<std::string> declared;
    std::string text;
    std::uint64_t undecodable;
    std::vector<std::string> warnings;
};

void PrintTo(const SniffCase& c, std::ostream* os) { *os << c.name; }

class Sniffing : public ::testing::TestWithParam<SniffCase> {};

TEST_P(Sniffing, DecodesAndReports) {
    const SniffCase& c = GetParam();
    auto r = decode::decode_gedcom(c.bytes);
    ASSERT_TRUE(r.has_value()) << r.error().message;
    const auto& [text, report] = *r;
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(report.encoding, c.encoding);
    EXPECT_EQ(report.bom, c.bom);
    EXPECT_EQ(report.declared, c.declared);
    EXPECT_EQ(report.undecodable, c.undecodable);
    EXPECT_EQ(report.warnings, c.warnings);
}

const std::string kHeadUtf8 = "0 HEAD\n1 CHAR UTF-8\n";

std::string with_char(const std::string& value, const std::string& body = "0 TRLR\n") {
    return "0 HEAD\n1 CHAR " + value + "\n" + body;
}

// "0 H" with an optional CHAR line, as UTF-16 units.
std::string utf16(std::string_view ascii, bool big_endian) {
    std::string out;
    for (char c : ascii) {
        if (big_endian) out += '\0', out += c;
        else out += c, out += '\0';
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Sniffing,
    ::testing::Values(
        SniffCase{"empty", "", GedcomEncoding::Utf8, false, std::nullopt, "", 0, {}},
        SniffCase{"one_byte", "A", GedcomEncoding::Utf8, false, std::nullopt, "A", 0, {}},
        SniffCase{"one_high_byte", "\xE9", GedcomEncoding::Ansel, false, std::nullopt, "\u030C", 0, {kAnselDefault}},
        SniffCase{"two_zero_bytes", "\0\0"s, GedcomEncoding::Utf8, false, std::nullopt, "\0\0"s, 0, {}},
        SniffCase{"nul_inside_utf8", "0 NOTE a\0b\n"s, GedcomEncoding::Utf8, false, std::nullopt, "0 NOTE a\0b\n"s,
                  0, {}},
        SniffCase{"utf8_bom_declares_ansel", "\xEF\xBB\xBF" "0 HEAD\n1 CHAR ANSEL\n", GedcomEncoding::Utf8, true,
                  "ANSEL", "0 HEAD\n1 CHAR ANSEL\n", 0, {}},
        SniffCase{"utf8_bom_alone", "\xEF\xBB\xBF", GedcomEncoding::Utf8, true, std::nullopt, "", 0, {}},
        SniffCase{"utf8_bom_invalid_body", "\xEF\xBB\xBF" "0 NOTE \xFF\n", GedcomEncoding::Utf8, true, std::nullopt,
                  "0 NOTE \uFFFD\n", 1, {undecodable_warning(1, "UTF-8")}},
        SniffCase{"cut_utf8_bom", "\xEF\xBB", GedcomEncoding::Ansel, false, std::nullopt, "\uFFFD\u0310", 1,
                  {kAnselDefault, undecodable_warning(1, "ANSEL")}},
        SniffCase{"utf16le_bom", "\xFF\xFE" + utf16("0 HEAD\n1 CHAR ANSEL\n", false),
                  GedcomEncoding::Utf16LittleEndian, true, "ANSEL", "0 HEAD\n1 CHAR ANSEL\n", 0, {}},
        SniffCase{"utf16be_bom", "\xFE\xFF" + utf16("0 HEAD\n", true), GedcomEncoding::Utf16BigEndian, true,
                  std::nullopt, "0 HEAD\n", 0, {}},
        SniffCase{"utf16le_bom_alone", "\xFF\xFE", GedcomEncoding::Utf16LittleEndian, true, std::nullopt, "", 0, {}},
        SniffCase{"utf16le_bom_odd", "\xFF\xFE" "0\0 "s, GedcomEncoding::Utf16LittleEndian, true, std::nullopt, "0",
                  0, {kOdd}},
        SniffCase{"utf16le_no_bom", "0\0 \0H\0"s, GedcomEncoding::Utf16LittleEndian, false, std::nullopt, "0 H", 0,
                  {"File is UTF-16 (little-endian) but carries no byte-order mark."}},
        SniffCase{"utf16le_no_bom_odd", "0\0 \0H\0!"s, GedcomEncoding::Utf16LittleEndian, false, std::nullopt, "0 H",
                  0, {"File is UTF-16 (little-endian) but carries no byte-order mark.", kOdd}},
        SniffCase{"utf16be_no_bom", utf16("0 HEAD\n1 CHAR UNICODE\n", true), GedcomEncoding::Utf16BigEndian, false,
                  "UNICODE", "0 HEAD\n1 CHAR UNICODE\n", 0,
                  {"File is UTF-16 (big-endian) but carries no byte-order mark."}},
        SniffCase{"utf16be_lone_high_surrogate", "\0" "0" "\xD8\x01"s, GedcomEncoding::Utf16BigEndian, false,
                  std::nullopt, "0\uFFFD", 1,
                  {"File is UTF-16 (big-endian) but carries no byte-order mark.", undecodable_warning(1, "UTF-16 (big-endian)")}},
        SniffCase{"utf16_odd_and_undecodable", "\xFF\xFE" "\x00\xDC" "A"s, GedcomEncoding::Utf16LittleEndian, true,
                  std::nullopt, "\uFFFD", 1, {kOdd, undecodable_warning(1, "UTF-16 (little-endian)")}},
        SniffCase{"undeclared_invalid_utf8_is_ansel", "0 NOTE caf\xE9\n", GedcomEncoding::Ansel, false, std::nullopt,
                  "0 NOTE caf\u030C\n", 0, {kAnselDefault}},
        SniffCase{"declared_utf8_invalid", kHeadUtf8 + "0 NOTE caf\xE9\n", GedcomEncoding::Windows1252, false, "UTF-8",
                  kHeadUtf8 + "0 NOTE caf\u00E9\n", 0, {kInvalidUtf8}},
        SniffCase{"declared_utf8_valid", kHeadUtf8 + "0 NOTE caf\u00E9\n", GedcomEncoding::Utf8, false, "UTF-8",
                  kHeadUtf8 + "0 NOTE caf\u00E9\n", 0, {}},
        SniffCase{"declared_ascii_with_utf8", with_char("ASCII", "0 NOTE \xC3\x96\n"), GedcomEncoding::Ascii, false,
                  "ASCII", with_char("ASCII", "0 NOTE \uFFFD\uFFFD\n"), 2, {undecodable_warning(2, "ASCII")}},
        SniffCase{"declared_unicode_invalid_utf8", with_char("UNICODE", "0 NOTE \xE9\n"), GedcomEncoding::Utf8, false,
                  "UNICODE", with_char("UNICODE", "0 NOTE \uFFFD\n"), 1, {kUnicode, undecodable_warning(1, "UTF-8")}},
        SniffCase{"declared_ansel_bad_byte", with_char("ANSEL", "0 NOTE \xAF\xFC\n"), GedcomEncoding::Ansel, false,
                  "ANSEL", with_char("ANSEL", "0 NOTE \uFFFD\uFFFD\n"), 2, {undecodable_warning(2, "ANSEL")}},
        SniffCase{"ansel_mark_before_crlf", with_char("ANSEL", "0 NOTE e\xE2\r\n0 TRLR\r\n"), GedcomEncoding::Ansel,
                  false, "ANSEL", with_char("ANSEL", "0 NOTE e\u0301\r\n0 TRLR\r\n"), 0, {}},
        SniffCase{"declared_unrecognized", with_char("MACINTOSH"), GedcomEncoding::Utf8, false, "MACINTOSH",
                  with_char("MACINTOSH"), 0, {"Unrecognized CHAR value \"MACINTOSH\"; read as UTF-8."}},
        SniffCase{"declared_quoted_form", with_char("a\"b\\c"), GedcomEncoding::Utf8, false, "a\"b\\c",
                  with_char("a\"b\\c"), 0, {"Unrecognized CHAR value \"a\\\"b\\\\c\"; read as UTF-8."}},
        SniffCase{"declared_empty_key", with_char("--"), GedcomEncoding::Utf8, false, "--", with_char("--"), 0,
                  {"Unrecognized CHAR value \"--\"; read as UTF-8."}},
        SniffCase{"declared_latin1_value", with_char("\xE9t\xE9"), GedcomEncoding::Utf8, false, "\u00E9t\u00E9",
                  with_char("\uFFFDt\uFFFD"), 2,
                  {"Unrecognized CHAR value \"\u00E9t\u00E9\"; read as UTF-8.", undecodable_warning(2, "UTF-8")}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Keys of the declared value.

struct KeyCase {
    const char* declared;
    GedcomEncoding encoding;
    const char* warning;  // nullptr: none
};

class CharKeys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(CharKeys, SelectEncoding) {
    const KeyCase& c = GetParam();
    auto r = decode::decode_gedcom(with_char(c.declared));
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->second.encoding, c.encoding);
    EXPECT_EQ(r->second.declared, c.declared);
    std::vector<std::string> expected;
    if (c.warning) expected.emplace_back(c.warning);
    EXPECT_EQ(r->second.warnings, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CharKeys,
    ::testing::Values(KeyCase{"ANSI", GedcomEncoding::Windows1252, nullptr},
                      KeyCase{"cp1252", GedcomEncoding::Windows1252, nullptr},
                      KeyCase{"IBM WINDOWS", GedcomEncoding::Windows1252, nullptr},
                      KeyCase{"Windows-1252", GedcomEncoding::Windows1252, nullptr},
                      KeyCase{"US-ASCII", GedcomEncoding::Ascii, nullptr},
                      KeyCase{"ascii", GedcomEncoding::Ascii, nullptr},
                      KeyCase{"ANSI Z39.47", GedcomEncoding::Ansel, nullptr},
                      KeyCase{"ansel", GedcomEncoding::Ansel, nullptr},
                      KeyCase{"UTF 8", GedcomEncoding::Utf8, nullptr},
                      KeyCase{"utf-8", GedcomEncoding::Utf8, nullptr},
                      KeyCase{"UNICODE", GedcomEncoding::Utf8, kUnicode},
                      KeyCase{"UTF-16", GedcomEncoding::Utf8, kUnicode},
                      KeyCase{"IBMPC", GedcomEncoding::Utf8, "Unrecognized CHAR value \"IBMPC\"; read as UTF-8."},
                      KeyCase{"LATIN1", GedcomEncoding::Utf8, "Unrecognized CHAR value \"LATIN1\"; read as UTF-8."},
                      KeyCase{"ANSI-1", GedcomEncoding::Utf8, "Unrecognized CHAR value \"ANSI-1\"; read as UTF-8."}));

// ---------------------------------------------------------------------------
// The CHAR search.

struct SearchCase {
    const char* name;
    std::string bytes;
    std::optional<std::string> expected;
};

void PrintTo(const SearchCase& c, std::ostream* os) { *os << c.name; }

class CharSearch : public ::testing::TestWithParam<SearchCase> {};

TEST_P(CharSearch, FindsFirstNonBlankCharLine) {
    EXPECT_EQ(decode::declared_charset(GetParam().bytes, GedcomEncoding::Ansel), GetParam().expected);
    EXPECT_EQ(decode::declared_charset(GetParam().bytes, GedcomEncoding::Windows1252), GetParam().expected);
}

std::string padded_to(std::size_t size) {
    std::string s = "0 HEAD\n1 NOTE ";
    s.append(size - s.size() - 1, 'x');
    s += '\n';
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CharSearch,
    ::testing::Values(
        SearchCase{"plain", "0 HEAD\n1 CHAR ANSEL\n", "ANSEL"},
        SearchCase{"first_line", "1 CHAR X", "X"},
        SearchCase{"crlf", "0 HEAD\r\n1 CHAR ANSEL\r\n", "ANSEL"},
        SearchCase{"inner_spaces_kept", "1 CHAR   IBM  WINDOWS \t\n", "IBM  WINDOWS"},
        SearchCase{"blank_passed_over", "0 HEAD\n1 CHAR \n1 CHAR \t \n1 CHAR\n1 CHAR UTF-8\n", "UTF-8"},
        SearchCase{"later_char_ignored", "1 CHAR A\n1 CHAR B\n", "A"},
        SearchCase{"deeper_char_ignored", "0 HEAD\n2 CHAR A\n", std::nullopt},
        SearchCase{"leading_zero", "01 CHAR x\n", std::nullopt},
        SearchCase{"leading_space", " 1 CHAR x\n", std::nullopt},
        SearchCase{"two_spaces", "1  CHAR x\n", std::nullopt},
        SearchCase{"lowercase", "1 char x\n", std::nullopt},
        SearchCase{"tab_separator", "1\tCHAR x\n", std::nullopt},
        SearchCase{"cr_only", "0 HEAD\r1 CHAR ANSEL\r0 TRLR\r", std::nullopt},
        SearchCase{"latin1_value", "1 CHAR \xE9t\xE9\n", "\u00E9t\u00E9"},
        SearchCase{"latin1_white_space_trimmed", "1 CHAR \xA0X\x85\xA0\n", "X"},
        SearchCase{"latin1_white_space_only", "1 CHAR \xA0\n1 CHAR Y\n", "Y"},
        SearchCase{"nothing", "", std::nullopt},
        SearchCase{"inside_prefix", padded_to(8192 - 13) + "1 CHAR ANSEL\n", "ANSEL"},
        SearchCase{"cut_by_prefix_end", padded_to(8192 - 9) + "1 CHAR ANSEL\n", "AN"},
        SearchCase{"beyond_prefix", padded_to(8192) + "1 CHAR ANSEL\n", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CharSearch, ReadsUtf16InItsByteOrder) {
    std::string le, be;
    for (char32_t cp : std::u32string(U"0 HEAD\r\n1 CHAR \u00C4\u20AC\r\n")) {
        le += static_cast<char>(cp & 0xFF), le += static_cast<char>(cp >> 8);
        be += static_cast<char>(cp >> 8), be += static_cast<char>(cp & 0xFF);
    }
    EXPECT_EQ(decode::declared_charset(le, GedcomEncoding::Utf16LittleEndian), "\u00C4\u20AC");
    EXPECT_EQ(decode::declared_charset(be, GedcomEncoding::Utf16BigEndian), "\u00C4\u20AC");
    EXPECT_EQ(decode::declared_charset(be, GedcomEncoding::Utf16LittleEndian), std::nullopt);
    // The prefix is 8192 bytes, so 4096 units.
    std::string far = utf16(padded_to(4096) + "1 CHAR X\n", false);
    EXPECT_EQ(decode::declared_charset(far, GedcomEncoding::Utf16LittleEndian), std::nullopt);
    std::string near = utf16(padded_to(4096 - 9) + "1 CHAR X\n", false);
    EXPECT_EQ(decode::declared_charset(near, GedcomEncoding::Utf16LittleEndian), "X");
}

TEST(Sniffing, CharBeyondPrefixIsNotFound) {
    auto r = decode::decode_gedcom(padded_to(8192) + "1 CHAR ANSI\n\x93q\x94\n");
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->second.declared, std::nullopt);
    EXPECT_EQ(r->second.encoding, GedcomEncoding::Ansel);
}

// ---------------------------------------------------------------------------
// The decoders on their own.

struct DecoderCase {
    const char* name;
    GedcomEncoding encoding;
    std::string bytes;
    std::string text;
    std::uint64_t undecodable;
};

void PrintTo(const DecoderCase& c, std::ostream* os) { *os << c.name; }

class Decoders : public ::testing::TestWithParam<DecoderCase> {};

TEST_P(Decoders, DecodeAndCount) {
    const DecoderCase& c = GetParam();
    EncodingReport report;
    report.undecodable = 5;  // the decoders add to what is there
    EXPECT_EQ(decode::decode_as(c.bytes, c.encoding, report), c.text);
    EXPECT_EQ(report.undecodable, 5 + c.undecodable);
    EXPECT_TRUE(report.warnings.empty());
}

constexpr auto A = GedcomEncoding::Ascii;
constexpr auto U8 = GedcomEncoding::Utf8;
constexpr auto BE = GedcomEncoding::Utf16BigEndian;
constexpr auto LE = GedcomEncoding::Utf16LittleEndian;
constexpr auto AN = GedcomEncoding::Ansel;
constexpr auto W = GedcomEncoding::Windows1252;

INSTANTIATE_TEST_SUITE_P(
    Cases, Decoders,
    ::testing::Values(
        DecoderCase{"ascii_plain", A, "0 HEAD\r\n\t\x7F"s, "0 HEAD\r\n\t\x7F", 0},
        DecoderCase{"ascii_high", A, "\xC3\xA9", "\uFFFD\uFFFD", 2},
        DecoderCase{"ascii_nul", A, "a\0b"s, "a\0b"s, 0},
        DecoderCase{"ascii_long_run", A, std::string(37, 'x') + "\x80" + std::string(20, 'y'),
                    std::string(37, 'x') + "\uFFFD" + std::string(20, 'y'), 1},
        DecoderCase{"w1252_euro", W, "\x80", "\u20AC", 0},
        DecoderCase{"w1252_undefined", W, "\x81\x8D\x8F\x90\x9D", "\u0081\u008D\u008F\u0090\u009D", 0},
        DecoderCase{"w1252_c1_range", W, "\x82\x83\x84\x85\x86\x87\x88\x89\x8A\x8B\x8C\x8E",
                    "\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160\u2039\u0152\u017D", 0},
        DecoderCase{"w1252_c1_range2", W, "\x91\x92\x93\x94\x95\x96\x97\x98\x99\x9A\x9B\x9C\x9E\x9F",
                    "\u2018\u2019\u201C\u201D\u2022\u2013\u2014\u02DC\u2122\u0161\u203A\u0153\u017E\u0178", 0},
        DecoderCase{"w1252_latin1", W, "\xA0\xE9\xF8\xFF", "\u00A0\u00E9\u00F8\u00FF", 0},
        DecoderCase{"utf8_valid", U8, "caf\u00E9 \U0001F600", "caf\u00E9 \U0001F600", 0},
        DecoderCase{"utf8_valid_replacement_not_counted", U8, "\uFFFD", "\uFFFD", 0},
        DecoderCase{"utf8_replacement_counted_when_invalid", U8, "\uFFFD\xFF", "\uFFFD\uFFFD", 2},
        DecoderCase{"utf8_truncated_two", U8, "a\xC3", "a\uFFFD", 1},
        DecoderCase{"utf8_truncated_three_is_one_subpart", U8, "\xE2\x82" "a", "\uFFFD" "a", 1},
        DecoderCase{"utf8_truncated_four", U8, "\xF0\x9F\x98", "\uFFFD", 1},
        DecoderCase{"utf8_nul_inside_sequence", U8, "\xC3\0"s, "\uFFFD\0"s, 1},
        DecoderCase{"utf8_overlong", U8, "\xC0\xAF", "\uFFFD\uFFFD", 2},
        DecoderCase{"utf8_overlong_three", U8, "\xE0\x80\xAF", "\uFFFD\uFFFD\uFFFD", 3},
        DecoderCase{"utf8_overlong_four", U8, "\xF0\x80\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD", 4},
        DecoderCase{"utf8_surrogate", U8, "\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD", 3},
        DecoderCase{"utf8_above_max", U8, "\xF4\x90\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD", 4},
        DecoderCase{"utf8_lone_continuation", U8, "\x80\xBF", "\uFFFD\uFFFD", 2},
        DecoderCase{"utf8_f5", U8, "\xF5\x80", "\uFFFD\uFFFD", 2},
        DecoderCase{"utf8_valid_after_invalid", U8, "\xE2\x28\xA1", "\uFFFD(\uFFFD", 2},
        DecoderCase{"utf8_edge_valid", U8, "\xED\x9F\xBF\xF4\x8F\xBF\xBF\xEE\x80\x80",
                    "\uD7FF\U0010FFFF\uE000", 0},
        DecoderCase{"utf16le_ascii", LE, "A\0b\0"s, "Ab", 0},
        DecoderCase{"utf16be_bmp", BE, "\x20\xAC\x00\xE9"s, "\u20AC\u00E9", 0},
        DecoderCase{"utf16le_pair", LE, "\x3D\xD8\x00\xDE"s, "\U0001F600", 0},
        DecoderCase{"utf16be_pair", BE, "\xD8\x3D\xDE\x00"s, "\U0001F600", 0},
        DecoderCase{"utf16be_high_then_ascii", BE, "\xD8\x00\x00\x41"s, "\uFFFD" "A", 1},
        DecoderCase{"utf16be_high_at_end", BE, "\x00\x41\xD8\x00"s, "A\uFFFD", 1},
        DecoderCase{"utf16be_high_high_low", BE, "\xD8\x00\xD8\x3D\xDE\x00"s, "\uFFFD\U0001F600", 1},
        DecoderCase{"utf16be_low_then_high", BE, "\xDC\x00\xD8\x00"s, "\uFFFD\uFFFD", 2},
        DecoderCase{"utf16le_low_then_high", LE, "\x00\xDC\x00\xD8"s, "\uFFFD\uFFFD", 2},
        DecoderCase{"utf16le_bom_kept", LE, "\xFF\xFE" "A\0"s, "\uFEFF" "A", 0},
        DecoderCase{"utf16le_nul", LE, "\0\0"s, "\0"s, 0},
        DecoderCase{"ansel_mark_after_base", AN, "a\xE2" "e", "ae\u0301", 0},
        DecoderCase{"ansel_mark_at_end", AN, "\xE2", "\u0301", 0},
        DecoderCase{"ansel_marks_at_end_after_text", AN, "e\xE2\xE3", "e\u0301\u0302", 0},
        DecoderCase{"ansel_stacked_marks_in_order", AN, "\xE2\xE3" "a", "a\u0301\u0302", 0},
        DecoderCase{"ansel_mark_before_lf_stays_on_line", AN, "e\xE2\nf", "e\u0301\nf", 0},
        DecoderCase{"ansel_mark_before_cr_stays_on_line", AN, "e\xE2\xE8\r\n", "e\u0301\u0308\r\n", 0},
        DecoderCase{"ansel_mark_then_lf_alone", AN, "\xE2\n", "\u0301\n", 0},
        DecoderCase{"ansel_mark_on_space", AN, "\xE2 x", " \u0301x", 0},
        DecoderCase{"ansel_mark_on_undecodable", AN, "\xE2\xAF", "\uFFFD\u0301", 1},
        DecoderCase{"ansel_mark_on_spacing", AN, "\xE2\xA2", "\u00D8\u0301", 0},
        DecoderCase{"ansel_comma_above", AN, "\xFE" "a", "a\u0313", 0},
        DecoderCase{"ansel_undecodable_bytes", AN, "\xAF\xBB\xC7\xCC\xFC\xFD\xFF\x80\xA0\xD0\xDF",
                    "\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD", 11},
        DecoderCase{"ansel_spacing", AN, "\xA1\xA7\xAE\xB0\xB8\xBE\xC1\xC2\xC3\xC6\xCD\xCE\xCF",
                    "\u0141\u02B9\u02BB\u02BC\u0131\u25A1\u2113\u2117\u00A9\u00A1eo\u00DF", 0},
        DecoderCase{"ansel_combining", AN, "\xE0" "a" "\xE9" "a" "\xEB" "a" "\xEF" "a" "\xF0" "a" "\xF9" "a" "\xFB" "a",
                    "a\u0309a\u030Ca\uFE20a\u0310a\u0327a\u032Ea\uFE23", 0},
        DecoderCase{"ansel_nul", AN, "a\0b"s, "a\0b"s, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Utf16, OddLengthWarnsBeforeDecoding) {
    EncodingReport report;
    EXPECT_EQ(decode::decode_utf16("\x00\x41\xD8"s, true, report), "A");
    EXPECT_EQ(report.warnings, std::vector<std::string>{kOdd});
    EXPECT_EQ(report.undecodable, 0u);
    EncodingReport one;
    EXPECT_EQ(decode::decode_utf16("\xFF", false, one), "");
    EXPECT_EQ(one.warnings, std::vector<std::string>{kOdd});
}

TEST(Windows1252, NoByteIsEverUndecodable) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    EncodingReport report;
    std::string text = decode::decode_as(all, W, report);
    EXPECT_EQ(report.undecodable, 0u);
    EXPECT_EQ(text.find("\uFFFD"), std::string::npos);
}

TEST(Ansel, CountsExactlyTheUnmappedBytes) {
    // Of the 256 bytes: 0x80-0xA0 (33), AF, BB, C7-CC (6), D0-DF (16), FC, FD, FF.
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    EncodingReport report;
    decode::decode_as(all, AN, report);
    EXPECT_EQ(report.undecodable, 33u + 2 + 6 + 16 + 3);
}

// ---------------------------------------------------------------------------
// Size bound, display names, summary.

TEST(SizeBound, RefusedBeforeSniffing) {
    // A byte-order mark at the front must not matter: nothing is sniffed.
    std::string big(134217729, 'x');
    big[0] = '\xEF', big[1] = '\xBB', big[2] = '\xBF';
    auto r = decode::decode_gedcom(big);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error().message, "the file is 128 MB and the limit is 128 MB");
    EXPECT_EQ(r.error().line, 0u);
    EXPECT_EQ(r.error().kind, pellorine::ErrorKind::Limit);
    big.pop_back();
    EXPECT_TRUE(decode::decode_gedcom(big).has_value());
}

TEST(SizeBound, UsesTheGivenLimit) {
    ParseLimits limits;
    limits.max_bytes = 4;
    EXPECT_TRUE(decode::decode_gedcom_with("abcd", limits).has_value());
    auto r = decode::decode_gedcom_with("abcde", limits);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error().display(), "the file is 0 MB and the limit is 0 MB");
    limits.max_bytes = 3 * 1048576 + 5;
    std::string s(5 * 1048576 - 1, 'a');
    EXPECT_EQ(decode::decode_gedcom_with(s, limits).error().message, "the file is 4 MB and the limit is 3 MB");
}

TEST(Display, Names) {
    EXPECT_EQ(pellorine::display_name(GedcomEncoding::Ascii), "ASCII");
    EXPECT_EQ(pellorine::display_name(GedcomEncoding::Utf8), "UTF-8");
    EXPECT_EQ(pellorine::display_name(GedcomEncoding::Utf16BigEndian), "UTF-16 (big-endian)");
    EXPECT_EQ(pellorine::display_name(GedcomEncoding::Utf16LittleEndian), "UTF-16 (little-endian)");
    EXPECT_EQ(pellorine::display_name(GedcomEncoding::Ansel), "ANSEL");
    EXPECT_EQ(pellorine::display_name(GedcomEncoding::Windows1252), "ANSI (Windows-1252)");
    EXPECT_EQ(static_cast<int>(GedcomEncoding::Windows1252), 5);
}

TEST(Summary, Forms) {
    struct Case {
        std::string bytes;
        const char* summary;
    };
    const Case cases[] = {
        {"", "Read as UTF-8, no CHAR declared"},
        {"\xFF\xFE" + utf16("0 HEAD\n1 CHAR UNICODE\n", false),
         "Read as UTF-16 (little-endian) (byte-order mark), declared UNICODE"},
        {with_char("ANSEL", "0 NOTE \xAF\xFC\xBB\n"), "Read as ANSEL, declared ANSEL, 3 byte(s) undecodable"},
        {"0 NOTE \xAF\xFC\n", "Read as ANSEL, no CHAR declared, 2 byte(s) undecodable"},
        {"\xEF\xBB\xBF\xFF", "Read as UTF-8 (byte-order mark), no CHAR declared, 1 byte(s) undecodable"},
    };
    for (const Case& c : cases) {
        auto r = decode::decode_gedcom(c.bytes);
        ASSERT_TRUE(r.has_value());
        EXPECT_EQ(r->second.summary(), c.summary);
    }
    EncodingReport unknown;
    EXPECT_EQ(unknown.summary(), "Read as unknown, no CHAR declared");
    unknown.declared = "x";
    unknown.bom = true;
    EXPECT_EQ(unknown.summary(), "Read as unknown (byte-order mark), declared x");
}

// ---------------------------------------------------------------------------
// Arbitrary bytes: every decoder gives valid UTF-8 and counts only the
// replacement characters it wrote.

std::uint64_t replacements(std::string_view s) {
    std::uint64_t n = 0;
    for (std::size_t pos = s.find("\uFFFD"); pos != std::string_view::npos; pos = s.find("\uFFFD", pos + 3)) ++n;
    return n;
}

TEST(ArbitraryBytes, DecodeToValidText) {
    // Bytes that matter to the decoders, so short inputs hit the interesting paths.
    const unsigned char alphabet[] = {0x00, 0x0A, 0x0D, ' ', '0', '1', 'C', 'H', 'A', 'R', 'a', 0x7F, 0x80, 0x81,
                                      0xA0, 0xAF, 0xBB, 0xBF, 0xC2, 0xC3, 0xD8, 0xDC, 0xDF, 0xE0, 0xE2, 0xED,
                                      0xEF, 0xF0, 0xF4, 0xFB, 0xFC, 0xFE, 0xFF};
    std::mt19937 rng(12345);
    for (int round = 0; round < 5000; ++round) {
        std::string bytes(rng() % 40, '\0');
        for (char& c : bytes) c = static_cast<char>(alphabet[rng() % sizeof alphabet]);
        SCOPED_TRACE(::testing::PrintToString(bytes));
        auto r = decode::decode_gedcom(bytes);
        ASSERT_TRUE(r.has_value());
        ASSERT_TRUE(pellorine::text::is_valid_utf8(r->first));
        ASSERT_LE(r->second.undecodable, replacements(r->first));
        for (GedcomEncoding e : {A, U8, BE, LE, AN, W}) {
            EncodingReport report;
            std::string text = decode::decode_as(bytes, e, report);
            ASSERT_TRUE(pellorine::text::is_valid_utf8(text));
            if (e == U8) ASSERT_EQ(report.undecodable, pellorine::text::is_valid_utf8(bytes) ? 0 : replacements(text));
            else if (e != BE && e != LE) ASSERT_EQ(report.undecodable, replacements(text));
            else ASSERT_LE(report.undecodable, replacements(text));
        }
    }
}

}  // namespace
