// The entry-name rules and bounds, and the archive writer over memory and over a
// file: byte layouts, refusals, Zip64 thresholds, streamed entries, poisoning.
#include <fcntl.h>
#include <gtest/gtest.h>
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
// A poisoned writer refuses further entries and finishing.
void expect_poisoned(FileWriter&& f) {
    const std::string partial =
        "a previous write to this archive's sink failed, so the sink may hold a partial record; ";
    EXPECT_EQ(why(f.add("z", "z")), partial + "no further entries can be added");
    EXPECT_EQ(why(std::move(f).finish()), partial + "the archive cannot be finished");
}

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
        EXPECT_EQ(why(r), want.starts_with('+') ? name + want.substr(1) : want) << name;
        EXPECT_TRUE(r || (r.error().kind == pellorine::ErrorKind::Archive && r.error().line == 0));
    }
}

TEST(EntryRules, DeflateByNameEndingAndSizeThenRatio) {
    for (const auto& [name, deflate] :
         {std::pair{"tree.GED", true}, {".md", true}, {"tree.ged.bak", false}, {"md", false}})
        EXPECT_EQ(gz::should_deflate(name), deflate) << name;
    const std::string ratio = "x claims a compression ratio over the 1000-fold limit";
    // A product of compressed size and ratio past 64 bits lets any size through.
    const gz::ArchiveLimits wide{100000, UINT64_MAX, UINT64_MAX, UINT64_MAX}, two{100000, UINT64_MAX, UINT64_MAX, 2};
    const std::tuple<std::uint64_t, std::uint64_t, gz::ArchiveLimits, std::string> cases[] = {
        {0, 0, {}, ""}, {1000, 1, {}, ""}, {1001, 1, {}, ratio}, {1, 0, {}, ratio}, {1073741824, 1073742, {}, ""},
        {1073741825, 1, {}, "x expands to 1073741825 bytes and the per-file limit is 1073741824"},
        {UINT64_MAX, 2, wide, ""}, {UINT64_MAX, 2, two, "x claims a compression ratio over the 2-fold limit"},
    };
    for (const auto& [uncompressed, compressed, limits, want] : cases)
        EXPECT_EQ(why(gz::check_entry_bounds("x", uncompressed, compressed, limits)), want) << uncompressed;
}

TEST(WriterBytes, SmallArchiveExactly) {
    MemWriter w(gz::MemorySink{}, {});
    ASSERT_TRUE(w.add("a.jpg", "abc"));
    EXPECT_EQ(finish(std::move(w)), unhex(
        // local header a.jpg: version 20, flags 0800, stored, time 0, date 0021, CRC-32, sizes 3/3, name 5, extra 0
        "504b0304 1400 0008 0000 0000 2100 c2412435 03000000 03000000 0500 0000 612e6a7067 616263"
        // central record at offset 0
        "504b0102 1400 1400 0008 0000 0000 2100 c2412435 03000000 03000000 0500 0000 0000 0000 0000 00000000 00000000"
        "612e6a7067"
        // end record: 1 entry, central directory of 51 bytes at 38
        "504b0506 0000 0000 0100 0100 33000000 26000000 0000"));
    const std::string empty = unhex("504b0506 0000 0000 0000 0000 00000000 00000000 0000");
    EXPECT_EQ(finish(MemWriter(gz::MemorySink{}, {})), empty);
    EXPECT_EQ(*gz::write_archive({}), empty);
}

// Sizes and offsets no test can write: the local header takes both sizes into
// its Zip64 field once either reaches 0xFFFFFFFF; the central record only the
// values that overflowed, in the order uncompressed, compressed, offset.
TEST(WriterBytes, RecordFields) {
    constexpr std::uint64_t F = 0xFFFFFFFF;
    EXPECT_EQ(gz::local_header_bytes("n", 8, 1, F, 5, gz::local_needs_zip64(F, 5)),
              unhex("504b0304 2d00 0008 0800 0000 2100 01000000 ffffffff ffffffff 0100 1400 6e "
                    "0100 1000 ffffffff00000000 0500000000000000"));
    EXPECT_EQ(gz::central_record_bytes("ab", 8, 7, F, 2, 3),
              unhex("504b0102 2d00 2d00 0008 0800 0000 2100 07000000 02000000 ffffffff 0200 0c00 0000 0000 0000 "
                    "00000000 03000000 6162 0100 0800 ffffffff00000000"));
    EXPECT_EQ(gz::central_record_bytes("ab", 8, 7, 3ull << 32, 1ull << 32, F),
              unhex("504b0102 2d00 2d00 0008 0800 0000 2100 07000000 ffffffff ffffffff 0200 1c00 0000 0000 0000 "
                    "00000000 ffffffff 6162 0100 1800 0000000003000000 0000000001000000 ffffffff00000000"));
    EXPECT_EQ(gz::end_record_bytes(70000, 0x1FFFFFFFFULL, 0x100000000ULL),
              unhex("504b0506 0000 0000 ffff ffff ffffffff ffffffff 0000"));
    EXPECT_EQ(u32(gz::central_record_bytes("d/", 0, 0, 0, 0, 0), 38), 0x10u);   // a directory's attribute
}

// Each refusal, of bytes and of a source alike, leaves the writer as it was.
TEST(WriterRefusals, NamesSizesAndCount) {
    MemWriter w(gz::MemorySink{}, gz::ArchiveLimits{3, 10, 0, 0});
    ASSERT_TRUE(w.add("tree.ged", "0123456789"));   // exactly the per-entry limit
    ASSERT_TRUE(w.add("media/", ""));
    const std::uint64_t offset = w.offset();
    const std::string eleven = "0123456789a";
    const std::pair<std::string, std::string> cases[] = {
        {"Tree.GED", "the archive contains the same path more than once (Tree.GED)"},
        {"media", "the archive contains the same path more than once (media)"},
        {"../x", "../x contains an unsafe path component"},
        // The reader would not extract bytes stored under a directory entry.
        {"notes/", "notes/ is a directory, not a file"},
        {"c.txt", "c.txt is larger than the 10 byte per-entry limit"},
    };
    for (const auto& [name, message] : cases) {
        const std::string data = name == "c.txt" ? eleven : "x";
        gz::MemorySource source(data);
        EXPECT_EQ(why(w.add(name, data)), message);
        EXPECT_EQ(why(w.add(name, source)), message);
        // The one-shot writer has no size limit.
        const Pairs entries = {{"tree.ged", ""}, {"media/", ""}, {name, data}};
        EXPECT_EQ(why(gz::write_archive(entries)), name == "c.txt" ? "" : message);
    }
    gz::FileSource unreadable(::open("/dev/null", O_WRONLY));
    EXPECT_EQ(why(w.add("a.txt", unreadable)), "a.txt could not be read: " + gz::os_error_text(EBADF));
    EXPECT_EQ(std::make_tuple(w.offset(), w.entry_count(), w.poisoned()), std::make_tuple(offset, 2ul, false));
    gz::MemorySource ten(std::string_view(eleven).substr(1));
    EXPECT_TRUE(w.add("c.txt", ten));   // the same name can be tried again, and fills the archive
    EXPECT_EQ(why(w.add("next", "")), "the archive already holds 3 files and the limit is 3");
    // A repeated name on a full archive is reported as the repeat.
    EXPECT_EQ(why(w.add("C.TXT", "")), "the archive contains the same path more than once (C.TXT)");
}

// Entries "0" to "65534": with 65535 the Zip64 end record and its locator follow
// the central directory, and the end record's counts say 0xFFFF.
TEST(WriterZip64, EndRecordsFromTheEntryCount) {
    MemWriter w(gz::MemorySink{}, {});
    for (int i = 0; i < 65535; ++i) ASSERT_TRUE(w.add(std::to_string(i), ""));
    const std::string a = finish(std::move(w));
    const std::string tail = unhex(
        // Zip64 end record: 44 more bytes, versions 45, disks 0, counts 65535, directory size and offset
        "504b0606 2c00000000000000 2d00 2d00 00000000 00000000 ffff000000000000 ffff000000000000 67d4320000000000 "
        "77d4220000000000"
        // its locator, then the end record
        "504b0607 00000000 dea8550000000000 01000000 504b0506 0000 0000 ffff ffff 67d43200 77d42200 0000");
    EXPECT_EQ(a.substr(a.size() - tail.size()), tail);
    EXPECT_EQ(pellorine::Archive::open(a)->entries().size(), 65535u);
    Pairs many;
    for (int i = 0; i < 65535; ++i) many.emplace_back(std::to_string(i), "");
    EXPECT_EQ(why(gz::write_archive(many)), "the archive holds more files than this writer can address");
    many.pop_back();
    EXPECT_TRUE(gz::write_archive(many));
}

class FileTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(dir); }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string path(const std::string& n) const { return (dir / n).string(); }
    // A new file holding `data`, open for reading.
    int source_fd(const std::string& data) {
        const std::string p = path("src" + std::to_string(++made));
        std::ofstream(p, std::ios::binary) << data;
        return ::open(p.c_str(), O_RDONLY);
    }
    gz::FileSource source(const std::string& data) { return gz::FileSource(source_fd(data)); }
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
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("gedzip-writer-" + std::to_string(::getpid()));
    int made = 0;
};

// Every writer writes the same bytes: streamed entries (several 64 KiB chunks,
// bytes passing the 8192-byte file buffer, zeros that deflate past the reader's
// 1000-fold ratio bound and are rewritten stored) cannot be told from added
// ones, nor a memory source from bytes, nor the one-shot writer from either.
TEST_F(FileTest, AllWritersWriteTheSameBytes) {
    // Compressible media is stored as it is.
    const Pairs entries = {{"gedcom.ged", gedcom_text(20000)}, {"media/", ""}, {"media/p.jpg", gedcom_text(5000)},
                           {"zeros.txt", std::string(4 << 20, '\0')}, {"a.md", random_bytes(3000)}, {"empty.txt", ""}};
    FileWriter f = writer();
    MemWriter m(gz::MemorySink{}, {}), v(gz::MemorySink{}, {});
    for (const auto& [name, data] : entries) {
        gz::MemorySource memory(data);
        ASSERT_TRUE(m.add(name, data) && v.add(name, memory));
        // Added whole, incompressible text is stored; streamed, it would stay deflated.
        if (name == "a.md") ASSERT_TRUE(f.add(name, data));
        else ASSERT_TRUE(f.add_streamed_reserving(name, source(data), data.size(), std::nullopt)) << name;
    }
    const std::string bytes = finish(std::move(m));
    for (const std::string& other : {done(std::move(f)), finish(std::move(v)), *gz::write_archive(entries)})
        EXPECT_TRUE(other == bytes);
    auto a = pellorine::Archive::open(bytes);
    ASSERT_TRUE(a) << a.error().message;
    std::string methods;
    for (const auto& e : a->entries()) methods += std::to_string(e.method);
    EXPECT_EQ(methods, "800000");
    for (const auto& [name, data] : entries)
        EXPECT_TRUE(name == "media/" || a->read(name).value_or("?") == data) << name;
}

// A reservation of 0xFFFFFFFF gives the header Zip64 sizes: the CRC-32 and the
// 64-bit sizes are patched, the 32-bit size fields keep 0xFFFFFFFF. Deflating
// noise fills the compressor's output more than once a chunk.
TEST_F(FileTest, ReservationOfZip64SizeMakesZip64Header) {
    const std::string data = random_bytes(200000);
    FileWriter f = writer();
    ASSERT_TRUE(f.add_streamed_reserving("big.ged", source(data), data.size(), 0xFFFFFFFFULL));
    const std::string a = done(std::move(f));
    EXPECT_EQ(std::make_tuple(u16(a, 4), u32(a, 14), u32(a, 18), u32(a, 22), u16(a, 28), u32(a, 37), u64(a, 41)),
              std::make_tuple(45, gz::crc32(data), 0xFFFFFFFFu, 0xFFFFFFFFu, 20, 0x00100001u, data.size()));
    // The central record has no need of Zip64; the reader finds the entry whole.
    auto archive = pellorine::Archive::open(a);
    ASSERT_TRUE(archive) << archive.error().message;
    EXPECT_EQ(archive->entries()[0].compressed_size, u64(a, 49));
    EXPECT_EQ(archive->read("big.ged").value_or(""), data);
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

// Streamed entries that fail: before anything is written the writer stays as
// it was; once the sink may hold part of an entry it is poisoned.
TEST_F(FileTest, StreamedFailures) {
    const std::string text = gedcom_text(5000), appended = path("appended");
    const auto out = [&] { return ::open(path("out.zip").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600); };
    int pipe_fds[2];
    ASSERT_EQ(::pipe(pipe_fds), 0);
    // The archive's file, the source's, the entry's name and declared size, the failure, whether it poisons.
    const std::tuple<int, int, std::string, std::uint64_t, std::string, bool> cases[] = {
        {out(), source_fd("x"), "big.jpg", 1048577, "big.jpg is larger than the 1048576 byte per-entry limit", false},
        {out(), source_fd("1"), "media/", 1, "media/ is a directory, not a file", false},
        {out(), source_fd("x"), "e.jpg", 0, "e.jpg yielded more than the 0 bytes declared for it", true},
        // After the deflate stream was finished.
        {out(), source_fd(text), "c.ged", text.size() + 1, "c.ged ended after " + std::to_string(text.size()) +
                                                               " of the " + std::to_string(text.size() + 1) +
                                                               " bytes declared for it", true},
        {out(), ::open(appended.c_str(), O_WRONLY | O_CREAT, 0600), "a.jpg", 3,
         "a.jpg could not be read: " + gz::os_error_text(EBADF), true},
        // A file opened for appending: the first patch is found out of place.
        {::open(appended.c_str(), O_WRONLY | O_APPEND), source_fd("abc"), "a.jpg", 3,
         "the archive could not be written: the sink did not overwrite its bytes in place after a seek (a file "
         "opened for appending cannot hold a streamed entry)", true},
        // A pipe cannot tell its position.
        {pipe_fds[1], source_fd("abc"), "a.jpg", 3,
         "the archive's position could not be read: " + gz::os_error_text(ESPIPE), true},
    };
    for (const auto& [sink, source, name, declared, message, poisons] : cases) {
        SCOPED_TRACE(message);
        FileWriter f(gz::FileSink(sink), gz::ArchiveLimits{100000, 1048576, 0, 0});
        EXPECT_EQ(why(f.add_streamed_reserving(name, gz::FileSource(source), declared, std::nullopt)), message);
        if (poisons) expect_poisoned(std::move(f));
        else EXPECT_EQ(std::make_pair(f.offset(), f.poisoned()), std::make_pair(std::uint64_t(0), false));
    }
    ::close(pipe_fds[0]);
}

TEST(FullDevice, FailedWritesPoisonOrFailTheFlush) {
    if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    FileWriter f{gz::FileSink(::open("/dev/full", O_WRONLY)), {}};
    // More than the buffer: reaches the device at once.
    EXPECT_EQ(why(f.add("big.bin", random_bytes(20000))),
              "the archive could not be written: " + gz::os_error_text(ENOSPC));
    EXPECT_EQ(f.entry_count(), 0u);
    expect_poisoned(std::move(f));
    FileWriter g{gz::FileSink(::open("/dev/full", O_WRONLY)), {}};
    ASSERT_TRUE(g.add("small.txt", "hello"));   // still in the 8192-byte buffer
    EXPECT_EQ(why(std::move(g).finish()), "the archive could not be flushed: " + gz::os_error_text(ENOSPC));
}

}  // namespace
