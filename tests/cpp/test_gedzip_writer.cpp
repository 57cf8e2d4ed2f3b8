// The entry-name rules and bounds, and the archive writer over memory and over a
// file: byte layouts, refusals, Zip64 thresholds, streamed entries, poisoning.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "gedzip.hpp"
#include "gedzip_testing.hpp"
#include "gedzip_zip.hpp"

namespace gz = pellorine::gedzip;
using MemWriter = gz::ArchiveWriter<gz::MemorySink>;
using FileWriter = gz::ArchiveWriter<gz::FileSink>;
using Pairs = std::vector<std::pair<std::string, std::string>>;

namespace {

std::string unhex(std::string_view h) {
    std::string out;
    for (std::size_t i = 0; i < h.size(); ++i)
        if (h[i] != ' ') out += char(std::stoi(std::string(h.substr(i++, 2)), nullptr, 16));
    return out;
}
std::uint16_t u16(const std::string& s, std::size_t i) { return gz::Cursor(s, i).take<std::uint16_t>(); }
std::uint32_t u32(const std::string& s, std::size_t i) { return gz::Cursor(s, i).take<std::uint32_t>(); }
std::uint64_t u64(const std::string& s, std::size_t i) { return gz::Cursor(s, i).take<std::uint64_t>(); }

std::string random_bytes(std::size_t n) {
    std::mt19937 rng(7);
    std::string s(n, '\0');
    for (auto& c : s) c = char(rng());
    return s;
}
std::string gedcom_text(std::size_t records) {
    std::string s = "0 HEAD\n1 CHAR UTF-8\n";
    for (std::size_t i = 0; i < records; ++i) s += "0 @I" + std::to_string(i) + "@ INDI\n1 NAME John /Smith/\n";
    return s + "0 TRLR\n";
}
std::string finish(MemWriter&& w) {
    auto r = std::move(w).finish();
    EXPECT_TRUE(r) << r.error().message;
    return r ? r->take() : std::string();
}
const std::string kEmptyArchive = unhex("504b0506 0000 0000 0000 0000 00000000 00000000 0000");
const std::string kPoisonedAdd =
    "a previous write to this archive's sink failed, so the sink may hold a partial record; no further entries can be added";
const std::string kPoisonedFinish =
    "a previous write to this archive's sink failed, so the sink may hold a partial record; the archive cannot be finished";

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
        {"/a", "+" + absolute}, {"\\\\server\\x", "+" + absolute}, {"a\\b", "+" + backslash},
        {"a\tb*", control}, {"a\x7F", control}, {"a\xC2\x80", control}, {"a\xC2\x9F", control}, {"a\xC2\xA0", ""},
        {"a\"b", "+" + unsafe}, {"C:x", "+" + unsafe}, {"a/", ""}, {"a//", "+" + component}, {"./a", "+" + component},
        {"a/../b", "+" + component}, {"...", "+" + windows}, {"b ", "+" + windows}, {"dir /x", "+" + windows},
        {"con", "+" + windows}, {"Con.txt", "+" + windows}, {"lpt9.log", "+" + windows}, {"CONIN$", "+" + windows},
        {"conout$.x", "+" + windows}, {"COM10", ""}, {"com0", ""}, {" a", ""},
    };
    for (const auto& [name, want] : cases) {
        const auto r = gz::validate_entry_path(name);
        const std::string message = want.starts_with('+') ? name + want.substr(1) : want;
        EXPECT_EQ(why(r), message) << name;
        EXPECT_TRUE(r || (r.error().kind == pellorine::ErrorKind::Archive && r.error().line == 0));
    }
}

TEST(ShouldDeflate, ByNameEndingInAnyCase) {
    for (const char* name : {"tree.GED", ".md"}) EXPECT_TRUE(gz::should_deflate(name)) << name;
    for (const char* name : {"tree.ged.bak", "md"}) EXPECT_FALSE(gz::should_deflate(name)) << name;
}

TEST(CheckEntryBounds, SizeThenRatio) {
    const std::string ratio = "x claims a compression ratio over the 1000-fold limit";
    const std::tuple<std::uint64_t, std::uint64_t, std::string> cases[] = {
        {0, 0, ""}, {1000, 1, ""}, {1001, 1, ratio}, {1, 0, ratio}, {1073741824, 1073742, ""},
        {1073741825, 1, "x expands to 1073741825 bytes and the per-file limit is 1073741824"},
    };
    for (const auto& [uncompressed, compressed, want] : cases) {
        const auto r = gz::check_entry_bounds("x", uncompressed, compressed, gz::default_archive_limits);
        EXPECT_EQ(why(r), want) << uncompressed << "/" << compressed;
    }
    // A product of compressed size and ratio past 64 bits lets any size through.
    gz::ArchiveLimits lim{100000, UINT64_MAX, UINT64_MAX, UINT64_MAX};
    EXPECT_TRUE(gz::check_entry_bounds("x", UINT64_MAX, 2, lim));
    lim.max_ratio = 2;
    EXPECT_FALSE(gz::check_entry_bounds("x", UINT64_MAX, 2, lim));
}

TEST(WriterBytes, SmallArchiveExactly) {
    MemWriter w(gz::MemorySink{}, {});
    ASSERT_TRUE(w.add("a.jpg", "abc"));
    EXPECT_EQ(finish(std::move(w)), unhex(
        // local header a.jpg: version 20, flags 0800, stored, time 0, date 0021, CRC-32, sizes 3/3, name 5, extra 0
        "504b0304 1400 0008 0000 0000 2100 c2412435 03000000 03000000 0500 0000 612e6a7067 616263"
        // central record at offset 0 (a directory's attribute 0x10: test_archive.py reads it with zipfile)
        "504b0102 1400 1400 0008 0000 0000 2100 c2412435 03000000 03000000 0500 0000 0000 0000 0000 00000000 00000000"
        "612e6a7067"
        // end record: 1 entry, central directory of 51 bytes at 38
        "504b0506 0000 0000 0100 0100 33000000 26000000 0000"));
    EXPECT_EQ(finish(MemWriter(gz::MemorySink{}, {})), kEmptyArchive);
    EXPECT_EQ(*gz::write_archive({}), kEmptyArchive);
}

TEST(WriterBytes, Zip64Fields) {
    constexpr std::uint64_t F = 0xFFFFFFFF;
    // Local header: both size fields 0xFFFFFFFF and a 20-byte extra once either size reaches 0xFFFFFFFF.
    const std::pair<std::uint64_t, std::uint64_t> sizes[] = {{F - 1, F - 1}, {F, 5}, {5, F}};
    for (auto [usize, csize] : sizes) {
        const std::string h = gz::local_header_bytes("n", 8, 1, usize, csize, gz::local_needs_zip64(usize, csize));
        const bool wide = usize >= F || csize >= F;
        EXPECT_EQ(std::make_tuple(h.size(), u16(h, 4), u32(h, 18), u32(h, 22), u16(h, 28)),
                  wide ? std::make_tuple(51ul, 45, F, F, 20) : std::make_tuple(31ul, 20, csize, usize, 0));
        if (wide) {
            EXPECT_EQ(std::make_tuple(u32(h, 31), u64(h, 35), u64(h, 43)), std::make_tuple(0x00100001u, usize, csize));
        }
    }
    // Central record: only the values that overflowed, in the order uncompressed, compressed, offset.
    const std::tuple<std::uint64_t, std::uint64_t, std::uint64_t, std::string> central[] = {
        {F - 1, F - 1, F - 1, ""},
        {F, 2, 3, "0100 0800 ffffffff00000000"},
        {1, 1ull << 32, 2ull << 32, "0100 1000 0000000001000000 0000000002000000"},
        {3ull << 32, 1ull << 32, F, "0100 1800 0000000003000000 0000000001000000 ffffffff00000000"},
    };
    for (const auto& [usize, csize, offset, extra] : central) {
        const std::string r = gz::central_record_bytes("ab", 8, 7, usize, csize, offset);
        EXPECT_EQ(std::make_tuple(u16(r, 4), u16(r, 6), u32(r, 20), u32(r, 24), u16(r, 30), u32(r, 42), r.substr(46)),
                  std::make_tuple(extra.empty() ? 20 : 45, extra.empty() ? 20 : 45, std::min(csize, F), std::min(usize, F),
                                  unhex(extra).size(), std::min(offset, F), "ab" + unhex(extra)));
    }
    EXPECT_EQ(gz::zip64_end_record_bytes(70000, 0x123, 0x1122334455ULL),
              unhex("504b0606 2c00000000000000 2d00 2d00 00000000 00000000 7011010000000000 7011010000000000 "
                    "2301000000000000 5544332211000000"));
    EXPECT_EQ(gz::zip64_locator_bytes(0x1234), unhex("504b0607 00000000 3412000000000000 01000000"));
    EXPECT_EQ(gz::end_record_bytes(70000, 0x1FFFFFFFFULL, 0x100000000ULL),
              unhex("504b0506 0000 0000 ffff ffff ffffffff ffffffff 0000"));
}

TEST(WriterEntries, OneShotWriterAndSourcesMatchAdd) {
    // Deflated text, a directory, stored media, incompressible text stored despite its ending, an empty entry.
    const Pairs entries = {{"gedcom.ged", gedcom_text(500)}, {"media/", ""}, {"media/p.jpg", random_bytes(3000)},
                           {"a.md", random_bytes(3000)}, {"empty.txt", ""}};
    MemWriter w(gz::MemorySink{}, {}), v(gz::MemorySink{}, {});
    for (const auto& [name, data] : entries) {
        ASSERT_TRUE(w.add(name, data));
        gz::MemorySource source(data);
        ASSERT_TRUE(v.add(name, source));
    }
    const std::string bytes = finish(std::move(w));
    EXPECT_EQ(*gz::write_archive(entries), bytes);
    EXPECT_EQ(finish(std::move(v)), bytes);
    auto a = pellorine::Archive::open(bytes);
    ASSERT_TRUE(a) << a.error().message;
    std::string methods;
    for (const auto& e : a->entries()) methods += std::to_string(e.method);
    EXPECT_EQ(methods, "80000");
}

TEST(WriterRefusals, UnsafeAndRepeatedNames) {
    MemWriter w(gz::MemorySink{}, {});
    ASSERT_TRUE(w.add("tree.ged", "0 HEAD\n"));
    ASSERT_TRUE(w.add("media/", ""));
    const std::uint64_t offset = w.offset();
    const std::pair<std::string, std::string> cases[] = {
        {"Tree.GED", "the archive contains the same path more than once (Tree.GED)"},
        {"media", "the archive contains the same path more than once (media)"},
        {"../x", "../x contains an unsafe path component"},
        // The reader would not extract bytes stored under a directory entry.
        {"notes/", "notes/ is a directory, not a file"},
    };
    for (const auto& [name, message] : cases) EXPECT_EQ(why(w.add(name, "x")), message);
    EXPECT_EQ(std::make_tuple(w.offset(), w.entry_count(), w.poisoned()), std::make_tuple(offset, 2ul, false));
    EXPECT_EQ(why(gz::write_archive(Pairs{{"a.ged", "x"}, {"A.GED", "y"}})),
              "the archive contains the same path more than once (A.GED)");
    EXPECT_EQ(why(gz::write_archive(Pairs{{"ok", ""}, {"a/./b", ""}})), "a/./b contains an unsafe path component");
    EXPECT_EQ(why(gz::write_archive(Pairs{{"d/", "x"}})), "d/ is a directory, not a file");
    gz::MemorySource one("x");
    EXPECT_EQ(why(w.add("d/", one)), "d/ is a directory, not a file");
}

TEST(WriterRefusals, EntrySizeLimit) {
    MemWriter w(gz::MemorySink{}, gz::ArchiveLimits{100000, 10, 0, 0});
    EXPECT_TRUE(w.add("a.txt", std::string(10, 'a')));
    EXPECT_EQ(why(w.add("b.txt", std::string(11, 'b'))), "b.txt is larger than the 10 byte per-entry limit");
    const std::string eleven(11, 'c'), ten(10, 'c');
    gz::MemorySource src11(eleven), src10(ten);
    EXPECT_EQ(why(w.add("c.txt", src11)), "c.txt is larger than the 10 byte per-entry limit");
    EXPECT_TRUE(w.add("c.txt", src10));   // the same name can be tried again
    EXPECT_EQ(w.entry_count(), 2u);
}

TEST(WriterRefusals, FullArchiveUnderDefaultLimit) {
    MemWriter w(gz::MemorySink{}, {});
    for (int i = 0; i < 100000; ++i) ASSERT_TRUE(w.add(std::to_string(i), ""));
    EXPECT_EQ(why(w.add("next", "")), "the archive already holds 100000 files and the limit is 100000");
    // A repeated name on a full archive is reported as the repeat.
    EXPECT_EQ(why(w.add("7", "")), "the archive contains the same path more than once (7)");
    const std::string a = finish(std::move(w));
    EXPECT_EQ(pellorine::Archive::open(a)->entries().size(), 100000u);
}

TEST(WriterZip64, EndRecordsFromTheEntryCount) {
    for (const int n : {65534, 65535}) {
        SCOPED_TRACE(n);
        MemWriter w(gz::MemorySink{}, {});
        for (int i = 0; i < n; ++i) ASSERT_TRUE(w.add(std::to_string(i), ""));
        const std::string a = finish(std::move(w));
        const std::size_t end = a.size() - 22, central_size = u32(a, end + 12), central_offset = u32(a, end + 16);
        const std::size_t z = central_offset + central_size;
        EXPECT_EQ(u32(a, end + 8), 0x10001u * std::uint32_t(n));
        // At 65535 the Zip64 end record comes directly after the central directory, then its locator.
        const std::string zip64 = n < 65535 ? "" : gz::zip64_end_record_bytes(n, central_size, central_offset) +
                                                       gz::zip64_locator_bytes(z);
        EXPECT_EQ(a.substr(z), zip64 + gz::end_record_bytes(n, central_size, central_offset));
        EXPECT_EQ(pellorine::Archive::open(a)->entries().size(), std::size_t(n));
    }
    Pairs many;
    for (int i = 0; i < 65535; ++i) many.emplace_back(std::to_string(i), "");
    EXPECT_EQ(why(gz::write_archive(many)), "the archive holds more files than this writer can address");
    many.pop_back();
    EXPECT_TRUE(gz::write_archive(many));
}

class FileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/gedzip-writer-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string path(const std::string& n) const { return (dir / n).string(); }
    // A source file holding `data`.
    gz::FileSource source(const std::string& data) {
        const std::string p = path("src" + std::to_string(++made));
        std::ofstream(p, std::ios::binary) << data;
        return gz::FileSource(::open(p.c_str(), O_RDONLY));
    }
    FileWriter writer(gz::ArchiveLimits lim = {}) { return FileWriter(*gz::FileSink::create(path("out.zip")), lim); }
    std::string written() const {
        std::ifstream in(path("out.zip"), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    // Finishes and closes the writer and returns the file's bytes.
    std::string done(FileWriter&& w) {
        auto sink = std::move(w).finish();
        EXPECT_TRUE(sink && sink->close());
        return written();
    }
    std::filesystem::path dir;
    int made = 0;
};

TEST_F(FileTest, StreamedEntriesAreIndistinguishableFromAdd) {
    const Pairs entries = {{"gedcom.ged", gedcom_text(20000)}, {"media/photo.jpg", random_bytes(200000)},
                           {"empty.txt", ""}, {"small.bin", "xyz"}};
    FileWriter f = writer();
    MemWriter m(gz::MemorySink{}, {});
    for (const auto& [name, data] : entries) {
        // Several 64 KiB chunks, and bytes passing the 8192-byte file buffer.
        if (name == "small.bin") ASSERT_TRUE(f.add(name, data));
        else ASSERT_TRUE(f.add_streamed_reserving(name, source(data), data.size(), std::nullopt)) << name;
        ASSERT_TRUE(m.add(name, data));
    }
    EXPECT_EQ(done(std::move(f)), finish(std::move(m)));
}

TEST_F(FileTest, ReservationOfZip64SizeMakesZip64Header) {
    const std::string data = gedcom_text(300);
    for (const std::string name : {"big.ged", "big.bin"}) {
        FileWriter f = writer();
        ASSERT_TRUE(f.add_streamed_reserving(name, source(data), data.size(), 0xFFFFFFFFULL));
        const std::string a = done(std::move(f));
        // CRC-32 and 64-bit sizes patched; the 32-bit size fields keep 0xFFFFFFFF.
        const std::size_t x = 30 + name.size(), compressed = u64(a, x + 12);
        EXPECT_EQ(std::make_tuple(u16(a, 4), u32(a, 14), u32(a, 18), u32(a, 22), u16(a, 28), u32(a, x), u64(a, x + 4)),
                  std::make_tuple(45, gz::crc32(data), 0xFFFFFFFFu, 0xFFFFFFFFu, 20, 0x00100001u, data.size()));
        EXPECT_EQ(name == "big.bin", compressed == data.size());
        // The central record has no need of Zip64; the reader finds the entry whole.
        auto archive = pellorine::Archive::open(a);
        ASSERT_TRUE(archive) << archive.error().message;
        EXPECT_EQ(archive->entries()[0].compressed_size, compressed);
        EXPECT_EQ(*archive->read(name), data);
    }
}

// Without a reservation a deflated entry reserves declared + declared/8 + 1024;
// the header carries Zip64 room exactly when that reaches 0xFFFFFFFF. The
// source ends at once, so only the provisional header is written.
TEST_F(FileTest, ProvisionalHeaderZip64Threshold) {
    const std::uint64_t first = 3817747797;   // the smallest d with d + d/8 + 1024 >= 0xFFFFFFFF
    const std::tuple<std::string, std::uint64_t, bool> cases[] = {
        {"a.ged", first - 1, false}, {"a.ged", first, true}, {"a.jpg", 0xFFFFFFFE, false}, {"a.jpg", 0xFFFFFFFF, true}};
    for (const auto& [name, declared, zip64] : cases) {
        SCOPED_TRACE(name + " " + std::to_string(declared));
        {
            FileWriter f = writer(gz::ArchiveLimits{100000, UINT64_MAX, 0, 0});
            EXPECT_EQ(why(f.add_streamed_reserving(name, source(""), declared, std::nullopt)),
                      name + " ended after 0 of the " + std::to_string(declared) + " bytes declared for it");
        }   // dropping the writer writes out what it buffered
        const std::string a = written();
        ASSERT_GE(a.size(), 30u + name.size());
        EXPECT_EQ(std::make_tuple(u16(a, 4), u16(a, 28)), zip64 ? std::make_tuple(45, 20) : std::make_tuple(20, 0));
        EXPECT_EQ(zip64 ? u64(a, 30 + name.size() + 4) : u32(a, 22), declared);
    }
}

TEST_F(FileTest, StreamedSizeMismatchesPoison) {
    const std::string text = gedcom_text(5000);
    const std::tuple<std::string, std::string, std::uint64_t, std::string> cases[] = {
        {"e.jpg", "x", 0, "e.jpg yielded more than the 0 bytes declared for it"},
        {"c.ged", text, text.size() + 1,   // after the deflate stream was finished
         "c.ged ended after " + std::to_string(text.size()) + " of the " + std::to_string(text.size() + 1) +
             " bytes declared for it"},
    };
    for (const auto& [name, data, declared, error] : cases) {
        FileWriter f = writer();
        EXPECT_EQ(why(f.add_streamed_reserving(name, source(data), declared, std::nullopt)), error);
        EXPECT_EQ(why(f.add("z", "z")), kPoisonedAdd);
        EXPECT_EQ(why(std::move(f).finish()), kPoisonedFinish);
    }
}

TEST_F(FileTest, StreamedRefusalsBeforeWritingLeaveTheWriterUsable) {
    FileWriter f = writer(gz::ArchiveLimits{100000, 5, 0, 0});
    ASSERT_TRUE(f.add_streamed_reserving("five.jpg", source("12345"), 5, std::nullopt));
    const std::uint64_t offset = f.offset();
    EXPECT_EQ(why(f.add_streamed_reserving("six.jpg", source("123456"), 6, std::nullopt)),
              "six.jpg is larger than the 5 byte per-entry limit");
    EXPECT_EQ(why(f.add_streamed_reserving("media/", source("1"), 1, std::nullopt)),
              "media/ is a directory, not a file");
    EXPECT_EQ(std::make_pair(f.offset(), f.poisoned()), std::make_pair(offset, false));
    ASSERT_TRUE(f.add_streamed_reserving("six.jpg", source("12345"), 5, std::nullopt));
    const std::string bytes = done(std::move(f));
    EXPECT_EQ(pellorine::Archive::open(bytes)->entries().size(), 2u);
}

TEST_F(FileTest, SinkAndSourceFailures) {
    const std::string abc = path("abc");
    std::ofstream(abc) << "abc";
    {   // A file opened for appending: the first patch is found out of place.
        FileWriter f(gz::FileSink(::open(abc.c_str(), O_WRONLY | O_APPEND)), {});
        EXPECT_EQ(why(f.add_streamed_reserving("a.jpg", source("abc"), 3, std::nullopt)),
                  "the archive could not be written: the sink did not overwrite its bytes in place after a seek (a file "
                  "opened for appending cannot hold a streamed entry)");
        EXPECT_TRUE(f.poisoned());
    }
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    {   // A pipe cannot tell its position.
        FileWriter f(gz::FileSink(fds[1]), {});
        EXPECT_EQ(why(f.add_streamed_reserving("a.jpg", source("abc"), 3, std::nullopt)),
                  "the archive's position could not be read: " + gz::os_error_text(ESPIPE));
        EXPECT_TRUE(f.poisoned());
        ::close(fds[0]);
    }
    {   // A source that cannot be read poisons a streamed entry, but not one added whole.
        FileWriter f = writer();
        EXPECT_EQ(why(f.add_streamed_reserving("a.jpg", gz::FileSource(::open(abc.c_str(), O_WRONLY)), 3, std::nullopt)),
                  "a.jpg could not be read: " + gz::os_error_text(EBADF));
        EXPECT_TRUE(f.poisoned());
        MemWriter w(gz::MemorySink{}, {});
        gz::FileSource unreadable(::open(abc.c_str(), O_WRONLY));
        EXPECT_EQ(why(w.add("a.txt", unreadable)), "a.txt could not be read: " + gz::os_error_text(EBADF));
        EXPECT_EQ(std::make_pair(w.offset(), w.poisoned()), std::make_pair(std::uint64_t(0), false));
    }
}

TEST(FullDevice, FailedWritesPoisonOrFailTheFlush) {
    if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    FileWriter f{gz::FileSink(::open("/dev/full", O_WRONLY)), {}};
    // More than the buffer: reaches the device at once.
    EXPECT_EQ(why(f.add("big.bin", random_bytes(20000))),
              "the archive could not be written: " + gz::os_error_text(ENOSPC));
    EXPECT_EQ(f.entry_count(), 0u);
    EXPECT_EQ(why(f.add("small", "x")), kPoisonedAdd);
    EXPECT_EQ(why(std::move(f).finish()), kPoisonedFinish);
    FileWriter g{gz::FileSink(::open("/dev/full", O_WRONLY)), {}};
    ASSERT_TRUE(g.add("small.txt", "hello"));   // still in the 8192-byte buffer
    EXPECT_EQ(why(std::move(g).finish()), "the archive could not be flushed: " + gz::os_error_text(ENOSPC));
}

// Entries that deflate past the reader's 1000-fold ratio bound (DEFLATE reaches
// about 1030) are stored, so what the writers make reads back under its default bounds.
TEST_F(FileTest, EntriesPastTheRatioBoundReadBack) {
    const std::string zeros(4 * 1024 * 1024, '\0'), after = "the entry after";
    MemWriter m(gz::MemorySink{}, gz::default_archive_limits);
    ASSERT_TRUE(m.add("zeros.txt", zeros) && m.add("after.txt", after));
    const std::string added = finish(std::move(m));
    FileWriter f = writer(gz::default_archive_limits);
    ASSERT_TRUE(f.add_streamed_reserving("zeros.txt", source(zeros), zeros.size(), std::nullopt));
    ASSERT_TRUE(f.add("after.txt", after));
    const std::string streamed = done(std::move(f));
    for (const auto& [archive, name, data] : {std::tuple{added, "zeros.txt", zeros}, {streamed, "zeros.txt", zeros},
                                              {streamed, "after.txt", after},
                                              {*gz::write_archive(Pairs{{"zeros.txt", zeros}}), "zeros.txt", zeros}}) {
        auto opened = gz::Archive::open(archive);
        ASSERT_TRUE(opened) << opened.error().message;
        auto read = opened->read(name);
        EXPECT_TRUE(read && *read == data) << name << ": " << why(read);
    }
    // The stored body overwrote the deflated one whole: the bytes are add()'s.
    EXPECT_TRUE(streamed == added) << "the streamed archive differs from add()'s";
}

}  // namespace
