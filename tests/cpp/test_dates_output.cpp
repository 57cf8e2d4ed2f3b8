// Output forms of date readings: display, GEDCOM 7.0 and 5.5.1 (absent where
// the grammar cannot hold the reading), sort keys, and round trips: reading a
// written form again gives the reading it was written from.
#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>
#include <vector>

#include "dates.hpp"

namespace pellorine {
namespace {

using M = std::optional<std::uint8_t>;

// "display | 7.0 | 5.5.1", "-" for an absent form.
std::string forms(const GedcomDate& d) {
    auto opt = [](const std::optional<std::string>& s) { return s ? *s : "-"; };
    return d.display() + " | " + opt(d.to_gedcom_7()) + " | " + opt(d.to_gedcom_5_5_1());
}

// The same calendar and points; the same kind except where the form cannot
// keep it (7.0 has no INT; a 5.5.1 form that needs a phrase is an INT).
void expect_same_reading(const GedcomDate& from, const std::string& form, bool five) {
    SCOPED_TRACE("payload \"" + from.original + "\" written as \"" + form + "\"");
    GedcomDate again = GedcomDate::parse(form);
    DateKind kind = from.kind;
    if (!five && kind == DateKind::Interpreted) kind = DateKind::Exact;
    if (five && kind == DateKind::Exact && form.starts_with("INT ")) kind = DateKind::Interpreted;
    EXPECT_EQ(std::tuple(again.calendar, again.kind, again.earliest, again.latest),
              std::tuple(from.calendar, kind, from.earliest, from.latest));
    // A form that can be written again is written the same way.
    auto twice = five ? again.to_gedcom_5_5_1() : again.to_gedcom_7();
    if (!twice && five) return;
    EXPECT_EQ(twice, form);
}

TEST(DateOutput, PointForms) {
    const std::tuple<DatePoint, std::string, std::string> cases[] = {
        {{1882, 1, 5}, "5 January 1882", "5 JAN 1882"}, {{1882, 12, M{}}, "December 1882", "DEC 1882"},
        {{-500, 1, 1}, "1 January -500", "1 JAN 500 BCE"}, {{0, M{}, M{}}, "0", "0"},
        {{1882, M{}, 5}, "1882", "1882"},  // a day without a month shows the year alone
        {{INT32_MIN, M{}, M{}}, "-2147483648", "2147483648 BCE"},
    };
    for (const auto& [p, display, gedcom] : cases)
        EXPECT_EQ(std::pair(p.display(), p.to_gedcom()), std::pair(display, gedcom));
}

TEST(DateOutput, ReadThenWrite) {
    const std::pair<std::string, std::string> cases[] = {
        {"ABT 5 JAN 1882", "about 5 January 1882 | ABT 5 JAN 1882 | ABT 5 JAN 1882"},
        {"CAL MAR 1900", "calculated March 1900 | CAL MAR 1900 | CAL MAR 1900"},
        {"EST 1900", "estimated 1900 | EST 1900 | EST 1900"}, {"BEF 1900", "before 1900 | BEF 1900 | BEF 1900"},
        {"après 1900", "after 1900 | AFT 1900 | AFT 1900"},
        {"ENTRE 1900 ET 1910", "between 1900 and 1910 | BET 1900 AND 1910 | BET 1900 AND 1910"},
        {"BET 1900 AND soon", "between 1900 | - | -"}, {"BET soon AND 1910", "between 1910 | - | -"},
        {"VON 1900 BIS 1910", "from 1900 to 1910 | FROM 1900 TO 1910 | FROM 1900 TO 1910"},
        {"FROM 1900", "from 1900 | FROM 1900 | FROM 1900"}, {"TO 1910", "to 1910 | TO 1910 | TO 1910"},
        {" FROM sometime\t", "FROM sometime | - | -"}, {"<1900>", "about 1900 | ABT 1900 | ABT 1900"},
        {"@#DJULIAN@ 1 JAN 1700", "1 January 1700 | JULIAN 1 JAN 1700 | @#DJULIAN@ 1 JAN 1700"},
        {"@#DJULIAN@ BET 1700 AND 1710",
         "between 1700 and 1710 | BET JULIAN 1700 AND JULIAN 1710 | BET @#DJULIAN@ 1700 AND @#DJULIAN@ 1710"},
        {"@#DHEBREW@ 5780", "5780 | HEBREW 5780 | -"}, {"@#DHEBREW@ 1 JAN 5780", "1 January 5780 | - | -"},
        {"FROM HEBREW 5780 TO HEBREW 5781", "from 5780 to 5781 | FROM HEBREW 5780 TO HEBREW 5781 | -"},
        {"@#DFRENCH R@ BEF 10", "before 10 | BEF FRENCH_R 10 | -"},
        {"@#DHEBREW@ BET 5780 AND FEB 5781", "between 5780 and February 5781 | - | -"},
        {"@#DHEBREW@ FROM 10 TO 1 BCE", "from 10 to -1 | - | -"}, {"@#DROMAN@ 5", "5 | - | -"},
        {"500 BCE", "-500 | 500 BCE | 500 B.C."}, {"@#DJULIAN@ 500 BCE", "-500 | - | -"},
        {"1999/2000", "1999 | - | 1999/00"}, {"ABT 10 FEB 1704/5", "about 10 February 1704 | - | ABT 10 FEB 1704/05"},
        {" 1699/1701 ", "1699 | - | INT 1699 (1699/1701)"}, {"1699/1701 (note)", "1699 | - | INT 1699 (note)"},
        {"ABT 1699/1701", "about 1699 | - | -"},
        {"@#DJULIAN@ 1699/00", "1699 | - | INT @#DJULIAN@ 1699 (@#DJULIAN@ 1699/00)"},
        {"5 BCE (1699/00)", "-5 | - | INT 5 B.C. (1699/00)"}, {"1700 (1699/00)", "1700 | - | INT 1700 (1699/00)"},
        {"1699 (old style 1699/00)", "1699 | - | INT 1699/00 (old style 1699/00)"},
        {"BET 1699/00 AND 1709/10", "between 1699 and 1709 | - | BET 1699/00 AND 1709/10"},
        {"FROM 1690 TO 1699/00", "from 1690 to 1699 | - | FROM 1690 TO 1699/00"},
        {"BET 1699/00 AND 1709/12", "between 1699 and 1709 | - | BET 1699/00 AND 1709"},
        {"1900 (a (b) c)", "1900 | 1900 | INT 1900 (a [b] c)"}, {"ABT 1900 (x)", "about 1900 | ABT 1900 | -"},
        {"INT @#DJULIAN@ 1700 (census)", "interpreted as 1700 | JULIAN 1700 | INT @#DJULIAN@ 1700 (census)"},
        {"INT 1900", "interpreted as 1900 | 1900 | -"}, {"\xC2\xA0 who knows \xE3\x80\x80", "who knows | - | -"},
        // A dual year needs three or four digits before its slash to read as
        // one, so a year below 100 is padded when its 5.5.1 form carries it.
        {"011/2", "11 | - | 011/12"}, {"FROM 0070/1", "from 70 | - | FROM 070/71"}, {"000/1", "0 | - | 000/01"},
        {"5 JAN 099/100", "5 January 99 | - | 5 JAN 099/00"},
        {"BET 050/1 AND 060/1", "between 50 and 60 | - | BET 050/51 AND 060/61"},
        {"ABT 0999/1000", "about 999 | - | ABT 999/00"},  // three digits already read back
    };
    for (const auto& [text, expected] : cases) {
        GedcomDate d = GedcomDate::parse(text);
        EXPECT_EQ(forms(d), expected) << text;
        if (auto form = d.to_gedcom_7()) expect_same_reading(d, *form, false);
        if (auto form = d.to_gedcom_5_5_1()) expect_same_reading(d, *form, true);
    }
    // Readings the reader never makes still write soundly.
    const DatePoint y{1900, M{}, M{}};
    const auto none = std::nullopt;
    EXPECT_EQ(forms({"x", Calendar::Gregorian, DateKind::Before, y, none, none}), "before 1900 | - | -");
    EXPECT_EQ(forms({"x", Calendar::Gregorian, DateKind::After, none, y, none}), "after 1900 | - | -");
}

TEST(DateOutput, SortKeyPrecisionYearHint) {
    const std::tuple<std::string, std::optional<std::int64_t>, int, std::optional<std::int32_t>> cases[] = {
        {"JAN 1882", 18820100, 2, 1882}, {"BEF 1900", 19000000, 0, 1900}, {"1 JAN 500 BCE", -4999899, 3, -500},
        {"0900 or 1900", 19000000, 0, 1900}, {"circa 850 AD", std::nullopt, 0, std::nullopt},
        {"a 12345 b 3000 c 2999", 29990000, 0, 2999}, {"BEF 500 BCE", std::nullopt, 0, std::nullopt}, {"0", 0, 1, 0},
    };
    for (const auto& [text, key, precision, hint] : cases) {
        GedcomDate d = GedcomDate::parse(text);
        EXPECT_EQ(std::tuple(d.sort_key(), int(d.precision()), d.year_hint()), std::tuple(key, precision, hint))
            << text;
    }
}

std::string shape(std::string_view pattern, const std::string& a, const std::string& b) {
    std::string out(pattern);
    if (auto at = out.find("{}"); at != std::string::npos) out.replace(at, 2, a);
    if (auto at = out.find("{}"); at != std::string::npos) out.replace(at, 2, b);
    return out;
}

TEST(DateRoundTrip, GeneratedPayloads) {
    const std::vector<std::string> calendars{"", "@#DJULIAN@ ", "JULIAN ", "@#DHEBREW@ ", "FRENCH_R ",
                                             "@#DFRENCH R@ ", "@#DROMAN@ ", "@#DGREGORIAN@ "};
    const std::vector<std::string> kinds{"{}", "ABT {}", "CAL {}", "EST {}", "BEF {}", "AFT {}", "BET {} AND {}",
                                         "FROM {} TO {}", "FROM {}", "TO {}", "INT {} (x)", "{} (a (b) c)",
                                         "ABT {} (story)", "INT {}", "<{}>", "après {}"};
    const std::vector<std::string> points{"1900", "JAN 1900", "5 JAN 1900", "1 JAN 500 B.C.", "1699/00",
                                          "10 JAN 1699/00", "1699/1701", "1999/2000", "12", "1882-01-05"};
    std::size_t seven = 0, five = 0;  // how many forms were written
    for (const auto& cal : calendars)
        for (const auto& kind : kinds)
            for (const auto& a : points)  // the calendar before the whole payload, then before each point
                for (const auto& text : {cal + shape(kind, a, "1709/10"), shape(kind, cal + a, cal + "400 BCE")}) {
                    GedcomDate d = GedcomDate::parse(text);
                    if (auto form = d.to_gedcom_7()) ++seven, expect_same_reading(d, *form, false);
                    if (auto form = d.to_gedcom_5_5_1()) ++five, expect_same_reading(d, *form, true);
                }
    EXPECT_GT(seven, 400u);
    EXPECT_GT(five, 300u);
}

}  // namespace
}  // namespace pellorine
