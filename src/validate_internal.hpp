// What the validation module's own files share beyond its public header:
// the phrases of the messages, the life read from an individual's view, and
// the making of a finding.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "document.hpp"
#include "validate.hpp"
#include "view.hpp"

namespace pellorine::validate {

// The Life of an individual's view: the years of its first BIRT, DEAT and BURI.
Life life_of(const view::IndividualView& view);

// "in 1900" when the years are one year, else their display.
std::string in_year(const Years& years);

// The age at an event of someone born in `birth`: "at 10", "at 10 to 15",
// "at least 10", "at most 15" or "at an unknown age".
std::string age(const Years& birth, const Years& event);

// Appends a finding about `record`, named by its identifier, else its tag.
void add(std::vector<Finding>& findings, const Node& record, std::string_view check, Severity severity,
         std::string message);

// The display title of the first record whose identifier matches `xref`
// ignoring ASCII case, else `xref` itself.
std::string heading(const std::vector<Node>& records, std::string_view xref);

}  // namespace pellorine::validate
