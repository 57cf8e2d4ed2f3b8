// JSON at the edges of the core: a compact writer for results handed to
// Python, and the reader of record specifications coming from Python.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "build.hpp"
#include "error.hpp"

namespace pellorine::json {

// Reads a JSON array of record specifications: each an object with the keys
// `tag` (a string, required), `xref` and `value` (a string or null) and
// `children` (an array of specifications), or an array of those four in the
// order xref, tag, value, children. Unknown and repeated keys are refused.
// Every failure is a GedcomError (line 0, kind 1) whose message ends with
// " at line {} column {}" (1-based; columns count characters).
Result<std::vector<build::NodeSpec>> read_node_specs(std::string_view json);

// Specifications nested deeper than this are refused while reading, long
// before any recursion over the tree could exhaust the stack. The builders'
// own depth bound (64) is far below it and gives the message callers see.
inline constexpr std::size_t max_spec_nesting = 4096;

// A compact JSON writer (no whitespace between tokens) into a growing buffer
// whose first capacity is 128 bytes. Keys and values are written in the order
// of the calls; the caller keeps objects and arrays balanced.
class Writer {
public:
    Writer();
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    Writer& begin_object();
    Writer& end_object();
    Writer& begin_array();
    Writer& end_array();
    Writer& key(std::string_view k);
    Writer& string(std::string_view s);
    Writer& string(const std::optional<std::string>& s);       // null when absent
    Writer& string(const std::optional<std::string_view>& s);  // null when absent
    Writer& uint(std::uint64_t n);
    Writer& int64(std::int64_t n);
    Writer& boolean(bool b);
    Writer& null();

    // The text written so far; the writer is spent afterwards.
    std::string take();

private:
    struct Impl;
    Impl* impl_;
};

}  // namespace pellorine::json
