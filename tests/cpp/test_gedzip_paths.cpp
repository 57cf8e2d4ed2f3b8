// Entry-name rules, the dedupe key, the store-or-deflate choice and the
// per-entry bounds.
#include <gtest/gtest.h>

#include <string>

#include "gedzip.hpp"

namespace gz = pellorine::gedzip;
using pellorine::ErrorKind;

namespace {

struct PathCase {
    std::string name;
    std::string error;   // empty: accepted
};

std::ostream& operator<<(std::ostream& os, const PathCase& c) { return os << '"' << c.name << '"'; }

class EntryPath : public ::testing::TestWithParam<PathCase> {};

TEST_P(EntryPath, FollowsTheRules) {
    const PathCase& c = GetParam();
    const auto r = gz::validate_entry_path(c.name);
    if (c.error.empty()) {
        EXPECT_TRUE(r.has_value()) << r.error().message;
    } else {
        ASSERT_FALSE(r.has_value());
        EXPECT_EQ(r.error().message, c.error);
        EXPECT_EQ(r.error().kind, ErrorKind::Archive);
        EXPECT_EQ(r.error().line, 0u);
    }
}

const std::string absolute = " is an absolute path";
const std::string backslash = " uses a backslash, which a ZIP path may not";
const std::string control = "the archive contains a control character in a file path";
const std::string unsafe_char = " contains a character that is unsafe in a portable path";
const std::string component = " contains an unsafe path component";
const std::string windows = " contains a path component that is unsafe on Windows";

INSTANTIATE_TEST_SUITE_P(
    Rules, EntryPath,
    ::testing::Values(
        PathCase{"", "the archive contains a file with no name"},
        PathCase{std::string(4096, 'a'), ""},
        PathCase{std::string(4097, 'a'), "the archive contains a file with an unreasonably long path"},
        // 2049 two-byte characters: 4098 bytes, refused although 2049 characters.
        PathCase{[] { std::string s; for (int i = 0; i < 2049; ++i) s += "\xC3\xA9"; return s; }(),
                 "the archive contains a file with an unreasonably long path"},
        PathCase{"/a", "/a" + absolute},
        PathCase{"\\a", "\\a" + absolute},
        PathCase{"\\\\server\\x", "\\\\server\\x" + absolute},
        PathCase{"/", "/" + absolute},
        PathCase{"a\\b", "a\\b" + backslash},
        PathCase{"C:\\x", "C:\\x" + backslash},
        PathCase{"a\tb*", control},
        PathCase{"*a\tb", control},
        PathCase{"a\x7F", control},
        PathCase{"a\xC2\x80", control},     // U+0080
        PathCase{"a\xC2\x9F", control},     // U+009F
        PathCase{"a\xC2\xA0", ""},          // U+00A0 is not a control
        PathCase{"x\n", control},
        PathCase{"a\"b", "a\"b" + unsafe_char},
        PathCase{"a*", "a*" + unsafe_char},
        PathCase{"C:x", "C:x" + unsafe_char},
        PathCase{"a<b", "a<b" + unsafe_char},
        PathCase{"a>b", "a>b" + unsafe_char},
        PathCase{"a?", "a?" + unsafe_char},
        PathCase{"a|b", "a|b" + unsafe_char},
        PathCase{"a/", ""},
        PathCase{"a/b/", ""},
        PathCase{"a//", "a//" + component},
        PathCase{"a//b", "a//b" + component},
        PathCase{"./a", "./a" + component},
        PathCase{"a/../b", "a/../b" + component},
        PathCase{"a/..", "a/.." + component},
        PathCase{"..", ".." + component},
        PathCase{"...", "..." + windows},
        PathCase{"a.", "a." + windows},
        PathCase{"b ", "b " + windows},
        PathCase{"dir /x", "dir /x" + windows},
        PathCase{" a", ""},
        PathCase{"con", "con" + windows},
        PathCase{"Con.txt", "Con.txt" + windows},
        PathCase{"aux/x.ged", "aux/x.ged" + windows},
        PathCase{"x/nul", "x/nul" + windows},
        PathCase{"PRN.tar.gz", "PRN.tar.gz" + windows},
        PathCase{"lpt9.log", "lpt9.log" + windows},
        PathCase{"COM1", "COM1" + windows},
        PathCase{"CONIN$", "CONIN$" + windows},
        PathCase{"conout$.x", "conout$.x" + windows},
        PathCase{"console.txt", ""},
        PathCase{"COM10", ""},
        PathCase{"com0", ""},
        PathCase{"lpt0.txt", ""},
        PathCase{"nul_x", ""},
        PathCase{"conin", ""},
        PathCase{"\xC3\xA7on", ""},          // non-ASCII never matches a device name
        PathCase{".hidden", ""},
        PathCase{"gedcom.ged", ""},
        PathCase{"media/Photo 1.JPG", ""},
        PathCase{"a\xFF", "a file in the archive has a name that is not valid UTF-8"},
        PathCase{"a\xED\xA0\x80", "a file in the archive has a name that is not valid UTF-8"}));

TEST(DedupeKey, FoldsAsciiCaseAndTrailingSlashes) {
    const std::pair<std::string, std::string> cases[] = {
        {"Photos/A.JPG", "photos/a.jpg"},
        {"media/", "media"},
        {"media//", "media"},
        {"media", "media"},
        {"\xC3\x89T\xC3\x89.ged", "\xC3\x89t\xC3\x89.ged"},   // non-ASCII letters stay
        {"A/B/", "a/b"},
    };
    for (const auto& [name, key] : cases) EXPECT_EQ(gz::dedupe_key(name), key) << name;
}

TEST(ShouldDeflate, ByNameEnding) {
    const std::pair<std::string, bool> cases[] = {
        {"tree.GED", true},       {"notes/readme.md", true}, {"data.JSON", true},  {"a.txt", true},
        {"b.Xml", true},          {"c.csv", true},           {"d.svg", true},      {".md", true},
        {".ged", true},           {"photo.jpg", false},      {"tree.ged.bak", false}, {"md", false},
        {"", false},              {"x.gedx", false},         {"x.ge", false},      {"dir/", false},
    };
    for (const auto& [name, deflate] : cases) EXPECT_EQ(gz::should_deflate(name), deflate) << name;
}

TEST(CheckEntryBounds, SizeThenRatio) {
    const gz::ArchiveLimits lim;
    struct Case {
        std::uint64_t uncompressed, compressed;
        std::string error;
    };
    const Case cases[] = {
        {0, 0, ""},
        {0, 12345, ""},
        {1000, 1, ""},
        {1001, 1, "x claims a compression ratio over the 1000-fold limit"},
        {1, 0, "x claims a compression ratio over the 1000-fold limit"},
        {1073741824, 1073741824, ""},
        {1073741825, 1, "x expands to 1073741825 bytes and the per-file limit is 1073741824"},
        {1073741824, 1073741, "x claims a compression ratio over the 1000-fold limit"},
        {1073741824, 1073742, ""},
    };
    for (const auto& c : cases) {
        const auto r = gz::check_entry_bounds("x", c.uncompressed, c.compressed, lim);
        if (c.error.empty()) {
            EXPECT_TRUE(r.has_value()) << c.uncompressed << "/" << c.compressed;
        } else {
            ASSERT_FALSE(r.has_value()) << c.uncompressed << "/" << c.compressed;
            EXPECT_EQ(r.error().message, c.error);
        }
    }
}

TEST(CheckEntryBounds, RatioProductOverflowPasses) {
    gz::ArchiveLimits lim;
    lim.max_entry_size = UINT64_MAX;
    lim.max_ratio = UINT64_MAX;
    EXPECT_TRUE(gz::check_entry_bounds("x", UINT64_MAX, 2, lim).has_value());
    lim.max_ratio = 2;
    EXPECT_FALSE(gz::check_entry_bounds("x", UINT64_MAX, 2, lim).has_value());
}

TEST(ArchiveLimits, Defaults) {
    constexpr gz::ArchiveLimits d = gz::default_archive_limits;
    EXPECT_EQ(d.max_entries, 100000u);
    EXPECT_EQ(d.max_entry_size, 1073741824u);
    EXPECT_EQ(d.max_total_size, 4294967296u);
    EXPECT_EQ(d.max_ratio, 1000u);
}

}  // namespace
