// The document model: nodes, documents, the line grammar and its parser.
//
// The public interface below is what every other module uses. How a node
// stores its texts is private to this module and may change for memory's sake.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "error.hpp"

namespace pellorine {

// The bounds of one parse, and of building nodes from record descriptions.
struct ParseLimits {
    std::uint64_t max_bytes = 134217728;      // largest text (or byte input) accepted: 128 MiB
    std::uint64_t max_line_bytes = 16777216;  // longest line without its line end: 16 MiB
    std::uint64_t max_records = 2000000;      // most level-0 records
    std::uint64_t max_lines = 20000000;       // most non-empty lines (structures per built record)
    std::uint16_t max_depth = 64;             // deepest level number allowed, itself included
};
// The bounds Document::parse and decode::from_bytes use.
inline constexpr ParseLimits default_limits{};

// Refuses input of more than `limits.max_bytes` bytes, for the decoder and the parser alike.
Result<void> check_input_size(std::size_t size, const ParseLimits& limits);

// Appends the canonical text of one line (no line end) to `out`.
void render_line(std::uint16_t level, std::optional<std::string_view> xref, std::string_view tag,
                 std::optional<std::string_view> value, std::string& out);
// True when `s` is non-empty and only ASCII letters, digits and underscores.
bool is_tag(std::string_view s);
// True for CONT and CONC, the tags of a payload's continuation lines.
inline bool is_continuation_tag(std::string_view tag) { return tag == "CONT" || tag == "CONC"; }
// True when `s` is at least 3 bytes, begins and ends with '@' and has no other '@': the pointer shape.
bool is_xref(std::string_view s);

using Path = std::vector<std::size_t>;  // structure path: child indices from a record

// One GEDCOM line and its substructures. The level is not stored: it is the
// node's depth below its record.
class Node {
public:
    // Constructors and setters check their preconditions and throw std::logic_error with a fixed message.
    // A node with `tag` and nothing else (`Node::new`); the tag must pass is_tag.
    static Node new_(std::string_view tag);
    // A record node with identifier `xref` (the pointer shape) and `tag`.
    static Node record(std::string_view xref, std::string_view tag);
    // A node with `tag` and payload `value`; line ends in it become CONT children.
    static Node with_value(std::string_view tag, std::string_view value);

    std::string_view tag() const;                      // the tag as written (case matters)
    std::optional<std::string_view> xref() const;      // the identifier with its at-signs, if any
    std::optional<std::string_view> value() const;     // the line's own payload; absent differs from empty
    std::optional<std::string_view> verbatim() const;  // the line as read, when it differs from canonical
    // The substructures in file order, continuation lines included.
    const std::vector<Node>& children() const { return children_; }
    std::vector<Node>& children() { return children_; }

    // Replaces the tag (which must pass is_tag) and drops the verbatim text.
    void set_tag(std::string_view tag);
    // Replaces the own payload, which must hold no line end; drops the verbatim text, keeps the children.
    void set_value(std::optional<std::string_view> value);
    // Replaces the identifier (the pointer shape, or none) and drops the verbatim text.
    void set_xref(std::optional<std::string_view> xref);
    // Drops the verbatim text, so the node renders canonically.
    void forget_verbatim();

    // The own payload joined with its CONT (after a line feed) and CONC children, wherever they stand.
    std::string logical_value() const;
    // Replaces the payload and every CONT and CONC child: the first line as payload, the rest as leading CONT lines.
    void set_logical_value(std::string_view text);
    // The own payload when it has the pointer shape.
    std::optional<std::string_view> pointer() const;
    // True when the own payload is exactly "@VOID@", the null pointer.
    bool is_void_pointer() const;
    // The first direct child tagged exactly `tag`, or nullptr.
    const Node* first(std::string_view tag) const;
    Node* first(std::string_view tag);
    // The logical payload of first(tag); absent when there is no such child.
    std::optional<std::string> value_of(std::string_view tag) const;
    // The structure at `path` (child indices from this node; empty: this node), or nullptr when there is none.
    Node* at(std::span<const std::size_t> path);
    // Removes and returns the structure at `path` below this node; absent, removing nothing, when there is none.
    std::optional<Node> remove_at(const Path& path);
    // Appends a child.
    void push(Node child);
    Node child(Node child) &&;  // appends and returns the node, for building trees in one expression
    // This line and all its descendants' lines.
    std::uint64_t line_count() const;
    // A deep copy, verbatim texts included.
    Node clone() const;
    // Appends the node at `level` and its subtree, verbatim lines as read, each line ending in a line feed.
    void render_into(std::uint16_t level, std::string& out) const;

    // Depth-first pre-order walk starting with this node.
    class Walk;
    Walk walk() const;

    Node(Node&&) noexcept;             // takes over the texts and children; the source is left empty
    Node& operator=(Node&&) noexcept;  // the same, letting go of this node's own
    ~Node();                           // lets go of the texts, freeing them with their last viewer

private:
    Node();
    Node(const Node&);  // use clone()
    Node& operator=(const Node&) = delete;
    friend class Document;
    friend struct Parser;
    struct Storage;  // a reference-counted immutable text, shared by the nodes that view it

    // Replaces the node's texts with a private copy of them and drops the verbatim text.
    void reassign(std::optional<std::string_view> xref, std::string_view tag,
                  std::optional<std::string_view> value);

    // The texts are views into `storage_`, laid out as one line is:
    // [level and spaces][xref ' '][tag][' ' value]. A parsed node views the decoded
    // text of its whole document; an edited or built node owns a small text of its own.
    // Lengths that can be found in the text are not stored (the identifier ends at its
    // second at-sign, the payload at the line feed or the end of the text, a verbatim
    // line begins after the previous line feed), which keeps a node to five words:
    // a large file's tree is mostly nodes.
    std::string_view text() const;
    std::size_t xref_len() const;
    std::vector<Node> children_;
    Storage* storage_ = nullptr;
    std::uint32_t offset_ = 0;             // where the xref (or, without one, the tag) begins
    std::uint32_t tag_len_ : 30 = 0;
    std::uint32_t has_xref_ : 1 = 0;
    std::uint32_t verbatim_ : 1 = 0;       // the line as read is the text from its line start
    static constexpr std::uint32_t longest_tag = (1u << 30) - 1;
};

// Keeps a text that nodes view alive: whoever holds one keeps the text, and the
// deleter runs when the last holder goes. It lets a document view its caller's
// bytes (a Python bytes object, say) instead of copying them.
using TextKeeper = std::shared_ptr<const void>;

// A text shared by the nodes that view it; never changed once made. The count
// is not atomic: a document and its nodes belong to one thread at a time, and
// the keeper's deleter runs on that thread when the last node goes.
struct Node::Storage {
    std::size_t refs = 1;   // the nodes viewing this storage
    std::string_view text;  // what the nodes view: `own`, or a text `keeper` keeps alive
    std::string own;        // the text, when the storage holds it itself
    TextKeeper keeper;      // keeps `text` alive, when it is held elsewhere

    // A storage holding its own copy of `t`.
    static Storage* owning(std::string t) {
        auto* s = new Storage{1, {}, std::move(t), nullptr};
        s->text = s->own;
        return s;
    }
    // A storage viewing `t`, which `keeper` keeps alive.
    static Storage* viewing(std::string_view t, TextKeeper keeper) {
        return new Storage{1, t, {}, std::move(keeper)};
    }
    // One more node views `s` (which may be null); returns `s`.
    static Storage* retain(Storage* s) {
        if (s) ++s->refs;
        return s;
    }
    // One node fewer views `s`; the last one frees it (and lets go of its keeper).
    static void release(Storage* s) {
        if (s && --s->refs == 0) delete s;
    }
};

namespace detail {
// ASCII letters, digits and underscore: the bytes of a tag.
inline bool is_tag_byte(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}
}  // namespace detail

// Visits a node and its descendants depth-first, each before its children, in file order.
class Node::Walk {
public:
    // A walk whose first node is `root`; the nodes must outlive it.
    explicit Walk(const Node& root) : stack_{&root} {}
    // The next node, or nullptr at the end.
    const Node* next();

private:
    std::vector<const Node*> stack_;
};

// An identifier compared and hashed without regard to ASCII case.
struct FoldedXref {
    std::string_view text;  // borrowed: must outlive the key
    // Equal lengths and equal bytes once ASCII letters are folded to one case.
    bool operator==(const FoldedXref& o) const;
};
// Hashes a FoldedXref over its ASCII-uppercased bytes, without making an uppercased copy.
struct FoldedXrefHash {
    std::size_t operator()(const FoldedXref& x) const noexcept;
};

// Finds records by identifier, ASCII case ignored, over a record list it
// borrows; when identifiers collide the first record wins. Any change to the
// list invalidates it.
class RecordIndex {
public:
    // Indexes every record of `records` that has an identifier.
    explicit RecordIndex(const std::vector<Node>& records);
    // The record answering to `xref`, or nullptr.
    const Node* get(std::string_view xref) const;
    // True when some record answers to `xref`.
    bool contains(std::string_view xref) const;
    // The position in the list of the record answering to `xref`.
    std::optional<std::size_t> position(std::string_view xref) const;
    // Removes the entry of `xref`; before an edit of that record's own line
    // replaces the text the entry views.
    void erase(std::string_view xref);
    // Enters the record at `position` under its identifier (viewed, not copied),
    // unless the index already holds that identifier.
    void insert(std::size_t position);

private:
    const std::vector<Node>* records_;
    std::unordered_map<FoldedXref, std::size_t, FoldedXrefHash> map_;
};

// A payload of the pointer shape naming no record of its document.
struct UnresolvedPointer {
    std::string record;   // the holding record's identifier as written, else its tag
    Path path;            // where the pointing structure stands in that record
    std::string tag;      // the pointing structure's tag
    std::string pointer;  // the payload as written
    // {"record":..,"path":[..],"tag":..,"pointer":..}
    std::string to_json() const;
};

// A GEDCOM document: its level-0 records in file order. The header and
// trailer are ordinary records found by their tags.
class Document {
public:
    std::vector<Node> records;  // the level-0 records, in file order

    // Parses decoded text under the default limits.
    static Result<Document> parse(std::string_view text);
    // Parses decoded text under `limits`; a bad line anywhere wins over a misplaced line before it.
    static Result<Document> parse_with(std::string_view text, const ParseLimits& limits);
    // The same, taking over a decoded text the caller no longer needs, so that the
    // nodes view it in place instead of a copy.
    static Result<Document> parse_owned(std::string text);
    static Result<Document> parse_owned_with(std::string text, const ParseLimits& limits);
    // The same, viewing a text that `keeper` keeps alive: the nodes view it in place
    // and hold the keeper until the last of them goes. A text with a carriage return
    // is copied instead, since its line ends must change.
    static Result<Document> parse_borrowed_with(std::string_view text, TextKeeper keeper,
                                                const ParseLimits& limits);
    // The first record whose identifier matches `xref`, ASCII case ignored (a linear scan), or nullptr.
    const Node* record(std::string_view xref) const;
    Node* record(std::string_view xref);
    // The first record when it is tagged exactly HEAD, else nullptr.
    const Node* header() const;
    // The logical payload of the header's first GEDC's first VERS.
    std::optional<std::string> version() const;
    // True when the version's number before its first full stop is 7 or more.
    bool is_version_7_or_later() const;
    // The number of records tagged neither HEAD nor TRLR.
    std::uint64_t content_records() const;
    // The number of lines the document renders to.
    std::uint64_t line_count() const;
    // Each record identifier, ASCII-uppercased, to the position of the first record carrying it.
    std::unordered_map<std::string, std::size_t> xref_index() const;
    // An index of the records by identifier, valid until the record list changes.
    RecordIndex record_index() const { return RecordIndex(records); }
    // Every pointer, at any depth, that names no record (the null pointer aside), in document order.
    std::vector<UnresolvedPointer> unresolved_pointers() const;
    // The (record, pointer) of each unresolved pointer, in the same order.
    std::vector<std::pair<std::string, std::string>> dangling_pointers() const;
    // The first free identifier "@{prefix}{n}@", trying n from one past the largest number after that prefix.
    std::string next_xref(std::string_view prefix) const;
    // Every record rendered at level 0: an untouched line as read, each line ending in a line feed.
    std::string to_text() const;
    // to_text, with the leading header's first CHAR line made to say UTF-8; the document is not changed.
    std::string to_bytes() const;
    // Sets the first HEAD's first CHAR to UTF-8, dropping its continuation lines; false when nothing changed.
    bool declare_utf8_encoding();

    // An empty 7.0 document: HEAD with GEDC and VERS 7.0, then TRLR.
    static Document new_v7();
    // An empty 5.5.1 document: HEAD with SOUR `source_system`, GEDC (VERS, FORM), CHAR UTF-8; then TRLR.
    static Document new_v551(std::string_view source_system);
};

}  // namespace pellorine
