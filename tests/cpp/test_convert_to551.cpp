// Conversion toward 5.5.1: each rule by a small document, written out exactly,
// with its notes; the refitting and the over-long line count at their
// boundaries; input of every odd shape converts without failing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert.hpp"
#include "convert_notes.hpp"

namespace pellorine::convert {
namespace {

using K = ConversionKind;

const ExpectedNote kChar{"CHAR", K::Converted, "5.5.1 requires a character set, and the file is written as UTF-8"};
const ExpectedNote kGedc{"GEDC", K::Converted, "the header declared no GEDCOM version, and 5.5.1 requires it"};
const ExpectedNote kSchma{"SCHMA", K::Dropped,
                          "5.5.1 has no way to declare an extension; the extensions themselves are kept"};
const ExpectedNote kSnoteRecord{"SNOTE", K::Converted, "5.5.1 has one kind of note record"};
const ExpectedNote kUid{"UID", K::Converted, "5.5.1 has no UID, and every producer writes _UID instead"};
const ExpectedNote kSnotePointer{"SNOTE", K::Converted, "a shared note pointer is an ordinary note pointer in 5.5.1"};
const ExpectedNote kPhrase{"PHRASE", K::Converted, "a dated phrase became 5.5.1's interpreted form"};
const ExpectedNote kPhraseKept{"PHRASE", K::Kept,
    "5.5.1's interpreted date holds one line and nothing beneath it, and this date or phrase spans lines or has "
    "substructures; the PHRASE is kept as written, which 5.5.1 does not define"};
const ExpectedNote kRolePhraseKept{"ROLE", K::Kept,
    "5.5.1 holds a role on one line with nothing beneath it, and this role's PHRASE spans lines or has "
    "substructures; it is kept as written, which 5.5.1 does not define"};
const ExpectedNote kRoleContKept{"ROLE", K::Kept,
    "a continuation line of this role has substructures of its own, so rewriting it would delete them; it is left "
    "as written"};
const ExpectedNote kRela{"ROLE", K::Converted, "an association's role is RELA in 5.5.1, a relation in words"};
const ExpectedNote kRoleWords{"ROLE", K::Converted,
    "a role 5.5.1 does not enumerate, or one with a phrase, is 5.5.1's parenthesized role descriptor"};
ExpectedNote void_kept(const std::string& tag) {
    return {tag, K::Kept,
            "5.5.1 has no null pointer, so a reader will look for a record named VOID; it is kept as written"};
}
ExpectedNote not_in_551(const std::string& tag) {
    return {tag, K::Kept, "version 7 defines this and 5.5.1 does not; it is kept rather than lost"};
}
ExpectedNote long_lines(const std::string& tag, int n) {
    return {tag, K::Kept,
            std::to_string(n) +
                " line(s) in this record are longer than 5.5.1's 255 bytes; they belong to structures the conversion "
                "did not change, so they are left as written (Document::wrap_long_lines fits them)"};
}

struct Case {
    const char* name;
    std::string input;
    std::string output;  // empty: the same as the input
    std::vector<ExpectedNote> notes;
    std::optional<std::string> record = "@I1@";  // the record every note carries
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class Converts : public testing::TestWithParam<Case> {};

TEST_P(Converts, ToTheExpectedLinesAndNotes) {
    const Case& c = GetParam();
    Document doc = parse(c.input);
    Conversion conv = to_version_5_5_1(doc);
    EXPECT_EQ(render(conv.document), c.output.empty() ? c.input : c.output);
    expect_notes(conv.notes, c.notes, c.record);
    EXPECT_EQ(doc.to_text(), parse(c.input).to_text());  // the input is untouched
    EXPECT_EQ(conv.target_version, "5.5.1");
    // Converting the result again changes nothing and makes only Kept notes.
    Conversion again = to_version_5_5_1(parse(render(conv.document)));
    EXPECT_EQ(render(again.document), render(conv.document));
    for (const ConversionNote& n : again.notes) EXPECT_EQ(n.kind, K::Kept) << n.tag << ": " << n.detail;
}

std::string x(std::size_t n, char c = 'a') { return std::string(n, c); }

// Documents without a header unless the header is the point, so that each
// case shows one rule's notes.
const Case kHeader[] = {
    {"v7_header", "0 HEAD\n1 GEDC\n2 VERS 7.0\n0 TRLR\n",
     "0 HEAD\n1 GEDC\n2 VERS 5.5.1\n2 FORM LINEAGE-LINKED\n1 CHAR UTF-8\n0 TRLR\n", {kChar}, std::nullopt},
    {"char_kept_whatever_it_says", "0 HEAD\n1 GEDC\n2 VERS 5.5.1\n2 FORM LINEAGE-LINKED\n1 CHAR ANSEL\n", "", {}},
    {"no_gedc", "0 HEAD\n1 SOUR x\n1 CHAR UTF-8\n",
     "0 HEAD\n1 GEDC\n2 VERS 5.5.1\n2 FORM LINEAGE-LINKED\n1 SOUR x\n1 CHAR UTF-8\n", {kGedc}, std::nullopt},
    {"gedc_without_vers", "0 HEAD\n1 GEDC\n2 FORM LINEAGE-LINKED\n1 CHAR UTF-8\n",
     "0 HEAD\n1 GEDC\n2 FORM LINEAGE-LINKED\n2 VERS 5.5.1\n1 CHAR UTF-8\n", {}},
    {"verbatim_header_lines_rewritten", "0  HEAD \n1  GEDC\n2  VERS 7.0\n1  CHAR UTF-8\n",
     "0 HEAD \n1 GEDC\n2 VERS 5.5.1\n2 FORM LINEAGE-LINKED\n1  CHAR UTF-8\n", {}},
    // VERS continued: its whole logical payload is replaced.
    {"vers_continued", "0 HEAD\n1 GEDC\n2 VERS 5.5\n3 CONC .1\n3 CONT x\n2 FORM LINEAGE-LINKED\n1 CHAR UTF-8\n",
     "0 HEAD\n1 GEDC\n2 VERS 5.5.1\n2 FORM LINEAGE-LINKED\n1 CHAR UTF-8\n", {}},
    {"schema_dropped_extensions_kept",
     "0 HEAD\n1 GEDC\n2 VERS 7.0\n1 SCHMA\n2 TAG _X https://x.example/\n1 SCHMA\n1 CHAR UTF-8\n"
     "0 @I1@ INDI\n1 _X y\n",
     "0 HEAD\n1 GEDC\n2 VERS 5.5.1\n2 FORM LINEAGE-LINKED\n1 CHAR UTF-8\n0 @I1@ INDI\n1 _X y\n",
     {kSchma}, std::nullopt},
    // Header notes come in their order, then the header's structure notes.
    {"header_note_order", "0 HEAD\n1 SCHMA\n1 EXID 1\n",
     "0 HEAD\n1 GEDC\n2 VERS 5.5.1\n2 FORM LINEAGE-LINKED\n1 EXID 1\n1 CHAR UTF-8\n",
     {kGedc, kChar, kSchma, not_in_551("EXID")}, std::nullopt},
};
INSTANTIATE_TEST_SUITE_P(Header, Converts, testing::ValuesIn(kHeader), case_name);

const Case kNotesUidAndKept[] = {
    {"shared_note_record", "0 @N1@ SNOTE text\n1 CONT more\n", "0 @N1@ NOTE text\n1 CONT more\n",
     {kSnoteRecord}, "@N1@"},
    {"shared_note_record_without_xref", "0 SNOTE text\n", "0 NOTE text\n", {kSnoteRecord}, std::nullopt},
    // 255 - (1 + 5 + 4 + 4) = 241 bytes on the record line, then 246 on each CONC line.
    {"shared_note_record_refitted", "0 @N1@ SNOTE " + x(600) + "\n",
     "0 @N1@ NOTE " + x(241) + "\n1 CONC " + x(246) + "\n1 CONC " + x(113) + "\n", {kSnoteRecord}, "@N1@"},
    {"shared_note_pointer", "0 @I1@ INDI\n1 SNOTE @N1@\n2 _X y\n", "0 @I1@ INDI\n1 NOTE @N1@\n2 _X y\n",
     {kSnotePointer}},
    {"shared_note_text_left", "0 @I1@ INDI\n1 SNOTE text\n1 SNOTE @@\n", "", {}},
    {"uid", "0 @I1@ INDI\n1 UID abc\n", "0 @I1@ INDI\n1 _UID abc\n", {kUid}},
    // A reader of 5.5.1 takes @VOID@ for a missing record; only that exact payload is one.
    {"void_pointers", "0 @I1@ INDI\n1 FAMC @VOID@\n1 SNOTE @VOID@\n1 ASSO @VOID@\n2 ROLE FRIEND\n1 NOTE @void@\n",
     "0 @I1@ INDI\n1 FAMC @VOID@\n1 NOTE @VOID@\n1 ASSO @VOID@\n2 RELA Friend\n1 NOTE @void@\n",
     {void_kept("FAMC"), void_kept("SNOTE"), kSnotePointer, void_kept("ASSO"), kRela}},
    {"uid_246_fits", "0 @I1@ INDI\n1 UID " + x(246) + "\n", "0 @I1@ INDI\n1 _UID " + x(246) + "\n", {kUid}},
    {"uid_247_refitted", "0 @I1@ INDI\n1 UID " + x(247) + "\n",
     "0 @I1@ INDI\n1 _UID " + x(246) + "\n2 CONC a\n", {kUid}},
    {"kept_structures",
     "0 @I1@ INDI\n1 EXID 123\n1 BIRT\n2 DATE 1900\n3 TRAN 1900\n1 SDATE 1 JAN 1900\n1 CHAN\n2 CREA\n"
     "3 DATE 1 JAN 2000\n", "",
     {not_in_551("EXID"), not_in_551("TRAN"), not_in_551("SDATE"), not_in_551("CREA")}},
};
INSTANTIATE_TEST_SUITE_P(NotesUidAndKept, Converts, testing::ValuesIn(kNotesUidAndKept), case_name);

const std::string kBirt = "0 @I1@ INDI\n1 BIRT\n";

const Case kDatedPhrases[] = {
    {"phrase", kBirt + "2 DATE 1 JAN 1900\n3 PHRASE New Year\n3 TIME 12:00\n",
     kBirt + "2 DATE INT 1 JAN 1900 (New Year)\n3 TIME 12:00\n", {kPhrase}},
    {"empty_date", kBirt + "2 DATE\n3 PHRASE x\n", kBirt + "2 DATE INT  (x)\n", {kPhrase}},
    {"untrimmed", kBirt + "2 DATE  1900 \n3 PHRASE  y \n", kBirt + "2 DATE INT  1900  ( y )\n", {kPhrase}},
    {"conc_joined", kBirt + "2 DATE 1 JAN\n3 CONC  1900\n3 PHRASE p\n4 CONC q\n",
     kBirt + "2 DATE INT 1 JAN 1900 (pq)\n", {kPhrase}},
    // 255 - (1 + 4 + 4) = 246 bytes on the DATE line.
    {"refitted", kBirt + "2 DATE 1900\n3 PHRASE " + x(236) + "\n",
     kBirt + "2 DATE INT 1900 (" + x(236) + "\n3 CONC )\n", {kPhrase}},
    {"phrase_spans_lines", kBirt + "2 DATE 1900\n3 PHRASE a\n4 CONT b\n", "", {kPhraseKept}},
    {"date_spans_lines", kBirt + "2 DATE 1900\n3 CONT x\n3 PHRASE a\n", "", {kPhraseKept}},
    {"two_phrases", kBirt + "2 DATE 1900\n3 PHRASE a\n3 PHRASE b\n", "", {kPhraseKept}},
    {"phrase_with_substructure", kBirt + "2 DATE 1900\n3 PHRASE a\n4 _X b\n", "", {kPhraseKept}},
    {"phrase_continuation_with_children", kBirt + "2 DATE 1900\n3 PHRASE a\n4 CONC b\n5 _X c\n", "", {kPhraseKept}},
    {"date_continuation_with_children", kBirt + "2 DATE 1900\n3 CONC 0\n4 _X c\n3 PHRASE a\n", "", {kPhraseKept}},
};
INSTANTIATE_TEST_SUITE_P(DatedPhrases, Converts, testing::ValuesIn(kDatedPhrases), case_name);

const std::string kEven = "0 @I1@ INDI\n1 ASSO @I2@\n";
const std::string kEvent = "0 @I1@ INDI\n1 BIRT\n2 SOUR @S1@\n3 EVEN BIRT\n";

const Case kRoles[] = {
    {"event_enumerated_stays", kEvent + "4 ROLE WIFE\n4 ROLE wife\n4 ROLE  CHIL \n", "", {}},
    {"event_words", kEvent + "4 ROLE GODP\n4 ROLE godson\n4 ROLE\n4 ROLE \n4 ROLE (\n4 ROLE (ab\n",
     kEvent + "4 ROLE (Godparent)\n4 ROLE (godson)\n4 ROLE ()\n4 ROLE ()\n4 ROLE (()\n4 ROLE ((ab)\n",
     {kRoleWords, kRoleWords, kRoleWords, kRoleWords, kRoleWords, kRoleWords}},
    // A descriptor already is left as written, however it is spread over lines.
    {"event_descriptor_stays",
     kEvent + "4 ROLE (Godfather of the bride)\n4 ROLE  (x) \n4 ROLE ()\n4 ROLE (a\n5 CONT b)\n4 ROLE (y\n5 CONC )\n6 _X c\n",
     "", {}},
    {"event_phrase", kEvent + "4 ROLE OTHER\n5 PHRASE second cousin\n4 ROLE (x)\n5 PHRASE y\n",
     kEvent + "4 ROLE (second cousin)\n4 ROLE (y)\n", {kRoleWords, kRoleWords}},
    {"event_enumerated_with_phrase", kEvent + "4 ROLE WIFE\n5 PHRASE  bride \n5 _X y\n",
     kEvent + "4 ROLE (bride)\n5 _X y\n", {kRoleWords}},
    {"event_role_with_line_feed", kEvent + "4 ROLE a\n5 CONT b\n", kEvent + "4 ROLE (a\n5 CONT b)\n", {kRoleWords}},
    // 255 - (1 + 4 + 4) = 246 bytes on the ROLE line.
    {"event_refitted", kEvent + "4 ROLE OTHER\n5 PHRASE " + x(245) + "\n",
     kEvent + "4 ROLE (" + x(245) + "\n5 CONC )\n", {kRoleWords}},
    {"event_fits", kEvent + "4 ROLE OTHER\n5 PHRASE " + x(244) + "\n", kEvent + "4 ROLE (" + x(244) + ")\n",
     {kRoleWords}},
    {"association", kEven + "2 ROLE FRIEND\n2 ROLE OTHER\n3 PHRASE godmother\n2 ROLE godson\n2 ROLE\n2 ROLE (x)\n",
     kEven + "2 RELA Friend\n2 RELA godmother\n2 RELA godson\n2 RELA\n2 RELA (x)\n",
     {kRela, kRela, kRela, kRela, kRela}},
    // A second phrase would be lost: the role is kept as written.
    {"two_phrases_event", kEvent + "4 ROLE OTHER\n5 PHRASE godmother\n5 PHRASE aunt by marriage\n", "",
     {kRolePhraseKept}},
    {"phrase_spans_lines", kEven + "2 ROLE OTHER\n3 PHRASE a\n4 CONT b\n", "", {kRolePhraseKept}},
    {"phrase_blank", kEvent + "4 ROLE OTHER\n5 PHRASE  \n", "", {kRolePhraseKept}},
    {"phrase_with_substructure", kEvent + "4 ROLE OTHER\n5 PHRASE a\n6 _X b\n", "", {kRolePhraseKept}},
    {"phrase_continuation_with_children", kEven + "2 ROLE OTHER\n3 PHRASE a\n4 CONC b\n5 _X c\n", "",
     {kRolePhraseKept}},
    {"phrase_with_conc_is_usable", kEven + "2 ROLE OTHER\n3 PHRASE god\n4 CONC mother\n",
     kEven + "2 RELA godmother\n", {kRela}},
    {"role_continuation_with_children", kEvent + "4 ROLE WIFE\n5 CONC X\n6 _X c\n", "", {kRoleContKept}},
    {"roles_elsewhere_untouched", "0 @I1@ INDI\n1 BIRT\n2 ROLE GODP\n1 EVEN\n2 TYPE x\n", "", {}},
    // A node's own notes come before its children's.
    {"note_order", kEven + "2 ROLE GODP\n2 ROLE FRIEND\n2 UID u\n2 EXID 1\n",
     kEven + "2 RELA Godparent\n2 RELA Friend\n2 _UID u\n2 EXID 1\n", {kRela, kRela, kUid, not_in_551("EXID")}},
};
INSTANTIATE_TEST_SUITE_P(Roles, Converts, testing::ValuesIn(kRoles), case_name);

const std::string kIndi = "0 @I1@ INDI\n";

const Case kLongLines[] = {
    {"line_254_not_counted", kIndi + "1 NOTE " + x(247) + "\n", "", {}},
    {"line_255_counted", kIndi + "1 NOTE " + x(248) + "\n", "", {long_lines("NOTE", 1)}},
    {"record_line_tag", "0 @I1@ INDI " + x(260) + "\n1 NOTE " + x(300) + "\n", "", {long_lines("INDI", 2)}},
    // Read with extra spaces after the level, the line keeps its text.
    {"verbatim_line", kIndi + "1    NOTE " + x(245) + "\n", "", {long_lines("NOTE", 1)}},
    // The over-long note comes after the record's other notes.
    {"after_other_notes", kIndi + "1 NOTE " + x(300) + "\n1 UID u\n", kIndi + "1 NOTE " + x(300) + "\n1 _UID u\n",
     {kUid, long_lines("NOTE", 1)}},
};
INSTANTIATE_TEST_SUITE_P(LongLines, Converts, testing::ValuesIn(kLongLines), case_name);

TEST(ToVersion551, ReportsTheSourceVersion) {
    Conversion empty = to_version_5_5_1(Document{});
    EXPECT_TRUE(empty.document.empty() && empty.notes.empty());
    EXPECT_EQ(empty.source_version, "unstated");
    EXPECT_EQ(to_version_5_5_1(parse("0 HEAD\n1 GEDC\n2 VERS 7\n3 CONC .0\n")).source_version, "7.0");
}

// Shapes the parser accepts, however odd: each converts, and what is written
// reads back as the same text.
TEST(ToVersion551, OddInputConvertsAndReadsBack) {
    const std::string huge((16u << 20) - 100, 'h');  // a line within the parser's bound
    const std::vector<std::string> inputs = {
        "", "0 TRLR\n", "0 @I1@ INDI\n1 UID " + x(300) + "\n1 NOTE a\n2 CONC b\n", kBirt + "2 DATE\n3 PHRASE\n",
        kBirt + "2 DATE\n3 CONT\n3 PHRASE x\n4 CONT\n", kEvent + "4 ROLE\n5 PHRASE\n",
        kEvent + "4 ROLE\n5 CONT\n6 CONC\n", kEven + "2 ROLE a\n3 CONT b\n3 PHRASE c\n4 CONC d\n",
        kEven + "2 ROLE \n3 CONC x\n", "0 @N1@ SNOTE\n1 CONC a\n2 CONT b\n1 CONT c\n",
        "0 @I1@ INDI\n1 UID @U1@\n2 CONC " + x(300) + "\n", "0 @I1@ INDI\n1 UID " + huge + "\n",
        "0 HEAD\n1 GEDC\n2 VERS\n3 CONC x\n4 CONT y\n0 HEAD\n1 SCHMA\n", "0 @I1@ INDI\n1 NOTE " + huge + "\n",
        "0 @N1@ SNOTE " + huge + "\n",
    };
    for (const std::string& input : inputs) {
        std::string text = render(to_version_5_5_1(parse(input)).document);
        auto back = Document::parse(text);
        ASSERT_TRUE(back) << back.error().display();
        EXPECT_EQ(back->to_text(), text) << input.substr(0, 200);
    }
}

}  // namespace
}  // namespace pellorine::convert
