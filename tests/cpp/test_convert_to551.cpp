// Conversion toward 5.5.1: each rule by a small document, written out exactly,
// with its notes; the refitting and the over-long line count at their
// boundaries; the versions a conversion reports.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "convert_notes.hpp"

namespace pellorine::convert {
namespace {

const std::string kChar = "- CHAR Converted: 5.5.1 requires a character set, and the file is written as UTF-8";
const std::string kGedc = "- GEDC Converted: the header declared no GEDCOM version, and 5.5.1 requires it";
const std::string kSchma =
    "- SCHMA Dropped: 5.5.1 has no way to declare an extension; the extensions themselves are kept";
const std::string kUid = "@I1@ UID Converted: 5.5.1 has no UID, and every producer writes _UID instead";
const std::string kSnotePointer =
    "@I1@ SNOTE Converted: a shared note pointer is an ordinary note pointer in 5.5.1";
const std::string kPhrase = "@I1@ PHRASE Converted: a dated phrase became 5.5.1's interpreted form";
const std::string kPhraseKept =
    "@I1@ PHRASE Kept: 5.5.1's interpreted date holds one line and nothing beneath it, and this date or phrase spans "
    "lines or has substructures; the PHRASE is kept as written, which 5.5.1 does not define";
const std::string kRolePhraseKept =
    "@I1@ ROLE Kept: 5.5.1 holds a role on one line with nothing beneath it, and this role's PHRASE spans lines or has "
    "substructures; it is kept as written, which 5.5.1 does not define";
const std::string kRoleContKept =
    "@I1@ ROLE Kept: a continuation line of this role has substructures of its own, so rewriting it would delete "
    "them; it is left as written";
const std::string kRela = "@I1@ ROLE Converted: an association's role is RELA in 5.5.1, a relation in words";
const std::string kRoleWords =
    "@I1@ ROLE Converted: a role 5.5.1 does not enumerate, or one with a phrase, is 5.5.1's parenthesized role "
    "descriptor";
std::string shared_record(const std::string& record) {
    return record + " SNOTE Converted: 5.5.1 has one kind of note record";
}
std::string void_kept(const std::string& tag) {
    return "@I1@ " + tag + " Kept: 5.5.1 has no null pointer, so a reader will look for a record named VOID; it is "
                           "kept as written";
}
std::string not_in_551(const std::string& tag, const std::string& record = "@I1@") {
    return record + " " + tag + " Kept: version 7 defines this and 5.5.1 does not; it is kept rather than lost";
}
std::string long_lines(const std::string& who, int n) {
    return who + " Kept: " + std::to_string(n) +
           " line(s) in this record are longer than 5.5.1's 255 bytes; they belong to structures the conversion did "
           "not change, so they are left as written (Document::wrap_long_lines fits them)";
}

class Converts : public testing::TestWithParam<Case> {};

TEST_P(Converts, ToTheExpectedLinesAndNotes) { expect_conversion(GetParam(), to_version_5_5_1); }

std::string x(std::size_t n) { return std::string(n, 'a'); }

const std::string I = "0 @I1@ INDI\n", B = I + "1 BIRT\n";
const std::string kEvent = B + "2 SOUR @S1@\n3 EVEN BIRT\n", kAsso = I + "1 ASSO @I2@\n";
// Documents without a header unless the header is the point, so that each
// case shows one rule's notes.
const Case kCases[] = {
    // A CHAR is kept whatever it says.
    {"GedcWithoutVers", "0 HEAD\n1 GEDC\n2 FORM LINEAGE-LINKED\n1 CHAR ANSEL\n",
     "0 HEAD\n1 GEDC\n2 FORM LINEAGE-LINKED\n2 VERS 5.5.1\n1 CHAR ANSEL\n", {}},
    // Lines read with extra spaces are rewritten; a continued VERS is replaced whole.
    {"VerbatimLinesAndContinuedVersion", "0  HEAD \n1  GEDC\n2  VERS 5.5\n3 CONC .1\n3 CONT x\n1  CHAR UTF-8\n",
     "0 HEAD \n1 GEDC\n2 VERS 5.5.1\n2 FORM LINEAGE-LINKED\n1  CHAR UTF-8\n", {}},
    {"SchemaDroppedExtensionsKept",
     "0 HEAD\n1 GEDC\n2 VERS 7.0\n1 SCHMA\n2 TAG _X https://x.example/\n1 SCHMA\n1 CHAR UTF-8\n0 @I1@ INDI\n1 _X y\n",
     "0 HEAD\n1 GEDC\n2 VERS 5.5.1\n2 FORM LINEAGE-LINKED\n1 CHAR UTF-8\n0 @I1@ INDI\n1 _X y\n", {kSchma}},
    // A missing GEDC goes first and a missing CHAR last; the header's notes come in that order, then its
    // structures' notes.
    {"HeaderNoteOrder", "0 HEAD\n1 SCHMA\n1 EXID 1\n",
     "0 HEAD\n1 GEDC\n2 VERS 5.5.1\n2 FORM LINEAGE-LINKED\n1 EXID 1\n1 CHAR UTF-8\n",
     {kGedc, kChar, kSchma, not_in_551("EXID", "-")}},
    // 255 - (1 + 5 + 4 + 4) = 241 bytes on the record line, then 246 on each CONC line.
    {"SharedNoteRecords", "0 SNOTE text\n0 @N1@ SNOTE " + x(600) + "\n1 CONT more\n",
     "0 NOTE text\n0 @N1@ NOTE " + x(241) + "\n1 CONC " + x(246) + "\n1 CONC " + x(113) + "\n1 CONT more\n",
     {shared_record("-"), shared_record("@N1@")}},
    {"SharedNotePointers", I + "1 SNOTE @N1@\n2 _X y\n1 SNOTE text\n1 SNOTE @@\n",
     I + "1 NOTE @N1@\n2 _X y\n1 SNOTE text\n1 SNOTE @@\n", {kSnotePointer}},
    // 255 - (1 + 4 + 4) = 246 bytes fit on a _UID line.
    {"UidRefittedPast246Bytes", I + "1 UID " + x(246) + "\n1 UID " + x(247) + "\n",
     I + "1 _UID " + x(246) + "\n1 _UID " + x(246) + "\n2 CONC a\n", {kUid, kUid}},
    // A reader of 5.5.1 takes @VOID@ for a missing record; only that exact payload is one.
    {"VoidPointers", I + "1 FAMC @VOID@\n1 SNOTE @VOID@\n1 ASSO @VOID@\n2 ROLE FRIEND\n1 NOTE @void@\n",
     I + "1 FAMC @VOID@\n1 NOTE @VOID@\n1 ASSO @VOID@\n2 RELA Friend\n1 NOTE @void@\n",
     {void_kept("FAMC"), void_kept("SNOTE"), kSnotePointer, void_kept("ASSO"), kRela}},
    {"KeptStructures",
     I + "1 EXID 123\n1 BIRT\n2 DATE 1900\n3 TRAN 1900\n1 SDATE 1 JAN 1900\n1 CHAN\n2 CREA\n3 DATE 1 JAN 2000\n", "",
     {not_in_551("EXID"), not_in_551("TRAN"), not_in_551("SDATE"), not_in_551("CREA")}},
    // The date and the phrase go in as they are, continuation lines joined.
    {"Phrases", B + "2 DATE 1 JAN 1900\n3 PHRASE New Year\n3 TIME 12:00\n2 DATE\n3 PHRASE x\n2 DATE  1900 \n"
                    "3 PHRASE  y \n2 DATE 1 JAN\n3 CONC  1900\n3 PHRASE p\n4 CONC q\n",
     B + "2 DATE INT 1 JAN 1900 (New Year)\n3 TIME 12:00\n2 DATE INT  (x)\n2 DATE INT  1900  ( y )\n"
         "2 DATE INT 1 JAN 1900 (pq)\n",
     {kPhrase, kPhrase, kPhrase, kPhrase}},
    // 255 - (1 + 4 + 4) = 246 bytes on the DATE line.
    {"Refitted", B + "2 DATE 1900\n3 PHRASE " + x(236) + "\n", B + "2 DATE INT 1900 (" + x(236) + "\n3 CONC )\n",
     {kPhrase}},
    // Kept when the phrase or the date spans lines, there are two phrases, or
    // something beneath would be lost.
    {"PhrasesKept", B + "2 DATE 1900\n3 PHRASE a\n4 CONT b\n2 DATE 1900\n3 CONT x\n3 PHRASE a\n2 DATE 1900\n"
                        "3 PHRASE a\n3 PHRASE b\n2 DATE 1900\n3 PHRASE a\n4 _X b\n2 DATE 1900\n3 PHRASE a\n"
                        "4 CONC b\n5 _X c\n2 DATE 1900\n3 CONC 0\n4 _X c\n3 PHRASE a\n", "",
     {kPhraseKept, kPhraseKept, kPhraseKept, kPhraseKept, kPhraseKept, kPhraseKept}},
    // 5.5.1's own values and descriptors already are left as written, however spread over lines.
    {"EventRolesLeftAsWritten", kEvent + "4 ROLE WIFE\n4 ROLE wife\n4 ROLE  CHIL \n4 ROLE (Godfather of the bride)\n"
                                "4 ROLE  (x) \n4 ROLE ()\n4 ROLE (a\n5 CONT b)\n4 ROLE (y\n5 CONC )\n6 _X c\n",
     "", {}},
    {"EventRolesBecomeDescriptors", kEvent + "4 ROLE GODP\n4 ROLE godson\n4 ROLE\n4 ROLE \n4 ROLE (\n4 ROLE (ab\n"
                                    "4 ROLE OTHER\n5 PHRASE second cousin\n4 ROLE (x)\n5 PHRASE y\n4 ROLE WIFE\n"
                                    "5 PHRASE  bride \n5 _X y\n4 ROLE a\n5 CONT b\n",
     kEvent + "4 ROLE (Godparent)\n4 ROLE (godson)\n4 ROLE ()\n4 ROLE ()\n4 ROLE (()\n4 ROLE ((ab)\n"
              "4 ROLE (second cousin)\n4 ROLE (y)\n4 ROLE (bride)\n5 _X y\n4 ROLE (a\n5 CONT b)\n",
     std::vector<std::string>(10, kRoleWords)},
    // 255 - (1 + 4 + 4) = 246 bytes on the ROLE line.
    {"EventRoleRefitted", kEvent + "4 ROLE OTHER\n5 PHRASE " + x(244) + "\n4 ROLE OTHER\n5 PHRASE " + x(245) + "\n",
     kEvent + "4 ROLE (" + x(244) + ")\n4 ROLE (" + x(245) + "\n5 CONC )\n", {kRoleWords, kRoleWords}},
    {"AssociationRoles", kAsso + "2 ROLE FRIEND\n2 ROLE OTHER\n3 PHRASE godmother\n2 ROLE godson\n2 ROLE\n"
                         "2 ROLE (x)\n2 ROLE OTHER\n3 PHRASE god\n4 CONC mother\n",
     kAsso + "2 RELA Friend\n2 RELA godmother\n2 RELA godson\n2 RELA\n2 RELA (x)\n2 RELA godmother\n",
     std::vector<std::string>(6, kRela)},
    // A phrase that would be lost, or a continuation line's substructures, keep the role as written.
    {"RolesKept", kEvent + "4 ROLE OTHER\n5 PHRASE godmother\n5 PHRASE aunt\n4 ROLE OTHER\n5 PHRASE  \n"
                  "4 ROLE OTHER\n5 PHRASE a\n6 _X b\n4 ROLE WIFE\n5 CONC X\n6 _X c\n1 ASSO @I2@\n2 ROLE OTHER\n"
                  "3 PHRASE a\n4 CONT b\n2 ROLE OTHER\n3 PHRASE a\n4 CONC b\n5 _X c\n", "",
     {kRolePhraseKept, kRolePhraseKept, kRolePhraseKept, kRoleContKept, kRolePhraseKept, kRolePhraseKept}},
    {"RolesElsewhereUntouched", I + "1 BIRT\n2 ROLE GODP\n1 EVEN\n2 TYPE x\n", "", {}},
    // A node's own notes come before its children's.
    {"NoteOrder", kAsso + "2 ROLE GODP\n2 ROLE FRIEND\n2 UID u\n2 EXID 1\n",
     kAsso + "2 RELA Godparent\n2 RELA Friend\n2 _UID u\n2 EXID 1\n", {kRela, kRela, kUid, not_in_551("EXID")}},
    // A line of 254 bytes fits, one of 255 is counted; a line read with extra spaces keeps them.
    {"LinesOf255BytesCounted", I + "1 NOTE " + x(247) + "\n0 @I2@ INDI\n1 NOTE " + x(248) + "\n0 @I3@ INDI\n"
                               "1    NOTE " + x(245) + "\n", "",
     {long_lines("@I2@ NOTE", 1), long_lines("@I3@ NOTE", 1)}},
    // The tag of the first long line names them, after the record's other notes.
    {"RecordLineTagAfterOtherNotes", "0 @I1@ INDI " + x(260) + "\n1 NOTE " + x(300) + "\n1 UID u\n",
     "0 @I1@ INDI " + x(260) + "\n1 NOTE " + x(300) + "\n1 _UID u\n", {kUid, long_lines("@I1@ INDI", 2)}},
};
INSTANTIATE_TEST_SUITE_P(ToVersion551, Converts, testing::ValuesIn(kCases), case_name);

// A conversion reports the version its source declares, by the logical payload, or "unstated".
TEST(Frame, SourceAndTargetVersions) {
    using Versions = std::pair<std::string, std::string>;
    const auto versions = [](const Conversion& c) { return Versions{c.source_version, c.target_version}; };
    EXPECT_EQ(versions(to_version_7(Document{})), Versions("unstated", "7.0"));
    EXPECT_EQ(versions(to_version_5_5_1(Document{})), Versions("unstated", "5.5.1"));
    EXPECT_EQ(versions(to_version_7(parse("0 HEAD\n1 GEDC\n2 VERS 5.5\n3 CONC .1\n"))), Versions("5.5.1", "7.0"));
    EXPECT_EQ(versions(to_version_5_5_1(parse("0 HEAD\n1 GEDC\n2 VERS 7\n3 CONC .0\n"))), Versions("7.0", "5.5.1"));
}

}  // namespace
}  // namespace pellorine::convert
