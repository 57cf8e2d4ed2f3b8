// The line grammar, the parser's bounds and error precedence, and the text the nodes keep.
#include <gtest/gtest.h>

#include "document.hpp"

namespace pellorine {

// Failures show the error as text, with its kind.
void PrintTo(const GedcomError& e, std::ostream* os) { *os << e.display() << " (kind " << int(e.kind) << ")"; }

namespace {

using Opt = std::optional<std::string_view>;
using E = std::optional<GedcomError>;

E error_of(const Result<Document>& doc) { return doc ? E() : E(doc.error()); }

TEST(Grammar, LinesThatParse) {
    const struct {
        std::string line;
        Opt xref, value;
        std::string_view tag;
        bool verbatim;
    } cases[] = {
        {"0 HEAD ", {}, "", "HEAD", false}, {"00 HEAD", {}, {}, "HEAD", true}, {"+0 HEAD", {}, {}, "HEAD", true},
        {"0 head", {}, {}, "head", false},  {"0 NAME  John /Doe/", {}, " John /Doe/", "NAME", false},
        {"0 @I1@ INDI ", "@I1@", "", "INDI", false}, {"0   @I1@ NOTE x y", "@I1@", "x y", "NOTE", true},
        {std::string("0 NOTE a\0b\t", 11), {}, std::string_view("a\0b\t", 4), "NOTE", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        auto doc = Document::parse(c.line + "\n");
        ASSERT_TRUE(doc) << doc.error().display();
        const Node& n = doc->records.at(0);
        EXPECT_EQ(std::tuple(n.tag(), n.xref(), n.value(), n.verbatim()),
                  std::tuple(c.tag, c.xref, c.value, c.verbatim ? Opt(c.line) : std::nullopt));
        EXPECT_EQ(doc->to_text(), c.line + "\n");
    }
}

TEST(Grammar, RefusalsWithMessageLineAndKind) {
    constexpr auto Syn = ErrorKind::Syntax, Str = ErrorKind::Structure;
    const std::string no_tag = "the line has no tag", no_level = "the line does not begin with a level",
                      bad_tag = "a tag must be ASCII letters, digits, or underscore",
                      open_xref = "the cross-reference identifier is not closed, or contains a space",
                      xref_no_tag = "the record has an identifier but no tag";
    const struct {
        std::string text, message;
        std::uint64_t line;
        ErrorKind kind;
    } cases[] = {
        {"0", no_tag, 1, Syn},          {"0    ", no_tag, 1, Syn},         {" 0 HEAD", no_level, 1, Syn},
        {"+ X", no_level, 1, Syn},      {"65536 X", no_level, 1, Syn},     {"\xEF\xBB\xBF" "0 HEAD", no_level, 1, Syn},
        {"0 @I1@", xref_no_tag, 1, Syn}, {"0 @I1@ ", xref_no_tag, 1, Syn}, {"0 @I 1@ INDI", open_xref, 1, Syn},
        {"0 @I1@  INDI", bad_tag, 1, Syn}, {"0 H\xC3\x89" "AD", bad_tag, 1, Syn},
        {"1 HEAD", "a record must begin at level 0", 1, Str},
        {"0 HEAD\n2 DATE x", "the line skips a nesting level", 2, Str},
        // A line error anywhere wins over an earlier structural error; the first structural one is reported.
        {"1 HEAD\n0 BAD!", bad_tag, 2, Syn},
        {"0 A\n2 B\n0 C\n0 D E\n1", no_tag, 5, Syn},
        {"0 A\n2 B\n0 C\n2 D\n", "the line skips a nesting level", 2, Str},
        // Line numbers count empty lines and every kind of line end.
        {"0 HEAD\r\n\r\n1 X\r0 Y!", bad_tag, 4, Syn},
        {"0 HEAD\r\r\n0 Y!", bad_tag, 3, Syn},
    };
    for (const auto& c : cases)
        EXPECT_EQ(error_of(Document::parse(c.text)), (GedcomError{c.message, c.line, c.kind})) << c.text;
}

std::string chain(int deepest) {
    std::string t;
    for (int level = 0; level <= deepest; ++level) t += std::to_string(level) + " X\n";
    return t;
}

// Each limit at its bound and just past it; the line end does not count in a line's length.
TEST(Bounds, AtAndJustPastEachLimit) {
    const ParseLimits three_lines{.max_lines = 3}, one_record{.max_records = 1}, small{.max_bytes = 3 * 1048576 - 1};
    const std::string line = "0 NOTE " + std::string(16777216 - 7, 'x'), newlines(3 * 1048576, '\n');
    const struct {
        std::string text;
        const ParseLimits& limits;
        E error;
    } cases[] = {
        {chain(64), default_limits, {}},
        {chain(65), default_limits, GedcomError::limit("the line is nested deeper than the limit", 66)},
        {line + "\r\n", default_limits, {}},
        {"0 HEAD\n" + line + "y\n", default_limits, GedcomError::limit("the line is longer than the limit", 2)},
        {"0 A\n1 B\n\n1 C\n\n", three_lines, {}},
        {"0 A\n1 B\n\n1 C\n1 D\n", three_lines, GedcomError::limit("the file has too many lines", 5)},
        {"0 A\n1 B\n", one_record, {}},
        {"0 A\n1 B\n\n0 C\n", one_record, GedcomError::limit("the file has too many records", 4)},
        {newlines.substr(1), small, {}},
        {newlines, small, GedcomError::limit("the file is 3 MB and the limit is 2 MB")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(error_of(Document::parse_with(c.text, c.limits)), c.error) << c.text.substr(0, 20);
    EXPECT_EQ(Document::parse_owned_with(newlines, small).error(), cases[9].error);
}

// A keeper that records when its deleter ran.
TextKeeper watch(bool& released) {
    released = false;
    return TextKeeper(&released, [](bool* flag) { *flag = true; });
}

// Nodes outlive the text and the document they came from: parse copies the
// caller's text, parse_owned keeps its own, and a borrowed text is viewed in
// place and kept until the last node viewing it goes.
TEST(Parse, NodesOutliveTheirTextAndDocument) {
    const std::string lines = "0 @I1@ INDI\n+1 NAME John /Doe/\n1 NOTE\n1 SEX ";
    std::string text = lines;
    Node copied = std::move(Document::parse(text).value().records[0]);
    Node owned = std::move(Document::parse_owned(text + "\r\n0 TRLR").value().records[0]);
    bool released = false;
    std::optional<Node> kept;
    {
        auto doc = Document::parse_borrowed_with(text, watch(released), default_limits);
        ASSERT_TRUE(doc);
        const Node& indi = doc->records[0];
        const char* sex = indi.children()[2].tag().data();
        EXPECT_TRUE(sex >= text.data() && sex < text.data() + text.size());  // viewed, not copied
        EXPECT_EQ(std::pair(indi.children()[1].value(), indi.children()[2].value()), std::pair(Opt(), Opt("")));
        kept.emplace(indi.children()[0].clone());
    }
    EXPECT_FALSE(released);  // the copied node still views the text
    EXPECT_EQ(kept->verbatim(), Opt("+1 NAME John /Doe/"));
    kept.reset();
    EXPECT_TRUE(released);
    text.assign(text.size(), '#');
    std::string out;
    copied.render_into(0, out);
    owned.render_into(0, out);
    EXPECT_EQ(out, lines + "\n" + lines + "\n");
}

TEST(Parse, BorrowedTextIsCopiedOrLetGoWhenNothingViewsIt) {
    bool released = false;
    auto copied = Document::parse_borrowed_with("0 A b\r\n1 C\r\n", watch(released), default_limits);
    EXPECT_TRUE(released);  // line ends change, so the nodes view a copy
    EXPECT_EQ(copied.value().to_text(), "0 A b\n1 C\n");
    for (std::string_view nothing : {"0 A\n2 B\n", "1 A\n", "0 A\n0 B!\n", "\n\n"}) {
        auto doc = Document::parse_borrowed_with(nothing, watch(released), default_limits);
        EXPECT_EQ(doc.has_value(), nothing == "\n\n");
        EXPECT_TRUE(released) << nothing;  // refused, or no records
    }
    // An edit copies what the node viewed.
    auto doc = Document::parse_borrowed_with("0 @N1@ NOTE a\n1 CONT b\n", watch(released), default_limits);
    doc.value().records[0].set_logical_value("x");
    EXPECT_TRUE(released);
    EXPECT_EQ(doc->to_text(), "0 @N1@ NOTE x\n");
}

}  // namespace
}  // namespace pellorine
