// Building record descriptions into nodes, and the two structural edits
// that place the built nodes in a document.
#include <algorithm>
#include <cstdint>
#include <unordered_set>

#include "build_internal.hpp"
#include "text.hpp"

namespace pellorine::build {

namespace {

constexpr std::string_view kDepthMessage = "the structure is nested deeper than the limit";

bool is_control(unsigned char c) { return c < 0x20 || c == 0x7F; }

// The identifier shape, narrowed to what the line grammar reads back as the
// same identifier: no space (it would end the token) and no control character
// (a line feed or carriage return would end the line).
bool is_writable_xref(std::string_view x) {
    if (!is_xref(x)) return false;
    return std::none_of(x.begin(), x.end(), [](char c) { return c == ' ' || is_control(static_cast<unsigned char>(c)); });
}

// The first line feed or carriage return at or after `from`, or npos. (A plain
// loop: find_first_of searches its set once per byte.)
std::size_t find_line_end(std::string_view s, std::size_t from = 0) {
    for (std::size_t i = from; i < s.size(); ++i) {
        if (s[i] == '\n' || s[i] == '\r') return i;
    }
    return std::string_view::npos;
}

// Lines in the tree below and including `node`, counted as levels: 1 for a leaf.
std::size_t height(const Node& node) {
    std::size_t h = 0;
    for (const Node& c : node.children()) h = std::max(h, height(c));
    return h + 1;
}

Result<void> too_long() { return fail(GedcomError::limit("the line is longer than the limit")); }

// Whether the lines that `value` makes, as the logical payload of a line at
// `level` with `xref` and `tag`, read back: continuation lines no deeper than
// `depth_bound`, and every line within the parser's length bound. An empty
// first line leaves the node without a payload, so without a trailing space.
Result<void> check_lines(std::size_t level, std::optional<std::string_view> xref, std::string_view tag,
                         std::string_view value, std::size_t depth_bound) {
    std::size_t end = find_line_end(value);
    // Continuation lines stand one level deeper, where the parser must still accept them.
    if (end != std::string_view::npos && level >= depth_bound) return fail(GedcomError::limit(std::string(kDepthMessage)));
    const std::size_t head = head_length(level, xref, tag);
    const std::size_t first = end == std::string_view::npos ? value.size() : end;
    if (head + (first ? first + 1 : 0) > default_limits.max_line_bytes) return too_long();
    const std::size_t cont_prefix = head_length(level + 1, std::nullopt, "CONT") + 1;
    while (end != std::string_view::npos) {
        std::size_t start = end + 1;
        if (value[end] == '\r' && start < value.size() && value[start] == '\n') ++start;
        end = find_line_end(value, start);
        std::size_t len = (end == std::string_view::npos ? value.size() : end) - start;
        if (cont_prefix + len > default_limits.max_line_bytes) return too_long();
    }
    return {};
}

// Whether `node` and its descendants, placed with `node` at `level`, stay
// within the parser's line length bound.
Result<void> check_landed_lines(const Node& node, std::size_t level) {
    if (line_length(node, node.tag(), static_cast<std::uint16_t>(level)) > default_limits.max_line_bytes) {
        return too_long();
    }
    for (const Node& c : node.children()) {
        if (auto ok = check_landed_lines(c, level + 1); !ok) return ok;
    }
    return {};
}

}  // namespace

std::string path_text(const Path& path) {
    std::string out = "[";
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (i) out += ", ";
        out += std::to_string(path[i]);
    }
    return out + "]";
}

Node* record_by_tag(Document& document, std::string_view tag) {
    for (Node& r : document.records) {
        if (!r.xref() && r.tag() == tag) return &r;
    }
    return nullptr;
}

Result<void> check_logical_value(const Node& node, std::size_t level, std::string_view value) {
    return check_lines(level, node.xref(), node.tag(), value, default_limits.max_depth);
}

// ---------------------------------------------------------------- building

Result<Node> build_node(NodeSpec spec, std::uint16_t level, std::uint64_t structure_bound,
                        std::uint16_t depth_bound, std::uint64_t& counter) {
    if (level > depth_bound) return fail(GedcomError::limit(std::string(kDepthMessage)));
    if (++counter > structure_bound) return fail(GedcomError::limit("the record has too many structures"));
    if (!is_tag(spec.tag)) {
        return fail(GedcomError::syntax(text::quoted(spec.tag) +
                                        " is not a GEDCOM tag: ASCII letters, digits, or underscore"));
    }
    if (spec.xref) {
        if (level != 0) {
            return fail(GedcomError::syntax(*spec.xref + " is on a " + spec.tag +
                                            " below level zero, where only records carry identifiers"));
        }
        if (!is_writable_xref(*spec.xref)) {
            return fail(GedcomError::syntax(text::quoted(*spec.xref) +
                                            " is not a cross-reference identifier: the @I1@ shape"));
        }
    }
    // Checked before the node is made: a tag or identifier too long for a line
    // is refused here like an over-long payload.
    std::string_view value = spec.value ? std::string_view(*spec.value) : std::string_view();
    if (auto ok = check_lines(level, spec.xref, spec.tag, value, depth_bound); !ok) return fail(std::move(ok.error()));
    Node node = spec.xref ? Node::record(*spec.xref, spec.tag) : Node::new_(spec.tag);
    if (!value.empty()) {
        if (find_line_end(*spec.value) == std::string_view::npos) {
            node.set_value(*spec.value);  // one line: no CONT to make
        } else {
            node.set_logical_value(*spec.value);
        }
    }
    // Levels are 16-bit: a child below the last one could only wrap around to 0.
    if (!spec.children.empty() && level == UINT16_MAX) return fail(GedcomError::limit(std::string(kDepthMessage)));
    for (NodeSpec& child : spec.children) {
        auto built = build_node(std::move(child), static_cast<std::uint16_t>(level + 1), structure_bound, depth_bound, counter);
        if (!built) return fail(std::move(built.error()));
        node.push(std::move(*built));
    }
    return node;
}

Result<Node> into_node(NodeSpec spec, const ParseLimits& limits) {
    std::uint64_t counter = 0;
    return build_node(std::move(spec), 0, limits.max_lines, limits.max_depth, counter);
}

Result<Node> into_substructure(NodeSpec spec, const ParseLimits& limits) {
    std::uint64_t counter = 0;
    return build_node(std::move(spec), 1, limits.max_lines, limits.max_depth, counter);
}

// ---------------------------------------------------------------- edits

Result<void> append_structures_under(Node* record, std::string_view record_text, const Path& path,
                                     std::vector<Node> structures) {
    for (const Node& s : structures) {
        if (s.xref()) {
            return fail(GedcomError::syntax("a " + std::string(s.tag()) + " below level zero cannot carry an identifier"));
        }
    }
    if (!record) return fail(GedcomError::structure("no record " + std::string(record_text)));
    Node* node = record->at(path);
    if (!node) return fail(GedcomError::structure("no structure at " + path_text(path) + " in " + std::string(record_text)));
    // The new lines stand below the node reached; the deepest must still be readable.
    std::size_t landing = path.size() + 1;
    for (const Node& s : structures) {
        if (landing + height(s) - 1 > default_limits.max_depth) {
            return fail(GedcomError::limit(std::string(kDepthMessage)));
        }
    }
    // A deeper level is a wider number: a line that fit where it was built may not fit here.
    for (const Node& s : structures) {
        if (auto ok = check_landed_lines(s, landing); !ok) return ok;
    }
    for (Node& s : structures) node->push(std::move(s));
    return {};
}

Result<void> append_records(Document& document, std::vector<Node> new_records) {
    std::vector<Node>& records = document.records;
    // The identifiers taken, compared without regard to ASCII case; the views
    // stay valid while the nodes do, and no node moves before the checks end.
    std::unordered_set<FoldedXref, FoldedXrefHash> taken;
    taken.reserve(records.size() + new_records.size());
    for (const Node& r : records) {
        if (auto x = r.xref()) taken.insert(FoldedXref{*x});
    }
    for (const Node& r : new_records) {
        std::string_view tag = r.tag();
        if (tag == "HEAD" || tag == "TRLR") {
            return fail(GedcomError::structure("a document has one " + std::string(tag) + ", and this one already does"));
        }
        if (auto x = r.xref()) {
            if (!taken.insert(FoldedXref{*x}).second) {
                return fail(GedcomError::structure("the document already has a record " + std::string(*x)));
            }
        }
    }
    auto last_trailer = std::find_if(records.rbegin(), records.rend(), [](const Node& r) { return r.tag() == "TRLR"; });
    auto at = last_trailer == records.rend() ? records.end() : std::prev(last_trailer.base());
    records.insert(at, std::make_move_iterator(new_records.begin()), std::make_move_iterator(new_records.end()));
    return {};
}

Result<void> append_structures(Document& document, std::string_view record, const Path& path,
                               std::vector<Node> structures) {
    // An identifier begins with an at-sign and a tag never does, so at most one kind can match.
    Node* found = document.record(record);
    if (!found) found = record_by_tag(document, record);
    return append_structures_under(found, record, path, std::move(structures));
}

}  // namespace pellorine::build
