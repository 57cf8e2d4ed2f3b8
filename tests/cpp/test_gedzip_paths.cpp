// Entry-name rules, the store-or-deflate choice and the per-entry bounds.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "gedzip.hpp"

namespace gz = pellorine::gedzip;

namespace {

TEST(EntryPath, RulesInOrder) {
    const std::string absolute = " is an absolute path", backslash = " uses a backslash, which a ZIP path may not",
                      control = "the archive contains a control character in a file path",
                      unsafe = " contains a character that is unsafe in a portable path",
                      component = " contains an unsafe path component",
                      windows = " contains a path component that is unsafe on Windows";
    std::string e2049;
    for (int i = 0; i < 2049; ++i) e2049 += "\xC3\xA9";   // 4098 bytes in 2049 characters
    // The name, and the message it fails with ("+" first: the name then the rest; empty: accepted).
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "the archive contains a file with no name"}, {std::string(4096, 'a'), ""},
        {std::string(4097, 'a'), "the archive contains a file with an unreasonably long path"},
        {e2049, "the archive contains a file with an unreasonably long path"},
        {"a\xFF", "a file in the archive has a name that is not valid UTF-8"},
        {"/a", "+" + absolute}, {"\\\\server\\x", "+" + absolute}, {"/", "+" + absolute},
        {"a\\b", "+" + backslash}, {"C:\\x", "+" + backslash},
        {"a\tb*", control}, {"*a\tb", control}, {"a\x7F", control}, {"a\xC2\x80", control}, {"a\xC2\x9F", control},
        {"a\xC2\xA0", ""}, {"a\"b", "+" + unsafe}, {"C:x", "+" + unsafe}, {"a|b", "+" + unsafe},
        {"a/", ""}, {"a//", "+" + component}, {"a//b", "+" + component}, {"./a", "+" + component},
        {"a/../b", "+" + component}, {"...", "+" + windows}, {"a.", "+" + windows}, {"b ", "+" + windows},
        {"dir /x", "+" + windows}, {"con", "+" + windows}, {"Con.txt", "+" + windows}, {"aux/x.ged", "+" + windows},
        {"lpt9.log", "+" + windows}, {"CONIN$", "+" + windows}, {"conout$.x", "+" + windows},
        {"console.txt", ""}, {"COM10", ""}, {"com0", ""}, {"nul_x", ""}, {"\xC3\xA7on", ""}, {" a", ""},
    };
    for (const auto& [name, want] : cases) {
        const auto r = gz::validate_entry_path(name);
        const std::string message = want.starts_with('+') ? name + want.substr(1) : want;
        EXPECT_EQ(r ? "" : r.error().message, message) << name;
        EXPECT_TRUE(r || (r.error().kind == pellorine::ErrorKind::Archive && r.error().line == 0));
    }
}

TEST(ShouldDeflate, ByNameEnding) {
    for (const char* name : {"tree.GED", "notes/readme.md", "data.JSON", "a.txt", "b.Xml", "c.csv", "d.svg", ".md"})
        EXPECT_TRUE(gz::should_deflate(name)) << name;
    for (const char* name : {"photo.jpg", "tree.ged.bak", "md", "", "x.gedx", "dir/"})
        EXPECT_FALSE(gz::should_deflate(name)) << name;
}

TEST(CheckEntryBounds, SizeThenRatio) {
    const std::string ratio = "x claims a compression ratio over the 1000-fold limit";
    const std::tuple<std::uint64_t, std::uint64_t, std::string> cases[] = {
        {0, 0, ""}, {0, 12345, ""}, {1000, 1, ""}, {1001, 1, ratio}, {1, 0, ratio},
        {1073741824, 1073742, ""}, {1073741824, 1073741, ratio},
        {1073741825, 1, "x expands to 1073741825 bytes and the per-file limit is 1073741824"},
    };
    for (const auto& [uncompressed, compressed, want] : cases) {
        const auto r = gz::check_entry_bounds("x", uncompressed, compressed, gz::default_archive_limits);
        EXPECT_EQ(r ? "" : r.error().message, want) << uncompressed << "/" << compressed;
    }
    // A product of compressed size and ratio past 64 bits lets any size through.
    gz::ArchiveLimits lim{100000, UINT64_MAX, UINT64_MAX, UINT64_MAX};
    EXPECT_TRUE(gz::check_entry_bounds("x", UINT64_MAX, 2, lim));
    lim.max_ratio = 2;
    EXPECT_FALSE(gz::check_entry_bounds("x", UINT64_MAX, 2, lim));
}

}  // namespace
