// Version conversions: any document converts to 7.0 and to 5.5.1 without
// changing its source, each converted document's text parses again to the
// same text, and converting that again in the same direction changes nothing
// and makes only Kept notes.
#include <string>

#include "convert.hpp"
#include "decode.hpp"
#include "harness.hpp"

using namespace pellorine;

namespace {

std::string render(const convert::Conversion& result) {
    std::string text;
    for (const Node& r : result.document) r.render_into(0, text);
    return text;
}

void expect_stable(const Document& doc, convert::Conversion (*convert)(const Document&), std::string_view what) {
    const convert::Conversion once = convert(doc);
    for (const convert::ConversionNote& n : once.notes) (void)n.to_json();
    const std::string text = render(once);
    auto parsed = Document::parse(text);
    if (!parsed) fuzz::fail(what, "the converted document does not parse again: " + parsed.error().display());
    fuzz::check(parsed->to_text() == text, what, "the converted document parses to another text");

    const convert::Conversion again = convert(*parsed);
    fuzz::check(render(again) == text, what, "converting the result again changed it");
    for (const convert::ConversionNote& n : again.notes) {
        fuzz::check(n.kind == convert::ConversionKind::Kept, what,
                    "converting the result again made a note other than Kept: " + n.to_json());
    }
}

}  // namespace

PELLORINE_FUZZ_TARGET {
    auto read = decode::from_bytes(fuzz::bytes_of(data, size));
    if (!read) return 0;
    const Document& doc = read->first;
    const std::string text = doc.to_text();

    expect_stable(doc, convert::to_version_7, "conversion to 7.0");
    fuzz::check(doc.to_text() == text, "converting to 7.0 changed the source");
    expect_stable(doc, convert::to_version_5_5_1, "conversion to 5.5.1");
    fuzz::check(doc.to_text() == text, "converting to 5.5.1 changed the source");
    return 0;
}
