// Record and structure views: paths, kinds, pointers, headings, raw lines and
// the exact JSON text.
#include <gtest/gtest.h>

#include <string>

#include "document.hpp"
#include "view.hpp"

using namespace pellorine;
using namespace pellorine::view;

namespace {

Document parse(std::string_view text) {
    auto doc = Document::parse(text);
    EXPECT_TRUE(doc.has_value()) << (doc ? "" : doc.error().display());
    return doc ? std::move(*doc) : Document{};
}

// The first record of a one-record text.
struct One {
    Document doc;
    explicit One(std::string_view text) : doc(parse(text)) {}
    const Node& record() const { return doc.records.at(0); }
};

}  // namespace

TEST(RecordView, ExactJsonWithContinuationsSkippedAndCounted) {
    One one(
        "0 @N1@ NOTE first\n"
        "1 CONT second\n"
        "1 CONC more\n"
        "1 _X @P1@\n"
        "2 CONC tail\n"
        "2 DATE 1900\n");
    EXPECT_EQ(RecordView::from_node(one.record()).to_json(),
              R"({"xref":"@N1@","tag":"NOTE","label":"Note","title":"first secondmore","structures":[)"
              R"({"path":[2],"level":1,"tag":"_X","label":"_X","kind":"unknown","value":"@P1@tail",)"
              R"("pointer":"@P1@","extension":true,"children":[)"
              R"({"path":[2,1],"level":2,"tag":"DATE","label":"Date","kind":"structure","value":"1900",)"
              R"("pointer":null,"extension":false,"children":[]}]}],)"
              R"("raw":"0 @N1@ NOTE first\n1 CONT second\n1 CONC more\n1 _X @P1@\n2 CONC tail\n2 DATE 1900\n"})");
}

TEST(RecordView, RecordWithoutIdentifierOrChildren) {
    One one("0 HEAD\n");
    RecordView v = RecordView::from_node(one.record());
    EXPECT_FALSE(v.xref);
    EXPECT_EQ(v.title, "Header");
    EXPECT_EQ(v.to_json(), R"({"xref":null,"tag":"HEAD","label":"Header","title":"Header","structures":[],"raw":"0 HEAD\n"})");
}

TEST(RecordView, OnlyContinuationChildrenGiveNoStructures) {
    One one("0 @N1@ NOTE\n1 CONT line one\n1 CONT line two\n1 CONC !\n");
    RecordView v = RecordView::from_node(one.record());
    EXPECT_TRUE(v.structures.empty());
    EXPECT_EQ(v.title, "line one line two!");
}

struct PointerCase {
    const char* line;  // one level-1 line under a record
    const char* value;
    const char* pointer;  // nullptr for none
};

TEST(StructureView, PointerShape) {
    const PointerCase cases[] = {
        {"1 FAMC @F1@", "@F1@", "@F1@"},
        {"1 FAMC @VOID@", "@VOID@", "@VOID@"},
        {"1 CHIL Fred", "Fred", nullptr},
        {"1 FAMC @F1", "@F1", nullptr},
        {"1 FAMC F1@", "F1@", nullptr},
        {"1 FAMC @@", "@@", nullptr},
        {"1 FAMC @a@b@", "@a@b@", nullptr},
        {"1 FAMC @x@ ", "@x@ ", nullptr},
        {"1 FAMC", "", nullptr},
        {"1 NOTE @N1@", "@N1@", "@N1@"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        One one(std::string("0 @I1@ INDI\n") + c.line + "\n");
        RecordView v = RecordView::from_node(one.record());
        ASSERT_EQ(v.structures.size(), 1u);
        EXPECT_EQ(v.structures[0].value, c.value);
        if (c.pointer)
            EXPECT_EQ(v.structures[0].pointer, std::optional<std::string>(c.pointer));
        else
            EXPECT_FALSE(v.structures[0].pointer);
    }
}

TEST(StructureView, PointerIsTheOwnPayloadNotTheJoinedOne) {
    One one("0 @I1@ INDI\n1 FAMC @F1@\n2 CONC x\n");
    RecordView v = RecordView::from_node(one.record());
    const StructureView& s = v.structures.at(0);
    EXPECT_EQ(s.value, "@F1@x");
    EXPECT_EQ(s.pointer, std::optional<std::string>("@F1@"));
    EXPECT_TRUE(s.children.empty());
}

struct KindCase {
    const char* tag;
    const char* kind;
    bool extension;
};

TEST(StructureView, KindsAndExtensionAtLevelOneAndBelow) {
    const KindCase cases[] = {
        {"NOTE", "structure", false}, {"BIRT", "event", false},     {"RESI", "attribute", false},
        {"_UID", "structure", true},  {"_MARNM", "unknown", true},  {"birt", "unknown", false},
        {"INDI", "structure", false}, {"CHAN", "structure", false}, {"_", "unknown", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tag);
        One one(std::string("0 @X@ _REC\n1 ") + c.tag + "\n2 " + c.tag + "\n");
        RecordView v = RecordView::from_node(one.record());
        ASSERT_EQ(v.structures.size(), 1u);
        for (const StructureView* s : {&v.structures[0], &v.structures[0].children.at(0)}) {
            std::string json = s->to_json();
            EXPECT_NE(json.find(std::string("\"kind\":\"") + c.kind + "\""), std::string::npos) << json;
            EXPECT_EQ(s->extension, c.extension);
        }
        EXPECT_EQ(v.structures[0].level, 1);
        EXPECT_EQ(v.structures[0].children[0].level, 2);
    }
}

TEST(StructureView, ChildrenSkipContinuationsButPathsCountThem) {
    One one(
        "0 @I1@ INDI\n"
        "1 NAME a\n"
        "1 CONC b\n"
        "1 BIRT\n"
        "2 CONT x\n"
        "2 CONC y\n"
        "2 DATE 1900\n"
        "3 CONT z\n"
        "3 TIME 1\n");
    RecordView v = RecordView::from_node(one.record());
    ASSERT_EQ(v.structures.size(), 2u);
    EXPECT_EQ(v.structures[0].path, (Path{0}));
    EXPECT_EQ(v.structures[1].path, (Path{2}));
    EXPECT_EQ(v.structures[1].value, "\nxy");
    ASSERT_EQ(v.structures[1].children.size(), 1u);
    const StructureView& date = v.structures[1].children[0];
    EXPECT_EQ(date.path, (Path{2, 2}));
    EXPECT_EQ(date.value, "1900\nz");
    ASSERT_EQ(date.children.size(), 1u);
    EXPECT_EQ(date.children[0].path, (Path{2, 2, 1}));
    EXPECT_EQ(date.children[0].level, 3);
}

TEST(StructureView, DeepNestingKeepsEveryLevel) {
    std::string text = "0 @N1@ NOTE\n";
    for (int level = 1; level <= 63; ++level) text += std::to_string(level) + " _D " + std::to_string(level) + "\n";
    One one(text);
    RecordView v = RecordView::from_node(one.record());
    const StructureView* s = &v.structures.at(0);
    for (int level = 1; level < 63; ++level) {
        ASSERT_EQ(s->level, level);
        ASSERT_EQ(s->path.size(), static_cast<std::size_t>(level));
        ASSERT_EQ(s->children.size(), 1u);
        s = &s->children[0];
    }
    EXPECT_EQ(s->value, "63");
    EXPECT_TRUE(s->children.empty());
}

struct TitleCase {
    const char* name;
    const char* text;
    const char* title;
};

TEST(RecordTitle, ByRecordTag) {
    const TitleCase cases[] = {
        {"header", "0 HEAD\n1 GEDC\n", "Header"},
        {"header payload", "0 HEAD  hello \n", "hello"},
        {"individual", "0 @I1@ INDI\n1 NAME John /Smith/\n", "John Smith"},
        {"individual pieces", "0 @I1@ INDI\n1 NAME John /Smith/\n2 NPFX Dr.\n", "Dr. John Smith"},
        {"individual unnamed", "0 @I1@ INDI\n1 SEX M\n", "Individual"},
        {"individual first name empty", "0 @I1@ INDI\n1 NAME //\n1 NAME Bob\n", "Individual"},
        {"individual payload ignored", "0 @I1@ INDI text\n", "Individual"},
        {"family", "0 @F1@ FAM payload\n1 HUSB @I1@\n", "Family"},
        {"source title", "0 @S1@ SOUR\n1 TITL Parish\n2 CONT register\n1 ABBR PR\n", "Parish register"},
        {"source abbreviation", "0 @S1@ SOUR\n1 ABBR PR\n", "PR"},
        {"source blank title", "0 @S1@ SOUR\n1 TITL  \n1 ABBR PR\n", "Source"},
        {"source second title", "0 @S1@ SOUR\n1 AUTH x\n", "Source"},
        {"repository", "0 @R1@ REPO\n1 NAME  Archive \n", "Archive"},
        {"repository unnamed", "0 @R1@ REPO x\n", "Repository"},
        {"submitter", "0 @U1@ SUBM\n1 NAME Me\n", "Me"},
        {"media title", "0 @O1@ OBJE\n1 FILE a.jpg\n2 TITL Photo\n", "Photo"},
        {"media file", "0 @O1@ OBJE\n1 FILE a.jpg\n2 FORM jpg\n", "a.jpg"},
        {"media only first file", "0 @O1@ OBJE\n1 FILE\n1 FILE b.jpg\n2 TITL B\n", "Media object"},
        {"media no file", "0 @O1@ OBJE\n1 TITL x\n", "Media object"},
        {"note lines", "0 @N1@ NOTE\n1 CONT a\n1 CONT b\n", "a b"},
        {"shared note", "0 @N1@ SNOTE text\n", "text"},
        {"trailer", "0 TRLR\n", "End of file"},
        {"extension record", "0 @X1@ _CUSTOM\n1 _A b\n", "_CUSTOM"},
        {"extension record text", "0 @X1@ _CUSTOM hi\n", "hi"},
        {"lower-case tag", "0 @I1@ indi\n1 NAME Bob\n", "indi"},
        {"tab kept inside", "0 @N1@ NOTE a\tb\n", "a\tb"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        One one(c.text);
        EXPECT_EQ(record_title(one.record()), c.title);
    }
}

namespace {
std::string repeat(std::string_view piece, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += piece;
    return out;
}
}  // namespace

TEST(TruncateHeading, CountsCharactersNotBytes) {
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"", ""},
        {repeat("a", 90), repeat("a", 90)},
        {repeat("a", 91), repeat("a", 87) + "\u2026"},
        {repeat("a", 500), repeat("a", 87) + "\u2026"},
        {repeat("\u00e9", 90), repeat("\u00e9", 90)},
        {repeat("\u00e9", 91), repeat("\u00e9", 87) + "\u2026"},
        {repeat("\U0001F600", 95), repeat("\U0001F600", 87) + "\u2026"},
        {repeat("a", 86) + "\u4e2d\u4e2d\u4e2d\u4e2d\u4e2d", repeat("a", 86) + "\u4e2d\u2026"},
    };
    for (const auto& c : cases) EXPECT_EQ(truncate_heading(c.in), c.out);
}

TEST(RecordTitle, LongTitleIsTruncatedAfterJoining) {
    One one("0 @N1@ NOTE " + repeat("x", 50) + "\n1 CONT " + repeat("y", 50) + "\n");
    EXPECT_EQ(record_title(one.record()), repeat("x", 50) + " " + repeat("y", 36) + "\u2026");
}

TEST(RawLines, VerbatimWhereReadCanonicalWhereEdited) {
    Document doc = parse("0  @I1@ INDI\n01 NAME  two  spaces\n+1   SEX M\n");
    EXPECT_EQ(raw_lines(doc.records[0]), "0  @I1@ INDI\n01 NAME  two  spaces\n+1   SEX M\n");
    doc.records[0].children()[0].set_value("Edited");
    EXPECT_EQ(raw_lines(doc.records[0]), "0  @I1@ INDI\n1 NAME Edited\n+1   SEX M\n");
    EXPECT_EQ(RecordView::from_node(doc.records[0]).raw, raw_lines(doc.records[0]));
}

TEST(Json, StringsAreEscapedAndOtherwiseUnchanged) {
    Node n = Node::with_value("NOTE", "q\"b\\s/\x01\x1f\x7f\t\u00e9\U0001F600\u2028x");
    Document doc;
    doc.records.push_back(std::move(n));
    std::string json = RecordView::from_node(doc.records[0]).to_json();
    EXPECT_NE(json.find(R"("title":"q\"b\\s/\u0001\u001F)"
                        "\x7f"
                        R"(\t)"
                        "\u00e9\U0001F600\u2028x\""),
              std::string::npos)
        << json;
    // NUL inside a payload is escaped, not a terminator.
    Document nul;
    nul.records.push_back(Node::with_value("NOTE", std::string("a\0b", 3)));
    EXPECT_NE(RecordView::from_node(nul.records[0]).to_json().find(R"("title":"a\u0000b")"), std::string::npos);
}

TEST(Json, InvalidUtf8BecomesReplacementCharacters) {
    Document doc;
    doc.records.push_back(Node::with_value("NOTE", std::string("a\xff" "b\xc3", 4)));
    std::string json = RecordView::from_node(doc.records[0]).to_json();
    EXPECT_NE(json.find("\"title\":\"a\xef\xbf\xbd" "b\xef\xbf\xbd\""), std::string::npos) << json;
    // An encoded surrogate is not UTF-8 either: each of its bytes is replaced.
    Document surrogate;
    surrogate.records.push_back(Node::with_value("NOTE", "x\xed\xa0\x80y"));
    json = RecordView::from_node(surrogate.records[0]).to_json();
    EXPECT_NE(json.find("\"title\":\"x\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbdy\""), std::string::npos) << json;
}

TEST(RecordView, ManyChildren) {
    std::string text = "0 @I1@ INDI\n";
    for (int i = 0; i < 100000; ++i) text += "1 _X v\n";
    One one(text);
    RecordView v = RecordView::from_node(one.record());
    ASSERT_EQ(v.structures.size(), 100000u);
    EXPECT_EQ(v.structures.back().path, (Path{99999}));
}
