// Extension tags declared in the header at the end of a conversion toward 7.0.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert_internal.hpp"
#include "convert_notes.hpp"
#include "document.hpp"
#include "schema.hpp"

namespace pellorine::convert {
namespace {

using K = ConversionKind;

ExpectedNote owned(const std::string& tag) {
    return {tag, K::Converted, "declared in the header, which version 7 requires of every extension"};
}
ExpectedNote undocumented(const std::string& tag) {
    return {tag, K::Kept, "another application's extension, declared as undocumented rather than dropped"};
}
// Each undocumented tag has a URI of its own: the tag is its fragment.
const std::string kUri = "https://pellorine.invalid/undocumented#";

// The notes of a whole conversion that declare a tag: those on extension tags with no record.
std::vector<ConversionNote> declared(const Conversion& conv) {
    std::vector<ConversionNote> out;
    for (const ConversionNote& n : conv.notes) {
        if (n.tag.starts_with('_') && !n.record) out.push_back(n);
    }
    return out;
}

struct Case {
    const char* name;
    std::string input;
    std::vector<OwnedExtension> owned;
    std::string output;
    std::vector<ExpectedNote> notes;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class Declarations : public ::testing::TestWithParam<Case> {};

TEST_P(Declarations, HeaderAndNotes) {
    const Case& c = GetParam();
    std::vector<Node> records = parse(c.input).records;
    Pass pass;
    pass.record = "@I1@";  // the step notes no record, whatever came before it
    declare_extensions(records, c.owned, pass);
    EXPECT_EQ(render(records), c.output);
    expect_notes(pass.notes, c.notes, std::nullopt);
    // A second run finds everything declared.
    Pass second;
    declare_extensions(records, c.owned, second);
    EXPECT_TRUE(second.notes.empty());
    EXPECT_EQ(render(records), c.output);
    // A whole conversion collects the tags during its rules' walk instead, and
    // declares the same ones.
    expect_notes(declared(to_version_7_with(parse(c.input), c.owned)), c.notes, std::nullopt);
}

// The tags declared are those the rules leave: _UID became UID, and tags
// below structures the rules rewrote still count.
TEST(Declarations, ConversionDeclaresTheTagsItsRulesLeave) {
    Document doc = parse("0 HEAD\n0 @I1@ INDI\n1 _UID x\n1 ASSO @I2@\n2 RELA friend\n3 _R y\n1 OBJE\n2 FORM jpg\n"
                         "3 _G g\n2 FILE a b\n3 _F z\n0 _REC\n1 DATE abt 1900\n2 _D d\n0 TRLR\n");
    expect_notes(declared(to_version_7(doc)),
                 {undocumented("_D"), undocumented("_F"), undocumented("_G"), undocumented("_R"), undocumented("_REC")},
                 std::nullopt);
}

const Case kCases[] = {
    {"SortedOnceEachUnderANewSchema", "0 HEAD\n1 SOUR s\n0 @I1@ INDI\n1 _B x\n2 _A y\n1 _B z\n0 TRLR\n", {},
     "0 HEAD\n1 SOUR s\n1 SCHMA\n2 TAG _A " + kUri + "_A\n2 TAG _B " + kUri +
         "_B\n0 @I1@ INDI\n1 _B x\n2 _A y\n1 _B z\n0 TRLR\n", {undocumented("_A"), undocumented("_B")}},
    // Declared in any SCHMA, the first or a later one.
    {"DeclaredAlreadyStaysAndNewOnesFollow",
     "0 HEAD\n1 SCHMA\n2 TAG _A http://a\n1 SOUR s\n1 SCHMA\n2 TAG _Z z\n0 _B\n1 _A\n1 _Z\n", {},
     "0 HEAD\n1 SCHMA\n2 TAG _A http://a\n2 TAG _B " + kUri +
         "_B\n1 SOUR s\n1 SCHMA\n2 TAG _Z z\n0 _B\n1 _A\n1 _Z\n", {undocumented("_B")}},
    {"OwnedTagsCarryTheirUri", "0 HEAD\n0 @I1@ INDI\n1 _PRIM Y\n1 _A\n",
     {{"_X", "https://unused.example/X"}, {"_PRIM", "https://example.org/PRIM"}, {"_PRIM", "https://later/PRIM"}},
     "0 HEAD\n1 SCHMA\n2 TAG _A " + kUri + "_A\n2 TAG _PRIM https://example.org/PRIM\n0 @I1@ INDI\n1 _PRIM Y\n1 _A\n",
     {undocumented("_A"), owned("_PRIM")}},
    {"CaseSensitiveBytewiseOrder", "0 HEAD\n0 @I1@ INDI\n1 _a\n1 _B\n1 _A\n", {{"_a", "u"}},
     "0 HEAD\n1 SCHMA\n2 TAG _A " + kUri + "_A\n2 TAG _B " + kUri + "_B\n2 TAG _a u\n0 @I1@ INDI\n1 _a\n1 _B\n1 _A\n",
     {undocumented("_A"), undocumented("_B"), owned("_a")}},
    {"HeaderTagsAndStandardTagsAreNotCollected", "0 HEAD\n1 _H\n2 _I\n0 @I1@ INDI\n1 UID 1\n1 NAME _x_\n0 TRLR\n", {},
     "0 HEAD\n1 _H\n2 _I\n0 @I1@ INDI\n1 UID 1\n1 NAME _x_\n0 TRLR\n", {}},
    {"NoHeaderNoDeclarations", "0 @I1@ INDI\n1 _A\n", {}, "0 @I1@ INDI\n1 _A\n", {}},
    {"FirstHeaderOnlyAndNotFromASecond", "0 @I1@ INDI\n1 _A\n0 HEAD\n1 SOUR one\n0 HEAD\n1 _B\n", {},
     "0 @I1@ INDI\n1 _A\n0 HEAD\n1 SOUR one\n1 SCHMA\n2 TAG _A " + kUri + "_A\n0 HEAD\n1 _B\n", {undocumented("_A")}},
    {"ExtensionRecordsCount", "00 HEAD\n0 _LOC\n1 _NAME x\n", {},
     "0 HEAD\n1 SCHMA\n2 TAG _LOC " + kUri + "_LOC\n2 TAG _NAME " + kUri + "_NAME\n0 _LOC\n1 _NAME x\n",
     {undocumented("_LOC"), undocumented("_NAME")}},
};
INSTANTIATE_TEST_SUITE_P(Extensions, Declarations, ::testing::ValuesIn(kCases), case_name);

}  // namespace
}  // namespace pellorine::convert
