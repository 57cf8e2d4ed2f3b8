// Record and structure views: paths, kinds, pointers, headings, raw lines and
// the JSON text. The exact dictionaries are pinned by the Python tests.
#include <gtest/gtest.h>

#include <string>

#include "dates.hpp"
#include "document.hpp"
#include "json.hpp"
#include "view.hpp"

using namespace pellorine;
using namespace pellorine::view;

namespace {

Document parse(std::string_view text) {
    auto doc = Document::parse(text);
    EXPECT_TRUE(doc.has_value()) << (doc ? "" : doc.error().display());
    return doc ? std::move(*doc) : Document{};
}

}  // namespace

TEST(StructureView, ValuePointerKindAndExtension) {
    using enum TagKind;
    const struct {
        const char* lines;  // under a record
        const char* value;
        std::optional<std::string> pointer;
        TagKind kind;
    } cases[] = {
        {"1 FAMC @F1@", "@F1@", "@F1@", Structure},      {"1 FAMC @VOID@", "@VOID@", "@VOID@", Structure},
        {"1 FAMC @F1", "@F1", std::nullopt, Structure},   {"1 BIRT", "", std::nullopt, Event},
        {"1 RESI @F1@\n2 CONC x", "@F1@x", "@F1@", Attribute},
        {"1 _UID", "", std::nullopt, Structure},          {"1 _MARNM x", "x", std::nullopt, Unknown},
        {"1 birt", "", std::nullopt, Unknown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines);
        RecordView v = RecordView::from_node(parse(std::string("0 @I1@ _REC\n1 CONT\n") + c.lines + "\n").records[0]);
        ASSERT_EQ(v.structures.size(), 1u);  // the record's continuation line is no structure, yet counts in paths
        const StructureView& s = v.structures[0];
        EXPECT_EQ(std::tuple(s.value, s.pointer, s.kind, s.extension, s.children.size(), s.path),
                  std::tuple(c.value, c.pointer, c.kind, c.lines[2] == '_', 0u, Path{1}));
    }
}

// Headings of more than 90 characters (not bytes) are cut to 87 and an ellipsis.
TEST(RecordTitle, ByRecordTagAndCutToNinetyCharacters) {
    const std::string a86(86, 'a');
    const std::pair<std::string, std::string> cases[] = {
        {"0 HEAD\n1 GEDC\n", "Header"}, {"0 HEAD  hello \n", "hello"}, {"0 @F1@ FAM payload\n", "Family"},
        {"0 @I1@ INDI text\n1 NAME John /Smith/\n2 NPFX Dr.\n", "Dr. John Smith"},
        {"0 @I1@ INDI\n1 NAME //\n1 NAME Bob\n", "Individual"},
        {"0 @S1@ SOUR\n1 TITL Parish\n2 CONT register\n1 ABBR PR\n", "Parish register"},
        {"0 @S1@ SOUR\n1 ABBR PR\n", "PR"}, {"0 @S1@ SOUR\n1 TITL  \n1 ABBR PR\n", "Source"},
        {"0 @R1@ REPO x\n1 NAME  Archive \n", "Archive"}, {"0 @U1@ SUBM\n1 NAME Me\n1 NAME You\n", "Me"},
        {"0 @O1@ OBJE\n1 FILE a.jpg\n2 TITL Photo\n", "Photo"}, {"0 @O1@ OBJE\n1 FILE a.jpg\n2 FORM jpg\n", "a.jpg"},
        {"0 @O1@ OBJE\n1 FILE\n1 FILE b.jpg\n2 TITL B\n", "Media object"},
        {"0 @N1@ NOTE\n1 CONT a\n1 CONT b\n", "a b"}, {"0 @X1@ _CUSTOM\n1 _A b\n", "_CUSTOM"},
        {"0 NOTE " + a86 + "aaaa\n", a86 + "aaaa"}, {"0 NOTE " + a86 + "a\n1 CONT aaa\n", a86 + "a\u2026"},
        {"0 NOTE " + a86 + "\u00e9\u00e9\u00e9\U0001F600\n", a86 + "\u00e9\u00e9\u00e9\U0001F600"},
        {"0 NOTE " + a86 + "\u4e2d\u4e2d\u4e2d\u4e2d\u4e2d\n", a86 + "\u4e2d\u2026"},
    };
    for (const auto& [text, title] : cases) EXPECT_EQ(record_title(parse(text).records.at(0)), title) << text;
}

TEST(RawLines, VerbatimWhereReadCanonicalWhereEdited) {
    Document doc = parse("0  @I1@ INDI\n01 NAME  two  spaces\n+1   SEX M\n");
    EXPECT_EQ(raw_lines(doc.records[0]), "0  @I1@ INDI\n01 NAME  two  spaces\n+1   SEX M\n");
    doc.records[0].children()[0].set_value("Edited");
    EXPECT_EQ(RecordView::from_node(doc.records[0]).raw, "0  @I1@ INDI\n1 NAME Edited\n+1   SEX M\n");
}

// Every result type goes through the one writer and so gets its repair of
// invalid UTF-8 (only documents built in C++ from unchecked text hold such bytes).
TEST(Json, EveryResultTypeRepairsInvalidUtf8) {
    Node note = Node::with_value("NOTE", std::string("a\xff" "b\"\x01\0", 6));
    const std::string json = RecordView::from_node(note).to_json();
    EXPECT_NE(json.find("\"title\":\"a\xef\xbf\xbd" "b\\\"\\u0001\\u0000\""), std::string::npos) << json;
    UnresolvedPointer p{"@I\xff@", {1, 0}, "FAMC", "@F\xfe@"};
    EXPECT_EQ(p.to_json(), "{\"record\":\"@I\xef\xbf\xbd@\",\"path\":[1,0],\"tag\":\"FAMC\","
                           "\"pointer\":\"@F\xef\xbf\xbd@\"}");
    json::Writer w;
    GedcomDate::parse("\xff 1900").write_json_entries(w.begin_object());
    EXPECT_TRUE(w.end_object().view().starts_with("{\"original\":\"\xef\xbf\xbd 1900\",")) << w.view();
}
