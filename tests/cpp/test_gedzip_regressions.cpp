// Archives the writers make must open and read back under the reader's
// default bounds, however well their entries compress.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
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

TEST(WriterRatio, StreamedEntryPastTheRatioBoundReadsBack) {
    char tmpl[] = "/tmp/gedzip-regressions-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::filesystem::path dir = tmpl;
    const std::string source = (dir / "zeros").string(), out = (dir / "out.zip").string();
    std::ofstream(source, std::ios::binary) << kZeros;
    {
        gz::ArchiveWriter<gz::FileSink> w(*gz::FileSink::create(out), gz::default_archive_limits);
        ASSERT_TRUE(w.add_streamed_reserving("zeros.txt", gz::FileSource(::open(source.c_str(), O_RDONLY)),
                                             kZeros.size(), std::nullopt));
        ASSERT_TRUE(w.add("after.txt", "the entry after"));
        auto sink = std::move(w).finish();
        ASSERT_TRUE(sink && sink->close());
    }
    std::ifstream in(out, std::ios::binary);
    const std::string archive{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::filesystem::remove_all(dir);
    expect_reads_back(archive, "zeros.txt", kZeros);
    expect_reads_back(archive, "after.txt", "the entry after");
    // The stored body overwrote the deflated one whole: the bytes are add()'s.
    gz::ArchiveWriter<gz::MemorySink> m(gz::MemorySink{}, gz::default_archive_limits);
    ASSERT_TRUE(m.add("zeros.txt", kZeros) && m.add("after.txt", "the entry after"));
    EXPECT_EQ(archive, std::move(m).finish()->bytes());
}

}  // namespace
