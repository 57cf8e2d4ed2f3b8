// Expected conversion notes and small document helpers, shared by the conversion tests.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "convert.hpp"
#include "document.hpp"

namespace pellorine::convert {

struct ExpectedNote {
    std::string tag;
    ConversionKind kind;
    std::string detail;
};

// Checks the notes whole, each carrying `record`.
inline void expect_notes(const std::vector<ConversionNote>& notes, const std::vector<ExpectedNote>& expected,
                         const std::optional<std::string>& record) {
    std::vector<std::tuple<std::string, std::string_view, std::string, std::optional<std::string>>> got, want;
    for (const ConversionNote& n : notes) got.emplace_back(n.tag, kind_name(n.kind), n.detail, n.record);
    for (const ExpectedNote& e : expected) want.emplace_back(e.tag, kind_name(e.kind), e.detail, record);
    EXPECT_EQ(got, want);
}

// Names a parameterized case by its `name`.
inline const auto case_name = [](const auto& info) { return std::string(info.param.name); };

// A document parsed from `text`, failing the test when it does not parse.
inline Document parse(std::string_view text) {
    auto doc = Document::parse(text);
    EXPECT_TRUE(doc) << doc.error().display();
    return doc ? std::move(*doc) : Document{};
}

// A record, or the records, as text from level 0.
inline std::string render(const Node& record) {
    std::string out;
    record.render_into(0, out);
    return out;
}
inline std::string render(const std::vector<Node>& records) {
    std::string out;
    for (const Node& r : records) out += render(r);
    return out;
}

}  // namespace pellorine::convert
