// Nodes and documents: texts, edits, queries, rendering and the empty documents.
// The parser lives in document_parse.cpp.
#include "document.hpp"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <unordered_set>
#include <utility>

#include "json.hpp"
#include "text.hpp"

namespace pellorine {

namespace {

constexpr std::string_view kCont = "CONT";
constexpr std::string_view kConc = "CONC";

bool is_continuation(const Node& n) { return is_continuation_tag(n.tag()); }

// Two byte searches: find_first_of would search the two-byte set once per byte.
bool has_line_end(std::string_view s) {
    return !s.empty() && (std::memchr(s.data(), '\n', s.size()) || std::memchr(s.data(), '\r', s.size()));
}

// Whether a CHAR line's logical payload already names UTF-8.
bool declares_utf8(const Node& char_node) {
    std::string logical = char_node.logical_value();
    return text::ascii_iequals(text::trim(logical), "UTF-8");
}

// One line of a node (verbatim or canonical) with its line feed, children not included.
void render_own_line(const Node& n, std::uint16_t level, std::string& out) {
    if (auto v = n.verbatim()) {
        out.append(*v);
    } else {
        render_line(level, n.xref(), n.tag(), n.value(), out);
    }
    out.push_back('\n');
}

}  // namespace

// ---------------------------------------------------------------- shapes and lines

bool is_tag(std::string_view s) {
    if (s.empty()) return false;
    for (unsigned char c : s) {
        if (!detail::is_tag_byte(c)) return false;
    }
    return true;
}

bool is_xref(std::string_view s) {
    if (s.size() < 3 || s.front() != '@' || s.back() != '@') return false;
    return std::memchr(s.data() + 1, '@', s.size() - 2) == nullptr;
}

namespace {

// Appends a line without its level: "@X@ TAG value", identifier and payload when present.
void append_line_body(std::string& out, std::optional<std::string_view> xref, std::string_view tag,
                      std::optional<std::string_view> value) {
    if (xref) {
        out.append(*xref);
        out.push_back(' ');
    }
    out.append(tag);
    if (value) {
        out.push_back(' ');
        out.append(*value);
    }
}

}  // namespace

void render_line(std::uint16_t level, std::optional<std::string_view> xref, std::string_view tag,
                 std::optional<std::string_view> value, std::string& out) {
    char digits[8];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, level);
    (void)ec;
    out.append(digits, end);
    out.push_back(' ');
    append_line_body(out, xref, tag, value);
}

// ---------------------------------------------------------------- node storage

// Five words: the memory of a parsed file is mostly nodes.
static_assert(sizeof(Node) <= 40);

Node::Node() = default;

Node::~Node() { Storage::release(storage_); }

Node::Node(Node&& o) noexcept
    : children_(std::move(o.children_)),
      storage_(std::exchange(o.storage_, nullptr)),
      offset_(std::exchange(o.offset_, 0)),
      tag_len_(o.tag_len_),
      has_xref_(o.has_xref_),
      verbatim_(o.verbatim_) {
    o.tag_len_ = 0;
    o.has_xref_ = 0;
    o.verbatim_ = 0;
}

Node& Node::operator=(Node&& o) noexcept {
    if (this != &o) {
        // The old contents go last: `o` may live inside our own subtree.
        Node old(std::move(*this));
        Node taken(std::move(o));
        std::swap(children_, taken.children_);
        std::swap(storage_, taken.storage_);
        offset_ = taken.offset_;
        tag_len_ = taken.tag_len_;
        has_xref_ = taken.has_xref_;
        verbatim_ = taken.verbatim_;
    }
    return *this;
}

// Texts are immutable and shared; only the tree is copied.
Node::Node(const Node& o)
    : storage_(Storage::retain(o.storage_)),
      offset_(o.offset_),
      tag_len_(o.tag_len_),
      has_xref_(o.has_xref_),
      verbatim_(o.verbatim_) {
    children_.reserve(o.children_.size());
    for (const Node& c : o.children_) children_.push_back(Node(c));
}

std::string_view Node::text() const { return storage_ ? storage_->text : std::string_view("", 0); }

std::size_t Node::xref_len() const {
    if (!has_xref_) return 0;
    // An identifier holds exactly two at-signs, its first and last bytes.
    std::string_view t = text();
    return t.find('@', offset_ + 1) - offset_ + 1;
}

std::string_view Node::tag() const {
    std::size_t x = xref_len();
    return {text().data() + offset_ + (x ? x + 1 : 0), tag_len_};
}

std::optional<std::string_view> Node::xref() const {
    if (!has_xref_) return std::nullopt;
    return std::string_view(text().data() + offset_, xref_len());
}

std::optional<std::string_view> Node::value() const {
    // The payload follows the tag's space and runs to the line end; no space, no payload.
    const std::string_view t = text();
    const std::string_view g = tag();
    const std::size_t after = static_cast<std::size_t>(g.data() - t.data()) + g.size();
    if (after >= t.size() || t[after] != ' ') return std::nullopt;
    const std::size_t start = after + 1;
    const void* nl = std::memchr(t.data() + start, '\n', t.size() - start);
    const std::size_t end = nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - t.data()) : t.size();
    return t.substr(start, end - start);
}

std::optional<std::string_view> Node::verbatim() const {
    if (!verbatim_) return std::nullopt;
    // Only a parsed node keeps its line, and its storage begins at a line start.
    const std::string_view t = text();
    std::size_t start = offset_;
    while (start > 0 && t[start - 1] != '\n') --start;
    std::size_t end = t.find('\n', offset_);
    if (end == std::string_view::npos) end = t.size();
    return t.substr(start, end - start);
}

void Node::reassign(std::optional<std::string_view> xref, std::string_view tag,
                    std::optional<std::string_view> value) {
    if (tag.size() > longest_tag) throw std::length_error("a node's tag is longer than the node can hold");
    // Built before the old storage goes: the arguments may view it.
    std::string t;
    t.reserve((xref ? xref->size() + 1 : 0) + tag.size() + (value ? value->size() + 1 : 0));
    append_line_body(t, xref, tag, value);
    Storage* fresh = Storage::owning(std::move(t));
    Storage::release(storage_);
    storage_ = fresh;
    offset_ = 0;
    has_xref_ = xref ? 1 : 0;
    tag_len_ = static_cast<std::uint32_t>(tag.size());
    verbatim_ = 0;
}

// ---------------------------------------------------------------- construction and setters

Node Node::new_(std::string_view tag) {
    if (!is_tag(tag)) {
        throw std::logic_error(text::quoted(tag) +
                               " is not a GEDCOM tag: ASCII letters, digits, or underscore");
    }
    Node n;
    n.reassign(std::nullopt, tag, std::nullopt);
    return n;
}

Node Node::record(std::string_view xref, std::string_view tag) {
    if (!is_xref(xref)) {
        throw std::logic_error(text::quoted(xref) +
                               " is not a cross-reference identifier: the @I1@ shape");
    }
    Node n = new_(tag);
    n.reassign(xref, tag, std::nullopt);
    return n;
}

Node Node::with_value(std::string_view tag, std::string_view value) {
    Node n = new_(tag);
    if (has_line_end(value)) {
        n.set_logical_value(value);
    } else {
        n.reassign(std::nullopt, tag, value);
    }
    return n;
}

void Node::set_tag(std::string_view tag) {
    if (!is_tag(tag)) throw std::logic_error(text::quoted(tag) + " is not a GEDCOM tag");
    reassign(xref(), tag, value());
}

void Node::set_value(std::optional<std::string_view> value) {
    if (value && has_line_end(*value)) {
        throw std::logic_error("a single-line node payload cannot contain a line ending");
    }
    reassign(xref(), tag(), value);
}

void Node::set_xref(std::optional<std::string_view> xref) {
    if (xref && !is_xref(*xref)) {
        throw std::logic_error("the cross-reference identifier is not in @XREF@ form");
    }
    reassign(xref, tag(), value());
}

void Node::forget_verbatim() { verbatim_ = 0; }

void Node::set_logical_value(std::string_view given) {
    // A copy first: the text may view a continuation line about to be removed.
    std::string normalised;
    normalised.reserve(given.size());
    for (std::size_t i = 0; i < given.size(); ++i) {
        if (given[i] == '\r') {
            normalised.push_back('\n');
            if (i + 1 < given.size() && given[i + 1] == '\n') ++i;
        } else {
            normalised.push_back(given[i]);
        }
    }
    const std::string_view text = normalised;

    forget_verbatim();
    std::erase_if(children_, is_continuation);

    std::size_t nl = text.find('\n');
    std::string_view first_piece = text.substr(0, nl);
    set_value(first_piece.empty() ? std::nullopt : std::optional<std::string_view>(first_piece));

    std::vector<Node> lines;
    while (nl != std::string_view::npos) {
        std::size_t start = nl + 1;
        nl = text.find('\n', start);
        lines.push_back(with_value(kCont, text.substr(start, nl == std::string_view::npos ? nl : nl - start)));
    }
    if (!lines.empty()) {
        children_.insert(children_.begin(), std::make_move_iterator(lines.begin()),
                         std::make_move_iterator(lines.end()));
    }
}

// ---------------------------------------------------------------- queries

std::string Node::logical_value() const {
    std::optional<std::string_view> own = value();
    std::string out(own ? *own : std::string_view{});
    for (const Node& c : children_) {
        std::string_view t = c.tag();
        if (t == kCont) {
            out.push_back('\n');
            if (auto v = c.value()) out.append(*v);
        } else if (t == kConc) {
            if (auto v = c.value()) out.append(*v);
        }
    }
    return out;
}

std::optional<std::string_view> Node::pointer() const {
    auto v = value();
    if (v && is_xref(*v)) return v;
    return std::nullopt;
}

bool Node::is_void_pointer() const {
    auto v = value();
    return v && *v == "@VOID@";
}

const Node* Node::first(std::string_view tag) const {
    for (const Node& c : children_) {
        if (c.tag() == tag) return &c;
    }
    return nullptr;
}

Node* Node::first(std::string_view tag) {
    return const_cast<Node*>(static_cast<const Node*>(this)->first(tag));
}

std::optional<std::string> Node::value_of(std::string_view tag) const {
    const Node* c = first(tag);
    if (!c) return std::nullopt;
    return c->logical_value();
}

Node* Node::at(std::span<const std::size_t> path) {
    Node* node = this;
    for (std::size_t index : path) {
        if (index >= node->children_.size()) return nullptr;
        node = &node->children_[index];
    }
    return node;
}

std::optional<Node> Node::remove_at(const Path& path) {
    if (path.empty()) return std::nullopt;
    Node* parent = at(std::span(path).first(path.size() - 1));
    std::size_t last = path.back();
    if (!parent || last >= parent->children_.size()) return std::nullopt;
    std::optional<Node> out(std::move(parent->children_[last]));
    parent->children_.erase(parent->children_.begin() + static_cast<std::ptrdiff_t>(last));
    return out;
}

void Node::push(Node child) { children_.push_back(std::move(child)); }

Node Node::child(Node child) && {
    children_.push_back(std::move(child));
    return std::move(*this);
}

std::uint64_t Node::line_count() const {
    std::uint64_t n = 1;
    for (const Node& c : children_) n += c.line_count();
    return n;
}

Node Node::clone() const { return Node(*this); }

void Node::render_into(std::uint16_t level, std::string& out) const {
    render_own_line(*this, level, out);
    for (const Node& c : children_) c.render_into(static_cast<std::uint16_t>(level + 1), out);
}

Node::Walk Node::walk() const { return Walk(*this); }

const Node* Node::Walk::next() {
    if (stack_.empty()) return nullptr;
    const Node* n = stack_.back();
    stack_.pop_back();
    const auto& kids = n->children();
    for (auto it = kids.rbegin(); it != kids.rend(); ++it) stack_.push_back(&*it);
    return n;
}

// ---------------------------------------------------------------- identifiers

bool FoldedXref::operator==(const FoldedXref& o) const {
    return text.size() == o.text.size() && text::ascii_iequals(text, o.text);
}

std::size_t FoldedXrefHash::operator()(const FoldedXref& x) const noexcept {
    return static_cast<std::size_t>(text::folded_fnv1a(x.text));
}

RecordIndex::RecordIndex(const std::vector<Node>& records) : records_(&records) {
    map_.reserve(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (auto x = records[i].xref()) map_.try_emplace(FoldedXref{*x}, i);
    }
}

std::optional<std::size_t> RecordIndex::position(std::string_view xref) const {
    auto it = map_.find(FoldedXref{xref});
    if (it == map_.end()) return std::nullopt;
    return it->second;
}

const Node* RecordIndex::get(std::string_view xref) const {
    auto p = position(xref);
    return p ? &(*records_)[*p] : nullptr;
}

bool RecordIndex::contains(std::string_view xref) const { return position(xref).has_value(); }

void RecordIndex::erase(std::string_view xref) { map_.erase(FoldedXref{xref}); }

void RecordIndex::insert(std::size_t position) {
    if (auto x = (*records_)[position].xref()) map_.try_emplace(FoldedXref{*x}, position);
}

std::string UnresolvedPointer::to_json() const {
    json::Writer w;
    w.begin_object().key("record").string(record).key("path").begin_array();
    for (std::size_t i : path) w.uint(i);
    w.end_array().key("tag").string(tag).key("pointer").string(pointer).end_object();
    return w.take();
}

// ---------------------------------------------------------------- document queries

const Node* Document::record(std::string_view xref) const {
    for (const Node& r : records) {
        auto x = r.xref();
        if (x && x->size() == xref.size() && text::ascii_iequals(*x, xref)) return &r;
    }
    return nullptr;
}

Node* Document::record(std::string_view xref) {
    return const_cast<Node*>(static_cast<const Document*>(this)->record(xref));
}

const Node* Document::header() const {
    if (!records.empty() && records.front().tag() == "HEAD") return &records.front();
    return nullptr;
}

std::optional<std::string> Document::version() const {
    const Node* h = header();
    if (!h) return std::nullopt;
    const Node* gedc = h->first("GEDC");
    if (!gedc) return std::nullopt;
    return gedc->value_of("VERS");
}

bool Document::is_version_7_or_later() const {
    auto v = version();
    if (!v) return false;
    std::string_view major = *v;
    major = major.substr(0, major.find('.'));
    auto n = text::parse_unsigned(text::trim(major), std::numeric_limits<std::uint32_t>::max());
    return n && *n >= 7;
}

std::uint64_t Document::content_records() const {
    return static_cast<std::uint64_t>(std::count_if(records.begin(), records.end(), [](const Node& r) {
        return r.tag() != "HEAD" && r.tag() != "TRLR";
    }));
}

std::uint64_t Document::line_count() const {
    std::uint64_t n = 0;
    for (const Node& r : records) n += r.line_count();
    return n;
}

std::unordered_map<std::string, std::size_t> Document::xref_index() const {
    std::unordered_map<std::string, std::size_t> index;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (auto x = records[i].xref()) index.try_emplace(text::ascii_uppercase(*x), i);
    }
    return index;
}

std::vector<UnresolvedPointer> Document::unresolved_pointers() const {
    std::unordered_set<FoldedXref, FoldedXrefHash> known;
    known.reserve(records.size());
    for (const Node& r : records) {
        if (auto x = r.xref()) known.insert(FoldedXref{*x});
    }

    std::vector<UnresolvedPointer> out;
    struct Frame {
        const Node* node;
        std::size_t next;
    };
    std::vector<Frame> stack;
    Path path;
    for (const Node& r : records) {
        auto x = r.xref();
        std::string_view label = x ? *x : r.tag();
        auto examine = [&](const Node& n) {
            auto p = n.pointer();
            if (p && *p != "@VOID@" && !known.contains(FoldedXref{*p})) {
                out.push_back({std::string(label), path, std::string(n.tag()), std::string(*p)});
            }
        };
        // Pre-order in document order: the path always has one index per frame below the record.
        examine(r);
        stack.push_back({&r, 0});
        while (!stack.empty()) {
            Frame& f = stack.back();
            if (f.next < f.node->children().size()) {
                const Node& c = f.node->children()[f.next];
                path.push_back(f.next);
                ++f.next;
                examine(c);
                stack.push_back({&c, 0});
            } else {
                stack.pop_back();
                if (!path.empty()) path.pop_back();
            }
        }
        path.clear();
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> Document::dangling_pointers() const {
    std::vector<std::pair<std::string, std::string>> out;
    for (UnresolvedPointer& u : unresolved_pointers()) out.emplace_back(std::move(u.record), std::move(u.pointer));
    return out;
}

std::string Document::next_xref(std::string_view prefix) const {
    constexpr std::uint64_t top = std::numeric_limits<std::uint64_t>::max();
    const std::string folded_prefix = text::ascii_uppercase(prefix);
    std::uint64_t largest = 0;
    std::unordered_set<std::string> taken;
    for (const Node& r : records) {
        auto x = r.xref();
        if (!x) continue;
        std::string upper = text::ascii_uppercase(*x);
        std::string_view bare = upper;
        while (!bare.empty() && bare.front() == '@') bare.remove_prefix(1);
        while (!bare.empty() && bare.back() == '@') bare.remove_suffix(1);
        if (bare.size() > folded_prefix.size() && bare.starts_with(folded_prefix)) {
            if (auto n = text::parse_unsigned(bare.substr(folded_prefix.size()), top)) largest = std::max(largest, *n);
        }
        taken.insert(std::move(upper));
    }
    auto candidate = [&](std::uint64_t n) {
        std::string c(1, '@');
        c.append(prefix).append(std::to_string(n)).push_back('@');
        return c;
    };
    auto is_free = [&](const std::string& c) { return !taken.contains(text::ascii_uppercase(c)); };
    // Only as many numbers as there are identifiers can be taken, so each loop ends early.
    if (largest < top) {
        for (std::uint64_t n = largest + 1;; ++n) {
            std::string c = candidate(n);
            if (is_free(c)) return c;
            if (n == top) break;
        }
    }
    for (std::uint64_t n = 1;; ++n) {
        std::string c = candidate(n);
        if (is_free(c)) return c;
        if (n == top) break;
    }
    return candidate(0);
}

// ---------------------------------------------------------------- output

std::string Document::to_text() const {
    std::string out;
    for (const Node& r : records) r.render_into(0, out);
    return out;
}

namespace {

// Makes one CHAR line say UTF-8, canonically and without continuation lines.
void declare_utf8(Node& char_node) {
    char_node.set_value(std::string_view("UTF-8"));
    std::erase_if(char_node.children(), is_continuation);
}

// The character-set search of the decoder honours the first "1 CHAR " line of
// the written text's first bytes, wherever it stands: under another record,
// in a header that is not first, or after a header CHAR written "01 CHAR".
// Rewrites each such line until the one honoured says UTF-8, so the written
// text reads back as UTF-8. Only the first bytes are rendered each round.
bool declare_honoured_lines_utf8(std::vector<Node>& records) {
    bool changed = false;
    for (;;) {
        std::string prefix;
        std::vector<Node*> lines;
        std::vector<std::pair<Node*, std::uint16_t>> stack;
        for (auto r = records.rbegin(); r != records.rend(); ++r) stack.emplace_back(&*r, 0);
        while (!stack.empty() && prefix.size() < text::char_search_bytes) {
            auto [node, level] = stack.back();
            stack.pop_back();
            render_own_line(*node, level, prefix);
            lines.push_back(node);
            auto& kids = node->children();
            for (auto k = kids.rbegin(); k != kids.rend(); ++k)
                stack.emplace_back(&*k, static_cast<std::uint16_t>(level + 1));
        }
        auto found = text::find_char_declaration(std::string_view(prefix).substr(0, text::char_search_bytes), true);
        if (!found || text::ascii_iequals(found->value, "UTF-8")) return changed;
        // A line read as CHAR is a CHAR node; one whose logical payload names
        // UTF-8 (a leading "UTF-" and a CONC "8") is read back as UTF-8 already.
        if (found->line >= lines.size()) return changed;
        Node* line = lines[found->line];
        if (line->tag() != "CHAR" || declares_utf8(*line)) return changed;
        declare_utf8(*line);
        changed = true;
    }
}

}  // namespace

std::string Document::to_bytes() const {
    const Node* head = header();
    const Node* charset = head ? head->first("CHAR") : nullptr;
    std::string out;
    if (!charset || declares_utf8(*charset)) {
        out = to_text();
    } else {
        // Rendered as declare_utf8 would leave a copy, without copying the records.
        render_own_line(*head, 0, out);
        for (const Node& c : head->children()) {
            if (&c != charset) {
                c.render_into(1, out);
                continue;
            }
            render_line(1, c.xref(), c.tag(), std::string_view("UTF-8"), out);
            out.push_back('\n');
            for (const Node& g : c.children()) {
                if (!is_continuation(g)) g.render_into(2, out);
            }
        }
        for (std::size_t i = 1; i < records.size(); ++i) records[i].render_into(0, out);
    }
    auto found = text::find_char_declaration(std::string_view(out).substr(0, text::char_search_bytes), true);
    if (!found || text::ascii_iequals(found->value, "UTF-8")) return out;

    // Another CHAR line would be honoured when the bytes are read again: rewrite a copy.
    Document copy;
    copy.records.reserve(records.size());
    for (const Node& r : records) copy.records.push_back(r.clone());
    if (charset && !declares_utf8(*charset)) declare_utf8(*copy.records.front().first("CHAR"));
    declare_honoured_lines_utf8(copy.records);
    return copy.to_text();
}

bool Document::declare_utf8_encoding() {
    auto head = std::find_if(records.begin(), records.end(), [](const Node& r) { return r.tag() == "HEAD"; });
    bool changed = false;
    if (head != records.end()) {
        Node* charset = head->first("CHAR");
        if (charset && !declares_utf8(*charset)) {
            declare_utf8(*charset);
            changed = true;
        }
    }
    return declare_honoured_lines_utf8(records) || changed;
}

Document Document::new_v7() {
    Document d;
    d.records.push_back(Node::new_("HEAD").child(Node::new_("GEDC").child(Node::with_value("VERS", "7.0"))));
    d.records.push_back(Node::new_("TRLR"));
    return d;
}

Document Document::new_v551(std::string_view source_system) {
    Document d;
    d.records.push_back(Node::new_("HEAD")
                            .child(Node::with_value("SOUR", source_system))
                            .child(Node::new_("GEDC")
                                       .child(Node::with_value("VERS", "5.5.1"))
                                       .child(Node::with_value("FORM", "LINEAGE-LINKED")))
                            .child(Node::with_value("CHAR", "UTF-8")));
    d.records.push_back(Node::new_("TRLR"));
    return d;
}

}  // namespace pellorine
