// Bytes to document and back: whatever the bytes, the UTF-8 output reads back
// as UTF-8 with the same text, and the text re-parses to the same text.
#include <string>

#include "decode.hpp"
#include "harness.hpp"

using namespace pellorine;

namespace {

// The bytes read back as UTF-8, to a document whose text is the bytes themselves.
void expect_reads_back(const std::string& bytes, std::string_view what) {
    auto again = decode::from_bytes(bytes);
    if (!again) fuzz::fail(what, again.error().display());
    const EncodingReport& report = again->second;
    fuzz::check(report.encoding == GedcomEncoding::Utf8 && !report.bom && report.undecodable == 0, what,
                report.summary());
    fuzz::check(again->first.to_text() == bytes, what, "the text read back differs");
}

}  // namespace

PELLORINE_FUZZ_TARGET {
    auto read = decode::from_bytes(fuzz::bytes_of(data, size));
    if (!read) return 0;
    Document& doc = read->first;

    const std::string text = doc.to_text();
    auto parsed = Document::parse(text);
    if (!parsed) fuzz::fail("the written text does not parse", parsed.error().display());
    fuzz::check(parsed->to_text() == text, "the written text parses to another text");

    expect_reads_back(doc.to_bytes(), "the UTF-8 output does not read back as itself");
    fuzz::check(doc.to_text() == text, "to_bytes changed the document");
    doc.declare_utf8_encoding();
    expect_reads_back(doc.to_text(), "a document declared UTF-8 does not read back as itself");
    return 0;
}
