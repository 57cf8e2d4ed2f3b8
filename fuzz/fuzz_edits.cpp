// Structural edits: wrapping long lines, fitting a record within a line limit
// and replacing a structure's logical payload, each chosen from the input's
// own bytes. An accepted edit leaves a document whose text parses again (to
// the same text), wrapping twice reports nothing the second time, fitting
// keeps every structure's logical payload, and a refused edit leaves the text
// as it was.
#include <cstdint>
#include <string>
#include <vector>

#include "build.hpp"
#include "decode.hpp"
#include "harness.hpp"

using namespace pellorine;

namespace {

// FNV-1a over the input: the choices below depend on every byte.
std::uint64_t mix(std::string_view bytes) {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (unsigned char c : bytes) h = (h ^ c) * 0x100000001b3ULL;
    return h;
}

void expect_reparses(const Document& doc, std::string_view what) {
    const std::string text = doc.to_text();
    auto parsed = Document::parse(text);
    if (!parsed) fuzz::fail(what, parsed.error().display());
    fuzz::check(parsed->to_text() == text, what, "the text parses to another text");
}

struct Target {
    Node* node;
    std::size_t level;
};

// Every structure that is not itself a continuation line, with its level.
void collect(Node& node, std::size_t level, std::vector<Target>& out) {
    out.push_back({&node, level});
    for (Node& c : node.children())
        if (c.tag() != "CONT" && c.tag() != "CONC") collect(c, level + 1, out);
}

// Every structure's logical payload, in document order.
std::vector<std::string> payloads(Document& doc) {
    std::vector<Target> targets;
    for (Node& r : doc.records) collect(r, 0, targets);
    std::vector<std::string> out;
    for (const Target& t : targets) out.push_back(t.node->logical_value());
    return out;
}

}  // namespace

PELLORINE_FUZZ_TARGET {
    const std::string_view input = fuzz::bytes_of(data, size);
    auto read = decode::from_bytes(input);
    if (!read) return 0;
    Document& doc = read->first;
    std::uint64_t h = mix(input);
    auto next = [&h](std::uint64_t n) {
        h = h * 6364136223846793005ULL + 1442695040888963407ULL;
        return n ? (h >> 33) % n : 0;
    };

    // Wrapping: limits under 32 are refused, so some are chosen below it.
    const std::uint64_t limit = next(300);
    std::string before = doc.to_text();
    auto wrapped = build::wrap_long_lines(doc, limit);
    if (!wrapped) {
        fuzz::check(doc.to_text() == before, "a refused wrap changed the document", wrapped.error().display());
    } else {
        expect_reparses(doc, "a wrapped document does not parse again");
        auto again = build::wrap_long_lines(doc, limit);
        if (!again) fuzz::fail("a second wrap is refused", again.error().display());
        if (!again->empty()) fuzz::fail("a second wrap reports more lines", again->front().to_json());
    }

    if (doc.records.empty()) return 0;
    // Fitting one record, by its identifier when it has one.
    Node& record = doc.records[next(doc.records.size())];
    const std::uint64_t fit = next(4) == 0 ? next(32) : next(300);
    const std::vector<std::string> unfitted = payloads(doc);
    if (auto x = record.xref()) {
        before = doc.to_text();
        const std::string id(*x);
        auto fitted = build::fit_line_limit(doc, id, fit);
        if (!fitted) fuzz::check(doc.to_text() == before, "a refused fit changed the document");
    } else {
        (void)build::fit_line_limit(record, 0, fit);
    }
    expect_reparses(doc, "a fitted document does not parse again");
    fuzz::check(payloads(doc) == unfitted, "fitting changed a logical payload");

    // A new logical payload: a slice of the document's own text, line ends included.
    std::vector<Target> targets;
    for (Node& r : doc.records) collect(r, 0, targets);
    const Target t = targets[next(targets.size())];
    before = doc.to_text();
    const std::size_t from = next(before.size() + 1);
    const std::string value = before.substr(from, next(before.size() - from + 1));
    if (auto ok = build::check_logical_value(*t.node, t.level, value); !ok) {
        fuzz::check(doc.to_text() == before, "a refused payload changed the document", ok.error().display());
        return 0;
    }
    t.node->set_logical_value(value);
    fuzz::check(t.node->logical_value() == value, "the logical payload reads back as another", value);
    expect_reparses(doc, "a document with a new payload does not parse again");
    return 0;
}
