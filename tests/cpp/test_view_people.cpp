// Individual, family and event views.
#include <gtest/gtest.h>

#include <string>

#include "document.hpp"
#include "view.hpp"

using namespace pellorine;
using namespace pellorine::view;

namespace {

Node first_record(std::string_view text) {
    auto doc = Document::parse(text);
    EXPECT_TRUE(doc.has_value()) << (doc ? "" : doc.error().display());
    if (!doc || doc->records.empty()) return Node::new_("INDI");
    return std::move(doc->records[0]);
}

IndividualView person(std::string_view body) {
    return IndividualView::from_node(first_record(std::string("0 @I1@ INDI\n") + std::string(body)));
}

FamilyView family(std::string_view body) {
    return FamilyView::from_node(first_record(std::string("0 @F1@ FAM\n") + std::string(body)));
}

// The one event of an individual with the given event lines.
EventView event(std::string_view lines) {
    IndividualView v = person(lines);
    EXPECT_EQ(v.events.size(), 1u);
    return v.events.empty() ? EventView{} : v.events[0];
}

}  // namespace

TEST(IndividualView, ExactJson) {
    IndividualView v = person(
        "1 NAME John /Smith/\n"
        "2 TYPE birth\n"
        "2 SOUR @S1@\n"
        "2 SOUR text\n"
        "1 SEX  M \n"
        "1 BIRT\n"
        "2 DATE 5 JAN 1882\n"
        "2 PLAC Here\n"
        "2 SOUR @S2@\n"
        "1 FAMC @F1@\n"
        "2 PEDI adopted\n"
        "1 FAMS @F2@\n"
        "2 PEDI birth\n"
        "1 SOUR @S3@\n"
        "1 OBJE @O1@\n"
        "1 RIN 42\n"
        "1 _FSFTID ABC\n");
    EXPECT_EQ(v.to_json(),
              R"({"xref":"@I1@","names":[{"display":"John Smith","sort":"Smith, John","original":"John /Smith/",)"
              R"("kind":"birth","citations":["@S1@"]}],"sex":"Male","events":[{"tag":"BIRT","label":"Birth",)"
              R"("date":"5 JAN 1882","dateDisplay":"5 January 1882","year":1882,"sortKey":18820105,"place":"Here",)"
              R"("age":null,"cause":null,"attribute":false,"value":null,"citations":["@S2@"],"path":[2]}],)"
              R"("childIn":[{"family":"@F1@","pedigree":"Adopted"}],"partnerIn":[{"family":"@F2@","pedigree":null}],)"
              R"("citations":["@S3@"],"media":["@O1@"],"identifiers":[{"tag":"RIN","label":"Record identifier",)"
              R"("value":"42","kind":null},{"tag":"_FSFTID","label":"_FSFTID","value":"ABC","kind":null}]})");
}

TEST(IndividualView, EmptyRecord) {
    IndividualView v = IndividualView::from_node(first_record("0 INDI\n"));
    EXPECT_EQ(v.to_json(),
              R"({"xref":"","names":[],"sex":null,"events":[],"childIn":[],"partnerIn":[],"citations":[],)"
              R"("media":[],"identifiers":[]})");
    EXPECT_EQ(v.display_name(), "Unnamed");
    EXPECT_FALSE(v.life_years());
}

TEST(IndividualView, Sex) {
    struct Case {
        const char* lines;
        std::optional<std::string> sex;
    };
    const Case cases[] = {
        {"1 SEX  M \n", "Male"},
        {"1 SEX F\n", "Female"},
        {"1 SEX X\n", "Neither male nor female"},
        {"1 SEX\n", ""},
        {"1 SEX   \n", ""},
        {"1 SEX f\n", "f"},
        {"1 SEX FM\n", "FM"},
        {"1 SEX M\n1 SEX F\n", "Male"},
        {"1 SEX\n1 SEX F\n", ""},
        {"1 SEX M\n2 CONC ale\n", "Male"},
        {"1 NAME x\n", std::nullopt},
        {"1 sex M\n", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines);
        EXPECT_EQ(person(c.lines).sex, c.sex);
    }
}

TEST(IndividualView, FamilyLinks) {
    IndividualView v = person(
        "1 FAMC text\n"
        "1 FAMC @F1@\n"
        "1 FAMC @F2@\n"
        "2 PEDI  \n"
        "1 FAMC @F3@\n"
        "2 PEDI FOSTER\n"
        "2 PEDI birth\n"
        "1 FAMC @F4@\n"
        "2 PEDI sTep\n"
        "1 FAMC @VOID@\n"
        "1 FAMS @F5@\n"
        "2 PEDI birth\n"
        "1 FAMS nothing\n"
        "1 FAMS @F5@\n");
    ASSERT_EQ(v.child_in.size(), 5u);
    EXPECT_EQ(v.child_in[0].family, "@F1@");
    EXPECT_FALSE(v.child_in[0].pedigree);
    EXPECT_EQ(v.child_in[1].pedigree, std::optional<std::string>(""));
    EXPECT_EQ(v.child_in[2].pedigree, std::optional<std::string>("Foster"));
    EXPECT_EQ(v.child_in[3].pedigree, std::optional<std::string>("sTep"));
    EXPECT_EQ(v.child_in[4].family, "@VOID@");
    ASSERT_EQ(v.partner_in.size(), 2u);
    EXPECT_FALSE(v.partner_in[0].pedigree);
    EXPECT_EQ(v.partner_in[1].family, "@F5@");
}

TEST(IndividualView, CitationsAndMediaNeedPointers) {
    IndividualView v = person(
        "1 SOUR @S1@\n"
        "1 SOUR embedded citation\n"
        "2 PAGE 4\n"
        "1 OBJE\n"
        "2 FILE a.jpg\n"
        "1 OBJE @O1@\n"
        "1 SOUR @S1@\n");
    EXPECT_EQ(v.citations, (std::vector<std::string>{"@S1@", "@S1@"}));
    EXPECT_EQ(v.media, (std::vector<std::string>{"@O1@"}));
}

TEST(IndividualView, Identifiers) {
    IndividualView v = person(
        "1 RIN 7\n"
        "2 TYPE local\n"
        "1 UID abc\n"
        "1 REFN R-1\n"
        "2 TYPE user\n"
        "2 TYPE second\n"
        "1 EXID 99\n"
        "2 TYPE \n"
        "1 _UID u\n"
        "2 TYPE t\n"
        "1 _FSFTID K\n"
        "2 TYPE ignored\n"
        "1 _APID 1,2\n"
        "1 _Id x\n"
        "1 _MYID y\n"
        "1 rin 5\n"
        "1 _UIDX z\n");
    struct Expected {
        const char* tag;
        const char* label;
        const char* value;
        std::optional<std::string> kind;
    };
    const Expected expected[] = {
        {"RIN", "Record identifier", "7", "local"},
        {"UID", "Unique identifier", "abc", std::nullopt},
        {"REFN", "Reference number", "R-1", "user"},
        {"EXID", "External identifier", "99", ""},
        {"_UID", "Unique identifier", "u", "t"},
        {"_FSFTID", "_FSFTID", "K", std::nullopt},
        {"_APID", "_APID", "1,2", std::nullopt},
        {"_MYID", "_MYID", "y", std::nullopt},
        {"_UIDX", "_UIDX", "z", std::nullopt},
    };
    ASSERT_EQ(v.identifiers.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(expected[i].tag);
        EXPECT_EQ(v.identifiers[i].tag, expected[i].tag);
        EXPECT_EQ(v.identifiers[i].label, expected[i].label);
        EXPECT_EQ(v.identifiers[i].value, expected[i].value);
        EXPECT_EQ(v.identifiers[i].kind, expected[i].kind);
    }
    EXPECT_TRUE(v.events.empty());
}

TEST(IndividualView, EventsAndAttributesInterleavedInDocumentOrder) {
    IndividualView v = person(
        "1 NAME a\n"
        "1 SEX M\n"
        "1 CONC x\n"
        "1 BIRT\n"
        "1 OCCU Smith\n"
        "1 _MILT\n"
        "1 RESI\n"
        "1 Birt\n"
        "1 DEAT Y\n"
        "1 UID 1\n"
        "1 EVEN\n"
        "2 TYPE  \n"
        "1 FACT\n"
        "2 TYPE  Favourite colour \n"
        "1 BURI\n"
        "2 TYPE Sea burial\n");
    struct Expected {
        const char* tag;
        const char* label;
        bool attribute;
        std::size_t index;
    };
    const Expected expected[] = {
        {"BIRT", "Birth", false, 3},  {"OCCU", "Occupation", true, 4},
        {"RESI", "Residence", true, 6}, {"DEAT", "Death", false, 8},
        {"EVEN", "Event", false, 10}, {"FACT", " Favourite colour ", true, 11},
        {"BURI", "Burial", false, 12},
    };
    ASSERT_EQ(v.events.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(expected[i].tag);
        EXPECT_EQ(v.events[i].tag, expected[i].tag);
        EXPECT_EQ(v.events[i].label, expected[i].label);
        EXPECT_EQ(v.events[i].attribute, expected[i].attribute);
        EXPECT_EQ(v.events[i].path, (Path{expected[i].index}));
    }
    EXPECT_EQ(v.events[1].value, std::optional<std::string>("Smith"));
}

TEST(EventView, DeathWithOnlyY) {
    EventView e = event("1 DEAT Y\n");
    EXPECT_EQ(e.to_json(),
              R"({"tag":"DEAT","label":"Death","date":null,"dateDisplay":null,"year":null,"sortKey":null,)"
              R"("place":null,"age":null,"cause":null,"attribute":false,"value":null,"citations":[],"path":[0]})");
}

TEST(EventView, Value) {
    struct Case {
        const char* line;
        std::optional<std::string> value;
    };
    const Case cases[] = {
        {"1 DEAT Y", std::nullopt},      {"1 DEAT", std::nullopt},          {"1 DEAT ", std::nullopt},
        {"1 DEAT    ", std::nullopt},    {"1 DEAT  Y", " Y"},               {"1 DEAT y", "y"},
        {"1 DEAT YES", "YES"},           {"1 OCCU  Baker ", " Baker "},     {"1 DEAT @S1@", "@S1@"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(event(std::string(c.line) + "\n").value, c.value);
    }
    // Only the own payload: continuation lines are not joined.
    EXPECT_EQ(event("1 OCCU Bak\n2 CONC er\n").value, std::optional<std::string>("Bak"));
    EXPECT_FALSE(event("1 OCCU\n2 CONT Baker\n").value);
}

TEST(EventView, DatesAndSortKeys) {
    struct Case {
        const char* date;
        const char* display;
        std::optional<std::int32_t> year;
        std::optional<std::int64_t> sort_key;
    };
    const Case cases[] = {
        {"5 JAN 1882", "5 January 1882", 1882, 18820105},
        {"JAN 1882", "January 1882", 1882, 18820100},
        {"1882", "1882", 1882, 18820000},
        {"BEF 1900", "before 1900", 1900, 19000000},
        {"sometime in 1850s", "sometime in 1850s", 1850, 18500000},
        {"whenever", "whenever", std::nullopt, std::nullopt},
        {"", "", std::nullopt, std::nullopt},
        {"500 BCE", "-500", -500, -5000000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.date);
        EventView e = event(std::string("1 BIRT\n2 DATE ") + c.date + "\n");
        EXPECT_EQ(e.date, std::optional<std::string>(c.date));
        EXPECT_EQ(e.date_display, std::optional<std::string>(c.display));
        EXPECT_EQ(e.year, c.year);
        EXPECT_EQ(e.sort_key, c.sort_key);
    }
    // The date is the logical payload of the first DATE only.
    EventView joined = event("1 BIRT\n2 DATE 5 JAN\n3 CONC  1882\n2 DATE 1700\n");
    EXPECT_EQ(joined.date, std::optional<std::string>("5 JAN 1882"));
    EXPECT_EQ(joined.year, 1882);
}

TEST(EventView, PlaceAgeCauseAndCitations) {
    EventView e = event(
        "1 DEAT\n"
        "2 PLAC London\n"
        "3 CONT England\n"
        "2 PLAC Paris\n"
        "2 AGE 42y\n"
        "2 CAUS\n"
        "2 SOUR @S1@\n"
        "2 SOUR note\n"
        "2 SOUR @S2@\n");
    EXPECT_EQ(e.place, std::optional<std::string>("London\nEngland"));
    EXPECT_EQ(e.age, std::optional<std::string>("42y"));
    EXPECT_EQ(e.cause, std::optional<std::string>(""));
    EXPECT_EQ(e.citations, (std::vector<std::string>{"@S1@", "@S2@"}));
}

TEST(EventView, TypeLabelOnlyForEvenAndFact) {
    struct Case {
        const char* lines;
        const char* label;
    };
    const Case cases[] = {
        {"1 EVEN\n2 TYPE Emigrated twice\n", "Emigrated twice"},
        {"1 EVEN\n2 TYPE  \n", "Event"},
        {"1 EVEN\n2 TYPE\n2 TYPE Second\n", "Event"},
        {"1 EVEN\n2 TYPE\n3 CONT Next line\n", "\nNext line"},
        {"1 FACT\n2 TYPE Skill\n", "Skill"},
        {"1 FACT\n", "Fact"},
        {"1 BIRT\n2 TYPE Caesarean\n", "Birth"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines);
        EXPECT_EQ(event(c.lines).label, c.label);
    }
}

TEST(IndividualView, NameViews) {
    IndividualView v = person(
        "1 NAME John /Smith/\n"
        "2 SURN Smythe\n"
        "2 NPFX Dr.\n"
        "1 NAME /Jones/\n"
        "1 NAME Bob\n"
        "2 TYPE aka\n"
        "1 NAME\n");
    ASSERT_EQ(v.names.size(), 4u);
    EXPECT_EQ(v.names[0].display, "Dr. John Smythe");
    EXPECT_EQ(v.names[0].sort, "Smythe, John");
    EXPECT_EQ(v.names[0].original, "John /Smith/");
    EXPECT_EQ(v.names[1].sort, "Jones");
    EXPECT_EQ(v.names[2].sort, "Bob");
    EXPECT_EQ(v.names[2].kind, std::optional<std::string>("aka"));
    EXPECT_EQ(v.names[3].display, "");
    EXPECT_EQ(v.display_name(), "Dr. John Smythe");
}

TEST(IndividualView, LifeYearsAndEventYear) {
    struct Case {
        const char* lines;
        std::optional<std::string> life;
    };
    const Case cases[] = {
        {"1 BIRT\n1 CHR\n2 DATE 1901\n1 DEAT\n2 DATE 1950\n", "1901\u20131950"},
        {"1 DEAT\n2 DATE 1950\n", "d. 1950"},
        {"1 BIRT\n2 DATE 1880\n", "b. 1880"},
        {"1 BAPM\n2 DATE 1881\n1 CHR\n2 DATE 1882\n", "b. 1882"},
        {"1 BIRT\n2 DATE sometime\n1 BIRT\n2 DATE 1870\n", "b. 1870"},
        {"1 BIRT\n2 DATE 500 BCE\n1 DEAT\n2 DATE 450 BCE\n", "-500\u2013-450"},
        {"1 BURI\n2 DATE 1950\n", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines);
        EXPECT_EQ(person(c.lines).life_years(), c.life);
    }
    IndividualView v = person("1 BIRT\n2 DATE sometime\n1 BIRT\n2 DATE 1870\n1 DEAT\n2 DATE 1900\n");
    EXPECT_FALSE(v.event_year("BIRT"));  // only the first BIRT is consulted
    EXPECT_EQ(v.event_year("DEAT"), 1900);
    EXPECT_FALSE(v.event_year("BURI"));
    EXPECT_FALSE(v.event_year("birt"));
}

TEST(FamilyView, ExactJson) {
    FamilyView v = family(
        "1 HUSB @I1@\n"
        "1 WIFE @I2@\n"
        "1 CHIL @I3@\n"
        "1 CHIL Unknown child\n"
        "1 CHIL @I3@\n"
        "1 MARR\n"
        "2 DATE 1900\n"
        "1 NCHI 2\n"
        "1 RESI\n"
        "1 DIV Y\n");
    EXPECT_EQ(v.to_json(),
              R"({"xref":"@F1@","husband":"@I1@","wife":"@I2@","children":["@I3@","@I3@"],"events":[)"
              R"({"tag":"MARR","label":"Marriage","date":"1900","dateDisplay":"1900","year":1900,"sortKey":19000000,)"
              R"("place":null,"age":null,"cause":null,"attribute":false,"value":null,"citations":[],"path":[5]},)"
              R"({"tag":"DIV","label":"Divorce","date":null,"dateDisplay":null,"year":null,"sortKey":null,)"
              R"("place":null,"age":null,"cause":null,"attribute":false,"value":null,"citations":[],"path":[8]}]})");
    EXPECT_EQ(v.partners(), (std::vector<std::string>{"@I1@", "@I2@"}));
}

TEST(FamilyView, PartnersFromTheFirstChildOnly) {
    struct Case {
        const char* lines;
        std::optional<std::string> husband, wife;
        std::vector<std::string> partners;
    };
    const Case cases[] = {
        {"1 HUSB John\n1 HUSB @I1@\n1 WIFE @I2@\n", std::nullopt, "@I2@", {"@I2@"}},
        {"1 HUSB John\n1 HUSB @I1@\n", std::nullopt, std::nullopt, {}},
        {"1 WIFE @VOID@\n", std::nullopt, "@VOID@", {"@VOID@"}},
        {"1 HUSB\n2 CONC @I1@\n", std::nullopt, std::nullopt, {}},
        {"1 husb @I1@\n", std::nullopt, std::nullopt, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines);
        FamilyView v = family(c.lines);
        EXPECT_EQ(v.husband, c.husband);
        EXPECT_EQ(v.wife, c.wife);
        EXPECT_EQ(v.partners(), c.partners);
    }
    EXPECT_EQ(FamilyView::from_node(first_record("0 FAM\n")).xref, "");
}

TEST(PointersOf, OnlyPointerShapedPayloadsOfThatTag) {
    Node n = first_record("0 @I1@ INDI\n1 SOUR @S1@\n1 SOUR x\n1 sour @S2@\n1 SOUR\n1 SOUR @S3@\n2 SOUR @S4@\n");
    EXPECT_EQ(pointers_of(n, "SOUR"), (std::vector<std::string>{"@S1@", "@S3@"}));
    EXPECT_TRUE(pointers_of(n, "OBJE").empty());
}
