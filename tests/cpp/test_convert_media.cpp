// Media objects toward 7.0: formats onto files, paths as URI references, media
// types and source media, each change with its note.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "convert.hpp"
#include "convert_notes.hpp"
#include "document.hpp"
#include "testdata.hpp"
#include "text.hpp"

namespace pellorine::convert {
namespace {

using K = ConversionKind;

struct Case {
    const char* name;
    std::string input;   // one record; the object is the record, or its first child under INDI
    std::string output;  // that record after the rules
    std::vector<ExpectedNote> notes;
    bool changed;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const std::string kMoved = "version 7 records a file's format on the file, not on the object";
const std::string kSeveral =
    "this object names more than one format and not which file each belongs to, so its FORM lines are "
    "kept as written";
const std::string kRenamed = "5.5.1's source medium under FORM is TYPE; version 7 calls it MEDI";

std::string continuation(const std::string& what) {
    return "a continuation line of this " + what +
           " has substructures of its own, so rewriting it would delete them; it is left as written";
}
std::string encoded(const std::string& quoted_path) {
    return quoted_path +
           " is not a URI reference, which version 7 requires of a file path; characters a URI cannot hold "
           "were percent-encoded";
}
std::string media_type(const std::string& word, const std::string& type) {
    return "the file extension " + word + " became the media type " + type;
}
std::string unknown_type(const std::string& word) {
    return word + " has no known version 7 media type, so it is kept rather than guessed";
}
std::string enumerated(const std::string& medium, const std::string& value) {
    return "the source medium " + medium + " became the enumerated value " + value;
}
std::string other(const std::string& medium) {
    return "the source medium " + medium +
           " matches none of version 7's enumerated values; it became OTHER, with the original kept as a PHRASE";
}
std::string has_phrase(const std::string& medium) {
    return "the source medium " + medium +
           " matches none of version 7's enumerated values, but it already has a PHRASE to keep the original "
           "in; it is left as it is";
}

Node& object_of(Node& record) { return record.tag() == "INDI" ? record.children().front() : record; }

class MediaRules : public ::testing::TestWithParam<Case> {};

TEST_P(MediaRules, RewriteAndNotes) {
    const Case& c = GetParam();
    Document doc = parse(c.input);
    ASSERT_EQ(doc.records.size(), 1u);
    Pass pass;
    pass.record = "@O1@";
    EXPECT_EQ(media_form_to_7(object_of(doc.records[0]), pass), c.changed);
    const std::string out = render(doc.records[0]);
    EXPECT_EQ(out, c.output);
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

const Case kFormats[] = {
    {"ObjectFormGoesToFilesWithoutOne",
     "0 @O1@ OBJE\n1 FORM jpg\n1 FILE a.jpg\n2 FORM png\n1 FILE b.jpg\n1 TITL t\n",
     "0 @O1@ OBJE\n1 FILE a.jpg\n2 FORM image/png\n1 FILE b.jpg\n2 FORM image/jpeg\n1 TITL t\n",
     {{"OBJE.FORM", K::Converted, kMoved},
      {"FILE.FORM", K::Converted, media_type("\"png\"", "\"image/png\"")},
      {"FILE.FORM", K::Converted, media_type("\"jpg\"", "\"image/jpeg\"")}},
     true},
    {"FormGoesAfterTheFilesOtherChildren", "0 @O1@ OBJE\n1 FILE a\n2 TITL t\n1 FORM gif\n",
     "0 @O1@ OBJE\n1 FILE a\n2 TITL t\n2 FORM image/gif\n",
     {{"OBJE.FORM", K::Converted, kMoved}, {"FILE.FORM", K::Converted, media_type("\"gif\"", "\"image/gif\"")}},
     true},
    {"MovedCopyForgetsTheLinesAsRead", "0 @O1@ OBJE\n1 FILE a\n1 FORM xyz\n02 _X y\n",
     "0 @O1@ OBJE\n1 FILE a\n2 FORM xyz\n3 _X y\n",
     {{"OBJE.FORM", K::Converted, kMoved}, {"FILE.FORM", K::Kept, unknown_type("\"xyz\"")}}, true},
    {"EqualChildlessFormsMoveAsOne", "0 @O1@ OBJE\n1 FORM bmp\n1 FILE a\n1 FORM bmp\n",
     "0 @O1@ OBJE\n1 FILE a\n2 FORM image/bmp\n",
     {{"OBJE.FORM", K::Converted, kMoved}, {"FILE.FORM", K::Converted, media_type("\"bmp\"", "\"image/bmp\"")}},
     true},
    {"SecondFormWithSubstructuresStays", "0 @O1@ OBJE\n1 FORM jpg\n1 FORM jpg\n2 TYPE photo\n1 FILE a\n",
     "0 @O1@ OBJE\n1 FORM jpg\n1 FORM jpg\n2 TYPE photo\n1 FILE a\n",
     {{"OBJE.FORM", K::Kept, kSeveral}}, false},
    {"EqualFormsWithSubstructuresStay", "0 @O1@ OBJE\n1 FORM jpg\n2 TYPE photo\n1 FORM jpg\n1 FILE a b\n",
     "0 @O1@ OBJE\n1 FORM jpg\n2 TYPE photo\n1 FORM jpg\n1 FILE a%20b\n",
     {{"OBJE.FORM", K::Kept, kSeveral}, {"FILE", K::Converted, encoded("\"a b\"")}}, true},
    {"FormsStayButFilesStillConvert", "0 @O1@ OBJE\n1 FORM jpg\n1 FORM gif\n1 FILE a\n2 FORM JPG\n",
     "0 @O1@ OBJE\n1 FORM jpg\n1 FORM gif\n1 FILE a\n2 FORM image/jpeg\n",
     {{"OBJE.FORM", K::Kept, kSeveral}, {"FILE.FORM", K::Converted, media_type("\"JPG\"", "\"image/jpeg\"")}},
     true},
    {"ObjectUnderAnIndividual", "0 @I1@ INDI\n1 OBJE\n2 FORM jpg\n3 TYPE photo\n2 FILE a b.jpg\n",
     "0 @I1@ INDI\n1 OBJE\n2 FILE a%20b.jpg\n3 FORM image/jpeg\n4 MEDI PHOTO\n",
     {{"OBJE.FORM", K::Converted, kMoved},
      {"FILE", K::Converted, encoded("\"a b.jpg\"")},
      {"FILE.FORM", K::Converted, media_type("\"jpg\"", "\"image/jpeg\"")},
      {"FORM.MEDI", K::Converted, kRenamed},
      {"FORM.MEDI", K::Converted, enumerated("\"photo\"", "PHOTO")}},
     true},
};
INSTANTIATE_TEST_SUITE_P(Formats, MediaRules, ::testing::ValuesIn(kFormats),
                         [](const auto& info) { return std::string(info.param.name); });

// One FILE line's path before and after; a changed path has its note.
struct PathCase {
    const char* name;
    std::string path;
    std::string uri;  // equal to `path` when nothing changes
};

Case path_case(const PathCase& p) {
    Case c{p.name, "0 @O1@ OBJE\n1 FILE " + p.path + "\n", "0 @O1@ OBJE\n1 FILE " + p.uri + "\n", {}, p.path != p.uri};
    if (c.changed) c.notes.push_back({"FILE", K::Converted, encoded(text::quoted(p.path))});
    return c;
}

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
    // Without a scheme, the URI delimiters are characters of the file name.
    {"PublishedSample", "most/paths?get#escaped[like]this", "most/paths%3Fget%23escaped%5Blike%5Dthis"},
    // With a scheme, they keep their URI meaning.
    {"SchemeStillEncodesSpaces", "http://h/a b?q=1#f[2]", "http://h/a%20b?q=1#f[2]"},
    {"SchemeOfSeveralKinds", "a+b-c.d:x#y", "a+b-c.d:x#y"},
    {"ShortScheme", "ab:?#", "ab:?#"},
};

std::vector<Case> path_cases() {
    std::vector<Case> out;
    for (const PathCase& p : kPaths) out.push_back(path_case(p));
    out.push_back({"ContinuedPathJoinsIntoOneLine", "0 @O1@ OBJE\n1 FILE a b\n2 CONC c\n2 CONT d\n2 TITL t\n",
                   "0 @O1@ OBJE\n1 FILE a%20bc%0Ad\n2 TITL t\n",
                   {{"FILE", K::Converted, encoded("\"a bc\\nd\"")}}, true});
    out.push_back({"ContinuationWithChildrenStays", "0 @O1@ OBJE\n1 FILE a b\n2 CONT c\n3 _X y\n",
                   "0 @O1@ OBJE\n1 FILE a b\n2 CONT c\n3 _X y\n", {{"FILE", K::Kept, continuation("file path")}},
                   false});
    out.push_back({"EmptyPath", "0 @O1@ OBJE\n1 FILE\n", "0 @O1@ OBJE\n1 FILE\n", {}, false});
    return out;
}
INSTANTIATE_TEST_SUITE_P(Paths, MediaRules, ::testing::ValuesIn(path_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

Case form_case(const char* name, const std::string& form_lines, const std::string& expected,
               std::vector<ExpectedNote> notes, bool changed) {
    return {name, "0 @O1@ OBJE\n1 FILE a\n" + form_lines, "0 @O1@ OBJE\n1 FILE a\n" + expected, std::move(notes),
            changed};
}

std::vector<Case> media_cases() {
    return {
        form_case("MediaTypeStays", "2 FORM image/jpeg\n", "2 FORM image/jpeg\n", {}, false),
        form_case("TrimmedWord", "2 FORM tif \n", "2 FORM image/tiff\n",
                  {{"FILE.FORM", K::Converted, media_type("\"tif\"", "\"image/tiff\"")}}, true),
        form_case("ContinuedWordIsJoined", "2 FORM mp\n3 CONC 3\n", "2 FORM audio/mpeg\n",
                  {{"FILE.FORM", K::Converted, media_type("\"mp3\"", "\"audio/mpeg\"")}}, true),
        form_case("ContinuedWordWithChildrenStays", "2 FORM jp\n3 CONC g\n4 _X y\n", "2 FORM jp\n3 CONC g\n4 _X y\n",
                  {{"FILE.FORM", K::Kept, continuation("format")}}, false),
        form_case("OnlyTheFirstFormCounts", "2 FORM htm\n2 FORM raw\n3 TYPE photo\n",
                  "2 FORM text/html\n2 FORM raw\n3 TYPE photo\n",
                  {{"FILE.FORM", K::Converted, media_type("\"htm\"", "\"text/html\"")}}, true),
        form_case("EnumeratedTypeIsOnlyRenamed", "2 FORM image/png\n3 TYPE PHOTO\n", "2 FORM image/png\n3 MEDI PHOTO\n",
                  {{"FORM.MEDI", K::Converted, kRenamed}}, true),
        form_case("UnknownMediumBecomesOther", "2 FORM\n3 MEDI Microfilm\n",
                  "2 FORM\n3 MEDI OTHER\n4 PHRASE Microfilm\n", {{"FORM.MEDI", K::Converted, other("\"Microfilm\"")}},
                  true),
        form_case("LowercaseOtherKeepsItsWords", "2 FORM\n3 MEDI other\n", "2 FORM\n3 MEDI OTHER\n4 PHRASE other\n",
                  {{"FORM.MEDI", K::Converted, other("\"other\"")}}, true),
        form_case("EmptyMediumGetsAnEmptyPhrase", "2 FORM\n3 MEDI\n", "2 FORM\n3 MEDI OTHER\n4 PHRASE \n",
                  {{"FORM.MEDI", K::Converted, other("\"\"")}}, true),
        form_case("OtherAsWrittenStays", "2 FORM\n3 MEDI OTHER\n4 PHRASE x\n", "2 FORM\n3 MEDI OTHER\n4 PHRASE x\n", {},
                  false),
        form_case("MediumWithAPhraseStays", "2 FORM\n3 MEDI Microfilm\n4 PHRASE film\n",
                  "2 FORM\n3 MEDI Microfilm\n4 PHRASE film\n", {{"FORM.MEDI", K::Kept, has_phrase("\"Microfilm\"")}},
                  false),
        form_case("RenamedBeforeBeingKept", "2 FORM\n3 TYPE pho\n4 CONC to\n5 _X y\n",
                  "2 FORM\n3 MEDI pho\n4 CONC to\n5 _X y\n",
                  {{"FORM.MEDI", K::Converted, kRenamed}, {"FORM.MEDI", K::Kept, continuation("source medium")}},
                  true),
        form_case("SpacedMediaAreTrimmed", "2 FORM\n3 MEDI  PHOTO \n3 MEDI  film strip \n",
                  "2 FORM\n3 MEDI PHOTO\n3 MEDI OTHER\n4 PHRASE film strip\n",
                  {{"FORM.MEDI", K::Converted, enumerated("\" PHOTO \"", "PHOTO")},
                   {"FORM.MEDI", K::Converted, other("\" film strip \"")}},
                  true),
        form_case("ContinuedMediumIsJoined", "2 FORM\n3 MEDI vid\n4 CONC eo\n", "2 FORM\n3 MEDI VIDEO\n",
                  {{"FORM.MEDI", K::Converted, enumerated("\"video\"", "VIDEO")}}, true),
        form_case("MultiLineMediumKeepsItsLines", "2 FORM\n3 MEDI micro\n4 CONT film\n",
                  "2 FORM\n3 MEDI OTHER\n4 PHRASE micro\n5 CONT film\n",
                  {{"FORM.MEDI", K::Converted, other("\"micro\\nfilm\"")}}, true),
        form_case("MediaOfOneFormInOrder", "2 FORM\n3 TYPE book\n3 NOTE n\n3 MEDI Tombstone\n",
                  "2 FORM\n3 MEDI BOOK\n3 NOTE n\n3 MEDI TOMBSTONE\n",
                  {{"FORM.MEDI", K::Converted, kRenamed},
                   {"FORM.MEDI", K::Converted, enumerated("\"book\"", "BOOK")},
                   {"FORM.MEDI", K::Converted, enumerated("\"Tombstone\"", "TOMBSTONE")}},
                  true),
    };
}
INSTANTIATE_TEST_SUITE_P(Media, MediaRules, ::testing::ValuesIn(media_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// A rewritten path must stay short enough for the parser to read back.
TEST(MediaPaths, EncodedPathWithinTheLineBound) {
    const std::size_t longest = 15 * 1024 * 1024;
    // "ab", n spaces and "c" encode to 3 + 3n bytes.
    const std::size_t n = (longest - 3) / 3;
    ASSERT_EQ(3 + 3 * n, longest);
    for (bool over : {false, true}) {
        std::string path = "ab" + std::string(n, ' ') + (over ? "cd" : "c");
        Document doc = parse("0 OBJE\n1 FILE " + path + "\n");
        Pass pass;
        EXPECT_EQ(media_form_to_7(doc.records[0], pass), !over);
        ASSERT_EQ(pass.notes.size(), 1u);
        const Node& file = doc.records[0].children()[0];
        if (over) {
            EXPECT_EQ(pass.notes[0].kind, K::Kept);
            EXPECT_EQ(pass.notes[0].detail,
                      "the percent-encoded file path would be longer than this library reads back; it is left as "
                      "written");
            EXPECT_EQ(file.value(), path);
        } else {
            EXPECT_EQ(pass.notes[0].kind, K::Converted);
            EXPECT_EQ(file.value()->size(), longest);
            auto back = Document::parse(render(doc.records[0]));
            ASSERT_TRUE(back) << back.error().display();
            EXPECT_EQ(back->records[0].children()[0].value(), file.value());
        }
    }
}

TEST(MediaPaths, JoinedMediumTooLongForOneLineStays) {
    const std::string half(8 * 1024 * 1024, 'x');
    const std::string input = "0 OBJE\n1 FILE a\n2 FORM\n3 MEDI " + half + "\n4 CONC " + half + "\n";
    Document doc = parse(input);
    Pass pass;
    EXPECT_FALSE(media_form_to_7(doc.records[0], pass));
    ASSERT_EQ(pass.notes.size(), 1u);
    EXPECT_EQ(pass.notes[0].tag, "FORM.MEDI");
    EXPECT_EQ(pass.notes[0].kind, K::Kept);
    EXPECT_EQ(pass.notes[0].detail,
              "the source medium is longer than this library reads back on one line; it is left as written");
    EXPECT_EQ(render(doc.records[0]), input);
}

// ---------------------------------------------------------------- published pairs

// A published file's records, its byte-order mark left out; none when the file is missing.
std::vector<Node> published(const std::string& path) {
    std::ifstream in(pellorine::testdata::folder() / "conversion" / path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
    if (text.empty()) return {};
    Document doc = parse(text);
    return std::move(doc.records);
}

// Each FILE of an object: its path, then the payloads of its FORM and MEDI.
std::vector<std::string> files_of(const Node& obje) {
    std::vector<std::string> out;
    for (const Node& file : obje.children()) {
        if (file.tag() != "FILE") continue;
        std::string line = file.logical_value();
        if (const Node* form = file.first("FORM")) {
            line += " | " + form->logical_value();
            if (const Node* medi = form->first("MEDI")) line += " | " + medi->logical_value();
        }
        out.push_back(line);
    }
    return out;
}

// Where the converted files differ from the published conversion, the rules
// decide it: a path without a scheme stays a relative reference (no "file:"
// URI is made of it, and a backslash is a character of the name, not a
// separator); a word before a colon is a scheme.
TEST(MediaPublished, FileNamesPair) {
    PELLORINE_NEED_TESTDATA();
    std::vector<Node> five = published("5/filename-1.ged");
    std::vector<Node> seven = published("7/filename-1.ged");
    ASSERT_GT(five.size(), 2u) << "conversion/5/filename-1.ged is missing from " << testdata::folder().string();
    ASSERT_GT(seven.size(), 2u) << "conversion/7/filename-1.ged is missing from " << testdata::folder().string();
    const std::pair<const char*, bool> expected[] = {
        {"/unix/absolute | image/bmp", false},
        {"c:%5Cwindows%5Cabsolute | image/bmp", false},
        {"%5C%5Cwindows%5Cserver | image/bmp", false},
        {"a/relative/path | image/bmp", true},
        {"a%5Crelative%5Cpath | image/bmp", false},
        {"most/paths%3Fget%23escaped%5Blike%5Dthis | image/bmp", true},
        {"spaces%20are%20fine/even%20with%20slashes%20%3F%20and%20so%20on | image/bmp", true},
        {"https://leave.alone?with=args#and-frags | image/bmp", true},
        {"https:/not.a.url/even-though-similar | image/bmp", false},
    };
    Node& obje = five[2];
    ASSERT_EQ(obje.xref(), "@1@");
    Pass pass;
    EXPECT_TRUE(media_form_to_7(obje, pass));
    const std::vector<std::string> ours = files_of(obje);
    const std::vector<std::string> theirs = files_of(seven[2]);
    ASSERT_EQ(ours.size(), std::size(expected));
    ASSERT_EQ(theirs.size(), std::size(expected));
    for (std::size_t i = 0; i < ours.size(); ++i) {
        EXPECT_EQ(ours[i], expected[i].first) << i;
        EXPECT_EQ(ours[i] == theirs[i], expected[i].second) << theirs[i];
    }
}

}  // namespace
}  // namespace pellorine::convert
