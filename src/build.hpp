// Record descriptions and structural edits: records and substructures
// described as small trees (from Python, as JSON) and built into nodes; and
// line-limit fitting and wrapping, which move payload text into CONC lines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "document.hpp"
#include "error.hpp"
#include "json.hpp"

namespace pellorine::build {

// One record or substructure to be built, as read from JSON or made in C++.
using json::NodeSpec;

// Builds a record: the root stands at level 0 and may carry an identifier.
Result<Node> into_node(NodeSpec spec, const ParseLimits& limits);
// Builds a substructure: the root stands at level 1; no identifier anywhere.
Result<Node> into_substructure(NodeSpec spec, const ParseLimits& limits);
// The recursive worker behind both: `counter` counts the descriptions of
// one tree against `structure_bound`; levels past `depth_bound` are refused.
Result<Node> build_node(NodeSpec spec, std::uint16_t level, std::uint64_t structure_bound,
                        std::uint16_t depth_bound, std::uint64_t& counter);

// Inserts `new_records` before the document's last TRLR (or at the end); refuses
// HEAD, TRLR and taken identifiers. All or none.
Result<void> append_records(Document& document, std::vector<Node> new_records);
// Appends `structures` under the structure at `path` in the record named by
// identifier or, for a record without one, by tag. All or none.
Result<void> append_structures(Document& document, std::string_view record, const Path& path,
                               std::vector<Node> structures);
// Appends `structures` under the node at `path` in `record` (nullptr when no
// record answers to `record_text`, which then only names it in the error).
// append_structures is this after its own lookup; the Python layer calls it
// with the record it found through its index.
Result<void> append_structures_under(Node* record, std::string_view record_text, const Path& path,
                                     std::vector<Node> structures);

// The first record without identifier whose tag is exactly `tag` (the header
// for "HEAD"); records with an identifier are found by it, never by their tag.
Node* record_by_tag(Document& document, std::string_view tag);

// A structure path as messages write it: "[2, 0]", "[]" for the record itself.
std::string path_text(const Path& path);

// Checks that `value`, set as the logical payload of `node` at `level`, reads
// back: its continuation lines stay within the depth bound and every line
// within the parser's length bound. Refuses with the bound's message.
Result<void> check_logical_value(const Node& node, std::size_t level, std::string_view value);

// Fits `node`, at `level`, and its descendants within `limit` bytes a line; true when anything changed.
bool fit_line_limit(Node& node, std::uint16_t level, std::uint64_t limit);
// Fits the record with identifier `xref` (ASCII case ignored) within `limit`; true when anything changed.
Result<bool> fit_line_limit(Document& document, std::string_view xref, std::uint64_t limit);

// One structure rewritten by wrapping: its record (identifier, or tag when it
// has none), its path inside the record after the rewrite, and its tag.
struct WrappedLine {
    std::string record;  // the record's identifier as written, else its tag
    Path path;           // the structure's path in the record after the rewrite
    std::string tag;     // the structure's tag

    bool operator==(const WrappedLine&) const = default;  // field by field
    // The report as a compact JSON object: {"record":..,"path":[..],"tag":..}.
    std::string to_json() const;
};

// Wraps every line longer than `limit` bytes (line feed included) of a 5.5.x
// document, reporting each structure rewritten. All or none.
Result<std::vector<WrappedLine>> wrap_long_lines(Document& document, std::uint64_t limit);

// Splits `text` into pieces of at most `first` bytes, then `later` bytes each
// (both at least 4), preferring cut points inside words and never splitting a
// UTF-8 character. The pieces view `text` and join back to it.
std::vector<std::string_view> cut(std::string_view text, std::size_t first, std::size_t later);

// Re-splits the payload of `node` (at `level`) with the CONC lines at the front
// of its children so that every line fits `limit` bytes with a two-byte line
// end; with `recurse`, also its other children, a later CONT or CONC being split
// into CONC lines beside it, so no logical payload changes. Segments holding a
// line as read, a pointer, or a CONC line that carries more than text are left
// alone, and so is a later CONT or CONC that does. True when anything changed;
// never fails.
bool fit_node_inner(Node& node, std::uint16_t level, std::uint64_t limit, bool recurse);

// The length of a node's line at `level` without its line end, as fitting and
// wrapping measure it: the line as read when it keeps one, else its canonical
// rendering, measured without rendering it. `tag` is the node's tag.
std::size_t line_length(const Node& n, std::string_view tag, std::uint16_t level);

}  // namespace pellorine::build
