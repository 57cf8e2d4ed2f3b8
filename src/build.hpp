// Record specifications: records and substructures described as small trees
// (from Python, as JSON) and built into nodes.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "document.hpp"
#include "error.hpp"

namespace pellorine::build {

// One record or substructure to be built. Only a record (level 0) may carry an
// identifier; a value may hold line feeds, which become CONT lines; an empty
// value counts as no payload.
struct NodeSpec {
    std::optional<std::string> xref;
    std::string tag;
    std::optional<std::string> value;
    std::vector<NodeSpec> children;

    bool operator==(const NodeSpec&) const = default;
};

}  // namespace pellorine::build
