// Line-limit fitting and wrapping: the cutting rule, re-splitting a node's
// payload segments within a limit, and rebuilding over-long structures as
// CONT and CONC lines.
#include <optional>
#include <stdexcept>
#include <utility>

#include "build_internal.hpp"
#include "json.hpp"
#include "text.hpp"

namespace pellorine::build {

namespace {

constexpr std::string_view kCont = "CONT";
constexpr std::string_view kConc = "CONC";

using text::is_continuation_byte;

// Continuation lines go one level below their node: a node at the depth bound
// cannot gain any without making the document unreadable.
bool may_gain_continuations(std::uint16_t level) { return level < default_limits.max_depth; }

// A CONT or CONC line that carries more than text (an identifier or lines of
// its own) must not be rebuilt: what it carries would be lost.
bool carries_more_than_text(const Node& n) { return n.xref().has_value() || !n.children().empty(); }

Node continuation(std::string_view tag, std::string_view piece) {
    return piece.empty() ? Node::new_(tag) : Node::with_value(tag, piece);
}

std::optional<std::string_view> present(std::string_view piece) {
    return piece.empty() ? std::nullopt : std::optional<std::string_view>(piece);
}

// The payload bytes left of `room` on a line whose head is `head` bytes long,
// after the space before the payload; absent when fewer than cut's 4 bytes.
std::optional<std::uint64_t> payload_room(std::uint64_t room, std::size_t head) {
    const std::uint64_t fixed = head + 1;
    if (room < fixed || room - fixed < 4) return std::nullopt;
    return room - fixed;
}

// The payload rooms of a node's first line and of its CONC lines, one level below.
std::optional<std::pair<std::uint64_t, std::uint64_t>> payload_rooms(const Node& node, std::uint16_t level,
                                                                    std::uint64_t room) {
    const auto first = payload_room(room, head_length(level, node.xref(), node.tag()));
    const auto later = payload_room(room, head_length(level + 1u, std::nullopt, kConc));
    if (!first || !later) return std::nullopt;
    return std::pair{*first, *later};
}

// ---------------------------------------------------------------- fitting

// Re-splits one segment: `head` (its line at `level`) and the CONC lines
// run[begin, end) that follow it, appending the segment's CONC lines (old or
// new) to `out`. True when it changed.
bool resplit_segment(Node& head, std::uint16_t level, std::vector<Node>& run, std::size_t begin, std::size_t end,
                     std::uint64_t limit, bool allowed, std::vector<Node>& out) {
    auto keep = [&] {
        for (std::size_t i = begin; i < end; ++i) out.push_back(std::move(run[i]));
        return false;
    };
    if (!allowed || head.verbatim() || head.pointer()) return keep();
    for (std::size_t i = begin; i < end; ++i) {
        if (run[i].verbatim() || carries_more_than_text(run[i])) return keep();
    }
    // A line end takes up to two bytes of the limit.
    const auto rooms = payload_rooms(head, level, limit < 2 ? 0 : limit - 2);
    if (!rooms) return keep();
    const auto [first, later] = *rooms;

    bool fits = head.value().value_or("").size() <= first;
    for (std::size_t i = begin; fits && i < end; ++i) fits = run[i].value().value_or("").size() <= later;
    if (fits) return keep();

    std::string joined(head.value().value_or(""));
    for (std::size_t i = begin; i < end; ++i) joined.append(run[i].value().value_or(""));
    std::vector<std::string_view> pieces = cut(joined, first, later);
    head.set_value(present(pieces.front()));
    for (std::size_t i = 1; i < pieces.size(); ++i) out.push_back(Node::with_value(kConc, pieces[i]));
    return true;
}

// Fits the children from `begin` on, at `level`. A CONT or CONC among them
// still continues its parent's payload: it and the CONC lines right after it
// are re-split as one segment, the new CONC lines beside it, so the parent's
// logical payload stays as it was. One that carries more than text is left.
// Every other child is fitted as a structure of its own.
bool fit_later_children(std::vector<Node>& children, std::size_t begin, std::uint16_t level, std::uint64_t limit) {
    bool changed = false;
    for (std::size_t i = begin; i < children.size();) {
        Node& head = children[i];
        if (!is_continuation_tag(head.tag())) {
            changed |= fit_node_inner(head, level, limit, true);
            ++i;
            continue;
        }
        std::size_t end = i + 1;
        while (end < children.size() && children[end].tag() == kConc) ++end;
        if (carries_more_than_text(head)) {
            i = end;
            continue;
        }
        // The segment's CONC lines, old or new, take the place of the old ones.
        std::vector<Node> out;
        changed |= resplit_segment(head, level, children, i + 1, end, limit, true, out);
        const auto after_head = children.begin() + static_cast<std::ptrdiff_t>(i + 1);
        children.insert(children.erase(after_head, children.begin() + static_cast<std::ptrdiff_t>(end)),
                        std::make_move_iterator(out.begin()), std::make_move_iterator(out.end()));
        i += 1 + out.size();
    }
    return changed;
}

}  // namespace

std::size_t line_length(const Node& n, std::string_view tag, std::uint16_t level) {
    if (auto v = n.verbatim()) return v->size();
    std::size_t len = head_length(level, n.xref(), tag);
    if (auto v = n.value()) len += v->size() + 1;
    return len;
}

std::size_t head_length(std::size_t level, std::optional<std::string_view> xref, std::string_view tag) {
    return decimal_width(level) + 1 + (xref ? xref->size() + 1 : 0) + tag.size();
}

std::size_t decimal_width(std::uint64_t n) {
    std::size_t d = 1;
    while (n >= 10) {
        n /= 10;
        ++d;
    }
    return d;
}

std::vector<std::string_view> cut(std::string_view text, std::size_t first, std::size_t later) {
    if (first < 4 || later < 4) throw std::logic_error("a cutting budget must be at least 4 bytes");
    std::vector<std::string_view> pieces;
    std::size_t budget = first;
    while (text.size() > budget) {
        // A character has at most three continuation bytes; stepping back no
        // further keeps p >= 1 even inside malformed text.
        std::size_t p = budget;
        for (int i = 0; i < 3 && p > 0 && is_continuation_byte(text[p]); ++i) --p;
        std::size_t h = std::max<std::size_t>(p / 2, 1);
        auto boundary = [&](std::size_t q) { return !is_continuation_byte(text[q]); };
        auto space = [&](std::size_t i) { return text[i] == ' '; };
        std::size_t q = 0;
        for (std::size_t c = p; c > h && !q; --c) {
            if (boundary(c) && !space(c - 1) && !space(c)) q = c;
        }
        if (!q && boundary(h) && !space(h - 1) && !space(h)) q = h;
        for (std::size_t c = p; c > h && !q; --c) {
            if (boundary(c) && !space(c - 1)) q = c;
        }
        if (!q) q = boundary(h) && !space(h - 1) ? h : p;
        pieces.push_back(text.substr(0, q));
        text.remove_prefix(q);
        budget = later;
    }
    pieces.push_back(text);
    return pieces;
}

bool fit_node_inner(Node& node, std::uint16_t level, std::uint64_t limit, bool recurse) {
    std::vector<Node>& children = node.children();
    std::size_t run_end = 0;
    while (run_end < children.size() && is_continuation_tag(children[run_end].tag())) ++run_end;

    bool changed = false;
    const bool allowed = may_gain_continuations(level);
    const auto child_level = static_cast<std::uint16_t>(level + 1);
    // Fast path: nothing to re-split when the node has no run and its payload fits.
    if (run_end > 0 || line_length(node, node.tag(), level) + 2 > limit) {
        std::vector<Node> run(std::make_move_iterator(children.begin()),
                              std::make_move_iterator(children.begin() + static_cast<std::ptrdiff_t>(run_end)));
        std::vector<Node> out;
        out.reserve(run.size());
        auto segment_end = [&](std::size_t from) {
            while (from < run.size() && run[from].tag() != kCont) ++from;
            return from;
        };
        std::size_t i = segment_end(0);
        changed |= resplit_segment(node, level, run, 0, i, limit, allowed, out);
        while (i < run.size()) {
            std::size_t end = segment_end(i + 1);
            Node head = std::move(run[i]);
            std::vector<Node> tail;
            changed |= resplit_segment(head, child_level, run, i + 1, end, limit, allowed, tail);
            out.push_back(std::move(head));
            for (Node& t : tail) out.push_back(std::move(t));
            i = end;
        }
        children.erase(children.begin(), children.begin() + static_cast<std::ptrdiff_t>(run_end));
        children.insert(children.begin(), std::make_move_iterator(out.begin()), std::make_move_iterator(out.end()));
        run_end = out.size();
    }
    if (recurse) changed |= fit_later_children(children, run_end, child_level, limit);
    return changed;
}

// ---------------------------------------------------------------- wrapping

namespace {

// Rebuilds the logical payload of `node` as its payload and CONT and CONC lines
// at the front of its children.
void rewrap(Node& node, std::size_t first, std::size_t later) {
    const std::string logical = node.logical_value();
    std::string_view rest = logical;
    std::vector<Node> lines;
    std::size_t nl = rest.find('\n');
    std::vector<std::string_view> pieces = cut(rest.substr(0, nl), first, later);
    std::string_view own = pieces.front();
    for (std::size_t i = 1; i < pieces.size(); ++i) lines.push_back(Node::with_value(kConc, pieces[i]));
    while (nl != std::string_view::npos) {
        rest.remove_prefix(nl + 1);
        nl = rest.find('\n');
        pieces = cut(rest.substr(0, nl), later, later);
        lines.push_back(continuation(kCont, pieces.front()));
        for (std::size_t i = 1; i < pieces.size(); ++i) lines.push_back(Node::with_value(kConc, pieces[i]));
    }
    std::vector<Node>& children = node.children();
    std::erase_if(children, [](const Node& c) { return is_continuation_tag(c.tag()); });
    node.set_value(present(own));
    children.insert(children.begin(), std::make_move_iterator(lines.begin()), std::make_move_iterator(lines.end()));
}

// Whether wrapping may rebuild `node`: not a pointer, which text lines would
// break; no continuation line that carries more than text; room below it.
bool rebuildable(const Node& node, std::uint16_t level) {
    if (!may_gain_continuations(level) || node.pointer()) return false;
    for (const Node& c : node.children()) {
        if (is_continuation_tag(c.tag()) && carries_more_than_text(c)) return false;
    }
    return true;
}

}  // namespace

void wrap_node(Node& node, std::uint16_t level, std::uint64_t budget, std::string_view record, Path& path,
               std::vector<WrappedLine>& reports) {
    const auto child_level = static_cast<std::uint16_t>(level + 1);
    std::vector<Node>& children = node.children();
    bool too_long = line_length(node, node.tag(), level) > budget;
    bool continued = false;
    // Most lines are short leaves with nothing to wrap: one look at each tag
    // settles them (bit i for child i), and the second pass passes them by.
    std::uint64_t settled = 0;
    for (std::size_t i = 0; i < children.size(); ++i) {
        const Node& c = children[i];
        std::string_view tag = c.tag();
        if (is_continuation_tag(tag)) {
            continued = true;
            too_long = too_long || line_length(c, tag, child_level) > budget;
        } else if (i < 64 && c.children().empty() && line_length(c, tag, child_level) <= budget) {
            settled |= std::uint64_t{1} << i;
        }
    }
    if (too_long && rebuildable(node, level)) {
        if (const auto rooms = payload_rooms(node, level, budget)) {
            rewrap(node, rooms->first, rooms->second);
            continued = true;
            settled = 0;  // the children moved
            reports.push_back({std::string(record), path, std::string(node.tag())});
        }
    }
    for (std::size_t i = 0; i < children.size(); ++i) {
        if (i < 64 && (settled >> i & 1)) continue;
        if (continued && is_continuation_tag(children[i].tag())) continue;
        path.push_back(i);
        wrap_node(children[i], child_level, budget, record, path, reports);
        path.pop_back();
    }
}

std::string WrappedLine::to_json() const {
    json::Writer w;
    w.begin_object().key("record").string(std::string_view(record)).key("path").begin_array();
    for (std::size_t i : path) w.uint(i);
    w.end_array().key("tag").string(std::string_view(tag)).end_object();
    return w.take();
}

bool fit_line_limit(Node& node, std::uint16_t level, std::uint64_t limit) {
    return fit_node_inner(node, level, limit, true);
}

Result<bool> fit_line_limit(Document& document, std::string_view xref, std::uint64_t limit) {
    Node* r = document.record(xref);
    if (!r) return fail(GedcomError::structure("no record " + std::string(xref)));
    return fit_line_limit(*r, 0, limit);
}

Result<std::vector<WrappedLine>> wrap_long_lines(Document& document, std::uint64_t limit) {
    if (document.is_version_7_or_later()) {
        return fail(GedcomError::structure("version 7 has no CONC and no line limit, so there is nothing to wrap"));
    }
    if (limit < 32) return fail(GedcomError::limit("a line limit under 32 bytes leaves no room for a payload"));
    std::vector<WrappedLine> reports;
    Path path;
    for (Node& r : document.records) {
        // A copy: rewrapping the record itself replaces the text its identifier views.
        auto x = r.xref();
        const std::string label(x ? *x : r.tag());
        wrap_node(r, 0, limit - 1, label, path, reports);
    }
    return reports;
}

}  // namespace pellorine::build
