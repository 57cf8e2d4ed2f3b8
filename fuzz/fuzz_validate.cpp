// Validation: any document gives findings whose JSON is valid UTF-8 and
// whose record is one the document holds, by identifier as written, or the
// tag of an individual or family without one.
#include <string>
#include <unordered_set>

#include "decode.hpp"
#include "harness.hpp"
#include "text.hpp"
#include "validate.hpp"

using namespace pellorine;

PELLORINE_FUZZ_TARGET {
    auto read = decode::from_bytes(fuzz::bytes_of(data, size));
    if (!read) return 0;
    const Document& doc = read->first;
    std::unordered_set<std::string_view> names{"INDI", "FAM"};
    for (const Node& record : doc.records)
        if (auto x = record.xref()) names.insert(*x);

    for (const validate::Finding& finding : validate::inspect(doc)) {
        const std::string json = finding.to_json();
        fuzz::check(!json.empty() && text::is_valid_utf8(json), "a finding is not UTF-8 JSON", json);
        fuzz::check(names.contains(finding.record), "a finding names no record of the document", json);
    }
    return 0;
}
