// Dates: calendar points, the reading of `DATE` payloads, their output forms
// and change timestamps.
//
// Reading never fails: any text gives a `GedcomDate`, of kind `Unparsed` when
// nothing in it reads. Everything here is pure computation with no state.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "document.hpp"  // Node, for the timestamps

namespace pellorine::json {
class Writer;
}

namespace pellorine {

// One calendar point: a signed year (negative before the common era), an
// optional month 1..12 and an optional day 1..31. The day is not checked
// against the month's length.
struct DatePoint {
    std::int32_t year = 0;              // negative before the common era
    std::optional<std::uint8_t> month;  // 1..12
    std::optional<std::uint8_t> day;    // 1..31, only with a month

    // The checked constructor: a month must be 1..12, a day 1..31 and only
    // together with a month.
    static std::optional<DatePoint> from_ymd(std::int32_t year, std::optional<std::uint8_t> month,
                                             std::optional<std::uint8_t> day);

    // year * 10000 + month * 100 + day (missing parts count 0).
    std::int64_t sort_key() const;

    // {"year":1900,"month":null,"day":null}
    std::string to_json() const;
    // Writes the same object through a JSON writer.
    void write_json(json::Writer& w) const;

    bool operator==(const DatePoint&) const = default;  // field by field

    // Output forms (defined with the output forms, dates_output.cpp).
    std::string display() const;    // "5 January 1882", "January 1882", "1882", "-500"
    std::string to_gedcom() const;  // "5 JAN 1882", "JAN 1882", "1882", "500 BCE"
};

// The calendar a date is written in; Gregorian unless the date names another.
enum class Calendar : std::uint8_t {
    Gregorian = 0,
    Julian = 1,
    Hebrew = 2,
    FrenchRepublican = 3,
    Roman = 4,
    Unknown = 5,
};

// What kind of date a payload holds: one point, a qualified point, a range, a period, or none read.
enum class DateKind : std::uint8_t {
    Exact = 0,
    About = 1,
    Calculated = 2,
    Estimated = 3,
    Before = 4,
    After = 5,
    Between = 6,
    Period = 7,
    Interpreted = 8,
    Unparsed = 9,
};

// The enumerators' names, as they cross into JSON ("FrenchRepublican", "Unparsed").
std::string_view calendar_name(Calendar c);  // "Gregorian" .. "Unknown"
std::string_view kind_name(DateKind k);       // "Exact" .. "Unparsed"

// The reading of one date payload.
struct GedcomDate {
    std::string original;  // the text as passed, byte for byte
    Calendar calendar = Calendar::Gregorian;  // the calendar the text names, else Gregorian
    DateKind kind = DateKind::Unparsed;       // what kind of date the text holds
    std::optional<DatePoint> earliest;        // the earliest point the date allows
    std::optional<DatePoint> latest;          // the latest point the date allows
    std::optional<std::string> phrase;        // the text between parentheses, or an unreadable text, trimmed

    // Reads any text; never fails.
    static GedcomDate parse(std::string_view text);

    // Writes the reading's own JSON entries into an object the caller has
    // opened: "original", "calendar", "kind", "earliest", "latest", "phrase".
    void write_json_entries(json::Writer& w) const;

    bool operator==(const GedcomDate&) const = default;  // field by field

    // Output forms (defined in dates_output.cpp).
    // English text for people ("about 1900", "between 1890 and 1900"); the trimmed text when nothing read.
    std::string display() const;
    // The reading in 7.0 grammar; none when that grammar cannot hold it without loss.
    std::optional<std::string> to_gedcom_7() const;
    // The reading in 5.5.1 grammar; none when that grammar cannot hold it without loss.
    std::optional<std::string> to_gedcom_5_5_1() const;
    // The earliest point's sort key, else the year hint * 10000, else none.
    std::optional<std::int64_t> sort_key() const;
    // How much of the earliest point is known: 0 none, 1 year, 2 month, 3 day.
    std::uint8_t precision() const;
    // The earliest point's year, else the first 4-digit run of 1000..2999 in the text.
    std::optional<std::int32_t> year_hint() const;
};

namespace dates {

// Keyword lists, stored uppercase and tried in this order.
// A range ("BET x AND y"): the words that open it and the words between its points.
inline constexpr std::array<std::string_view, 4> range_joiners{"AND", "ET", "UND", "OG"};
inline constexpr std::array<std::string_view, 5> range_openers{"BET", "BETWEEN", "ENTRE", "ZWISCHEN", "MELLOM"};
// A period ("FROM x TO y"): the words that open it and the words between its points.
inline constexpr std::array<std::string_view, 4> period_joiners{"TO", "AU", "BIS", "TIL"};
inline constexpr std::array<std::string_view, 5> period_openers{"FROM", "DE", "DU", "VON", "FRA"};
// A period with one end: "FROM x" or "SINCE x", and "TO y" or "UNTIL y".
inline constexpr std::array<std::string_view, 2> open_period_starts{"FROM", "SINCE"};
inline constexpr std::array<std::string_view, 2> open_period_ends{"TO", "UNTIL"};
// The words that qualify a single point, one list per kind of date.
inline constexpr std::array<std::string_view, 21> about_words{
    "ABT",    "ABOUT",  "CIRCA",         "CA",    "APPROX",        "ENVIRON", "UM",
    "RUNDT",  "OMKRING", "CERCA",        "VERSO", "VERS",          "AROUND",  "APPROXIMATELY",
    "APROXIMADAMENTE", "OMTRENT", "CIRKA", "CIR", "C",             "PROBABLY", "PROBABLEMENT"};
inline constexpr std::array<std::string_view, 2> calculated_words{"CAL", "CALCULATED"};
inline constexpr std::array<std::string_view, 2> estimated_words{"EST", "ESTIMATED"};
inline constexpr std::array<std::string_view, 7> before_words{"BEF",  "BEFORE", "AVANT", "VOR",
                                                              "PRIMA", "ANTES", "F\u00d8R"};
inline constexpr std::array<std::string_view, 9> after_words{"AFT",  "AFTER", "APRES",   "APR\u00c8S", "NACH",
                                                             "DOPO", "DESPUES", "ETTER", "EFTER"};
inline constexpr std::array<std::string_view, 2> interpreted_words{"INT", "INTERPRETED"};

// Splits `text` around the first listed word (in list order) that stands
// between two ASCII spaces, ignoring ASCII letter case. The halves are views
// into `text`, untrimmed.
std::optional<std::pair<std::string_view, std::string_view>> split_keyword(
    std::string_view text, std::span<const std::string_view> words);

// Removes a leading listed word (full Unicode lowercase comparison) followed
// by a space or full stop (the rest trimmed, not empty) or by a digit (the rest
// starts at the digit). The rest is a view into `text`.
std::optional<std::string_view> strip_keyword(std::string_view text, std::span<const std::string_view> words);

// One calendar point out of free text, or nothing.
std::optional<DatePoint> parse_point(std::string_view text);
// The year of one token, 0..9999.
std::optional<std::int32_t> parse_year(std::string_view token);
// The day of one token, 1..31.
std::optional<std::uint8_t> parse_day(std::string_view token);
// The month of one token, 1..12, by number or by name in any known language.
std::optional<std::uint8_t> month_number(std::string_view token);

// A month name of some language, lowercase, and its month.
struct MonthName {
    std::string_view name;  // lowercase UTF-8
    std::uint8_t month;
};
// Every month name `month_number` knows (it also takes English prefixes).
std::span<const MonthName> month_table();
// The filler words a point skips between its pieces ("5 de JAN"), lowercase.
std::span<const std::string_view> fillers();
// The maximal runs of digits and of other characters in `word`, keeping only
// runs that hold an alphanumeric character ("10th": "10", "th"), as views into `word`.
std::vector<std::string_view> split_runs(std::string_view word);
// A dual year ("1699/00") making up the whole text, as its first year.
std::optional<DatePoint> parse_dual_year(std::string_view text);
// The first dual year anywhere in a text: (first year, second year).
std::optional<std::pair<std::int32_t, std::int32_t>> dual_year(std::string_view text);

}  // namespace dates

// Output forms
// (the member functions are declared with DatePoint and GedcomDate above)
namespace dates {

// "January" .. "December"; empty outside 1..12.
std::string_view month_display_name(std::uint8_t month);
// "JAN" .. "DEC"; empty outside 1..12.
std::string_view month_abbreviation(std::uint8_t month);

}  // namespace dates

// Timestamps
// A change (CHAN) or creation (CREA) structure: its DATE and optional TIME.
struct Timestamp {
    GedcomDate date;                  // the DATE's logical payload, read
    std::optional<std::string> time;  // the TIME's logical payload as written

    // The date's display, then one space and the time when there is one.
    std::string display() const;

    bool operator==(const Timestamp&) const = default;  // field by field
};

// Reads a CHAN or CREA node; absent when it has no DATE child. The TIME is
// taken under the DATE, else beside it.
std::optional<Timestamp> timestamp_of(const Node& node);
// A record's change timestamp, else its creation timestamp. A CHAN without
// DATE gives nothing: it does not fall back to CREA.
std::optional<Timestamp> changed(const Node& record);
// Builds `tag` / DATE point / TIME time (the TIME only when a time is given).
// `tag` must be a valid tag.
Node timestamp_node(std::string_view tag, const DatePoint& point, std::optional<std::string_view> time);

}  // namespace pellorine
