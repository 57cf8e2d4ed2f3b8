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
std::string_view trim_start(std::string_view s);  // from the start only
std::string_view trim_end(std::string_view s);    // from the end only

// The quoted form used in messages and notes: the text between double quotes,
// `"` and `\` escaped with a backslash, \t \r \n \0 for those controls, and
// \u{hex} for every other control, unprintable or Grapheme_Extend character.
std::string quoted(std::string_view s);

// ASCII case folding: every other byte, UTF-8 included, is left as it is.
// The one-byte helpers are inline: keyword matching calls them per byte.
inline char ascii_upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }  // a-z to A-Z
inline char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }  // A-Z to a-z
std::string ascii_uppercase(std::string_view s);                       // every byte, a-z to A-Z
std::string ascii_lowercase(std::string_view s);                       // every byte, A-Z to a-z
// Equal once ASCII letters fold.
inline bool ascii_iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (ascii_upper(a[i]) != ascii_upper(b[i])) return false;
    return true;
}

// ASCII character classes, for grammars that admit ASCII only; no byte from
// 0x80 up belongs to any of them.
constexpr bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }
constexpr bool is_ascii_alpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
constexpr bool is_ascii_hex_digit(char c) {
    return is_ascii_digit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}
// A UTF-8 continuation byte (10xxxxxx).
constexpr bool is_continuation_byte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// FNV-1a over the bytes with ASCII letters uppercased, so texts equal under
// ascii_iequals hash alike; `basis` lets a table seed it.
inline constexpr std::uint64_t fnv1a_basis = 1469598103934665603ull;
inline std::uint64_t folded_fnv1a(std::string_view s, std::uint64_t basis = fnv1a_basis) {
    std::uint64_t h = basis;
    for (char c : s) h = (h ^ static_cast<unsigned char>(ascii_upper(c))) * 1099511628211ull;
    return h;
}

// Full Unicode lowercase mapping of UTF-8 text (invalid sequences pass through as U+FFFD).
std::string unicode_lowercase(std::string_view s);

// Decodes one code point at `pos` and advances it; invalid bytes give U+FFFD and advance by one.
char32_t next_code_point(std::string_view s, std::size_t& pos);
// The start of the code point that ends at `end` (exclusive, above 0); an
// invalid tail counts as one byte.
std::size_t code_point_start_before(std::string_view s, std::size_t end);
// Appends `cp` in UTF-8; a surrogate or a value past U+10FFFF becomes U+FFFD.
void append_utf8(std::string& out, char32_t cp);
// True when `s` is well-formed UTF-8 (no overlong forms, no surrogates).
bool is_valid_utf8(std::string_view s);

// Character classes of one code point.
bool is_white_space(char32_t cp);      // the White_Space property
bool is_alphabetic(char32_t cp);       // the Alphabetic property
bool is_numeric(char32_t cp);          // general categories Nd, Nl, No
bool is_printable(char32_t cp);        // as Python's str.isprintable
bool is_grapheme_extend(char32_t cp);  // the Grapheme_Extend property

// The character-set declaration of a GEDCOM text: the first line that begins
// with "1 CHAR " and has something other than white space after it.
struct CharDeclaration {
    std::size_t line;   // index of that line, from 0
    std::string value;  // the rest of the line, trimmed
};
// Only the first bytes of a file are searched for its declaration.
inline constexpr std::size_t char_search_bytes = 8192;
// Searches all of `s` (the caller cuts it to the searched prefix); with `latin1`
// each byte is read as the character of the same code, else `s` is UTF-8.
std::optional<CharDeclaration> find_char_declaration(std::string_view s, bool latin1);

// Reads an unsigned decimal number: an optional single leading '+', then one or
// more ASCII digits; anything else, or a value above `max`, gives nothing.
std::optional<std::uint64_t> parse_unsigned(std::string_view s, std::uint64_t max);

}  // namespace pellorine::text
