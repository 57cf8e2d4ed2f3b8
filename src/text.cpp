#include "text.hpp"

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <vector>

namespace pellorine::text {

namespace {

bool ascii_white(unsigned char c) { return c == ' ' || (c >= 0x09 && c <= 0x0D); }


}  // namespace

char32_t next_code_point(std::string_view s, std::size_t& pos) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    std::size_t n = s.size();
    unsigned char c = p[pos];
    if (c < 0x80) {
        ++pos;
        return c;
    }
    std::size_t len;
    char32_t cp;
    char32_t min;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2, cp = c & 0x1F, min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3, cp = c & 0x0F, min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4, cp = c & 0x07, min = 0x10000;
    } else {
        ++pos;
        return 0xFFFD;
    }
    if (pos + len > n) {
        ++pos;
        return 0xFFFD;
    }
    for (std::size_t k = 1; k < len; ++k) {
        unsigned char d = p[pos + k];
        if ((d & 0xC0) != 0x80) {
            ++pos;
            return 0xFFFD;
        }
        cp = (cp << 6) | (d & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return 0xFFFD;
    }
    pos += len;
    return cp;
}

std::size_t code_point_start_before(std::string_view s, std::size_t end) {
    std::size_t i = end - 1;
    std::size_t limit = end >= 4 ? end - 4 : 0;
    while (i > limit && is_continuation_byte(s[i])) --i;
    // Only accept the lead byte when it decodes to exactly the bytes up to `end`.
    std::size_t pos = i;
    next_code_point(s, pos);
    return pos == end ? i : end - 1;
}

void append_utf8(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

bool is_valid_utf8(std::string_view s) {
    std::size_t pos = 0;
    const std::size_t n = s.size();
    while (pos < n) {
        // Skip ASCII eight bytes at a time.
        while (pos + 8 <= n) {
            std::uint64_t w;
            __builtin_memcpy(&w, s.data() + pos, 8);
            if (w & 0x8080808080808080ULL) break;
            pos += 8;
        }
        if (pos >= n) break;
        if (static_cast<unsigned char>(s[pos]) < 0x80) {
            ++pos;
            continue;
        }
        std::size_t before = pos;
        char32_t cp = next_code_point(s, pos);
        // U+FFFD itself is valid (EF BF BD, three bytes); an error advances by one.
        if (cp == 0xFFFD && pos - before != 3) return false;
    }
    return true;
}

bool is_white_space(char32_t cp) {
    if (cp < 0x80) return ascii_white(static_cast<unsigned char>(cp));
    return u_hasBinaryProperty(static_cast<UChar32>(cp), UCHAR_WHITE_SPACE);
}

bool is_alphabetic(char32_t cp) {
    if (cp < 0x80) return (cp >= 'a' && cp <= 'z') || (cp >= 'A' && cp <= 'Z');
    return u_hasBinaryProperty(static_cast<UChar32>(cp), UCHAR_ALPHABETIC);
}

bool is_numeric(char32_t cp) {
    if (cp < 0x80) return cp >= '0' && cp <= '9';
    auto gc = u_charType(static_cast<UChar32>(cp));
    return gc == U_DECIMAL_DIGIT_NUMBER || gc == U_LETTER_NUMBER || gc == U_OTHER_NUMBER;
}

bool is_printable(char32_t cp) {
    if (cp == ' ') return true;
    if (cp < 0x80) return cp > 0x20 && cp < 0x7F;
    switch (u_charType(static_cast<UChar32>(cp))) {
        case U_CONTROL_CHAR:
        case U_FORMAT_CHAR:
        case U_SURROGATE:
        case U_PRIVATE_USE_CHAR:
        case U_UNASSIGNED:
        case U_SPACE_SEPARATOR:
        case U_LINE_SEPARATOR:
        case U_PARAGRAPH_SEPARATOR:
            return false;
        default:
            return true;
    }
}

bool is_grapheme_extend(char32_t cp) {
    if (cp < 0x80) return false;
    return u_hasBinaryProperty(static_cast<UChar32>(cp), UCHAR_GRAPHEME_EXTEND);
}

std::string_view trim_start(std::string_view s) {
    std::size_t pos = 0;
    while (pos < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[pos]);
        if (c < 0x80) {
            if (!ascii_white(c)) break;
            ++pos;
            continue;
        }
        std::size_t next = pos;
        if (!is_white_space(next_code_point(s, next))) break;
        pos = next;
    }
    return s.substr(pos);
}

std::string_view trim_end(std::string_view s) {
    std::size_t end = s.size();
    while (end > 0) {
        unsigned char c = static_cast<unsigned char>(s[end - 1]);
        if (c < 0x80) {
            if (!ascii_white(c)) break;
            --end;
            continue;
        }
        std::size_t start = code_point_start_before(s, end);
        std::size_t pos = start;
        if (!is_white_space(next_code_point(s, pos))) break;
        end = start;
    }
    return s.substr(0, end);
}

std::string_view trim(std::string_view s) { return trim_end(trim_start(s)); }

std::string quoted(std::string_view s) {
    std::string out;
    out.reserve(s.size() + 2);
    out.push_back('"');
    static const char hex[] = "0123456789abcdef";
    std::size_t pos = 0;
    while (pos < s.size()) {
        std::size_t start = pos;
        char32_t cp = next_code_point(s, pos);
        switch (cp) {
            case '"': out += "\\\""; continue;
            case '\\': out += "\\\\"; continue;
            case '\t': out += "\\t"; continue;
            case '\r': out += "\\r"; continue;
            case '\n': out += "\\n"; continue;
            case 0: out += "\\0"; continue;
            default: break;
        }
        if (!is_printable(cp) || is_grapheme_extend(cp)) {
            out += "\\u{";
            char digits[8];
            int n = 0;
            char32_t v = cp;
            do {
                digits[n++] = hex[v & 0xF];
                v >>= 4;
            } while (v != 0);
            while (n > 0) out.push_back(digits[--n]);
            out.push_back('}');
        } else if (cp == 0xFFFD) {
            append_utf8(out, cp);  // an invalid byte is shown as the replacement character
        } else {
            out.append(s.substr(start, pos - start));
        }
    }
    out.push_back('"');
    return out;
}

std::string ascii_uppercase(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = ascii_upper(c);
    return out;
}

std::string ascii_lowercase(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = ascii_lower(c);
    return out;
}

std::string unicode_lowercase(std::string_view s) {
    bool ascii = true;
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii) return ascii_lowercase(s);

    std::vector<UChar> src;
    src.reserve(s.size());
    std::size_t pos = 0;
    while (pos < s.size()) {
        char32_t cp = next_code_point(s, pos);
        if (cp >= 0x10000) {
            src.push_back(static_cast<UChar>(0xD800 + ((cp - 0x10000) >> 10)));
            src.push_back(static_cast<UChar>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            src.push_back(static_cast<UChar>(cp));
        }
    }
    // Full lowercase mapping can lengthen the text (U+0130 becomes two code points).
    std::vector<UChar> dst(src.size() * 3 + 8);
    UErrorCode status = U_ZERO_ERROR;
    int32_t len = u_strToLower(dst.data(), static_cast<int32_t>(dst.size()), src.data(),
                               static_cast<int32_t>(src.size()), "", &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        dst.resize(static_cast<std::size_t>(len));
        status = U_ZERO_ERROR;
        len = u_strToLower(dst.data(), len, src.data(), static_cast<int32_t>(src.size()), "", &status);
    }
    std::string out;
    if (U_FAILURE(status)) return std::string(s);
    out.reserve(s.size());
    for (int32_t i = 0; i < len; ++i) {
        char32_t cp = dst[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < len && dst[i + 1] >= 0xDC00 && dst[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (dst[i + 1] - 0xDC00);
            ++i;
        }
        append_utf8(out, cp);
    }
    return out;
}

std::optional<std::uint64_t> parse_unsigned(std::string_view s, std::uint64_t max) {
    if (!s.empty() && s[0] == '+') s.remove_prefix(1);
    if (s.empty()) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        std::uint64_t d = static_cast<std::uint64_t>(c - '0');
        if (v > (max - d) / 10) return std::nullopt;
        v = v * 10 + d;
    }
    return v;
}

std::optional<CharDeclaration> find_char_declaration(std::string_view s, bool latin1) {
    static constexpr std::string_view kPrefix = "1 CHAR ";
    std::size_t pos = 0;
    for (std::size_t index = 0; pos < s.size(); ++index) {
        std::size_t end = std::min(s.find('\n', pos), s.size());
        std::string_view line = s.substr(pos, end - pos);
        pos = end + 1;
        if (!line.starts_with(kPrefix)) continue;
        std::string_view rest = line.substr(kPrefix.size());
        std::string value;
        if (latin1) {
            value.reserve(rest.size());
            for (unsigned char c : rest) append_utf8(value, c);
        } else {
            value.assign(rest);
        }
        std::string_view trimmed = trim(value);
        if (!trimmed.empty()) return CharDeclaration{index, std::string(trimmed)};
    }
    return std::nullopt;
}

}  // namespace pellorine::text
