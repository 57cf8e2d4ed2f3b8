// The archive reader over the published GEDZIP files, and over randomly
// damaged archives from the writer (never a crash, an over-read or a hang).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "gedzip.hpp"
#include "gedzip_reader.hpp"
#include "testdata.hpp"

namespace {

using pellorine::Archive;
namespace gz = pellorine::gedzip;

std::string slurp(const std::string& path) {
    std::ifstream in(pellorine::testdata::folder() / path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(ArchivePublished, OpenFindDocumentAndExtractEverything) {
    PELLORINE_NEED_TESTDATA();
    const std::pair<const char*, std::uint64_t> files[] = {
        {"gedcom70/minimal70.gdz", 39},
        {"gedcom70/gedcom71/minimal71.gdz", 39},
        {"gedcom70/maximal70.gdz", 15793 + 79000 + 210 + 625 + 35 + 28},
        {"gedcom70/maximal70/maximal70.gdz", 15906 + 79000 + 210 + 625 + 35 + 28},
    };
    for (const auto& [path, total] : files) {
        SCOPED_TRACE(path);
        const std::string bytes = slurp(path);
        EXPECT_TRUE(Archive::looks_like_archive(bytes));
        auto a = Archive::open(bytes);
        ASSERT_TRUE(a) << a.error().message;
        EXPECT_EQ(a->total_size(), total);
        auto doc = a->document_name();
        ASSERT_TRUE(doc) << doc.error().message;
        EXPECT_EQ(*doc, "gedcom.ged");
        // A byte-order mark, then the header record; the trailer last.
        const std::string ged = *a->read(*doc);
        EXPECT_TRUE(ged.starts_with("\xEF\xBB\xBF" "0 HEAD\r\n") && ged.ends_with("0 TRLR\r\n"));
        for (const auto& e : a->entries()) {
            auto got = a->read_entry(e);
            EXPECT_EQ(got ? got->size() : 0, e.is_dir ? 0 : e.uncompressed_size) << e.name;
        }
    }
    // The media entry with a UTF-8 name (and a data-descriptor flag) reads back.
    const std::string bytes = slurp("gedcom70/maximal70.gdz");
    EXPECT_TRUE(Archive::open(bytes)->read("media/CharlotteBront\xC3\xAB.jpg")->starts_with("\xFF\xD8\xFF"));
}

TEST(ArchiveFuzz, DamagedArchivesNeverCrash) {
    std::mt19937_64 rng(20240611);
    std::string noise;
    for (int i = 0; i < 3000; ++i) noise += char(rng());
    gz::ArchiveWriter<gz::MemorySink> w(gz::MemorySink{}, gz::default_archive_limits);
    for (const char* name : {"gedcom.ged", "media/", "media/a.jpg", "notes/b.md"}) {
        const std::string n(name);
        ASSERT_TRUE(w.add(name, n.ends_with("/") ? "" : n.ends_with(".jpg") ? noise : "0 HEAD\n" + std::string(4000, 'x')));
    }
    const std::string valid = std::move(w).finish()->take();
    ASSERT_TRUE(Archive::open(valid));
    // Mutations mostly near the records' signatures, where their fields are.
    std::vector<std::size_t> hot;
    for (std::size_t i = 0; i + 1 < valid.size(); ++i)
        if (valid[i] == 'P' && valid[i + 1] == 'K')
            for (std::size_t k = 0; k < 60 && i + k < valid.size(); ++k) hot.push_back(i + k);
    std::size_t opened = 0;
    for (int iter = 0; iter < 10000; ++iter) {
        std::string b = valid;
        for (int m = 0, n = 1 + int(rng() % 4); m < n && !b.empty(); ++m) {
            const std::size_t pos = (rng() % 3 != 0) ? hot[rng() % hot.size()] % b.size() : rng() % b.size();
            switch (rng() % 5) {
                case 0: b[pos] = char(rng()); break;
                case 1: b[pos] = char(b[pos] ^ (1 << (rng() % 8))); break;
                case 2: b.resize(pos); break;
                case 3: b.insert(pos, std::string(1 + rng() % 8, char(rng()))); break;
                default: b.replace(pos, 4, std::string(4, char(0xFF)));
            }
        }
        auto a = Archive::open(b);
        if (!a) continue;
        ++opened;
        (void)a->document_name();
        for (const auto& e : a->entries()) (void)a->read_entry(e);
    }
    EXPECT_GT(opened, 0u);
}

}  // namespace
