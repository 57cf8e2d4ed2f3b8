// Nodes and documents: edits, logical payloads, lookups, pointers, output and the empty documents.
#include <gtest/gtest.h>

#include <stdexcept>

#include "document.hpp"

namespace pellorine {
namespace {

using Opt = std::optional<std::string_view>;

Document parse(std::string_view text) {
    auto doc = Document::parse(text);
    EXPECT_TRUE(doc) << doc.error().display();
    return doc ? std::move(*doc) : Document{};
}

std::string render(const Node& n, std::uint16_t level = 0) {
    std::string out;
    n.render_into(level, out);
    return out;
}

// ---------------------------------------------------------------- shapes and lines

TEST(Shapes, TagsAndIdentifiers) {
    struct Case {
        std::string_view text;
        bool tag, xref;
    };
    for (const Case& c : std::initializer_list<Case>{{"HEAD", true, false},
                                                     {"_x9", true, false},
                                                     {"", false, false},
                                                     {"A-B", false, false},
                                                     {"H\xC3\x89", false, false},
                                                     {"@I1@", false, true},
                                                     {"@ @", false, true},
                                                     {"@@@", false, false},
                                                     {"@@", false, false},
                                                     {"@I1", false, false},
                                                     {"@I@1@", false, false}}) {
        EXPECT_EQ(is_tag(c.text), c.tag) << c.text;
        EXPECT_EQ(is_xref(c.text), c.xref) << c.text;
    }
}

TEST(Shapes, RenderLine) {
    std::string out;
    render_line(0, std::nullopt, "HEAD", std::nullopt, out);
    out += '|';
    render_line(1, std::nullopt, "NOTE", "", out);
    out += '|';
    render_line(65535, "@I1@", "INDI", "x y", out);
    EXPECT_EQ(out, "0 HEAD|1 NOTE |65535 @I1@ INDI x y");
}

// ---------------------------------------------------------------- setters

TEST(Setters, PreconditionsStopWithFixedMessages) {
    auto message = [](auto&& f) -> std::string {
        try {
            f();
        } catch (const std::logic_error& e) {
            return e.what();
        }
        return "no error";
    };
    Node n = Node::new_("NOTE");
    EXPECT_EQ(message([] { Node::new_("BAD TAG"); }),
              "\"BAD TAG\" is not a GEDCOM tag: ASCII letters, digits, or underscore");
    EXPECT_EQ(message([] { Node::new_(""); }), "\"\" is not a GEDCOM tag: ASCII letters, digits, or underscore");
    EXPECT_EQ(message([] { Node::record("I1", "INDI"); }),
              "\"I1\" is not a cross-reference identifier: the @I1@ shape");
    EXPECT_EQ(message([] { Node::record("@I1@", "IN\tDI"); }),
              "\"IN\\tDI\" is not a GEDCOM tag: ASCII letters, digits, or underscore");
    EXPECT_EQ(message([&] { n.set_tag("a\"b"); }), "\"a\\\"b\" is not a GEDCOM tag");
    EXPECT_EQ(message([&] { n.set_value("a\nb"); }), "a single-line node payload cannot contain a line ending");
    EXPECT_EQ(message([&] { n.set_value("a\rb"); }), "a single-line node payload cannot contain a line ending");
    EXPECT_EQ(message([&] { n.set_xref("@I1"); }), "the cross-reference identifier is not in @XREF@ form");
    // A refused edit changes nothing.
    EXPECT_EQ(render(n), "0 NOTE\n");
}

TEST(Setters, EditsDropOnlyTheEditedNodesVerbatimText) {
    Document doc = parse("00 NOTE x\n01 CONT y\n");
    Node& note = doc.records[0];
    EXPECT_EQ(doc.to_text(), "00 NOTE x\n01 CONT y\n");
    note.set_value("y");
    EXPECT_EQ(doc.to_text(), "0 NOTE y\n01 CONT y\n");
    note.set_xref("@N1@");
    note.set_tag("_NOTE");
    EXPECT_EQ(render(note), "0 @N1@ _NOTE y\n01 CONT y\n");
    note.set_value(std::nullopt);
    note.set_xref(std::nullopt);
    EXPECT_EQ(render(note), "0 _NOTE\n01 CONT y\n");
    note.set_value("");
    EXPECT_EQ(render(note), "0 _NOTE \n01 CONT y\n");
    note.children()[0].forget_verbatim();
    EXPECT_EQ(render(note, 3), "3 _NOTE \n4 CONT y\n");
}

TEST(Setters, SettingAViewOfTheNodesOwnText) {
    Node n = Node::record("@I1@", "INDI");
    n.set_value(n.xref());
    n.set_xref(n.value()->substr(0, 3) == "@I1" ? std::optional<std::string_view>("@X@") : std::nullopt);
    n.set_tag(n.tag().substr(0, 3));
    EXPECT_EQ(render(n), "0 @X@ IND @I1@\n");

    n.set_xref("@ @");  // the shape allows a space
    EXPECT_EQ(n.xref(), Opt("@ @"));
    EXPECT_EQ(n.tag(), "IND");
    EXPECT_EQ(render(n), "0 @ @ IND @I1@\n");

    // Moving a node's own child over it.
    Document doc = parse("0 @A@ A a\n1 @B@ B b\n2 C c\n");
    Node& a = doc.records[0];
    a = std::move(a.children()[0]);
    EXPECT_EQ(doc.to_text(), "0 @B@ B b\n1 C c\n");

    // The replacement may view a continuation line that the replacement removes.
    Node note = Node::with_value("NOTE", "x\na text longer than any short-string buffer\nb");
    note.set_logical_value(*note.children()[0].value());
    EXPECT_EQ(render(note), "0 NOTE a text longer than any short-string buffer\n");
}

TEST(Setters, WithValueAndRecord) {
    EXPECT_EQ(render(Node::with_value("NOTE", "")), "0 NOTE \n");
    EXPECT_EQ(render(Node::with_value("NOTE", "a b")), "0 NOTE a b\n");
    EXPECT_EQ(render(Node::with_value("NOTE", "a\r\nb\rc\n")), "0 NOTE a\n1 CONT b\n1 CONT c\n1 CONT \n");
    EXPECT_EQ(render(Node::record("@F1@", "FAM").child(Node::new_("HUSB"))), "0 @F1@ FAM\n1 HUSB\n");
}

// ---------------------------------------------------------------- logical payloads

struct LogicalCase {
    std::string text;
    std::string expected;  // the node rendered afterwards
};

void PrintTo(const LogicalCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.text); }

class SetLogicalValue : public ::testing::TestWithParam<LogicalCase> {};

TEST_P(SetLogicalValue, ReplacesContinuationLines) {
    Document doc = parse("0 NOTE old\n1 CONC x\n1 DATE d\n01 CONT y\n");
    Node& n = doc.records[0];
    n.set_logical_value(GetParam().text);
    EXPECT_EQ(render(n), GetParam().expected);
    std::string normalised;
    const std::string& t = GetParam().text;
    for (std::size_t i = 0; i < t.size(); ++i) {
        bool crlf = t[i] == '\r' && i + 1 < t.size() && t[i + 1] == '\n';
        normalised.push_back(t[i] == '\r' ? '\n' : t[i]);
        i += crlf;
    }
    EXPECT_EQ(n.logical_value(), normalised);
}

INSTANTIATE_TEST_SUITE_P(Node, SetLogicalValue,
                         ::testing::Values(LogicalCase{"a\nb", "0 NOTE a\n1 CONT b\n1 DATE d\n"},
                                           LogicalCase{"a\n", "0 NOTE a\n1 CONT \n1 DATE d\n"},
                                           LogicalCase{"", "0 NOTE\n1 DATE d\n"},
                                           LogicalCase{"\r\nb", "0 NOTE\n1 CONT b\n1 DATE d\n"},
                                           LogicalCase{"\n\n", "0 NOTE\n1 CONT \n1 CONT \n1 DATE d\n"},
                                           LogicalCase{"a\r\rb", "0 NOTE a\n1 CONT \n1 CONT b\n1 DATE d\n"},
                                           LogicalCase{"one line", "0 NOTE one line\n1 DATE d\n"}));

TEST(Logical, JoinsContinuationChildrenWhereverTheyStand) {
    Document doc = parse("0 NOTE ab\n1 CONC c\n2 CONT nested\n1 NOTE n\n1 CONT\n1 CONT d\n");
    EXPECT_EQ(doc.records[0].logical_value(), "abc\n\nd");
    Document bare = parse("0 NOTE\n1 CONC x\n");
    EXPECT_EQ(bare.records[0].logical_value(), "x");
    EXPECT_EQ(bare.records[0].value_of("CONC"), std::optional<std::string>("x"));
    EXPECT_EQ(bare.records[0].value_of("CONT"), std::nullopt);
}

TEST(Logical, PointersAndNullPointer) {
    struct Case {
        std::string_view line;
        std::optional<std::string_view> pointer;
        bool is_void;
    };
    for (const Case& c : std::initializer_list<Case>{{"0 HUSB @I1@", "@I1@", false},
                                                     {"0 HUSB @VOID@", "@VOID@", true},
                                                     {"0 HUSB @void@", "@void@", false},
                                                     {"0 HUSB @@@", std::nullopt, false},
                                                     {"0 HUSB  @I1@", std::nullopt, false},
                                                     {"0 HUSB", std::nullopt, false}}) {
        Document doc = parse(c.line);
        EXPECT_EQ(doc.records[0].pointer(), c.pointer) << c.line;
        EXPECT_EQ(doc.records[0].is_void_pointer(), c.is_void) << c.line;
    }
}

// ---------------------------------------------------------------- tree operations

TEST(Tree, RemoveAt) {
    struct Case {
        Path path;
        std::optional<std::string> removed;
        std::string left;
    };
    const std::string text = "0 A\n1 B\n2 C\n2 D\n1 E\n";
    for (const Case& c : std::initializer_list<Case>{{{}, std::nullopt, text},
                                                     {{2}, std::nullopt, text},
                                                     {{0, 2}, std::nullopt, text},
                                                     {{1, 0}, std::nullopt, text},
                                                     {{0, 1}, "0 D\n", "0 A\n1 B\n2 C\n1 E\n"},
                                                     {{0}, "0 B\n1 C\n1 D\n", "0 A\n1 E\n"},
                                                     {{1}, "0 E\n", "0 A\n1 B\n2 C\n2 D\n"}}) {
        Document doc = parse(text);
        std::optional<Node> got = doc.records[0].remove_at(c.path);
        EXPECT_EQ(got.has_value(), c.removed.has_value());
        if (got && c.removed) {
            EXPECT_EQ(render(*got), *c.removed);
        }
        EXPECT_EQ(doc.to_text(), c.left);
    }
}

TEST(Tree, WalkIsPreOrderAndCountsLines) {
    Document doc = parse("0 A\n1 B\n2 C\n1 D\n2 E\n3 F\n");
    std::string seen;
    auto w = doc.records[0].walk();
    while (const Node* n = w.next()) seen += n->tag();
    EXPECT_EQ(seen, "ABCDEF");
    EXPECT_EQ(doc.records[0].line_count(), 6u);
    EXPECT_EQ(doc.records[0].children()[1].line_count(), 3u);
}

TEST(Tree, CloneIsDeepAndKeepsVerbatimText) {
    Document doc = parse("00 A x\n1 B\n");
    Node copy = doc.records[0].clone();
    copy.children()[0].set_value("changed");
    EXPECT_EQ(render(copy), "00 A x\n1 B changed\n");
    EXPECT_EQ(doc.to_text(), "00 A x\n1 B\n");
    Node built = Node::new_("A").child(Node::with_value("B", "v"));
    built.push(Node::new_("C"));
    EXPECT_EQ(render(built.clone(), 2), "2 A\n3 B v\n3 C\n");
}

TEST(Tree, FirstTakesOnlyTheFirstExactTag) {
    Document doc = parse("0 A\n1 b\n1 B x\n1 B y\n");
    ASSERT_NE(doc.records[0].first("B"), nullptr);
    EXPECT_EQ(doc.records[0].first("B")->value(), Opt("x"));
    EXPECT_EQ(doc.records[0].first("C"), nullptr);
    EXPECT_EQ(doc.records[0].value_of("B"), std::optional<std::string>("x"));
}

// ---------------------------------------------------------------- document queries

TEST(Queries, RecordLookupFoldsAsciiCaseAndTakesTheFirst) {
    Document doc = parse("0 HEAD\n0 @I1@ INDI\n1 NAME first\n0 @i1@ INDI\n1 NAME second\n0 @\xC3\xA9@ X\n");
    ASSERT_NE(doc.record("@I1@"), nullptr);
    EXPECT_EQ(doc.record("@i1@")->children()[0].value(), Opt("first"));
    EXPECT_EQ(doc.record("@I2@"), nullptr);
    EXPECT_EQ(doc.record("@\xC3\x89@"), nullptr);  // no folding beyond ASCII
    EXPECT_NE(doc.record("@\xC3\xA9@"), nullptr);

    RecordIndex index = doc.record_index();
    EXPECT_EQ(index.position("@i1@"), std::optional<std::size_t>(1));
    EXPECT_TRUE(index.contains("@I1@"));
    EXPECT_FALSE(index.contains("@I2@"));
    EXPECT_EQ(index.get("@I1@"), &doc.records[1]);
    EXPECT_EQ(index.get("@x@"), nullptr);

    auto map = doc.xref_index();
    EXPECT_EQ(map.size(), 2u);
    EXPECT_EQ(map.at("@I1@"), 1u);
    EXPECT_EQ(map.at("@\xC3\xA9@"), 3u);
}

TEST(Queries, FoldedXrefComparesAndHashesWithoutCase) {
    FoldedXrefHash h;
    EXPECT_EQ(FoldedXref{"@aBc@"}, FoldedXref{"@AbC@"});
    EXPECT_EQ(h(FoldedXref{"@aBc@"}), h(FoldedXref{"@ABC@"}));
    EXPECT_FALSE(FoldedXref{"@a@"} == FoldedXref{"@a@@"});
    EXPECT_FALSE(FoldedXref{"@[@"} == FoldedXref{"@{@"});
}

TEST(Queries, HeaderVersionAndCounts) {
    Document doc = parse("0 HEAD\n1 GEDC\n2 VERS 7.\n3 CONC 0\n0 @I1@ INDI\n0 TRLR\n0 TRLR\n");
    ASSERT_NE(doc.header(), nullptr);
    EXPECT_EQ(doc.version(), std::optional<std::string>("7.0"));
    EXPECT_TRUE(doc.is_version_7_or_later());
    EXPECT_EQ(doc.content_records(), 1u);
    EXPECT_EQ(doc.line_count(), 7u);

    Document trailer_first = parse("0 TRLR\n0 HEAD\n1 GEDC\n2 VERS 7.0\n1 CHAR ANSEL\n");
    EXPECT_EQ(trailer_first.header(), nullptr);
    EXPECT_EQ(trailer_first.version(), std::nullopt);
    EXPECT_FALSE(trailer_first.is_version_7_or_later());
    EXPECT_EQ(trailer_first.to_bytes(), trailer_first.to_text());

    EXPECT_EQ(parse("0 HEAD\n1 GEDC\n").version(), std::nullopt);
    EXPECT_EQ(Document{}.content_records(), 0u);
}

TEST(Queries, VersionSevenOrLater) {
    struct Case {
        std::string_view vers;
        bool later;
    };
    for (const Case& c : std::initializer_list<Case>{{"7.0", true},
                                                     {"7", true},
                                                     {" 7.0.1", true},
                                                     {"10.0", true},
                                                     {"+7.1", true},
                                                     {"\xE2\x80\x83" "8", true},
                                                     {"5.5.1", false},
                                                     {"v7", false},
                                                     {"-7", false},
                                                     {"", false},
                                                     {"4294967303.0", false},
                                                     {"6.9", false}}) {
        Document doc = parse("0 HEAD\n1 GEDC\n2 VERS " + std::string(c.vers) + "\n");
        EXPECT_EQ(doc.is_version_7_or_later(), c.later) << c.vers;
    }
}

// ---------------------------------------------------------------- pointers

TEST(Pointers, UnresolvedInDocumentOrderWithPaths) {
    Document doc = parse(
        "0 HEAD\n1 SUBM @U1@\n"
        "0 @I1@ INDI\n1 FAMC @f1@\n1 FAMS @F2@\n2 NOTE @N1@\n1 ASSO @VOID@\n1 ASSO @void@\n"
        "0 @F1@ FAM\n1 HUSB @i1@\n1 CONT @X@\n"
        "0 NOTE @R@\n");
    auto got = doc.unresolved_pointers();
    std::vector<std::string> json;
    for (const auto& u : got) json.push_back(u.to_json());
    EXPECT_EQ(json, (std::vector<std::string>{
                        R"({"record":"HEAD","path":[0],"tag":"SUBM","pointer":"@U1@"})",
                        R"({"record":"@I1@","path":[1],"tag":"FAMS","pointer":"@F2@"})",
                        R"({"record":"@I1@","path":[1,0],"tag":"NOTE","pointer":"@N1@"})",
                        R"({"record":"@I1@","path":[3],"tag":"ASSO","pointer":"@void@"})",
                        R"({"record":"@F1@","path":[1],"tag":"CONT","pointer":"@X@"})",
                        R"({"record":"NOTE","path":[],"tag":"NOTE","pointer":"@R@"})"}));
    auto pairs = doc.dangling_pointers();
    ASSERT_EQ(pairs.size(), got.size());
    EXPECT_EQ(pairs[1], (std::pair<std::string, std::string>{"@I1@", "@F2@"}));
    EXPECT_TRUE(parse("0 @A@ X\n1 P @a@\n").unresolved_pointers().empty());
}

TEST(Pointers, JsonEscapesText) {
    UnresolvedPointer u{"@\"q\"@", {0, 12}, "T", std::string("@a\\\n\0@", 6)};
    EXPECT_EQ(u.to_json(), "{\"record\":\"@\\\"q\\\"@\",\"path\":[0,12],\"tag\":\"T\",\"pointer\":\"@a\\\\\\n\\u0000@\"}");
}

TEST(Pointers, NextXref) {
    struct Case {
        std::string text;
        std::string prefix;
        std::string expected;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"0 HEAD\n", "I", "@I1@"},
             {"0 @I1@ INDI\n0 @i7@ INDI\n0 @IND3@ INDI\n", "I", "@I8@"},
             {"0 @F2@ FAM\n0 @f10@ FAM\n", "F", "@F11@"},
             {"0 @F2@ FAM\n0 @f10@ FAM\n", "f", "@f11@"},
             {"0 @X+4@ A\n", "x", "@x5@"},
             {"0 @I18446744073709551615@ A\n", "I", "@I1@"},
             {"0 @I18446744073709551615@ A\n0 @I1@ A\n0 @i2@ A\n", "I", "@I3@"},
             {"0 @I18446744073709551616@ A\n", "I", "@I1@"},
             {"0 @I-3@ A\n0 @I4X@ A\n", "I", "@I1@"},
             {"0 @S4@ A\n0 @S5@ A\n", "", "@1@"},
             {"0 @5@ A\n0 @7@ A\n", "", "@8@"}}) {
        EXPECT_EQ(parse(c.text).next_xref(c.prefix), c.expected) << c.text;
    }
}

// ---------------------------------------------------------------- output

struct BytesCase {
    std::string text;
    std::string bytes;  // empty: the same as to_text
};

void PrintTo(const BytesCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.text); }

class ToBytes : public ::testing::TestWithParam<BytesCase> {};

TEST_P(ToBytes, DeclaresUtf8OnlyWhereNeeded) {
    Document doc = parse(GetParam().text);
    const std::string before = doc.to_text();
    const std::string& want = GetParam().bytes.empty() ? before : GetParam().bytes;
    EXPECT_EQ(doc.to_bytes(), want);
    EXPECT_EQ(doc.to_text(), before);  // the document itself is unchanged
    // Declaring on the document itself gives the same text when the header comes first.
    EXPECT_EQ(doc.declare_utf8_encoding(), !GetParam().bytes.empty());
    EXPECT_EQ(doc.to_text(), want);
    EXPECT_FALSE(doc.declare_utf8_encoding());
}

INSTANTIATE_TEST_SUITE_P(
    Output, ToBytes,
    ::testing::Values(
        BytesCase{"0 HEAD\n1 CHAR UTF-8\n0 TRLR\n", ""}, BytesCase{"0 HEAD\n1 CHAR utf-8\n", ""},
        BytesCase{"0 HEAD\n1 CHAR  UTF-8 \n", ""}, BytesCase{"0 HEAD\n1 SOUR x\n0 TRLR\n", ""},
        BytesCase{"0 HEAD\n1 CHAR UTF8\n0 TRLR\n", "0 HEAD\n1 CHAR UTF-8\n0 TRLR\n"},
        BytesCase{"0 HEAD\n01 CHAR ANSEL\n2 VERS x\n0 TRLR\n", "0 HEAD\n1 CHAR UTF-8\n2 VERS x\n0 TRLR\n"},
        BytesCase{"0 HEAD\n1 CHAR\n1 CHAR ANSEL\n", "0 HEAD\n1 CHAR UTF-8\n1 CHAR ANSEL\n"},
        BytesCase{"0 HEAD\n1 @C@ CHAR ASCII\n", "0 HEAD\n1 @C@ CHAR UTF-8\n"},
        // A CHAR value continued on CONC lines is read as one payload...
        BytesCase{"0 HEAD\n1 CHAR UTF-\n2 CONC 8\n0 TRLR\n", ""},
        // ...and a rewritten CHAR loses its continuation lines, keeping its other children.
        BytesCase{"0 HEAD\n1 CHAR ANS\n2 CONC EL\n2 VERS 1\n2 CONT x\n0 TRLR\n",
                  "0 HEAD\n1 CHAR UTF-8\n2 VERS 1\n0 TRLR\n"},
        BytesCase{"0 HEAD\n1 CHAR UTF-8\n2 CONC X\n", "0 HEAD\n1 CHAR UTF-8\n"}));

TEST(Output, EmptyDocumentAndMisplacedHeader) {
    EXPECT_EQ(Document{}.to_bytes(), "");
    // to_bytes needs the header first; declaring finds a HEAD anywhere.
    Document doc = parse("0 @I1@ INDI\n0 HEAD\n1 CHAR ANSEL\n");
    EXPECT_EQ(doc.to_bytes(), doc.to_text());
    EXPECT_TRUE(doc.declare_utf8_encoding());
    EXPECT_EQ(doc.to_text(), "0 @I1@ INDI\n0 HEAD\n1 CHAR UTF-8\n");
    EXPECT_FALSE(parse("0 HEAD\n1 SOUR x\n").declare_utf8_encoding());
}

TEST(Output, EmptyDocuments) {
    EXPECT_EQ(Document::new_v7().to_text(), "0 HEAD\n1 GEDC\n2 VERS 7.0\n0 TRLR\n");
    EXPECT_TRUE(Document::new_v7().is_version_7_or_later());
    EXPECT_EQ(Document::new_v551("pellorine").to_text(),
              "0 HEAD\n1 SOUR pellorine\n1 GEDC\n2 VERS 5.5.1\n2 FORM LINEAGE-LINKED\n1 CHAR UTF-8\n0 TRLR\n");
    EXPECT_EQ(Document::new_v551("").to_text().substr(0, 15), "0 HEAD\n1 SOUR \n");
    EXPECT_EQ(Document::new_v551("a\nb").to_text().substr(0, 25), "0 HEAD\n1 SOUR a\n2 CONT b\n");
    Document v551 = Document::new_v551("x");
    EXPECT_EQ(v551.version(), std::optional<std::string>("5.5.1"));
    EXPECT_EQ(v551.to_bytes(), v551.to_text());
    EXPECT_EQ(v551.content_records(), 0u);
}

}  // namespace
}  // namespace pellorine
