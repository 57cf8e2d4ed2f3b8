// Keywords, month names and filler words in every language and letter case:
// the byte-by-byte comparison that ASCII text takes gives what the comparison
// of full Unicode lowercase mappings gives.
#include <gtest/gtest.h>

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dates.hpp"
#include "text.hpp"

using namespace pellorine;
using namespace pellorine::dates;

namespace {

const std::vector<std::span<const std::string_view>> all_lists = {
    range_joiners, range_openers, period_joiners, period_openers,   open_period_starts, open_period_ends,
    about_words,   calculated_words, estimated_words, before_words, after_words,        interpreted_words,
};

// The keyword stripping as stated, one code point at a time through the full
// Unicode lowercase mapping, with no shortcut.
std::optional<std::string> reference_strip(std::string_view text, std::span<const std::string_view> words) {
    const std::string_view t = text::trim(text);
    for (std::string_view w : words) {
        std::size_t pos = 0, wp = 0;
        bool matched = true;
        while (wp < w.size()) {
            if (pos >= t.size()) {
                matched = false;
                break;
            }
            std::size_t ts = pos, ws = wp;
            text::next_code_point(t, pos);
            text::next_code_point(w, wp);
            if (text::unicode_lowercase(t.substr(ts, pos - ts)) != text::unicode_lowercase(w.substr(ws, wp - ws))) {
                matched = false;
                break;
            }
        }
        if (!matched || pos >= t.size()) continue;
        char next = t[pos];
        if (next == ' ' || next == '.') {
            std::string_view after = text::trim(t.substr(pos + 1));
            if (!after.empty()) return std::string(after);
        } else if (next >= '0' && next <= '9') {
            return std::string(t.substr(pos));
        }
    }
    return std::nullopt;
}

// Uppercase for the letters the word lists hold (ASCII, Ø, È, Ä, É, Û).
std::string upper(std::string_view s) {
    std::string out = text::ascii_uppercase(s);
    const std::pair<std::string_view, std::string_view> pairs[] = {
        {"\u00f8", "\u00d8"}, {"\u00e8", "\u00c8"}, {"\u00e4", "\u00c4"}, {"\u00e9", "\u00c9"}, {"\u00fb", "\u00db"}};
    for (const auto& [lower, up] : pairs)
        for (std::size_t at = out.find(lower); at != std::string::npos; at = out.find(lower, at))
            out.replace(at, lower.size(), up);
    return out;
}

std::string replace_all(std::string s, char from, std::string_view to) {
    for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, 1, to);
    return s;
}

// A word in every case and in spellings that only the Unicode comparison can
// judge: the Kelvin sign for K (its lowercase is k), the capital I with a dot
// (its lowercase is two code points), and a cut word.
std::vector<std::string> forms_of(std::string_view word) {
    std::string up = upper(word), low = text::unicode_lowercase(word);
    std::vector<std::string> forms = {up, low};
    std::size_t first = 0;
    text::next_code_point(up, first);
    forms.push_back(up.substr(0, first) + low.substr(first));
    std::string mixed = low;
    for (std::size_t i = 0; i < mixed.size(); i += 2) mixed[i] = text::ascii_upper(mixed[i]);
    forms.push_back(mixed);
    forms.push_back(replace_all(up, 'K', "\u212a"));
    forms.push_back(replace_all(low, 'k', "\u212a"));
    forms.push_back(replace_all(up, 'I', "\u0130"));
    forms.push_back(up.substr(0, up.size() - 1));
    return forms;
}

std::vector<std::string> every_word() {
    std::vector<std::string> words;
    for (auto list : all_lists)
        for (std::string_view w : list) words.emplace_back(w);
    for (const MonthName& m : month_table()) words.emplace_back(m.name);
    for (std::string_view f : fillers()) words.emplace_back(f);
    return words;
}

TEST(KeywordFastPath, StripsAsTheUnicodeComparisonDoes) {
    const std::string_view before[] = {"", "  ", "\u00a0", "\t"};
    const std::string_view after[] = {"",      " ",     " 1900", ".1900", ". 1900", "1900", "x1900",
                                      " .",    ".  ",   "\u00a01900",     "\u00d8 1900",  "\u212a 1900"};
    std::size_t inputs = 0, stripped = 0;
    for (const std::string& word : every_word()) {
        for (const std::string& form : forms_of(word)) {
            for (std::string_view b : before) {
                for (std::string_view a : after) {
                    const std::string text = std::string(b) + form + std::string(a);
                    for (auto list : all_lists) {
                        auto got = strip_keyword(text, list);
                        auto want = reference_strip(text, list);
                        ASSERT_EQ(got.has_value(), want.has_value()) << "\"" << text << "\"";
                        if (got) {
                            EXPECT_EQ(*got, *want) << "\"" << text << "\"";
                        }
                        ++inputs;
                        stripped += want.has_value();
                    }
                }
            }
        }
    }
    // The inputs reach both outcomes, and the Kelvin sign does match a K.
    EXPECT_GT(stripped, 5000u);
    EXPECT_GT(inputs - stripped, 5000u);
    EXPECT_EQ(strip_keyword("OM\u212aRING 1900", about_words), std::optional<std::string_view>("1900"));
    EXPECT_EQ(strip_keyword("cir\u212aa 1900", about_words), std::optional<std::string_view>("1900"));
    EXPECT_EQ(strip_keyword("\u0130NT 1900", interpreted_words), std::nullopt);
    // An empty word matches at the start of any text.
    const std::string_view empty_word[] = {""};
    EXPECT_EQ(strip_keyword(" 1900", empty_word), reference_strip(" 1900", empty_word));
    EXPECT_EQ(strip_keyword("x 1900", empty_word), reference_strip("x 1900", empty_word));
}

TEST(KeywordFastPath, QualifiedDatesReadAlikeInEveryCase) {
    const std::pair<std::span<const std::string_view>, DateKind> lists[] = {
        {about_words, DateKind::About},   {calculated_words, DateKind::Calculated},
        {estimated_words, DateKind::Estimated}, {before_words, DateKind::Before},
        {after_words, DateKind::After},   {interpreted_words, DateKind::Interpreted},
    };
    for (const auto& [list, kind] : lists) {
        for (std::string_view w : list) {
            const std::string up = upper(w) + " 5 JAN 1900", low = text::unicode_lowercase(up);
            GedcomDate a = GedcomDate::parse(up), b = GedcomDate::parse(low);
            EXPECT_EQ(a.kind, b.kind) << up;
            EXPECT_EQ(a.earliest, b.earliest) << up;
            EXPECT_EQ(a.latest, b.latest) << up;
            // An earlier list may claim the word first ("C" before "CAL" ...); the kind is one of the lists'.
            EXPECT_NE(a.kind, DateKind::Unparsed) << up;
        }
    }
}

TEST(MonthFastPath, EveryNameInEveryCaseGivesItsMonth) {
    for (const MonthName& m : month_table()) {
        for (const std::string& form : forms_of(m.name)) {
            const std::string low = text::unicode_lowercase(form);
            std::optional<std::uint8_t> want;
            for (const MonthName& n : month_table())
                if (n.name == low) want = n.month;
            // The dotted capital I lowercases to two code points and so names no month.
            if (form.find("\u0130") != std::string::npos) continue;
            if (form.size() + 1 == upper(m.name).size()) {
                // A cut name may still be a name or an English prefix; it reads as its lowercase does.
                EXPECT_EQ(month_number(form), month_number(low)) << form;
                continue;
            }
            EXPECT_EQ(want, m.month) << form;
            for (const std::string& token : {form, form + ".", "(" + form + ")", form + ","})
                EXPECT_EQ(month_number(token), want) << token;
        }
    }
    // English prefixes of three letters or more, in either case.
    for (std::string_view p : {"SEPTEM", "septem", "Nove", "DECEMB"}) EXPECT_TRUE(month_number(p).has_value()) << p;
    EXPECT_EQ(month_number("O\u212aT"), std::optional<std::uint8_t>(10));
}

TEST(FillerFastPath, FillersAreSkippedInEveryCase) {
    for (std::string_view f : fillers()) {
        for (const std::string& form : {std::string(f), upper(f), text::ascii_uppercase(f.substr(0, 1)) + std::string(f.substr(1))}) {
            auto p = parse_point("5 " + form + " JAN " + form + " 1900");
            EXPECT_EQ(p, (DatePoint{1900, 1, 5})) << form;
        }
    }
}

}  // namespace
