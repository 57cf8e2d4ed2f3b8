// Reading whole DATE payloads: keywords, calendars, phrases and one table per
// rule, real payloads from the published files, and hostile input.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "dates.hpp"
#include "json.hpp"
#include "text.hpp"

using namespace pellorine;
using namespace pellorine::dates;

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

std::string json_entries(const GedcomDate& d) {
    json::Writer w;
    w.begin_object();
    d.write_json_entries(w);
    w.end_object();
    return w.take();
}

// Each text reads as expected (not checked when empty), keeps its original,
// and gives valid UTF-8 JSON.
void check(const std::vector<std::pair<std::string, std::string>>& cases) {
    for (const auto& [text, expected] : cases) {
        GedcomDate d = GedcomDate::parse(text);
        EXPECT_EQ(d.original, text);
        if (!expected.empty()) {
            EXPECT_EQ(show(d), expected) << "text: \"" << text.substr(0, 60) << "\"";
        }
        EXPECT_TRUE(text::is_valid_utf8(json_entries(d))) << text.substr(0, 60);
    }
}

TEST(DateRead, Readings) {
    check({
        // A calendar at the start.
        {"@#DJULIAN@ 1 JAN 1700", "Julian Exact 1700-1-1 1700-1-1"}, {"@#Djulian@1700", "Julian Exact 1700 1700"},
        {"@#DUNKNOWN@ 1700", "Unknown Exact 1700 1700"}, {"@#D@ 1700", "Unknown Exact 1700 1700"},
        {"@#D HEBREW @ 5780", "Hebrew Exact 5780 5780"}, {"@#DFRENCH R@ 11", "FrenchRepublican Exact 11 11"},
        {"@#DFRENCH_R@ 11", "FrenchRepublican Exact 11 11"}, {"@#DROMAN@ 5", "Roman Exact 5 5"},
        {"@#DJULIAN 1700", "Unparsed - - [@#DJULIAN 1700]"}, {"ROMAN 5", "Roman Exact 5 5"},
        {"julian 1700", "Unparsed - - [julian 1700]"}, {"JULIAN", "Unparsed - - [JULIAN]"},
        {"JULIAN\t1700", "Unparsed - - [JULIAN\t1700]"}, {"FRENCH R 11", "Unparsed - - [FRENCH R 11]"},
        {"FRENCH_R 1 VEND 10", "FrenchRepublican Unparsed - - [FRENCH_R 1 VEND 10]"},
        // A phrase in parentheses.
        {"1900 (about then)", "Exact 1900 1900 [about then]"}, {"(unknown)", "Unparsed - - [unknown]"},
        {"1900 ()", "Exact 1900 1900"}, {"1900 )(", "Exact 1900 1900"}, {"( )", "Unparsed - - [( )]"},
        {"5 JAN (x) 1900", "Exact 1900-1-5 1900-1-5 [x]"}, {"nothing (x)", "Unparsed - - [x]"},
        // Ranges.
        {"between 1900 and 1910", "Between 1900 1910"}, {"BET 1900 AND soon", "Between 1900 -"},
        {"BET soon AND 1910", "Between - 1910"}, {"BET x AND y", "Unparsed - - [BET x AND y]"},
        {"1900 AND 1910", "Unparsed - - [1900 AND 1910]"}, {"BET 1900 ET 1910 AND 1920", "Between - 1920"},
        // Periods.
        {"DU 1 JAN 1900 AU 2 FEB 1910", "Period 1900-1-1 1910-2-2"}, {"FROM 1900 TO soon", "Period 1900 -"},
        {"from x to y", "Period - -"},  // no side reads, so "FROM" opens a period
        {"from1900", "Period 1900 -"}, {"FROM sometime (x)", "Period - - [x]"}, {"FROM", "Unparsed - - [FROM]"},
        {"TO sometime", "Period - -"},
        // A qualified point.
        {"ABT. 1900", "About 1900 1900"}, {"abt1900", "About 1900 1900"}, {"BEF 1900", "Before - 1900"},
        {"ABT nothing", "Unparsed - - [ABT nothing]"}, {"ABT", "Unparsed - - [ABT]"},
        // Keywords: ASCII case, a space or a digit after them, never a tab or
        // another letter; a character whose lowercase is ASCII ("K" KELVIN SIGN)
        // or two code points (a capital I with a dot).
        {"BET 1900 AnD  1910", "Between 1900 1910"}, {"BET 1900\tAND 1910", "Unparsed - - [BET 1900\tAND 1910]"},
        {"BET 1900\xC2\xA0" "AND 1910", "Unparsed - - [BET 1900\xC2\xA0" "AND 1910]"},
        {"BET 1900 ANDY 1910", "Unparsed - - [BET 1900 ANDY 1910]"}, {"ABT.", "Unparsed - - [ABT.]"},
        {"ABTX 1900", "Unparsed - - [ABTX 1900]"}, {"ABT\t1900", "Unparsed - - [ABT\t1900]"},
        {"BEFORE1900", "Before - 1900"}, {"fo\xCC\xB8r 1900", "Unparsed - - [fo\xCC\xB8r 1900]"},
        {"\xFF" "ABT 1900", "Unparsed - - [\xFF" "ABT 1900]"}, {"OM\xE2\x84\xAARING 1900", "About 1900 1900"},
        {"cir\xE2\x84\xAA" "a 1900", "About 1900 1900"}, {"\xC4\xB0NT 1900", "Unparsed - - [\xC4\xB0NT 1900]"},
        // Angle brackets, and a plain point.
        {"< 5 JAN 1900 >", "About 1900-1-5 1900-1-5"}, {"<>", "Unparsed - - [<>]"},
        {"<x>", "Unparsed - - [<x>]"}, {"<1900", "Exact 1900 1900"}, {"  5 JAN 1882  ", "Exact 1882-1-5 1882-1-5"},
        {"", "Unparsed - - []"}, {"\xE3\x80\x80\xC2\xA0", "Unparsed - - []"},
        {"  sometime  ", "Unparsed - - [sometime]"},
        // A calendar right before a point, else before the whole date, else the
        // Gregorian: one reading has one calendar, so points in two are unparsed;
        // a side that does not read names none.
        {"BET @#DJULIAN@ 1700 AND @#DJULIAN@ 1710", "Julian Between 1700 1710"},
        {"@#DJULIAN@ BET @#DJULIAN@ 1700 AND 1710", "Julian Between 1700 1710"},
        {"BET GREGORIAN 1700 AND 1710", "Between 1700 1710"}, {"BET HEBREW x AND 1710", "Between - 1710"},
        {"BET @#DJULIAN@ 1700 AND soon", "Julian Between 1700 -"},
        {"FROM @#DHEBREW@ 5400 TO 1700", "Unparsed - - [FROM @#DHEBREW@ 5400 TO 1700]"},
        {"FROM 1 JAN 1700 TO @#DJULIAN@ 1 FEB 1700 (x)", "Unparsed - - [x]"},
        {"FROM @#DJULIAN@ 1700 TO @#DGREGORIAN@ 1710 (x)", "Unparsed - - [x]"},
        {"BET JULIAN 1700 AND GREGORIAN 1710 (x)", "Unparsed - - [x]"},
        {"FROM @#DJULIAN@ 1700 TO 1710 (x)", "Unparsed - - [x]"},
        {"@#DJULIAN@ FROM 1700 TO HEBREW 1710", "Julian Unparsed - - [@#DJULIAN@ FROM 1700 TO HEBREW 1710]"},
        {"BEF JULIAN 1700 (note)", "Julian Before - 1700 [note]"}, {"ABT @#DUNKNOWN@ 68", "Unknown About 68 68"},
        {"JULIAN ABT HEBREW 1700", "Julian Unparsed - - [JULIAN ABT HEBREW 1700]"},
        {"ABT julian 1700", "Unparsed - - [ABT julian 1700]"}, {"<JULIAN 1700>", "Julian About 1700 1700"},
        {"BET JULIAN x AND JULIAN y", "Unparsed - - [BET JULIAN x AND JULIAN y]"},
        // Payloads as they stand in the published files under testdata.
        {"21 NOV 1952 IF", "Unparsed - - [21 NOV 1952 IF]"}, {"1 APR 1872/73", "Exact 1872-4-1 1872-4-1"},
        {"(Possibly 13 May 1502 - Jan/Mar 1503/4)", "Unparsed - - [Possibly 13 May 1502 - Jan/Mar 1503/4]"},
        {"10+", "Exact 10 10"}, {"1088 (or 1101?) ", "Exact 1088 1088 [or 1101?]"},
        {"17 0ct 1986", "Unparsed - - [17 0ct 1986]"}, {"ABT 16 AUG 918/49", "About 918-8-16 918-8-16"},
        {"ABT FRENCH_R 11 FLOR 92", "FrenchRepublican Unparsed - - [ABT FRENCH_R 11 FLOR 92]"},
        {"ABT UNKNOWN 68", "Unparsed - - [ABT UNKNOWN 68]"}, {"AFT GREGORIAN 12 NOV 90 B.C.", "After -90-11-12 -"},
        {"BEF JULIAN 1519/14", "Julian Before - 1519"}, {"BET 01 JAN AND 31 AUG 1977", "Between - 1977-8-31"},
        {"BET. 1817 - 1822", "Unparsed - - [BET. 1817 - 1822]"}, {"8/9 JUL 1457", "Unparsed - - [8/9 JUL 1457]"},
        {"@#DFRENCH R@ 25 VEND 2", "FrenchRepublican Unparsed - - [@#DFRENCH R@ 25 VEND 2]"},
    });
}

TEST(DateJson, Entries) {
    const std::pair<std::string, std::string> cases[] = {
        {"", R"("original":"","calendar":"Gregorian","kind":"Unparsed","earliest":null,"latest":null,"phrase":"")"},
        {"@#DFRENCH R@ FROM 3",
         R"("original":"@#DFRENCH R@ FROM 3","calendar":"FrenchRepublican","kind":"Period",)"
         R"("earliest":{"year":3,"month":null,"day":null},"latest":null,"phrase":null)"},
        {" BEF 5 JAN 500 BCE (\"q\") ",
         R"("original":" BEF 5 JAN 500 BCE (\"q\") ","calendar":"Gregorian","kind":"Before",)"
         R"("earliest":null,"latest":{"year":-500,"month":1,"day":5},"phrase":"\"q\"")"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(json_entries(GedcomDate::parse(text)), "{" + expected + "}");
}

std::string repeat(std::string_view piece, std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += piece;
    return s;
}

// Reading never fails and never stalls, and its JSON is always valid UTF-8.
TEST(DateRead, HostileInput) {
    const std::string nul("\0", 1);
    check({
        {nul, "Unparsed - - [" + nul + "]"}, {std::string("19\0" "00", 5), ""}, {"   \t\n ", "Unparsed - - []"},
        {"/", "Unparsed - - [/]"}, {"//", "Unparsed - - [//]"},
        {"18446744073709553516", "Unparsed - - [18446744073709553516]"},  // 2^64 + 1900
        {"1 JAN 99999999999999999999", "Unparsed - - [1 JAN 99999999999999999999]"},
        {"99999999999999999999/99999999999999999999/99999999999999999999", ""}, {"1699/99999999999999999999", ""},
        {"32 JAN 1900", "Unparsed - - [32 JAN 1900]"}, {"1 MONTH13 1900", "Unparsed - - [1 MONTH13 1900]"},
        {"\xD9\xA1\xD9\xA9\xD9\xA0\xD9\xA0", "Unparsed - - [\xD9\xA1\xD9\xA9\xD9\xA0\xD9\xA0]"},
        {"\xE4\xB8\x80\xE4\xB9\x9D\xE3\x80\x87\xE3\x80\x87\xE5\xB9\xB4", ""},
        {"\xD0\xAF\xD0\xBD\xD0\xB2\xD0\xB0\xD1\x80\xD1\x8C 1900", ""}, {"\xFF\xFE 1900", "Exact 1900 1900"},
        {"@#D", "Unparsed - - [@#D]"}, {repeat("ABT ", 10000) + "1900", ""},
        {repeat("BET ", 10000) + "1900 AND 1910", "Between - 1910"}, {"BET 1900" + repeat(" AND", 10000) + " 1910", ""},
        {repeat("FROM ", 10000) + "1900", ""}, {repeat("@#DJULIAN@ ", 10000) + "1700", ""},
        {repeat("ABT JULIAN ", 10000) + "1700", ""}, {"1900" + repeat(" BCE", 10001), "Exact -1900 -1900"},
        {repeat("(", 10000) + "1900" + repeat(")", 10000), ""}, {repeat("<", 10000) + "1900" + repeat(">", 10000), ""},
        {repeat("1/", 10000) + "1", ""}, {repeat("1699/00 ", 10000), ""},
        {repeat("de ", 10000) + "1900", "Exact 1900 1900"}, {repeat("\xE2\x84\xAA", 100000), ""},
        {repeat(";", 100000) + "1900", ""},
    });
}

}  // namespace
