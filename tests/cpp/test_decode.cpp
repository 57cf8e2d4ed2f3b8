// Character sets: sniffing, the CHAR search, the decoders, the report, and reading documents from bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode.hpp"
#include "text.hpp"

using namespace std::literals;
using namespace pellorine;

namespace {

constexpr auto A = GedcomEncoding::Ascii, U8 = GedcomEncoding::Utf8, BE = GedcomEncoding::Utf16BigEndian,
               LE = GedcomEncoding::Utf16LittleEndian, AN = GedcomEncoding::Ansel, W = GedcomEncoding::Windows1252;

const std::string kAnselDefault =
    "File declares no CHAR and is not valid UTF-8; read as ANSEL, the GEDCOM 5.5 default.";
const std::string kUnicode =
    "File declares UNICODE but has no byte-order mark and no UTF-16 structure; read as UTF-8.";
const std::string kOdd = "UTF-16 file has an odd number of bytes; the final byte was ignored.";
const std::string kNoBomLe = "File is UTF-16 (little-endian) but carries no byte-order mark.";

std::string unmapped(int n, const char* enc) {
    return std::to_string(n) + " byte(s) had no mapping in " + enc + " and were replaced with U+FFFD.";
}

std::string with_char(const std::string& value, const std::string& body = "") {
    return "0 HEAD\n1 CHAR " + value + "\n" + body;
}

// UTF-16 code units (or ASCII bytes) as bytes in the given order.
template <class Units>
std::string utf16(const Units& units, bool big_endian) {
    std::string out;
    for (auto c : units) {
        const char hi = static_cast<char>(static_cast<std::uint16_t>(c) >> 8), lo = static_cast<char>(c & 0xFF);
        out += big_endian ? std::string{hi, lo} : std::string{lo, hi};
    }
    return out;
}

TEST(Sniffing, DecodesAndReports) {
    const struct {
        std::string bytes;
        GedcomEncoding encoding;
        bool bom;
        std::optional<std::string> declared;
        std::string text;
        std::uint64_t undecodable;
        std::vector<std::string> warnings;
    } cases[] = {
        {"", U8, false, {}, "", 0, {}}, {"A", U8, false, {}, "A", 0, {}},
        {"\0\0 a\0"s, U8, false, {}, "\0\0 a\0"s, 0, {}},
        {"\xEF\xBB\xBF" "0 HEAD\n1 CHAR ANSEL\n", U8, true, "ANSEL", "0 HEAD\n1 CHAR ANSEL\n", 0, {}},
        {"\xEF\xBB", AN, false, {}, "\uFFFD\u0310", 1, {kAnselDefault, unmapped(1, "ANSEL")}},
        {"\xFF\xFE" + utf16("0 H\n1 CHAR ANSEL\n"s, false), LE, true, "ANSEL", "0 H\n1 CHAR ANSEL\n", 0, {}},
        {"\xFE\xFF" "\0" "0\0"s, BE, true, {}, "0", 0, {kOdd}}, {"H\0"s, LE, false, {}, "H", 0, {kNoBomLe}},
        {"0\0 \0H\0!"s, LE, false, {}, "0 H", 0, {kNoBomLe, kOdd}},
        {utf16(with_char("UNICODE"), true), BE, false, "UNICODE", with_char("UNICODE"), 0,
         {"File is UTF-16 (big-endian) but carries no byte-order mark."}},
        {"\xFF\xFE" "\x00\xDC" "A"s, LE, true, {}, "\uFFFD", 1, {kOdd, unmapped(1, "UTF-16 (little-endian)")}},
        {with_char("UTF-8", "0 NOTE caf\xE9\n"), W, false, "UTF-8", with_char("UTF-8", "0 NOTE caf\u00E9\n"), 0,
         {"File declares UTF-8 but contains invalid UTF-8; read as Windows-1252 instead."}},
        {with_char("ASCII", "\xC3\x96"), A, false, "ASCII", with_char("ASCII", "\uFFFD\uFFFD"), 2,
         {unmapped(2, "ASCII")}},
        {with_char("UNICODE", "\xE9"), U8, false, "UNICODE", with_char("UNICODE", "\uFFFD"), 1,
         {kUnicode, unmapped(1, "UTF-8")}},
        {with_char("a\"b\\c"), U8, false, "a\"b\\c", with_char("a\"b\\c"), 0,
         {"Unrecognized CHAR value \"a\\\"b\\\\c\"; read as UTF-8."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.bytes));
        auto r = decode::decode_gedcom(c.bytes);
        ASSERT_TRUE(r.has_value());
        EXPECT_EQ(r->first, c.text);
        EXPECT_EQ(r->second, (EncodingReport{c.warnings, c.declared, c.undecodable, c.bom, c.encoding}));
    }
    const std::pair<std::string, GedcomEncoding> keys[] = {
        {"cp1252", W}, {"IBM WINDOWS", W}, {"US-ASCII", A}, {"ANSI Z39.47", AN}, {"UTF 8", U8}};
    for (const auto& [declared, encoding] : keys)
        EXPECT_EQ(decode::decode_gedcom(with_char(declared)).value().second.encoding, encoding) << declared;
    // UTF-16 without its structure reads as UTF-8, as UNICODE does, not as an unknown value.
    EXPECT_EQ(decode::decode_gedcom(with_char("UTF-16"))->second.warnings, std::vector<std::string>{kUnicode});
}

// The search reads 8192 bytes: a line it cuts is taken as cut (below, its value's second byte or unit).
TEST(CharSearch, FirstNonBlankCharLineInTheFirst8192Bytes) {
    const std::u16string wide = u"0 HEAD\r\n1 CHAR \u00C4\u20AC\r\n";
    const std::tuple<std::string, GedcomEncoding, std::optional<std::string>> cases[] = {
        {"0 HEAD\r\n1 CHAR   IBM  WINDOWS \t\r\n", AN, "IBM  WINDOWS"},
        {"1 CHAR \n1 CHAR \t\n1 CHAR\n01 CHAR a\n 1 CHAR b\n1  CHAR c\n1 char d\n2 CHAR e\n1 CHAR f\n1 CHAR g\n", AN,
         "f"},
        {"0 HEAD\r1 CHAR ANSEL\r0 TRLR\r", AN, {}},
        {"1 CHAR \xA0\n1 CHAR \xA0\xE9t\xE9\x85\n", AN, "\u00E9t\u00E9"},
        {"0 NOTE " + std::string(8175, 'x') + "\n1 CHAR ANSEL\n", AN, "AN"},
        // UTF-16 is searched in its byte order, 4096 units.
        {utf16(wide, false), LE, "\u00C4\u20AC"}, {utf16(wide, true), BE, "\u00C4\u20AC"},
        {utf16("0 NOTE " + std::string(4080, 'x') + "\n1 CHAR XY\n", false), LE, "X"},
    };
    for (const auto& [bytes, encoding, expected] : cases)
        EXPECT_EQ(decode::declared_charset(bytes, encoding), expected) << ::testing::PrintToString(bytes.substr(0, 40));
}

TEST(Decoders, DecodeAndCount) {
    const struct {
        GedcomEncoding encoding;
        std::string bytes, text;
        std::uint64_t undecodable;
    } cases[] = {
        {A, std::string(39, 'x') + "\x80\xFF", std::string(39, 'x') + "\uFFFD\uFFFD", 2},  // past a run of 8-byte words
        {W, "\x80\x81\x8D\x8F\x90\x9D\x9F\xA0\xFF", "\u20AC\u0081\u008D\u008F\u0090\u009D\u0178\u00A0\u00FF", 0},
        {U8, "\uFFFD \U0001F600", "\uFFFD \U0001F600", 0}, {U8, "\uFFFD\xFF", "\uFFFD\uFFFD", 2},
        {U8, "\xE2\x82" "a\xC3", "\uFFFD" "a\uFFFD", 2},   {U8, "\xC3\0"s, "\uFFFD\0"s, 1},
        {U8, "\xE0\x80\xAF\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD", 6},
        {U8, "\xF4\x90\x80\x80\xF5\x80", "\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD", 6},
        {U8, "\xF0\x8F\xBF\xBF\xC1\xBF", "\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD", 6},
        {U8, "\xE2\x28\xA1\xED\x9F\xBF\xF4\x8F\xBF\xBF", "\uFFFD(\uFFFD\uD7FF\U0010FFFF", 2},
        {LE, "A\0\0\0\x3D\xD8\x00\xDE\xFF\xFE"s, "A\0\U0001F600\uFEFF"s, 0},
        {BE, "\x20\xAC\xD8\x3D\xDE\x00"s, "\u20AC\U0001F600", 0},
        // Lone surrogates: a high one not followed by a low one, a low one alone.
        {BE, "\xD8\x00\x00\x41\xD8\x00\xD8\x3D\xDE\x00\xDC\x00\xD8\x00"s, "\uFFFD" "A\uFFFD\U0001F600\uFFFD\uFFFD", 4},
        // ANSEL marks follow their base character, in the order read, whatever it is...
        {AN, "a\xE2" "e\xE2\xE3" "a\xE2 \xE2\xAF\xFE\xA2\0"s,
         "ae\u0301a\u0301\u0302 \u0301\uFFFD\u0301\u00D8\u0313\0"s, 1},
        // ...except a line end: marks before it stay on their line; held marks end the text.
        {AN, "e\xE2\nf\xE2\xE8\r\n\xE2\ne\xE2\xE3", "e\u0301\nf\u0301\u0308\r\n\u0301\ne\u0301\u0302", 0},
        {AN, "\xAE\xB0\xC2\xCD\xCF\xAF\xBB\xC7\xCC\xFC\xFD\xFF\x80\xA0\xD0\xDF",
         "\u02BB\u02BC\u2117e\u00DF\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD", 11},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.bytes));
        EncodingReport report;
        report.undecodable = 5;  // the decoders add to what is there
        EXPECT_EQ(decode::decode_as(c.bytes, c.encoding, report), c.text);
        EXPECT_EQ(report.undecodable, 5 + c.undecodable);
        EXPECT_TRUE(report.warnings.empty());
    }
}

TEST(SizeBound, RefusedBeforeSniffing) {
    std::string big(134217729, '\0');
    big[0] = '\xFF', big[1] = '\xFE';  // a mark at the front must not matter
    const GedcomError refusal = GedcomError::limit("the file is 128 MB and the limit is 128 MB");
    EXPECT_EQ(decode::decode_gedcom(big).error(), refusal);
    EXPECT_EQ(decode::from_bytes(big).error(), refusal);
}

TEST(Summary, Forms) {
    const std::pair<EncodingReport, std::string> cases[] = {
        {{{}, {}, 0, false, U8}, "Read as UTF-8, no CHAR declared"},
        {{{}, "UNICODE", 0, true, LE}, "Read as UTF-16 (little-endian) (byte-order mark), declared UNICODE"},
        {{{"A warning."}, "ANSEL", 3, false, AN}, "Read as ANSEL, declared ANSEL, 3 byte(s) undecodable"},
        {{{}, "x", 0, false, W}, "Read as ANSI (Windows-1252), declared x"},
        {{{}, "x", 0, false, {}}, "Read as unknown, declared x"},
    };
    for (const auto& [report, summary] : cases) EXPECT_EQ(report.summary(), summary);
}

// The document views the bytes, and holds them, exactly where decoding and reading the lines change nothing.
TEST(FromBytes, BorrowedWhereDecodingChangesNothing) {
    const std::pair<std::string, bool> cases[] = {
        {"0 HEAD\n0 NOTE caf\xC3\xA9\n0 TRLR\n", true},
        {"\xEF\xBB\xBF" "0 HEAD\n0 TRLR", true},          // the mark is skipped, the rest viewed
        {with_char("ANSEL", "0 NOTE cafe\n"), true},         // ASCII reads as itself in every single-byte set
        {with_char("ANSEL", "0 NOTE e\xE2\n"), false},
        {with_char("UTF-8", "0 NOTE caf\xE9\n"), false},    // invalid UTF-8: read as Windows-1252
        {"\xFF\xFE" + utf16("0 HEAD\n"s, false), false},
        {"0 HEAD\r\n0 TRLR\r\n", false},                     // decoded as it is, but its line ends change
    };
    for (const auto& [bytes, viewed] : cases) {
        bool released = false;
        auto kept = decode::from_borrowed_bytes_with(bytes, TextKeeper(&released, [](bool* f) { *f = true; }),
                                                     default_limits);
        EXPECT_EQ(kept.value().first.to_text(), decode::from_bytes(bytes).value().first.to_text()) << bytes;
        EXPECT_EQ(released, !viewed) << bytes;
    }
}

TEST(FromBytes, ErrorsOfEitherStep) {
    const ParseLimits limits{.max_bytes = 9, .max_lines = 1};
    // Decoding widens the text past the bound the bytes kept: the parser's own check refuses it.
    EXPECT_EQ(decode::from_bytes_with("0 NOTE \xE9\xE9", limits).error().display(),
              "the file is 0 MB and the limit is 0 MB");
    EXPECT_EQ(decode::from_bytes_with("0 A\n0 B\n", limits).error().display(),
              "GEDCOM line 2: the file has too many lines");
}

// A CHAR line the search would honour in the written bytes, wherever it stands, is written as UTF-8 (without
// its continuation lines), so the output reads back as UTF-8 with the same text; to_bytes leaves the
// document as it was, declare_utf8_encoding makes the same change in it.
TEST(FromBytes, WrittenBytesReadBackAsUtf8) {
    const std::string note = "0 NOTE " + std::string(9000, 'x') + "\n1 CHAR ANSI\n";
    const std::pair<std::string, std::string> cases[] = {
        {with_char("ANSEL", "0 NOTE e\xE2"), "0 HEAD\n1 CHAR UTF-8\n0 NOTE e\u0301\n"},
        // A CHAR under another record: "ï" must not come back as "Ã¯".
        {"0 k \xEF\n1 CHAR ANSI", "0 k \u00EF\n1 CHAR UTF-8\n"},
        {"0 @I1@ INDI\n0 HEAD\n1 CHAR ANSEL\n1 NAME e\xE2", "0 @I1@ INDI\n0 HEAD\n1 CHAR UTF-8\n1 NAME e\u0301\n"},
        // "01 CHAR" is not honoured by the search, a later line is; the first non-blank one is.
        {"0 HEAD\n01 CHAR UTF-8\n0 @I1@ INDI\n1 CHAR ANSI\n1 NAME \xE9\n",
         "0 HEAD\n01 CHAR UTF-8\n0 @I1@ INDI\n1 CHAR UTF-8\n1 NAME \u00E9\n"},
        {"0 HEAD\n01 CHAR ANSEL\n2 VERS x\n", "0 HEAD\n1 CHAR UTF-8\n2 VERS x\n"},
        {"0 HEAD\n1 CHAR\n1 CHAR ANSEL\n", "0 HEAD\n1 CHAR UTF-8\n1 CHAR ANSEL\n"},
        {"0 HEAD\n1 @C@ CHAR ASCII\n0 @I1@ INDI\n1 CHAR ANSI\n",
         "0 HEAD\n1 @C@ CHAR UTF-8\n0 @I1@ INDI\n1 CHAR UTF-8\n"},
        {"0 HEAD\n1 CHAR ANS\n2 CONC EL\n2 VERS 1\n3 X\n2 CONT x\n3 Y\n", "0 HEAD\n1 CHAR UTF-8\n2 VERS 1\n3 X\n"},
        // Left alone: other spellings of UTF-8, a logical payload that names it,
        // past the searched bytes, and after an honoured UTF-8 line.
        {"0 HEAD\n1 CHAR  utf-8 \n", "0 HEAD\n1 CHAR  utf-8 \n"}, {note, note},
        {"0 @I1@ INDI\n1 CHAR UTF-\n2 CONC 8\n", "0 @I1@ INDI\n1 CHAR UTF-\n2 CONC 8\n"},
        {"0 HEAD\n1 CHAR UTF-8\n0 @I1@ INDI\n1 CHAR ANSI\n", "0 HEAD\n1 CHAR UTF-8\n0 @I1@ INDI\n1 CHAR ANSI\n"},
    };
    for (const auto& [bytes, written] : cases) {
        SCOPED_TRACE(bytes.substr(0, 60));
        Document doc = std::move(decode::from_bytes(bytes).value().first);
        const std::string text = doc.to_text();
        EXPECT_EQ(doc.to_bytes(), written);
        EXPECT_EQ(doc.to_text(), text);
        auto again = decode::from_bytes(written).value();
        EXPECT_EQ(std::pair(again.first.to_text(), again.second.encoding), std::pair(written, std::optional(U8)));
        EXPECT_EQ(doc.declare_utf8_encoding(), written != text);
        EXPECT_EQ(doc.to_text(), written);
    }
}

}  // namespace
