// Reading documents from bytes: decoding joined to the parser.
#include <gtest/gtest.h>

#include <string>

#include "decode.hpp"

using namespace std::string_literals;
using pellorine::Document;
using pellorine::ErrorKind;
using pellorine::GedcomEncoding;
using pellorine::ParseLimits;

namespace {

struct ReadCase {
    const char* name;
    std::string bytes;
    GedcomEncoding encoding;
    std::string text;  // to_text() of the document
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

class FromBytes : public ::testing::TestWithParam<ReadCase> {};

TEST_P(FromBytes, ReadsAndWritesBack) {
    const ReadCase& c = GetParam();
    auto r = Document::from_bytes(c.bytes);
    ASSERT_TRUE(r.has_value()) << r.error().display();
    EXPECT_EQ(r->second.encoding, c.encoding);
    EXPECT_EQ(r->first.to_text(), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FromBytes,
    ::testing::Values(
        ReadCase{"empty", "", GedcomEncoding::Utf8, ""},
        ReadCase{"utf8_bom_removed", "\xEF\xBB\xBF" "0 HEAD\r\n0 TRLR", GedcomEncoding::Utf8, "0 HEAD\n0 TRLR\n"},
        ReadCase{"utf16le_bom_removed", "\xFF\xFE" "0\0 \0H\0\n\0"s, GedcomEncoding::Utf16LittleEndian, "0 H\n"},
        ReadCase{"utf16be_no_bom", "\0" "0\0 \0H\0\r\0\n"s, GedcomEncoding::Utf16BigEndian, "0 H\n"},
        ReadCase{"nul_in_payload", "0 NOTE a\0b\n"s, GedcomEncoding::Utf8, "0 NOTE a\0b\n"s},
        // An accented letter ending a line of an undeclared Windows-1252 file is
        // read as an ANSEL mark; it stays on its line, so the file still reads.
        ReadCase{"undeclared_1252_accent_at_line_end", "0 HEAD\n0 NOTE caf\xE9\n0 TRLR\n", GedcomEncoding::Ansel,
                 "0 HEAD\n0 NOTE caf\u030C\n0 TRLR\n"},
        ReadCase{"ansel_mark_before_crlf", "0 HEAD\r\n1 CHAR ANSEL\r\n0 NOTE e\xE2\xE3\r\n0 TRLR\r\n",
                 GedcomEncoding::Ansel, "0 HEAD\n1 CHAR ANSEL\n0 NOTE e\u0301\u0302\n0 TRLR\n"},
        ReadCase{"ansel_mark_at_end_of_input", "0 HEAD\n1 CHAR ANSEL\n0 NOTE e\xE2", GedcomEncoding::Ansel,
                 "0 HEAD\n1 CHAR ANSEL\n0 NOTE e\u0301\n"},
        ReadCase{"declared_utf8_but_1252", "0 HEAD\n1 CHAR UTF-8\n0 NOTE \x93q\x94\n", GedcomEncoding::Windows1252,
                 "0 HEAD\n1 CHAR UTF-8\n0 NOTE \u201Cq\u201D\n"}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefusedCase {
    const char* name;
    std::string bytes;
    ParseLimits limits;
    std::string display;
    ErrorKind kind;
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

class FromBytesRefused : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(FromBytesRefused, ReturnsTheError) {
    const RefusedCase& c = GetParam();
    auto r = Document::from_bytes_with(c.bytes, c.limits);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error().display(), c.display);
    EXPECT_EQ(r.error().kind, c.kind);
}

ParseLimits with_max_bytes(std::uint64_t n) {
    ParseLimits l;
    l.max_bytes = n;
    return l;
}
ParseLimits with_max_lines(std::uint64_t n) {
    ParseLimits l;
    l.max_lines = n;
    return l;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FromBytesRefused,
    ::testing::Values(
        RefusedCase{"bytes_over_limit", "0 HEAD\n", with_max_bytes(6), "the file is 0 MB and the limit is 0 MB",
                    ErrorKind::Limit},
        // Decoding widens the text past the bound the bytes kept: the parser's own check refuses it.
        RefusedCase{"decoded_text_over_limit", "0 NOTE \xE9\xE9", with_max_bytes(9),
                    "the file is 0 MB and the limit is 0 MB", ErrorKind::Limit},
        RefusedCase{"limits_reach_the_parser", "0 HEAD\n0 TRLR\n", with_max_lines(1),
                    "GEDCOM line 2: the file has too many lines", ErrorKind::Limit},
        // Without the mark removed the first line would not begin with a level.
        RefusedCase{"utf16_line_error", "\xFE\xFF\0" "0\0 \0\n\0 \0X"s, ParseLimits{},
                    "GEDCOM line 1: the line has no tag", ErrorKind::Syntax},
        RefusedCase{"replacement_in_tag", "0 HEAD\n1 CHAR ASCII\n0 N\xC3\xA9\n", ParseLimits{},
                    "GEDCOM line 3: a tag must be ASCII letters, digits, or underscore", ErrorKind::Syntax}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FromBytesRefused, OversizedInputBeforeAnySniffing) {
    std::string big(134217729, '\0');
    big[0] = '\xFF', big[1] = '\xFE';
    auto r = Document::from_bytes(big);
    ASSERT_FALSE(r.has_value());
    EXPECT_EQ(r.error().display(), "the file is 128 MB and the limit is 128 MB");
    EXPECT_EQ(r.error().kind, ErrorKind::Limit);
}

TEST(FromBytes, KeepsTheDecodingReport) {
    auto r = Document::from_bytes("0 HEAD\n1 CHAR MACINTOSH\n0 TRLR\n");
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->second.summary(), "Read as UTF-8, declared MACINTOSH");
    EXPECT_EQ(r->second.warnings, std::vector<std::string>{"Unrecognized CHAR value \"MACINTOSH\"; read as UTF-8."});
    EXPECT_EQ(r->first.records.size(), 2u);
}

}  // namespace
