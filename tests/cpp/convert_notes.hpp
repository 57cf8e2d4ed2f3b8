// Expected conversion notes, shared by the conversion tests.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "convert.hpp"

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

}  // namespace pellorine::convert
