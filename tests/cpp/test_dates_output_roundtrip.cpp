// Reading a 7.0 or 5.5.1 form again gives the reading it was written from:
// the same calendar and points, and the same kind except where the form itself
// cannot keep it (7.0 has no INT; a 5.5.1 form that needs a phrase is an INT).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "dates.hpp"

namespace pellorine {
namespace {

std::string shape(std::string_view pattern, std::string_view a, std::string_view b) {
    std::string out;
    bool first = true;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern.substr(i, 2) == "{}") {
            out += first ? a : b;
            first = false;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

// Calendars written once in front of everything, or before every point.
const std::vector<std::string> leading_calendars{
    "", "@#DGREGORIAN@ ", "@#DJULIAN@ ", "JULIAN ", "@#DHEBREW@ ", "HEBREW ", "@#DFRENCH R@ ", "FRENCH_R ",
    "@#DROMAN@ ", "@#DUNKNOWN@ "};
const std::vector<std::string> point_calendars{"JULIAN ", "@#DJULIAN@ ", "HEBREW ", "FRENCH_R ", "GREGORIAN "};

const std::vector<std::string> kinds{
    "{}",          "ABT {}",          "CAL {}",          "EST {}",           "BEF {}",
    "AFT {}",      "BET {} AND {}",   "FROM {} TO {}",   "FROM {}",          "TO {}",
    "INT {} (from a census)",         "{} (a (b) c)",    "ABT {} (story)",   "INT {}",
    "<{}>",        "between {} and {}", "VON {} BIS {}", "circa {}",         "après {}",
    "BET {} AND soon"};

const std::vector<std::string> firsts{"1900",     "JAN 1900",    "5 JAN 1900", "500 BCE",    "1 JAN 500 B.C.",
                                      "1699/00",  "10 JAN 1699/00", "1699/1701", "0",        "5780",
                                      "1999/2000", "31 DEC 9999", "12",         "MAR 44 BCE", "1882-01-05"};
const std::vector<std::string> seconds{"1910", "1709/10", "FEB 1910", "400 BCE", "1 JUN 1699/00"};

std::vector<std::string> payloads() {
    std::vector<std::string> out;
    for (const auto& cal : leading_calendars)
        for (const auto& kind : kinds)
            for (const auto& a : firsts)
                for (const auto& b : seconds) {
                    out.push_back(cal + shape(kind, a, b));
                    if (kind.find("{} AND {}") == std::string::npos && kind.find("{} TO {}") == std::string::npos)
                        break;  // one second point is enough for kinds with one point
                }
    // A calendar in front of each point, as the forms themselves write it.
    for (const auto& cal : point_calendars)
        for (const auto& kind : kinds)
            for (const auto& a : firsts)
                out.push_back(shape(kind, cal + a, cal + "1910"));
    // Odd spellings and partial dates.
    for (const char* s : {"abt1900", "ABT. 1900", "C1900", "vers 1900", "omkring 1900", "5. Januar 1882",
                          "le 5 janvier 1882", "January 5, 1882", "05.01.1882", "01/05/1882", "13/05/1882",
                          "Sunday January 10 1882", "5 1882", "FROM sometime", "TO sometime", "<1900>",
                          "ZWISCHEN 1900 UND 1910", "FRA 1900 TIL 1910", "SINCE 1900", "UNTIL 1910",
                          "1900 (about then)", "1700 (1699/00)", "1699 (old style 1699/00)", "1900 )(",
                          "@#DJULIAN@1700", "@#Djulian@ ABT 1700", "@#D@ 1700", "BET 1699/00 AND 1709/12",
                          "FROM 1690 TO 1699/00", "5 BCE 1699/00", "500bce", "9999", "0 BCE"})
        out.emplace_back(s);
    return out;
}

// A day without a month cannot be written in either grammar; the forms show
// such a point by its year.
std::optional<DatePoint> writable(std::optional<DatePoint> p) {
    if (p && !p->month) p->day.reset();
    return p;
}

void expect_same_reading(const GedcomDate& from, const GedcomDate& again, const std::string& form,
                         bool int_form_allowed) {
    SCOPED_TRACE("payload \"" + from.original + "\" written as \"" + form + "\"");
    EXPECT_EQ(again.calendar, from.calendar);
    EXPECT_EQ(again.earliest, writable(from.earliest));
    EXPECT_EQ(again.latest, writable(from.latest));
    DateKind expected = from.kind;
    if (!int_form_allowed && expected == DateKind::Interpreted) expected = DateKind::Exact;
    if (int_form_allowed && expected == DateKind::Exact && form.starts_with("INT ")) expected = DateKind::Interpreted;
    EXPECT_EQ(again.kind, expected);
}

TEST(RoundTrip, SevenFormReadsBackToTheSameReading) {
    std::size_t written = 0;
    for (const auto& text : payloads()) {
        GedcomDate d = GedcomDate::parse(text);
        auto form = d.to_gedcom_7();
        if (!form) continue;
        ++written;
        GedcomDate again = GedcomDate::parse(*form);
        expect_same_reading(d, again, *form, false);
        // Writing what was read gives the very same text.
        EXPECT_EQ(again.to_gedcom_7(), form) << "payload \"" << text << "\"";
        if (again.kind == d.kind) {
            EXPECT_EQ(again.display(), d.display()) << "payload \"" << text << "\"";
        }
    }
    EXPECT_GT(written, 700u);
}

TEST(RoundTrip, FiveFiveOneFormReadsBackToTheSameReading) {
    std::size_t written = 0, with_int = 0, with_dual = 0;
    for (const auto& text : payloads()) {
        GedcomDate d = GedcomDate::parse(text);
        auto form = d.to_gedcom_5_5_1();
        if (!form) continue;
        ++written;
        with_int += form->starts_with("INT ");
        with_dual += dates::dual_year(*form).has_value();
        GedcomDate again = GedcomDate::parse(*form);
        expect_same_reading(d, again, *form, true);
        if (again.kind == d.kind) {
            EXPECT_EQ(again.display(), d.display()) << "payload \"" << text << "\"";
        }
        // A form that can be written again is written the same way.
        if (auto twice = again.to_gedcom_5_5_1()) {
            EXPECT_EQ(*twice, *form) << "payload \"" << text << "\"";
        }
    }
    EXPECT_GT(written, 500u);
    EXPECT_GT(with_int, 20u);
    EXPECT_GT(with_dual, 20u);
}

// The DATE payloads of the published test files, taken from their lines as
// bytes (the reader takes any text, so no decoding is needed for this).
std::vector<std::string> testdata_payloads() {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(PELLORINE_TESTDATA, ec)) {
        if (!entry.is_regular_file()) continue;
        auto ext = entry.path().extension().string();
        if (ext != ".ged" && ext != ".GED") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::size_t pos = 0;
        while (pos < data.size()) {
            std::size_t end = data.find_first_of("\r\n", pos);
            if (end == std::string::npos) end = data.size();
            std::string_view line(data.data() + pos, end - pos);
            pos = end + 1;
            std::size_t i = line.find_first_not_of(" \t");
            if (i == std::string_view::npos || line[i] < '0' || line[i] > '9') continue;
            while (i < line.size() && line[i] >= '0' && line[i] <= '9') ++i;
            if (line.substr(i, 6) == " DATE ") out.emplace_back(line.substr(i + 6));
        }
    }
    return out;
}

TEST(RoundTrip, PayloadsOfTheTestFiles) {
    auto payloads = testdata_payloads();
    std::size_t seven = 0, five = 0;
    for (const auto& text : payloads) {
        GedcomDate d = GedcomDate::parse(text);
        if (auto form = d.to_gedcom_7()) {
            ++seven;
            GedcomDate again = GedcomDate::parse(*form);
            expect_same_reading(d, again, *form, false);
            EXPECT_EQ(again.to_gedcom_7(), form) << "payload \"" << text << "\"";
        }
        if (auto form = d.to_gedcom_5_5_1()) {
            ++five;
            expect_same_reading(d, GedcomDate::parse(*form), *form, true);
        }
    }
    EXPECT_GT(payloads.size(), 10000u);
    EXPECT_GT(seven, payloads.size() / 2);
    EXPECT_GT(five, payloads.size() / 2);
}

// Every calendar that has a form in a grammar keeps it when read back, including
// the calendar written before each point of a range.
struct CalendarCase {
    std::string text;
    std::optional<std::string> v7, v551;
};

class CalendarForms : public testing::TestWithParam<CalendarCase> {};

TEST_P(CalendarForms, WrittenBeforeEachPoint) {
    GedcomDate d = GedcomDate::parse(GetParam().text);
    EXPECT_EQ(d.to_gedcom_7(), GetParam().v7);
    EXPECT_EQ(d.to_gedcom_5_5_1(), GetParam().v551);
}

INSTANTIATE_TEST_SUITE_P(
    RoundTrip, CalendarForms,
    testing::Values(
        CalendarCase{"ABT JULIAN 1700", "ABT JULIAN 1700", "ABT @#DJULIAN@ 1700"},
        CalendarCase{"BET JULIAN 1700 AND JULIAN 1710", "BET JULIAN 1700 AND JULIAN 1710",
                     "BET @#DJULIAN@ 1700 AND @#DJULIAN@ 1710"},
        CalendarCase{"BET @#DJULIAN@ 1700 AND @#DJULIAN@ 1710", "BET JULIAN 1700 AND JULIAN 1710",
                     "BET @#DJULIAN@ 1700 AND @#DJULIAN@ 1710"},
        CalendarCase{"FROM HEBREW 5780 TO HEBREW 5781", "FROM HEBREW 5780 TO HEBREW 5781", std::nullopt},
        CalendarCase{"BEF FRENCH_R 10", "BEF FRENCH_R 10", std::nullopt},
        CalendarCase{"INT @#DJULIAN@ 1700 (x)", "JULIAN 1700", "INT @#DJULIAN@ 1700 (x)"},
        CalendarCase{"ABT @#DJULIAN@ 10 JAN 1699/00", std::nullopt, std::nullopt}));

}  // namespace
}  // namespace pellorine
