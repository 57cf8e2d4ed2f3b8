// Media objects toward 7.0: formats onto files, paths as URI references, media
// types and source media, each change with its note.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert.hpp"
#include "convert_notes.hpp"
#include "document.hpp"
#include "text.hpp"

namespace pellorine::convert {
namespace {

using K = ConversionKind;

struct Case {
    const char* name;
    std::string input;   // one record; the object is the record, or its first child under INDI
    std::string output;  // that record after the rules; empty when the rules change nothing
    std::vector<ExpectedNote> notes;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const ExpectedNote kMove{"OBJE.FORM", K::Converted, "version 7 records a file's format on the file, not on the object"};
const ExpectedNote kSeveral{"OBJE.FORM", K::Kept,
                            "this object names more than one format and not which file each belongs to, so its FORM "
                            "lines are kept as written"};
const ExpectedNote kRename{"FORM.MEDI", K::Converted,
                           "5.5.1's source medium under FORM is TYPE; version 7 calls it MEDI"};

ExpectedNote continuation(const std::string& tag, const std::string& what) {
    return {tag, K::Kept,
            "a continuation line of this " + what +
                " has substructures of its own, so rewriting it would delete them; it is left as written"};
}
ExpectedNote encoded(const std::string& quoted_path) {
    return {"FILE", K::Converted,
            quoted_path + " is not a URI reference, which version 7 requires of a file path; characters a URI cannot "
                          "hold were percent-encoded"};
}
ExpectedNote media_type(const std::string& word, const std::string& type) {
    return {"FILE.FORM", K::Converted, "the file extension \"" + word + "\" became the media type \"" + type + "\""};
}
ExpectedNote enumerated(const std::string& medium, const std::string& value) {
    return {"FORM.MEDI", K::Converted, "the source medium \"" + medium + "\" became the enumerated value " + value};
}
ExpectedNote other(const std::string& medium) {
    return {"FORM.MEDI", K::Converted,
            "the source medium \"" + medium +
                "\" matches none of version 7's enumerated values; it became OTHER, with the original kept as a "
                "PHRASE"};
}

Node& object_of(Node& record) { return record.tag() == "INDI" ? record.children().front() : record; }

class MediaRules : public ::testing::TestWithParam<Case> {};

TEST_P(MediaRules, RewriteAndNotes) {
    const Case& c = GetParam();
    Document doc = parse(c.input);
    ASSERT_EQ(doc.records.size(), 1u);
    Pass pass;
    pass.record = "@O1@";
    EXPECT_EQ(media_form_to_7(object_of(doc.records[0]), pass), !c.output.empty());
    const std::string out = render(doc.records[0]);
    EXPECT_EQ(out, c.output.empty() ? c.input : c.output);
    expect_notes(pass.notes, c.notes, "@O1@");

    // What was written reads back as written, and a second pass changes nothing.
    Document again = parse(out);
    ASSERT_EQ(again.records.size(), 1u);
    EXPECT_EQ(render(again.records[0]), out);
    Pass second;
    EXPECT_FALSE(media_form_to_7(object_of(again.records[0]), second));
    EXPECT_EQ(render(again.records[0]), out);
    for (const ConversionNote& n : second.notes) EXPECT_EQ(n.kind, K::Kept) << n.detail;
}

const std::string O = "0 @O1@ OBJE\n";
const Case kFormats[] = {
    {"ObjectFormGoesToFilesWithoutOne", O + "1 FORM jpg\n1 FILE a.jpg\n2 FORM png\n1 FILE b.jpg\n1 TITL t\n",
     O + "1 FILE a.jpg\n2 FORM image/png\n1 FILE b.jpg\n2 FORM image/jpeg\n1 TITL t\n",
     {kMove, media_type("png", "image/png"), media_type("jpg", "image/jpeg")}},
    {"FormGoesAfterTheFilesOtherChildren", O + "1 FILE a\n2 TITL t\n1 FORM gif\n",
     O + "1 FILE a\n2 TITL t\n2 FORM image/gif\n", {kMove, media_type("gif", "image/gif")}},
    {"MovedCopyForgetsTheLinesAsRead", O + "1 FILE a\n1 FORM xyz\n02 _X y\n", O + "1 FILE a\n2 FORM xyz\n3 _X y\n",
     {kMove, {"FILE.FORM", K::Kept, "\"xyz\" has no known version 7 media type, so it is kept rather than guessed"}}},
    {"EqualChildlessFormsMoveAsOne", O + "1 FORM bmp\n1 FILE a\n1 FORM bmp\n", O + "1 FILE a\n2 FORM image/bmp\n",
     {kMove, media_type("bmp", "image/bmp")}},
    // Formats compare whole and trimmed; continuation lines are no substructures.
    {"ContinuedFormIsOneFormat", O + "1 FORM p\n2 CONC ng\n1 FILE a\n1 FORM  png\n2 CONT\n",
     O + "1 FILE a\n2 FORM image/png\n", {kMove, media_type("png", "image/png")}},
    {"SecondFormWithSubstructuresStays", O + "1 FORM jpg\n1 FORM jpg\n2 TYPE photo\n1 FILE a\n", "", {kSeveral}},
    {"EqualFormsWithSubstructuresStay", O + "1 FORM jpg\n2 TYPE photo\n1 FORM jpg\n1 FILE a b\n",
     O + "1 FORM jpg\n2 TYPE photo\n1 FORM jpg\n1 FILE a%20b\n", {kSeveral, encoded("\"a b\"")}},
    {"FormsStayButFilesStillConvert", O + "1 FORM jpg\n1 FORM gif\n1 FILE a\n2 FORM JPG\n",
     O + "1 FORM jpg\n1 FORM gif\n1 FILE a\n2 FORM image/jpeg\n", {kSeveral, media_type("JPG", "image/jpeg")}},
    {"ObjectUnderAnIndividual", "0 @I1@ INDI\n1 OBJE\n2 FORM jpg\n3 TYPE photo\n2 FILE a b.jpg\n",
     "0 @I1@ INDI\n1 OBJE\n2 FILE a%20b.jpg\n3 FORM image/jpeg\n4 MEDI PHOTO\n",
     {kMove, encoded("\"a b.jpg\""), media_type("jpg", "image/jpeg"), kRename, enumerated("photo", "PHOTO")}},
};
INSTANTIATE_TEST_SUITE_P(Formats, MediaRules, ::testing::ValuesIn(kFormats), case_name);

// One FILE line's path before and after (equal when nothing changes); a changed path has its note.
struct PathCase {
    const char* name;
    std::string path, uri;
};
const PathCase kPaths[] = {
    {"PercentCodeStays", "a%20b", "a%20b"},
    {"LowercaseHexStays", "a%4ab", "a%4ab"},
    {"PercentWithOneDigit", "a%4", "a%254"},
    {"PercentBeforeNonHex", "%zz", "%25zz"},
    {"NonAsciiPerByte", "\xC3\xA9.jpg", "%C3%A9.jpg"},
    {"AllowedPunctuation", "a-b._~:/@!$&'()*+,;=", "a-b._~:/@!$&'()*+,;="},
    {"ControlsAndQuotes", "a\"b<c>d\te", "a%22b%3Cc%3Ed%09e"},
    {"DriveLetterIsNoScheme", "c:/a#b", "c:/a%23b"},
    {"DigitFirstIsNoScheme", "1x:a?b", "1x:a%3Fb"},
    {"ColonAfterOtherBytesIsNoScheme", "a_b:c#d", "a_b:c%23d"},
    // Without a scheme, the URI delimiters and a backslash are characters of the file name.
    {"NoSchemeEncodesDelimiters", "c:\\a/b?c[d]", "c:%5Ca/b%3Fc%5Bd%5D"},
    // With a scheme, they keep their URI meaning.
    {"SchemeStillEncodesSpaces", "http://h/a b?q=1#f[2]", "http://h/a%20b?q=1#f[2]"},
    {"SchemeOfSeveralKinds", "a+b-c.d:x#y", "a+b-c.d:x#y"},
    {"ShortScheme", "ab:?#", "ab:?#"},
};

std::vector<Case> path_cases() {
    std::vector<Case> out;
    for (const PathCase& p : kPaths) {
        const bool same = p.path == p.uri;
        out.push_back({p.name, O + "1 FILE " + p.path + "\n", same ? "" : O + "1 FILE " + p.uri + "\n", {}});
        if (!same) out.back().notes.push_back(encoded(text::quoted(p.path)));
    }
    out.push_back({"ContinuedPathJoinsIntoOneLine", O + "1 FILE a b\n2 CONC c\n2 CONT d\n2 TITL t\n",
                   O + "1 FILE a%20bc%0Ad\n2 TITL t\n", {encoded("\"a bc\\nd\"")}});
    out.push_back({"ContinuationWithChildrenStays", O + "1 FILE a b\n2 CONT c\n3 _X y\n", "",
                   {continuation("FILE", "file path")}});
    out.push_back({"EmptyPath", O + "1 FILE\n", "", {}});
    return out;
}
INSTANTIATE_TEST_SUITE_P(Paths, MediaRules, ::testing::ValuesIn(path_cases()), case_name);

const std::string F = O + "1 FILE a\n2 FORM";
const Case kMedia[] = {
    {"MediaTypeStays", F + " image/jpeg\n", "", {}},
    {"TrimmedWord", F + " tif \n", F + " image/tiff\n", {media_type("tif", "image/tiff")}},
    {"ContinuedWordIsJoined", F + " mp\n3 CONC 3\n", F + " audio/mpeg\n", {media_type("mp3", "audio/mpeg")}},
    {"ContinuedWordWithChildrenStays", F + " jp\n3 CONC g\n4 _X y\n", "", {continuation("FILE.FORM", "format")}},
    {"OnlyTheFirstFormCounts", F + " htm\n2 FORM raw\n3 TYPE photo\n", F + " text/html\n2 FORM raw\n3 TYPE photo\n",
     {media_type("htm", "text/html")}},
    {"EnumeratedTypeIsOnlyRenamed", F + " image/png\n3 TYPE PHOTO\n", F + " image/png\n3 MEDI PHOTO\n", {kRename}},
    // A lowercase "other" keeps its words; an empty medium gets an empty PHRASE.
    {"UnknownMediaBecomeOther", F + "\n3 MEDI Microfilm\n3 MEDI other\n3 MEDI\n",
     F + "\n3 MEDI OTHER\n4 PHRASE Microfilm\n3 MEDI OTHER\n4 PHRASE other\n3 MEDI OTHER\n4 PHRASE \n",
     {other("Microfilm"), other("other"), other("")}},
    {"OtherAsWrittenStays", F + "\n3 MEDI OTHER\n4 PHRASE x\n", "", {}},
    {"MediumWithAPhraseStays", F + "\n3 MEDI Microfilm\n4 PHRASE film\n", "", {{"FORM.MEDI", K::Kept,
       "the source medium \"Microfilm\" matches none of version 7's enumerated values, but it already has a PHRASE "
       "to keep the original in; it is left as it is"}}},
    {"RenamedBeforeBeingKept", F + "\n3 TYPE pho\n4 CONC to\n5 _X y\n", F + "\n3 MEDI pho\n4 CONC to\n5 _X y\n",
     {kRename, continuation("FORM.MEDI", "source medium")}},
    {"SpacedMediaAreTrimmed", F + "\n3 MEDI  PHOTO \n3 MEDI  film strip \n",
     F + "\n3 MEDI PHOTO\n3 MEDI OTHER\n4 PHRASE film strip\n",
     {enumerated(" PHOTO ", "PHOTO"), other(" film strip ")}},
    {"ContinuedMediaAreJoined", F + "\n3 MEDI vid\n4 CONC eo\n3 MEDI micro\n4 CONT film\n",
     F + "\n3 MEDI VIDEO\n3 MEDI OTHER\n4 PHRASE micro\n5 CONT film\n",
     {enumerated("video", "VIDEO"), other("micro\\nfilm")}},
    {"MediaOfOneFormInOrder", F + "\n3 TYPE book\n3 NOTE n\n3 MEDI Tombstone\n",
     F + "\n3 MEDI BOOK\n3 NOTE n\n3 MEDI TOMBSTONE\n",
     {kRename, enumerated("book", "BOOK"), enumerated("Tombstone", "TOMBSTONE")}},
};
INSTANTIATE_TEST_SUITE_P(Media, MediaRules, ::testing::ValuesIn(kMedia), case_name);

// A rewritten path must stay short enough for the parser to read back.
TEST(MediaPaths, EncodedPathWithinTheLineBound) {
    const std::size_t longest = 15 * 1024 * 1024;
    const std::size_t n = (longest - 3) / 3;  // "ab", n spaces and "c" encode to 3 + 3n bytes
    ASSERT_EQ(3 + 3 * n, longest);
    for (bool over : {false, true}) {
        const std::string path = "ab" + std::string(n, ' ') + (over ? "cd" : "c");
        Document doc = parse("0 OBJE\n1 FILE " + path + "\n");
        Pass pass;
        EXPECT_EQ(media_form_to_7(doc.records[0], pass), !over);
        const std::string_view file = *doc.records[0].children()[0].value();
        if (over) {
            expect_notes(pass.notes, {{"FILE", K::Kept, "the percent-encoded file path would be longer than this "
                                                        "library reads back; it is left as written"}}, std::nullopt);
            EXPECT_EQ(file, path);
        } else {
            EXPECT_EQ(file.size(), longest);
            EXPECT_EQ(render(parse(render(doc.records[0])).records), render(doc.records[0]));
        }
    }
}

}  // namespace
}  // namespace pellorine::convert
