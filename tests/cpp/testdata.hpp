// The published test files (see ../shared/testdata/README.md), found through
// the environment variable PELLORINE_TESTDATA; by default ../shared/testdata
// beside the project, and a relative setting is taken from the project root.
// Without them a test skips with one line naming the folder, unless
// PELLORINE_REQUIRE_TESTDATA=1 (CI sets it) makes their absence a failure.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace pellorine::testdata {

inline std::filesystem::path folder() {
    const char* setting = std::getenv("PELLORINE_TESTDATA");
    std::filesystem::path p = setting && *setting ? setting : "../shared/testdata";
    return p.is_absolute() ? p : std::filesystem::path(PELLORINE_SOURCE_DIR) / p;
}

inline bool required() {
    const char* setting = std::getenv("PELLORINE_REQUIRE_TESTDATA");
    return setting && std::string(setting) == "1";
}

inline std::string missing() {
    return "published test files not found at " + folder().string() + " (set PELLORINE_TESTDATA)";
}

}  // namespace pellorine::testdata

// Skips the calling test (or fails it, when required) without the published files.
#define PELLORINE_NEED_TESTDATA()                                                         \
    do {                                                                                  \
        if (!std::filesystem::is_directory(::pellorine::testdata::folder())) {            \
            if (::pellorine::testdata::required()) FAIL() << ::pellorine::testdata::missing(); \
            GTEST_SKIP() << ::pellorine::testdata::missing();                             \
        }                                                                                 \
    } while (0)
