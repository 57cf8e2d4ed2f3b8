// Nodes and documents: edits, logical payloads, lookups and pointers (the UTF-8
// output is tested with reading bytes, in test_decode).
#include <gtest/gtest.h>

#include <stdexcept>

#include "document.hpp"

namespace pellorine {
namespace {

using Opt = std::optional<std::string_view>;
using OptS = std::optional<std::string>;

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

TEST(Setters, PreconditionsStopWithFixedMessages) {
    auto message = [](auto&& f) -> std::string {
        try { f(); } catch (const std::logic_error& e) { return e.what(); }
        return "no error";
    };
    Node n = Node::new_("NOTE");
    EXPECT_EQ(message([] { Node::new_(""); }), "\"\" is not a GEDCOM tag: ASCII letters, digits, or underscore");
    EXPECT_EQ(message([] { Node::record("I1", "IN\tDI"); }),
              "\"I1\" is not a cross-reference identifier: the @I1@ shape");
    EXPECT_EQ(message([] { Node::record("@I1@", "IN\tDI"); }),
              "\"IN\\tDI\" is not a GEDCOM tag: ASCII letters, digits, or underscore");
    EXPECT_EQ(message([&] { n.set_tag("a\"b"); }), "\"a\\\"b\" is not a GEDCOM tag");
    EXPECT_EQ(message([&] { n.set_value("a\rb"); }), "a single-line node payload cannot contain a line ending");
    EXPECT_EQ(message([&] { n.set_xref("@I1"); }), "the cross-reference identifier is not in @XREF@ form");
    EXPECT_EQ(render(n), "0 NOTE\n");  // a refused edit changes nothing
}

// Each edit drops the edited node's verbatim text only, even when the new
// text views the node's own texts, or a line the edit removes.
TEST(Setters, EditsDropOnlyTheEditedNodesVerbatimText) {
    Document doc = parse("00 NOTE x\n01 CONT y\n");
    Node& note = doc.records[0];
    note.set_value("y");
    EXPECT_EQ(doc.to_text(), "0 NOTE y\n01 CONT y\n");
    note.set_xref("@N1@");
    note.set_tag("_NOTE");
    EXPECT_EQ(render(note), "0 @N1@ _NOTE y\n01 CONT y\n");
    note.set_xref(std::nullopt);
    note.set_value("");
    EXPECT_EQ(render(note), "0 _NOTE \n01 CONT y\n");
    note.set_value(std::nullopt);
    note.children()[0].forget_verbatim();
    EXPECT_EQ(render(note, 3), "3 _NOTE\n4 CONT y\n");
    Node n = Node::record("@I1@", "INDI");
    n.set_value(n.xref());
    n.set_tag(n.tag().substr(0, 3));
    n.set_xref(n.value()->substr(0, 2) == "@I" ? Opt("@ @") : std::nullopt);
    EXPECT_EQ(render(n), "0 @ @ IND @I1@\n");
    doc = parse("0 @A@ A a\n1 @B@ B b\n2 C c\n");
    doc.records[0] = std::move(doc.records[0].children()[0]);  // a node's own child moved over it
    EXPECT_EQ(doc.to_text(), "0 @B@ B b\n1 C c\n");
    n = Node::with_value("NOTE", "x\na text longer than any short-string buffer\nb");
    n.set_logical_value(*n.children()[0].value());
    EXPECT_EQ(render(n), "0 NOTE a text longer than any short-string buffer\n");
}

TEST(Logical, SetLogicalValueReplacesContinuationLines) {
    const struct {
        std::string_view text, rendered, logical;
    } cases[] = {
        {"a\nb", "0 NOTE a\n1 CONT b\n1 DATE d\n", "a\nb"}, {"a\n", "0 NOTE a\n1 CONT \n1 DATE d\n", "a\n"},
        {"", "0 NOTE\n1 DATE d\n", ""},                          {"\r\nb", "0 NOTE\n1 CONT b\n1 DATE d\n", "\nb"},
        {"a\r\rb", "0 NOTE a\n1 CONT \n1 CONT b\n1 DATE d\n", "a\n\nb"},
    };
    for (const auto& c : cases) {
        Document doc = parse("00 NOTE old\n1 CONC x\n1 DATE d\n1 CONT y\n");
        doc.records[0].set_logical_value(c.text);
        EXPECT_EQ(render(doc.records[0]), c.rendered);
        EXPECT_EQ(doc.records[0].logical_value(), c.logical);
    }
    EXPECT_EQ(render(Node::with_value("NOTE", "")), "0 NOTE \n");
    EXPECT_EQ(render(Node::with_value("NOTE", "\nb")), "0 NOTE\n1 CONT b\n");
}

TEST(Logical, JoinsContinuationChildrenWhereverTheyStand) {
    Document doc = parse("0 NOTE ab\n1 CONC c\n2 CONT nested\n1 NOTE n\n1 CONT\n1 CONT d\n0 X\n1 CONC y\n1 CONC z\n");
    EXPECT_EQ(doc.records[0].logical_value(), "abc\n\nd");
    EXPECT_EQ(doc.records[1].value_of("CONC"), OptS("y"));  // the first child only
    EXPECT_EQ(doc.records[1].value_of("CONT"), std::nullopt);
    // Pointers: the own payload of the pointer shape; only "@VOID@" as written is the null pointer.
    doc = parse("0 A @I1@\n0 A @VOID@\n0 A @void@\n0 A @@@\n0 A  @I1@\n0 A\n");
    const std::pair<Opt, bool> expected[] = {{"@I1@", false}, {"@VOID@", true}, {"@void@", false},
                                             {{}, false},     {{}, false},       {{}, false}};
    for (std::size_t i = 0; i < doc.records.size(); ++i)
        EXPECT_EQ(std::pair(doc.records[i].pointer(), doc.records[i].is_void_pointer()), expected[i]) << i;
}

TEST(Tree, RemoveAtWalkAndCopies) {
    const std::string text = "0 A\n1 B\n2 C\n2 D\n1 E\n";
    const std::pair<Path, OptS> cases[] = {
        {{}, {}}, {{2}, {}}, {{1, 0}, {}}, {{0, 1}, "0 D\n"}, {{0}, "0 B\n1 C\n1 D\n"}};
    for (const auto& [path, removed] : cases) {
        Document doc = parse(text);
        std::optional<Node> got = doc.records[0].remove_at(path);
        EXPECT_EQ(got ? OptS(render(*got)) : std::nullopt, removed);
        if (!removed) { EXPECT_EQ(doc.to_text(), text); }
    }
    Document doc = parse("00 A\n1 B\n2 C\n1 B x\n2 E\n3 F\n");
    std::string seen;
    auto w = doc.records[0].walk();
    while (const Node* n = w.next()) seen += n->tag();
    EXPECT_EQ(seen, "ABCBEF");
    EXPECT_EQ(doc.records[0].line_count(), 6u);
    EXPECT_EQ(doc.records[0].first("B"), &doc.records[0].children()[0]);
    EXPECT_EQ(doc.records[0].first("b"), nullptr);
    Node copy = doc.records[0].clone();
    copy.children()[0].set_value("changed");
    EXPECT_EQ(render(copy), "00 A\n1 B changed\n2 C\n1 B x\n2 E\n3 F\n");
    EXPECT_EQ(render(doc.records[0]), "00 A\n1 B\n2 C\n1 B x\n2 E\n3 F\n");
}

// The scan and the index answer alike: ASCII letters fold, nothing else
// does, and of identifiers that fold together the first record wins.
TEST(Queries, RecordLookupFoldsAsciiCaseAndTakesTheFirst) {
    Document doc =
        parse("0 HEAD\n0 @I1@ INDI\n0 @i1@ INDI\n0 @a@ X\n0 @A@ X\n0 @\xC3\xA9@ X\n0 @{@ Y\n0 NOTE x\n0 @Z@ Z\n");
    RecordIndex index = doc.record_index();
    const std::pair<std::string_view, int> asked[] = {
        {"@i1@", 1}, {"@I1@", 1},   {"@A@", 3},          {"@\xC3\xA9@", 5}, {"@{@", 6}, {"@z@", 8},
        {"@I@", -1}, {"@I10@", -1}, {"@\xC3\x89@", -1}, {"@[@", -1},        {"@X Y@", -1},
    };
    for (auto [xref, at] : asked) {
        const Node* expected = at < 0 ? nullptr : &doc.records[at];
        EXPECT_EQ(std::tuple(doc.record(xref), index.get(xref), index.contains(xref), index.position(xref)),
                  std::tuple(expected, expected, at >= 0, at < 0 ? std::nullopt : std::optional<std::size_t>(at)))
            << xref;
    }
    auto map = doc.xref_index();
    EXPECT_EQ(std::tuple(map.size(), map.at("@I1@"), map.at("@A@")), std::tuple(5u, 1u, 3u));
}

// An edit of a record's own line gives its identifier new text: the entry
// taken out before and put back after answers again, for the first record only.
TEST(Queries, RecordIndexEntryTakenOutAndPutBackAroundAnEdit) {
    Document doc = parse("0 HEAD\n0 @I1@ INDI\n0 @i1@ INDI\n0 @N1@ NOTE\n");
    doc.records.push_back(Node::record("@B1@", "NOTE"));  // owns its text, freed by the edit
    RecordIndex index = doc.record_index();
    for (std::size_t position : {1u, 4u}) {
        index.erase(*doc.records[position].xref());
        doc.records[position].set_logical_value("edited\nagain");
        index.insert(position);
        EXPECT_EQ(index.get(*doc.records[position].xref()), &doc.records[position]);
    }
    index.insert(2);  // @i1@ is taken by the first record
    EXPECT_EQ(index.position("@I1@"), std::optional<std::size_t>(1));
    EXPECT_EQ(index.position("@n1@"), std::optional<std::size_t>(3));
    index.erase("@N1@");
    EXPECT_FALSE(index.contains("@N1@"));
}

TEST(Queries, HeaderAndVersion) {
    Document doc = parse("0 HEAD\n1 GEDC\n2 VERS 7.\n3 CONC 0\n0 @I1@ INDI\n0 TRLR\n0 TRLR\n");
    EXPECT_EQ(std::tuple(doc.version(), doc.content_records(), doc.line_count()), std::tuple(OptS("7.0"), 1u, 7u));
    Document trailer_first = parse("0 TRLR\n0 HEAD\n1 GEDC\n2 VERS 7.0\n");
    EXPECT_EQ(trailer_first.header(), nullptr);
    EXPECT_EQ(trailer_first.version(), std::nullopt);
    const std::pair<std::string_view, bool> versions[] = {
        {"7", true}, {"\xE2\x80\x83" "10.0.1", true}, {"6.9", false}, {"v7", false}, {"4294967303.0", false}};
    for (const auto& [vers, later] : versions)
        EXPECT_EQ(parse("0 HEAD\n1 GEDC\n2 VERS " + std::string(vers) + "\n").is_version_7_or_later(), later) << vers;
    EXPECT_FALSE(parse("0 HEAD\n1 GEDC\n").is_version_7_or_later());
}

TEST(Pointers, UnresolvedAndDangling) {
    Document doc = parse("0 @I1@ INDI\n1 FAMC @f2@\n1 NOTE x\n2 SOUR @\"q\\@\n0 @F1@ FAM\n1 CHIL @VOID@\n");
    auto got = doc.unresolved_pointers();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].to_json(), R"({"record":"@I1@","path":[0],"tag":"FAMC","pointer":"@f2@"})");
    EXPECT_EQ(got[1].to_json(), R"({"record":"@I1@","path":[1,0],"tag":"SOUR","pointer":"@\"q\\@"})");
    EXPECT_EQ(doc.dangling_pointers(),
              (std::vector<std::pair<std::string, std::string>>{{"@I1@", "@f2@"}, {"@I1@", "@\"q\\@"}}));
}

TEST(Pointers, NextXref) {
    const struct {
        std::string_view text, prefix, expected;
    } cases[] = {
        {"0 HEAD\n", "I", "@I1@"}, {"0 @X+4@ A\n", "x", "@x5@"}, {"0 @5@ A\n0 @7@ A\n", "", "@8@"},
        {"0 @I1@ INDI\n0 @i7@ INDI\n0 @IND3@ INDI\n", "I", "@I8@"}, {"0 @F2@ FAM\n0 @f10@ FAM\n", "f", "@f11@"},
        {"0 @I18446744073709551615@ A\n0 @I1@ A\n0 @i2@ A\n", "I", "@I3@"},
        {"0 @I18446744073709551616@ A\n0 @I-3@ A\n", "I", "@I1@"},
    };
    for (const auto& c : cases) EXPECT_EQ(parse(c.text).next_xref(c.prefix), c.expected) << c.text;
}

}  // namespace
}  // namespace pellorine
