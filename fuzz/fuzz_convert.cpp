// Version conversions: any document converts to 7.0 and to 5.5.1 without
// changing its source, and each converted document's text parses again to
// the same text.
#include <string>

#include "convert.hpp"
#include "decode.hpp"
#include "harness.hpp"

using namespace pellorine;

namespace {

void expect_reparses(const convert::Conversion& result, std::string_view what) {
    std::string text;
    for (const Node& r : result.document) r.render_into(0, text);
    auto parsed = Document::parse(text);
    if (!parsed) fuzz::fail(what, parsed.error().display());
    fuzz::check(parsed->to_text() == text, what, "the text parses to another text");
    for (const convert::ConversionNote& n : result.notes) (void)n.to_json();
}

}  // namespace

PELLORINE_FUZZ_TARGET {
    auto read = decode::from_bytes(fuzz::bytes_of(data, size));
    if (!read) return 0;
    const Document& doc = read->first;
    const std::string text = doc.to_text();

    expect_reparses(convert::to_version_7(doc), "a document converted to 7.0 does not parse again");
    fuzz::check(doc.to_text() == text, "converting to 7.0 changed the source");
    expect_reparses(convert::to_version_5_5_1(doc), "a document converted to 5.5.1 does not parse again");
    fuzz::check(doc.to_text() == text, "converting to 5.5.1 changed the source");
    return 0;
}
