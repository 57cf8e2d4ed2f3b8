// Small text helpers shared by every module: trimming, the quoted form,
// ASCII and Unicode case folding, character classes (through ICU).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pellorine::text {

// Removes characters with the Unicode White_Space property from both ends.
std::string_view trim(std::string_view s);
std::string_view trim_start(std::string_view s);
std::string_view trim_end(std::string_view s);

// The quoted form used in messages and notes: the text between double quotes,
// `"` and `\` escaped with a backslash, \t \r \n \0 for those controls, and
// \u{hex} for every other control, unprintable or Grapheme_Extend character.
std::string quoted(std::string_view s);

// ASCII letter case; every other byte is left as it is. Inline: hot in keyword matching.
inline char ascii_upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
inline char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
std::string ascii_uppercase(std::string_view s);
std::string ascii_lowercase(std::string_view s);
// Equal ignoring ASCII letter case.
inline bool ascii_iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (ascii_upper(a[i]) != ascii_upper(b[i])) return false;
    return true;
}
bool ascii_istarts_with(std::string_view s, std::string_view prefix);

// Full Unicode lowercase mapping of UTF-8 text (invalid sequences pass through as U+FFFD).
std::string unicode_lowercase(std::string_view s);

// Decodes one code point at `pos` and advances it; invalid bytes give U+FFFD and advance by one.
char32_t next_code_point(std::string_view s, std::size_t& pos);
void append_utf8(std::string& out, char32_t cp);
bool is_valid_utf8(std::string_view s);

bool is_white_space(char32_t cp);
bool is_alphabetic(char32_t cp);
bool is_numeric(char32_t cp);       // general categories Nd, Nl, No
bool is_printable(char32_t cp);     // as Python's str.isprintable
bool is_grapheme_extend(char32_t cp);

// Reads an unsigned decimal number: an optional single leading '+', then one or
// more ASCII digits; anything else, or an overflow of T, gives nothing.
std::optional<std::uint64_t> parse_unsigned(std::string_view s, std::uint64_t max);

}  // namespace pellorine::text
