// The archive reader over published GEDZIP files, over archives from the
// writers (round trips), and over randomly damaged archives (no crash).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "gedzip.hpp"
#include "gedzip_reader.hpp"

namespace {

using pellorine::Archive;
namespace gz = pellorine::gedzip;

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Published {
    const char* path;
    std::size_t entries;
    std::uint64_t total;
};

TEST(ArchivePublished, OpenFindDocumentAndExtractEverything) {
    const std::vector<Published> files = {
        {"gedcom70/minimal70.gdz", 1, 39},
        {"gedcom70/gedcom71/minimal71.gdz", 1, 39},
        {"gedcom70/maximal70.gdz", 9, 15793 + 79000 + 210 + 625 + 35 + 28},
        {"gedcom70/maximal70/maximal70.gdz", 9, 15906 + 79000 + 210 + 625 + 35 + 28},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.path);
        const std::string bytes = slurp(std::string(PELLORINE_TESTDATA) + "/" + f.path);
        ASSERT_FALSE(bytes.empty());
        EXPECT_TRUE(Archive::looks_like_archive(bytes));
        auto a = Archive::open(bytes);
        ASSERT_TRUE(a) << a.error().message;
        EXPECT_EQ(a->entries().size(), f.entries);
        EXPECT_EQ(a->total_size(), f.total);
        auto doc = a->document_name();
        ASSERT_TRUE(doc) << doc.error().message;
        EXPECT_EQ(*doc, "gedcom.ged");
        auto ged = a->read(*doc);
        ASSERT_TRUE(ged) << ged.error().message;
        // A byte-order mark, then the header record, CRLF line ends.
        EXPECT_EQ(ged->substr(0, 11), "\xEF\xBB\xBF" "0 HEAD\r\n");
        EXPECT_EQ(ged->substr(ged->size() - 8), "0 TRLR\r\n");
        for (const auto& e : a->entries()) {
            SCOPED_TRACE(std::string(e.name));
            auto got = a->read_entry(e);
            if (e.is_dir) {
                EXPECT_EQ(got.error().message, std::string(e.name) + " is a directory, not a file");
                continue;
            }
            ASSERT_TRUE(got) << got.error().message;
            EXPECT_EQ(got->size(), e.uncompressed_size);
        }
    }
    // The media entry with a UTF-8 name (and a data descriptor flag) reads back.
    const std::string bytes = slurp(std::string(PELLORINE_TESTDATA) + "/gedcom70/maximal70.gdz");
    auto a = Archive::open(bytes);
    ASSERT_TRUE(a);
    auto jpg = a->read("media/CharlotteBront\xC3\xAB.jpg");
    ASSERT_TRUE(jpg) << jpg.error().message;
    EXPECT_EQ(jpg->size(), 79000u);
    EXPECT_EQ(jpg->substr(0, 3), "\xFF\xD8\xFF");
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs sample_entries() {
    std::string ged = "0 HEAD\n1 GEDC\n2 VERS 7.0\n";
    for (int i = 0; i < 500; ++i) ged += "0 @I" + std::to_string(i) + "@ INDI\n1 NAME Ann /Lee/\n";
    ged += "0 TRLR\n";
    std::string noise;
    std::mt19937 rng(7);
    for (int i = 0; i < 5000; ++i) noise += char(rng());
    return {
        {"gedcom.ged", ged},            // deflated
        {"media/", ""},                 // directory
        {"media/photo.jpg", noise},     // stored by its ending
        {"notes/readme.md", noise},     // incompressible: stored despite its ending
        {"empty.txt", ""},
        {"caf\xC3\xA9/na\xC3\xAFve.txt", "caf\xC3\xA9"},
    };
}

void expect_round_trip(const std::string& bytes, const Pairs& entries) {
    auto a = Archive::open(bytes);
    ASSERT_TRUE(a) << a.error().message;
    ASSERT_EQ(a->entries().size(), entries.size());
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto& e = a->entries()[i];
        SCOPED_TRACE(entries[i].first);
        EXPECT_EQ(e.name, entries[i].first);
        total += entries[i].second.size();
        if (e.is_dir) continue;
        auto got = a->read_entry(e);
        ASSERT_TRUE(got) << got.error().message;
        EXPECT_EQ(*got, entries[i].second);
    }
    EXPECT_EQ(a->total_size(), total);
    EXPECT_EQ(*a->document_name(), "gedcom.ged");
}

TEST(ArchiveRoundTrip, WriterToReader) {
    const Pairs entries = sample_entries();
    gz::ArchiveWriter<gz::MemorySink> w(gz::MemorySink{}, gz::default_archive_limits);
    for (const auto& [name, data] : entries) ASSERT_TRUE(w.add(name, data));
    auto sink = std::move(w).finish();
    ASSERT_TRUE(sink) << sink.error().message;
    const std::string bytes = sink->take();
    expect_round_trip(bytes, entries);
    auto a = Archive::open(bytes);
    EXPECT_EQ(a->entries()[0].method, 8);
    EXPECT_EQ(a->entries()[2].method, 0);
    EXPECT_EQ(a->entries()[3].method, 0);
    EXPECT_TRUE(a->entries()[1].is_dir);
}

TEST(ArchiveRoundTrip, OneShotWriterToReader) {
    const Pairs entries = sample_entries();
    auto bytes = gz::write_archive(entries);
    ASSERT_TRUE(bytes) << bytes.error().message;
    expect_round_trip(*bytes, entries);
    auto empty = gz::write_archive({});
    ASSERT_TRUE(empty);
    auto a = Archive::open(*empty);
    ASSERT_TRUE(a);
    EXPECT_TRUE(a->entries().empty());
}

TEST(ArchiveRoundTrip, Zip64EndRecordsFromTheWriter) {
    // 65535 entries make the writer add the Zip64 end record and locator.
    gz::ArchiveWriter<gz::MemorySink> w(gz::MemorySink{}, gz::default_archive_limits);
    for (int i = 0; i < 65535; ++i) {
        std::string name = "e";
        name += std::to_string(i);
        name += ".txt";
        ASSERT_TRUE(w.add(name, std::to_string(i)));
    }
    ASSERT_TRUE(w.add("gedcom.ged", "0 HEAD\n0 TRLR\n"));
    auto sink = std::move(w).finish();
    ASSERT_TRUE(sink);
    const std::string bytes = sink->take();
    auto a = Archive::open(bytes);
    ASSERT_TRUE(a) << a.error().message;
    ASSERT_EQ(a->entries().size(), 65536u);
    EXPECT_EQ(*a->read("e65534.txt"), "65534");
    EXPECT_EQ(*a->read(*a->document_name()), "0 HEAD\n0 TRLR\n");
}

TEST(ArchiveRoundTrip, StreamedEntriesFromTheFileWriter) {
    // Entries streamed with their local headers patched afterwards, some
    // reserving Zip64 sizes, between entries added whole: every record sits
    // in its own room, so the archive opens and reads back.
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("pellorine-reader-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const Pairs entries = sample_entries();
    auto source_of = [&, n = 0](const std::string& data) mutable {
        const fs::path p = dir / ("src" + std::to_string(++n));
        std::ofstream(p, std::ios::binary) << data;
        return gz::FileSource(::open(p.c_str(), O_RDONLY));
    };
    const std::string path = (dir / "streamed.gdz").string();
    {
        auto sink = gz::FileSink::create(path);
        ASSERT_TRUE(sink);
        gz::ArchiveWriter<gz::FileSink> w(std::move(*sink), gz::default_archive_limits);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const auto& [name, data] = entries[i];
            SCOPED_TRACE(name);
            if (name.back() == '/') {
                ASSERT_TRUE(w.add(name, data));
                continue;
            }
            const std::optional<std::uint64_t> reserve =
                i % 2 == 0 ? std::optional<std::uint64_t>(0xFFFFFFFFull) : std::nullopt;
            ASSERT_TRUE(w.add_streamed_reserving(name, source_of(data), data.size(), reserve));
        }
        auto done = std::move(w).finish();
        ASSERT_TRUE(done) << done.error().message;
        ASSERT_TRUE(done->close());
    }
    const std::string bytes = slurp(path);
    fs::remove_all(dir);
    expect_round_trip(bytes, entries);
}

TEST(ArchiveFuzz, DamagedArchivesNeverCrash) {
    const Pairs entries = sample_entries();
    gz::ArchiveWriter<gz::MemorySink> w(gz::MemorySink{}, gz::default_archive_limits);
    for (const auto& [name, data] : entries) ASSERT_TRUE(w.add(name, data));
    const std::string valid = std::move(w).finish()->take();
    // Offsets where the records' fields are: mutations there reach the checks.
    std::vector<std::size_t> hot;
    for (std::size_t i = 0; i + 4 <= valid.size(); ++i)
        if (valid[i] == 'P' && valid[i + 1] == 'K')
            for (std::size_t k = 0; k < 60 && i + k < valid.size(); ++k) hot.push_back(i + k);

    std::mt19937_64 rng(20240611);
    std::size_t opened = 0;
    for (int iter = 0; iter < 10000; ++iter) {
        std::string b = valid;
        const int mutations = 1 + int(rng() % 4);
        for (int m = 0; m < mutations; ++m) {
            const std::size_t pos = (rng() % 3 != 0) ? hot[rng() % hot.size()] : rng() % b.size();
            if (pos >= b.size()) continue;
            switch (rng() % 6) {
                case 0: b[pos] = char(rng()); break;
                case 1: b[pos] = char(b[pos] ^ (1 << (rng() % 8))); break;
                case 2: b[pos] = char(0xFF); break;
                case 3: b.resize(pos); break;
                case 4: b.insert(pos, std::string(1 + rng() % 8, char(rng()))); break;
                default:
                    if (pos + 4 <= b.size()) b.replace(pos, 4, std::string(4, char(0xFF)));
            }
            if (b.empty()) b = "PK";
        }
        auto a = Archive::open(b);
        if (!a) continue;
        ++opened;
        (void)a->total_size();
        (void)a->document_name();
        for (const auto& e : a->entries()) (void)a->read_entry(e);
    }
    EXPECT_GT(opened, 0u);
}

}  // namespace
