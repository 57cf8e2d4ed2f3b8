// Decoding and reading every published GEDCOM file of the test data folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "decode.hpp"
#include "text.hpp"

namespace fs = std::filesystem;
using pellorine::Document;
using pellorine::EncodingReport;
using pellorine::GedcomEncoding;
namespace decode = pellorine::decode;

namespace {

const fs::path kRoot = PELLORINE_TESTDATA;

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Paths relative to the root, with forward slashes, sorted.
std::vector<std::string> gedcom_files() {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(kRoot)) {
        if (!e.is_regular_file()) continue;
        const std::string ext = e.path().extension().string();
        if (ext == ".ged" || ext == ".GED") out.push_back(fs::relative(e.path(), kRoot).generic_string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

// What reading must give: every line end one line feed, no empty line, a final line feed.
std::string expected_text(std::string_view decoded) {
    std::string out;
    std::size_t pos = 0;
    while (pos < decoded.size()) {
        std::size_t end = decoded.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = decoded.size();
        if (end > pos) {
            out.append(decoded.substr(pos, end - pos));
            out += '\n';
        }
        pos = end + 1;
    }
    return out;
}

constexpr auto A = GedcomEncoding::Ascii;
constexpr auto U8 = GedcomEncoding::Utf8;
constexpr auto BE = GedcomEncoding::Utf16BigEndian;
constexpr auto LE = GedcomEncoding::Utf16LittleEndian;
constexpr auto AN = GedcomEncoding::Ansel;
constexpr auto W = GedcomEncoding::Windows1252;

constexpr const char* kNoBomLe = "File is UTF-16 (little-endian) but carries no byte-order mark.";
constexpr const char* kNoBomBe = "File is UTF-16 (big-endian) but carries no byte-order mark.";
constexpr const char* kAnselDefault =
    "File declares no CHAR and is not valid UTF-8; read as ANSEL, the GEDCOM 5.5 default.";
constexpr const char* kUnicode =
    "File declares UNICODE but has no byte-order mark and no UTF-16 structure; read as UTF-8.";

struct Expected {
    const char* path;
    GedcomEncoding encoding;
    bool bom;
    std::optional<std::string> declared;
    std::uint64_t undecodable;
    std::vector<std::string> warnings;
};

// Representative files; where the folder's README describes the bytes
// differently (a CHAR line behind LF CR or CR-only line ends), the decoder's
// rules decide.
const std::vector<Expected>& expectations() {
    static const std::vector<Expected> table = {
        // UTF-16 with a byte-order mark: the mark wins over any CHAR, silently.
        {"gedcom555/555SAMPLE16LE.GED", LE, true, "UNICODE", 0, {}},
        {"gedcom555/555SAMPLE16BE.GED", BE, true, "UNICODE", 0, {}},
        {"charsets/gedcom4j/utf16be.ged", BE, true, "ANSEL", 0, {}},
        {"charsets/gedcom4j/utf16le.ged", LE, true, "ANSEL", 0, {}},
        {"charsets/mdf/v7_encoding_mismatch.ged", LE, true, std::nullopt, 0, {}},
        {"conversion/5/char_utf16be-2.ged", BE, true, "UNICODE", 0, {}},
        // UTF-16 without a mark.
        {"charsets/mdf/utf16le_nobom.ged", LE, false, "UNICODE", 0, {kNoBomLe}},
        {"charsets/mdf/utf16be_nobom.ged", BE, false, "UNICODE", 0, {kNoBomBe}},
        {"charsets/gedcom4j/willis-unicode-bigendian.ged", BE, false, "UNICODE", 0, {kNoBomBe}},
        {"charsets/gedcom4j/willis-unicode-littleendian.ged", LE, false, "UNICODE", 0, {kNoBomLe}},
        {"conversion/5/char_utf16le-1.ged", LE, false, "UNICODE", 0, {kNoBomLe}},
        // LF CR and CR-only: no line begins with "1 CHAR ", so nothing is declared.
        {"charsets/gedcom4j/unicode-littleendian-crlf.ged", LE, false, std::nullopt, 0, {kNoBomLe}},
        {"charsets/gedcom4j/unicode-littleendian-cronly.ged", LE, false, std::nullopt, 0, {kNoBomLe}},
        // UTF-8 with a mark, whatever the declaration.
        {"charsets/gedcom4j/utf8.ged", U8, true, "ANSEL", 0, {}},
        {"charsets/mdf/utf8_bom.ged", U8, true, "UNICODE", 0, {}},
        {"charsets/mdf/utf8_bom_malformed.ged", U8, true, "UTF-8", 1,
         {"1 byte(s) had no mapping in UTF-8 and were replaced with U+FFFD."}},
        {"gedcom70/maximal70.ged", U8, true, std::nullopt, 0, {}},
        {"large/Queen.ged", U8, true, "UTF-8", 0, {}},  // its own U+FFFD are valid text
        // UTF-8 without a mark.
        {"gedcom70/extensions.ged", U8, false, std::nullopt, 0, {}},
        {"charsets/gedcom4j/willis.ged", U8, false, "UTF-8", 0, {}},
        {"realworld/d-jeffrey/famous/Wikipedia+Gods+not+Yet+Connected.ged", U8, false, std::nullopt, 0, {}},
        {"charsets/gedcom4j/utf8_cr_nobom.ged", U8, false, std::nullopt, 0, {}},  // CR-only: CHAR unseen
        {"conversion/5/char_utf8-2.ged", U8, false, "UNICODE", 0, {kUnicode}},
        {"charsets/mdf/utf16le_specified_incorrect.ged", U8, false, "UNICODE", 0, {kUnicode}},
        {"conversion/5/char_ascii_2.ged", U8, false, "LATIN1", 0,
         {"Unrecognized CHAR value \"LATIN1\"; read as UTF-8."}},
        {"realworld/d-jeffrey/famous/Hawaiian+Kings.ged", U8, false, "IBMPC", 0,
         {"Unrecognized CHAR value \"IBMPC\"; read as UTF-8."}},
        {"realworld/d-jeffrey/famous/US+Presidents+Trees+I.ged", U8, false, "IBMPC", 1,
         {"Unrecognized CHAR value \"IBMPC\"; read as UTF-8.",
          "1 byte(s) had no mapping in UTF-8 and were replaced with U+FFFD."}},
        // ANSEL.
        {"charsets/gedcom4j/ANSEL.GED", AN, false, "ANSEL", 0, {}},
        {"charsets/gedcom4j/willis-ansel.ged", AN, false, "ANSEL", 0, {}},
        {"realworld/gedcom4j/issue81.ged", AN, false, "ANSEL", 0, {}},
        {"realworld/porges-mdf/royal92.ged", AN, false, "ANSEL", 0, {}},
        {"torture55/TGC55CLF.ged", AN, false, "ANSEL", 0, {}},
        {"torture55/TGC55C.ged", AN, false, std::nullopt, 0, {kAnselDefault}},
        {"charsets/mdf/utf8_assumedversion_malformed.ged", AN, false, std::nullopt, 0, {kAnselDefault}},
        {"charsets/mdf/ansel_specified_malformed_atend.ged", AN, false, "ANSEL", 0, {}},
        {"charsets/mdf/ansel_specified_malformed_badchar.ged", AN, false, "ANSEL", 1,
         {"1 byte(s) had no mapping in ANSEL and were replaced with U+FFFD."}},
        // ASCII.
        {"charsets/gedcom4j/willis-ascii.ged", A, false, "ASCII", 0, {}},
        {"samples55/allged.ged", A, false, "ASCII", 0, {}},
        {"charsets/mdf/ascii_specified_malformed.ged", A, false, "ASCII", 4,
         {"4 byte(s) had no mapping in ASCII and were replaced with U+FFFD."}},
        // Windows-1252.
        {"realworld/d-jeffrey/famous/Norse+Gods.ged", W, false, "ANSI", 0, {}},
        {"realworld/d-jeffrey/famous/Prophet+Mohommad+Family+Tree.ged", W, false, "ANSI", 0, {}},
        {"realworld/d-jeffrey/famous/Kennedy+Family.ged", W, false, "IBM WINDOWS", 0, {}},
        {"realworld/gedcom4j/a31486.ged", W, false, "ANSI", 0, {}},
        {"charsets/mdf/utf8_specified_malformed.ged", W, false, "UTF-8", 0,
         {"File declares UTF-8 but contains invalid UTF-8; read as Windows-1252 instead."}},
    };
    return table;
}

// Files the parser refuses, with the error's display text.
const std::map<std::string, std::string>& refused() {
    static const std::map<std::string, std::string> table = {
        {"charsets/mdf/ansel_specified_malformed_badchar.ged",
         "GEDCOM line 5: a tag must be ASCII letters, digits, or underscore"},
        {"charsets/mdf/not_ged.ged", "GEDCOM line 1: the line does not begin with a level"},
        {"conversion/5/xref-case.ged",
         "GEDCOM line 13: the cross-reference identifier is not closed, or contains a space"},
        {"large/Queen.ged", "GEDCOM line 15903: the line does not begin with a level"},
        {"realworld/gedcom4j/Issue166.ged", "GEDCOM line 12: the line does not begin with a level"},
        {"realworld/gedcom4j/Issue87.ged", "GEDCOM line 46: the line skips a nesting level"},
        {"realworld/gedcom4j/Sopranos.ged", "GEDCOM line 26: the line does not begin with a level"},
        {"samples55/issue102_100levels.ged", "GEDCOM line 73: the line is nested deeper than the limit"},
        {"samples55/issue102_99levels.ged", "GEDCOM line 73: the line is nested deeper than the limit"},
        {"samples55/minimal55indented.ged", "GEDCOM line 9: the line does not begin with a level"},
    };
    return table;
}

std::string decoded_text(const std::string& relative) {
    auto r = decode::decode_gedcom(read_file(kRoot / relative));
    EXPECT_TRUE(r.has_value());
    return r ? r->first : std::string();
}

TEST(Testdata, FolderIsThere) {
    const auto files = gedcom_files();
    EXPECT_GE(files.size(), 170u);
    for (const Expected& e : expectations()) {
        EXPECT_TRUE(std::binary_search(files.begin(), files.end(), std::string(e.path))) << e.path;
    }
    for (const auto& [path, message] : refused()) {
        EXPECT_TRUE(std::binary_search(files.begin(), files.end(), path)) << path;
    }
}

TEST(Testdata, RepresentativeFilesDecodeAsExpected) {
    for (const Expected& e : expectations()) {
        SCOPED_TRACE(e.path);
        auto r = decode::decode_gedcom(read_file(kRoot / e.path));
        ASSERT_TRUE(r.has_value());
        const EncodingReport& report = r->second;
        EXPECT_EQ(report.encoding, e.encoding);
        EXPECT_EQ(report.bom, e.bom);
        EXPECT_EQ(report.declared, e.declared);
        EXPECT_EQ(report.undecodable, e.undecodable);
        EXPECT_EQ(report.warnings, e.warnings);
    }
}

// Every file: decoding never fails and gives valid text without a leading mark;
// reading gives the same report and writes back the decoded lines.
TEST(Testdata, EveryFileReadsOrIsRefusedWithItsError) {
    for (const std::string& relative : gedcom_files()) {
        SCOPED_TRACE(relative);
        const std::string bytes = read_file(kRoot / relative);
        auto decoded = decode::decode_gedcom(bytes);
        ASSERT_TRUE(decoded.has_value());
        const auto& [text, report] = *decoded;
        ASSERT_TRUE(report.encoding.has_value());
        EXPECT_TRUE(pellorine::text::is_valid_utf8(text));
        EXPECT_FALSE(text.starts_with("\uFEFF"));
        EXPECT_EQ(report.bom, bytes.starts_with("\xEF\xBB\xBF") || bytes.starts_with("\xFE\xFF") ||
                                  bytes.starts_with("\xFF\xFE"));

        auto read = Document::from_bytes(bytes);
        auto refusal = refused().find(relative);
        if (refusal != refused().end()) {
            ASSERT_FALSE(read.has_value());
            EXPECT_EQ(read.error().display(), refusal->second);
            continue;
        }
        ASSERT_TRUE(read.has_value()) << read.error().display();
        EXPECT_EQ(read->second, report);
        EXPECT_EQ(read->first.to_text(), expected_text(text));
    }
}

TEST(Testdata, SameTreeInTwoByteOrders) {
    EXPECT_EQ(decoded_text("gedcom555/555SAMPLE16BE.GED"), decoded_text("gedcom555/555SAMPLE16LE.GED"));
    std::string be = decoded_text("charsets/gedcom4j/willis-unicode-bigendian.ged");
    std::string le = decoded_text("charsets/gedcom4j/willis-unicode-littleendian.ged");
    const std::string from = "willis-unicode-bigendian.ged", to = "willis-unicode-littleendian.ged";
    ASSERT_NE(be.find(from), std::string::npos);
    be.replace(be.find(from), from.size(), to);
    EXPECT_EQ(be, le);
}

TEST(Testdata, CharactersComeOutRight) {
    // The same word in ANSEL (0xB2) and in Windows-1252 (0xF8).
    EXPECT_NE(decoded_text("charsets/gedcom4j/willis-ansel.ged").find("Br\u00F8derbund"), std::string::npos);
    EXPECT_NE(decoded_text("realworld/gedcom4j/a31486.ged").find("Br\u00F8derbund"), std::string::npos);
    EXPECT_NE(decoded_text("realworld/d-jeffrey/famous/Prophet+Mohommad+Family+Tree.ged").find("rophet\u2019s"),
              std::string::npos);
    // ANSEL marks follow their letters.
    const std::string ansel = decoded_text("charsets/gedcom4j/ANSEL.GED");
    EXPECT_NE(ansel.find("2 PLAC a\u0301b\u0301c\u0301"), std::string::npos);
    EXPECT_NE(ansel.find("2 PLAC A\u030BB\u030BC\u030B"), std::string::npos);
}

TEST(Testdata, AnselMarkBeforeLineEndStaysOnItsLine) {
    // Heredis split a word across CONC lines after a circumflex; the mark
    // stays on the line it was written on, so the next line keeps its level.
    const std::string text = decoded_text("realworld/gedcom4j/issue81.ged");
    EXPECT_NE(text.find("arr\u0302\r\n3 CONC ete\u0301 "), std::string::npos);
    EXPECT_TRUE(Document::from_bytes(read_file(kRoot / "realworld/gedcom4j/issue81.ged")).has_value());
}

}  // namespace
