// Media objects toward 7.0: formats onto files, paths as URI references, media
// types and source media, each change with its note.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert_notes.hpp"

namespace pellorine::convert {
namespace {

// The media rules alone, on the one record's object, as a conversion; they
// report a change exactly when the text changed.
Conversion media_rules(const Document& doc) {
    Conversion out;
    out.document.push_back(doc.records.at(0).clone());
    const std::string before = render(out.document);
    Pass pass;
    pass.begin_record(out.document[0]);
    const bool changed = media_form_to_7(out.document[0], pass);
    EXPECT_EQ(changed, render(out.document) != before);
    out.notes = std::move(pass.notes);
    return out;
}

class MediaRules : public ::testing::TestWithParam<Case> {};

TEST_P(MediaRules, RewriteAndNotes) { expect_conversion(GetParam(), media_rules); }

const std::string kMove = "@O1@ OBJE.FORM Converted: version 7 records a file's format on the file, not on the object";
const std::string kSeveral = "@O1@ OBJE.FORM Kept: this object names more than one format and not which file each "
                             "belongs to, so its FORM lines are kept as written";
const std::string kRename =
    "@O1@ FORM.MEDI Converted: 5.5.1's source medium under FORM is TYPE; version 7 calls it MEDI";

std::string continuation(const std::string& tag, const std::string& what) {
    return "@O1@ " + tag + " Kept: a continuation line of this " + what +
           " has substructures of its own, so rewriting it would delete them; it is left as written";
}
std::string encoded(const std::string& quoted_path) {
    return "@O1@ FILE Converted: " + quoted_path +
           " is not a URI reference, which version 7 requires of a file path; characters a URI cannot hold were "
           "percent-encoded";
}
std::string media_type(const std::string& word, const std::string& type) {
    return "@O1@ FILE.FORM Converted: the file extension \"" + word + "\" became the media type \"" + type + "\"";
}
std::string enumerated(const std::string& medium, const std::string& value) {
    return "@O1@ FORM.MEDI Converted: the source medium \"" + medium + "\" became the enumerated value " + value;
}
std::string other(const std::string& medium) {
    return "@O1@ FORM.MEDI Converted: the source medium \"" + medium +
           "\" matches none of version 7's enumerated values; it became OTHER, with the original kept as a PHRASE";
}

const std::string O = "0 @O1@ OBJE\n";
const std::string kSpaces((15 * 1024 * 1024 - 3) / 3, ' ');  // "ab", these and "c" encode to 15 MiB
std::string percent_spaces() {
    std::string out;
    for (std::size_t i = 0; i < kSpaces.size(); ++i) out += "%20";
    return out;
}
const std::string F = O + "1 FILE a\n2 FORM";
const Case kCases[] = {
    {"ObjectFormGoesLastToFilesWithoutOne", O + "1 FORM jpg\n1 FILE a.jpg\n2 FORM png\n1 FILE b.jpg\n2 TITL t\n",
     O + "1 FILE a.jpg\n2 FORM image/png\n1 FILE b.jpg\n2 TITL t\n2 FORM image/jpeg\n",
     {kMove, media_type("png", "image/png"), media_type("jpg", "image/jpeg")}},
    {"MovedCopyForgetsTheLinesAsRead", O + "1 FILE a\n1 FORM xyz\n02 _X y\n", O + "1 FILE a\n2 FORM xyz\n3 _X y\n",
     {kMove, "@O1@ FILE.FORM Kept: \"xyz\" has no known version 7 media type, so it is kept rather than guessed"}},
    // Formats compare whole and trimmed; continuation lines are no substructures.
    {"ContinuedFormIsOneFormat", O + "1 FORM p\n2 CONC ng\n1 FILE a\n1 FORM  png\n2 CONT\n",
     O + "1 FILE a\n2 FORM image/png\n", {kMove, media_type("png", "image/png")}},
    {"SecondFormWithSubstructuresStays", O + "1 FORM jpg\n1 FORM jpg\n2 TYPE photo\n1 FILE a\n", "", {kSeveral}},
    {"EqualFormsWithSubstructuresStay", O + "1 FORM jpg\n2 TYPE photo\n1 FORM jpg\n1 FILE a b\n",
     O + "1 FORM jpg\n2 TYPE photo\n1 FORM jpg\n1 FILE a%20b\n", {kSeveral, encoded("\"a b\"")}},
    {"FormsStayButFilesStillConvert", O + "1 FORM jpg\n1 FORM gif\n1 FILE a\n2 FORM JPG\n",
     O + "1 FORM jpg\n1 FORM gif\n1 FILE a\n2 FORM image/jpeg\n", {kSeveral, media_type("JPG", "image/jpeg")}},
    {"EachStepInTurn", O + "1 FORM jpg\n2 TYPE photo\n1 FILE a b.jpg\n", O + "1 FILE a%20b.jpg\n2 FORM image/jpeg\n"
     "3 MEDI PHOTO\n", {kMove, encoded("\"a b.jpg\""), media_type("jpg", "image/jpeg"), kRename,
     enumerated("photo", "PHOTO")}},
    // Percent codes, the punctuation a URI holds, and a scheme of two or more letters, digits, "+", "-" and "."
    // (which keeps the URI delimiters' meaning) stay.
    {"PathsThatStay", O + "1 FILE a%20b%4a\n1 FILE a-b._~:/@!$&'()*+,;=\n1 FILE a+b-c.d:x#y\n1 FILE ab:?#\n1 FILE\n",
     "", {}},
    // A percent sign without two hex digits is encoded, and so is every byte a URI cannot hold. Without a
    // scheme, the URI delimiters and a backslash are characters of the file name; a drive letter is no scheme.
    {"PathsEncoded", O + "1 FILE %zza%4\n1 FILE \xC3\xA9\"<c>\t\n1 FILE c:\\a/b?c[d]#\n1 FILE 1x:a?b\n1 FILE a_b:c#d\n"
                     "1 FILE http://h/a b?q=1#f[2]\n",
     O + "1 FILE %25zza%254\n1 FILE %C3%A9%22%3Cc%3E%09\n1 FILE c:%5Ca/b%3Fc%5Bd%5D%23\n1 FILE 1x:a%3Fb\n"
         "1 FILE a_b:c%23d\n1 FILE http://h/a%20b?q=1#f[2]\n",
     {encoded("\"%zza%4\""), encoded("\"\xC3\xA9\\\"<c>\\t\""), encoded("\"c:\\\\a/b?c[d]#\""), encoded("\"1x:a?b\""),
      encoded("\"a_b:c#d\""), encoded("\"http://h/a b?q=1#f[2]\"")}},
    {"ContinuedPathJoinsIntoOneLine", O + "1 FILE a b\n2 CONC c\n2 CONT d\n2 TITL t\n",
     O + "1 FILE a%20bc%0Ad\n2 TITL t\n", {encoded("\"a bc\\nd\"")}},
    {"ContinuationWithChildrenStays", O + "1 FILE a b\n2 CONT c\n3 _X y\n", "", {continuation("FILE", "file path")}},
    {"EncodedUpToTheLineBound", O + "1 FILE ab" + kSpaces + "c\n", O + "1 FILE ab" + percent_spaces() + "c\n",
     {encoded("\"ab" + kSpaces + "c\"")}},
    {"EncodedPastTheLineBoundStays", "0 OBJE\n1 FILE ab" + kSpaces + "cd\n", "",
     {"- FILE Kept: the percent-encoded file path would be longer than this library reads back; it is left as "
      "written"}},
    // A media type stays; a word is trimmed and joined; only a file's first FORM counts.
    {"MediaTypes", O + "1 FILE a\n2 FORM image/jpeg\n1 FILE b\n2 FORM tif \n1 FILE c\n2 FORM mp\n3 CONC 3\n"
                   "1 FILE d\n2 FORM jp\n3 CONC g\n4 _X y\n1 FILE e\n2 FORM htm\n2 FORM raw\n3 TYPE photo\n",
     O + "1 FILE a\n2 FORM image/jpeg\n1 FILE b\n2 FORM image/tiff\n1 FILE c\n2 FORM audio/mpeg\n"
         "1 FILE d\n2 FORM jp\n3 CONC g\n4 _X y\n1 FILE e\n2 FORM text/html\n2 FORM raw\n3 TYPE photo\n",
     {media_type("tif", "image/tiff"), media_type("mp3", "audio/mpeg"), continuation("FILE.FORM", "format"),
      media_type("htm", "text/html")}},
    {"MediaOfOneFormInOrder", F + " image/png\n3 TYPE PHOTO\n3 TYPE book\n3 NOTE n\n3 MEDI Tombstone\n",
     F + " image/png\n3 MEDI PHOTO\n3 MEDI BOOK\n3 NOTE n\n3 MEDI TOMBSTONE\n",
     {kRename, kRename, enumerated("book", "BOOK"), enumerated("Tombstone", "TOMBSTONE")}},
    // A lowercase "other" keeps its words; an empty medium gets an empty PHRASE.
    {"UnknownMediaBecomeOther", F + "\n3 MEDI Microfilm\n3 MEDI other\n3 MEDI\n3 MEDI OTHER\n4 PHRASE x\n",
     F + "\n3 MEDI OTHER\n4 PHRASE Microfilm\n3 MEDI OTHER\n4 PHRASE other\n3 MEDI OTHER\n4 PHRASE \n"
         "3 MEDI OTHER\n4 PHRASE x\n",
     {other("Microfilm"), other("other"), other("")}},
    {"MediumWithAPhraseStays", F + "\n3 MEDI Microfilm\n4 PHRASE film\n", "",
     {"@O1@ FORM.MEDI Kept: the source medium \"Microfilm\" matches none of version 7's enumerated values, but it "
      "already has a PHRASE to keep the original in; it is left as it is"}},
    {"RenamedBeforeBeingKept", F + "\n3 TYPE pho\n4 CONC to\n5 _X y\n", F + "\n3 MEDI pho\n4 CONC to\n5 _X y\n",
     {kRename, continuation("FORM.MEDI", "source medium")}},
    {"SpacedAndContinuedMedia", F + "\n3 MEDI  PHOTO \n3 MEDI  film strip \n3 MEDI vid\n4 CONC eo\n3 MEDI micro\n"
                                "4 CONT film\n",
     F + "\n3 MEDI PHOTO\n3 MEDI OTHER\n4 PHRASE film strip\n3 MEDI VIDEO\n3 MEDI OTHER\n4 PHRASE micro\n5 CONT film\n",
     {enumerated(" PHOTO ", "PHOTO"), other(" film strip "), enumerated("video", "VIDEO"), other("micro\\nfilm")}},
};
INSTANTIATE_TEST_SUITE_P(Media, MediaRules, ::testing::ValuesIn(kCases), case_name);

}  // namespace
}  // namespace pellorine::convert
