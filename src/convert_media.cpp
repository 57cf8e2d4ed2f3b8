// Media objects toward 7.0: formats and media moved onto their files.
#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "convert_internal.hpp"
#include "text.hpp"

namespace pellorine::convert {

namespace {

// Media types by file format word, the word lowercased.
constexpr std::array<std::pair<std::string_view, std::string_view>, 20> kMediaTypes{{
    {"jpg", "image/jpeg"},     {"jpeg", "image/jpeg"},      {"png", "image/png"},
    {"gif", "image/gif"},      {"bmp", "image/bmp"},        {"tif", "image/tiff"},
    {"tiff", "image/tiff"},    {"pdf", "application/pdf"},  {"txt", "text/plain"},
    {"htm", "text/html"},      {"html", "text/html"},       {"wav", "audio/x-wav"},
    {"mp3", "audio/mpeg"},     {"svg", "image/svg+xml"},    {"xml", "application/xml"},
    {"eml", "message/rfc822"}, {"mp4", "video/mp4"},        {"heic", "image/heic"},
    {"webp", "image/webp"},    {"json", "application/json"},
}};

// The source media 7.0 enumerates; every other medium is OTHER.
constexpr std::array<std::string_view, 13> kMedia{
    "AUDIO", "BOOK",      "CARD",  "ELECTRONIC", "FICHE", "FILM", "MAGAZINE",
    "MANUSCRIPT", "MAP",  "NEWSPAPER", "PHOTO",  "TOMBSTONE", "VIDEO",
};

std::optional<std::string_view> media_type(std::string_view word) {
    for (const auto& [w, type] : kMediaTypes) {
        if (w == word) return type;
    }
    return std::nullopt;
}

bool is_enumerated_medium(std::string_view m) {
    return std::find(kMedia.begin(), kMedia.end(), m) != kMedia.end();
}

using text::is_ascii_alpha;
using text::is_ascii_digit;
using text::is_ascii_hex_digit;

// A URI scheme opens the path: a letter, at least one more letter, digit, "+",
// "-" or ".", then ":". One letter is not enough, so "C:\x" is a drive, not a scheme.
bool has_scheme(std::string_view path) {
    if (path.empty() || !is_ascii_alpha(path[0])) return false;
    std::size_t i = 1;
    while (i < path.size()) {
        unsigned char c = path[i];
        if (!is_ascii_alpha(c) && !is_ascii_digit(c) && c != '+' && c != '-' && c != '.') break;
        ++i;
    }
    return i >= 2 && i < path.size() && path[i] == ':';
}

// The path as a URI reference: bytes a URI cannot hold percent-encoded. Without a
// scheme, "?", "#", "[" and "]" are encoded too: in a plain file name they are
// characters of the name, not the start of a query, a fragment or an address.
std::string path_to_uri(std::string_view path) {
    static constexpr std::string_view kDelimiters = "?#[]";
    static constexpr std::string_view kKept = "-._~:/?#[]@!$&'()*+,;=";
    static constexpr char kHex[] = "0123456789ABCDEF";
    const bool scheme = has_scheme(path);
    std::string out;
    out.reserve(path.size());
    for (std::size_t i = 0; i < path.size(); ++i) {
        unsigned char c = path[i];
        bool keep = is_ascii_alpha(c) || is_ascii_digit(c) ||
                    (kKept.find(static_cast<char>(c)) != std::string_view::npos &&
                     (scheme || kDelimiters.find(static_cast<char>(c)) == std::string_view::npos)) ||
                    (c == '%' && i + 2 < path.size() && is_ascii_hex_digit(path[i + 1]) && is_ascii_hex_digit(path[i + 2]));
        if (keep) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0xF]);
        }
    }
    return out;
}

// Whether a FORM says more than its format word: a child other than its
// continuation lines, or a continuation line with children of its own.
bool has_substructures(const Node& form) {
    return std::any_of(form.children().begin(), form.children().end(),
                       [](const Node& c) { return !is_continuation_tag(c.tag()) || !c.children().empty(); });
}

// The height of `node`'s subtree in lines: 1 for a node without children.
std::size_t subtree_height(const Node& node) {
    std::size_t below = 0;
    for (const Node& c : node.children()) below = std::max(below, subtree_height(c));
    return below + 1;
}

// Whether the object's FORM lines agree on one format word (read whole and
// trimmed) with nothing else beside it, so it can move onto the files.
bool names_one_format(const Node& obje) {
    const Node* first = nullptr;
    std::string first_word;
    for (const Node& child : obje.children()) {
        if (child.tag() != "FORM") continue;
        std::string word(text::trim(child.logical_value()));
        if (!first) {
            first = &child;
            first_word = std::move(word);
        } else if (has_substructures(*first) || has_substructures(child) || word != first_word) {
            return false;
        }
    }
    return true;
}

// The object's format moves onto each file that names none. An object with
// several different formats, or formats with substructures, does not say which
// file has which, so its FORM lines stay rather than label every file with the first.
bool format_to_files(Node& obje, std::uint16_t level, Pass& pass) {
    const Node* form = obje.first("FORM");
    if (!form) return false;
    if (!names_one_format(obje)) {
        pass.note("OBJE.FORM", ConversionKind::Kept,
                  "this object names more than one format and not which file each belongs to, "
                  "so its FORM lines are kept as written");
        return false;
    }
    const auto& children = obje.children();
    const bool copied = std::any_of(children.begin(), children.end(),
                                    [](const Node& c) { return c.tag() == "FILE" && !c.first("FORM"); });
    // A copy stands one level below the object's own FORM, under a file.
    if (copied && level + 1 + subtree_height(*form) > deepest_level) {
        pass.note("OBJE.FORM", ConversionKind::Kept,
                  too_deep_kept_detail("moving this object's FORM onto its files", "its FORM lines are kept as written"));
        return false;
    }
    Node format = form->clone();
    forget_subtree_verbatim(format);
    remove_tagged(obje, "FORM");
    for (Node& child : obje.children()) {
        if (child.tag() == "FILE" && !child.first("FORM")) child.push(format.clone());
    }
    pass.note("OBJE.FORM", ConversionKind::Converted,
              "version 7 records a file's format on the file, not on the object");
    return true;
}

bool path_to_7(Node& file, Pass& pass) {
    std::string path = file.logical_value();
    std::string uri = path_to_uri(path);
    if (uri == path) return false;
    if (kept_for_continuation(file, "FILE", "file path", pass)) return false;
    if (!fits_written_lines(uri)) {
        pass.note("FILE", ConversionKind::Kept,
                  "the percent-encoded file path would be longer than this library reads back; "
                  "it is left as written");
        return false;
    }
    file.set_logical_value(uri);
    pass.note("FILE", ConversionKind::Converted,
              text::quoted(path) +
                  " is not a URI reference, which version 7 requires of a file path; characters a "
                  "URI cannot hold were percent-encoded");
    return true;
}

bool media_type_to_7(Node& form, Pass& pass) {
    std::string payload = form.logical_value();
    std::string_view word = text::trim(payload);
    if (word.empty() || word.find('/') != std::string_view::npos) return false;
    if (kept_for_continuation(form, "FILE.FORM", "format", pass)) return false;
    std::optional<std::string_view> type = media_type(text::ascii_lowercase(word));
    if (!type) {
        pass.note("FILE.FORM", ConversionKind::Kept,
                  text::quoted(word) + " has no known version 7 media type, so it is kept rather than guessed");
        return false;
    }
    std::string detail = "the file extension " + text::quoted(word) + " became the media type " + text::quoted(*type);
    form.set_logical_value(*type);
    pass.note("FILE.FORM", ConversionKind::Converted, std::move(detail));
    return true;
}

// One source medium (TYPE or MEDI under a file's FORM, standing at `level`) in 7.0's enumeration.
bool medium_to_7(Node& medi, std::uint16_t level, Pass& pass) {
    bool changed = false;
    if (medi.tag() == "TYPE") {
        medi.set_tag("MEDI");
        pass.note("FORM.MEDI", ConversionKind::Converted,
                  "5.5.1's source medium under FORM is TYPE; version 7 calls it MEDI");
        changed = true;
    }
    std::string medium = medi.logical_value();
    std::string_view trimmed = text::trim(medium);
    std::string value = text::ascii_uppercase(trimmed);
    const bool enumerated = is_enumerated_medium(value);
    if (!enumerated) value = "OTHER";
    if (value == medium) return changed;
    if (kept_for_continuation(medi, "FORM.MEDI", "source medium", pass)) return changed;
    if (enumerated) {
        pass.note("FORM.MEDI", ConversionKind::Converted,
                  "the source medium " + text::quoted(medium) + " became the enumerated value " + value);
        medi.set_logical_value(value);
        return true;
    }
    if (medi.first("PHRASE")) {
        pass.note("FORM.MEDI", ConversionKind::Kept,
                  "the source medium " + text::quoted(medium) +
                      " matches none of version 7's enumerated values, but it already has a PHRASE to keep "
                      "the original in; it is left as it is");
        return changed;
    }
    if (!fits_written_lines(trimmed)) {
        pass.note("FORM.MEDI", ConversionKind::Kept, too_long_kept_detail("source medium"));
        return changed;
    }
    if (phrase_depth(level, trimmed) > deepest_level) {
        pass.note("FORM.MEDI", ConversionKind::Kept, too_deep_kept_detail("rewriting this source medium"));
        return changed;
    }
    Node phrase = phrase_7(trimmed);
    medi.set_logical_value("OTHER");
    medi.push(std::move(phrase));
    pass.note("FORM.MEDI", ConversionKind::Converted,
              "the source medium " + text::quoted(medium) +
                  " matches none of version 7's enumerated values; it became OTHER, with the original kept "
                  "as a PHRASE");
    return true;
}

}  // namespace

bool media_form_to_7(Node& obje, std::uint16_t level, Pass& pass) {
    bool changed = format_to_files(obje, level, pass);
    for (Node& file : obje.children()) {
        if (file.tag() != "FILE") continue;
        changed |= path_to_7(file, pass);
        Node* form = file.first("FORM");
        if (!form) continue;
        changed |= media_type_to_7(*form, pass);
        for (Node& child : form->children()) {
            // The medium stands under the file's FORM, two levels below the file.
            if (child.tag() == "TYPE" || child.tag() == "MEDI") changed |= medium_to_7(child, level + 3, pass);
        }
    }
    return changed;
}

bool media_form_to_7(Node& obje, Pass& pass) { return media_form_to_7(obje, 0, pass); }

void forget_subtree_verbatim(Node& node) {
    node.forget_verbatim();
    for (Node& child : node.children()) forget_subtree_verbatim(child);
}

}  // namespace pellorine::convert
