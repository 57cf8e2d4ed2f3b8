// Reading calendar points: the numeric forms, tokens, month names, dual years
// and BCE years.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dates.hpp"

using namespace pellorine;
using namespace pellorine::dates;

namespace {

std::string show(const std::optional<DatePoint>& p) {
    if (!p) return "none";
    std::string s = std::to_string(p->year);
    s += '-';
    s += p->month ? std::to_string(*p->month) : std::string("?");
    s += '-';
    s += p->day ? std::to_string(*p->day) : std::string("?");
    return s;
}

struct PointCase {
    std::string text;
    std::string expected;  // "year-month-day" with "?" for absent parts, or "none"
};

// Every rule of point reading, one row per behaviour.
const PointCase point_cases[] = {
    // empty and punctuation
    {"", "none"},
    {";", "none"},
    {"...,;", "none"},
    {"   ", "none"},
    {"1900;", "1900-?-?"},
    {"1900.", "1900-?-?"},
    {" 1900 ,.; ", "1900-?-?"},
    // the standard form and its variants
    {"5 JAN 1882", "1882-1-5"},
    {"5 Jan 1882", "1882-1-5"},
    {"5 janvier 1882", "1882-1-5"},
    {"5. Januar 1882", "1882-1-5"},
    {"5 de enero de 1882", "1882-1-5"},
    {"le 5 janvier 1882", "1882-1-5"},
    {"January 5, 1882", "1882-1-5"},
    {"Jan. 5 1882", "1882-1-5"},
    {"5\xC2\xA0JAN\xC2\xA0" "1882", "1882-1-5"},
    {"5,JAN,1882", "1882-1-5"},
    {"5 OF JANUARY 1882", "1882-1-5"},
    {"JAN 1882", "1882-1-?"},
    {"1882", "1882-?-?"},
    {"5 1882", "1882-5-?"},
    {"0", "0-?-?"},
    {"10000", "none"},
    {"99999999999999999999999", "none"},
    {"JAN", "none"},
    {"FOO 1882", "none"},
    // numeric triples
    {"05.01.1882", "1882-1-5"},
    {"5.1.1882", "1882-1-5"},
    {"5-1-1882", "1882-1-5"},
    {"01/05/1882", "1882-1-5"},
    {"1/5/1882", "1882-1-5"},
    {"1882-01-05", "1882-1-5"},
    {"1882/01/05", "1882-1-5"},
    {"1882.01.05", "1882-1-5"},
    {"13/05/1882", "1882-?-?"},
    {"1882-13-05", "1882-?-?"},
    {"1882-01-32", "1882-1-?"},
    {"05.00.1882", "1882-?-?"},
    {"5/1/300", "300-5-1"},
    {"999/1/300", "300-?-?"},
    {"1/5/12345", "none"},
    {"1/5/99999999999999999999", "none"},
    {"1882-01-05-07", "7-1-5"},  // four tokens, read as written
    {"1882--05", "none"},
    {"1.5/1882", "1882-5-1"},
    // BCE years
    {"500 BCE", "-500-?-?"},
    {"500 B.C.", "-500-?-?"},
    {"500bce", "-500-?-?"},
    {"500 b.c.", "-500-?-?"},
    {"1 JAN 500 BCE", "-500-1-1"},
    {"500 BC", "none"},
    {"500 Bce", "none"},
    {"BCE", "none"},
    {"x BCE", "none"},
    {"1699/00 BCE", "-1699-?-?"},
    {"0 BCE", "0-?-?"},
    // dual years
    {"1699/00", "1699-?-?"},
    {"1699/1700", "1699-?-?"},
    {"850/1", "850-?-?"},
    {"10 JAN 1699/00", "1699-1-10"},
    {"1 APR 1872/73", "1872-4-1"},
    {"JAN 1699/00", "1699-1-?"},
    {"99/00", "none"},
    {"1699/", "1699-?-?"},  // a token: the year before the slash
    // three tokens
    {"10 05 1882", "1882-5-10"},
    {"05 13 1882", "1882-5-13"},
    {"40 05 1882", "none"},
    {"January 5th 1882", "1882-1-5"},
    {"10th January 1882", "none"},
    {"5 January 1882", "1882-1-5"},
    {"5 Foo 1882", "none"},
    {"32 JAN 1882", "none"},
    {"0 JAN 1882", "none"},
    // four tokens
    {"Sunday January 10 1882", "1882-1-10"},
    {"January 10 th 1882", "1882-1-10"},
    {"Sunday Funday 10 1882", "none"},
    {"1 2 3 4 5", "none"},
    {"a b c d e f g", "none"},
    // filler words do not count as tokens
    {"de de de 1882", "1882-?-?"},
    {"le 5 de mai de 1882", "1882-5-5"},
};

TEST(DatePointRead, CaseTable) {
    for (const auto& c : point_cases) {
        EXPECT_EQ(show(parse_point(c.text)), c.expected) << "text: \"" << c.text << "\"";
    }
}

struct YearCase {
    std::string token;
    std::optional<std::int32_t> year;
};

TEST(DatePointRead, ParseYear) {
    const YearCase cases[] = {
        {"1900", 1900}, {"c1900", 1900}, {"1900s", 1900}, {"19th", 19},   {"12345", std::nullopt},
        {"9999", 9999}, {"0", 0},        {"0000", 0},     {"", std::nullopt}, {"abc", std::nullopt},
        {"1699/00", 1699}, {"19a00", std::nullopt}, {"(1900)", 1900}, {"-1900", 1900},
        {"99999999999999999999", std::nullopt}, {"01900", 1900},
    };
    for (const auto& c : cases) EXPECT_EQ(parse_year(c.token), c.year) << c.token;
}

struct SmallCase {
    std::string token;
    std::optional<std::uint8_t> value;
};

TEST(DatePointRead, ParseDay) {
    const SmallCase cases[] = {
        {"10th", 10}, {"32", std::nullopt}, {"0", std::nullopt}, {"31", 31}, {"1", 1},
        {"05", 5},    {"x5x", 5},           {"", std::nullopt},  {"1a2", std::nullopt},
        {"256", std::nullopt}, {"0000000000000000007", 7},
    };
    for (const auto& c : cases) EXPECT_EQ(parse_day(c.token), c.value) << c.token;
}

TEST(DatePointRead, MonthNumberByNumberAndPrefix) {
    const SmallCase cases[] = {
        {"05", 5},        {"012", 12},          {"1", 1},           {"12", 12},          {"13", std::nullopt},
        {"0", std::nullopt}, {"0000000000000012", 12}, {"256", std::nullopt},
        {"janu", 1},      {"sept", 9},          {"decem", 12},      {"septembe", 9},     {"SEPTEMBE", 9},
        {"ja", std::nullopt}, {"monday", std::nullopt}, {"septembers", std::nullopt},
        {"-JAN-", 1},     {"(March)", 3},       {"Jan.", 1},        {"", std::nullopt},  {"--", std::nullopt},
        {"JANUARY", 1},   {"F\xC3\x89VRIER", 2}, {"M\xC3\x84RZ", 3}, {"J\xC3\x84NNER", 1},
        {"AO\xC3\x9BT", 8}, {"D\xC3\x89" "C", 12}, {"febrer", std::nullopt},
        {"O\xE2\x84\xAAT", 10},  // KELVIN SIGN lowercases to "k"
    };
    for (const auto& c : cases) EXPECT_EQ(month_number(c.token), c.value) << c.token;
}

TEST(DatePointRead, EveryMonthNameInEveryCase) {
    const std::vector<std::pair<int, std::vector<std::string>>> names = {
        {1, {"jan", "janv", "enero", "januar", "january", "janvier", "januari", "gennaio", "j\u00e4nner"}},
        {2, {"feb", "f\u00e9v", "f\u00e9vr", "fevrier", "f\u00e9vrier", "febrero", "februar", "february", "februari",
             "febbraio"}},
        {3, {"mar", "mars", "marz", "march", "m\u00e4rz", "maerz", "marzo", "marts"}},
        {4, {"apr", "avr", "april", "avril", "abril", "aprile"}},
        {5, {"may", "mai", "mei", "mayo", "maggio"}},
        {6, {"jun", "june", "juin", "juni", "junio", "giugno"}},
        {7, {"jul", "july", "juil", "juli", "julio", "luglio", "juillet"}},
        {8, {"aug", "aout", "ao\u00fbt", "august", "agosto", "augusti"}},
        {9, {"sep", "sept", "september", "septembre", "settembre", "septiembre"}},
        {10, {"oct", "okt", "october", "octobre", "oktober", "ottobre", "octubre"}},
        {11, {"nov", "november", "novembre", "noviembre"}},
        {12, {"dec", "des", "d\u00e9c", "december", "decembre", "d\u00e9cembre", "dezember", "desember", "dicembre",
              "diciembre"}},
    };
    std::size_t total = 0;
    for (const auto& [month, list] : names) {
        for (const auto& name : list) {
            ++total;
            EXPECT_EQ(month_number(name), month) << name;
            // Upper case, ASCII and accented letters alike.
            std::string upper;
            for (char c : name) upper += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
            if (upper.find("\u00e4") != std::string::npos) upper.replace(upper.find("\u00e4"), 2, "\u00c4");
            if (upper.find("\u00e9") != std::string::npos) upper.replace(upper.find("\u00e9"), 2, "\u00c9");
            if (upper.find("\u00fb") != std::string::npos) upper.replace(upper.find("\u00fb"), 2, "\u00db");
            EXPECT_EQ(month_number(upper), month) << upper;
            // And inside a whole point.
            auto p = parse_point("5 " + name + " 1882");
            ASSERT_TRUE(p.has_value()) << name;
            EXPECT_EQ(p->month, month) << name;
            EXPECT_EQ(p->day, 5) << name;
        }
    }
    EXPECT_EQ(total, 84u);
}

struct RunsCase {
    std::string word;
    std::vector<std::string> runs;
};

TEST(DatePointRead, SplitRuns) {
    const RunsCase cases[] = {
        {"10th", {"10", "th"}},
        {"1699/00", {"1699", "00"}},
        {"Jan.", {"Jan."}},
        {"-JAN-", {"-JAN-"}},
        {"", {}},
        {"-", {}},
        {"a1b2", {"a", "1", "b", "2"}},
        {"1.-.2", {"1", "2"}},
        {"\xC3\xA9t\xC3\xA9" "12", {"\xC3\xA9t\xC3\xA9", "12"}},
        {"\xE2\x80\x94" "12", {"12"}},         // an em dash holds no letter
        {"\xD9\xA1\xD9\xA2", {"\xD9\xA1\xD9\xA2"}},  // Arabic-Indic digits are numeric, not ASCII digits
        {"\xFF" "12\xFE", {"12"}},              // stray bytes are no letters
    };
    for (const auto& c : cases) {
        auto got = split_runs(c.word);
        std::vector<std::string> s(got.begin(), got.end());
        EXPECT_EQ(s, c.runs) << c.word;
    }
}

TEST(DatePointRead, ParseDualYear) {
    const std::pair<std::string, std::optional<std::int32_t>> cases[] = {
        {"1699/00", 1699}, {"1699/1700", 1699}, {"850/1", 850},          {"99/00", std::nullopt},
        {"1699/", std::nullopt}, {"/00", std::nullopt}, {"16990/00", std::nullopt}, {"1699/0a", std::nullopt},
        {"1699/00/01", std::nullopt}, {"1699", std::nullopt}, {"a699/00", std::nullopt},
    };
    for (const auto& [text, year] : cases) {
        auto p = parse_dual_year(text);
        EXPECT_EQ(p.has_value(), year.has_value()) << text;
        if (p && year) {
            EXPECT_EQ(p->year, *year) << text;
            EXPECT_FALSE(p->month.has_value());
            EXPECT_FALSE(p->day.has_value());
        }
    }
}

TEST(DatePointRead, DualYearAnywhere) {
    using Pair = std::optional<std::pair<std::int32_t, std::int32_t>>;
    const std::pair<std::string, Pair> cases[] = {
        {"1699/00", std::pair{1699, 1700}},
        {"1699/1700", std::pair{1699, 1700}},
        {"1710/11", std::pair{1710, 1711}},
        {"1699/0", std::pair{1699, 1700}},
        {"1699/9", std::pair{1699, 1709}},
        {"10/11/1699", std::nullopt},
        {"ABT 10 JAN 1699/00 (x)", std::pair{1699, 1700}},
        {"1401/8", std::pair{1401, 1408}},
        {"918/49", std::pair{918, 949}},
        {"90/85", std::nullopt},
        {"1519/14", std::pair{1519, 1614}},
        {"1751/3", std::pair{1751, 1753}},
        {"1759/1", std::pair{1759, 1761}},
        {"1699/1650", std::pair{1699, 1650}},  // as many digits: taken as written
        {"1699/00/01 1700/01", std::pair{1700, 1701}},
        {"12/1699/00", std::nullopt},
        {"12/1699 1700/01", std::pair{1700, 1701}},
        {"1699/99999999999", std::nullopt},
        {"1699/00000000000000000001", std::pair{1699, 1}},
        {"no digits here", std::nullopt},
        {"1699/", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(dual_year(text), expected) << text;
}

TEST(DatePointValue, FromYmd) {
    using O8 = std::optional<std::uint8_t>;
    struct Case {
        O8 month, day;
        bool present;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt, true}, {1, std::nullopt, true}, {12, 31, true},  {0, std::nullopt, false},
        {13, std::nullopt, false},          {1, 0, false},           {1, 32, false},  {std::nullopt, 5, false},
        {2, 31, true},
    };
    for (const auto& c : cases) {
        auto p = DatePoint::from_ymd(1900, c.month, c.day);
        EXPECT_EQ(p.has_value(), c.present);
        if (p) {
            EXPECT_EQ(p->year, 1900);
            EXPECT_EQ(p->month, c.month);
            EXPECT_EQ(p->day, c.day);
        }
    }
}

TEST(DatePointValue, SortKeyAndJson) {
    struct Case {
        DatePoint p;
        std::int64_t key;
        std::string json;
    };
    const Case cases[] = {
        {{1882, 1, 5}, 18820105, R"({"year":1882,"month":1,"day":5})"},
        {{1882, 1, std::nullopt}, 18820100, R"({"year":1882,"month":1,"day":null})"},
        {{1900, std::nullopt, std::nullopt}, 19000000, R"({"year":1900,"month":null,"day":null})"},
        {{-500, std::nullopt, std::nullopt}, -5000000, R"({"year":-500,"month":null,"day":null})"},
        {{-500, 12, 31}, -4998769, R"({"year":-500,"month":12,"day":31})"},
        {{2147483647, 12, 31}, 21474836471231LL, R"({"year":2147483647,"month":12,"day":31})"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.p.sort_key(), c.key);
        EXPECT_EQ(c.p.to_json(), c.json);
    }
}

TEST(DatePointJson, StringEscapes) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain", R"("plain")"},
        {"a\"b\\c", R"("a\"b\\c")"},
        {"\n\r\t\b\f", R"("\n\r\t\b\f")"},
        {std::string("a\0b", 3), R"("a\u0000b")"},
        {"\x1f", R"("\u001f")"},
        {"\xC3\xA9", "\"\xC3\xA9\""},
        {"\xFF", R"("\ufffd")"},
        {"\xE2\x82", R"("\ufffd\ufffd")"},
        {"\xEF\xBF\xBD", "\"\xEF\xBF\xBD\""},
    };
    for (const auto& [in, out] : cases) {
        std::string s;
        append_json_string(s, in);
        EXPECT_EQ(s, out);
    }
}

}  // namespace
