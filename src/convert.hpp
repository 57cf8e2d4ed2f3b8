// Version conversion: a document's records rewritten for GEDCOM 7.0 or 5.5.1,
// with a note for every structure converted, dropped or kept as written.
//
// A conversion never fails and never changes its input: it works on a deep
// copy of the records, and whatever the target version cannot hold becomes a
// note instead of an error.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "document.hpp"

namespace pellorine::convert {

// What a conversion did with one structure.
// Converted: rewritten into the target's form; Dropped: removed; Kept: left as written.
enum class ConversionKind : std::uint8_t { Converted, Dropped, Kept };

// The name of a kind as it crosses into Python: "Converted", "Dropped", "Kept".
std::string_view kind_name(ConversionKind kind);

// One note of a conversion.
struct ConversionNote {
    std::string tag;                    // the tag, or dotted path of tags, the note is about
    std::string detail;                 // a lowercase sentence without a final full stop
    std::optional<std::string> record;  // identifier of the record being converted, if any
    ConversionKind kind = ConversionKind::Converted;

    // {"record":..|null,"tag":..,"kind":"Converted"|"Dropped"|"Kept","detail":..}
    std::string to_json() const;
    bool operator==(const ConversionNote&) const = default;  // field by field
};

// The result of one conversion.
struct Conversion {
    std::vector<Node> document;  // the converted records, in the input's order
    std::string source_version;  // the input header's version, or "unstated"
    std::string target_version;  // "7.0" or "5.5.1"
    std::vector<ConversionNote> notes;  // one per structure touched, in the order made
};

// The working state of one conversion: its notes so far, the record being
// converted, and the CONC folding counters of that record.
struct Pass {
    std::vector<ConversionNote> notes;     // the notes made so far
    std::optional<std::string> record;     // identifier of the record being converted, if any
    std::uint64_t folded_lines = 0;        // CONC lines folded in the current record
    std::uint64_t folded_structures = 0;   // structures of the record with a line folded
    std::uint64_t folded_without_payload = 0;  // of those, the ones that had no payload before

    // Makes the notes that follow carry `r`'s identifier, or none when it has none.
    void begin_record(const Node& r);
    // Appends a note carrying the record now being converted.
    void note(std::string_view tag, ConversionKind kind, std::string_view detail);
    // The same, taking over the detail.
    void note(std::string_view tag, ConversionKind kind, std::string&& detail);
    // The same for a literal detail (the two forms above would both take one).
    void note(std::string_view tag, ConversionKind kind, const char* detail);
};

// The identifiers (with at-signs) of the note records of the document being
// converted, collected before any record changes. Each is held ASCII-uppercased,
// so a pointer matches whatever its letter case.
using NoteRecordIds = std::unordered_set<std::string>;

// An extension tag whose definition the caller owns, and its URI.
using OwnedExtension = std::pair<std::string, std::string>;

// True when some CONT or CONC child in `children` has children of its own:
// rewriting that payload would delete them.
bool continuation_has_children(const std::vector<Node>& children);

// True when continuation_has_children says so of `node`'s children, and then
// notes `tag` as kept for it; `what` names the payload ("DATE", "role", ...).
bool kept_for_continuation(const Node& node, std::string_view tag, std::string_view what, Pass& pass);

// The longest line a rewrite may write: 15 MiB, a margin below the 16 MiB line
// this library reads back. A joined or encoded text longer than this stays as written.
inline constexpr std::size_t longest_written_line = 15 * 1024 * 1024;

// True when no line of `text` is longer than `longest_written_line`.
bool fits_written_lines(std::string_view text);

// The detail of the note for a text left as written because rewriting it would
// put more on one line than this library reads back; `what` names the text.
std::string too_long_kept_detail(std::string_view what);

// A PHRASE keeping `text` in version 7: a leading at-sign is doubled, so the
// text does not read as a pointer or an escape.
Node phrase_7(std::string_view text);

// Version 7's enumerated roles, each with the words 5.5.1 writes it with.
struct Role {
    std::string_view value;  // as version 7 writes it: "CHIL"
    std::string_view words;  // as 5.5.1 writes it: "Child"
};
inline constexpr std::array<Role, 15> roles_7{{
    {"CHIL", "Child"},     {"CLERGY", "Clergy"},   {"FATH", "Father"},   {"FRIEND", "Friend"},
    {"GODP", "Godparent"}, {"HUSB", "Husband"},    {"MOTH", "Mother"},   {"MULTIPLE", "Multiple"},
    {"NGHBR", "Neighbor"}, {"OFFICIATOR", "Officiator"}, {"OTHER", "Other"}, {"PARENT", "Parent"},
    {"SPOU", "Spouse"},    {"WIFE", "Wife"},       {"WITN", "Witness"},
}};

// The role of `roles_7` that version 7 writes exactly as `value`, or null.
const Role* role_7(std::string_view value);

// A conversion before any rule: the source's version, `target`, and a deep
// copy of the source's records.
Conversion start_conversion(const Document& document, std::string_view target);

// Removes every child of `node` tagged `tag`; true when at least one went.
bool remove_tagged(Node& node, std::string_view tag);

// Makes the header declare `version`: the whole logical payload of the first VERS
// of its first GEDC (its CONT and CONC lines go), or a VERS appended to that GEDC
// when it has none; GEDC's verbatim text is forgotten. Returns that GEDC, or null,
// changing nothing, when the header has none.
Node* set_gedcom_version(Node& header, std::string_view version);

// Makes the header declare `version` as set_gedcom_version does or, when it has
// no GEDC, in a new GEDC at its front holding only that VERS, noting that
// `target` ("version 7", "5.5.1") requires it. Returns the GEDC.
Node& require_gedcom_version(Node& header, std::string_view version, std::string_view target, Pass& pass);

// ---- toward 7.0

// The identifiers of the records tagged exactly NOTE that carry one, folded to
// ASCII uppercase as NoteRecordIds holds them.
NoteRecordIds note_record_ids(const std::vector<Node>& records);

// Converts to GEDCOM 7.0, declaring extension tags with the caller's URIs
// from `owned` (the first pair for a tag wins) and a fixed URI otherwise.
Conversion to_version_7_with(const Document& document, const std::vector<OwnedExtension>& owned);
// The same with no owned extensions.
Conversion to_version_7(const Document& document);

// Applies the header rules toward 7.0 to a record tagged HEAD: the version
// becomes 7.0, the GEDCOM form and the character set go.
void header_to_7(Node& header, Pass& pass);

// The extension tags (beginning with an underscore) met in records, each once.
// The views point into the nodes' texts, which stay as they are to the end of
// the conversion once the rules have passed a node.
struct ExtensionTags {
    std::unordered_set<std::string_view> seen;  // every tag in `tags`
    std::vector<std::string_view> tags;         // in the order first met

    // Adds `tag` when it is an extension tag not met before.
    void add(std::string_view tag) {
        if (!tag.empty() && tag.front() == '_' && seen.insert(tag).second) tags.push_back(tag);
    }
};

// Rewrites `node` and its subtree into 7.0 forms; true when anything changed.
bool structures_to_7_node(Node& node, const NoteRecordIds& note_records, Pass& pass);
// The same, adding to `extensions` (when not null) the extension tags of the
// subtree as the rules leave them.
bool structures_to_7_node(Node& node, const NoteRecordIds& note_records, Pass& pass, ExtensionTags* extensions);

// Whether `text` is a Gregorian date in the exact spelling version 7 gives it:
// an optional ABT, CAL, EST, BEF or AFT, then YEAR, MON YEAR or DAY MON YEAR
// with single spaces and no leading zeros. Such a date is left as it is.
bool is_canonical_7_date(std::string_view text);

// Moves an OBJE structure's format and medium onto its files in 7.0 form;
// true when anything changed.
bool media_form_to_7(Node& obje, Pass& pass);

// Forgets the verbatim text of `node` and of every node below it.
void forget_subtree_verbatim(Node& node);

// Declares in the first header of `records` every extension tag used outside
// it, with the caller's URI from `owned` or as undocumented, noting each with
// no record.
void declare_extensions(std::vector<Node>& records, const std::vector<OwnedExtension>& owned, Pass& pass);
// The same for the extension tags already collected from the records.
void declare_extensions(std::vector<Node>& records, ExtensionTags used, const std::vector<OwnedExtension>& owned,
                        Pass& pass);

// ---- toward 5.5.1

// Converts to GEDCOM 5.5.1, refitting the lines it touched to 255 bytes.
Conversion to_version_5_5_1(const Document& document);

// Rewrites `node` (standing at `level`) and its subtree into 5.5.1 forms;
// true when anything changed.
bool structures_to_5_node(Node& node, std::uint16_t level, Pass& pass);

}  // namespace pellorine::convert
