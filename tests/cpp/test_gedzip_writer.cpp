// The archive writer over memory and over a file: byte layouts, the
// store-or-deflate choice, refusals, Zip64 thresholds, poisoning.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "gedzip.hpp"

namespace gz = pellorine::gedzip;
using MemWriter = gz::ArchiveWriter<gz::MemorySink>;

namespace {

std::string unhex(std::string_view h) {
    std::string out;
    int hi = -1;
    for (char c : h) {
        int v;
        if (c >= '0' && c <= '9') v = c - '0';
        else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        else continue;
        if (hi < 0) hi = v;
        else out.push_back(static_cast<char>(hi * 16 + v)), hi = -1;
    }
    return out;
}

std::string hex(std::string_view s) {
    static const char* d = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) out += {d[c >> 4], d[c & 15], ' '};
    return out;
}

std::uint16_t u16(const std::string& s, std::size_t at) { return gz::load_u16(reinterpret_cast<const unsigned char*>(s.data() + at)); }
std::uint32_t u32(const std::string& s, std::size_t at) { return gz::load_u32(reinterpret_cast<const unsigned char*>(s.data() + at)); }
std::uint64_t u64(const std::string& s, std::size_t at) { return gz::load_u64(reinterpret_cast<const unsigned char*>(s.data() + at)); }

std::string inflate_raw(std::string_view in, std::size_t expected) {
    std::string out(expected + 1, '\0');
    z_stream zs{};
    inflateInit2(&zs, -15);
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    zs.avail_in = static_cast<uInt>(in.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&zs, Z_FINISH);
    EXPECT_EQ(rc, Z_STREAM_END);
    out.resize(zs.total_out);
    inflateEnd(&zs);
    return out;
}

std::string random_bytes(std::size_t n, unsigned seed = 7) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
}

std::string gedcom_text(std::size_t lines) {
    std::string s = "0 HEAD\n1 CHAR UTF-8\n";
    for (std::size_t i = 0; i < lines; ++i) s += "0 @I" + std::to_string(i) + "@ INDI\n1 NAME John /Smith/\n";
    return s + "0 TRLR\n";
}

std::string finish(MemWriter&& w) {
    auto r = std::move(w).finish();
    EXPECT_TRUE(r.has_value());
    return r ? r->take() : std::string();
}

// One parsed entry of an archive the writer made (central record, with the
// local header it points to); enough to check layouts without the reader.
struct Seen {
    std::string name;
    std::uint16_t method;
    std::uint32_t crc;
    std::uint64_t compressed, uncompressed, offset;
    std::uint32_t attributes;
    std::string stored;
};

std::vector<Seen> walk(const std::string& a) {
    std::vector<Seen> out;
    const std::size_t end = a.size() - 22;
    EXPECT_EQ(u32(a, end), gz::end_record_signature);
    std::size_t q = u32(a, end + 16);
    const std::size_t count = u16(a, end + 10);
    for (std::size_t i = 0; i < count; ++i) {
        EXPECT_EQ(u32(a, q), gz::central_record_signature);
        Seen s;
        s.method = u16(a, q + 10);
        s.crc = u32(a, q + 16);
        s.compressed = u32(a, q + 20);
        s.uncompressed = u32(a, q + 24);
        const std::size_t nlen = u16(a, q + 28), xlen = u16(a, q + 30);
        s.attributes = u32(a, q + 38);
        s.offset = u32(a, q + 42);
        s.name = a.substr(q + 46, nlen);
        const std::size_t l = s.offset;
        EXPECT_EQ(u32(a, l), gz::local_header_signature);
        EXPECT_EQ(u16(a, l + 8), s.method);
        EXPECT_EQ(u32(a, l + 14), s.crc);
        EXPECT_EQ(u32(a, l + 18), s.compressed);
        EXPECT_EQ(u32(a, l + 22), s.uncompressed);
        EXPECT_EQ(a.substr(l + 30, u16(a, l + 26)), s.name);
        s.stored = a.substr(l + 30 + u16(a, l + 26) + u16(a, l + 28), s.compressed);
        out.push_back(s);
        q += 46 + nlen + xlen;
    }
    return out;
}

// ---------------------------------------------------------------------------
// Exact bytes

TEST(WriterBytes, SmallArchiveExactly) {
    MemWriter w(gz::MemorySink{}, {});
    ASSERT_TRUE(w.add("a.jpg", "abc"));
    ASSERT_TRUE(w.add("d/", ""));
    const std::string expected = unhex(
        // local header a.jpg: version 20, flags 0800, stored, time 0, date 0021, crc, sizes 3/3, name 5, extra 0
        "504b0304 1400 0008 0000 0000 2100 c2412435 03000000 03000000 0500 0000" "612e6a7067" "616263"
        // local header d/: empty, crc 0
        "504b0304 1400 0008 0000 0000 2100 00000000 00000000 00000000 0200 0000" "642f"
        // central a.jpg at offset 0
        "504b0102 1400 1400 0008 0000 0000 2100 c2412435 03000000 03000000 0500 0000 0000 0000 0000 00000000 00000000"
        "612e6a7067"
        // central d/ at offset 38, directory attribute
        "504b0102 1400 1400 0008 0000 0000 2100 00000000 00000000 00000000 0200 0000 0000 0000 0000 10000000 26000000"
        "642f"
        // end record: 2 entries, central size 51+48=99, offset 38+32=70
        "504b0506 0000 0000 0200 0200 63000000 46000000 0000");
    const std::string got = finish(std::move(w));
    EXPECT_EQ(hex(got), hex(expected));
}

TEST(WriterBytes, EmptyArchiveIsTheEndRecordAlone) {
    const std::string expected = unhex("504b0506 0000 0000 0000 0000 00000000 00000000 0000");
    EXPECT_EQ(finish(MemWriter(gz::MemorySink{}, {})), expected);
    auto one_shot = gz::write_archive({});
    ASSERT_TRUE(one_shot);
    EXPECT_EQ(*one_shot, expected);
}

TEST(WriterBytes, Zip64Helpers) {
    struct Case {
        std::uint64_t uncompressed, compressed;
        bool zip64;
    };
    const Case cases[] = {{0, 0, false},
                          {0xFFFFFFFE, 0xFFFFFFFE, false},
                          {0xFFFFFFFF, 5, true},
                          {5, 0xFFFFFFFF, true},
                          {0x123456789AULL, 0x100000000ULL, true}};
    for (const auto& c : cases) {
        const gz::LocalSizes s = gz::local_zip64_sizes(c.uncompressed, c.compressed);
        if (c.zip64) {
            EXPECT_EQ(s.compressed, 0xFFFFFFFFu);
            EXPECT_EQ(s.uncompressed, 0xFFFFFFFFu);
            std::string x;
            gz::put_u16(x, 1);
            gz::put_u16(x, 16);
            gz::put_u64(x, c.uncompressed);
            gz::put_u64(x, c.compressed);
            EXPECT_EQ(s.extra, x);
            const std::string h = gz::local_header_bytes("n", 8, 0xDEADBEEF, c.uncompressed, c.compressed);
            EXPECT_EQ(h.size(), 30u + 1 + 20);
            EXPECT_EQ(u16(h, 4), 45);
            EXPECT_EQ(u16(h, 28), 20);
            EXPECT_EQ(h.substr(31), x);
        } else {
            EXPECT_EQ(s.compressed, c.compressed);
            EXPECT_EQ(s.uncompressed, c.uncompressed);
            EXPECT_TRUE(s.extra.empty());
            const std::string h = gz::local_header_bytes("n", 0, 0, c.uncompressed, c.compressed);
            EXPECT_EQ(h.size(), 31u);
            EXPECT_EQ(u16(h, 4), 20);
        }
    }
}

TEST(WriterBytes, CentralRecordCarriesOnlyOverflowingValues) {
    struct Case {
        std::uint64_t uncompressed, compressed, offset;
        std::vector<std::uint64_t> wide;
    };
    const Case cases[] = {
        {1, 2, 3, {}},
        {0xFFFFFFFE, 0xFFFFFFFE, 0xFFFFFFFE, {}},
        {0xFFFFFFFF, 2, 3, {0xFFFFFFFF}},
        {1, 0x100000000ULL, 3, {0x100000000ULL}},
        {1, 2, 0x200000000ULL, {0x200000000ULL}},
        {0x300000000ULL, 2, 0x200000000ULL, {0x300000000ULL, 0x200000000ULL}},
        {0x300000000ULL, 0x100000000ULL, 0x200000000ULL, {0x300000000ULL, 0x100000000ULL, 0x200000000ULL}},
    };
    for (const auto& c : cases) {
        const std::string r = gz::central_record_bytes("ab", 8, 7, c.uncompressed, c.compressed, c.offset);
        const std::size_t xlen = c.wide.empty() ? 0 : 4 + 8 * c.wide.size();
        ASSERT_EQ(r.size(), 46u + 2 + xlen);
        EXPECT_EQ(u16(r, 4), c.wide.empty() ? 20 : 45);
        EXPECT_EQ(u16(r, 6), c.wide.empty() ? 20 : 45);
        EXPECT_EQ(u32(r, 20), c.compressed >= 0xFFFFFFFF ? 0xFFFFFFFFu : c.compressed);
        EXPECT_EQ(u32(r, 24), c.uncompressed >= 0xFFFFFFFF ? 0xFFFFFFFFu : c.uncompressed);
        EXPECT_EQ(u32(r, 42), c.offset >= 0xFFFFFFFF ? 0xFFFFFFFFu : c.offset);
        EXPECT_EQ(u16(r, 30), xlen);
        if (!c.wide.empty()) {
            EXPECT_EQ(u16(r, 48), 1);
            EXPECT_EQ(u16(r, 50), 8 * c.wide.size());
            for (std::size_t i = 0; i < c.wide.size(); ++i) EXPECT_EQ(u64(r, 52 + 8 * i), c.wide[i]);
        }
    }
    EXPECT_TRUE(gz::zip64_extra(std::vector<std::optional<std::uint64_t>>{std::nullopt, std::nullopt}).empty());
}

TEST(WriterBytes, Zip64EndRecordsLayout) {
    const std::string r = gz::zip64_end_record_bytes(70000, 0x123, 0x1122334455ULL);
    EXPECT_EQ(hex(r), hex(unhex("504b0606 2c00000000000000 2d00 2d00 00000000 00000000 7011010000000000 "
                                "7011010000000000 2301000000000000 5544332211000000")));
    EXPECT_EQ(hex(gz::zip64_locator_bytes(0x1234)), hex(unhex("504b0607 00000000 3412000000000000 01000000")));
    EXPECT_EQ(hex(gz::end_record_bytes(70000, 0x1FFFFFFFFULL, 0x100000000ULL)),
              hex(unhex("504b0506 0000 0000 ffff ffff ffffffff ffffffff 0000")));
}

// ---------------------------------------------------------------------------
// Store or deflate

TEST(WriterEntries, MethodChoice) {
    const std::string text = gedcom_text(2000);
    const std::string noise = random_bytes(5000);
    struct Case {
        std::string name, data;
        std::uint16_t method;
        std::uint32_t attributes;
    };
    const Case cases[] = {
        {"notes.txt", "", 0, 0},          {"tree.ged", text, 8, 0},     {"noise.txt", noise, 0, 0},
        {"photo.jpg", text, 0, 0},        {"dir/", "", 0, 0x10},        {"x", "y", 0, 0},
        {"one.ged", "a", 0, 0},           {"Data.JSON", text, 8, 0},
    };
    MemWriter w(gz::MemorySink{}, {});
    for (const auto& c : cases) ASSERT_TRUE(w.add(c.name, c.data)) << c.name;
    const std::string a = finish(std::move(w));
    const auto seen = walk(a);
    ASSERT_EQ(seen.size(), std::size(cases));
    for (std::size_t i = 0; i < seen.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        EXPECT_EQ(seen[i].name, c.name);
        EXPECT_EQ(seen[i].method, c.method);
        EXPECT_EQ(seen[i].attributes, c.attributes);
        EXPECT_EQ(seen[i].uncompressed, c.data.size());
        EXPECT_EQ(seen[i].crc, static_cast<std::uint32_t>(::crc32(0, reinterpret_cast<const Bytef*>(c.data.data()),
                                                                   static_cast<uInt>(c.data.size()))));
        if (c.method == 8) {
            EXPECT_LT(seen[i].compressed, c.data.size());
            EXPECT_EQ(inflate_raw(seen[i].stored, c.data.size()), c.data);
        } else {
            EXPECT_EQ(seen[i].stored, c.data);
        }
    }
}

TEST(WriterEntries, OneShotWriterMatchesIncrementalWriter) {
    const std::vector<std::pair<std::string, std::string>> entries = {
        {"gedcom.ged", gedcom_text(500)}, {"media/", ""}, {"media/p.jpg", random_bytes(3000)}, {"a.md", "# x\n"}};
    MemWriter w(gz::MemorySink{}, {});
    for (const auto& [n, d] : entries) ASSERT_TRUE(w.add(n, d));
    auto one = gz::write_archive(entries);
    ASSERT_TRUE(one);
    EXPECT_EQ(*one, finish(std::move(w)));
}

TEST(WriterEntries, SourceReadToItsEnd) {
    const std::string text = gedcom_text(100);
    gz::MemorySource src(text);
    MemWriter w(gz::MemorySink{}, {});
    ASSERT_TRUE(w.add("tree.ged", src));
    MemWriter v(gz::MemorySink{}, {});
    ASSERT_TRUE(v.add("tree.ged", text));
    EXPECT_EQ(finish(std::move(w)), finish(std::move(v)));
}

// ---------------------------------------------------------------------------
// Refusals leave the writer as it was

TEST(WriterRefusals, DuplicatesAndPathRules) {
    MemWriter w(gz::MemorySink{}, {});
    ASSERT_TRUE(w.add("tree.ged", "0 HEAD\n"));
    ASSERT_TRUE(w.add("media/", ""));
    const std::uint64_t offset = w.offset();
    const std::pair<std::string, std::string> cases[] = {
        {"Tree.GED", "the archive contains the same path more than once (Tree.GED)"},
        {"media", "the archive contains the same path more than once (media)"},
        {"MEDIA//", "MEDIA// contains an unsafe path component"},
        {"../x", "../x contains an unsafe path component"},
        {"/etc/passwd", "/etc/passwd is an absolute path"},
        {"C:\\x", "C:\\x uses a backslash, which a ZIP path may not"},
        {"", "the archive contains a file with no name"},
    };
    for (const auto& [name, message] : cases) {
        auto r = w.add(name, "x");
        ASSERT_FALSE(r) << name;
        EXPECT_EQ(r.error().message, message);
        EXPECT_EQ(r.error().kind, pellorine::ErrorKind::Archive);
    }
    EXPECT_EQ(w.offset(), offset);
    EXPECT_EQ(w.entry_count(), 2u);
    EXPECT_FALSE(w.poisoned());
    ASSERT_TRUE(w.add("media/a.jpg", "x"));
}

TEST(WriterRefusals, EntrySizeLimit) {
    gz::ArchiveLimits lim;
    lim.max_entry_size = 10;
    MemWriter w(gz::MemorySink{}, lim);
    EXPECT_TRUE(w.add("a.txt", std::string(10, 'a')));
    auto r = w.add("b.txt", std::string(11, 'b'));
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().message, "b.txt is larger than the 10 byte per-entry limit");
    const std::string eleven(11, 'c'), ten(10, 'c');
    gz::MemorySource src11(eleven), src10(ten);
    r = w.add("c.txt", src11);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().message, "c.txt is larger than the 10 byte per-entry limit");
    EXPECT_TRUE(w.add("c.txt", src10));   // the same name can be tried again
    lim.max_entry_size = 0;
    MemWriter z(gz::MemorySink{}, lim);
    EXPECT_TRUE(z.add("empty", ""));
    EXPECT_FALSE(z.add("one", "1"));
}

TEST(WriterRefusals, FullArchiveUnderSmallLimit) {
    gz::ArchiveLimits lim;
    lim.max_entries = 3;
    MemWriter w(gz::MemorySink{}, lim);
    for (const char* n : {"a", "b", "c"}) ASSERT_TRUE(w.add(n, n));
    auto r = w.add("d", "d");
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().message, "the archive already holds 3 files and the limit is 3");
    r = w.add("B", "b");   // a duplicate is reported before a full archive
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().message, "the archive contains the same path more than once (B)");
    EXPECT_EQ(walk(finish(std::move(w))).size(), 3u);
}

TEST(WriterRefusals, FullArchiveUnderDefaultLimit) {
    MemWriter w(gz::MemorySink{}, {});
    for (int i = 0; i < 100000; ++i) ASSERT_TRUE(w.add(std::to_string(i), ""));
    auto r = w.add("next", "");
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().message, "the archive already holds 100000 files and the limit is 100000");
    const std::string a = finish(std::move(w));
    // 100000 entries need the Zip64 end record: its count is exact, the classic one capped.
    const std::size_t end = a.size() - 22;
    EXPECT_EQ(u16(a, end + 10), 0xFFFF);
    EXPECT_EQ(u32(a, end - 20), gz::zip64_locator_signature);
    EXPECT_EQ(u64(a, u64(a, end - 12) + 32), 100000u);
}

TEST(WriterZip64, EndRecordsFromEntryCount) {
    for (const int n : {65534, 65535}) {
        SCOPED_TRACE(n);
        MemWriter w(gz::MemorySink{}, {});
        for (int i = 0; i < n; ++i) ASSERT_TRUE(w.add(std::to_string(i), ""));
        const std::string a = finish(std::move(w));
        const std::size_t end = a.size() - 22;
        ASSERT_EQ(u32(a, end), gz::end_record_signature);
        const std::uint64_t central_size = u32(a, end + 12);
        const std::uint64_t central_offset = u32(a, end + 16);
        EXPECT_EQ(u16(a, end + 8), std::min(n, 0xFFFF));
        EXPECT_EQ(u16(a, end + 10), std::min(n, 0xFFFF));
        if (n < 65535) {
            EXPECT_EQ(central_offset + central_size, end);
            continue;
        }
        const std::size_t locator = end - 20;
        ASSERT_EQ(u32(a, locator), gz::zip64_locator_signature);
        EXPECT_EQ(u32(a, locator + 4), 0u);
        EXPECT_EQ(u32(a, locator + 16), 1u);
        const std::size_t z = u64(a, locator + 8);
        EXPECT_EQ(z, locator - 56);
        EXPECT_EQ(u32(a, z), gz::zip64_end_record_signature);
        EXPECT_EQ(u64(a, z + 4), 44u);
        EXPECT_EQ(u64(a, z + 24), 65535u);
        EXPECT_EQ(u64(a, z + 32), 65535u);
        EXPECT_EQ(u64(a, z + 40), central_size);
        EXPECT_EQ(u64(a, z + 48), central_offset);
        EXPECT_EQ(central_offset + central_size, z);
    }
}

TEST(WriteArchive, Refusals) {
    const std::vector<std::pair<std::string, std::string>> dup = {{"a.ged", "x"}, {"A.GED", "y"}};
    auto r = gz::write_archive(dup);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().message, "the archive contains the same path more than once (A.GED)");
    const std::vector<std::pair<std::string, std::string>> bad = {{"ok", ""}, {"a/./b", ""}};
    r = gz::write_archive(bad);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().message, "a/./b contains an unsafe path component");
    std::vector<std::pair<std::string, std::string>> many;
    for (int i = 0; i < 65535; ++i) many.emplace_back(std::to_string(i), "");
    r = gz::write_archive(many);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().message, "the archive holds more files than this writer can address");
    many.pop_back();
    EXPECT_TRUE(gz::write_archive(many));
}

// ---------------------------------------------------------------------------
// The file sink, its failures and streamed entries

class TempDir : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/gedzip-writer-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string path(const std::string& n) const { return (dir / n).string(); }
    std::string write_file(const std::string& n, const std::string& data) const {
        const std::string p = path(n);
        FILE* f = std::fopen(p.c_str(), "wb");
        std::fwrite(data.data(), 1, data.size(), f);
        std::fclose(f);
        return p;
    }
    static std::string slurp(const std::string& p) {
        std::string s;
        FILE* f = std::fopen(p.c_str(), "rb");
        char buf[65536];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
        std::fclose(f);
        return s;
    }
    static gz::FileSource source(const std::string& p) { return gz::FileSource(::open(p.c_str(), O_RDONLY)); }
    // A source that ends after `n` bytes whatever was declared.
    gz::FileSource source_of(const std::string& data) { return source(write_file("src" + std::to_string(++made), data)); }
    std::filesystem::path dir;
    int made = 0;
};

using FileWriter = gz::ArchiveWriter<gz::FileSink>;

FileWriter file_writer(const std::string& p, gz::ArchiveLimits lim = {}) {
    auto s = gz::FileSink::create(p);
    EXPECT_TRUE(s);
    return FileWriter(std::move(*s), lim);
}

TEST_F(TempDir, FileSinkWritesWhatMemoryWrites) {
    const std::string text = gedcom_text(3000);   // well over the 8192-byte buffer
    FileWriter f = file_writer(path("a.zip"));
    MemWriter m(gz::MemorySink{}, {});
    ASSERT_TRUE(f.add("gedcom.ged", text));
    ASSERT_TRUE(f.add("x.bin", "xyz"));
    ASSERT_TRUE(m.add("gedcom.ged", text));
    ASSERT_TRUE(m.add("x.bin", "xyz"));
    auto sink = std::move(f).finish();
    ASSERT_TRUE(sink);
    ASSERT_TRUE(sink->close());
    EXPECT_EQ(slurp(path("a.zip")), finish(std::move(m)));
}

TEST_F(TempDir, StreamedEntryIsIndistinguishableFromAdd) {
    const std::string text = gedcom_text(20000);   // several 64 KiB chunks
    const std::string noise = random_bytes(200000);
    const std::pair<std::string, std::string> cases[] = {
        {"gedcom.ged", text}, {"media/photo.jpg", noise}, {"empty.txt", ""}, {"tiny.ged", "0 HEAD\n0 TRLR\n"}};
    FileWriter f = file_writer(path("s.zip"));
    MemWriter m(gz::MemorySink{}, {});
    for (const auto& [name, data] : cases) {
        if (name == "tiny.ged") continue;   // `add` stores it (deflate is not smaller), streaming deflates
        ASSERT_TRUE(f.add_streamed_reserving(name, source_of(data), data.size(), std::nullopt)) << name;
        ASSERT_TRUE(m.add(name, data));
    }
    auto sink = std::move(f).finish();
    ASSERT_TRUE(sink);
    ASSERT_TRUE(sink->close());
    EXPECT_EQ(slurp(path("s.zip")), finish(std::move(m)));
}

TEST_F(TempDir, StreamedSmallTextIsDeflatedEvenWhenLarger) {
    FileWriter f = file_writer(path("t.zip"));
    ASSERT_TRUE(f.add_streamed_reserving("tiny.ged", source_of("ab"), 2, std::nullopt));
    auto sink = std::move(f).finish();
    ASSERT_TRUE(sink && sink->close());
    const auto seen = walk(slurp(path("t.zip")));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].method, 8);
    EXPECT_EQ(seen[0].uncompressed, 2u);
    EXPECT_EQ(seen[0].compressed, seen[0].stored.size());
    EXPECT_EQ(inflate_raw(seen[0].stored, 2), "ab");
}

TEST_F(TempDir, StreamedSizeMismatchesPoison) {
    struct Case {
        std::string name, data;
        std::uint64_t declared;
        std::string error;
    };
    const Case cases[] = {
        {"e.jpg", "x", 0, "e.jpg yielded more than the 0 bytes declared for it"},
        {"a.jpg", "abcd", 3, "a.jpg yielded more than the 3 bytes declared for it"},
        {"b.jpg", "abc", 4, "b.jpg ended after 3 of the 4 bytes declared for it"},
        {"c.ged", gedcom_text(5000), gedcom_text(5000).size() + 1,
         "c.ged ended after " + std::to_string(gedcom_text(5000).size()) + " of " + "the " +
             std::to_string(gedcom_text(5000).size() + 1) + " bytes declared for it"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FileWriter f = file_writer(path("p.zip"));
        auto r = f.add_streamed_reserving(c.name, source_of(c.data), c.declared, std::nullopt);
        ASSERT_FALSE(r);
        EXPECT_EQ(r.error().message, c.error);
        EXPECT_TRUE(f.poisoned());
        r = f.add("z", "z");
        ASSERT_FALSE(r);
        EXPECT_EQ(r.error().message,
                  "a previous write to this archive's sink failed, so the sink may hold a partial record; no further "
                  "entries can be added");
        auto fin = std::move(f).finish();
        ASSERT_FALSE(fin);
        EXPECT_EQ(fin.error().message,
                  "a previous write to this archive's sink failed, so the sink may hold a partial record; the archive "
                  "cannot be finished");
    }
}

TEST_F(TempDir, StreamedRefusalsBeforeWritingLeaveWriterUsable) {
    gz::ArchiveLimits lim;
    lim.max_entry_size = 5;
    FileWriter f = file_writer(path("r.zip"), lim);
    ASSERT_TRUE(f.add_streamed_reserving("five.jpg", source_of("12345"), 5, std::nullopt));
    const std::uint64_t offset = f.offset();
    auto r = f.add_streamed_reserving("six.jpg", source_of("123456"), 6, std::nullopt);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().message, "six.jpg is larger than the 5 byte per-entry limit");
    r = f.add_streamed_reserving("FIVE.JPG", source_of("1"), 1, std::nullopt);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().message, "the archive contains the same path more than once (FIVE.JPG)");
    r = f.add_streamed_reserving("a/../b", source_of("1"), 1, std::nullopt);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().message, "a/../b contains an unsafe path component");
    EXPECT_FALSE(f.poisoned());
    EXPECT_EQ(f.offset(), offset);
    ASSERT_TRUE(f.add_streamed_reserving("six.jpg", source_of("12345"), 5, std::nullopt));
    auto sink = std::move(f).finish();
    ASSERT_TRUE(sink && sink->close());
    EXPECT_EQ(walk(slurp(path("r.zip"))).size(), 2u);
}

TEST_F(TempDir, ReservationOfZip64SizeMakesZip64Header) {
    const std::string data = gedcom_text(300);
    for (const std::uint16_t expect_method : {0, 8}) {
        const std::string name = expect_method == 8 ? "big.ged" : "big.bin";
        FileWriter f = file_writer(path("z.zip"));
        ASSERT_TRUE(f.add_streamed_reserving(name, source_of(data), data.size(), 0xFFFFFFFFULL));
        auto sink = std::move(f).finish();
        ASSERT_TRUE(sink && sink->close());
        const std::string a = slurp(path("z.zip"));
        EXPECT_EQ(u16(a, 4), 45);
        EXPECT_EQ(u16(a, 8), expect_method);
        EXPECT_EQ(u32(a, 14), gz::crc32(data));
        EXPECT_EQ(u32(a, 18), 0xFFFFFFFFu);
        EXPECT_EQ(u32(a, 22), 0xFFFFFFFFu);
        EXPECT_EQ(u16(a, 28), 20);
        const std::size_t x = 30 + name.size();
        EXPECT_EQ(u16(a, x), 1);
        EXPECT_EQ(u16(a, x + 2), 16);
        EXPECT_EQ(u64(a, x + 4), data.size());
        const std::uint64_t compressed = u64(a, x + 12);
        // The central record has no need of Zip64 and carries the plain sizes.
        const std::size_t end = a.size() - 22;
        const std::size_t c = u32(a, end + 16);
        EXPECT_EQ(u16(a, c + 4), 20);
        EXPECT_EQ(u32(a, c + 16), gz::crc32(data));
        EXPECT_EQ(u32(a, c + 20), compressed);
        EXPECT_EQ(u32(a, c + 24), data.size());
        EXPECT_EQ(c, x + 20 + compressed);
        if (expect_method == 8) {
            EXPECT_EQ(inflate_raw(a.substr(x + 20, compressed), data.size()), data);
        } else {
            EXPECT_EQ(compressed, data.size());
        }
    }
}

// Without a reservation a deflated entry reserves declared + declared/8 + 1024;
// the header carries Zip64 room exactly when that reaches 0xFFFFFFFF. The
// source ends at once, so only the provisional header is written.
TEST_F(TempDir, ProvisionalHeaderZip64Threshold) {
    std::uint64_t first = 0;   // smallest declared size whose reservation needs 64 bits
    for (std::uint64_t d = 3817747000; d < 3817749000; ++d) {
        if (d + d / 8 + 1024 >= 0xFFFFFFFFULL) {
            first = d;
            break;
        }
    }
    ASSERT_NE(first, 0u);
    gz::ArchiveLimits lim;
    lim.max_entry_size = UINT64_MAX;
    struct Case {
        std::string name;
        std::uint64_t declared;
        bool zip64;
    };
    const Case cases[] = {{"a.ged", first - 1, false}, {"a.ged", first, true}, {"a.jpg", first, false},
                          {"a.jpg", 0xFFFFFFFEULL, false}, {"a.jpg", 0xFFFFFFFFULL, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name + " " + std::to_string(c.declared));
        {
            FileWriter f = file_writer(path("h.zip"), lim);
            auto r = f.add_streamed_reserving(c.name, source_of(""), c.declared, std::nullopt);
            ASSERT_FALSE(r);
            EXPECT_EQ(r.error().message, c.name + " ended after 0 of the " + std::to_string(c.declared) +
                                             " bytes declared for it");
        }   // dropping the writer writes out what it buffered
        const std::string a = slurp(path("h.zip"));
        ASSERT_GE(a.size(), 30u + c.name.size());
        EXPECT_EQ(u16(a, 4), c.zip64 ? 45 : 20);
        EXPECT_EQ(u16(a, 28), c.zip64 ? 20 : 0);
        if (c.zip64) {
            EXPECT_EQ(u64(a, 30 + c.name.size() + 4), c.declared);
        } else {
            EXPECT_EQ(u32(a, 22), c.declared);
        }
    }
}

TEST_F(TempDir, EmptyStreamedEntry) {
    FileWriter f = file_writer(path("e.zip"));
    ASSERT_TRUE(f.add_streamed_reserving("empty.ged", source_of(""), 0, std::nullopt));
    auto sink = std::move(f).finish();
    ASSERT_TRUE(sink && sink->close());
    const auto seen = walk(slurp(path("e.zip")));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].method, 0);
    EXPECT_EQ(seen[0].crc, 0u);
    EXPECT_EQ(seen[0].compressed, 0u);
    EXPECT_EQ(seen[0].uncompressed, 0u);
}

TEST_F(TempDir, AppendingSinkIsFoundOutOfPlace) {
    const std::string p = path("app.zip");
    write_file("app.zip", "");
    FileWriter f(gz::FileSink(::open(p.c_str(), O_WRONLY | O_APPEND)), {});
    auto r = f.add_streamed_reserving("a.jpg", source_of("abc"), 3, std::nullopt);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().message, "the archive could not be written: " + gz::not_in_place().text);
    EXPECT_TRUE(f.poisoned());
}

TEST_F(TempDir, UnseekableSinkCannotReportItsPosition) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    FileWriter f(gz::FileSink(fds[1]), {});
    auto r = f.add_streamed_reserving("a.jpg", source_of("abc"), 3, std::nullopt);
    ::close(fds[0]);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().message, "the archive's position could not be read: " + gz::os_error_text(ESPIPE));
    EXPECT_TRUE(f.poisoned());
}

TEST_F(TempDir, UnreadableSourcePoisons) {
    const std::string p = write_file("wo", "abc");
    FileWriter f = file_writer(path("u.zip"));
    auto r = f.add_streamed_reserving("a.jpg", gz::FileSource(::open(p.c_str(), O_WRONLY)), 3, std::nullopt);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().message, "a.jpg could not be read: " + gz::os_error_text(EBADF));
    EXPECT_TRUE(f.poisoned());
}

TEST_F(TempDir, UnreadableSourceOfAddLeavesWriterUnchanged) {
    const std::string p = write_file("wo2", "abc");
    MemWriter w(gz::MemorySink{}, {});
    gz::FileSource src(::open(p.c_str(), O_WRONLY));
    auto r = w.add("a.txt", src);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().message, "a.txt could not be read: " + gz::os_error_text(EBADF));
    EXPECT_FALSE(w.poisoned());
    EXPECT_EQ(w.offset(), 0u);
    gz::FileSource again = source(p);
    ASSERT_TRUE(w.add("a.txt", again));
    EXPECT_EQ(walk(finish(std::move(w)))[0].stored, "abc");
}

TEST(FullDevice, FailedWritePoisonsTheWriter) {
    const int fd = ::open("/dev/full", O_WRONLY);
    if (fd < 0) GTEST_SKIP() << "no /dev/full";
    FileWriter f{gz::FileSink(fd), {}};
    auto r = f.add("big.bin", random_bytes(20000));   // more than the buffer: reaches the device
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().message, "the archive could not be written: " + gz::os_error_text(ENOSPC));
    EXPECT_TRUE(f.poisoned());
    EXPECT_EQ(f.entry_count(), 0u);
    r = f.add("small", "x");
    ASSERT_FALSE(r);
    EXPECT_NE(r.error().message.find("no further entries can be added"), std::string::npos);
    auto fin = std::move(f).finish();
    ASSERT_FALSE(fin);
    EXPECT_NE(fin.error().message.find("the archive cannot be finished"), std::string::npos);
}

TEST(FullDevice, BufferedEntriesFailAtTheFinalFlush) {
    const int fd = ::open("/dev/full", O_WRONLY);
    if (fd < 0) GTEST_SKIP() << "no /dev/full";
    FileWriter f{gz::FileSink(fd), {}};
    ASSERT_TRUE(f.add("small.txt", "hello"));   // still in the 8192-byte buffer
    auto fin = std::move(f).finish();
    ASSERT_FALSE(fin);
    EXPECT_EQ(fin.error().message, "the archive could not be flushed: " + gz::os_error_text(ENOSPC));
}

TEST(CountingWriter, CountsAcceptedBytes) {
    gz::CountingWriter<gz::MemorySink> w{gz::MemorySink{}, 0};
    ASSERT_TRUE(w.write_all("abc"));
    ASSERT_TRUE(w.write_all(""));
    ASSERT_TRUE(w.write_all(std::string(10000, 'x')));
    EXPECT_EQ(w.count, 10003u);
    w.count = UINT64_MAX - 1;
    ASSERT_TRUE(w.write_all("abc"));
    EXPECT_EQ(w.count, UINT64_MAX);   // saturates rather than wraps
}

}  // namespace
