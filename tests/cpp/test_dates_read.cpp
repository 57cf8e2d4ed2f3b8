// Reading whole DATE payloads: keywords, calendars, phrases and one table per
// rule, and hostile input.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "dates.hpp"

using namespace pellorine;

namespace {

std::string show(const std::optional<DatePoint>& p) {
    if (!p) return "-";
    std::string s = std::to_string(p->year);
    if (p->month) s.append("-").append(std::to_string(*p->month));
    if (p->day) s.append("-").append(std::to_string(*p->day));
    return s;
}

// A reading in one line: "[Calendar ]Kind earliest latest [phrase]", the
// calendar only when it is not Gregorian.
std::string show(const GedcomDate& d) {
    std::string s = d.calendar == Calendar::Gregorian ? "" : std::string(calendar_name(d.calendar)) + " ";
    s += std::string(kind_name(d.kind)) + " " + show(d.earliest) + " " + show(d.latest);
    if (d.phrase) s += " [" + *d.phrase + "]";
    return s;
}

// Each text reads as expected (not checked when empty) and keeps its original.
void check(const std::vector<std::pair<std::string, std::string>>& cases) {
    for (const auto& [text, expected] : cases) {
        GedcomDate d = GedcomDate::parse(text);
        EXPECT_EQ(d.original, text);
        if (expected.empty()) continue;
        EXPECT_EQ(show(d), expected) << "text: \"" << text.substr(0, 60) << "\"";
    }
}

TEST(DateRead, Readings) {
    check({
        // A calendar at the start.
        {"@#DJULIAN@ 1 JAN 1700", "Julian Exact 1700-1-1 1700-1-1"}, {"@#Djulian@1700", "Julian Exact 1700 1700"},
        {"@#D@ 1700", "Unknown Exact 1700 1700"}, {"@#D HEBREW @ 5780", "Hebrew Exact 5780 5780"},
        {"@#DFRENCH R@ 11", "FrenchRepublican Exact 11 11"}, {"@#DFRENCH_R@ 11", "FrenchRepublican Exact 11 11"},
        {"@#DROMAN@ 5", "Roman Exact 5 5"}, {"@#DJULIAN 1700", "Unparsed - - [@#DJULIAN 1700]"},
        {"julian 1700", "Unparsed - - [julian 1700]"}, {"JULIAN", "Unparsed - - [JULIAN]"},
        {"JULIAN\t1700", "Unparsed - - [JULIAN\t1700]"},
        {"FRENCH_R 1 VEND 10", "FrenchRepublican Unparsed - - [FRENCH_R 1 VEND 10]"},
        // A phrase in parentheses.
        {"1900 (about then)", "Exact 1900 1900 [about then]"}, {"(unknown)", "Unparsed - - [unknown]"},
        {"1900 ()", "Exact 1900 1900"}, {"( )", "Unparsed - - [( )]"},
        {"5 JAN (x) 1900", "Exact 1900-1-5 1900-1-5 [x]"},
        // Ranges and periods.
        {"between 1900 and 1910", "Between 1900 1910"}, {"BET 1900 AND soon", "Between 1900 -"},
        {"BET soon AND 1910", "Between - 1910"}, {"BET x AND y", "Unparsed - - [BET x AND y]"},
        {"BET 1900 ET 1910 AND 1920", "Between - 1920"}, {"DU 1 JAN 1900 AU 2 FEB 1910", "Period 1900-1-1 1910-2-2"},
        {"FROM 1900 TO soon", "Period 1900 -"}, {"from x to y", "Period - -"},  // no side reads: "FROM" opens a period
        {"FROM", "Unparsed - - [FROM]"}, {"TO sometime", "Period - -"},
        // A qualified point.
        {"ABT. 1900", "About 1900 1900"}, {"abt1900", "About 1900 1900"}, {"CAL 1900", "Calculated 1900 1900"},
        {"EST 1900", "Estimated 1900 1900"}, {"BEF 1900", "Before - 1900"},
        {"AFT GREGORIAN 12 NOV 90 B.C.", "After -90-11-12 -"}, {"INT 1900 (census)", "Interpreted 1900 1900 [census]"},
        {"ABT nothing", "Unparsed - - [ABT nothing]"}, {"ABT", "Unparsed - - [ABT]"},
        // Keywords: ASCII case, a space or a digit after them, never a tab or
        // another letter; a character whose lowercase is ASCII ("K" KELVIN SIGN)
        // or two code points (a capital I with a dot).
        {"BET 1900 AnD  1910", "Between 1900 1910"}, {"BET 1900\tAND 1910", "Unparsed - - [BET 1900\tAND 1910]"},
        {"ABTX 1900", "Unparsed - - [ABTX 1900]"}, {"ABT\t1900", "Unparsed - - [ABT\t1900]"},
        {"BEFORE1900", "Before - 1900"}, {"OM\xE2\x84\xAARING 1900", "About 1900 1900"},
        {"\xC4\xB0NT 1900", "Unparsed - - [\xC4\xB0NT 1900]"},
        // Angle brackets, and a plain point.
        {"< 5 JAN 1900 >", "About 1900-1-5 1900-1-5"}, {"<>", "Unparsed - - [<>]"}, {"<x>", "Unparsed - - [<x>]"},
        {"  5 JAN 1882  ", "Exact 1882-1-5 1882-1-5"}, {"\xE3\x80\x80\xC2\xA0", "Unparsed - - []"},
        // A calendar right before a point, else before the whole date, else the
        // Gregorian: one reading has one calendar, so points in two are unparsed;
        // a side that does not read names none.
        {"BET @#DJULIAN@ 1700 AND @#DJULIAN@ 1710", "Julian Between 1700 1710"},
        {"@#DJULIAN@ BET @#DJULIAN@ 1700 AND 1710", "Julian Between 1700 1710"},
        {"BET GREGORIAN 1700 AND 1710", "Between 1700 1710"}, {"BET HEBREW x AND 1710", "Between - 1710"},
        {"FROM @#DHEBREW@ 5400 TO 1700", "Unparsed - - [FROM @#DHEBREW@ 5400 TO 1700]"},
        {"FROM 1 JAN 1700 TO @#DJULIAN@ 1 FEB 1700 (x)", "Unparsed - - [x]"},
        {"BET JULIAN 1700 AND GREGORIAN 1710 (x)", "Unparsed - - [x]"},
        {"@#DJULIAN@ FROM 1700 TO HEBREW 1710", "Julian Unparsed - - [@#DJULIAN@ FROM 1700 TO HEBREW 1710]"},
        {"BEF JULIAN 1700 (note)", "Julian Before - 1700 [note]"},
        {"JULIAN ABT HEBREW 1700", "Julian Unparsed - - [JULIAN ABT HEBREW 1700]"},
        // A point that names its month in words takes none from digits (a published payload).
        {"8/9 JUL 1457", "Unparsed - - [8/9 JUL 1457]"},
    });
}

std::string repeat(std::string_view piece, std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += piece;
    return s;
}

// Reading never fails and never stalls, however often a keyword repeats.
TEST(DateRead, HostileInput) {
    const std::string nul("\0", 1);
    check({
        {nul, "Unparsed - - [" + nul + "]"}, {"   \t\n ", "Unparsed - - []"},
        {"18446744073709553516", "Unparsed - - [18446744073709553516]"},  // 2^64 + 1900
        {"1 JAN 99999999999999999999", "Unparsed - - [1 JAN 99999999999999999999]"},
        {"99999999999999999999/99999999999999999999/99999999999999999999", ""},
        {"\xD9\xA1\xD9\xA9\xD9\xA0\xD9\xA0", "Unparsed - - [\xD9\xA1\xD9\xA9\xD9\xA0\xD9\xA0]"},
        {"\xFF\xFE 1900", "Exact 1900 1900"}, {"\xFF" "ABT 1900", "Unparsed - - [\xFF" "ABT 1900]"},
        {"@#D", "Unparsed - - [@#D]"}, {repeat("ABT ", 10000) + "1900", ""},
        {repeat("BET ", 10000) + "1900 AND 1910", "Between - 1910"}, {"BET 1900" + repeat(" AND", 10000) + " 1910", ""},
        {repeat("FROM ", 10000) + "1900", ""}, {repeat("@#DJULIAN@ ", 10000) + "1700", ""},
        {"1900" + repeat(" BCE", 10001), "Exact -1900 -1900"}, {repeat("de ", 10000) + "1900", "Exact 1900 1900"},
        {repeat("\xE2\x84\xAA", 100000), ""},
    });
}

}  // namespace
