#include "decode.hpp"

#include <algorithm>
#include <array>
#include <cstring>

#include "text.hpp"

namespace pellorine {

std::string_view display_name(GedcomEncoding encoding) {
    switch (encoding) {
        case GedcomEncoding::Ascii: return "ASCII";
        case GedcomEncoding::Utf8: return "UTF-8";
        case GedcomEncoding::Utf16BigEndian: return "UTF-16 (big-endian)";
        case GedcomEncoding::Utf16LittleEndian: return "UTF-16 (little-endian)";
        case GedcomEncoding::Ansel: return "ANSEL";
        case GedcomEncoding::Windows1252: return "ANSI (Windows-1252)";
    }
    return "unknown";
}

std::string EncodingReport::summary() const {
    std::string out = "Read as ";
    out += encoding ? display_name(*encoding) : std::string_view("unknown");
    if (bom) out += " (byte-order mark)";
    if (declared) {
        out += ", declared ";
        out += *declared;
    } else {
        out += ", no CHAR declared";
    }
    if (undecodable > 0) {
        out += ", ";
        out += std::to_string(undecodable);
        out += " byte(s) undecodable";
    }
    return out;
}

}  // namespace pellorine

namespace pellorine::decode {

namespace {


// One byte's output, already encoded as UTF-8, so the single-byte decoders
// run on a table lookup and a short copy.
enum class ByteKind : std::uint8_t { Plain, Combining, Undecodable };
struct ByteEntry {
    ByteKind kind = ByteKind::Plain;
    std::uint8_t len = 0;
    char bytes[3] = {};
};
using ByteTable = std::array<ByteEntry, 256>;

constexpr ByteEntry entry(char32_t cp, ByteKind kind = ByteKind::Plain) {
    ByteEntry e;
    e.kind = kind;
    if (cp < 0x80) {
        e.len = 1;
        e.bytes[0] = static_cast<char>(cp);
    } else if (cp < 0x800) {
        e.len = 2;
        e.bytes[0] = static_cast<char>(0xC0 | (cp >> 6));
        e.bytes[1] = static_cast<char>(0x80 | (cp & 0x3F));
    } else {  // every table character lies in the Basic Multilingual Plane
        e.len = 3;
        e.bytes[0] = static_cast<char>(0xE0 | (cp >> 12));
        e.bytes[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        e.bytes[2] = static_cast<char>(0x80 | (cp & 0x3F));
    }
    return e;
}

constexpr ByteTable make_ascii() {
    ByteTable t{};
    for (unsigned b = 0; b < 256; ++b) t[b] = b < 0x80 ? entry(b) : entry(0xFFFD, ByteKind::Undecodable);
    return t;
}
constexpr ByteTable kAscii = make_ascii();

constexpr ByteTable make_windows1252() {
    constexpr char32_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
    };
    ByteTable t{};
    for (unsigned b = 0; b < 256; ++b) t[b] = entry(b >= 0x80 && b < 0xA0 ? high[b - 0x80] : b);
    return t;
}

constexpr ByteTable make_ansel() {
    // 0xA1 to 0xCF; 0 marks a byte with no character.
    constexpr char32_t spacing[0xCF - 0xA1 + 1] = {
        0x0141, 0x00D8, 0x0110, 0x00DE, 0x00C6, 0x0152, 0x02B9,          // A1-A7
        0x00B7, 0x266D, 0x00AE, 0x00B1, 0x01A0, 0x01AF, 0x02BB, 0,       // A8-AF
        0x02BC, 0x0142, 0x00F8, 0x0111, 0x00FE, 0x00E6, 0x0153, 0x02BA,  // B0-B7
        0x0131, 0x00A3, 0x00F0, 0,      0x01A1, 0x01B0, 0x25A1, 0x25A0,  // B8-BF
        0x00B0, 0x2113, 0x2117, 0x00A9, 0x266F, 0x00BF, 0x00A1, 0,       // C0-C7
        0,      0,      0,      0,      0,      0x0065, 0x006F, 0x00DF,  // C8-CF
    };
    // 0xE0 to 0xFE; 0 marks a byte that is not a combining mark (FC, FD).
    constexpr char32_t combining[0xFE - 0xE0 + 1] = {
        0x0309, 0x0300, 0x0301, 0x0302, 0x0303, 0x0304, 0x0306, 0x0307,  // E0-E7
        0x0308, 0x030C, 0x030A, 0xFE20, 0xFE21, 0x0315, 0x030B, 0x0310,  // E8-EF
        0x0327, 0x0328, 0x0323, 0x0324, 0x0325, 0x0333, 0x0332, 0x0326,  // F0-F7
        0x031C, 0x032E, 0xFE22, 0xFE23, 0,      0,      0x0313,          // F8-FE
    };
    ByteTable t{};
    for (unsigned b = 0; b < 0x80; ++b) t[b] = entry(b);
    for (unsigned b = 0x80; b < 256; ++b) {
        char32_t cp = 0;
        ByteKind kind = ByteKind::Plain;
        if (b >= 0xA1 && b <= 0xCF) {
            cp = spacing[b - 0xA1];
        } else if (b >= 0xE0 && b <= 0xFE) {
            cp = combining[b - 0xE0];
            kind = ByteKind::Combining;
        }
        t[b] = cp == 0 ? entry(0xFFFD, ByteKind::Undecodable) : entry(cp, kind);
    }
    return t;
}

constexpr ByteTable kWindows1252 = make_windows1252();
constexpr ByteTable kAnsel = make_ansel();

inline void append_entry(std::string& out, const ByteEntry& e) { out.append(e.bytes, e.len); }

// Length of the run of bytes below 0x80 starting at `pos`.
inline std::size_t ascii_run(const unsigned char* p, std::size_t pos, std::size_t n) {
    std::size_t i = pos;
    while (i + 8 <= n) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        if (w & 0x8080808080808080ULL) break;
        i += 8;
    }
    while (i < n && p[i] < 0x80) ++i;
    return i - pos;
}

const unsigned char* ubytes(std::string_view s) { return reinterpret_cast<const unsigned char*>(s.data()); }

// Copies the ASCII run that starts at `i` to `out` and moves `i` past it;
// false when the run ends the bytes.
bool copy_ascii_run(std::string_view bytes, std::size_t& i, std::string& out) {
    const std::size_t run = ascii_run(ubytes(bytes), i, bytes.size());
    out.append(bytes.data() + i, run);
    i += run;
    return i < bytes.size();
}

// ASCII and Windows-1252: one table lookup per byte above 0x7F, ASCII runs copied whole.
std::string decode_single_byte(std::string_view bytes, const ByteTable& table, EncodingReport& report) {
    const unsigned char* p = ubytes(bytes);
    const std::size_t n = bytes.size();
    std::string out;
    out.reserve(n);
    std::size_t i = 0;
    while (i < n) {
        if (!copy_ascii_run(bytes, i, out)) break;
        const ByteEntry& e = table[p[i++]];
        if (e.kind == ByteKind::Undecodable) ++report.undecodable;
        append_entry(out, e);
    }
    return out;
}

// ANSEL writes a combining mark before its base character; Unicode wants it
// after. The held marks are always the run of combining bytes just before the
// current byte, so they are replayed from the input rather than stored.
std::string decode_ansel(std::string_view bytes, EncodingReport& report) {
    const unsigned char* p = ubytes(bytes);
    const std::size_t n = bytes.size();
    std::string out;
    out.reserve(n);
    auto write_marks = [&](std::size_t from, std::size_t to) {
        for (std::size_t k = from; k < to; ++k) append_entry(out, kAnsel[p[k]]);
    };
    bool holding = false;
    std::size_t held = 0;  // first held combining byte
    std::size_t i = 0;
    while (i < n) {
        if (!holding) {
            if (!copy_ascii_run(bytes, i, out)) break;
        }
        const unsigned char c = p[i];
        const ByteEntry& e = kAnsel[c];
        if (e.kind == ByteKind::Combining) {
            if (!holding) held = i;
            holding = true;
            ++i;
            continue;
        }
        if (holding && (c == '\n' || c == '\r')) {
            // A mark never leaves its line: it goes on the line's last
            // character, so the next line still starts with its level.
            write_marks(held, i);
            holding = false;
        }
        if (e.kind == ByteKind::Undecodable) ++report.undecodable;
        append_entry(out, e);
        if (holding) {
            write_marks(held, i);
            holding = false;
        }
        ++i;
    }
    if (holding) write_marks(held, n);
    return out;
}

// Lossy UTF-8: one U+FFFD for each maximal subpart of an ill-formed sequence.
std::string decode_utf8_lossy(std::string_view bytes, EncodingReport& report) {
    static constexpr char kReplacement[] = "\xEF\xBF\xBD";
    const unsigned char* p = ubytes(bytes);
    const std::size_t n = bytes.size();
    std::string out;
    out.reserve(n + n / 2);
    std::uint64_t count = 0;
    std::size_t i = 0;
    while (i < n) {
        if (!copy_ascii_run(bytes, i, out)) break;
        const unsigned char c = p[i];
        std::size_t need;
        unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            need = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            need = 2;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            need = 3;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        } else {
            out.append(kReplacement, 3);
            ++count;
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        std::size_t got = 0;
        while (got < need && j < n) {
            const unsigned char d = p[j];
            const bool ok = got == 0 ? (d >= lo && d <= hi) : (d >= 0x80 && d <= 0xBF);
            if (!ok) break;
            ++got;
            ++j;
        }
        if (got == need) {
            out.append(bytes.data() + i, j - i);
            if (j - i == 3 && std::memcmp(p + i, kReplacement, 3) == 0) ++count;
        } else {
            out.append(kReplacement, 3);
            ++count;
        }
        i = j;
    }
    report.undecodable += count;
    return out;
}

std::string decode_utf8(std::string_view bytes, EncodingReport& report, bool known_valid) {
    if (known_valid || text::is_valid_utf8(bytes)) return std::string(bytes);
    return decode_utf8_lossy(bytes, report);
}

std::string decode_with(std::string_view bytes, GedcomEncoding encoding, EncodingReport& report,
                        bool known_valid_utf8) {
    switch (encoding) {
        case GedcomEncoding::Ascii: return decode_single_byte(bytes, kAscii, report);
        case GedcomEncoding::Utf8: return decode_utf8(bytes, report, known_valid_utf8);
        case GedcomEncoding::Utf16BigEndian: return decode_utf16(bytes, true, report);
        case GedcomEncoding::Utf16LittleEndian: return decode_utf16(bytes, false, report);
        case GedcomEncoding::Ansel: return decode_ansel(bytes, report);
        case GedcomEncoding::Windows1252: return decode_single_byte(bytes, kWindows1252, report);
    }
    return std::string();
}

bool is_utf16(GedcomEncoding e) {
    return e == GedcomEncoding::Utf16BigEndian || e == GedcomEncoding::Utf16LittleEndian;
}

std::string charset_key(std::string_view declared) {
    std::string key;
    for (char c : declared) {
        if (text::is_ascii_alpha(c) || text::is_ascii_digit(c)) key.push_back(text::ascii_upper(c));
    }
    return key;
}

constexpr std::string_view kUnicodeWarning =
    "File declares UNICODE but has no byte-order mark and no UTF-16 structure; read as UTF-8.";

// Chooses the encoding of a file without byte-order mark or UTF-16 structure.
// `valid_utf8` is set when the choice already proved the bytes valid UTF-8.
GedcomEncoding choose_single_byte(std::string_view bytes, EncodingReport& report, bool& valid_utf8) {
    valid_utf8 = false;
    // UTF-8 when the bytes are valid UTF-8; otherwise `fallback`, with `warning`.
    auto utf8_or = [&](GedcomEncoding fallback, std::string_view warning) {
        valid_utf8 = text::is_valid_utf8(bytes);
        if (valid_utf8) return GedcomEncoding::Utf8;
        report.warnings.emplace_back(warning);
        return fallback;
    };
    if (!report.declared) {
        return utf8_or(GedcomEncoding::Ansel,
                       "File declares no CHAR and is not valid UTF-8; read as ANSEL, the GEDCOM 5.5 default.");
    }
    const std::string key = charset_key(*report.declared);
    if (key == "UTF8") {
        return utf8_or(GedcomEncoding::Windows1252,
                       "File declares UTF-8 but contains invalid UTF-8; read as Windows-1252 instead.");
    }
    if (key == "ANSI" || key == "CP1252" || key == "IBMWINDOWS" || key == "WINDOWS1252") {
        return GedcomEncoding::Windows1252;
    }
    if (key == "ANSEL" || key == "ANSIZ3947") return GedcomEncoding::Ansel;
    if (key == "ASCII" || key == "USASCII") return GedcomEncoding::Ascii;
    if (key == "UNICODE" || key == "UTF16") {
        report.warnings.emplace_back(kUnicodeWarning);
        return GedcomEncoding::Utf8;
    }
    report.warnings.push_back("Unrecognized CHAR value " + text::quoted(*report.declared) + "; read as UTF-8.");
    return GedcomEncoding::Utf8;
}

// Whether decoding in `encoding` gives back exactly the bytes: valid UTF-8, or
// ASCII read in a set that maps ASCII to itself. `valid_utf8` is known validity.
bool decodes_to_itself(std::string_view bytes, GedcomEncoding encoding, bool valid_utf8) {
    switch (encoding) {
        case GedcomEncoding::Utf8: return valid_utf8 || text::is_valid_utf8(bytes);
        case GedcomEncoding::Ascii:
        case GedcomEncoding::Ansel:
        case GedcomEncoding::Windows1252:
            return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        case GedcomEncoding::Utf16BigEndian:
        case GedcomEncoding::Utf16LittleEndian: return false;
    }
    return false;
}

}  // namespace

std::string decode_utf16(std::string_view bytes, bool big_endian, EncodingReport& report) {
    std::size_t n = bytes.size();
    if (n % 2 != 0) {
        report.warnings.emplace_back("UTF-16 file has an odd number of bytes; the final byte was ignored.");
        --n;
    }
    const unsigned char* p = ubytes(bytes);
    auto unit = [&](std::size_t i) -> char32_t {
        return big_endian ? (char32_t(p[i]) << 8) | p[i + 1] : (char32_t(p[i + 1]) << 8) | p[i];
    };
    std::string out;
    out.reserve(n / 2);
    std::uint64_t count = 0;
    std::size_t i = 0;
    while (i < n) {
        char32_t u = unit(i);
        i += 2;
        if (u < 0x80) {
            out.push_back(static_cast<char>(u));
        } else if (u >= 0xD800 && u <= 0xDBFF) {
            char32_t v = i < n ? unit(i) : 0;
            if (v >= 0xDC00 && v <= 0xDFFF) {
                i += 2;
                text::append_utf8(out, 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
            } else {  // the following unit, if any, is read afresh
                text::append_utf8(out, 0xFFFD);
                ++count;
            }
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            text::append_utf8(out, 0xFFFD);
            ++count;
        } else {
            text::append_utf8(out, u);
        }
    }
    report.undecodable += count;
    return out;
}

std::string decode_as(std::string_view bytes, GedcomEncoding encoding, EncodingReport& report) {
    return decode_with(bytes, encoding, report, false);
}

std::optional<std::string> declared_charset(std::string_view bytes, GedcomEncoding encoding) {
    std::string_view prefix = bytes.substr(0, text::char_search_bytes);
    if (is_utf16(encoding)) {
        EncodingReport scratch;  // the search's own decoding reports nothing
        std::string text = decode_utf16(prefix, encoding == GedcomEncoding::Utf16BigEndian, scratch);
        if (auto found = text::find_char_declaration(text, false)) return std::move(found->value);
        return std::nullopt;
    }
    if (auto found = text::find_char_declaration(prefix, true)) return std::move(found->value);
    return std::nullopt;
}

Result<std::pair<DecodedText, EncodingReport>> decode_gedcom_borrowing(std::string_view bytes,
                                                                       const ParseLimits& limits) {
    if (auto ok = check_input_size(bytes.size(), limits); !ok) return fail(std::move(ok.error()));
    EncodingReport report;
    const unsigned char* p = ubytes(bytes);
    const std::size_t n = bytes.size();
    std::optional<GedcomEncoding> marked;
    std::size_t skip = 0;
    if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
        marked = GedcomEncoding::Utf8, skip = 3;
    } else if (n >= 2 && p[0] == 0xFE && p[1] == 0xFF) {
        marked = GedcomEncoding::Utf16BigEndian, skip = 2;
    } else if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
        marked = GedcomEncoding::Utf16LittleEndian, skip = 2;
    }

    std::string_view body = bytes;
    bool valid_utf8 = false;
    if (marked) {
        // A byte-order mark wins over any declaration, silently.
        report.bom = true;
        report.encoding = marked;
        body = bytes.substr(skip);
        report.declared = declared_charset(body, *marked);
    } else if (n >= 2 && ((p[0] == 0) != (p[1] == 0))) {
        const GedcomEncoding enc = p[0] == 0 ? GedcomEncoding::Utf16BigEndian : GedcomEncoding::Utf16LittleEndian;
        report.encoding = enc;
        report.declared = declared_charset(bytes, enc);
        report.warnings.push_back("File is " + std::string(display_name(enc)) + " but carries no byte-order mark.");
    } else {
        report.declared = declared_charset(bytes, GedcomEncoding::Ansel);
        report.encoding = choose_single_byte(bytes, report, valid_utf8);
    }

    DecodedText decoded;
    if (decodes_to_itself(body, *report.encoding, valid_utf8)) {
        decoded.borrowed = body;
    } else {
        decoded.owned = decode_with(body, *report.encoding, report, valid_utf8);
    }
    if (report.undecodable > 0) {
        report.warnings.push_back(std::to_string(report.undecodable) + " byte(s) had no mapping in " +
                                  std::string(display_name(*report.encoding)) + " and were replaced with U+FFFD.");
    }
    return std::pair{std::move(decoded), std::move(report)};
}

Result<std::pair<std::string, EncodingReport>> decode_gedcom_with(std::string_view bytes,
                                                                  const ParseLimits& limits) {
    auto decoded = decode_gedcom_borrowing(bytes, limits);
    if (!decoded) return fail(std::move(decoded.error()));
    return std::pair{std::move(decoded->first).take(), std::move(decoded->second)};
}

Result<std::pair<std::string, EncodingReport>> decode_gedcom(std::string_view bytes) {
    return decode_gedcom_with(bytes, default_limits);
}

}  // namespace pellorine::decode
