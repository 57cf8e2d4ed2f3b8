// Plausibility findings: every check at and around its threshold, the
// phrases, the order of findings and the records they name.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "document.hpp"
#include "tags.hpp"
#include "validate_internal.hpp"

using namespace pellorine;
using namespace pellorine::validate;

namespace {

std::vector<Finding> findings_of(const std::string& text) {
    auto doc = Document::parse(text);
    EXPECT_TRUE(doc.has_value()) << (doc ? "" : doc.error().display());
    if (!doc) return {};
    return inspect(*doc);
}

// "check: message" of each finding, "no-source" left out.
std::vector<std::string> sourced(const std::string& text) {
    std::vector<std::string> out;
    for (const Finding& f : findings_of(text))
        if (f.check != "no-source") out.push_back(f.check + ": " + f.message);
    return out;
}

// An individual with a birth, a death, and more lines.
std::string person(std::string_view xref, std::string_view birth, std::string_view death = "",
                   std::string_view more = "") {
    std::string s = "0 " + std::string(xref) + " INDI\n";
    if (!birth.empty()) s += "1 BIRT\n2 DATE " + std::string(birth) + "\n";
    if (!death.empty()) s += "1 DEAT\n2 DATE " + std::string(death) + "\n";
    return s + std::string(more);
}

struct Row {
    std::string text;
    std::vector<std::string> expected;
};

void run(const std::vector<Row>& rows) {
    for (const Row& r : rows) EXPECT_EQ(sourced(r.text), r.expected) << r.text;
}

}  // namespace

TEST(Years, OfDates) {
    using Y = std::optional<Years>;
    const std::pair<const char*, Y> cases[] = {
        {"1900", Years{1900, 1900}},
        {"BEF 1900", Years{std::nullopt, 1900}},
        {"AFT 1900", Years{1900, std::nullopt}},
        {"BET 1900 AND 1890", Years{1890, 1900}},  // the smaller first
        {"@#DJULIAN@ 1700", Years{1700, 1700}},
        {"500 BCE", Years{-500, -500}},
        {"@#DHEBREW@ 5000", std::nullopt},
        {"@#DUNKNOWN@ 1900", std::nullopt},
        {"BET 1 AND 2147483647", Years{1, std::nullopt}},
        {"not a date", std::nullopt},
    };
    for (const auto& [text, years] : cases) EXPECT_EQ(Years::of_date(text), years) << text;
}

TEST(Years, PhrasesAtTheEdgesOf32Bits) {
    // The other displays and ages are in the findings' messages below.
    const Years before{std::nullopt, 1900}, after{1900, std::nullopt}, none{};
    EXPECT_EQ(none.display(), "undated");
    EXPECT_EQ(in_year(none), "undated");
    const Years lo{INT32_MIN, INT32_MIN}, hi{INT32_MAX, INT32_MAX};
    const std::tuple<Years, Years, const char*> ages[] = {
        {Years{1840, 1840}, after, "at least 60"},
        {before, Years{1850, 1850}, "at least -50"},
        {Years{1840, 1840}, before, "at most 60"},
        {before, before, "at an unknown age"},
        {lo, hi, "at 4294967295"},
        {hi, lo, "at -4294967295"},
        {Years{INT32_MIN, INT32_MAX}, Years{INT32_MIN, INT32_MAX}, "at -4294967295 to 4294967295"},
    };
    for (const auto& [birth, event, text] : ages) EXPECT_EQ(age(birth, event), text);
}

TEST(Life, FirstEventOfEachTagOnly) {
    auto doc = Document::parse(
        "0 @I1@ INDI\n1 BIRT\n1 BIRT\n2 DATE 1900\n1 DEAT\n2 DATE @#DHEBREW@ 5000\n1 DEAT\n2 DATE 1950\n"
        "1 BURI\n2 DATE BEF 1960\n1 BURI\n2 DATE 1955\n");
    ASSERT_TRUE(doc);
    Life life = life_of(view::IndividualView::from_node(doc->records[0]));
    EXPECT_EQ(life, (Life{std::nullopt, std::nullopt, Years{std::nullopt, 1960}}));
}

TEST(Validate, DiedBeforeBornAndImprobableLifespan) {
    const std::string died = "died-before-born: born ", long_life = "improbable-lifespan: born ";
    const std::tuple<const char*, const char*, std::vector<std::string>> cases[] = {
        {"1900", "1899", {died + "1900 and died 1899"}},
        {"1900", "1900", {}},
        {"AFT 1900", "BEF 1899", {died + "after 1900 and died before 1899"}},
        {"2100", "1700", {died + "2100 and died 1700"}},  // never also an improbable lifespan
        {"1800", "1926", {long_life + "1800 and died 1926, which is 126 years"}},
        {"1800", "1925", {}},
        {"BEF 1800", "1930", {long_life + "before 1800 and died 1930, which is at least 130 years"}},
        {"BET 1790 AND 1800", "1930", {long_life + "between 1790 and 1800 and died 1930, which is at least 130 years"}},
        {"1800", "AFT 1926", {long_life + "1800 and died after 1926, which is at least 126 years"}},
        {"1800", "BET 1925 AND 1930", {}},
        {"ABT 9999 BCE", "9999", {long_life + "-9999 and died 9999, which is 19998 years"}},
    };
    for (const auto& [birth, death, expected] : cases)
        EXPECT_EQ(sourced(person("@I1@", birth, death)), expected) << birth << " / " << death;
}

TEST(Validate, BuriedBeforeDiedAndEventsAfterDeath) {
    const std::string died = "0 @I1@ INDI\n1 DEAT\n2 DATE 1900\n", after = "event-after-death: died 1900, and ";
    const std::string sourced_died = "0 @I1@ INDI\n1 SOUR @S1@\n1 DEAT\n2 DATE 1900\n";
    const std::vector<std::string> in_1905 = {after + "Occupation is dated 1905"};
    // Forty dates before the death fill the table of date texts; the later ones are read anyway.
    std::string forty;
    for (int year = 1800; year < 1840; ++year) forty += "1 OCCU\n2 DATE " + std::to_string(year) + "\n";
    run({
        {died + "1 BURI\n2 DATE 1899\n", {"buried-before-died: died 1900 and buried 1899"}},
        {died + "1 BURI\n2 DATE 1900\n", {}},
        {died + "1 BURI\n2 DATE BET 1899 AND 1901\n", {}},
        {died + "1 OCCU Farmer\n2 DATE 1905\n", {after + "Occupation is dated 1905"}},
        {died + "1 OCCU Farmer\n2 DATE 1900\n", {}},
        {died + "1 RESI\n2 DATE BET 1899 AND 1905\n", {}},
        {died + "1 EVEN\n2 TYPE Emigration\n2 DATE AFT 1901\n", {after + "Emigration is dated after 1901"}},
        {died + "1 CHR\n2 DATE 1901\n1 CHR\n2 DATE 1902\n",
         {after + "Christening is dated 1901", after + "Christening is dated 1902"}},
        // The six tags that may follow a death are the next test's; a second birth counts for nothing.
        {died + "1 BIRT\n1 BIRT\n2 DATE 1905\n1 RESI\n2 DATE @#DHEBREW@ 5000\n", {}},
        {person("@I1@", "", "AFT 1900", "1 OCCU\n2 DATE 3000\n"), {}},  // no latest year of death
        // Date texts as the view reads them.
        {sourced_died + "1 OCCU\n2 DATE 19\n3 CONC 05\n", in_1905},
        {sourced_died + "1 OCCU\n2 DATE 1905\n3 NOTE x\n", in_1905},
        {sourced_died + "1 OCCU\n2 DATE 1905\n3 CONT 1906\n", {}},  // two lines: no date
        {sourced_died + forty + "1 OCCU\n2 DATE 1905\n", in_1905},
        {sourced_died + "1 OCCU\n2 _DATE 1905\n2 DATE 1899\n2 DATE 1905\n", {}},
    });
}

TEST(Validate, EventsAreTheOnesTheViewLists) {
    // Every tag of the vocabulary, and a few it does not hold, dated after a
    // death: a finding exactly for the events the individual's view lists
    // (the six that may follow a death apart), labelled as the view labels them.
    std::vector<std::string> tags = {"_UID", "_FSFTID", "birt", "_DEAT", "XYZ"};
    for (const auto& entry : tags::label_table()) tags.emplace_back(entry.tag);
    const std::set<std::string> after_death = {"BIRT", "DEAT", "BURI", "CREM", "PROB", "WILL"};
    for (const std::string& tag : tags) {
        std::string text = "0 @I1@ INDI\n1 SOUR @S1@\n1 DEAT\n2 DATE 1900\n1 " + tag + " Y\n2 TYPE Moved\n2 DATE 1905\n";
        auto doc = Document::parse(text);
        ASSERT_TRUE(doc) << tag;
        std::vector<std::string> expected;
        for (const view::EventView& e : view::IndividualView::from_node(doc->records[0]).events)
            if (e.date && !after_death.count(e.tag))
                expected.push_back("event-after-death: died 1900, and " + e.label + " is dated 1905");
        std::vector<std::string> got;
        for (const Finding& f : findings_of(text))
            if (f.check == "event-after-death") got.push_back(f.check + ": " + f.message);
        EXPECT_EQ(got, expected) << tag;
    }
}

TEST(Validate, NoSource) {
    const std::string none = " no-source Missing nothing on this record cites a source";
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"0 @I1@ INDI\n1 NAME A /B/\n", {"@I1@" + none}},
        {"0 @I1@ INDI\n1 NAME A /B/\n2 SOUR @S1@\n", {}},
        {"0 @I1@ INDI\n1 BIRT\n2 DATE 1900\n3 SOUR not a pointer\n", {}},
        {"0 @I1@ INDI\n1 _SOUR x\n1 sour x\n", {"@I1@" + none}},
        // Without an identifier only this check applies, whatever the dates.
        {"0 INDI\n1 BIRT\n2 DATE 1900\n1 DEAT\n2 DATE 1800\n", {"INDI" + none}},
        {"0 @S1@ SOUR\n0 @F1@ FAM\n1 HUSB @I1@\n0 @X@ indi\n", {}},
    };
    for (const auto& [text, expected] : cases) {
        std::vector<std::string> got;
        for (const Finding& f : findings_of(text))
            got.push_back(f.record + " " + f.check + " " + std::string(severity_name(f.severity)) + " " + f.message);
        EXPECT_EQ(got, expected) << text;
    }
}

TEST(Validate, Marriages) {
    auto family = [](std::string_view marriage) {
        return person("@P@", "1840", "", "1 SOUR x\n") + "0 @F1@ FAM\n1 HUSB @P@\n1 MARR\n2 DATE " +
               std::string(marriage) + "\n";
    };
    run({
        {family("1839"), {"married-before-born: a marriage in 1839 for somebody born 1840"}},
        {family("1840"), {"married-as-a-child: married in 1840 at 0, born 1840"}},
        {family("1852"), {"married-as-a-child: married in 1852 at 12, born 1840"}},
        {family("1853"), {}},
        {family("BET 1850 AND 1855"), {}},
        {family("BET 1845 AND 1852"), {"married-as-a-child: married between 1845 and 1852 at 5 to 12, born 1840"}},
        {family("BEF 1852"), {"married-as-a-child: married before 1852 at most 12, born 1840"}},
        {family("AFT 1800"), {}},
        // The first MARR's first DATE only, read as its logical payload.
        {family("18\n3 CONC 50"), {"married-as-a-child: married in 1850 at 10, born 1840"}},
        {person("@P@", "1840", "", "1 SOUR x\n") + "0 @F1@ FAM\n1 HUSB @P@\n1 MARR\n1 MARR\n2 DATE 1850\n", {}},
        {person("@P@", "1840", "", "1 SOUR x\n") + "0 @F1@ FAM\n1 WIFE @p@\n1 MARR\n2 DATE 1850\n2 DATE 1800\n",
         {"married-as-a-child: married in 1850 at 10, born 1840"}},
    });
}

TEST(Validate, ParentsAndChildren) {
    // A mother and a father, each with a birth (and the mother a death), and one child.
    auto family = [](std::string_view mother_birth, std::string_view father_birth, std::string_view child_birth,
                     std::string_view mother_death = "") {
        return person("@M@", mother_birth, mother_death, "1 SOUR x\n") + person("@D@", father_birth, "", "1 SOUR x\n") +
               person("@C@", child_birth, "", "1 SOUR x\n") + "0 @F1@ FAM\n1 HUSB @D@\n1 WIFE @M@\n1 CHIL @C@\n";
    };
    const std::string old = "parent-too-old: a parent born 1800 with a child born ",
                      young = "parent-too-young: a parent born 1800 with a child born ",
                      orphan = "child-born-after-mother-died: a mother who died 1850 with a child born ";
    const std::string people = person("@A@", "1800", "", "1 SOUR x\n") + person("@B@", "1800", "", "1 SOUR x\n") +
                               person("@C@", "1860", "", "1 SOUR x\n");
    run({
        {family("1800", "1830", "1856"), {old + "1856, at 56"}},
        {family("1800", "1830", "1855"), {}},
        {family("1830", "1800", "1881"), {old + "1881, at 81"}},
        {family("1830", "1800", "1880"), {}},
        {family("1800", "", "1795"), {young + "1795, 5 years before the parent was born"}},
        {family("1800", "", "1811"), {young + "1811, at 11 years old"}},
        {family("1800", "", "1812"), {}},
        {family("BET 1795 AND 1800", "", "1805"),
         {"parent-too-young: a parent born between 1795 and 1800 with a child born 1805, at most 10 years old"}},
        {family("1800", "", "BET 1805 AND 1811"), {young + "between 1805 and 1811, at most 11 years old"}},
        {family("AFT 1800", "1790", "1856"), {}},  // no latest birth year of the mother
        {family("1820", "1820", "1851", "1850"), {orphan + "1851"}},
        {family("1820", "1820", "1850", "1850"), {}},
        {family("", "1820", "1851", "1850"), {orphan + "1851"}},
        {family("1800", "1820", "1861", "1850"), {orphan + "1861", old + "1861, at 61"}},
        {family("1800", "1790", "", "1850"), {}},  // a child without birth takes no part
        // The father's death is never compared with the children; a partner or
        // child that is no individual record takes no part.
        {person("@D@", "1820", "1850", "1 SOUR x\n") + person("@C@", "1851", "", "1 SOUR x\n") +
             "0 @F1@ FAM\n1 HUSB @D@\n1 CHIL @C@\n1 CHIL @X@\n1 HUSB @Y@\n",
         {}},
        // Only the first WIFE line names the mother, pointer or not.
        {people + "0 @F1@ FAM\n1 WIFE @a@\n1 CHIL @C@\n", {old + "1860, at 60"}},
        {people + "0 @F1@ FAM\n1 HUSB @A@\n1 WIFE @B@\n1 WIFE @A@\n1 CHIL @C@\n", {old + "1860, at 60"}},
        {people + "0 @F1@ FAM\n1 WIFE not a pointer\n1 WIFE @A@\n1 CHIL @C@\n", {}},
    });
}

TEST(Validate, ChildrenListedTwiceAndEmptyFamilies) {
    auto twice = [](std::string xref) {
        return "child-listed-twice: " + xref + " is listed as a child of this family more than once";
    };
    const std::vector<std::string> empty = {"empty-family: this family records nobody at all"};
    run({
        {"0 @F1@ FAM\n1 CHIL @I1@\n1 CHIL @I2@\n1 CHIL @i1@\n1 CHIL @I1@\n", {twice("@i1@"), twice("@I1@")}},
        {"0 @F1@ FAM\n1 CHIL @VOID@\n1 CHIL @VOID@\n", {twice("@VOID@")}},
        {"0 @F1@ FAM\n", empty},
        {"0 @F1@ FAM\n1 HUSB nobody\n1 CHIL text\n1 MARR\n", empty},
        {"0 @F1@ FAM\n1 HUSB @NOBODY@\n", {}},
        {"0 @F1@ FAM\n1 WIFE @VOID@\n", {}},
        {"0 @F1@ FAM\n1 CHIL @I1@\n", {}},
    });
    EXPECT_EQ(findings_of("0 FAM\n"),
              (std::vector<Finding>{{"FAM", "empty-family", Severity::Question, "this family records nobody at all"}}));
}

TEST(Validate, OrderAndLaterRecordsReplacingLives) {
    // Individual findings first, in the order of the people; then the families'.
    std::string text = "0 @F1@ FAM\n" + person("@I2@", "1900", "1890") + person("@I1@", "1900") +
                       "0 @F2@ FAM\n1 CHIL @I1@\n1 CHIL @I1@\n" +
                       // a later @i1@ replaces @I1@'s life for every check, @I1@'s own included
                       person("@i1@", "1900", "1800", "1 SOUR x\n");
    std::vector<std::string> got;
    for (const Finding& f : findings_of(text)) got.push_back(f.record + " " + f.check);
    EXPECT_EQ(got, (std::vector<std::string>{"@I2@ died-before-born", "@I2@ no-source", "@I1@ died-before-born",
                                             "@I1@ no-source", "@i1@ died-before-born", "@F1@ empty-family",
                                             "@F2@ child-listed-twice"}));
    EXPECT_TRUE(findings_of("0 HEAD\n0 TRLR\n").empty());
}

TEST(Validate, FindingJsonAndHeading) {
    Finding f{"@I\"1@", "no-source", Severity::Missing, "caf\xc3\xa9\n"};
    EXPECT_EQ(f.to_json(),
              "{\"record\":\"@I\\\"1@\",\"check\":\"no-source\",\"severity\":\"Missing\",\"message\":\"caf\xc3\xa9\\n\"}");
    auto doc = Document::parse("0 @I1@ INDI\n1 NAME John /Smith/\n0 @i1@ INDI\n1 NAME Other\n0 @N1@ NOTE\n");
    ASSERT_TRUE(doc);
    EXPECT_EQ(heading(doc->records, "@i1@"), "John Smith");
    EXPECT_EQ(heading(doc->records, "@N1@"), view::record_title(doc->records[2]));
    EXPECT_EQ(heading(doc->records, "@X@"), "@X@");
    EXPECT_EQ(heading(doc->records, "I1"), "I1");
}

TEST(Validate, HostileShapesFinish) {
    // A family of 200,000 children, each listed twice, and parents of 200,000 families.
    std::string text = person("@M@", "1800", "1850", "1 SOUR x\n") + person("@C1@", "1860", "", "1 SOUR x\n") +
                       "0 @F@ FAM\n1 WIFE @M@\n";
    for (int i = 0; i < 200000; ++i) text += "1 CHIL @C" + std::to_string(i) + "@\n";
    for (int i = 0; i < 200000; ++i) text += "1 CHIL @c" + std::to_string(i) + "@\n";
    auto f = findings_of(text);
    ASSERT_EQ(f.size(), 200004u);  // two for each listing of @C1@, and the repeats
    EXPECT_EQ(f[0].check, "child-born-after-mother-died");
    EXPECT_EQ(f[1].check, "parent-too-old");
    EXPECT_EQ(f.back().message, "@c199999@ is listed as a child of this family more than once");
}
