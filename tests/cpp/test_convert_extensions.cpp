// Extension tags declared in the header at the end of a conversion toward 7.0.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert_internal.hpp"
#include "convert_notes.hpp"

namespace pellorine::convert {
namespace {

std::string owned(const std::string& tag) {
    return "- " + tag + " Converted: declared in the header, which version 7 requires of every extension";
}
std::string undocumented(const std::string& tag) {
    return "- " + tag + " Kept: another application's extension, declared as undocumented rather than dropped";
}
// The TAG line declaring `tag` as undocumented: each has a URI of its own, with the tag as its fragment.
std::string tag_line(const std::string& tag) {
    return "2 TAG " + tag + " https://pellorine.invalid/undocumented#" + tag + "\n";
}

// A case whose input no rule but the declaring step changes, and the caller's URIs.
struct Declaration : Case {
    std::vector<OwnedExtension> owned = {};
};
void PrintTo(const Declaration& c, std::ostream* os) { *os << c.name; }

class Declarations : public ::testing::TestWithParam<Declaration> {};

TEST_P(Declarations, HeaderAndNotes) {
    const Declaration& c = GetParam();
    expect_conversion(c, [&](const Document& doc) { return to_version_7_with(doc, c.owned); });
    // The step on its own, over the records as read, declares the same.
    std::vector<Node> records = parse(c.input).records;
    Pass pass;
    pass.record = "@I1@";  // the step notes no record, whatever came before it
    declare_extensions(records, c.owned, pass);
    EXPECT_EQ(render(records), c.output.empty() ? c.input : c.output);
    EXPECT_EQ(shown(pass.notes), c.notes);
}

// The tags declared are those the rules leave: _UID became UID, and tags
// below structures the rules rewrote still count.
TEST(Declarations, ConversionDeclaresTheTagsItsRulesLeave) {
    std::vector<std::string> declared;
    for (const ConversionNote& n : to_version_7(parse("0 HEAD\n0 @I1@ INDI\n1 _UID x\n1 ASSO @I2@\n2 RELA friend\n"
                                                      "3 _R y\n1 OBJE\n2 FORM jpg\n3 _G g\n2 FILE a b\n3 _F z\n"
                                                      "0 _REC\n1 DATE abt 1900\n2 _D d\n0 TRLR\n")).notes) {
        if (n.tag.starts_with('_') && !n.record) declared.push_back(show(n));
    }
    EXPECT_EQ(declared, (std::vector<std::string>{undocumented("_D"), undocumented("_F"), undocumented("_G"),
                                                   undocumented("_R"), undocumented("_REC")}));
}

const std::string H = "0 HEAD\n1 GEDC\n2 VERS 7.0\n";
const Declaration kCases[] = {
    {{"SortedOnceEachUnderANewSchema", H + "1 SOUR s\n0 @I1@ INDI\n1 _B x\n2 _A y\n1 _B z\n0 TRLR\n",
      H + "1 SOUR s\n1 SCHMA\n" + tag_line("_A") + tag_line("_B") + "0 @I1@ INDI\n1 _B x\n2 _A y\n1 _B z\n0 TRLR\n",
      {undocumented("_A"), undocumented("_B")}}},
    // Declared in any SCHMA, the first or a later one.
    {{"DeclaredAlreadyStaysAndNewOnesFollow",
      H + "1 SCHMA\n2 TAG _A http://a\n1 SOUR s\n1 SCHMA\n2 TAG _Z z\n0 _B\n1 _A\n1 _Z\n",
      H + "1 SCHMA\n2 TAG _A http://a\n" + tag_line("_B") + "1 SOUR s\n1 SCHMA\n2 TAG _Z z\n0 _B\n1 _A\n1 _Z\n",
      {undocumented("_B")}}},
    {{"OwnedTagsCarryTheirUri", H + "0 @I1@ INDI\n1 _PRIM Y\n1 _A\n",
      H + "1 SCHMA\n" + tag_line("_A") + "2 TAG _PRIM https://example.org/PRIM\n0 @I1@ INDI\n1 _PRIM Y\n1 _A\n",
      {undocumented("_A"), owned("_PRIM")}},
     {{"_X", "https://unused.example/X"}, {"_PRIM", "https://example.org/PRIM"}, {"_PRIM", "https://later/PRIM"}}},
    {{"CaseSensitiveBytewiseOrder", H + "0 @I1@ INDI\n1 _a\n1 _B\n1 _A\n",
      H + "1 SCHMA\n" + tag_line("_A") + tag_line("_B") + "2 TAG _a u\n0 @I1@ INDI\n1 _a\n1 _B\n1 _A\n",
      {undocumented("_A"), undocumented("_B"), owned("_a")}},
     {{"_a", "u"}}},
    {{"HeaderTagsAndStandardTagsAreNotCollected", H + "1 _H\n2 _I\n0 @I1@ INDI\n1 UID 1\n1 NAME _x_\n0 TRLR\n", "",
      {}}},
    {{"NoHeaderNoDeclarations", "0 @I1@ INDI\n1 _A\n", "", {}}},
    {{"FirstHeaderOnlyAndNotFromASecond", "0 @I1@ INDI\n1 _A\n" + H + "1 SOUR one\n" + H + "1 _B\n",
      "0 @I1@ INDI\n1 _A\n" + H + "1 SOUR one\n1 SCHMA\n" + tag_line("_A") + H + "1 _B\n", {undocumented("_A")}}},
    // The header's lines as read are written anew.
    {{"ExtensionRecordsCount", "00 HEAD\n1 GEDC\n2 VERS 7.0\n0 _LOC\n1 _NAME x\n",
      H + "1 SCHMA\n" + tag_line("_LOC") + tag_line("_NAME") + "0 _LOC\n1 _NAME x\n",
      {undocumented("_LOC"), undocumented("_NAME")}}},
};
INSTANTIATE_TEST_SUITE_P(Extensions, Declarations, ::testing::ValuesIn(kCases), case_name);

}  // namespace
}  // namespace pellorine::convert
