#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "dates.hpp"

namespace pellorine {
namespace {

using Opt = std::optional<std::string>;
using M = std::optional<std::uint8_t>;

DatePoint pt(std::int32_t y, M m = std::nullopt, M d = std::nullopt) { return DatePoint{y, m, d}; }

GedcomDate reading(Calendar c, DateKind k, std::optional<DatePoint> e, std::optional<DatePoint> l,
                   Opt phrase = std::nullopt, std::string original = "x") {
    GedcomDate g;
    g.original = std::move(original);
    g.calendar = c;
    g.kind = k;
    g.earliest = e;
    g.latest = l;
    g.phrase = std::move(phrase);
    return g;
}

// ---- the two texts of a single point ----

struct PointCase {
    DatePoint point;
    std::string display, gedcom;
};

class PointForms : public testing::TestWithParam<PointCase> {};

TEST_P(PointForms, DisplayAndGedcom) {
    EXPECT_EQ(GetParam().point.display(), GetParam().display);
    EXPECT_EQ(GetParam().point.to_gedcom(), GetParam().gedcom);
}

INSTANTIATE_TEST_SUITE_P(
    Dates, PointForms,
    testing::Values(PointCase{pt(1882, 1, 5), "5 January 1882", "5 JAN 1882"},
                    PointCase{pt(1882, 1), "January 1882", "JAN 1882"},
                    PointCase{pt(1882), "1882", "1882"},
                    PointCase{pt(-500), "-500", "500 BCE"},
                    PointCase{pt(-500, 1, 1), "1 January -500", "1 JAN 500 BCE"},
                    PointCase{pt(0), "0", "0"},
                    PointCase{pt(9999, 12, 31), "31 December 9999", "31 DEC 9999"},
                    PointCase{pt(5, 2, 3), "3 February 5", "3 FEB 5"},
                    PointCase{pt(1900, 6), "June 1900", "JUN 1900"},
                    PointCase{pt(1900, 9, 30), "30 September 1900", "30 SEP 1900"},
                    // A day without a month shows the year alone.
                    PointCase{pt(1882, std::nullopt, 5), "1882", "1882"},
                    // Extreme years do not overflow.
                    PointCase{pt(INT32_MIN), "-2147483648", "2147483648 BCE"},
                    PointCase{pt(INT32_MAX), "2147483647", "2147483647"}));

TEST(MonthTables, AllTwelveAndNothingElse) {
    const char* names[] = {"January", "February", "March",     "April",   "May",      "June",
                           "July",    "August",   "September", "October", "November", "December"};
    const char* abbr[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    for (std::uint8_t m = 1; m <= 12; ++m) {
        EXPECT_EQ(dates::month_display_name(m), names[m - 1]);
        EXPECT_EQ(dates::month_abbreviation(m), abbr[m - 1]);
        EXPECT_EQ(pt(1900, m).to_gedcom(), std::string(abbr[m - 1]) + " 1900");
    }
    for (std::uint8_t m : {0, 13, 255}) {
        EXPECT_EQ(dates::month_display_name(m), "");
        EXPECT_EQ(dates::month_abbreviation(m), "");
    }
}

// ---- display of a reading (built directly, independent of the reader) ----

struct DisplayCase {
    GedcomDate date;
    std::string display;
};

class Display : public testing::TestWithParam<DisplayCase> {};

TEST_P(Display, ByKind) { EXPECT_EQ(GetParam().date.display(), GetParam().display); }

const auto G = Calendar::Gregorian;

INSTANTIATE_TEST_SUITE_P(
    Dates, Display,
    testing::Values(
        DisplayCase{reading(G, DateKind::Exact, pt(1882, 1, 5), pt(1882, 1, 5)), "5 January 1882"},
        DisplayCase{reading(G, DateKind::About, pt(1900), pt(1900)), "about 1900"},
        DisplayCase{reading(G, DateKind::Calculated, pt(1900, 3), pt(1900, 3)), "calculated March 1900"},
        DisplayCase{reading(G, DateKind::Estimated, pt(1900), pt(1900)), "estimated 1900"},
        DisplayCase{reading(G, DateKind::Before, std::nullopt, pt(1900)), "before 1900"},
        DisplayCase{reading(G, DateKind::After, pt(1900), std::nullopt), "after 1900"},
        DisplayCase{reading(G, DateKind::Interpreted, pt(1900), pt(1900), "census"), "interpreted as 1900"},
        DisplayCase{reading(G, DateKind::Between, pt(1900), pt(1910)), "between 1900 and 1910"},
        DisplayCase{reading(G, DateKind::Between, pt(1900), std::nullopt), "between 1900"},
        DisplayCase{reading(G, DateKind::Between, std::nullopt, pt(1910)), "between 1910"},
        DisplayCase{reading(G, DateKind::Period, pt(1900), pt(1910)), "from 1900 to 1910"},
        DisplayCase{reading(G, DateKind::Period, pt(1900), std::nullopt), "from 1900"},
        DisplayCase{reading(G, DateKind::Period, std::nullopt, pt(1910)), "to 1910"},
        DisplayCase{reading(G, DateKind::Exact, pt(-500), pt(-500)), "-500"},
        // Neither point: the text as written, trimmed (any kind).
        DisplayCase{reading(G, DateKind::Period, std::nullopt, std::nullopt, std::nullopt, "  FROM sometime \t"),
                    "FROM sometime"},
        DisplayCase{reading(G, DateKind::Unparsed, std::nullopt, std::nullopt, "x", "\u00a0 who knows \u3000"),
                    "who knows"},
        DisplayCase{reading(G, DateKind::Unparsed, std::nullopt, std::nullopt, "", ""), ""}));

// ---- the GEDCOM forms by rule, from built readings ----

struct FormCase {
    std::string name;
    GedcomDate date;
    Opt v7, v551;
};

class Forms : public testing::TestWithParam<FormCase> {};

TEST_P(Forms, SevenAndFiveFiveOne) {
    EXPECT_EQ(GetParam().date.to_gedcom_7(), GetParam().v7);
    EXPECT_EQ(GetParam().date.to_gedcom_5_5_1(), GetParam().v551);
}

const auto J = Calendar::Julian;
const auto H = Calendar::Hebrew;
const auto F = Calendar::FrenchRepublican;

INSTANTIATE_TEST_SUITE_P(
    Dates, Forms,
    testing::Values(
        // Calendars: a word in 7.0, an escape in 5.5.1, before every point.
        FormCase{"julian_between", reading(J, DateKind::Between, pt(1700), pt(1710)),
                 "BET JULIAN 1700 AND JULIAN 1710", "BET @#DJULIAN@ 1700 AND @#DJULIAN@ 1710"},
        FormCase{"julian_about", reading(J, DateKind::About, pt(1700), pt(1700)), "ABT JULIAN 1700",
                 "ABT @#DJULIAN@ 1700"},
        FormCase{"julian_period", reading(J, DateKind::Period, pt(1700, 1), pt(1710, 2, 3)),
                 "FROM JULIAN JAN 1700 TO JULIAN 3 FEB 1710", "FROM @#DJULIAN@ JAN 1700 TO @#DJULIAN@ 3 FEB 1710"},
        FormCase{"hebrew_year", reading(H, DateKind::Exact, pt(5780), pt(5780)), "HEBREW 5780", std::nullopt},
        FormCase{"hebrew_month", reading(H, DateKind::Exact, pt(5780, 1), pt(5780, 1)), std::nullopt,
                 std::nullopt},
        FormCase{"hebrew_month_on_latest", reading(H, DateKind::Between, pt(5780), pt(5781, 2)), std::nullopt,
                 std::nullopt},
        FormCase{"french_year", reading(F, DateKind::Before, std::nullopt, pt(10)), "BEF FRENCH_R 10",
                 std::nullopt},
        FormCase{"roman", reading(Calendar::Roman, DateKind::Exact, pt(5), pt(5)), std::nullopt, std::nullopt},
        FormCase{"unknown", reading(Calendar::Unknown, DateKind::Exact, pt(5), pt(5)), std::nullopt,
                 std::nullopt},
        // Negative years only in the Gregorian calendar.
        FormCase{"bce", reading(G, DateKind::Exact, pt(-500), pt(-500)), "500 BCE", "500 B.C."},
        FormCase{"bce_day", reading(G, DateKind::About, pt(-500, 1, 1), pt(-500, 1, 1)), "ABT 1 JAN 500 BCE",
                 "ABT 1 JAN 500 B.C."},
        FormCase{"bce_julian", reading(J, DateKind::Exact, pt(-500), pt(-500)), std::nullopt, std::nullopt},
        FormCase{"bce_hebrew_latest", reading(H, DateKind::Period, pt(10), pt(-1)), std::nullopt, std::nullopt},
        // Points each kind needs.
        FormCase{"before_with_only_earliest", reading(G, DateKind::Before, pt(1900), std::nullopt), std::nullopt,
                 std::nullopt},
        FormCase{"before", reading(G, DateKind::Before, std::nullopt, pt(1900)), "BEF 1900", "BEF 1900"},
        FormCase{"after", reading(G, DateKind::After, pt(1900), std::nullopt), "AFT 1900", "AFT 1900"},
        FormCase{"after_without_earliest", reading(G, DateKind::After, std::nullopt, pt(1900)), std::nullopt,
                 std::nullopt},
        FormCase{"between_half", reading(G, DateKind::Between, pt(1900), std::nullopt), std::nullopt,
                 std::nullopt},
        FormCase{"between_other_half", reading(G, DateKind::Between, std::nullopt, pt(1900)), std::nullopt,
                 std::nullopt},
        FormCase{"period_to", reading(G, DateKind::Period, std::nullopt, pt(1910)), "TO 1910", "TO 1910"},
        FormCase{"period_from", reading(G, DateKind::Period, pt(1900), std::nullopt), "FROM 1900", "FROM 1900"},
        FormCase{"period_empty", reading(G, DateKind::Period, std::nullopt, std::nullopt), std::nullopt,
                 std::nullopt},
        FormCase{"calculated", reading(G, DateKind::Calculated, pt(1900), pt(1900)), "CAL 1900", "CAL 1900"},
        FormCase{"estimated", reading(G, DateKind::Estimated, pt(1900), pt(1900)), "EST 1900", "EST 1900"},
        FormCase{"unparsed", reading(G, DateKind::Unparsed, std::nullopt, std::nullopt, "x"), std::nullopt,
                 std::nullopt},
        // Phrases: dropped in 7.0; only an exact or interpreted date carries one in 5.5.1.
        FormCase{"exact_phrase", reading(G, DateKind::Exact, pt(1900), pt(1900), "a (b) c"), "1900",
                 "INT 1900 (a [b] c)"},
        FormCase{"interpreted_phrase", reading(J, DateKind::Interpreted, pt(1700), pt(1700), "x"), "JULIAN 1700",
                 "INT @#DJULIAN@ 1700 (x)"},
        FormCase{"interpreted_no_phrase", reading(G, DateKind::Interpreted, pt(1900), pt(1900)), "1900",
                 std::nullopt},
        FormCase{"about_phrase", reading(G, DateKind::About, pt(1900), pt(1900), "story"), "ABT 1900",
                 std::nullopt},
        FormCase{"phrase_brackets", reading(G, DateKind::Exact, pt(1900), pt(1900), ")(x))"), "1900",
                 "INT 1900 (][x]])"}));

// ---- the dual suffix, from built readings (the original text carries the dual year) ----

INSTANTIATE_TEST_SUITE_P(
    DualYears, Forms,
    testing::Values(
        FormCase{"consecutive", reading(G, DateKind::Exact, pt(1699), pt(1699), std::nullopt, "1699/00"),
                 std::nullopt, "1699/00"},
        FormCase{"suffix_wraps", reading(G, DateKind::Exact, pt(1999), pt(1999), std::nullopt, "1999/2000"),
                 std::nullopt, "1999/00"},
        FormCase{"suffix_zero_padded", reading(G, DateKind::About, pt(1704, 2, 10), pt(1704, 2, 10),
                                               std::nullopt, "ABT 10 FEB 1704/5"),
                 std::nullopt, "ABT 10 FEB 1704/05"},
        FormCase{"not_consecutive_exact", reading(G, DateKind::Exact, pt(1699), pt(1699), std::nullopt,
                                                  " 1699/1701 "),
                 std::nullopt, "INT 1699 (1699/1701)"},
        FormCase{"not_consecutive_exact_keeps_phrase",
                 reading(G, DateKind::Exact, pt(1699), pt(1699), "note", "1699/1701 (note)"), std::nullopt,
                 "INT 1699 (note)"},
        FormCase{"not_consecutive_about", reading(G, DateKind::About, pt(1699), pt(1699), std::nullopt,
                                                  "ABT 1699/1701"),
                 std::nullopt, std::nullopt},
        FormCase{"julian_dual_exact", reading(J, DateKind::Exact, pt(1699), pt(1699), std::nullopt,
                                              "@#DJULIAN@ 1699/00"),
                 std::nullopt, "INT @#DJULIAN@ 1699 (@#DJULIAN@ 1699/00)"},
        FormCase{"julian_dual_about", reading(J, DateKind::About, pt(1699), pt(1699), std::nullopt,
                                              "@#DJULIAN@ ABT 1699/00"),
                 std::nullopt, std::nullopt},
        FormCase{"dual_in_phrase_other_year", reading(G, DateKind::Exact, pt(1700), pt(1700), "1699/00",
                                                      "1700 (1699/00)"),
                 std::nullopt, "INT 1700 (1699/00)"},
        FormCase{"dual_in_phrase_same_year", reading(G, DateKind::Exact, pt(1699), pt(1699), "old style 1699/00",
                                                     "1699 (old style 1699/00)"),
                 std::nullopt, "INT 1699/00 (old style 1699/00)"},
        // In a range each point takes the dual year written for its own year.
        FormCase{"range_both_dual", reading(G, DateKind::Between, pt(1699), pt(1709), std::nullopt,
                                            "BET 1699/00 AND 1709/10"),
                 std::nullopt, "BET 1699/00 AND 1709/10"},
        FormCase{"range_first_dual", reading(G, DateKind::Between, pt(1699), pt(1710), std::nullopt,
                                             "BET 1699/00 AND 1710"),
                 std::nullopt, "BET 1699/00 AND 1710"},
        FormCase{"range_second_dual", reading(G, DateKind::Period, pt(1690), pt(1699), std::nullopt,
                                              "FROM 1690 TO 1699/00"),
                 std::nullopt, "FROM 1690 TO 1699/00"},
        FormCase{"range_same_year", reading(G, DateKind::Between, pt(1699), pt(1699, 3), std::nullopt,
                                            "BET 1699/00 AND MAR 1699/00"),
                 std::nullopt, "BET 1699/00 AND MAR 1699/00"},
        // A later dual year of the text that does not name the next year gives no suffix.
        FormCase{"range_second_not_consecutive", reading(G, DateKind::Between, pt(1699), pt(1709), std::nullopt,
                                                         "BET 1699/00 AND 1709/12"),
                 std::nullopt, "BET 1699/00 AND 1709"},
        FormCase{"negative_with_dual", reading(G, DateKind::Exact, pt(-5), pt(-5), std::nullopt, "5 BCE 1699/00"),
                 std::nullopt, "INT 5 B.C. (5 BCE 1699/00)"}));

// ---- whole payloads through the reader ----

struct PayloadCase {
    std::string text;
    std::string display;
    Opt v7, v551;
};

class Payloads : public testing::TestWithParam<PayloadCase> {};

TEST_P(Payloads, ReadThenWrite) {
    GedcomDate d = GedcomDate::parse(GetParam().text);
    EXPECT_EQ(d.display(), GetParam().display);
    EXPECT_EQ(d.to_gedcom_7(), GetParam().v7);
    EXPECT_EQ(d.to_gedcom_5_5_1(), GetParam().v551);
}

INSTANTIATE_TEST_SUITE_P(
    Dates, Payloads,
    testing::Values(
        PayloadCase{"ABT 5 JAN 1882", "about 5 January 1882", "ABT 5 JAN 1882", "ABT 5 JAN 1882"},
        PayloadCase{"BET 1900 AND 1910", "between 1900 and 1910", "BET 1900 AND 1910", "BET 1900 AND 1910"},
        PayloadCase{"BET 1900 AND soon", "between 1900", std::nullopt, std::nullopt},
        PayloadCase{"FROM 1900", "from 1900", "FROM 1900", "FROM 1900"},
        PayloadCase{"TO 1910", "to 1910", "TO 1910", "TO 1910"},
        PayloadCase{"FROM sometime", "FROM sometime", std::nullopt, std::nullopt},
        PayloadCase{"BEF 1900", "before 1900", "BEF 1900", "BEF 1900"},
        PayloadCase{"@#DJULIAN@ 1 JAN 1700", "1 January 1700", "JULIAN 1 JAN 1700", "@#DJULIAN@ 1 JAN 1700"},
        PayloadCase{"@#DJULIAN@ BET 1700 AND 1710", "between 1700 and 1710", "BET JULIAN 1700 AND JULIAN 1710",
                    "BET @#DJULIAN@ 1700 AND @#DJULIAN@ 1710"},
        PayloadCase{"@#DHEBREW@ 5780", "5780", "HEBREW 5780", std::nullopt},
        PayloadCase{"@#DHEBREW@ 1 JAN 5780", "1 January 5780", std::nullopt, std::nullopt},
        PayloadCase{"@#DROMAN@ 5", "5", std::nullopt, std::nullopt},
        PayloadCase{"@#DUNKNOWN@ 5", "5", std::nullopt, std::nullopt},
        PayloadCase{"500 BCE", "-500", "500 BCE", "500 B.C."},
        PayloadCase{"@#DJULIAN@ 500 BCE", "-500", std::nullopt, std::nullopt},
        PayloadCase{"1699/00", "1699", std::nullopt, "1699/00"},
        PayloadCase{"ABT 10 JAN 1699/00", "about 10 January 1699", std::nullopt, "ABT 10 JAN 1699/00"},
        PayloadCase{"1699/1701", "1699", std::nullopt, "INT 1699 (1699/1701)"},
        PayloadCase{"ABT 1699/1701", "about 1699", std::nullopt, std::nullopt},
        PayloadCase{"1900 (about then)", "1900", "1900", "INT 1900 (about then)"},
        PayloadCase{"1900 (a (b) c)", "1900", "1900", "INT 1900 (a [b] c)"},
        PayloadCase{"ABT 1900 (family story)", "about 1900", "ABT 1900", std::nullopt},
        PayloadCase{"INT 1900 (census)", "interpreted as 1900", "1900", "INT 1900 (census)"},
        PayloadCase{"INT 1900", "interpreted as 1900", "1900", std::nullopt},
        PayloadCase{"  sometime in 1850s ", "sometime in 1850s", std::nullopt, std::nullopt},
        PayloadCase{"", "", std::nullopt, std::nullopt},
        PayloadCase{"circa 1900", "about 1900", "ABT 1900", "ABT 1900"},
        PayloadCase{"ENTRE 1900 ET 1910", "between 1900 and 1910", "BET 1900 AND 1910", "BET 1900 AND 1910"},
        PayloadCase{"VON 1900 BIS 1910", "from 1900 to 1910", "FROM 1900 TO 1910", "FROM 1900 TO 1910"},
        PayloadCase{"5 janvier 1882", "5 January 1882", "5 JAN 1882", "5 JAN 1882"},
        PayloadCase{"1882-01-05", "5 January 1882", "5 JAN 1882", "5 JAN 1882"},
        PayloadCase{"<1900>", "about 1900", "ABT 1900", "ABT 1900"},
        PayloadCase{"après 1900", "after 1900", "AFT 1900", "AFT 1900"}));

// ---- sort key, precision, year hint ----

struct KeyCase {
    std::string text;
    std::optional<std::int64_t> sort_key;
    int precision;
    std::optional<std::int32_t> year_hint;
};

class Keys : public testing::TestWithParam<KeyCase> {};

TEST_P(Keys, SortPrecisionYear) {
    GedcomDate d = GedcomDate::parse(GetParam().text);
    EXPECT_EQ(d.sort_key(), GetParam().sort_key);
    EXPECT_EQ(d.precision(), GetParam().precision);
    EXPECT_EQ(d.year_hint(), GetParam().year_hint);
}

INSTANTIATE_TEST_SUITE_P(
    Dates, Keys,
    testing::Values(KeyCase{"JAN 1882", 18820100, 2, 1882}, KeyCase{"1882", 18820000, 1, 1882},
                    KeyCase{"5 JAN 1882", 18820105, 3, 1882}, KeyCase{"BEF 1900", 19000000, 0, 1900},
                    KeyCase{"TO 1910", 19100000, 0, 1910}, KeyCase{"500 BCE", -5000000, 1, -500},
                    KeyCase{"1 JAN 500 BCE", -4999899, 3, -500},
                    KeyCase{"sometime in 1850s", 18500000, 0, 1850},
                    KeyCase{"0900 or 1900", 19000000, 0, 1900}, KeyCase{"circa 850 AD", std::nullopt, 0, std::nullopt},
                    KeyCase{"year 3000 or 12345", std::nullopt, 0, std::nullopt},
                    KeyCase{"a 12345 b 999 c 2999", 29990000, 0, 2999}, KeyCase{"", std::nullopt, 0, std::nullopt},
                    KeyCase{"BEF 500 BCE", std::nullopt, 0, std::nullopt},
                    KeyCase{"FROM 1900 TO 1910", 19000000, 1, 1900}, KeyCase{"0", 0, 1, 0}));

TEST(Keys, HintScansOnlyTheOriginalWhenThereIsNoEarliest) {
    GedcomDate d = reading(G, DateKind::Before, std::nullopt, pt(1950), std::nullopt, "x 1000 y");
    EXPECT_EQ(d.year_hint(), 1000);
    EXPECT_EQ(d.sort_key(), 10000000);
    EXPECT_EQ(d.precision(), 0);
}

}  // namespace
}  // namespace pellorine
