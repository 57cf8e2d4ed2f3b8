// The reader of record descriptions: any text is read or refused with a
// message, and the descriptions it accepts, written back as JSON through
// the one writer, read back as the same descriptions.
#include <string>
#include <vector>

#include "harness.hpp"
#include "json.hpp"

using namespace pellorine;

namespace {

void write_spec(json::Writer& w, const json::NodeSpec& spec) {
    w.begin_object();
    w.key("tag").string(std::string_view(spec.tag));
    w.key("xref").string(spec.xref);
    w.key("value").string(spec.value);
    w.key("children").begin_array();
    for (const auto& child : spec.children) write_spec(w, child);
    w.end_array();
    w.end_object();
}

}  // namespace

PELLORINE_FUZZ_TARGET {
    auto specs = json::read_node_specs(fuzz::bytes_of(data, size));
    if (!specs) {
        fuzz::check(specs.error().display().find(" at line ") != std::string::npos,
                    "a refusal without its position", specs.error().display());
        return 0;
    }
    json::Writer w;
    w.begin_array();
    for (const auto& spec : *specs) write_spec(w, spec);
    w.end_array();
    const std::string written = w.take();
    auto again = json::read_node_specs(written);
    if (!again) fuzz::fail("written record descriptions are refused", again.error().display());
    fuzz::check(*again == *specs, "written specifications read back as others", written);
    return 0;
}
