// Reading a DATE payload: calendar, phrase, keywords and the kind of date.
//
// Every rule looks at the text a fixed number of times (a keyword search, a
// prefix test, one point), so a reading is linear in the payload's length
// however many keywords it repeats.
#include "dates.hpp"
#include "json.hpp"
#include "text.hpp"

namespace pellorine {

namespace {

using text::is_ascii_digit;

bool same_lowercase(char32_t a, char32_t b) {
    if (a < 0x80 && b < 0x80)
        return text::ascii_lower(static_cast<char>(a)) == text::ascii_lower(static_cast<char>(b));
    std::string sa, sb;
    text::append_utf8(sa, a);
    text::append_utf8(sb, b);
    return text::unicode_lowercase(sa) == text::unicode_lowercase(sb);
}

bool is_ascii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Where a word that `t` starts with ends in `t`: the word's characters equal
// the text's when their full Unicode lowercase mappings are equal. Nothing
// when the text does not start with the word.
std::optional<std::size_t> word_end(std::string_view t, std::string_view w) {
    // An ASCII word against ASCII text: the lowercase mappings are ASCII ones,
    // compared byte by byte. Only text beyond ASCII (the Kelvin sign's
    // lowercase is k) needs the comparison of code points.
    if (is_ascii(w)) {
        if (t.size() < w.size()) return std::nullopt;  // fewer bytes, fewer characters
        std::string_view head = t.substr(0, w.size());
        if (is_ascii(head)) return text::ascii_iequals(head, w) ? std::optional(w.size()) : std::nullopt;
    }
    std::size_t pos = 0, wp = 0;
    while (wp < w.size()) {
        if (pos >= t.size()) return std::nullopt;
        char32_t wc = text::next_code_point(w, wp);
        char32_t tc = text::next_code_point(t, pos);
        if (!same_lowercase(tc, wc)) return std::nullopt;
    }
    return pos;
}

Calendar calendar_of_escape_name(std::string_view name) {
    if (text::ascii_iequals(name, "GREGORIAN")) return Calendar::Gregorian;
    if (text::ascii_iequals(name, "JULIAN")) return Calendar::Julian;
    if (text::ascii_iequals(name, "HEBREW")) return Calendar::Hebrew;
    if (text::ascii_iequals(name, "FRENCH R") || text::ascii_iequals(name, "FRENCH_R"))
        return Calendar::FrenchRepublican;
    if (text::ascii_iequals(name, "ROMAN")) return Calendar::Roman;
    return Calendar::Unknown;
}

struct CalendarWord {
    std::string_view word;
    Calendar calendar;
};
constexpr CalendarWord calendar_words[] = {
    {"GREGORIAN", Calendar::Gregorian}, {"JULIAN", Calendar::Julian},  {"HEBREW", Calendar::Hebrew},
    {"FRENCH_R", Calendar::FrenchRepublican}, {"ROMAN", Calendar::Roman},
};

struct Lead {
    Calendar calendar;
    std::string_view rest;
};

// A leading calendar escape ("@#DJULIAN@") or calendar word ("JULIAN ") of a
// trimmed text, with the text after it, trimmed.
std::optional<Lead> leading_calendar(std::string_view s) {
    if (s.size() >= 3 && s.starts_with("@#D")) {
        std::size_t at = s.find('@', 3);
        if (at != std::string_view::npos)
            return Lead{calendar_of_escape_name(text::trim(s.substr(3, at - 3))), text::trim(s.substr(at + 1))};
    }
    for (const auto& w : calendar_words)
        if (s.size() > w.word.size() && s.starts_with(w.word) && s[w.word.size()] == ' ')
            return Lead{w.calendar, text::trim(s.substr(w.word.size()))};
    return std::nullopt;
}

// One point and the calendar named right before it ("@#DJULIAN@ 1700",
// "JULIAN 1700"), if any.
struct Side {
    std::optional<DatePoint> point;
    std::optional<Calendar> named;
};

Side read_side(std::string_view x) {
    std::string_view t = text::trim(x);
    Side side;
    if (auto own = leading_calendar(t)) {
        side.named = own->calendar;
        t = own->rest;
    }
    side.point = dates::parse_point(t);
    return side;
}

// The one point of a date whose calendar, if any, was named before the whole
// of it (`lead`). Both GEDCOM grammars may write the calendar right before the
// point ("ABT @#DJULIAN@ 1700"); a point named in another calendar than the
// date's does not read.
Side read_point(std::string_view x, std::optional<Calendar> lead) {
    Side side = read_side(x);
    if (lead && side.named && *side.named != *lead) side.point.reset();
    return side;
}

struct Qualifier {
    std::span<const std::string_view> words;
    DateKind kind;
};
const Qualifier qualifiers[] = {
    {dates::about_words, DateKind::About},           {dates::calculated_words, DateKind::Calculated},
    {dates::estimated_words, DateKind::Estimated},   {dates::before_words, DateKind::Before},
    {dates::after_words, DateKind::After},           {dates::interpreted_words, DateKind::Interpreted},
};

struct Reading {
    DateKind kind = DateKind::Unparsed;
    std::optional<DatePoint> earliest, latest;
    std::optional<Calendar> calendar;  // named by the points, for a date that names none before them
};

// A range or a period: "<opener> x <joiner> y" with at least one side readable.
// A reading has one calendar, and each point stands in the calendar named
// right before it, else in the one named before the whole date, else in the
// Gregorian: two points in different calendars make no reading at all. A side
// that does not read names no calendar to disagree with.
std::optional<Reading> two_sided(std::string_view date, std::span<const std::string_view> joiners,
                                 std::span<const std::string_view> openers, DateKind kind,
                                 std::optional<Calendar> lead) {
    auto split = dates::split_keyword(date, joiners);
    if (!split) return std::nullopt;
    auto rest = dates::strip_keyword(split->first, openers);
    if (!rest) return std::nullopt;
    const Side a = read_side(*rest), b = read_side(split->second);
    if (!a.point && !b.point) return std::nullopt;
    Reading r{kind, a.point, b.point, lead};
    for (const Side* side : {&a, &b}) {
        if (!side->point) continue;
        Calendar c = side->named.value_or(lead.value_or(Calendar::Gregorian));
        if (r.calendar && *r.calendar != c) return Reading{};
        r.calendar = c;
    }
    return r;
}

constexpr bool words_begin_with_letters(std::span<const std::string_view> words) {
    for (std::string_view w : words) {
        if (w.empty()) return false;
        char c = w.front();
        if (!text::is_ascii_alpha(c)) return false;
    }
    return true;
}

// Every word that can open a date begins with an ASCII letter, so a date text
// that begins with an ASCII digit (most do) strips none of them: no keyword rule
// can hold it, and it goes straight to the plain point.
static_assert(words_begin_with_letters(dates::range_openers) && words_begin_with_letters(dates::period_openers) &&
              words_begin_with_letters(dates::open_period_starts) &&
              words_begin_with_letters(dates::open_period_ends) && words_begin_with_letters(dates::about_words) &&
              words_begin_with_letters(dates::calculated_words) && words_begin_with_letters(dates::estimated_words) &&
              words_begin_with_letters(dates::before_words) && words_begin_with_letters(dates::after_words) &&
              words_begin_with_letters(dates::interpreted_words));

// A date of one point: of kind `kind` when the point reads, else unparsed.
Reading qualified(DateKind kind, std::string_view x, std::optional<Calendar> lead) {
    Side side = read_point(x, lead);
    if (!side.point) return Reading{DateKind::Unparsed, std::nullopt, std::nullopt, side.named};
    Reading r{kind, side.point, side.point, side.named};
    if (kind == DateKind::Before) r.earliest.reset();
    if (kind == DateKind::After) r.latest.reset();
    return r;
}

Reading read_date_text(std::string_view date, std::optional<Calendar> lead) {
    if (!date.empty() && is_ascii_digit(date.front())) return qualified(DateKind::Exact, date, lead);
    if (auto r = two_sided(date, dates::range_joiners, dates::range_openers, DateKind::Between, lead)) return *r;
    if (auto r = two_sided(date, dates::period_joiners, dates::period_openers, DateKind::Period, lead)) return *r;
    // An open period stays a period when its point does not read.
    if (auto rest = dates::strip_keyword(date, dates::open_period_starts)) {
        Side side = read_point(*rest, lead);
        return Reading{DateKind::Period, side.point, std::nullopt, side.named};
    }
    if (auto rest = dates::strip_keyword(date, dates::open_period_ends)) {
        Side side = read_point(*rest, lead);
        return Reading{DateKind::Period, std::nullopt, side.point, side.named};
    }
    for (const auto& q : qualifiers)
        if (auto rest = dates::strip_keyword(date, q.words)) return qualified(q.kind, *rest, lead);
    if (date.size() >= 2 && date.front() == '<' && date.back() == '>')
        return qualified(DateKind::About, date.substr(1, date.size() - 2), lead);
    return qualified(DateKind::Exact, date, lead);
}

}  // namespace

std::string_view calendar_name(Calendar c) {
    switch (c) {
        case Calendar::Gregorian: return "Gregorian";
        case Calendar::Julian: return "Julian";
        case Calendar::Hebrew: return "Hebrew";
        case Calendar::FrenchRepublican: return "FrenchRepublican";
        case Calendar::Roman: return "Roman";
        case Calendar::Unknown: return "Unknown";
    }
    return "Unknown";
}

std::string_view kind_name(DateKind k) {
    switch (k) {
        case DateKind::Exact: return "Exact";
        case DateKind::About: return "About";
        case DateKind::Calculated: return "Calculated";
        case DateKind::Estimated: return "Estimated";
        case DateKind::Before: return "Before";
        case DateKind::After: return "After";
        case DateKind::Between: return "Between";
        case DateKind::Period: return "Period";
        case DateKind::Interpreted: return "Interpreted";
        case DateKind::Unparsed: return "Unparsed";
    }
    return "Unparsed";
}

GedcomDate GedcomDate::parse(std::string_view input) {
    GedcomDate date;
    date.original = std::string(input);
    const std::string_view s = text::trim(input);

    // The calendar named before the whole date: an escape, else a leading
    // calendar word. Without one, the points may name it.
    std::optional<Calendar> lead;
    std::string_view rest = s;
    if (auto named = leading_calendar(s)) {
        lead = named->calendar;
        rest = named->rest;
    }

    // Phrase: from the first "(" to the last ")".
    std::string joined;
    std::string_view date_text = rest;
    std::size_t open = rest.find('(');
    std::size_t close = rest.rfind(')');
    bool has_phrase_marks = open != std::string_view::npos && close != std::string_view::npos && close > open;
    if (has_phrase_marks) {
        std::string_view inner = text::trim(rest.substr(open + 1, close - open - 1));
        if (!inner.empty()) date.phrase = std::string(inner);
        std::string_view before = rest.substr(0, open), after = rest.substr(close + 1);
        if (text::trim(before).empty()) {
            date_text = text::trim(after);
        } else if (text::trim(after).empty()) {
            date_text = text::trim(before);
        } else {
            joined.reserve(before.size() + 1 + after.size());
            joined.append(before).append(" ").append(after);
            date_text = joined;
        }
    }

    Reading reading;
    if (!date_text.empty()) reading = read_date_text(date_text, lead);
    date.calendar = lead ? *lead : reading.calendar.value_or(Calendar::Gregorian);
    date.kind = reading.kind;
    date.earliest = reading.earliest;
    date.latest = reading.latest;
    if (date.kind == DateKind::Unparsed && !date.phrase) date.phrase = std::string(s);
    return date;
}

void GedcomDate::write_json_entries(json::Writer& w) const {
    w.key("original").string(original);
    w.key("calendar").string(calendar_name(calendar));
    w.key("kind").string(kind_name(kind));
    w.key("earliest");
    earliest ? earliest->write_json(w) : void(w.null());
    w.key("latest");
    latest ? latest->write_json(w) : void(w.null());
    w.key("phrase").string(phrase);
}

namespace dates {

std::optional<std::pair<std::string_view, std::string_view>> split_keyword(
    std::string_view text, std::span<const std::string_view> words) {
    for (std::string_view w : words) {
        const std::size_t need = w.size() + 2;
        if (text.size() < need) continue;
        // Date texts are short: a plain scan beats a search call per space.
        for (std::size_t i = 0; i + need <= text.size(); ++i) {
            if (text[i] != ' ' || text[i + need - 1] != ' ') continue;
            if (text::ascii_iequals(text.substr(i + 1, w.size()), w))
                return std::pair{text.substr(0, i), text.substr(i + need)};
        }
    }
    return std::nullopt;
}

std::optional<std::string_view> strip_keyword(std::string_view text, std::span<const std::string_view> words) {
    const std::string_view t = text::trim(text);
    if (t.empty()) return std::nullopt;
    const char first = t.front();
    const bool ascii_first = static_cast<unsigned char>(first) < 0x80;
    for (std::string_view w : words) {
        // An ASCII character equals only itself without case: most words
        // fail on their first letter here (and every word on a digit).
        if (ascii_first && !w.empty() && static_cast<unsigned char>(w.front()) < 0x80 &&
            text::ascii_lower(first) != text::ascii_lower(w.front()))
            continue;
        auto end = word_end(t, w);
        if (!end || *end >= t.size()) continue;
        const std::size_t pos = *end;
        char next = t[pos];
        if (next == ' ' || next == '.') {
            std::string_view after = text::trim(t.substr(pos + 1));
            if (after.empty()) continue;
            return after;
        }
        if (is_ascii_digit(next)) return t.substr(pos);
    }
    return std::nullopt;
}

}  // namespace dates

}  // namespace pellorine
