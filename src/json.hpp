// JSON at the edges of the core: a compact writer for results handed to
// Python, and the reader of record descriptions coming from Python.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "error.hpp"

namespace pellorine::json {

// One record or substructure to be built, as the reader below delivers it (the
// build module turns it into nodes). Only a record (level 0) may carry an
// identifier; a value may hold line feeds, which become CONT lines; an empty
// value counts as no payload.
struct NodeSpec {
    std::optional<std::string> xref;    // the record's identifier, with its at-signs
    std::string tag;                    // the tag, checked when built
    std::optional<std::string> value;   // the logical payload
    std::vector<NodeSpec> children;     // the substructures, in order

    bool operator==(const NodeSpec&) const = default;  // field by field
};

// Reads a JSON array of record descriptions: each an object with the keys
// `tag` (a string, required), `xref` and `value` (a string or null) and
// `children` (an array of descriptions), or an array of those four in the
// order xref, tag, value, children. Unknown and repeated keys are refused.
// Every failure is a GedcomError (line 0, kind 1) whose message ends with
// " at line {} column {}" (1-based; columns count characters).
Result<std::vector<NodeSpec>> read_node_specs(std::string_view json);

// Descriptions nested deeper than this are refused while reading, long
// before any recursion over the tree could exhaust the stack. The builders'
// own depth bound (64) is far below it and gives the message callers see.
inline constexpr std::size_t max_spec_nesting = 4096;

// The one JSON writer of the library: compact text (no whitespace between
// tokens) in the order of the calls, into a buffer whose first capacity is 128
// bytes. Text that is not valid UTF-8 is written with each invalid byte
// replaced by U+FFFD, so that the result is always valid JSON. The caller
// keeps objects and arrays balanced. One writer can serve many texts in turn:
// `clear` starts the next one in the same buffer.
class Writer {
public:
    Writer();
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    Writer& begin_object();  // {
    Writer& end_object();    // }
    Writer& begin_array();   // [
    Writer& end_array();     // ]
    // A key written as it stands: a literal checked when the program is
    // compiled to be printable ASCII with no quotation mark or reverse solidus.
    class PlainKey {
    public:
        // Takes a literal; a literal that would need escaping does not compile.
        template <std::size_t N>
        consteval PlainKey(const char (&k)[N]) : text_(k, N - 1) {
            for (char c : text_)
                if (c < 0x20 || c > 0x7E || c == '"' || c == '\\') throw "a plain key is printable ASCII without \" or \\";
        }
        std::string_view text() const { return text_; }  // the key, without quotation marks

    private:
        std::string_view text_;
    };

    Writer& key(PlainKey k);  // an object's key known when compiling: no check at run time
    // An object's key, escaped as a string (a literal goes to the overload above).
    template <class K>
        requires(!std::is_array_v<K> && std::is_convertible_v<const K&, std::string_view>)
    Writer& key(const K& k) {
        return key_text(std::string_view(k));
    }
    Writer& string(std::string_view s);  // a string, escaped, invalid UTF-8 repaired
    Writer& string(const std::string& s);  // the same, for a std::string
    Writer& string(const char* s);  // the same, for a literal
    Writer& string(const std::optional<std::string>& s);       // null when absent
    Writer& string(const std::optional<std::string_view>& s);  // null when absent
    Writer& uint(std::uint64_t n);  // a non-negative integer
    Writer& int64(std::int64_t n);  // a signed integer
    Writer& boolean(bool b);  // true or false
    Writer& null();           // null

    // The text written so far, valid until the next call on the writer.
    std::string_view view() const;
    // The text written so far; the writer is spent afterwards.
    std::string take();
    // Forgets the text written so far, keeping the buffer, to write a new text.
    void clear();

private:
    Writer& key_text(std::string_view k);

    struct Impl;
    Impl* impl_;
};

}  // namespace pellorine::json
