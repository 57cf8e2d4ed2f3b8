// The case table and checks shared by the conversion tests, and small document helpers.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "convert.hpp"
#include "document.hpp"

namespace pellorine::convert {

// A document parsed from `text`, failing the test when it does not parse.
inline Document parse(std::string_view text) {
    auto doc = Document::parse(text);
    EXPECT_TRUE(doc) << doc.error().display();
    return doc ? std::move(*doc) : Document{};
}

// The records as text from level 0.
inline std::string render(const std::vector<Node>& records) {
    std::string out;
    for (const Node& r : records) r.render_into(0, out);
    return out;
}

// A note as "record tag Kind: detail", the record "-" when absent.
inline std::string show(const ConversionNote& n) {
    return n.record.value_or("-") + " " + n.tag + " " + std::string(kind_name(n.kind)) + ": " + n.detail;
}
inline std::vector<std::string> shown(const std::vector<ConversionNote>& notes) {
    std::vector<std::string> out;
    for (const ConversionNote& n : notes) out.push_back(show(n));
    return out;
}

struct Case {
    const char* name;
    std::string input;
    std::string output;  // empty when it is the input
    std::vector<std::string> notes;
};
inline void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }
inline const auto case_name = [](const auto& info) { return std::string(info.param.name); };

using Convert = std::function<Conversion(const Document&)>;

// What `convert` writes from `doc` reads back as written, and converting that
// again changes nothing and only repeats what was kept.
inline void expect_stable(const Document& doc, const Convert& convert) {
    const std::string text = render(convert(doc).document);
    const Document again = parse(text);
    EXPECT_EQ(again.to_text(), text);
    const Conversion twice = convert(again);
    EXPECT_EQ(render(twice.document), text);
    for (const ConversionNote& n : twice.notes) EXPECT_EQ(n.kind, ConversionKind::Kept) << show(n);
}

// Converts the case's input to its text and notes, the same each time, leaving
// the source as it was; the input is stable under `convert` and both conversions.
inline void expect_conversion(const Case& c, const Convert& convert) {
    const Document doc = parse(c.input);
    const Conversion conv = convert(doc);
    EXPECT_EQ(render(conv.document), c.output.empty() ? c.input : c.output);
    EXPECT_EQ(shown(conv.notes), c.notes);
    EXPECT_EQ(convert(doc).notes, conv.notes) << "a second conversion of the source differs";
    for (const Convert& any : {convert, Convert(to_version_7), Convert(to_version_5_5_1)}) expect_stable(doc, any);
    EXPECT_EQ(doc.to_text(), parse(c.input).to_text()) << "the source changed";
}

}  // namespace pellorine::convert
