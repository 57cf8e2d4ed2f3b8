// Reading whole DATE payloads: calendars, phrases, keywords and kinds, one
// table per rule, real payloads from published files, and hostile input.
#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "dates.hpp"

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

// A reading in one line: "Calendar Kind earliest latest [phrase]".
std::string show(const GedcomDate& d) {
    std::string s = std::string(calendar_name(d.calendar)) + " " + std::string(kind_name(d.kind)) + " " +
                    show(d.earliest) + " " + show(d.latest);
    if (d.phrase) s += " [" + *d.phrase + "]";
    return s;
}

struct ReadCase {
    std::string text;
    std::string expected;
};

void check_table(const std::vector<ReadCase>& cases) {
    for (const auto& c : cases) {
        GedcomDate d = GedcomDate::parse(c.text);
        EXPECT_EQ(show(d), c.expected) << "text: \"" << c.text << "\"";
        EXPECT_EQ(d.original, c.text);
    }
}

TEST(DateKeywords, SplitKeyword) {
    struct Case {
        std::string text;
        std::optional<std::pair<std::string, std::string>> split;
    };
    const Case cases[] = {
        {"BET 1900 AND 1910", std::pair{"BET 1900", "1910"}},
        {"bet 1900 and 1910", std::pair{"bet 1900", "1910"}},
        {"BET 1900 AnD  1910", std::pair{"BET 1900", " 1910"}},
        {"AND 1910", std::nullopt},        // no space before the word
        {"1900 AND", std::nullopt},        // no space after it
        {"1900\tAND 1910", std::nullopt},  // only the ASCII space counts
        {"1900\xC2\xA0" "AND 1910", std::nullopt},
        {"1900 ANDY 1910", std::nullopt},
        {"x ET y AND z", std::pair{"x ET y", "z"}},  // the first word of the list wins
        {"x OG y", std::pair{"x", "y"}},
        {"a AND b AND c", std::pair{"a", "b AND c"}},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        auto got = split_keyword(c.text, range_joiners);
        ASSERT_EQ(got.has_value(), c.split.has_value()) << c.text;
        if (got) {
            EXPECT_EQ(std::string(got->first), c.split->first) << c.text;
            EXPECT_EQ(std::string(got->second), c.split->second) << c.text;
        }
    }
}

TEST(DateKeywords, StripKeyword) {
    struct Case {
        std::string text;
        std::span<const std::string_view> words;
        std::optional<std::string> rest;
    };
    const Case cases[] = {
        {"ABT 1900", about_words, "1900"},
        {"  abt.   1900  ", about_words, "1900"},
        {"ABT1900", about_words, "1900"},
        {"ABT", about_words, std::nullopt},
        {"ABT ", about_words, std::nullopt},
        {"ABT.", about_words, std::nullopt},
        {"ABTX 1900", about_words, std::nullopt},
        {"ABT\t1900", about_words, std::nullopt},
        {"CIRCA 1900", about_words, "1900"},
        {"CA. 1900", about_words, "1900"},
        {"CIR 1900", about_words, "1900"},
        {"C1900", about_words, "1900"},
        {"c. 1900", about_words, "1900"},
        {"VERSO 1900", about_words, "1900"},
        {"VERS 1900", about_words, "1900"},
        {"CAL 1900", about_words, std::nullopt},
        {"BEFORE1900", before_words, "1900"},
        {"BEF.1900", before_words, "1900"},
        {"f\xC3\xB8r 1900", before_words, "1900"},
        {"F\xC3\x98R 1900", before_words, "1900"},
        {"fo\xCC\xB8r 1900", before_words, std::nullopt},  // a combining stroke is another character
        {"apr\xC3\xA8s 1900", after_words, "1900"},
        {"APR\xC3\x88S 1900", after_words, "1900"},
        {"apres 1900", after_words, "1900"},
        {"OM\xE2\x84\xAARING 1900", about_words, "1900"},  // KELVIN SIGN lowercases to "k"
        {"\xFF" "ABT 1900", about_words, std::nullopt},
        {"", about_words, std::nullopt},
    };
    for (const auto& c : cases) {
        auto got = strip_keyword(c.text, c.words);
        ASSERT_EQ(got.has_value(), c.rest.has_value()) << c.text;
        if (got) {
            EXPECT_EQ(std::string(*got), *c.rest) << c.text;
        }
    }
}

TEST(DateKeywords, ListsHoldTheirWordsInOrder) {
    EXPECT_EQ(about_words.size(), 21u);
    EXPECT_EQ(before_words.size(), 7u);
    EXPECT_EQ(after_words.size(), 9u);
    // Longer words that share a beginning must come first.
    auto index = [](auto& list, std::string_view w) {
        return std::find(list.begin(), list.end(), w) - list.begin();
    };
    EXPECT_LT(index(about_words, "VERSO"), index(about_words, "VERS"));
    EXPECT_LT(index(about_words, "CIRCA"), index(about_words, "CA"));
    EXPECT_LT(index(about_words, "CIR"), index(about_words, "C"));
}

TEST(DateRead, CalendarAtTheStart) {
    check_table({
        {"@#DJULIAN@ 1 JAN 1700", "Julian Exact 1700-1-1 1700-1-1"},
        {"@#Djulian@1700", "Julian Exact 1700 1700"},
        {"@#DUNKNOWN@ 1700", "Unknown Exact 1700 1700"},
        {"@#D@ 1700", "Unknown Exact 1700 1700"},
        {"@#D HEBREW @ 5780", "Hebrew Exact 5780 5780"},
        {"@#DFRENCH R@ 11", "FrenchRepublican Exact 11 11"},
        {"@#DFRENCH_R@ 11", "FrenchRepublican Exact 11 11"},
        {"@#DGREGORIAN@ 31 DEC 1997", "Gregorian Exact 1997-12-31 1997-12-31"},
        {"@#DROMAN@ 5", "Roman Exact 5 5"},
        {"@#DJULIAN@", "Julian Unparsed - - [@#DJULIAN@]"},
        {"@#DJULIAN 1700", "Gregorian Unparsed - - [@#DJULIAN 1700]"},
        {"JULIAN 1700", "Julian Exact 1700 1700"},
        {"HEBREW 5780", "Hebrew Exact 5780 5780"},
        {"ROMAN 5", "Roman Exact 5 5"},
        {"GREGORIAN 1900", "Gregorian Exact 1900 1900"},
        {"julian 1700", "Gregorian Unparsed - - [julian 1700]"},
        {"JULIAN", "Gregorian Unparsed - - [JULIAN]"},
        {"JULIAN\t1700", "Gregorian Unparsed - - [JULIAN\t1700]"},
        {"FRENCH_R 1 VEND 10", "FrenchRepublican Unparsed - - [FRENCH_R 1 VEND 10]"},
        {"FRENCH R 11", "Gregorian Unparsed - - [FRENCH R 11]"},
        {"@#DFRENCH R@ 2 PLUV 1", "FrenchRepublican Unparsed - - [@#DFRENCH R@ 2 PLUV 1]"},
    });
}

TEST(DateRead, Phrase) {
    check_table({
        {"1900 (about then)", "Gregorian Exact 1900 1900 [about then]"},
        {"(unknown)", "Gregorian Unparsed - - [unknown]"},
        {"1900 ()", "Gregorian Exact 1900 1900"},
        {"1900 )(", "Gregorian Exact 1900 1900"},
        {"()", "Gregorian Unparsed - - [()]"},
        {"( )", "Gregorian Unparsed - - [( )]"},
        {"INT 1900 (from a census)", "Gregorian Interpreted 1900 1900 [from a census]"},
        {"1900 (a (b) c)", "Gregorian Exact 1900 1900 [a (b) c]"},
        {"ABT (x) 1900", "Gregorian About 1900 1900 [x]"},
        {"(x) 5 JAN 1900", "Gregorian Exact 1900-1-5 1900-1-5 [x]"},
        {"5 JAN (x) 1900", "Gregorian Exact 1900-1-5 1900-1-5 [x]"},
        {"nothing (x)", "Gregorian Unparsed - - [x]"},
        {"(  spaced  )  1900", "Gregorian Exact 1900 1900 [spaced]"},
    });
}

TEST(DateRead, RuleRange) {
    check_table({
        {"BET 1900 AND 1910", "Gregorian Between 1900 1910"},
        {"between 1900 and 1910", "Gregorian Between 1900 1910"},
        {"ENTRE 1900 ET 1910", "Gregorian Between 1900 1910"},
        {"ZWISCHEN 1900 UND 1910", "Gregorian Between 1900 1910"},
        {"MELLOM 1900 OG 1910", "Gregorian Between 1900 1910"},
        {"BET. 1900 AND 1910", "Gregorian Between 1900 1910"},
        {"BET 5 JAN 1900 AND 10 FEB 1910", "Gregorian Between 1900-1-5 1910-2-10"},
        {"BET 1900 AND soon", "Gregorian Between 1900 -"},
        {"BET soon AND 1910", "Gregorian Between - 1910"},
        {"BET x AND y", "Gregorian Unparsed - - [BET x AND y]"},
        {"1900 AND 1910", "Gregorian Unparsed - - [1900 AND 1910]"},
        {"BET 1900 AND 1910 AND 1920", "Gregorian Between 1900 -"},
        {"BET 1900 ET 1910 AND 1920", "Gregorian Between - 1920"},
        {"BET 1900\tAND 1910", "Gregorian Unparsed - - [BET 1900\tAND 1910]"},
    });
}

TEST(DateRead, RulePeriodWithBothEnds) {
    check_table({
        {"FROM 1900 TO 1910", "Gregorian Period 1900 1910"},
        {"VON 1900 BIS 1910", "Gregorian Period 1900 1910"},
        {"DE 1900 AU 1910", "Gregorian Period 1900 1910"},
        {"DU 1 JAN 1900 AU 2 FEB 1910", "Gregorian Period 1900-1-1 1910-2-2"},
        {"FRA 1900 TIL 1910", "Gregorian Period 1900 1910"},
        {"FROM 1900 TO soon", "Gregorian Period 1900 -"},
        {"from x to y", "Gregorian Period - -"},  // rule b fails, rule c holds it
        {"FROM APR 2000 TO 5 MAR 2001", "Gregorian Period 2000-4 2001-3-5"},
    });
}

TEST(DateRead, RuleOpenPeriods) {
    check_table({
        {"FROM 1900", "Gregorian Period 1900 -"},
        {"SINCE 1900", "Gregorian Period 1900 -"},
        {"from1900", "Gregorian Period 1900 -"},
        {"FROM sometime", "Gregorian Period - -"},
        {"FROM", "Gregorian Unparsed - - [FROM]"},
        {"TO 1910", "Gregorian Period - 1910"},
        {"UNTIL 1910", "Gregorian Period - 1910"},
        {"TO sometime", "Gregorian Period - -"},
        {"FROM sometime (x)", "Gregorian Period - - [x]"},
    });
}

TEST(DateRead, RuleQualifiedPoint) {
    check_table({
        {"ABT 1900", "Gregorian About 1900 1900"},
        {"ABT. 1900", "Gregorian About 1900 1900"},
        {"abt1900", "Gregorian About 1900 1900"},
        {"circa 1900", "Gregorian About 1900 1900"},
        {"ca 1900", "Gregorian About 1900 1900"},
        {"CA. 1900", "Gregorian About 1900 1900"},
        {"CIR 1900", "Gregorian About 1900 1900"},
        {"C1900", "Gregorian About 1900 1900"},
        {"vers 1900", "Gregorian About 1900 1900"},
        {"verso 1900", "Gregorian About 1900 1900"},
        {"omkring 1900", "Gregorian About 1900 1900"},
        {"Probably 1900", "Gregorian About 1900 1900"},
        {"ABT 5 JAN 1882", "Gregorian About 1882-1-5 1882-1-5"},
        {"ABT nothing", "Gregorian Unparsed - - [ABT nothing]"},
        {"ABT", "Gregorian Unparsed - - [ABT]"},
        {"CAL 1900", "Gregorian Calculated 1900 1900"},
        {"CALCULATED 1900", "Gregorian Calculated 1900 1900"},
        {"EST 1900", "Gregorian Estimated 1900 1900"},
        {"ESTIMATED 1900", "Gregorian Estimated 1900 1900"},
        {"EST nothing", "Gregorian Unparsed - - [EST nothing]"},
        {"BEF 1900", "Gregorian Before - 1900"},
        {"BEFORE1900", "Gregorian Before - 1900"},
        {"avant 1900", "Gregorian Before - 1900"},
        {"vor 1900", "Gregorian Before - 1900"},
        {"ANTES 1900", "Gregorian Before - 1900"},
        {"f\xC3\xB8r 1900", "Gregorian Before - 1900"},
        {"AFT 1900", "Gregorian After 1900 -"},
        {"AFTER 1900", "Gregorian After 1900 -"},
        {"apr\xC3\xA8s 1900", "Gregorian After 1900 -"},
        {"etter 1900", "Gregorian After 1900 -"},
        {"efter 1900", "Gregorian After 1900 -"},
        {"nach 1900", "Gregorian After 1900 -"},
        {"INT 1900", "Gregorian Interpreted 1900 1900"},
        {"INTERPRETED 5 JAN 1900 (x)", "Gregorian Interpreted 1900-1-5 1900-1-5 [x]"},
        {"ABT 500 BCE", "Gregorian About -500 -500"},
        {"ABT 10 JAN 1699/00", "Gregorian About 1699-1-10 1699-1-10"},
    });
}

TEST(DateRead, RuleAngleBrackets) {
    check_table({
        {"<1900>", "Gregorian About 1900 1900"},
        {"< 5 JAN 1900 >", "Gregorian About 1900-1-5 1900-1-5"},
        {"<>", "Gregorian Unparsed - - [<>]"},
        {"<x>", "Gregorian Unparsed - - [<x>]"},
        {"<unknown>", "Gregorian Unparsed - - [<unknown>]"},
        {"<1900", "Gregorian Exact 1900 1900"},  // no closing bracket: a plain point
    });
}

TEST(DateRead, RulePlainPointAndUnparsed) {
    check_table({
        {"5 JAN 1882", "Gregorian Exact 1882-1-5 1882-1-5"},
        {"  5 JAN 1882  ", "Gregorian Exact 1882-1-5 1882-1-5"},
        {"1882-01-05", "Gregorian Exact 1882-1-5 1882-1-5"},
        {"500 BCE", "Gregorian Exact -500 -500"},
        {"1699/00", "Gregorian Exact 1699 1699"},
        {"UNKNOWN", "Gregorian Unparsed - - [UNKNOWN]"},
        {"", "Gregorian Unparsed - - []"},
        {"   ", "Gregorian Unparsed - - []"},
        {"\xE3\x80\x80\xC2\xA0", "Gregorian Unparsed - - []"},
        {"  sometime  ", "Gregorian Unparsed - - [sometime]"},
    });
}

// Both grammars write the calendar before each point; such dates keep their
// calendar and their points.
TEST(DateRead, CalendarBeforeEachPoint) {
    check_table({
        {"ABT JULIAN 1700", "Julian About 1700 1700"},
        {"BET JULIAN 1700 AND JULIAN 1710", "Julian Between 1700 1710"},
        {"BET @#DJULIAN@ 1700 AND @#DJULIAN@ 1710", "Julian Between 1700 1710"},
        {"@#DJULIAN@ BET 1700 AND 1710", "Julian Between 1700 1710"},
        {"@#DJULIAN@ BET @#DJULIAN@ 1700 AND 1710", "Julian Between 1700 1710"},
        {"BET 1700 AND JULIAN 1710", "Julian Between 1700 1710"},
        {"BET JULIAN 1700 AND GREGORIAN 1710", "Julian Between 1700 -"},
        {"BET @#DJULIAN@ 1700 AND @#DHEBREW@ 1710", "Julian Between 1700 -"},
        {"FROM HEBREW 5780 TO HEBREW 5781", "Hebrew Period 5780 5781"},
        {"FROM @#DFRENCH R@ 11 TO @#DFRENCH R@ 12", "FrenchRepublican Period 11 12"},
        {"FROM JULIAN 1700", "Julian Period 1700 -"},
        {"TO JULIAN 1710", "Julian Period - 1710"},
        {"AFT JULIAN 90", "Julian After 90 -"},
        {"BEF JULIAN 1700 (note)", "Julian Before - 1700 [note]"},
        {"ABT GREGORIAN 918", "Gregorian About 918 918"},
        {"ABT @#DJULIAN@1700", "Julian About 1700 1700"},
        {"ABT @#DUNKNOWN@ 68", "Unknown About 68 68"},
        {"JULIAN ABT JULIAN 1700", "Julian About 1700 1700"},
        {"JULIAN ABT HEBREW 1700", "Julian Unparsed - - [JULIAN ABT HEBREW 1700]"},
        {"ABT JULIAN nothing", "Julian Unparsed - - [ABT JULIAN nothing]"},
        {"ABT JULIAN", "Gregorian Unparsed - - [ABT JULIAN]"},
        {"ABT julian 1700", "Gregorian Unparsed - - [ABT julian 1700]"},
        {"BET JULIAN x AND JULIAN y", "Gregorian Unparsed - - [BET JULIAN x AND JULIAN y]"},
        {"<JULIAN 1700>", "Julian About 1700 1700"},
        {"(x) JULIAN 1700", "Julian Exact 1700 1700 [x]"},
        {"@#DJULIAN@ @#DJULIAN@ 1700", "Julian Exact 1700 1700"},
        {"@#DJULIAN@ @#DHEBREW@ 1700", "Julian Unparsed - - [@#DJULIAN@ @#DHEBREW@ 1700]"},
        {"BET 12 OCT 1950 AND GREGORIAN 22 JAN 92", "Gregorian Between 1950-10-12 92-1-22"},
    });
}

// Payloads as they stand in the published files under testdata.
TEST(DateRead, RealPayloads) {
    check_table({
        {"ABT 1860", "Gregorian About 1860 1860"},
        {"Abt 1070", "Gregorian About 1070 1070"},
        {"26 MAR 2021", "Gregorian Exact 2021-3-26 2021-3-26"},
        {"20 Aug 2002", "Gregorian Exact 2002-8-20 2002-8-20"},
        {"04 APR 1996            ", "Gregorian Exact 1996-4-4 1996-4-4"},
        {"03 MAR 95", "Gregorian Exact 95-3-3 95-3-3"},
        {"17 November 2007", "Gregorian Exact 2007-11-17 2007-11-17"},
        {"21 NOV 1952 IF", "Gregorian Unparsed - - [21 NOV 1952 IF]"},
        {"SUBMITTED", "Gregorian Unparsed - - [SUBMITTED]"},
        {"STILLBORN", "Gregorian Unparsed - - [STILLBORN]"},
        {"(Early in May 1533)", "Gregorian Unparsed - - [Early in May 1533]"},
        {"(Possibly 13 May 1502 - Jan/Mar 1503/4)", "Gregorian Unparsed - - [Possibly 13 May 1502 - Jan/Mar 1503/4]"},
        {"1 APR 1872/73", "Gregorian Exact 1872-4-1 1872-4-1"},
        {"1027/1028", "Gregorian Exact 1027 1027"},
        {"1 AUG 534 BC", "Gregorian Unparsed - - [1 AUG 534 BC]"},
        {"1 Jan 1510-1511", "Gregorian Unparsed - - [1 Jan 1510-1511]"},
        {"10 JAN", "Gregorian Unparsed - - [10 JAN]"},
        {"10+", "Gregorian Exact 10 10"},
        {"1030 or 36", "Gregorian Unparsed - - [1030 or 36]"},
        {"1088 (or 1101?) ", "Gregorian Exact 1088 1088 [or 1101?]"},
        {"1125 (or '30)", "Gregorian Exact 1125 1125 [or '30]"},
        {"11 NIVO 0006", "Gregorian Unparsed - - [11 NIVO 0006]"},
        {"12 AUG 1401 B.C.", "Gregorian Exact -1401-8-12 -1401-8-12"},
        {"1401/8 B.C.", "Gregorian Exact -1401 -1401"},
        {"14/11/1931", "Gregorian Exact 1931 1931"},
        {"1322?", "Gregorian Exact 1322 1322"},
        {"15 Nov 1037 (?) ", "Gregorian Exact 1037-11-15 1037-11-15 [?]"},
        {"1450 and 1456", "Gregorian Unparsed - - [1450 and 1456]"},
        {"17 0ct 1986", "Gregorian Unparsed - - [17 0ct 1986]"},
        {"1195\xE2\x80\x93" "1226 or 1233", "Gregorian Unparsed - - [1195\xE2\x80\x93" "1226 or 1233]"},
        {"ABT 16 AUG 918/49", "Gregorian About 918-8-16 918-8-16"},
        {"ABT FRENCH_R 11 FLOR 92", "FrenchRepublican Unparsed - - [ABT FRENCH_R 11 FLOR 92]"},
        {"ABT FRENCH_R 21", "FrenchRepublican About 21 21"},
        {"ABT HEBREW 77", "Hebrew About 77 77"},
        {"ABT ROMAN 89", "Roman About 89 89"},
        {"ABT UNKNOWN 68", "Gregorian Unparsed - - [ABT UNKNOWN 68]"},
        {"ABT _ROMAN 89", "Gregorian Unparsed - - [ABT _ROMAN 89]"},
        {"AFT GREGORIAN 12 NOV 90 B.C.", "Gregorian After -90-11-12 -"},
        {"BEF JULIAN 1519/14", "Julian Before - 1519"},
        {"BET 12 OCT 1950 AND 13 NOV 92/2", "Gregorian Between 1950-10-12 -"},
        {"BET 12 OCT 1950 B.C. AND JULIAN 26 JUN 648", "Julian Between -1950-10-12 648-6-26"},
        {"BET 01 JAN AND 31 AUG 1977", "Gregorian Between - 1977-8-31"},
        {"BET. 1817 - 1822", "Gregorian Unparsed - - [BET. 1817 - 1822]"},
        {"BET MAY 1979 AND AUG 1979", "Gregorian Between 1979-5 1979-8"},
        {"FROM APR 2000 TO 5 MAR 2001", "Gregorian Period 2000-4 2001-3-5"},
        {"(THIS IS SOME TEXT)", "Gregorian Unparsed - - [THIS IS SOME TEXT]"},
        {"@#DFRENCH R@ 25 VEND 2", "FrenchRepublican Unparsed - - [@#DFRENCH R@ 25 VEND 2]"},
    });
}

// Splits a file's bytes into lines at CR, LF or both.
std::vector<std::string> lines_of(const std::string& bytes) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : bytes) {
        if (c == '\n' || c == '\r') {
            if (!cur.empty()) out.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

// The payload of a "<level> DATE <payload>" line, if it is one.
std::optional<std::string> date_payload(const std::string& line) {
    std::size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    std::size_t digits = i;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9') ++i;
    if (i == digits || i >= line.size() || line[i] != ' ') return std::nullopt;
    ++i;
    if (line.compare(i, 4, "DATE") != 0) return std::nullopt;
    i += 4;
    if (i == line.size()) return std::string();
    if (line[i] != ' ') return std::nullopt;
    return line.substr(i + 1);
}

// Every DATE payload of every published file reads, and each reading holds
// the points its kind promises and serialises to valid JSON.
TEST(DateRead, EveryPayloadInTheTestFiles) {
    namespace fs = std::filesystem;
    const fs::path root = PELLORINE_TESTDATA;
    if (!fs::exists(root)) GTEST_SKIP() << "no test data at " << root;
    std::size_t payloads = 0, read = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".ged") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        const std::string bytes = ss.str();
        if (bytes.size() >= 2 && (bytes[0] == '\0' || bytes[1] == '\0')) continue;  // UTF-16
        for (const auto& line : lines_of(bytes)) {
            auto payload = date_payload(line);
            if (!payload) continue;
            ++payloads;
            GedcomDate d = GedcomDate::parse(*payload);
            SCOPED_TRACE(entry.path().string() + ": \"" + *payload + "\"");
            EXPECT_EQ(d.original, *payload);
            for (const auto& p : {d.earliest, d.latest}) {
                if (!p) continue;
                EXPECT_LE(std::abs(p->year), 9999);
                EXPECT_TRUE(!p->month || (*p->month >= 1 && *p->month <= 12));
                EXPECT_TRUE(!p->day || (p->month && *p->day >= 1 && *p->day <= 31));
            }
            switch (d.kind) {
                case DateKind::Exact:
                case DateKind::About:
                case DateKind::Calculated:
                case DateKind::Estimated:
                case DateKind::Interpreted:
                    EXPECT_TRUE(d.earliest && d.latest && *d.earliest == *d.latest);
                    break;
                case DateKind::Before: EXPECT_TRUE(!d.earliest && d.latest); break;
                case DateKind::After: EXPECT_TRUE(d.earliest && !d.latest); break;
                case DateKind::Between: EXPECT_TRUE(d.earliest || d.latest); break;
                case DateKind::Period: break;
                case DateKind::Unparsed:
                    EXPECT_TRUE(!d.earliest && !d.latest && d.phrase);
                    break;
            }
            if (d.kind != DateKind::Unparsed) ++read;
            std::string json = "{";
            d.append_json_entries(json);
            json += "}";
            rapidjson::Document doc;
            doc.Parse(json.c_str(), json.size());
            EXPECT_FALSE(doc.HasParseError()) << json;
        }
    }
    EXPECT_GT(payloads, 10000u);
    EXPECT_GT(read * 10, payloads * 9);  // nine in ten published dates read
}

TEST(DateJson, Entries) {
    const std::pair<std::string, std::string> cases[] = {
        {"ABT 5 JAN 1882",
         R"("original":"ABT 5 JAN 1882","calendar":"Gregorian","kind":"About",)"
         R"("earliest":{"year":1882,"month":1,"day":5},"latest":{"year":1882,"month":1,"day":5},"phrase":null)"},
        {"",
         R"("original":"","calendar":"Gregorian","kind":"Unparsed","earliest":null,"latest":null,"phrase":"")"},
        {"@#DFRENCH R@ FROM 3",
         R"("original":"@#DFRENCH R@ FROM 3","calendar":"FrenchRepublican","kind":"Period",)"
         R"("earliest":{"year":3,"month":null,"day":null},"latest":null,"phrase":null)"},
        {" BEF 500 BCE (\"q\") ",
         R"("original":" BEF 500 BCE (\"q\") ","calendar":"Gregorian","kind":"Before",)"
         R"("earliest":null,"latest":{"year":-500,"month":null,"day":null},"phrase":"\"q\"")"},
    };
    for (const auto& [text, json] : cases) {
        std::string out;
        GedcomDate::parse(text).append_json_entries(out);
        EXPECT_EQ(out, json);
    }
}

TEST(DateJson, EnumerationNames) {
    const char* calendars[] = {"Gregorian", "Julian", "Hebrew", "FrenchRepublican", "Roman", "Unknown"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(calendar_name(static_cast<Calendar>(i)), calendars[i]);
    const char* kinds[] = {"Exact",  "About",  "Calculated", "Estimated",   "Before",
                           "After",  "Between", "Period",    "Interpreted", "Unparsed"};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(kind_name(static_cast<DateKind>(i)), kinds[i]);
}

std::string repeat(std::string_view piece, std::size_t n) {
    std::string s;
    s.reserve(piece.size() * n);
    for (std::size_t i = 0; i < n; ++i) s += piece;
    return s;
}

// Reading never fails and never stalls, whatever the text.
TEST(DateRead, HostileInput) {
    struct Case {
        std::string text;
        std::string expected;  // empty: only "does not fail"
    };
    const std::vector<Case> cases = {
        {std::string("\0", 1), "Gregorian Unparsed - - [" + std::string("\0", 1) + "]"},
        {std::string("19\0" "00", 5), ""},
        {"/", "Gregorian Unparsed - - [/]"},
        {"//", "Gregorian Unparsed - - [//]"},
        {"/ /", "Gregorian Unparsed - - [/ /]"},
        {"99999999999999999999999999", "Gregorian Unparsed - - [99999999999999999999999999]"},
        {"1 JAN 99999999999999999999", "Gregorian Unparsed - - [1 JAN 99999999999999999999]"},
        {"99999999999999999999/99999999999999999999/99999999999999999999", ""},
        {"1699/99999999999999999999", ""},
        {"31 FEB 1900", "Gregorian Exact 1900-2-31 1900-2-31"},
        {"32 JAN 1900", "Gregorian Unparsed - - [32 JAN 1900]"},
        {"1 MONTH13 1900", "Gregorian Unparsed - - [1 MONTH13 1900]"},
        {"\xD9\xA1\xD9\xA9\xD9\xA0\xD9\xA0", "Gregorian Unparsed - - [\xD9\xA1\xD9\xA9\xD9\xA0\xD9\xA0]"},
        {"\xE4\xB8\x80\xE4\xB9\x9D\xE3\x80\x87\xE3\x80\x87\xE5\xB9\xB4", ""},
        {"\xD0\xAF\xD0\xBD\xD0\xB2\xD0\xB0\xD1\x80\xD1\x8C 1900", ""},
        {"\xFF\xFE 1900", "Gregorian Exact 1900 1900"},
        {"\xC3", "Gregorian Unparsed - - [\xC3]"},
        {"@#D", "Gregorian Unparsed - - [@#D]"},
        {"@#D@", "Unknown Unparsed - - [@#D@]"},
        {"@", "Gregorian Unparsed - - [@]"},
        {"<", "Gregorian Unparsed - - [<]"},
        {">", "Gregorian Unparsed - - [>]"},
        {"(", "Gregorian Unparsed - - [(]"},
        {")", "Gregorian Unparsed - - [)]"},
        {repeat("ABT ", 10000) + "1900", ""},
        {repeat("BET ", 10000) + "1900 AND 1910", "Gregorian Between - 1910"},
        {"BET 1900" + repeat(" AND", 10000) + " 1910", ""},
        {repeat("FROM ", 10000) + "1900", ""},
        {repeat("TO ", 10000) + "1910", ""},
        {repeat("JULIAN ", 10000) + "1700", ""},
        {repeat("@#DJULIAN@ ", 10000) + "1700", ""},
        {repeat("ABT JULIAN ", 10000) + "1700", ""},
        {"1900" + repeat(" BCE", 10000), "Gregorian Exact 1900 1900"},
        {"1900" + repeat(" BCE", 10001), "Gregorian Exact -1900 -1900"},
        {repeat("(", 10000) + "1900" + repeat(")", 10000), ""},
        {repeat("<", 10000) + "1900" + repeat(">", 10000), ""},
        {repeat("1/", 10000) + "1", ""},
        {repeat("1699/00 ", 10000), ""},
        {repeat("de ", 10000) + "1900", "Gregorian Exact 1900 1900"},
        {repeat("9", 100000), ""},
        {repeat(" ", 100000), "Gregorian Unparsed - - []"},
        {repeat("\xC3\xA9", 100000), ""},
        {repeat("\xE2\x84\xAA", 100000), ""},
        {"@#D" + repeat("x", 100000), ""},
        {repeat(".", 100000), ""},
        {repeat(";", 100000) + "1900", ""},
    };
    for (const auto& c : cases) {
        GedcomDate d = GedcomDate::parse(c.text);
        EXPECT_EQ(d.original, c.text);
        if (!c.expected.empty()) {
            EXPECT_EQ(show(d), c.expected) << "text: \"" << c.text.substr(0, 60) << "\"";
        }
        EXPECT_TRUE(d.kind != DateKind::Unparsed || d.phrase.has_value());
        std::string json = "{";
        d.append_json_entries(json);
        json += "}";
        rapidjson::Document doc;
        doc.Parse(json.c_str(), json.size());
        EXPECT_FALSE(doc.HasParseError()) << c.text.substr(0, 60);
    }
}

}  // namespace
