// Archives the writers make must open and read back under the reader's
// default bounds, however well their entries compress.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "gedzip.hpp"

namespace gz = pellorine::gedzip;

namespace {

// Deflates past the reader's 1000-fold ratio bound (DEFLATE reaches about 1030).
const std::string kZeros(4 * 1024 * 1024, '\0');

void expect_reads_back(const std::string& archive, const std::string& name, const std::string& data) {
    auto opened = gz::Archive::open(archive);
    ASSERT_TRUE(opened) << opened.error().message;
    auto read = opened->read(name);
    ASSERT_TRUE(read) << read.error().message;
    EXPECT_EQ(*read, data);
}

TEST(WriterRatio, AddedEntryPastTheRatioBoundReadsBack) {
    gz::ArchiveWriter<gz::MemorySink> w(gz::MemorySink{}, gz::default_archive_limits);
    ASSERT_TRUE(w.add("zeros.txt", kZeros));
    auto sink = std::move(w).finish();
    ASSERT_TRUE(sink);
    expect_reads_back(sink->bytes(), "zeros.txt", kZeros);
}

TEST(WriterRatio, OneShotEntryPastTheRatioBoundReadsBack) {
    const std::vector<std::pair<std::string, std::string>> entries = {{"zeros.txt", kZeros}};
    auto archive = gz::write_archive(entries);
    ASSERT_TRUE(archive);
    expect_reads_back(*archive, "zeros.txt", kZeros);
}

}  // namespace
