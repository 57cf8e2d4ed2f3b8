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

const std::string kChar = "5.5.1 requires a character set, and the file is written as UTF-8";
const std::string kGedc = "the header declared no GEDCOM version, and 5.5.1 requires it";
const std::string kSchma = "5.5.1 has no way to declare an extension; the extensions themselves are kept";
const std::string kSnoteRecord = "5.5.1 has one kind of note record";
const std::string kUid = "5.5.1 has no UID, and every producer writes _UID instead";
const std::string kSnotePointer = "a shared note pointer is an ordinary note pointer in 5.5.1";
const std::string kPhrase = "a dated phrase became 5.5.1's interpreted form";
const std::string kPhraseKept =
    "5.5.1's interpreted date holds one line and nothing beneath it, and this date or phrase spans lines or has "
    "substructures; the PHRASE is kept as written, which 5.5.1 does not define";
const std::string kRolePhraseKept =
    "5.5.1 holds a role on one line with nothing beneath it, and this role's PHRASE spans lines or has "
    "substructures; it is kept as written, which 5.5.1 does not define";
const std::string kRoleContKept =
    "a continuation line of this role has substructures of its own, so rewriting it would delete them; it is left "
    "as written";
const std::string kRela = "an association's role is RELA in 5.5.1, a relation in words";
const std::string kRoleWords =
    "a role 5.5.1 does not enumerate, or one with a phrase, is 5.5.1's parenthesized role descriptor";
const std::string kNotIn551 = "version 7 defines this and 5.5.1 does not; it is kept rather than lost";
std::string long_lines(int n) {
    return std::to_string(n) +
           " line(s) in this record are longer than 5.5.1's 255 bytes; they belong to structures the conversion "
           "did not change, so they are left as written (Document::wrap_long_lines fits them)";
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
}

std::string x(std::size_t n, char c = 'a') { return std::string(n, c); }

// Documents without a header unless the header is the point, so that each
// case shows one rule's notes.
INSTANTIATE_TEST_SUITE_P(
    Header, Converts,
    testing::Values(
        Case{"v7_header", "0 HEAD\n1 GEDC\n2 VERS 7.0\n0 TRLR\n",
             "0 HEAD\n1 GEDC\n2 VERS 5.5.1\n2 FORM LINEAGE-LINKED\n1 CHAR UTF-8\n0 TRLR\n",
             {{"CHAR", K::Converted, kChar}}, std::nullopt},
        Case{"char_kept_whatever_it_says", "0 HEAD\n1 GEDC\n2 VERS 5.5.1\n2 FORM LINEAGE-LINKED\n1 CHAR ANSEL\n", "",
             {}},
        Case{"no_gedc", "0 HEAD\n1 SOUR x\n1 CHAR UTF-8\n",
             "0 HEAD\n1 GEDC\n2 VERS 5.5.1\n2 FORM LINEAGE-LINKED\n1 SOUR x\n1 CHAR UTF-8\n",
             {{"GEDC", K::Converted, kGedc}}, std::nullopt},
        Case{"gedc_without_vers", "0 HEAD\n1 GEDC\n2 FORM LINEAGE-LINKED\n1 CHAR UTF-8\n",
             "0 HEAD\n1 GEDC\n2 FORM LINEAGE-LINKED\n2 VERS 5.5.1\n1 CHAR UTF-8\n", {}},
        Case{"verbatim_header_lines_rewritten", "0  HEAD \n1  GEDC\n2  VERS 7.0\n1  CHAR UTF-8\n",
             "0 HEAD \n1 GEDC\n2 VERS 5.5.1\n2 FORM LINEAGE-LINKED\n1  CHAR UTF-8\n", {}},
        // VERS continued: its whole logical payload is replaced.
        Case{"vers_continued", "0 HEAD\n1 GEDC\n2 VERS 5.5\n3 CONC .1\n3 CONT x\n2 FORM LINEAGE-LINKED\n1 CHAR UTF-8\n",
             "0 HEAD\n1 GEDC\n2 VERS 5.5.1\n2 FORM LINEAGE-LINKED\n1 CHAR UTF-8\n", {}},
        Case{"schema_dropped_extensions_kept",
             "0 HEAD\n1 GEDC\n2 VERS 7.0\n1 SCHMA\n2 TAG _X https://x.example/\n1 SCHMA\n1 CHAR UTF-8\n"
             "0 @I1@ INDI\n1 _X y\n",
             "0 HEAD\n1 GEDC\n2 VERS 5.5.1\n2 FORM LINEAGE-LINKED\n1 CHAR UTF-8\n0 @I1@ INDI\n1 _X y\n",
             {{"SCHMA", K::Dropped, kSchma}}, std::nullopt},
        // Header notes come in their order, then the header's structure notes.
        Case{"header_note_order", "0 HEAD\n1 SCHMA\n1 EXID 1\n",
             "0 HEAD\n1 GEDC\n2 VERS 5.5.1\n2 FORM LINEAGE-LINKED\n1 EXID 1\n1 CHAR UTF-8\n",
             {{"GEDC", K::Converted, kGedc},
              {"CHAR", K::Converted, kChar},
              {"SCHMA", K::Dropped, kSchma},
              {"EXID", K::Kept, kNotIn551}},
             std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    NotesUidAndKept, Converts,
    testing::Values(
        Case{"shared_note_record", "0 @N1@ SNOTE text\n1 CONT more\n", "0 @N1@ NOTE text\n1 CONT more\n",
             {{"SNOTE", K::Converted, kSnoteRecord}}, "@N1@"},
        Case{"shared_note_record_without_xref", "0 SNOTE text\n", "0 NOTE text\n",
             {{"SNOTE", K::Converted, kSnoteRecord}}, std::nullopt},
        // 255 - (1 + 5 + 4 + 4) = 241 bytes on the record line, the rest on CONC.
        Case{"shared_note_record_refitted", "0 @N1@ SNOTE " + x(300) + "\n",
             "0 @N1@ NOTE " + x(241) + "\n1 CONC " + x(59) + "\n",
             {{"SNOTE", K::Converted, kSnoteRecord}}, "@N1@"},
        Case{"shared_note_pointer", "0 @I1@ INDI\n1 SNOTE @N1@\n2 _X y\n", "0 @I1@ INDI\n1 NOTE @N1@\n2 _X y\n",
             {{"SNOTE", K::Converted, kSnotePointer}}},
        Case{"shared_note_text_left", "0 @I1@ INDI\n1 SNOTE text\n1 SNOTE @@\n", "", {}},
        Case{"uid", "0 @I1@ INDI\n1 UID abc\n", "0 @I1@ INDI\n1 _UID abc\n", {{"UID", K::Converted, kUid}}},
        Case{"uid_246_fits", "0 @I1@ INDI\n1 UID " + x(246) + "\n", "0 @I1@ INDI\n1 _UID " + x(246) + "\n",
             {{"UID", K::Converted, kUid}}},
        Case{"uid_247_refitted", "0 @I1@ INDI\n1 UID " + x(247) + "\n",
             "0 @I1@ INDI\n1 _UID " + x(246) + "\n2 CONC a\n", {{"UID", K::Converted, kUid}}},
        Case{"kept_structures", "0 @I1@ INDI\n1 EXID 123\n1 BIRT\n2 DATE 1900\n3 TRAN 1900\n1 SDATE 1 JAN 1900\n"
                                "1 CHAN\n2 CREA\n3 DATE 1 JAN 2000\n",
             "",
             {{"EXID", K::Kept, kNotIn551},
              {"TRAN", K::Kept, kNotIn551},
              {"SDATE", K::Kept, kNotIn551},
              {"CREA", K::Kept, kNotIn551}}}),
    [](const auto& info) { return std::string(info.param.name); });

const std::string kBirt = "0 @I1@ INDI\n1 BIRT\n";

INSTANTIATE_TEST_SUITE_P(
    DatedPhrases, Converts,
    testing::Values(
        Case{"phrase", kBirt + "2 DATE 1 JAN 1900\n3 PHRASE New Year\n3 TIME 12:00\n",
             kBirt + "2 DATE INT 1 JAN 1900 (New Year)\n3 TIME 12:00\n", {{"PHRASE", K::Converted, kPhrase}}},
        Case{"empty_date", kBirt + "2 DATE\n3 PHRASE x\n", kBirt + "2 DATE INT  (x)\n",
             {{"PHRASE", K::Converted, kPhrase}}},
        Case{"untrimmed", kBirt + "2 DATE  1900 \n3 PHRASE  y \n", kBirt + "2 DATE INT  1900  ( y )\n",
             {{"PHRASE", K::Converted, kPhrase}}},
        Case{"conc_joined", kBirt + "2 DATE 1 JAN\n3 CONC  1900\n3 PHRASE p\n4 CONC q\n",
             kBirt + "2 DATE INT 1 JAN 1900 (pq)\n", {{"PHRASE", K::Converted, kPhrase}}},
        // 255 - (1 + 4 + 4) = 246 bytes on the DATE line.
        Case{"refitted", kBirt + "2 DATE 1900\n3 PHRASE " + x(236) + "\n",
             kBirt + "2 DATE INT 1900 (" + x(236) + "\n3 CONC )\n", {{"PHRASE", K::Converted, kPhrase}}},
        Case{"phrase_spans_lines", kBirt + "2 DATE 1900\n3 PHRASE a\n4 CONT b\n", "",
             {{"PHRASE", K::Kept, kPhraseKept}}},
        Case{"date_spans_lines", kBirt + "2 DATE 1900\n3 CONT x\n3 PHRASE a\n", "",
             {{"PHRASE", K::Kept, kPhraseKept}}},
        Case{"two_phrases", kBirt + "2 DATE 1900\n3 PHRASE a\n3 PHRASE b\n", "", {{"PHRASE", K::Kept, kPhraseKept}}},
        Case{"phrase_with_substructure", kBirt + "2 DATE 1900\n3 PHRASE a\n4 _X b\n", "",
             {{"PHRASE", K::Kept, kPhraseKept}}},
        Case{"phrase_continuation_with_children", kBirt + "2 DATE 1900\n3 PHRASE a\n4 CONC b\n5 _X c\n", "",
             {{"PHRASE", K::Kept, kPhraseKept}}},
        Case{"date_continuation_with_children", kBirt + "2 DATE 1900\n3 CONC 0\n4 _X c\n3 PHRASE a\n", "",
             {{"PHRASE", K::Kept, kPhraseKept}}}),
    [](const auto& info) { return std::string(info.param.name); });

const std::string kEven = "0 @I1@ INDI\n1 ASSO @I2@\n";
const std::string kEvent = "0 @I1@ INDI\n1 BIRT\n2 SOUR @S1@\n3 EVEN BIRT\n";

INSTANTIATE_TEST_SUITE_P(
    Roles, Converts,
    testing::Values(
        Case{"event_enumerated_stays", kEvent + "4 ROLE WIFE\n4 ROLE wife\n4 ROLE  CHIL \n", "", {}},
        Case{"event_godparent", kEvent + "4 ROLE GODP\n", kEvent + "4 ROLE (Godparent)\n",
             {{"ROLE", K::Converted, kRoleWords}}},
        Case{"event_phrase", kEvent + "4 ROLE OTHER\n5 PHRASE second cousin\n", kEvent + "4 ROLE (second cousin)\n",
             {{"ROLE", K::Converted, kRoleWords}}},
        Case{"event_enumerated_with_phrase", kEvent + "4 ROLE WIFE\n5 PHRASE  bride \n5 _X y\n",
             kEvent + "4 ROLE (bride)\n5 _X y\n", {{"ROLE", K::Converted, kRoleWords}}},
        Case{"event_words_uppercased", kEvent + "4 ROLE godson\n", kEvent + "4 ROLE (GODSON)\n",
             {{"ROLE", K::Converted, kRoleWords}}},
        Case{"event_empty", kEvent + "4 ROLE\n4 ROLE \n", kEvent + "4 ROLE ()\n4 ROLE ()\n",
             {{"ROLE", K::Converted, kRoleWords}, {"ROLE", K::Converted, kRoleWords}}},
        Case{"event_role_with_line_feed", kEvent + "4 ROLE a\n5 CONT b\n", kEvent + "4 ROLE (A\n5 CONT B)\n",
             {{"ROLE", K::Converted, kRoleWords}}},
        // 255 - (1 + 4 + 4) = 246 bytes on the ROLE line.
        Case{"event_refitted", kEvent + "4 ROLE OTHER\n5 PHRASE " + x(245) + "\n",
             kEvent + "4 ROLE (" + x(245) + "\n5 CONC )\n", {{"ROLE", K::Converted, kRoleWords}}},
        Case{"event_fits", kEvent + "4 ROLE OTHER\n5 PHRASE " + x(244) + "\n", kEvent + "4 ROLE (" + x(244) + ")\n",
             {{"ROLE", K::Converted, kRoleWords}}},
        Case{"association_friend", kEven + "2 ROLE FRIEND\n", kEven + "2 RELA Friend\n", {{"ROLE", K::Converted, kRela}}},
        Case{"association_phrase", kEven + "2 ROLE OTHER\n3 PHRASE godmother\n", kEven + "2 RELA godmother\n",
             {{"ROLE", K::Converted, kRela}}},
        Case{"association_other_words", kEven + "2 ROLE godson\n", kEven + "2 RELA GODSON\n",
             {{"ROLE", K::Converted, kRela}}},
        Case{"association_empty", kEven + "2 ROLE\n", kEven + "2 RELA\n", {{"ROLE", K::Converted, kRela}}},
        // A second phrase would be lost: the role is kept as written.
        Case{"two_phrases_event", kEvent + "4 ROLE OTHER\n5 PHRASE godmother\n5 PHRASE aunt by marriage\n", "",
             {{"ROLE", K::Kept, kRolePhraseKept}}},
        Case{"phrase_spans_lines", kEven + "2 ROLE OTHER\n3 PHRASE a\n4 CONT b\n", "",
             {{"ROLE", K::Kept, kRolePhraseKept}}},
        Case{"phrase_blank", kEvent + "4 ROLE OTHER\n5 PHRASE  \n", "", {{"ROLE", K::Kept, kRolePhraseKept}}},
        Case{"phrase_with_substructure", kEvent + "4 ROLE OTHER\n5 PHRASE a\n6 _X b\n", "",
             {{"ROLE", K::Kept, kRolePhraseKept}}},
        Case{"phrase_continuation_with_children", kEven + "2 ROLE OTHER\n3 PHRASE a\n4 CONC b\n5 _X c\n", "",
             {{"ROLE", K::Kept, kRolePhraseKept}}},
        Case{"phrase_with_conc_is_usable", kEven + "2 ROLE OTHER\n3 PHRASE god\n4 CONC mother\n",
             kEven + "2 RELA godmother\n", {{"ROLE", K::Converted, kRela}}},
        Case{"role_continuation_with_children", kEvent + "4 ROLE WIFE\n5 CONC X\n6 _X c\n", "",
             {{"ROLE", K::Kept, kRoleContKept}}},
        Case{"roles_elsewhere_untouched", "0 @I1@ INDI\n1 BIRT\n2 ROLE GODP\n1 EVEN\n2 TYPE x\n", "", {}},
        // A node's own notes come before its children's.
        Case{"note_order", kEven + "2 ROLE GODP\n2 ROLE FRIEND\n2 UID u\n2 EXID 1\n",
             kEven + "2 RELA Godparent\n2 RELA Friend\n2 _UID u\n2 EXID 1\n",
             {{"ROLE", K::Converted, kRela},
              {"ROLE", K::Converted, kRela},
              {"UID", K::Converted, kUid},
              {"EXID", K::Kept, kNotIn551}}}),
    [](const auto& info) { return std::string(info.param.name); });

const std::string kIndi = "0 @I1@ INDI\n";

INSTANTIATE_TEST_SUITE_P(
    LongLines, Converts,
    testing::Values(
        Case{"line_254_not_counted", kIndi + "1 NOTE " + x(247) + "\n", "", {}},
        Case{"line_255_counted", kIndi + "1 NOTE " + x(248) + "\n", "", {{"NOTE", K::Kept, long_lines(1)}}},
        Case{"record_line_tag", "0 @I1@ INDI " + x(260) + "\n1 NOTE " + x(300) + "\n", "",
             {{"INDI", K::Kept, long_lines(2)}}},
        // Read with extra spaces after the level, the line keeps its text.
        Case{"verbatim_line", kIndi + "1    NOTE " + x(245) + "\n", "", {{"NOTE", K::Kept, long_lines(1)}}},
        // The over-long note comes after the record's other notes.
        Case{"after_other_notes", kIndi + "1 NOTE " + x(300) + "\n1 UID u\n",
             kIndi + "1 NOTE " + x(300) + "\n1 _UID u\n",
             {{"UID", K::Converted, kUid}, {"NOTE", K::Kept, long_lines(1)}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ToVersion551, ReportsVersionsAndCarriesEachRecordsIdentifier) {
    Conversion empty = to_version_5_5_1(Document{});
    EXPECT_TRUE(empty.document.empty() && empty.notes.empty());
    EXPECT_EQ(empty.source_version, "unstated");

    Document doc = parse("0 HEAD\n1 GEDC\n2 VERS 7.0\n1 CHAR UTF-8\n0 @I1@ INDI\n1 UID a\n0 INDI\n1 UID b\n"
                         "0 @i2@ INDI\n1 UID c\n0 TRLR\n");
    Conversion conv = to_version_5_5_1(doc);
    EXPECT_EQ(conv.source_version, "7.0");
    std::vector<std::optional<std::string>> records;
    for (const auto& n : conv.notes) records.push_back(n.record);
    EXPECT_EQ(records, (std::vector<std::optional<std::string>>{"@I1@", std::nullopt, "@i2@"}));
    Document out{std::move(conv.document)};
    EXPECT_EQ(out.version(), "5.5.1");
    // Converting again gives the same result.
    EXPECT_EQ(out.to_text(), render(to_version_5_5_1(doc).document));
}

TEST(StructuresTo5Node, SaysWhetherAnythingChanged) {
    Pass pass;
    Document doc = parse("0 EVEN\n1 ROLE WIFE\n0 EVEN\n1 ROLE GODP\n0 X\n1 Y\n2 UID u\n0 EXID 1\n");
    std::vector<bool> changed;
    for (Node& r : doc.records) changed.push_back(structures_to_5_node(r, 0, pass));
    EXPECT_EQ(changed, (std::vector<bool>{false, true, true, false}));
}

// Shapes the parser accepts, however odd: each converts, and what is written
// reads back as the same text.
TEST(ToVersion551, OddInputConvertsAndReadsBack) {
    const std::string huge((16u << 20) - 100, 'h');  // a line within the parser's bound
    const std::vector<std::string> inputs = {
        "",
        "0 TRLR\n",
        "0 @I1@ INDI\n1 UID " + x(300) + "\n1 NOTE a\n2 CONC b\n",
        kBirt + "2 DATE\n3 PHRASE\n",
        kBirt + "2 DATE\n3 CONT\n3 PHRASE x\n4 CONT\n",
        kEvent + "4 ROLE\n5 PHRASE\n",
        kEvent + "4 ROLE\n5 CONT\n6 CONC\n",
        kEven + "2 ROLE a\n3 CONT b\n3 PHRASE c\n4 CONC d\n",
        kEven + "2 ROLE \n3 CONC x\n",
        "0 @N1@ SNOTE\n1 CONC a\n2 CONT b\n1 CONT c\n",
        "0 @I1@ INDI\n1 UID @U1@\n2 CONC " + x(300) + "\n",
        "0 HEAD\n1 GEDC\n2 VERS\n3 CONC x\n4 CONT y\n0 HEAD\n1 SCHMA\n",
        "0 @I1@ INDI\n1 UID " + huge + "\n",
        "0 @I1@ INDI\n1 NOTE " + huge + "\n",
        "0 @N1@ SNOTE " + huge + "\n",
    };
    for (const std::string& input : inputs) {
        Document doc = parse(input);
        Conversion conv = to_version_5_5_1(doc);
        std::string text = render(conv.document);
        auto back = Document::parse(text);
        ASSERT_TRUE(back) << back.error().display();
        EXPECT_EQ(back->to_text(), text) << input.substr(0, 200);
    }
}

TEST(ToVersion551, RefitsEveryLineItRewrites) {
    // A 16 MiB payload on a rewritten line is cut into lines that all fit.
    const std::size_t n = (16u << 20) - 100;
    const std::string huge(n, 'h');
    Conversion conv = to_version_5_5_1(parse("0 @I1@ INDI\n1 UID " + huge + "\n"));
    std::string text = render(conv.document);
    std::size_t start = 0, longest = 0, lines = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        longest = std::max(longest, end - start);
        ++lines;
        start = end + 1;
    }
    EXPECT_EQ(longest, 253u);
    EXPECT_EQ(lines, 2 + (n - 246 + 245) / 246);  // 246 bytes on the _UID line and on each CONC line
    EXPECT_EQ(conv.notes.size(), 1u);
}

}  // namespace
}  // namespace pellorine::convert
