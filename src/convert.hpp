// Version conversion: a document's records rewritten for GEDCOM 7.0 or 5.5.1,
// with a note for every structure converted, dropped or kept as written.
//
// A conversion never fails and never changes its input: it works on a deep
// copy of the records, and whatever the target version cannot hold becomes a
// note instead of an error.
#pragma once

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

// ---- toward 7.0

// Converts to GEDCOM 7.0, declaring extension tags with the caller's URIs
// from `owned` (the first pair for a tag wins) and a fixed URI otherwise.
Conversion to_version_7_with(const Document& document, const std::vector<OwnedExtension>& owned);
// The same with no owned extensions.
Conversion to_version_7(const Document& document);

// The identifiers of the records tagged exactly NOTE that carry one, folded to
// ASCII uppercase as NoteRecordIds holds them.
NoteRecordIds note_record_ids(const std::vector<Node>& records);

// Rewrites `node`, a record, and its subtree into 7.0 forms; true when anything changed.
bool structures_to_7_node(Node& node, const NoteRecordIds& note_records, Pass& pass);

// Moves an OBJE record's format and medium onto its files in 7.0 form;
// true when anything changed.
bool media_form_to_7(Node& obje, Pass& pass);

// Forgets the verbatim text of `node` and of every node below it.
void forget_subtree_verbatim(Node& node);

// ---- toward 5.5.1

// Converts to GEDCOM 5.5.1, refitting the lines it touched to 255 bytes.
Conversion to_version_5_5_1(const Document& document);

// Rewrites `node` (standing at `level`) and its subtree into 5.5.1 forms;
// true when anything changed.
bool structures_to_5_node(Node& node, std::uint16_t level, Pass& pass);

}  // namespace pellorine::convert
