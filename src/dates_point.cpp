// Calendar points: reading one year, month and day out of free text.
//
// Everything here runs in time linear in the text and allocates only where a
// rule needs a new text (a dual year rewritten, a non-ASCII word lowercased).
#include <algorithm>

#include "dates.hpp"
#include "json.hpp"
#include "text.hpp"

namespace pellorine {

namespace {

using text::is_ascii_digit;

bool all_digits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!is_ascii_digit(c)) return false;
    return true;
}

// The value of a text of ASCII digits, or nothing when it holds anything else
// or exceeds `max` (which keeps every intermediate value far from overflow).
std::optional<std::uint32_t> digits_value(std::string_view s, std::uint32_t max) {
    if (s.empty()) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : s) {
        if (!is_ascii_digit(c)) return std::nullopt;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
        if (v > max) return std::nullopt;
    }
    return static_cast<std::uint32_t>(v);
}

std::string_view strip_non_digits(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && !is_ascii_digit(s[b])) ++b;
    while (e > b && !is_ascii_digit(s[e - 1])) --e;
    return s.substr(b, e - b);
}

bool is_alnum(char32_t cp) { return text::is_alphabetic(cp) || text::is_numeric(cp); }

bool has_alnum(std::string_view s) {
    std::size_t pos = 0;
    while (pos < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[pos]);
        if (c < 0x80) {
            if (text::is_ascii_alpha(static_cast<char>(c)) || is_ascii_digit(static_cast<char>(c))) return true;
            ++pos;
            continue;
        }
        if (is_alnum(text::next_code_point(s, pos))) return true;
    }
    return false;
}

// Removes every character that is not alphabetic or numeric from both ends.
std::string_view strip_non_alnum(std::string_view s) {
    std::size_t b = 0;
    while (b < s.size()) {
        std::size_t next = b;
        if (is_alnum(text::next_code_point(s, next))) break;
        b = next;
    }
    std::size_t e = s.size();
    while (e > b) {
        std::size_t start = text::code_point_start_before(s, e);
        std::size_t pos = start;
        if (is_alnum(text::next_code_point(s, pos))) break;
        e = start;
    }
    return s.substr(b, e - b);
}

constexpr dates::MonthName month_names[] = {
    {"jan", 1}, {"janv", 1}, {"enero", 1}, {"januar", 1}, {"january", 1}, {"janvier", 1}, {"januari", 1},
    {"gennaio", 1}, {"j\u00e4nner", 1},
    {"feb", 2}, {"f\u00e9v", 2}, {"f\u00e9vr", 2}, {"fevrier", 2}, {"f\u00e9vrier", 2}, {"febrero", 2},
    {"februar", 2}, {"february", 2}, {"februari", 2}, {"febbraio", 2},
    {"mar", 3}, {"mars", 3}, {"marz", 3}, {"march", 3}, {"m\u00e4rz", 3}, {"maerz", 3}, {"marzo", 3},
    {"marts", 3},
    {"apr", 4}, {"avr", 4}, {"april", 4}, {"avril", 4}, {"abril", 4}, {"aprile", 4},
    {"may", 5}, {"mai", 5}, {"mei", 5}, {"mayo", 5}, {"maggio", 5},
    {"jun", 6}, {"june", 6}, {"juin", 6}, {"juni", 6}, {"junio", 6}, {"giugno", 6},
    {"jul", 7}, {"july", 7}, {"juil", 7}, {"juli", 7}, {"julio", 7}, {"luglio", 7}, {"juillet", 7},
    {"aug", 8}, {"aout", 8}, {"ao\u00fbt", 8}, {"august", 8}, {"agosto", 8}, {"augusti", 8},
    {"sep", 9}, {"sept", 9}, {"september", 9}, {"septembre", 9}, {"settembre", 9}, {"septiembre", 9},
    {"oct", 10}, {"okt", 10}, {"october", 10}, {"octobre", 10}, {"oktober", 10}, {"ottobre", 10},
    {"octubre", 10},
    {"nov", 11}, {"november", 11}, {"novembre", 11}, {"noviembre", 11},
    {"dec", 12}, {"des", 12}, {"d\u00e9c", 12}, {"december", 12}, {"decembre", 12}, {"d\u00e9cembre", 12},
    {"dezember", 12}, {"desember", 12}, {"dicembre", 12}, {"diciembre", 12},
};
static_assert(std::size(month_names) == 84);

constexpr std::string_view english_months[] = {"january", "february", "march",     "april",   "may",      "june",
                                               "july",    "august",   "september", "october", "november", "december"};

constexpr std::size_t longest_month_name = 11;  // "septiembre" and "décembre" in bytes, with room

std::optional<std::uint8_t> month_of_lowercase(std::string_view t) {
    if (auto n = digits_value(t, 255); n) {
        if (*n >= 1 && *n <= 12) return static_cast<std::uint8_t>(*n);
        return std::nullopt;
    }
    // The first byte settles most comparisons without a call to compare the rest.
    if (t.empty()) return std::nullopt;
    for (const auto& m : month_names)
        if (m.name.size() == t.size() && m.name[0] == t[0] && m.name == t) return m.month;
    if (t.size() >= 3)
        for (std::size_t i = 0; i < 12; ++i)
            if (english_months[i].starts_with(t)) return static_cast<std::uint8_t>(i + 1);
    return std::nullopt;
}

constexpr std::string_view filler_words[] = {"de", "den", "of", "le"};

bool is_filler(std::string_view t) {
    if (t.size() < 2 || t.size() > 3) return false;
    for (std::string_view f : filler_words)
        if (text::ascii_iequals(t, f)) return true;
    return false;
}

// Calls `f` with each run of `word` that `split_runs` keeps, until `f` returns
// false; the token walk uses it directly so that a point allocates no list.
template <class F>
void for_each_run(std::string_view word, F&& f) {
    std::size_t i = 0;
    while (i < word.size()) {
        bool digits = is_ascii_digit(word[i]);
        std::size_t j = i + 1;
        while (j < word.size() && is_ascii_digit(word[j]) == digits) ++j;
        std::string_view run = word.substr(i, j - i);
        if (digits || has_alnum(run)) {
            if (!f(run)) return;
        }
        i = j;
    }
}

// Text trimmed, with trailing ";", "," and "." removed, and trimmed again.
std::string_view clean(std::string_view s) {
    s = text::trim(s);
    while (!s.empty() && (s.back() == ';' || s.back() == ',' || s.back() == '.')) s.remove_suffix(1);
    return text::trim(s);
}

std::optional<std::uint8_t> small_in(std::string_view digits, std::uint32_t lo, std::uint32_t hi) {
    auto v = digits_value(digits, 255);
    if (v && *v >= lo && *v <= hi) return static_cast<std::uint8_t>(*v);
    return std::nullopt;
}

// Splits an all-digit text at `sep` into exactly three non-empty digit parts.
bool numeric_triple(std::string_view t, char sep, std::string_view (&parts)[3]) {
    std::size_t n = 0, start = 0;
    for (std::size_t i = 0; i <= t.size(); ++i) {
        if (i < t.size() && is_ascii_digit(t[i])) continue;
        if (i < t.size() && t[i] != sep) return false;
        if (i == start || n == 3) return false;
        parts[n++] = t.substr(start, i - start);
        start = i + 1;
    }
    return n == 3;
}

std::optional<DatePoint> point_from_triple(std::string_view t) {
    for (char sep : {'.', '/', '-'}) {
        std::string_view parts[3];
        if (!numeric_triple(t, sep, parts)) continue;
        DatePoint p;
        std::string_view month_part, day_part;
        if (parts[0].size() == 4) {
            p.year = static_cast<std::int32_t>(*digits_value(parts[0], 9999));
            month_part = parts[1];
            day_part = parts[2];
        } else {
            auto year = dates::parse_year(parts[2]);
            if (!year) return std::nullopt;
            p.year = *year;
            month_part = sep == '/' ? parts[0] : parts[1];
            day_part = sep == '/' ? parts[1] : parts[0];
        }
        p.month = small_in(month_part, 1, 12);
        // A day without a month is no point of its own, so it goes with the month.
        if (p.month) p.day = small_in(day_part, 1, 31);
        return p;
    }
    return std::nullopt;
}

bool is_split_point(std::string_view t, std::size_t i, std::size_t& width) {
    char c = t[i];
    if (c == ' ' || c == ',') {
        width = 1;
        return true;
    }
    if (c == '\xC2' && i + 1 < t.size() && t[i + 1] == '\xA0') {
        width = 2;
        return true;
    }
    return false;
}

std::optional<DatePoint> point_from_tokens(std::string_view t) {
    std::string_view tok[4];
    std::size_t count = 0;
    bool too_many = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= t.size() && !too_many;) {
        std::size_t width = 0;
        if (i < t.size() && !is_split_point(t, i, width)) {
            ++i;
            continue;
        }
        for_each_run(t.substr(start, i - start), [&](std::string_view run) {
            if (is_filler(run)) return true;
            if (count == 4) {
                too_many = true;
                return false;
            }
            tok[count++] = run;
            return true;
        });
        if (i == t.size()) break;
        i += width;
        start = i;
    }
    if (too_many || count == 0) return std::nullopt;

    DatePoint p;
    auto year = dates::parse_year(tok[count - 1]);
    if (!year) return std::nullopt;
    p.year = *year;
    if (count == 1) return p;

    // Which token gives the month and which the day.
    std::size_t month_at = 0, day_at = 1;
    if (count == 3) {
        // "5 January 1882", and "10 05 1882" when the middle number can be a month.
        if (!all_digits(tok[1]) || (all_digits(tok[0]) && dates::month_number(tok[1]))) {
            month_at = 1;
            day_at = 0;
        }
    } else if (count == 4 && !dates::month_number(tok[0])) {
        // "Sunday January 10 1882": the month's own token is the second; the day follows it.
        month_at = 1;
        day_at = 2;
    }
    auto month = dates::month_number(tok[month_at]);
    if (!month) return std::nullopt;
    // A point that names its month in words takes none from digits: in
    // "8/9 JUL 1457" the 8 is a day, not August.
    if (all_digits(tok[month_at]))
        for (std::size_t k = 0; k + 1 < count; ++k)
            if (k != month_at && !all_digits(tok[k]) && dates::month_number(tok[k])) return std::nullopt;
    p.month = month;
    if (count == 2) return p;
    p.day = dates::parse_day(tok[day_at]);
    if (!p.day) return std::nullopt;
    return p;
}

// Steps after the BCE suffix: numeric triple, dual years, tokens.
std::optional<DatePoint> point_body(std::string_view t) {
    if (auto p = point_from_triple(t)) return p;
    if (auto p = dates::parse_dual_year(t)) return p;
    if (auto sp = t.rfind(' '); sp != std::string_view::npos) {
        if (auto dual = dates::parse_dual_year(t.substr(sp + 1))) {
            std::string rewritten(t.substr(0, sp));
            rewritten += ' ';
            rewritten += std::to_string(dual->year);
            return dates::parse_point(rewritten);
        }
    }
    return point_from_tokens(t);
}

}  // namespace

std::optional<DatePoint> DatePoint::from_ymd(std::int32_t year, std::optional<std::uint8_t> month,
                                             std::optional<std::uint8_t> day) {
    if (month && (*month < 1 || *month > 12)) return std::nullopt;
    if (day && (!month || *day < 1 || *day > 31)) return std::nullopt;
    return DatePoint{year, month, day};
}

std::int64_t DatePoint::sort_key() const {
    std::int64_t key = static_cast<std::int64_t>(year) * 10000;
    if (month) key += static_cast<std::int64_t>(*month) * 100;
    if (day) key += *day;
    return key;
}

void DatePoint::write_json(json::Writer& w) const {
    w.begin_object().key("year").int64(year).key("month");
    month ? w.uint(*month) : w.null();
    w.key("day");
    day ? w.uint(*day) : w.null();
    w.end_object();
}

std::string DatePoint::to_json() const {
    json::Writer w;
    write_json(w);
    return w.take();
}

namespace dates {

std::optional<DatePoint> parse_point(std::string_view text) {
    // A "BCE" suffix negates whatever point the text before it reads; it may
    // repeat, so it is taken off in a loop rather than by recursion.
    bool negate = false;
    std::string_view t = text;
    for (;;) {
        t = clean(t);
        if (t.empty()) return std::nullopt;
        if (t.size() < 3) break;
        std::string_view tail = t.substr(t.size() - 3);
        if (tail != "BCE" && tail != "bce" && tail != "B.C" && tail != "b.c") break;
        std::string_view before = text::trim_end(t.substr(0, t.size() - 3));
        if (before.empty()) break;
        negate = !negate;
        t = before;
    }
    auto p = point_body(t);
    if (p && negate) p->year = -p->year;
    return p;
}

std::optional<std::int32_t> parse_year(std::string_view token) {
    std::string_view t = strip_non_digits(token);
    if (t.empty()) return std::nullopt;
    t = t.substr(0, t.find('/'));
    auto v = digits_value(t, 9999);
    if (!v) return std::nullopt;
    return static_cast<std::int32_t>(*v);
}

std::optional<std::uint8_t> parse_day(std::string_view token) {
    return small_in(strip_non_digits(token), 1, 31);
}

std::optional<std::uint8_t> month_number(std::string_view token) {
    std::string_view t = strip_non_alnum(token);
    if (t.empty()) return std::nullopt;
    bool ascii = std::all_of(t.begin(), t.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        if (t.size() <= longest_month_name) {
            char buf[longest_month_name];
            for (std::size_t i = 0; i < t.size(); ++i) buf[i] = text::ascii_lower(t[i]);
            return month_of_lowercase(std::string_view(buf, t.size()));
        }
        // Too long for a name; only a number with leading zeros can still be a month.
        return month_of_lowercase(t);
    }
    return month_of_lowercase(text::unicode_lowercase(t));
}

std::span<const MonthName> month_table() { return month_names; }
std::span<const std::string_view> fillers() { return filler_words; }

std::vector<std::string_view> split_runs(std::string_view word) {
    std::vector<std::string_view> runs;
    for_each_run(word, [&](std::string_view run) {
        runs.push_back(run);
        return true;
    });
    return runs;
}

std::optional<DatePoint> parse_dual_year(std::string_view text) {
    std::size_t slash = text.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    std::string_view left = text.substr(0, slash), right = text.substr(slash + 1);
    if (left.size() < 3 || left.size() > 4 || !all_digits(left) || !all_digits(right)) return std::nullopt;
    return DatePoint{static_cast<std::int32_t>(*digits_value(left, 9999)), std::nullopt, std::nullopt};
}

std::optional<std::pair<std::int32_t, std::int32_t>> dual_year(std::string_view s) {
    const std::size_t n = s.size();
    std::size_t i = 0;
    while (i < n) {
        if (!is_ascii_digit(s[i])) {
            ++i;
            continue;
        }
        std::size_t a = i;
        while (i < n && is_ascii_digit(s[i])) ++i;
        std::size_t len1 = i - a;
        if (i + 1 >= n || s[i] != '/' || !is_ascii_digit(s[i + 1])) continue;
        std::size_t b = i + 1, j = b;
        while (j < n && is_ascii_digit(s[j])) ++j;
        if (j < n && s[j] == '/') {
            // Three numbers joined by slashes are a numeric date, not a dual year.
            i = j;
            continue;
        }
        if (len1 != 3 && len1 != 4) continue;  // the second run is looked at next
        auto first = static_cast<std::int32_t>(*digits_value(s.substr(a, len1), 9999));
        auto v = digits_value(s.substr(b, j - b), 0x7FFFFFFF);
        if (!v) return std::nullopt;
        std::size_t len2 = j - b;
        std::int32_t second;
        if (len2 >= len1) {
            second = static_cast<std::int32_t>(*v);
        } else {
            std::int32_t pow = 1;
            for (std::size_t k = 0; k < len2; ++k) pow *= 10;
            second = first - first % pow + static_cast<std::int32_t>(*v);
            if (second <= first) second += pow;
        }
        return std::pair{first, second};
    }
    return std::nullopt;
}

}  // namespace dates

}  // namespace pellorine
