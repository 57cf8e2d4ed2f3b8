// The document model: nodes, documents, the line grammar and its parser.
//
// The public interface below is what every other module uses. How a node
// stores its texts is private to this module and may change for memory's sake.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "error.hpp"

namespace pellorine {

struct ParseLimits {
    std::uint64_t max_bytes = 134217728;      // 128 MiB
    std::uint64_t max_line_bytes = 16777216;  // 16 MiB
    std::uint64_t max_records = 2000000;
    std::uint64_t max_lines = 20000000;
    std::uint16_t max_depth = 64;
};
inline constexpr ParseLimits default_limits{};

// Appends the canonical text of one line (no line end) to `out`.
void render_line(std::uint16_t level, std::optional<std::string_view> xref, std::string_view tag,
                 std::optional<std::string_view> value, std::string& out);
bool is_tag(std::string_view s);
bool is_xref(std::string_view s);  // also the pointer shape

using Path = std::vector<std::size_t>;  // structure path: child indices from a record

class Node {
public:
    // Constructors check their preconditions and throw std::logic_error with the fixed message.
    static Node new_(std::string_view tag);  // `Node::new`
    static Node record(std::string_view xref, std::string_view tag);
    static Node with_value(std::string_view tag, std::string_view value);

    std::string_view tag() const;
    std::optional<std::string_view> xref() const;
    std::optional<std::string_view> value() const;     // the line's own payload
    std::optional<std::string_view> verbatim() const;  // the line as read, when it differs from canonical
    const std::vector<Node>& children() const { return children_; }
    std::vector<Node>& children() { return children_; }

    void set_tag(std::string_view tag);
    void set_value(std::optional<std::string_view> value);
    void set_xref(std::optional<std::string_view> xref);
    void forget_verbatim();

    std::string logical_value() const;
    void set_logical_value(std::string_view text);
    std::optional<std::string_view> pointer() const;
    bool is_void_pointer() const;
    const Node* first(std::string_view tag) const;
    Node* first(std::string_view tag);
    std::optional<std::string> value_of(std::string_view tag) const;
    std::optional<Node> remove_at(const Path& path);
    void push(Node child);
    Node child(Node child) &&;  // appends and returns the node, for building trees in one expression
    std::uint64_t line_count() const;
    Node clone() const;
    void render_into(std::uint16_t level, std::string& out) const;

    // ---- line fitting (defined with the builders)
    // Fits this node, at `level`, and its descendants within `limit` bytes a line; true when anything changed.
    bool fit_line_limit(std::uint16_t level, std::uint64_t limit);

    // Depth-first pre-order walk starting with this node.
    class Walk;
    Walk walk() const;

    Node(Node&&) noexcept;
    Node& operator=(Node&&) noexcept;
    ~Node();

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

class Node::Walk {
public:
    explicit Walk(const Node& root) : stack_{&root} {}
    // The next node, or nullptr at the end.
    const Node* next();

private:
    std::vector<const Node*> stack_;
};

// An identifier compared and hashed without regard to ASCII case.
struct FoldedXref {
    std::string_view text;
    bool operator==(const FoldedXref& o) const;
};
struct FoldedXrefHash {
    std::size_t operator()(const FoldedXref& x) const noexcept;
};

class RecordIndex {
public:
    explicit RecordIndex(const std::vector<Node>& records);
    const Node* get(std::string_view xref) const;
    bool contains(std::string_view xref) const;
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

struct UnresolvedPointer {
    std::string record;
    Path path;
    std::string tag;
    std::string pointer;
    // {"record":..,"path":[..],"tag":..,"pointer":..}
    std::string to_json() const;
};

struct EncodingReport;  // decode.hpp
namespace build {
struct WrappedLine;  // build.hpp
}

class Document {
public:
    std::vector<Node> records;

    static Result<Document> parse(std::string_view text);
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
    // Decodes, then parses with the same limits (defined with the decoder).
    static Result<std::pair<Document, EncodingReport>> from_bytes(std::string_view bytes);
    static Result<std::pair<Document, EncodingReport>> from_bytes_with(std::string_view bytes,
                                                                       const ParseLimits& limits);
    // The same, for bytes that `keeper` keeps alive: when decoding would leave them as
    // they are (valid UTF-8, or ASCII in a single-byte set; a byte-order mark skipped),
    // the document views them in place instead of a copy.
    static Result<std::pair<Document, EncodingReport>> from_borrowed_bytes_with(std::string_view bytes,
                                                                                TextKeeper keeper,
                                                                                const ParseLimits& limits);

    const Node* record(std::string_view xref) const;
    Node* record(std::string_view xref);
    const Node* header() const;
    std::optional<std::string> version() const;
    bool is_version_7_or_later() const;
    std::uint64_t content_records() const;
    std::uint64_t line_count() const;
    std::unordered_map<std::string, std::size_t> xref_index() const;
    RecordIndex record_index() const { return RecordIndex(records); }
    std::vector<UnresolvedPointer> unresolved_pointers() const;
    std::vector<std::pair<std::string, std::string>> dangling_pointers() const;
    std::string next_xref(std::string_view prefix) const;
    std::string to_text() const;
    std::string to_bytes() const;
    bool declare_utf8_encoding();

    // ---- structural edits and line fitting (defined with the builders); each is all-or-none
    // Inserts `new_records` before the last TRLR (or at the end); refuses HEAD, TRLR and taken identifiers.
    Result<void> append_records(std::vector<Node> new_records);
    // Appends `structures` under the structure at `path` in the record named by identifier or untagged tag.
    Result<void> append_structures(std::string_view record, const Path& path, std::vector<Node> structures);
    // Fits the record with identifier `xref` (ASCII case ignored) within `limit`; true when anything changed.
    Result<bool> fit_line_limit(std::string_view xref, std::uint64_t limit);
    // Wraps every line longer than `limit` bytes (line feed included) of a 5.5.x document.
    Result<std::vector<build::WrappedLine>> wrap_long_lines(std::uint64_t limit);

    static Document new_v7();
    static Document new_v551(std::string_view source_system);
};

}  // namespace pellorine
