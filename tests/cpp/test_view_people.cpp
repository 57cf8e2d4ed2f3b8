// Individual, family and event views: each field's rule, first-child-only
// readings and blank payloads. The exact dictionaries are pinned by the Python tests.
#include <gtest/gtest.h>

#include <string>

#include "document.hpp"
#include "view.hpp"

using namespace pellorine;
using namespace pellorine::view;

namespace {

using Opt = std::optional<std::string>;

Node first_record(std::string_view text) {
    auto doc = Document::parse(text);
    EXPECT_TRUE(doc.has_value()) << (doc ? "" : doc.error().display());
    if (!doc || doc->records.empty()) return Node::new_("INDI");
    return std::move(doc->records[0]);
}

IndividualView person(std::string_view body) {
    return IndividualView::from_node(first_record("0 @I1@ INDI\n" + std::string(body)));
}

// The one event of an individual with these lines.
EventView event(std::string_view lines) {
    IndividualView v = person(lines);
    EXPECT_EQ(v.events.size(), 1u) << lines;
    return v.events.empty() ? EventView{} : v.events[0];
}

}  // namespace

// The sex from the first SEX only; an event's own value unless blank or Y; the
// life years from the first of each event that has a year; the display name.
TEST(IndividualView, SexEventValueAndLifeYears) {
    using Field = Opt (*)(const char*);
    const Field sex = [](const char* l) { return person(l).sex; }, value = [](const char* l) { return event(l).value; },
                life = [](const char* l) { return person(l).life_years(); },
                name = [](const char* l) { return Opt(person(l).display_name()); };
    const std::tuple<Field, const char*, Opt> cases[] = {
        {sex, "1 SEX  M \n", "Male"}, {sex, "1 SEX   \n", ""}, {sex, "1 SEX\n1 SEX F\n", ""},
        {sex, "1 SEX \n2 CONC M\n", "Male"}, {sex, "1 NAME x\n", std::nullopt}, {sex, "1 sex M\n", std::nullopt},
        {value, "1 DEAT Y\n", std::nullopt},    {value, "1 DEAT    \n", std::nullopt}, {value, "1 DEAT  Y\n", " Y"},
        {value, "1 DEAT y\n", "y"},             {value, "1 OCCU Bak\n2 CONC er\n", "Bak"},
        {value, "1 OCCU\n2 CONT Baker\n", std::nullopt},
        {life, "1 BIRT\n1 CHR\n2 DATE 1901\n1 DEAT\n2 DATE 1950\n", "1901\u20131950"},
        {life, "1 DEAT\n2 DATE 1950\n", "d. 1950"},
        {life, "1 BAPM\n2 DATE 1881\n1 CHR\n2 DATE 1882\n", "b. 1882"}, {life, "1 BAPM\n2 DATE 1881\n", "b. 1881"},
        {life, "1 BIRT\n2 DATE 500 BCE\n1 DEAT\n2 DATE 450 BCE\n", "-500\u2013-450"},
        {life, "1 BIRT\n2 DATE sometime\n1 BIRT\n2 DATE 1870\n", "b. 1870"},
        {life, "1 BURI\n2 DATE 1950\n", std::nullopt},
        {name, "1 NAME //\n1 NAME Bob\n", ""}, {name, "", "Unnamed"},
    };
    for (const auto& [field, lines, expected] : cases) EXPECT_EQ(field(lines), expected) << lines;
    EXPECT_FALSE(person("1 BIRT\n2 DATE sometime\n1 BIRT\n2 DATE 1870\n").event_year("BIRT"));  // the first BIRT only
    EXPECT_EQ(IndividualView::from_node(first_record("0 INDI\n")).xref, "");
}

TEST(IndividualView, LinksAndIdentifiers) {
    IndividualView v = person(
        "1 FAMC text\n1 FAMC @F1@\n1 FAMC @F2@\n2 PEDI  \n1 FAMC @F3@\n2 PEDI FOSTER\n2 PEDI birth\n"
        "1 FAMC @F4@\n2 PEDI sTep\n1 FAMS @F5@\n2 PEDI birth\n1 FAMS nothing\n1 FAMS @VOID@\n"
        "1 SOUR @S1@\n1 SOUR embedded\n1 OBJE a.jpg\n1 OBJE @O1@\n"
        "1 RIN 7\n2 TYPE local\n1 UID abc\n1 REFN R-1\n2 TYPE user\n2 TYPE second\n1 EXID 99\n2 TYPE  \n"
        "1 _UID u\n2 TYPE t\n1 _FSFTID K\n2 TYPE ignored\n1 _Id x\n1 rin 5\n1 MYID z\n");
    std::string got;  // child or partner links with family and pedigree ("-" for none), then identifiers
    for (const auto& l : v.child_in) got += "c" + l.family + ":" + l.pedigree.value_or("-") + ";";
    for (const auto& l : v.partner_in) got += "p" + l.family + ":" + l.pedigree.value_or("-") + ";";
    for (const auto& id : v.identifiers) (got += '\n') += view::to_json(id);
    EXPECT_EQ(got, R"(c@F1@:-;c@F2@:;c@F3@:Foster;c@F4@:sTep;p@F5@:-;p@VOID@:-;
{"tag":"RIN","label":"Record identifier","value":"7","kind":"local"}
{"tag":"UID","label":"Unique identifier","value":"abc","kind":null}
{"tag":"REFN","label":"Reference number","value":"R-1","kind":"user"}
{"tag":"EXID","label":"External identifier","value":"99","kind":null}
{"tag":"_UID","label":"Unique identifier","value":"u","kind":"t"}
{"tag":"_FSFTID","label":"_FSFTID","value":"K","kind":null})");
    EXPECT_EQ(std::tuple(v.citations, v.media, v.events.size()),
              std::tuple(std::vector<std::string>{"@S1@"}, std::vector<std::string>{"@O1@"}, 0u));
}

TEST(IndividualView, EventsAndAttributesInterleavedInDocumentOrder) {
    IndividualView v = person(
        "1 NAME a\n1 SEX M\n1 CONC x\n1 BIRT\n1 OCCU Smith\n1 _MILT\n1 RESI\n1 Birt\n1 DEAT Y\n"
        "1 EVEN\n2 TYPE  \n2 TYPE Second\n1 FACT\n2 TYPE  Favourite colour \n1 BURI\n2 TYPE Sea burial\n"
        "1 EVEN\n2 TYPE\n3 CONT Next line\n");
    std::string got;  // tag, label, event or attribute, path
    for (const auto& e : v.events)
        got += e.tag + "|" + e.label + (e.attribute ? "|A|" : "|E|") + std::to_string(e.path.at(0)) + ";";
    EXPECT_EQ(got, "BIRT|Birth|E|3;OCCU|Occupation|A|4;RESI|Residence|A|6;DEAT|Death|E|8;EVEN|Event|E|9;"
                   "FACT| Favourite colour |A|10;BURI|Burial|E|11;EVEN|\nNext line|E|12;");
}

// The date from the first DATE unless blank, with its readings; place, age and
// cause likewise; citations that are pointers.
TEST(EventView, DatesPlacesAndCitations) {
    const std::tuple<const char*, Opt, Opt, std::optional<std::int32_t>, std::optional<std::int64_t>> dates[] = {
        {"2 DATE 5 JAN\n3 CONC  1882\n2 DATE 1700", "5 JAN 1882", "5 January 1882", 1882, 18820105},
        {"2 DATE whenever", "whenever", "whenever", std::nullopt, std::nullopt},
        {"2 DATE   \n2 DATE 1700", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
    };
    for (const auto& [lines, date, display, year, sort_key] : dates) {
        EventView e = event(std::string("1 BIRT\n") + lines + "\n");
        EXPECT_EQ(std::tuple(e.date, e.date_display, e.year, e.sort_key), std::tuple(date, display, year, sort_key))
            << lines;
    }
    EventView e = event(
        "1 DEAT\n2 PLAC London\n3 CONT England\n2 PLAC Paris\n2 AGE  \n2 AGE 42y\n2 CAUS\n2 SOUR @S1@\n"
        "2 SOUR note\n2 SOUR @S2@\n");
    EXPECT_EQ(std::tuple(e.place, e.age, e.cause, e.citations),
              std::tuple(Opt("London\nEngland"), Opt(), Opt(), std::vector<std::string>{"@S1@", "@S2@"}));
    EXPECT_EQ(event("1 DEAT\n2 CAUS  fever\n").cause, Opt(" fever"));
}

TEST(FamilyView, PartnersFromTheFirstChildOnly) {
    const std::tuple<const char*, Opt, Opt, std::vector<std::string>> cases[] = {
        {"1 HUSB John\n1 HUSB @I1@\n1 WIFE @I2@\n", std::nullopt, "@I2@", {"@I2@"}},
        {"1 HUSB @I1@\n1 WIFE @VOID@\n1 WIFE @I2@\n", "@I1@", "@VOID@", {"@I1@", "@VOID@"}},
        {"1 HUSB\n2 CONC @I1@\n1 husb @I1@\n", std::nullopt, std::nullopt, {}},
    };
    for (const auto& [lines, husband, wife, partners] : cases) {
        FamilyView v = FamilyView::from_node(first_record("0 @F1@ FAM\n" + std::string(lines)));
        EXPECT_EQ(std::tuple(v.husband, v.wife, v.partners()), std::tuple(husband, wife, partners)) << lines;
    }
    EXPECT_EQ(FamilyView::from_node(first_record("0 FAM\n")).xref, "");
}
