// Conversion toward 7.0: the frame, the header rules, note records, CONC
// folding, _UID, note pointers, dates and roles, each case a small document
// with the exact text and notes it converts to.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert_notes.hpp"
#include "dates.hpp"

namespace pellorine::convert {
namespace {

class Converts : public ::testing::TestWithParam<Case> {};

TEST_P(Converts, ToExactTextAndNotes) { expect_conversion(GetParam(), to_version_7); }

// The folding summary of one record.
std::string summary(std::string record, int lines, int structures, int without_payload = 0) {
    return record + " CONC Converted: version 7 has no CONC; " + std::to_string(lines) + " continuation line(s) in " +
           std::to_string(structures) +
           " structure(s) were folded into the text they continued, which reads exactly as before" +
           (without_payload ? "; " + std::to_string(without_payload) +
                                  " of those structure(s) had no payload, so the folded text became it"
                            : "");
}
const std::string folded1 = summary("@N1@", 1, 1);
// The note on CONC lines left unfolded, for `who` ("record tag") and `n` lines.
std::string kept(const std::string& who, int n, const std::string& reason) {
    return who + " Kept: " + std::to_string(n) + " CONC line(s) kept as written because " + reason +
           "; the output is therefore not valid version 7";
}
const std::string kPointer = "it continues a pointer payload, which joining would turn into other text";
const std::string kAtSign = "joining would make the text begin with @, which version 7 reads as a pointer or an escape";
const std::string kOwnLines = "a CONC line carries an identifier or substructures of its own";
const std::string kTooLong = "the joined line would be longer than this library reads back";
const std::string kNoGedc = "- GEDC Converted: the header declared no GEDCOM version, and version 7 requires it";
const std::string kChar = "- CHAR Dropped: version 7 is always UTF-8, so a character set declaration says nothing";
std::string shared(const std::string& record) {
    return record + " NOTE Converted: a note record is a shared note record in version 7";
}
std::string rewritten(const std::string& date, const std::string& record = "@I1@") {
    return record + " DATE Converted: \"" + date +
           "\" is not version 7's date grammar; the reading it converted to is kept as the date, and the original as "
           "a PHRASE";
}
std::string emptied(const std::string& date) {
    return "@I1@ DATE Converted: version 7's date grammar cannot hold \"" + date +
           "\"; the DATE is left empty and the original kept as a PHRASE";
}
std::string role_became(const std::string& role, const std::string& value) {
    return "@I1@ ROLE Converted: the role \"" + role + "\" became " + value + ", with the words kept as a PHRASE";
}
std::string role_is(const std::string& role, const std::string& value) {
    return "@I1@ ROLE Converted: the role \"" + role + "\" is version 7's enumerated value " + value;
}
std::string has_phrase(const std::string& tag, const std::string& role) {
    return "@I1@ " + tag + " Kept: the role \"" + role +
           "\" is not version 7's enumeration, but it already has a PHRASE to keep the words in; it is left as it is";
}
std::string respelled(const std::string& date, const std::string& form, const std::string& record = "@I1@") {
    return record + " DATE Converted: \"" + date + "\" is written " + form + " in version 7's date grammar";
}
std::string not_exact(const std::string& date, const std::string& record = "@I1@") {
    return record + " DATE Kept: version 7 takes only an exact Gregorian day, month and year here, with no PHRASE, "
                    "and \"" + date + "\" is not one; it is left as written";
}
std::string doubled(const std::string& who, const std::string& payload) {
    return who + " Converted: \"" + payload +
           "\" begins with @, which version 7 reads as a pointer or an escape; the at-sign was doubled";
}
std::string renamed(const std::string& xref, const std::string& tag, const std::string& name) {
    return xref + " " + tag + " Converted: \"" + xref +
           "\" is not a version 7 identifier, which holds only capital letters, digits and underscores; the record "
           "and every pointer to it now use " + name;
}
std::string dangling(const std::string& who, const std::string& pointer, const std::string& name) {
    return who + " Converted: \"" + pointer + "\" points to no record and is not a version 7 identifier; it became " +
           name;
}
std::string too_deep(const std::string& who, const std::string& rewrite,
                     const std::string& outcome = "it is left as written") {
    return who + " Kept: " + rewrite +
           " would put a line deeper than level 64, which this library does not read back; " + outcome;
}
std::string too_long(const std::string& tag, const std::string& what) {
    return "@I1@ " + tag + " Kept: the " + what + " is longer than this library reads back on one line; it is left as "
           "written";
}
const std::string kEmptyRole = "Kept: an empty role has no version 7 reading; it is left as it is";
const std::string kRoleCont =
    "@I1@ ROLE Kept: a continuation line of this role has substructures of its own, so rewriting it would delete "
    "them; it is left as written";

const std::string N = "0 @N1@ INDI\n1 NOTE";
const std::string kCapA(15 * 1024 * 1024 / 2, 'a'), kCapB(15 * 1024 * 1024 / 2, 'b');
const std::string I = "0 @I1@ INDI\n", B = I + "1 BIRT\n", E = I + "1 EVEN\n";
const std::string kUid = "@I1@ _UID Converted: version 7 defines UID, so the extension is no longer needed";
const std::string kHalf(8 * 1024 * 1024, 'x');
// A record "@I1@" with a chain of _X lines down to `level`.
std::string chain(int level) {
    std::string out = I;
    for (int l = 1; l <= level; ++l) out += std::to_string(l) + " _X\n";
    return out;
}
const std::string kMoved = "@I1@ OBJE.FORM Converted: version 7 records a file's format on the file, not on the object";
const std::string kFormStays =
    too_deep("@I1@ OBJE.FORM", "moving this object's FORM onto its files", "its FORM lines are kept as written");

const Case kCases[] = {
    {"FormsAndCharactersetsGoWithOneNoteEach",
     "0 HEAD\n1 GEDC\n2 VERS 5.5.1\n2 FORM LINEAGE-LINKED\n3 VERS 5.5.1\n2 FORM x\n1 CHAR ANSEL\n1 SOUR s\n"
     "1 CHAR UTF-8\n0 TRLR\n", "0 HEAD\n1 GEDC\n2 VERS 7.0\n1 SOUR s\n0 TRLR\n",
     {"- GEDC.FORM Dropped: version 7 has one form and does not name it", kChar}},
    // Only the first VERS is replaced, whole: a "5.5" continued by ".1" must not become "7.0.1".
    {"FirstVersIsReplacedWhole", "0  HEAD\n1   GEDC\n2 VERS 5.5\n3 CONC .1\n3 CONT x\n2 VERS 4.0\n",
     "0 HEAD\n1 GEDC\n2 VERS 7.0\n2 VERS 4.0\n", {}},
    {"EveryHeaderGetsTheRules", "0 HEAD\n1 CHAR A\n0 HEAD\n1 GEDC\n2 NOTE n\n",
     "0 HEAD\n1 GEDC\n2 VERS 7.0\n0 HEAD\n1 GEDC\n2 NOTE n\n2 VERS 7.0\n", {kNoGedc, kChar}},
    {"NoteRecordsBecomeSharedNotes", "0 @N1@ NOTE a\n1 CONC b\n0 NOTE plain\n0 @N2@ NOTE\n",
     "0 @N1@ SNOTE ab\n0 NOTE plain\n0 @N2@ SNOTE\n", {shared("@N1@"), folded1, shared("@N2@")}},
    {"EmptyConcLinesFoldToNothing", N + "\n2 CONC\n2 CONC \n", N + "\n", {summary("@N1@", 2, 1)}},
    {"ConcContinuesTheLastContEvenAfterOtherLines", N + " a\n2 CONT b\n2 SOUR @S1@\n2 CONC c\n2 CONC d\n",
     N + " a\n2 CONT bcd\n2 SOUR @S1@\n", {summary("@N1@", 2, 1)}},
    {"AtSignFirstIsKeptExceptInADate", N + "\n2 CONC @x\n1 BIRT\n2 DATE\n3 CONC @#DJULIAN@ 1700\n",
     N + "\n2 CONC @x\n1 BIRT\n2 DATE JULIAN 1700\n3 PHRASE @@#DJULIAN@ 1700\n",
     {kept("@N1@ NOTE", 1, kAtSign), rewritten("@#DJULIAN@ 1700", "@N1@"), summary("@N1@", 1, 1, 1)}},
    // The line a kept CONC continues keeps its at-sign; a folded one has it doubled.
    {"JoiningIntoAPointerIsKept", N + " @N\n2 CONC 1@\n1 NOTE @a\n2 CONC b\n", N + " @N\n2 CONC 1@\n1 NOTE @@ab\n",
     {kept("@N1@ NOTE", 1, kAtSign), doubled("@N1@ NOTE", "@ab"), folded1}},
    // A pointer-shaped CONC is text it continues, not a pointer to rename.
    {"AContinuedAtSignLineStillFolds", N + " a\n2 CONT @b\n2 CONC @c@\n", N + " a\n2 CONT @@b@c@\n",
     {doubled("@N1@ CONT", "@b@c@"), folded1}},
    {"ReasonsOnceEachInChildOrder", N + "\n2 CONC @a\n2 CONT\n2 CONC @b\n2 CONT c\n2 CONC d\n",
     N + "\n2 CONC @a\n2 CONT\n2 CONC @b\n2 CONT cd\n", {kept("@N1@ NOTE", 2, kAtSign), folded1}},
    {"TwoReasonsJoinedByAnd", N + " @P@\n2 CONC x\n2 CONT\n2 CONC @y\n", "",
     {kept("@N1@ NOTE", 2, kPointer + " and " + kAtSign)}},
    {"AConcWithAnIdentifierBlocksTheWholeNode", N + " a\n2 CONC b\n2 @X@ CONC c\n2 CONT d\n2 CONC e\n",
     "", {kept("@N1@ NOTE", 3, kOwnLines)}},
    {"ConcUnderConcIsKept", N + " a\n2 CONC b\n3 CONC c\n", "",
     {kept("@N1@ NOTE", 1, kOwnLines), kept("@N1@ CONC", 1, "it is under a continuation line, not a payload")}},
    {"EachRecordHasItsOwnSummary", "0 @A@ INDI\n1 NOTE a\n2 CONC b\n0 @B@ INDI\n1 NOTE\n2 CONC c\n2 CONC d\n",
     "0 @A@ INDI\n1 NOTE ab\n0 @B@ INDI\n1 NOTE cd\n", {summary("@A@", 1, 1), summary("@B@", 2, 1, 1)}},
    // A joined text of exactly 15 MiB is folded; one byte more is not.
    {"JoinedTextAtTheCapFolds", "0 @N1@ NOTE " + kCapA + "\n1 CONC " + kCapB + "\n",
     "0 @N1@ SNOTE " + kCapA + kCapB + "\n", {shared("@N1@"), folded1}},
    {"JoinedTextPastTheCapIsKept", "0 @N1@ NOTE " + kCapA + "\n1 CONC " + kCapB + "b\n",
     "0 @N1@ SNOTE " + kCapA + "\n1 CONC " + kCapB + "b\n", {shared("@N1@"), kept("@N1@ SNOTE", 1, kTooLong)}},
    {"UidLosesItsUnderscore", I + "1 _UID 123\n2 _UID x\n", I + "1 UID 123\n2 UID x\n", {kUid, kUid}},
    // A 7.0 reader matches identifiers exactly: a pointer takes its record's letter case.
    {"PointersTakeTheirRecordsCase", I + "1 FAMC @f1@\n0 @F1@ FAM\n", I + "1 FAMC @F1@\n0 @F1@ FAM\n", {}},
    // A date that differs from its 7.0 form only by spaces or letter case says nothing a PHRASE would keep.
    {"DatesRespelled", B + "2 DATE  1 JAN 1900\n2 DATE 4 Jan 2026\n2 DATE abt 1800\n3 PHRASE p\n",
     B + "2 DATE 1 JAN 1900\n2 DATE 4 JAN 2026\n2 DATE ABT 1800\n3 PHRASE p\n",
     {respelled(" 1 JAN 1900", "1 JAN 1900"), respelled("4 Jan 2026", "4 JAN 2026"),
      respelled("abt 1800", "ABT 1800")}},
    // Dates that take no PHRASE: rewritten when exact, else left with a note.
    {"ExactDates",
     "0 HEAD\n1 GEDC\n2 VERS 7.0\n1 DATE 1900\n1 SOUR s\n2 DATA\n3 DATE abt 1900\n0 @I1@ INDI\n1 CHAN\n"
     "2 DATE 4 Jan 2026\n3 TIME 12:00\n1 CHAN\n2 DATE 1 JAN 1900\n1 CREA\n2 DATE @#DJULIAN@ 1 JAN 1900\n1 BAPL\n"
     "2 STAT COMPLETED\n3 DATE 1 JAN 1900 (x)\n1 SOUR @S1@\n2 DATA\n3 DATE abt 1 JAN 1900\n0 @S1@ SOUR\n",
     "0 HEAD\n1 GEDC\n2 VERS 7.0\n1 DATE 1900\n1 SOUR s\n2 DATA\n3 DATE abt 1900\n0 @I1@ INDI\n1 CHAN\n"
     "2 DATE 4 JAN 2026\n3 TIME 12:00\n1 CHAN\n2 DATE 1 JAN 1900\n1 CREA\n2 DATE @#DJULIAN@ 1 JAN 1900\n1 BAPL\n"
     "2 STAT COMPLETED\n3 DATE 1 JAN 1900 (x)\n1 SOUR @S1@\n2 DATA\n3 DATE ABT 1 JAN 1900\n0 @S1@ SOUR\n",
     {not_exact("1900", "-"), not_exact("abt 1900", "-"), respelled("4 Jan 2026", "4 JAN 2026"),
      not_exact("@#DJULIAN@ 1 JAN 1900"), not_exact("1 JAN 1900 (x)"), respelled("abt 1 JAN 1900", "ABT 1 JAN 1900")}},
    // A source's recorded events take a period: a date of any other kind is kept as the PHRASE.
    {"PeriodsWhereAPeriodIsDue", "0 @S1@ SOUR\n1 DATA\n2 EVEN BIRT\n3 DATE 1900\n2 EVEN DEAT\n3 DATE from 1900\n"
     "2 EVEN MARR\n3 DATE FROM 1900 TO 1910\n",
     "0 @S1@ SOUR\n1 DATA\n2 EVEN BIRT\n3 DATE\n4 PHRASE 1900\n2 EVEN DEAT\n3 DATE FROM 1900\n"
     "2 EVEN MARR\n3 DATE FROM 1900 TO 1910\n",
     {"@S1@ DATE Converted: version 7 takes only a period here, and \"1900\" is not one; the DATE is left empty "
      "and the original kept as a PHRASE",
      respelled("from 1900", "FROM 1900", "@S1@")}},
    {"DatesVersion7CannotHold", B + "2 DATE 1699/00\n2 DATE (@foo)\n2 DATE a\n3 CONT b\n",
     B + "2 DATE\n3 PHRASE 1699/00\n2 DATE\n3 PHRASE @@foo\n2 DATE\n3 PHRASE a\n4 CONT b\n",
     {emptied("1699/00"), emptied("(@foo)"), emptied("a\\nb")}},
    {"DatesLeftAsWritten", B + "2 DATE 1800/01\n3 PHRASE p\n2 DATE abt\n3 CONT 1800\n4 X y\n", "",
     {"@I1@ DATE Kept: \"1800/01\" is not version 7's date grammar, but the DATE already has a PHRASE, so the "
      "original cannot be kept beside a rewrite; it is left as it is",
      "@I1@ DATE Kept: a continuation line of this DATE has substructures of its own, so rewriting it would delete "
      "them; it is left as written"}},
    // Notes quote a text with its escapes.
    {"Roles", E + "2 ROLE wife\n2 ROLE WIFE\n2 ROLE  CLERGY \n2 ROLE (Godfather)\n2 ROLE Husband\n2 ROLE my wife\n"
              "2 ROLE ( NEIGHBOUR )\n2 ROLE a\"b\\c\xcc\x81\x01\t\xc3\xa9'\n3 CONT d\n",
     E + "2 ROLE WIFE\n2 ROLE WIFE\n2 ROLE CLERGY\n2 ROLE GODP\n3 PHRASE Godfather\n2 ROLE HUSB\n3 PHRASE Husband\n"
         "2 ROLE OTHER\n3 PHRASE my wife\n2 ROLE NGHBR\n3 PHRASE NEIGHBOUR\n2 ROLE OTHER\n"
         "3 PHRASE a\"b\\c\xcc\x81\x01\t\xc3\xa9'\n4 CONT d\n",
     {role_is("wife", "WIFE"), role_is(" CLERGY ", "CLERGY"), role_became("(Godfather)", "GODP"),
      role_became("Husband", "HUSB"), role_became("my wife", "OTHER"), role_became("( NEIGHBOUR )", "NGHBR"),
      role_became("a\\\"b\\\\c\\u{301}\\u{1}\\t\xc3\xa9'\\nd", "OTHER")}},
    {"RolesLeftAsTheyAre",
     E + "2 ROLE ()\n2 ROLE\n2 ROLE Cousin\n3 PHRASE p\n2 ROLE wi\n3 CONC fe\n4 X y\n2 ROLE co\n3 CONT z\n4 X y\n", "",
     {"@I1@ ROLE " + kEmptyRole, "@I1@ ROLE " + kEmptyRole, has_phrase("ROLE", "Cousin"), kRoleCont, kRoleCont,
      kept("@I1@ ROLE", 1, kOwnLines)}},
    {"AssociationRelations", I + "1 ASSO @I2@\n2 RELA wife\n2 ROLE Friend\n2 RELA ( )\n2 RELA Godson\n3 PHRASE p\n"
                             "1 EVEN\n2 RELA wife\n",
     I + "1 ASSO @I2@\n2 ROLE WIFE\n3 PHRASE wife\n2 ROLE FRIEND\n2 RELA ( )\n2 RELA Godson\n3 PHRASE p\n1 EVEN\n"
         "2 RELA wife\n",
     {"@I1@ ASSO.RELA Converted: an association's relation \"wife\" is version 7's ROLE WIFE, with the words kept as "
      "a PHRASE", role_is("Friend", "FRIEND"), "@I1@ ASSO.RELA " + kEmptyRole, has_phrase("ASSO.RELA", "Godson")}},
    // Words that begin with an at-sign once the brackets go must not read as a pointer; each line's once.
    {"RolePhraseAtSignIsDoubled", E + "2 ROLE (@I2@)\n2 ROLE @a\n3 CONT @b\n",
     E + "2 ROLE OTHER\n3 PHRASE @@I2@\n2 ROLE OTHER\n3 PHRASE @@a\n4 CONT @@b\n",
     {role_became("(@I2@)", "OTHER"), role_became("@a\\n@b", "OTHER"), doubled("@I1@ CONT", "@b")}},
    // Joined from CONC lines past the cap, a date, role or medium is no PHRASE; a node's notes come before its
    // children's, so the EVEN's role rule runs before the ROLE's own lines are kept.
    {"TooLongForAPhraseStaysAsWritten", B + "2 DATE " + kHalf + "\n3 CONC " + kHalf + "\n1 EVEN\n2 ROLE " + kHalf +
     "\n3 CONC " + kHalf + "\n1 OBJE\n2 FILE a\n3 FORM\n4 MEDI " + kHalf + "\n5 CONC " + kHalf + "\n", "",
     {kept("@I1@ DATE", 1, kTooLong), too_long("DATE", "date"), too_long("ROLE", "role"),
      kept("@I1@ ROLE", 1, kTooLong), too_long("FORM.MEDI", "source medium"), kept("@I1@ MEDI", 1, kTooLong)}},
    {"EmptyPayloadsAreWrittenBare", I + "1 SEX \n1 NOTE \n2 CONT \n1 CHAN \n", I + "1 SEX\n1 NOTE\n2 CONT\n1 CHAN\n",
     {}},
    {"LeadingAtSignsAreDoubled", I + "1 NOTE @ home\n2 CONT @#DJULIAN@ x\n2 CONT @@y\n2 CONT @\n1 _X @a@b\n",
     I + "1 NOTE @@ home\n2 CONT @@#DJULIAN@ x\n2 CONT @@y\n2 CONT @@\n1 _X @@a@b\n",
     {doubled("@I1@ NOTE", "@ home"), doubled("@I1@ CONT", "@#DJULIAN@ x"), doubled("@I1@ CONT", "@"),
      doubled("@I1@ _X", "@a@b")}},
    // Renamed records keep their order; pointers follow the record they resolve to, ASCII case ignored and
    // the first record winning; dangling pointers that fold alike share a name no record holds. Only a
    // pointer to a note record becomes a shared-note pointer.
    {"IdentifiersRenamed",
     "0 HEAD\n1 SUBM @u-1@\n0 @I1@ INDI\n1 FAMS @f-1@\n1 NOTE @i1@\n1 NOTE @n-1@\n1 BIRT\n2 DATE @#DJULIAN@\n"
     "0 @F-1@ FAM\n1 WIFE @X-9@\n1 CHIL @x-9@\n1 CHIL @VOID@\n1 CHIL @void@\n1 CHIL @F 1@\n0 @I1@ INDI\n"
     "0 @F_1@ INDI\n0 @U-1@ SUBM\n0 @N-1@ NOTE x\n",
     "0 HEAD\n1 GEDC\n2 VERS 7.0\n1 SUBM @U_1@\n0 @I1@ INDI\n1 FAMS @F_1_2@\n1 NOTE @I1@\n1 SNOTE @N_1@\n1 BIRT\n"
     "2 DATE\n3 PHRASE @@#DJULIAN@\n0 @F_1_2@ FAM\n1 WIFE @X_9@\n1 CHIL @X_9@\n1 CHIL @VOID@\n1 CHIL @VOID_2@\n"
     "1 CHIL @F_1_3@\n0 @I1_2@ INDI\n0 @F_1@ INDI\n0 @U_1@ SUBM\n0 @N_1@ SNOTE x\n",
     {kNoGedc, "@I1@ NOTE Converted: a pointer to a note record is a shared note pointer in version 7",
      emptied("@#DJULIAN@"), renamed("@F-1@", "FAM", "@F_1_2@"),
      dangling("@F-1@ WIFE", "@X-9@", "@X_9@"), dangling("@F-1@ CHIL", "@x-9@", "@X_9@"),
      dangling("@F-1@ CHIL", "@void@", "@VOID_2@"), dangling("@F-1@ CHIL", "@F 1@", "@F_1_3@"),
      renamed("@I1@", "INDI", "@I1_2@"), renamed("@U-1@", "SUBM", "@U_1@"), renamed("@N-1@", "NOTE", "@N_1@"),
      shared("@N-1@")}},
    // Rewrites that would add a line past level 64 leave their structure as written.
    {"PhrasesStopAtTheDeepestLevel",
     chain(62) + "63 DATE INT 1900 (x)\n63 DATE a\n64 CONT b\n63 EVEN\n64 ROLE Husband\n",
     chain(62) + "63 DATE 1900\n64 PHRASE x\n63 DATE a\n64 CONT b\n63 EVEN\n64 ROLE Husband\n",
     {rewritten("INT 1900 (x)"), too_deep("@I1@ DATE", "rewriting this DATE"),
      too_deep("@I1@ ROLE", "rewriting this role")}},
    {"MediaStopAtTheDeepestLevel",
     chain(59) + "60 OBJE\n61 FILE a\n62 FORM image/png\n63 MEDI micro\n60 _Y\n61 OBJE\n62 FILE b\n63 FORM image/png\n"
                 "64 MEDI micro\n61 _Y\n62 OBJE\n63 FORM jpg\n63 FILE c\n62 _Y\n63 OBJE\n64 FORM jpg\n64 FILE d\n"
                 "62 OBJE\n63 FORM jpg\n64 TYPE photo\n63 FILE e\n",
     chain(59) + "60 OBJE\n61 FILE a\n62 FORM image/png\n63 MEDI OTHER\n64 PHRASE micro\n60 _Y\n61 OBJE\n62 FILE b\n"
                 "63 FORM image/png\n64 MEDI micro\n61 _Y\n62 OBJE\n63 FILE c\n64 FORM image/jpeg\n62 _Y\n63 OBJE\n"
                 "64 FORM jpg\n64 FILE d\n62 OBJE\n63 FORM jpg\n64 TYPE photo\n63 FILE e\n",
     {"@I1@ FORM.MEDI Converted: the source medium \"micro\" matches none of version 7's enumerated values; it became "
      "OTHER, with the original kept as a PHRASE", too_deep("@I1@ FORM.MEDI", "rewriting this source medium"), kMoved,
      "@I1@ FILE.FORM Converted: the file extension \"jpg\" became the media type \"image/jpeg\"", kFormStays,
      kFormStays}},
};
INSTANTIATE_TEST_SUITE_P(ToVersion7, Converts, ::testing::ValuesIn(kCases), case_name);

// A date is rewritten or noted exactly when its 7.0 form is not its own text,
// whether the rule reads it or passes it over as written in 7.0's spelling.
TEST(Dates, RewrittenExactlyWhenNotTheirOwnVersion7Form) {
    for (std::string t : {"1", "9999", "JAN 130", "ABT 1900", "CAL 1 JAN 1900", "EST DEC 99", "BEF 9 SEP 1",
                          "AFT 31 DEC 9999", "0", "01 JAN 1900", "1 Jan 1900", "1  JAN 1900", "1900 ", "10000",
                          "32 JAN 1900", "0 JAN 1900", "JAN", "1 JAN", "ABT", "ABT  1900", "ABT ABT 1900", "abt 1900",
                          "1 2 JAN 1900", "1900/01", "INT 1900", "BET 1900 AND 1901", "1900 BCE", "JULIAN 1900",
                          "1 JAN 01900", "1 JAN 1900 X", "+1900", "1\xc2\xa0JAN 1900"}) {
        const std::string input = B + "2 DATE " + t + "\n";
        const Conversion conv = to_version_7(parse(input));
        const bool own_form = GedcomDate::parse(t).to_gedcom_7() == t;
        EXPECT_EQ(conv.notes.empty(), own_form) << t;
        EXPECT_EQ(render(conv.document) == input, own_form) << t;
    }
}

TEST(Structures, ReportsWhetherAnythingChanged) {
    Pass pass;
    Document doc = parse(B + "2 DATE 1900\n1 NOTE a\n0 @I2@ INDI\n1 BIRT\n2 DATE abt 1900\n");
    EXPECT_FALSE(structures_to_7_node(doc.records[0], {}, pass));
    EXPECT_TRUE(structures_to_7_node(doc.records[1], {}, pass));
}

// Shapes the parser accepts, however odd, convert both ways and are stable.
TEST(BadInput, EveryParsedShapeConverts) {
    std::string deep = I;
    for (int level = 1; level <= 64; ++level) deep += std::to_string(level) + " NOTE x\n";
    const std::string huge((16u << 20) - 100, 'h'), long_line(300, 'a');  // within the parser's line bound
    const std::string inputs[] = {
        "", deep + "64 CONC y\n", I + "1 NOTE a\n2 CONC b\n3 @X@ CONC c\n4 CONT d\n2 CONT e\n3 DATE abt 1900\n",
        I + "1 NOTE  \n2 CONC \t\n1 DATE \t\n1 EVEN\n2 ROLE \t\n2 ROLE\n3 PHRASE\n", B + "2 DATE\n3 PHRASE\n",
        "0 CONC x\n1 CONC y\n0 @C@ CONT z\n1 CONC w\n", I + "1 NOTE @\n2 CONC @\n1 NOTE @@\n2 CONC x\n",
        B + "2 DATE @#DHEBREW@ 1 TSH 5780\n2 DATE @#DFRENCH R@ 1 VEND 1\n2 DATE @#DROMAN@ 5\n2 DATE @#DUNKNOWN@ 1900\n"
            "2 DATE 31 FEB 1900/01\n2 DATE BET ABT AND\n",
        I + "1 ASSO @I2@\n2 ROLE a\n3 CONT b\n3 PHRASE c\n4 CONC d\n2 ROLE \n3 CONC x\n",
        "0 @N1@ SNOTE\n1 CONC a\n2 CONT b\n1 CONT c\n", I + "1 UID @U1@\n2 CONC " + long_line + "\n",
        "0 HEAD\n1 GEDC\n2 VERS\n3 CONC x\n4 CONT y\n2 FORM x\n3 CONC y\n0 HEAD\n1 SCHMA\n0 TRLR\n",
        I + "1 UID " + huge + "\n", I + "1 NOTE " + huge + "\n", "0 @N1@ SNOTE " + huge + "\n",
    };
    for (const std::string& input : inputs) {
        for (auto convert : {to_version_7, to_version_5_5_1}) expect_stable(parse(input), convert);
    }
}

}  // namespace
}  // namespace pellorine::convert
