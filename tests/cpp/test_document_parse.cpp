// The line grammar, the parser's bounds and error precedence, and byte-preserving round trips.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "document.hpp"
#include "text.hpp"

namespace pellorine {
namespace {

using Opt = std::optional<std::string_view>;

// ---------------------------------------------------------------- lines that parse

struct LineCase {
    std::string line;
    std::optional<std::string> xref;
    std::string tag;
    std::optional<std::string> value;
    std::optional<std::string> verbatim;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.line); }

class ParsesLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(ParsesLine, Fields) {
    const LineCase& c = GetParam();
    auto doc = Document::parse(c.line + "\n");
    ASSERT_TRUE(doc) << doc.error().display();
    ASSERT_EQ(doc->records.size(), 1u);
    const Node& n = doc->records[0];
    EXPECT_EQ(n.tag(), c.tag);
    EXPECT_EQ(n.xref(), c.xref ? Opt(*c.xref) : std::nullopt);
    EXPECT_EQ(n.value(), c.value ? Opt(*c.value) : std::nullopt);
    EXPECT_EQ(n.verbatim(), c.verbatim ? Opt(*c.verbatim) : std::nullopt);
    EXPECT_EQ(doc->to_text(), c.line + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Grammar, ParsesLine,
    ::testing::Values(LineCase{"0 HEAD", {}, "HEAD", {}, {}},
                      LineCase{"0 HEAD ", {}, "HEAD", "", {}},
                      LineCase{"00 HEAD", {}, "HEAD", {}, "00 HEAD"},
                      LineCase{"+0 HEAD", {}, "HEAD", {}, "+0 HEAD"},
                      LineCase{"0  HEAD", {}, "HEAD", {}, "0  HEAD"},
                      LineCase{"000000000000 HEAD x", {}, "HEAD", "x", "000000000000 HEAD x"},
                      LineCase{"0 NAME  John /Doe/", {}, "NAME", " John /Doe/", {}},
                      LineCase{"0 NOTE a  b ", {}, "NOTE", "a  b ", {}},
                      LineCase{"0 @I1@ INDI", "@I1@", "INDI", {}, {}},
                      LineCase{"0 @I1@ INDI ", "@I1@", "INDI", "", {}},
                      LineCase{"0   @I1@ NOTE x y", "@I1@", "NOTE", "x y", "0   @I1@ NOTE x y"},
                      LineCase{"0 head", {}, "head", {}, {}},
                      LineCase{"0 _UID 12", {}, "_UID", "12", {}},
                      LineCase{"0 NOTE @I1@", {}, "NOTE", "@I1@", {}},
                      LineCase{"0 NOTE caf\xC3\xA9\t", {}, "NOTE", "caf\xC3\xA9\t", {}},
                      LineCase{std::string("0 NOTE a\0b", 10), {}, "NOTE", std::string("a\0b", 3), {}}));

// ---------------------------------------------------------------- failures

struct FailCase {
    std::string text;
    std::string message;
    std::uint64_t line;
    ErrorKind kind;
};

void PrintTo(const FailCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.text); }

class RefusesText : public ::testing::TestWithParam<FailCase> {};

TEST_P(RefusesText, MessageLineAndKind) {
    const FailCase& c = GetParam();
    auto doc = Document::parse(c.text);
    ASSERT_FALSE(doc) << c.text;
    EXPECT_EQ(doc.error().message, c.message);
    EXPECT_EQ(doc.error().line, c.line);
    EXPECT_EQ(doc.error().kind, c.kind);
}

constexpr auto Lim = ErrorKind::Limit;
constexpr auto Syn = ErrorKind::Syntax;
constexpr auto Str = ErrorKind::Structure;
const char* const kNoTag = "the line has no tag";
const char* const kNoLevel = "the line does not begin with a level";
const char* const kBadTag = "a tag must be ASCII letters, digits, or underscore";
const char* const kOpenXref = "the cross-reference identifier is not closed, or contains a space";
const char* const kXrefNoTag = "the record has an identifier but no tag";

INSTANTIATE_TEST_SUITE_P(
    Grammar, RefusesText,
    ::testing::Values(FailCase{"0", kNoTag, 1, Syn}, FailCase{"0 ", kNoTag, 1, Syn},
                      FailCase{"0    ", kNoTag, 1, Syn}, FailCase{"0\tHEAD", kNoTag, 1, Syn},
                      FailCase{" 0 HEAD", kNoLevel, 1, Syn}, FailCase{"-1 X", kNoLevel, 1, Syn},
                      FailCase{"+ X", kNoLevel, 1, Syn}, FailCase{"++0 X", kNoLevel, 1, Syn},
                      FailCase{"65536 X", kNoLevel, 1, Syn}, FailCase{"0x1 X", kNoLevel, 1, Syn},
                      FailCase{"\xEF\xBB\xBF" "0 HEAD", kNoLevel, 1, Syn},
                      FailCase{"65 X", "the line is nested deeper than the limit", 1, Lim},
                      FailCase{"65535 X", "the line is nested deeper than the limit", 1, Lim},
                      FailCase{"0 @I1@  INDI", kBadTag, 1, Syn}, FailCase{"0 @I1@", kXrefNoTag, 1, Syn},
                      FailCase{"0 @I1@ ", kXrefNoTag, 1, Syn}, FailCase{"0 @I1 INDI", kOpenXref, 1, Syn},
                      FailCase{"0 @", kOpenXref, 1, Syn}, FailCase{"0 @@ X", kOpenXref, 1, Syn},
                      FailCase{"0 @@@ X", kOpenXref, 1, Syn}, FailCase{"0 @I 1@ INDI", kOpenXref, 1, Syn},
                      FailCase{"0 H\xC3\x89" "AD", kBadTag, 1, Syn}, FailCase{"0 BAD!", kBadTag, 1, Syn},
                      FailCase{"0 HEAD\n\n\n0 T-R", kBadTag, 4, Syn},
                      FailCase{"1 HEAD", "a record must begin at level 0", 1, Str},
                      FailCase{"64 X", "a record must begin at level 0", 1, Str},
                      FailCase{"0 A\n2 B\n0 C\n2 D\n", "the line skips a nesting level", 2, Str},
                      FailCase{"0 HEAD\n2 DATE x", "the line skips a nesting level", 2, Str},
                      FailCase{"0 HEAD\n1 A\n3 B\n", "the line skips a nesting level", 3, Str},
                      // A line error anywhere wins over an earlier structural error.
                      FailCase{"1 HEAD\n0 BAD!", kBadTag, 2, Syn},
                      FailCase{"0 A\n2 B\n0 C\n0 D E\n1", kNoTag, 5, Syn},
                      // Line numbers count empty lines and every kind of line end.
                      FailCase{"0 HEAD\r\n\r\n1 X\r0 Y!", kBadTag, 4, Syn},
                      FailCase{"0 HEAD\r\r\n0 Y!", kBadTag, 3, Syn}));

TEST(Parse, EmptyTextsGiveNoRecords) {
    for (std::string_view t : {"", "\n", "\n\n\n", "\r\n\r"}) {
        auto doc = Document::parse(t);
        ASSERT_TRUE(doc);
        EXPECT_TRUE(doc->records.empty());
        EXPECT_EQ(doc->to_text(), "");
    }
}

TEST(Parse, EmptyLinesAreCountedAndDropped) {
    auto doc = Document::parse("0 HEAD\n\n1 CHAR UTF-8\n0 TRLR");
    ASSERT_TRUE(doc);
    ASSERT_EQ(doc->records.size(), 2u);
    EXPECT_EQ(doc->to_text(), "0 HEAD\n1 CHAR UTF-8\n0 TRLR\n");
    auto bad = Document::parse("0 HEAD\n\n1 CHAR UTF-8\n0 TRLR!");
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.error().line, 4u);
}

TEST(Parse, MixedLineEndsKeepNoVerbatimText) {
    auto doc = Document::parse("0 HEAD\r\n1 SOUR x\r0 TRLR\n");
    ASSERT_TRUE(doc);
    ASSERT_EQ(doc->records.size(), 2u);
    EXPECT_FALSE(doc->records[0].verbatim());
    EXPECT_FALSE(doc->records[0].children()[0].verbatim());
    EXPECT_EQ(doc->records[0].children()[0].value(), Opt("x"));
    EXPECT_EQ(doc->to_text(), "0 HEAD\n1 SOUR x\n0 TRLR\n");
    // A verbatim line read with CR LF keeps no CR.
    auto v = Document::parse("01 X\r\n");
    ASSERT_FALSE(v);  // level 1 cannot begin a record
    auto w = Document::parse("00 X y\r\n");
    ASSERT_TRUE(w);
    EXPECT_EQ(w->records[0].verbatim(), Opt("00 X y"));
}

TEST(Parse, BuildsNestedTrees) {
    auto doc = Document::parse("0 @I1@ INDI\n1 NAME a\n2 GIVN b\n1 BIRT\n2 DATE 1900\n0 TRLR\n");
    ASSERT_TRUE(doc);
    ASSERT_EQ(doc->records.size(), 2u);
    const Node& indi = doc->records[0];
    ASSERT_EQ(indi.children().size(), 2u);
    EXPECT_EQ(indi.children()[0].children()[0].tag(), "GIVN");
    EXPECT_EQ(indi.children()[1].children()[0].value(), Opt("1900"));
    EXPECT_EQ(indi.children()[0].children().capacity(), 1u);  // allocated exactly
    EXPECT_EQ(doc->line_count(), 6u);
}

// ---------------------------------------------------------------- bounds

std::string chain(int deepest) {
    std::string t;
    for (int level = 0; level <= deepest; ++level) t += std::to_string(level) + " X\n";
    return t;
}

TEST(Bounds, DepthSixtyFourPassesAndSixtyFiveFails) {
    auto ok = Document::parse(chain(64));
    ASSERT_TRUE(ok) << ok.error().display();
    EXPECT_EQ(ok->line_count(), 65u);
    EXPECT_EQ(ok->to_text(), chain(64));
    auto bad = Document::parse(chain(65));
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.error().message, "the line is nested deeper than the limit");
    EXPECT_EQ(bad.error().line, 66u);
    EXPECT_EQ(bad.error().kind, ErrorKind::Limit);
}

TEST(Bounds, RaisedDepthBuildsWithoutRecursion) {
    ParseLimits limits;
    limits.max_depth = 20000;
    auto ok = Document::parse_with(chain(20000), limits);
    ASSERT_TRUE(ok) << ok.error().display();
    EXPECT_EQ(ok->records.size(), 1u);
    // Take the deep chain apart bottom-up so nothing recurses 20000 calls deep here.
    std::vector<Node> levels;
    Node* n = &ok->records[0];
    while (!n->children().empty()) {
        levels.push_back(std::move(*n->remove_at({0})));
        n = &levels.back();
    }
    EXPECT_EQ(levels.size(), 20000u);
    while (!levels.empty()) levels.pop_back();
}

TEST(Bounds, LineLengthLimitIsInclusive) {
    const std::size_t limit = 16777216;
    std::string exact = "0 NOTE " + std::string(limit - 7, 'x');
    ASSERT_EQ(exact.size(), limit);
    auto ok = Document::parse(exact + "\n");
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->records[0].value()->size(), limit - 7);
    auto bad = Document::parse("0 HEAD\n" + exact + "y\n");
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.error().message, "the line is longer than the limit");
    EXPECT_EQ(bad.error().line, 2u);
    EXPECT_EQ(bad.error().kind, ErrorKind::Limit);
    // The line end does not count, whichever it is.
    EXPECT_TRUE(Document::parse(exact + "\r\n"));
}

TEST(Bounds, LinesAndRecordsAreCounted) {
    ParseLimits three;
    three.max_lines = 3;
    auto bad = Document::parse_with("0 A\n1 B\n\n1 C\n1 D\n", three);
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.error().message, "the file has too many lines");
    EXPECT_EQ(bad.error().line, 5u);
    EXPECT_EQ(bad.error().kind, ErrorKind::Limit);
    EXPECT_TRUE(Document::parse_with("0 A\n1 B\n\n1 C\n\n", three));

    ParseLimits one;
    one.max_records = 1;
    auto two = Document::parse_with("0 A\n1 B\n\n0 C\n", one);
    ASSERT_FALSE(two);
    EXPECT_EQ(two.error().message, "the file has too many records");
    EXPECT_EQ(two.error().line, 4u);
    EXPECT_EQ(two.error().kind, ErrorKind::Limit);
    EXPECT_TRUE(Document::parse_with("0 A\n1 B\n", one));

    ParseLimits none;
    none.max_records = 0;
    EXPECT_TRUE(Document::parse_with("\n", none));
    EXPECT_FALSE(Document::parse_with("0 A\n", none));
}

TEST(Bounds, SizeLimit) {
    std::string big(134217729, '\n');
    auto bad = Document::parse(big);
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.error().message, "the file is 128 MB and the limit is 128 MB");
    EXPECT_EQ(bad.error().line, 0u);
    EXPECT_EQ(bad.error().kind, ErrorKind::Limit);
    EXPECT_EQ(bad.error().display(), "the file is 128 MB and the limit is 128 MB");
    big.pop_back();
    EXPECT_TRUE(Document::parse(big));
    auto owned = Document::parse_owned(big + "\n");
    ASSERT_FALSE(owned);
    EXPECT_EQ(owned.error().message, "the file is 128 MB and the limit is 128 MB");

    ParseLimits small;
    small.max_bytes = 3 * 1048576 - 1;
    auto three = Document::parse_with(std::string(3 * 1048576, '\n'), small);
    ASSERT_FALSE(three);
    EXPECT_EQ(three.error().message, "the file is 3 MB and the limit is 2 MB");
}

TEST(Errors, Display) {
    EXPECT_EQ(GedcomError::syntax("the line has no tag", 7).display(), "GEDCOM line 7: the line has no tag");
    EXPECT_EQ(GedcomError::limit("x").display(), "x");
}

// ---------------------------------------------------------------- ownership of the text

TEST(Parse, NodesOutliveTheirTextAndDocument) {
    std::optional<Node> kept;
    {
        std::string text = "0 @I1@ INDI\n1 NAME John /Doe/\n00 NOTE n\n";
        auto doc = Document::parse(text);
        ASSERT_TRUE(doc);
        text.assign(text.size(), '#');
        kept.emplace(std::move(doc->records[0]));
        Document other;
        other.records.push_back(doc->records[1].clone());
    }
    EXPECT_EQ(kept->xref(), Opt("@I1@"));
    EXPECT_EQ(kept->children()[0].value(), Opt("John /Doe/"));
    std::string out;
    kept->render_into(0, out);
    EXPECT_EQ(out, "0 @I1@ INDI\n1 NAME John /Doe/\n");

    auto owned = Document::parse_owned("0 A b\r\n00 C d\r\n");
    ASSERT_TRUE(owned);
    Node moved = std::move(owned->records[1]);
    owned->records.clear();
    EXPECT_EQ(moved.verbatim(), Opt("00 C d"));
}

// ---------------------------------------------------------------- real files

std::string read_file(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// What the writer must give back: LF line ends, no empty lines, a final LF.
std::string expected_output(std::string_view text) {
    std::string unified;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            unified.push_back('\n');
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            unified.push_back(text[i]);
        }
    }
    std::string out;
    std::size_t start = 0;
    while (start < unified.size()) {
        std::size_t nl = unified.find('\n', start);
        if (nl == std::string::npos) nl = unified.size();
        if (nl > start) out.append(unified, start, nl - start).push_back('\n');
        start = nl + 1;
    }
    return out;
}

TEST(RealFiles, Utf8FilesRoundTripLineForLine) {
    int checked = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(PELLORINE_TESTDATA)) {
        if (!e.is_regular_file()) continue;
        std::string ext = text::ascii_lowercase(e.path().extension().string());
        if (ext != ".ged") continue;
        std::string bytes = read_file(e.path());
        std::string_view body = bytes;
        if (body.starts_with("\xEF\xBB\xBF")) body.remove_prefix(3);
        if (!text::is_valid_utf8(body)) continue;
        auto doc = Document::parse(body);
        if (!doc) continue;  // malformed samples are exercised by the tests above
        EXPECT_EQ(doc->to_text(), expected_output(body)) << e.path();
        auto owned = Document::parse_owned(std::string(body));
        ASSERT_TRUE(owned);
        EXPECT_EQ(owned->to_text(), doc->to_text()) << e.path();
        Document copy;
        for (const Node& r : doc->records) copy.records.push_back(r.clone());
        EXPECT_EQ(copy.to_text(), doc->to_text()) << e.path();
        ++checked;
    }
    EXPECT_GT(checked, 20);
}

}  // namespace
}  // namespace pellorine
