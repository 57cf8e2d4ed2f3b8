// What the conversion module's own files share: note helpers, the role
// table, the conversion frame's pieces, and the rules' inner steps.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "convert.hpp"

namespace pellorine::convert {

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

// Where a node stands as the rules toward 7.0 reach it: its level and the
// chain of its ancestors, which the rules read but never change.
struct Place {
    std::uint16_t level = 0;       // the node's level; 0 for a record
    const Node* parent = nullptr;  // the node's parent, null for a record
    const Place* up = nullptr;     // the parent's own place, null for a record
};

// The deepest level a rule may add a line at: this library reads no deeper.
inline constexpr std::uint16_t deepest_level = default_limits.max_depth;

// The detail of the note for a structure kept as written because `rewrite`
// ("rewriting this DATE") would put a line past `deepest_level`; `outcome` says
// what became of it.
std::string too_deep_kept_detail(std::string_view rewrite, std::string_view outcome = "it is left as written");

// The level of the deepest line a PHRASE holding `text` adds under a node at
// `level`: the PHRASE itself, or its CONT lines when the text has a line feed.
std::size_t phrase_depth(std::uint16_t level, std::string_view text);

// Identifiers version 7 cannot hold, with the names they take in a conversion.
class IdentifierRenaming;

// Writes the pointer `node` holds, if any, with the name `renaming` gives it,
// noting a dangling pointer renamed.
void repoint(IdentifierRenaming& renaming, Node& node, Pass& pass);

// What the rules toward 7.0 read and gather beside the nodes of a conversion.
struct Rules7 {
    const NoteRecordIds& note_records;           // the note records, by their new names
    ExtensionTags* extensions = nullptr;         // gathers the subtree's extension tags, when not null
    IdentifierRenaming* identifiers = nullptr;   // renames the pointers met, when not null
};

// structures_to_7_node for a node standing at `place`.
bool structures_to_7_node(Node& node, const Rules7& rules, Pass& pass, const Place& place);

// media_form_to_7 for an OBJE standing at `level`.
bool media_form_to_7(Node& obje, std::uint16_t level, Pass& pass);

// Declares in the first header of `records` every extension tag used outside
// it, with the caller's URI from `owned` or as undocumented, noting each with
// no record.
void declare_extensions(std::vector<Node>& records, const std::vector<OwnedExtension>& owned, Pass& pass);
// The same for the extension tags already collected from the records.
void declare_extensions(std::vector<Node>& records, ExtensionTags used, const std::vector<OwnedExtension>& owned,
                        Pass& pass);

}  // namespace pellorine::convert
