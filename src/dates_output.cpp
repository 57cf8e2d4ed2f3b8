// Output forms of a date reading: the English display, the GEDCOM 7.0 and
// 5.5.1 forms (absent when that grammar cannot hold the reading without
// loss), the sort key, the precision and the year hint.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "dates.hpp"
#include "text.hpp"

namespace pellorine {

namespace {

constexpr std::array<std::string_view, 12> display_names{"January", "February", "March",     "April",
                                                         "May",     "June",     "July",      "August",
                                                         "September", "October", "November", "December"};
constexpr std::array<std::string_view, 12> abbreviations{"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                         "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

bool valid_month(const std::optional<std::uint8_t>& m) { return m && *m >= 1 && *m <= 12; }

// The GEDCOM text of a point for an already non-negative year, without any
// epoch suffix: "5 JAN 1882", "JAN 1882", "1882". A day without a month is not
// writable and is left out, like a month out of range. The year is padded with
// zeros to `min_digits`.
void append_gedcom_body(std::string& out, std::int64_t year, const DatePoint& p, std::size_t min_digits = 1) {
    if (valid_month(p.month)) {
        if (p.day) {
            out += std::to_string(*p.day);
            out += ' ';
        }
        out += abbreviations[*p.month - 1];
        out += ' ';
    }
    std::string digits = std::to_string(year);
    if (digits.size() < min_digits) out.append(min_digits - digits.size(), '0');
    out += digits;
}

// The point of a reading: E when present, else L.
const std::optional<DatePoint>& point_of(const GedcomDate& d) { return d.earliest ? d.earliest : d.latest; }

bool any_negative(const GedcomDate& d) {
    return (d.earliest && d.earliest->year < 0) || (d.latest && d.latest->year < 0);
}

bool any_month(const GedcomDate& d) {
    return (d.earliest && d.earliest->month) || (d.latest && d.latest->month);
}

// Shared by the 5.5.1 and 7.0 forms: the kind's words around the points,
// each point written by `write`.
template <class Write>
std::optional<std::string> kind_form(const GedcomDate& d, Write write) {
    const auto& e = d.earliest;
    const auto& l = d.latest;
    auto with = [&](std::string_view word, const DatePoint& p) {
        std::string out(word);
        write(out, p);
        return out;
    };
    if (e) {
        switch (d.kind) {
            case DateKind::Exact:
            case DateKind::Interpreted: return with("", *e);
            case DateKind::About: return with("ABT ", *e);
            case DateKind::Calculated: return with("CAL ", *e);
            case DateKind::Estimated: return with("EST ", *e);
            case DateKind::After: return with("AFT ", *e);
            case DateKind::Before:
                if (!l) return std::nullopt;
                return with("BEF ", *l);
            case DateKind::Between: {
                if (!l) return std::nullopt;
                std::string out = with("BET ", *e);
                out += " AND ";
                write(out, *l);
                return out;
            }
            case DateKind::Period: {
                std::string out = with("FROM ", *e);
                if (l) {
                    out += " TO ";
                    write(out, *l);
                }
                return out;
            }
            case DateKind::Unparsed: return std::nullopt;
        }
        return std::nullopt;
    }
    if (!l) return std::nullopt;
    if (d.kind == DateKind::Before) return with("BEF ", *l);
    if (d.kind == DateKind::Period) return with("TO ", *l);
    return std::nullopt;
}

// The dual suffix of a written point in 5.5.1: the first dual year of the
// text carries its own suffix; a point with another year takes the suffix of
// a later dual year of the text that starts with its year and names the next
// year ("BET 1699/00 AND 1709/10"), and none otherwise.
std::optional<std::int32_t> second_year_for(std::string_view original, std::int32_t year) {
    if (year < 0) return std::nullopt;
    std::size_t i = 0;
    const std::size_t n = original.size();
    auto digit = [&](std::size_t k) { return k < n && text::is_ascii_digit(original[k]); };
    while (i < n) {
        if (!digit(i)) {
            ++i;
            continue;
        }
        std::size_t run_end = i;
        while (digit(run_end)) ++run_end;
        std::size_t len = run_end - i;
        if ((len == 3 || len == 4) && run_end < n && original[run_end] == '/' && digit(run_end + 1)) {
            std::size_t second_end = run_end + 1;
            while (digit(second_end)) ++second_end;
            if (second_end < n && original[second_end] == '/') {
                i = second_end;  // "10/11/1699": not a dual year, skip both runs
                continue;
            }
            // The window holds exactly this candidate, so dual_year reads just it.
            auto d = dates::dual_year(original.substr(i, second_end - i));
            if (d && d->first == year && static_cast<std::int64_t>(d->second) == std::int64_t{year} + 1)
                return d->second;
            i = second_end;
            continue;
        }
        i = run_end;
    }
    return std::nullopt;
}

void append_two_digits(std::string& out, std::int64_t v) {
    v %= 100;
    if (v < 0) v += 100;
    out += static_cast<char>('0' + v / 10);
    out += static_cast<char>('0' + v % 10);
}

}  // namespace

namespace dates {

std::string_view month_display_name(std::uint8_t month) {
    if (month < 1 || month > 12) return {};
    return display_names[month - 1];
}

std::string_view month_abbreviation(std::uint8_t month) {
    if (month < 1 || month > 12) return {};
    return abbreviations[month - 1];
}

}  // namespace dates

// ---- single points ----

std::string DatePoint::display() const {
    // A point without a (valid) month shows its year alone, a stray day included.
    if (!valid_month(month)) return std::to_string(year);
    std::string out;
    if (day) {
        out += std::to_string(*day);
        out += ' ';
    }
    out += display_names[*month - 1];
    out += ' ';
    out += std::to_string(year);
    return out;
}

std::string DatePoint::to_gedcom() const {
    std::string out;
    std::int64_t y = year;  // 64 bits, so that the absolute value of any year fits
    append_gedcom_body(out, y < 0 ? -y : y, *this);
    if (y < 0) out += " BCE";
    return out;
}

// ---- display ----

std::string GedcomDate::display() const {
    const auto& e = earliest;
    const auto& l = latest;
    if (kind == DateKind::Unparsed || (!e && !l)) return std::string(text::trim(original));
    auto labelled = [&](std::string_view label) {
        std::string out(label);
        out += ' ';
        out += point_of(*this)->display();
        return out;
    };
    switch (kind) {
        case DateKind::Exact: return point_of(*this)->display();
        case DateKind::About: return labelled("about");
        case DateKind::Calculated: return labelled("calculated");
        case DateKind::Estimated: return labelled("estimated");
        case DateKind::Before: return labelled("before");
        case DateKind::After: return labelled("after");
        case DateKind::Interpreted: return labelled("interpreted as");
        case DateKind::Between:
            if (e && l) return "between " + e->display() + " and " + l->display();
            return labelled("between");
        case DateKind::Period:
            if (e && l) return "from " + e->display() + " to " + l->display();
            if (e) return "from " + e->display();
            return "to " + l->display();
        case DateKind::Unparsed: break;
    }
    return std::string(text::trim(original));
}

// ---- GEDCOM 7.0 ----

std::optional<std::string> GedcomDate::to_gedcom_7() const {
    std::string_view word;
    switch (calendar) {
        case Calendar::Gregorian: word = ""; break;
        case Calendar::Julian: word = "JULIAN "; break;
        case Calendar::Hebrew: word = "HEBREW "; break;
        case Calendar::FrenchRepublican: word = "FRENCH_R "; break;
        case Calendar::Roman:
        case Calendar::Unknown: return std::nullopt;
    }
    // Those two calendars are written by year only.
    if ((calendar == Calendar::Hebrew || calendar == Calendar::FrenchRepublican) && any_month(*this))
        return std::nullopt;
    if (calendar != Calendar::Gregorian && any_negative(*this)) return std::nullopt;
    // 7.0 has no dual years.
    if (dates::dual_year(original)) return std::nullopt;
    return kind_form(*this, [&](std::string& out, const DatePoint& p) {
        out += word;
        out += p.to_gedcom();
    });
}

// ---- GEDCOM 5.5.1 ----

std::optional<std::string> GedcomDate::to_gedcom_5_5_1() const {
    std::string_view escape;
    switch (calendar) {
        case Calendar::Gregorian: escape = ""; break;
        case Calendar::Julian: escape = "@#DJULIAN@ "; break;
        default: return std::nullopt;
    }
    const bool negative = any_negative(*this);
    if (negative && calendar != Calendar::Gregorian) return std::nullopt;

    std::optional<std::string> phrase_text = phrase;
    std::optional<std::pair<std::int32_t, std::int32_t>> dual;  // set when the suffix is on
    if (auto d = dates::dual_year(original)) {
        if (calendar == Calendar::Gregorian && !negative &&
            static_cast<std::int64_t>(d->second) == std::int64_t{d->first} + 1) {
            dual = d;
        } else if (kind == DateKind::Exact) {
            // The dual year cannot be written: keep the text as the phrase of an INT form.
            if (!phrase_text) phrase_text = std::string(text::trim(original));
        } else {
            return std::nullopt;
        }
    }

    auto form = kind_form(*this, [&](std::string& out, const DatePoint& p) {
        out += escape;
        std::optional<std::int32_t> second;
        if (dual) second = p.year == dual->first ? dual->second : second_year_for(original, p.year);
        std::int64_t y = p.year;
        // A dual year reads back only with three or four digits before its slash: "011/12".
        append_gedcom_body(out, y < 0 ? -y : y, p, second ? 3 : 1);
        if (y < 0) out += " B.C.";
        if (second) {
            out += '/';
            append_two_digits(out, *second);
        }
    });
    if (!form) return std::nullopt;

    if (phrase_text) {
        if (kind != DateKind::Exact && kind != DateKind::Interpreted) return std::nullopt;
        std::string out = "INT " + *form + " (";
        for (char c : *phrase_text) out += c == '(' ? '[' : c == ')' ? ']' : c;
        out += ')';
        return out;
    }
    if (kind == DateKind::Interpreted) return std::nullopt;
    return form;
}

// ---- sort key, precision, year hint ----

std::optional<std::int64_t> GedcomDate::sort_key() const {
    if (earliest) return earliest->sort_key();
    if (auto y = year_hint()) return std::int64_t{*y} * 10000;
    return std::nullopt;
}

std::uint8_t GedcomDate::precision() const {
    if (!earliest) return 0;
    if (!earliest->month) return 1;
    if (!earliest->day) return 2;
    return 3;
}

std::optional<std::int32_t> GedcomDate::year_hint() const {
    if (earliest) return earliest->year;
    const std::string_view s = original;
    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] < '0' || s[i] > '9') {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < s.size() && text::is_ascii_digit(s[j])) ++j;
        if (j - i == 4) {
            std::int32_t v = (s[i] - '0') * 1000 + (s[i + 1] - '0') * 100 + (s[i + 2] - '0') * 10 + (s[j - 1] - '0');
            if (v >= 1000 && v <= 2999) return v;
        }
        i = j;
    }
    return std::nullopt;
}

}  // namespace pellorine
