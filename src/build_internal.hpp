// What the build module's own files share: the wrapping walk and the widths
// of a line's fixed parts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "build.hpp"

namespace pellorine::build {

// Wraps `node` (at `level`) and its descendants so that no line is longer than
// `budget` bytes before its line feed, rebuilding each over-long structure's
// logical payload as CONT and CONC lines and appending a report for it. `path`
// is the working structure path; it is restored on return.
void wrap_node(Node& node, std::uint16_t level, std::uint64_t budget, std::string_view record, Path& path,
               std::vector<WrappedLine>& reports);

// The number of decimal digits of `n`: the width of a level on its line.
std::size_t decimal_width(std::uint64_t n);
// The length of a line's level, identifier and tag with the spaces between
// them: everything before the space that opens its payload.
std::size_t head_length(std::size_t level, std::optional<std::string_view> xref, std::string_view tag);

}  // namespace pellorine::build
