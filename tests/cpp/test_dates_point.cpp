// Reading calendar points: numeric forms, tokens, month names and filler
// words in any letter case, dual years and BCE years.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dates.hpp"
#include "text.hpp"

using namespace pellorine;
using namespace pellorine::dates;

namespace {

std::string show(const std::optional<DatePoint>& p) {
    if (!p) return "none";
    return std::to_string(p->year) + "-" + (p->month ? std::to_string(*p->month) : "?") + "-" +
           (p->day ? std::to_string(*p->day) : "?");
}

TEST(DatePointRead, CaseTable) {
    const std::pair<std::string, std::string> cases[] = {
        {"...,;", "none"}, {" 1900 ,.; ", "1900-?-?"}, {"5. Januar 1882", "1882-1-5"},
        {"5\xC2\xA0JAN\xC2\xA0" "1882", "1882-1-5"}, {"JAN 1882", "1882-1-?"}, {"5 1882", "1882-5-?"},
        {"0", "0-?-?"}, {"10000", "none"},
        // numeric triples
        {"05.01.1882", "1882-1-5"}, {"01/05/1882", "1882-1-5"}, {"1882/01/05", "1882-1-5"},
        {"13/05/1882", "1882-?-?"}, {"1882-01-32", "1882-1-?"}, {"999/1/300", "300-?-?"}, {"1/5/12345", "none"},
        {"1882-01-05-07", "7-1-5"},  // four parts are no triple
        // BCE years, and a dual year in the last word
        {"500 B.C.", "-500-?-?"}, {"1 JAN 500 bce", "-500-1-1"}, {"500 BC", "none"}, {"500 Bce", "none"},
        {"BCE", "none"}, {"10 JAN 1699/00", "1699-1-10"},
        // three and four tokens
        {"10 01 1882", "1882-1-10"}, {"05 13 1882", "1882-5-13"}, {"40 05 1882", "none"},
        {"January 5th 1882", "1882-1-5"}, {"10th January 1882", "none"}, {"Sunday January 10 1882", "1882-1-10"},
        {"Sunday Funday 10 1882", "none"}, {"1 2 3 4 5", "none"},
        // a month named in words: none from digits
        {"8/9 JUL 1457", "none"}, {"JUL 8/9 1457", "1457-7-8"},
        // one token: a day, a month (a number, a name, an English prefix) or a year
        {"0 JAN 1882", "none"}, {"32 JAN 1882", "none"}, {"256 JAN 1882", "none"},
        {"0000000000000031 JAN 1882", "1882-1-31"}, {"05 0000000000000012 1882", "1882-12-5"},
        {"5 septembe 1882", "1882-9-5"}, {"5 ja 1882", "none"}, {"5 septembers 1882", "none"},
        {"5 (March) 1882", "1882-3-5"}, {"5 O\xE2\x84\xAAT 1882", "1882-10-5"},  // KELVIN SIGN lowercases to "k"
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(show(parse_point(text)), expected) << text;
}

// Every name of the month table and every filler word, in upper case: none is
// too long for the lowercasing buffer of the ASCII path.
TEST(DatePointRead, TableWordsInUpperCase) {
    for (const MonthName& m : month_table()) EXPECT_EQ(month_number(text::ascii_uppercase(m.name)), m.month) << m.name;
    for (std::string_view f : fillers())
        EXPECT_EQ(show(parse_point("5 " + text::ascii_uppercase(f) + " JAN 1900")), "1900-1-5") << f;
}

// Runs of digits and of other characters; one without a letter or digit is dropped.
TEST(DatePointRead, SplitRuns) {
    const std::pair<std::string_view, std::vector<std::string_view>> cases[] = {
        {"10th", {"10", "th"}}, {"1699/00", {"1699", "00"}}, {"Jan.", {"Jan."}}, {"-JAN-", {"-JAN-"}}, {"", {}},
        {"-", {}}, {"\u00e95\u2013", {"\u00e9", "5"}}};
    for (const auto& [word, runs] : cases) EXPECT_EQ(split_runs(word), runs) << word;
}

TEST(DatePointRead, DualYears) {
    const std::pair<std::string, std::string> whole[] = {
        {"1699/1700", "1699-?-?"}, {"850/1", "850-?-?"}, {"99/00", "none"}, {"1699/", "none"}, {"16990/00", "none"},
        {"1699/0a", "none"},
    };
    for (const auto& [text, expected] : whole) EXPECT_EQ(show(parse_dual_year(text)), expected) << text;
    using Pair = std::optional<std::pair<std::int32_t, std::int32_t>>;
    const std::pair<std::string, Pair> anywhere[] = {
        {"1699/00", std::pair{1699, 1700}}, {"1699/1700", std::pair{1699, 1700}}, {"1699/1650", std::pair{1699, 1650}},
        {"1699/9", std::pair{1699, 1709}}, {"10/11/1699", std::nullopt}, {"90/85", std::nullopt},
        {"12/1699/00", std::nullopt}, {"1699/00/01 1700/01", std::pair{1700, 1701}},
        {"1699/99999999999", std::nullopt}, {"1699/00000000000000000001", std::pair{1699, 1}},
    };
    for (const auto& [text, expected] : anywhere) EXPECT_EQ(dual_year(text), expected) << text;
}

TEST(DatePointValue, FromYmdSortKeyAndJson) {
    using O8 = std::optional<std::uint8_t>;
    const std::tuple<O8, O8, bool> ymd[] = {
        {std::nullopt, std::nullopt, true}, {12, 31, true}, {0, std::nullopt, false}, {13, std::nullopt, false},
        {1, 0, false}, {1, 32, false}, {std::nullopt, 5, false},
    };
    for (const auto& [m, d, present] : ymd) EXPECT_EQ(DatePoint::from_ymd(1900, m, d).has_value(), present);
    EXPECT_EQ(DatePoint::from_ymd(1900, 2, 31), (DatePoint{1900, 2, 31}));
    const std::tuple<DatePoint, std::int64_t, std::string> cases[] = {
        {{1882, 1, std::nullopt}, 18820100, R"({"year":1882,"month":1,"day":null})"},
        {{-500, 12, 31}, -4998769, R"({"year":-500,"month":12,"day":31})"},
        {{2147483647, 12, 31}, 21474836471231LL, R"({"year":2147483647,"month":12,"day":31})"},
    };
    for (const auto& [p, key, json] : cases) EXPECT_EQ(std::pair(p.sort_key(), p.to_json()), std::pair(key, json));
}

}  // namespace
