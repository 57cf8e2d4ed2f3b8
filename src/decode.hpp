// Character sets: sniffing, the declared CHAR value, the six decoders and the
// report of how a file's bytes became text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "document.hpp"
#include "error.hpp"

namespace pellorine {

// The character sets a file's bytes can be read in.
enum class GedcomEncoding : std::uint8_t {
    Ascii = 0,
    Utf8 = 1,
    Utf16BigEndian = 2,
    Utf16LittleEndian = 3,
    Ansel = 4,
    Windows1252 = 5,
};

// "ASCII", "UTF-8", "UTF-16 (big-endian)", "UTF-16 (little-endian)", "ANSEL", "ANSI (Windows-1252)".
std::string_view display_name(GedcomEncoding encoding);

// How a file's bytes became text: the encoding used, what the file declared, and what went wrong.
struct EncodingReport {
    std::vector<std::string> warnings;     // in the order they arose, each ending in a full stop
    std::optional<std::string> declared;   // the CHAR payload, trimmed
    std::uint64_t undecodable = 0;         // replacement characters the decoder produced
    bool bom = false;                      // a byte-order mark was present and skipped
    std::optional<GedcomEncoding> encoding;  // absent only in a report not made by decoding

    // One line: "Read as UTF-8, no CHAR declared" and the like.
    std::string summary() const;
    bool operator==(const EncodingReport&) const = default;  // field by field
};

}  // namespace pellorine

namespace pellorine::decode {

// A decoded text that may be a part of the bytes it was decoded from: when
// decoding leaves the bytes as they are (a byte-order mark aside), `borrowed`
// views them and `owned` is empty.
struct DecodedText {
    std::string owned;                          // the decoded text, unless borrowed
    std::optional<std::string_view> borrowed;   // the part of the bytes that is the decoded text

    // The decoded text, wherever it is.
    std::string_view view() const { return borrowed ? *borrowed : std::string_view(owned); }
    // The decoded text as a string of its own (a copy when borrowed).
    std::string take() && { return borrowed ? std::string(*borrowed) : std::move(owned); }
};

// What decode_gedcom_with does, without copying bytes that decode to themselves.
Result<std::pair<DecodedText, EncodingReport>> decode_gedcom_borrowing(std::string_view bytes,
                                                                       const ParseLimits& limits);

// Decodes, then parses under the same limits.
Result<std::pair<Document, EncodingReport>> from_bytes_with(std::string_view bytes, const ParseLimits& limits);
// The same under the default limits.
Result<std::pair<Document, EncodingReport>> from_bytes(std::string_view bytes);
// The same, for bytes that `keeper` keeps alive: when decoding would leave them as
// they are (valid UTF-8, or ASCII in a single-byte set; a byte-order mark skipped),
// the document views them in place instead of a copy.
Result<std::pair<Document, EncodingReport>> from_borrowed_bytes_with(std::string_view bytes, TextKeeper keeper,
                                                                        const ParseLimits& limits);

// Sniffs, reconciles the declared CHAR with the bytes, and decodes. Fails only
// on the size bound (`max_bytes`, checked before anything else).
Result<std::pair<std::string, EncodingReport>> decode_gedcom_with(std::string_view bytes,
                                                                  const ParseLimits& limits);
// The same under the default limits.
Result<std::pair<std::string, EncodingReport>> decode_gedcom(std::string_view bytes);

// The trimmed payload of the first non-blank "1 CHAR " line within the first
// 8192 bytes, the bytes read as UTF-16 in that encoding's byte order, or one
// character per byte (Latin-1) for every other encoding.
std::optional<std::string> declared_charset(std::string_view bytes, GedcomEncoding encoding);

// Decodes all the bytes in one encoding, adding the replacement characters it
// produced to `report.undecodable` (and, for UTF-16, possibly a warning).
std::string decode_as(std::string_view bytes, GedcomEncoding encoding, EncodingReport& report);

// UTF-16 in the given byte order; an odd final byte is dropped with a warning.
std::string decode_utf16(std::string_view bytes, bool big_endian, EncodingReport& report);

}  // namespace pellorine::decode
