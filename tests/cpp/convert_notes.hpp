// Expected conversion notes and small document helpers, shared by the conversion tests.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "convert.hpp"
#include "document.hpp"

namespace pellorine::convert {

struct ExpectedNote {
    std::string tag;
    ConversionKind kind;
    std::string detail;
};

// Checks the notes one by one, each carrying `record`.
inline void expect_notes(const std::vector<ConversionNote>& notes, const std::vector<ExpectedNote>& expected,
                         const std::optional<std::string>& record) {
    ASSERT_EQ(notes.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(notes[i].tag, expected[i].tag) << i;
        EXPECT_EQ(notes[i].kind, expected[i].kind) << i;
        EXPECT_EQ(notes[i].detail, expected[i].detail) << i;
        EXPECT_EQ(notes[i].record, record) << i;
    }
}

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
