// The archive reader against archives crafted record by record: every check
// of the central directory, of extraction and of finding the GEDCOM document;
// the published GEDZIP files.
#include "gedzip_io.hpp"
#include "gedzip_reader.hpp"
#include "gedzip_testing.hpp"
#include "gedzip_zip.hpp"
#include "testdata.hpp"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <zlib.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <new>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

// The largest single allocation while tracking is on: the reader must not
// size its allocations by what an archive claims. With `fail_next` set, the
// next allocation fails.
namespace alloc_probe {
bool tracking = false;
std::size_t largest = 0;
bool fail_next = false;
}  // namespace alloc_probe

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
    if (alloc_probe::tracking && n > alloc_probe::largest) alloc_probe::largest = n;
    if (std::exchange(alloc_probe::fail_next, false)) throw std::bad_alloc();
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return ::operator new(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

using pellorine::Archive;
using pellorine::gedzip::ArchiveEntry;
using pellorine::gedzip::ArchiveLimits;
constexpr std::uint64_t F32 = 0xFFFFFFFF, MAX64 = ~std::uint64_t(0);

// Appends little-endian fields, each a (value, width in bytes) pair.
void le(std::string& o, std::initializer_list<std::pair<std::uint64_t, int>> fields) {
    for (auto [v, n] : fields)
        for (int i = 0; i < n; ++i) o += char(v >> (8 * i));
}
std::uint32_t crc(const std::string& s) {
    return std::uint32_t(::crc32_z(0, reinterpret_cast<const Bytef*>(s.data()), s.size()));
}
// Raw DEFLATE at level 6: the zlib stream without its 2-byte header and 4-byte checksum.
std::string deflate_raw(const std::string& in) {
    uLongf n = compressBound(in.size());
    std::string out(n, '\0');
    const auto* src = reinterpret_cast<const Bytef*>(in.data());
    EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &n, src, in.size(), 6), Z_OK);
    return out.substr(2, n - 6);
}
// A Zip64 extra block (id 1) holding the given 8-byte values, its data size as declared.
std::string zip64_block(std::vector<std::uint64_t> values, std::optional<std::uint16_t> declared = {}) {
    std::string o;
    le(o, {{1, 2}, {declared.value_or(values.size() * 8), 2}});
    for (auto v : values) le(o, {{v, 8}});
    return o;
}

// One entry; the c_ fields override its central record, the l_ fields its local header.
struct Entry {
    std::string name, content;
    std::uint16_t method = 0;  // 8: the builder deflates `content`
    std::uint16_t flags = 0x0800;
    std::uint32_t external = 0;
    std::optional<std::uint32_t> c_signature, c_crc, c_csize, c_usize, c_offset;
    std::optional<std::uint16_t> c_method, c_name_len, c_extra_len, c_comment_len;
    std::string c_extra, c_comment;
    std::optional<std::uint32_t> l_signature;
    std::optional<std::uint16_t> l_flags, l_method, l_name_len;
    std::optional<std::string> l_name, stored;  // stored: the bytes after the local header
    std::string l_extra;
};

struct Zip {
    std::vector<Entry> entries;
    std::vector<std::size_t> central_order;  // empty: the order of the entries
    std::optional<std::uint16_t> end_count, end_comment_len;
    std::optional<std::uint32_t> end_cd_size, end_cd_offset;
    std::string trailer;  // bytes after the end record
    bool zip64 = false;   // a Zip64 end record and locator; the end record's count then says 0xFFFF
    std::optional<std::uint64_t> z64_count, z64_record_offset;
    std::optional<std::uint32_t> z64_signature, locator_signature;

    std::string build() const {
        std::string out, central;
        std::vector<std::string> records;
        for (const Entry& e : entries) {
            const std::uint64_t offset = out.size();
            const std::string stored = e.stored ? *e.stored : (e.method == 8 ? deflate_raw(e.content) : e.content);
            const std::string lname = e.l_name.value_or(e.name);
            le(out, {{e.l_signature.value_or(0x04034b50), 4}, {20, 2}, {e.l_flags.value_or(e.flags), 2},
                     {e.l_method.value_or(e.method), 2}, {0x210000, 4}, {crc(e.content), 4}, {stored.size(), 4},
                     {e.content.size(), 4}, {e.l_name_len.value_or(lname.size()), 2}, {e.l_extra.size(), 2}});
            out += lname + e.l_extra + stored;
            std::string& r = records.emplace_back();
            le(r, {{e.c_signature.value_or(0x02014b50), 4}, {0x00140014, 4}, {e.flags, 2},
                   {e.c_method.value_or(e.method), 2}, {0x210000, 4}, {e.c_crc.value_or(crc(e.content)), 4},
                   {e.c_csize.value_or(stored.size()), 4}, {e.c_usize.value_or(e.content.size()), 4},
                   {e.c_name_len.value_or(e.name.size()), 2}, {e.c_extra_len.value_or(e.c_extra.size()), 2},
                   {e.c_comment_len.value_or(e.c_comment.size()), 2}, {0, 4}, {e.external, 4},
                   {e.c_offset.value_or(offset), 4}});
            r += e.name + e.c_extra + e.c_comment;
        }
        for (std::size_t k = 0; k < records.size(); ++k) central += records[central_order.empty() ? k : central_order[k]];
        const std::uint64_t cd_offset = out.size(), record = cd_offset + central.size();
        out += central;
        const std::uint64_t n = z64_count.value_or(entries.size());
        if (zip64)
            le(out, {{z64_signature.value_or(0x06064b50), 4}, {44, 8}, {0x002D002D, 4}, {0, 8}, {n, 8}, {n, 8},
                     {central.size(), 8}, {cd_offset, 8}, {locator_signature.value_or(0x07064b50), 4}, {0, 4},
                     {z64_record_offset.value_or(record), 8}, {1, 4}});
        const std::uint64_t count = end_count.value_or(zip64 ? 0xFFFF : entries.size());
        le(out, {{0x06054b50, 8}, {count, 2}, {count, 2}, {end_cd_size.value_or(central.size()), 4},
                 {end_cd_offset.value_or(cd_offset), 4}, {end_comment_len.value_or(0), 2}});
        return out + trailer;
    }
};

const std::string kGedcom = [] {
    std::string s = "0 HEAD\n1 GEDC\n2 VERS 7.0\n";
    for (int i = 0; i < 200; ++i) s += "0 @I" + std::to_string(i) + "@ INDI\n1 NAME John /Smith/\n";
    return s + "0 TRLR\n";
}();
const std::string kPhoto = [] {
    std::string s;
    for (int i = 0; i < 300; ++i) s += char((i * 131 + 7) & 0xFF);
    return s;
}();
const std::string kTen = "0123456789";
const std::string kOverlap = " overlaps another file or the archive's directory";

Entry file(std::string name, std::string content = "x", std::uint16_t method = 0) {
    Entry e;
    e.name = std::move(name); e.content = std::move(content); e.method = method;
    return e;
}
// A claim of `usize` bytes from `csize` stored bytes, as the central record says.
Entry claim(std::string name, std::uint32_t usize, std::uint32_t csize) {
    Entry e = file(std::move(name));
    e.c_usize = usize; e.c_csize = csize;
    return e;
}
// A deflated t.ged declaring `declared` bytes, its stored bytes `stored` when given.
Entry deflated(std::string content, std::uint32_t declared, std::optional<std::string> stored = {}) {
    Entry e = file("t.ged", std::move(content), 8);
    e.c_usize = declared; e.stored = std::move(stored);
    return e;
}

// gedcom.ged (deflated), media/ (directory), media/photo.jpg (stored, 300 bytes).
Zip base() {
    Zip z;
    z.entries = {file("gedcom.ged", kGedcom, 8), file("media/", ""), file("media/photo.jpg", kPhoto)};
    z.entries[1].external = 0x10;
    return z;
}

ArchiveLimits total_limit(std::uint64_t total) { return ArchiveLimits{100000, 1073741824, total, 1000}; }

std::string error_of(const std::string& bytes, const ArchiveLimits& lim = {}) {
    auto a = Archive::open_with(bytes, lim);
    if (a) return "";
    EXPECT_EQ(a.error().kind, pellorine::ErrorKind::Archive);
    EXPECT_EQ(a.error().line, 0u);
    return a.error().message;
}

struct OpenCase {
    const char* label;
    std::function<void(Zip&)> mutate;
    std::string error;  // empty: the archive opens
    ArchiveLimits limits = {};
};

const std::string kNeedsZip64 = "the archive needs a Zip64 directory and has none";
const std::string kTruncated = "the archive is truncated";
const std::string kRatio = "media/photo.jpg claims a compression ratio over the 1000-fold limit";
std::string dup(const std::string& n) { return "the archive contains the same path more than once (" + n + ")"; }

std::function<void(Zip&)> plus(std::vector<Entry> more) {
    return [more](Zip& z) { z.entries.insert(z.entries.end(), more.begin(), more.end()); };
}

const std::vector<OpenCase> kOpenCases = {
    {"valid", [](Zip&) {}, ""},
    {"count 0 ignores a wild directory offset", [](Zip& z) { z.entries.clear(); z.end_cd_offset = 0x7FFFFFFF; }, ""},
    // The end record and the Zip64 directory.
    {"zip64 end record", [](Zip& z) { z.zip64 = true; }, ""},
    {"count 0xFFFF, no locator", [](Zip& z) { z.end_count = 0xFFFF; }, kNeedsZip64},
    {"offset 0xFFFFFFFF, no locator", [](Zip& z) { z.end_cd_offset = F32; }, kNeedsZip64},
    {"size 0xFFFFFFFF, no locator", [](Zip& z) { z.end_cd_size = F32; }, kNeedsZip64},
    {"end record before offset 20", [](Zip& z) { z.entries.clear(); z.end_count = 0xFFFF; }, kNeedsZip64},
    {"locator signature wrong", [](Zip& z) { z.zip64 = true; z.locator_signature = 0x07064b51; }, kNeedsZip64},
    {"zip64 record signature wrong", [](Zip& z) { z.zip64 = true; z.z64_signature = 0x06064b51; },
     "the archive's Zip64 directory record is malformed"},
    {"zip64 record past the end", [](Zip& z) { z.zip64 = true; z.z64_record_offset = 1u << 30; }, kTruncated},
    // Too many entries; a count that disagrees with the records present.
    {"zip64 count over the limit", [](Zip& z) { z.zip64 = true; z.z64_count = 100001; },
     "the archive holds 100001 files and the limit is 100000"},
    {"zip64 count at the limit is read", [](Zip& z) { z.zip64 = true; z.z64_count = 100000; },
     "file 4 of the archive has no directory record"},
    // Central-directory records; a directory that points outside the bytes.
    {"directory offset past the end", [](Zip& z) { z.end_cd_offset = 0x00FFFFFF; }, kTruncated},
    {"name runs one byte past the end", [](Zip& z) { z.entries[2].c_name_len = 15 + 22 + 1; }, kTruncated},
    {"extra runs past the end", [](Zip& z) { z.entries[2].c_extra_len = 0xFFFF; }, kTruncated},
    {"comment of the last record is not checked", [](Zip& z) { z.entries[2].c_comment_len = 0xFFFF; }, ""},
    {"comment length skews the next record", [](Zip& z) { z.entries[0].c_comment_len = 3; },
     "file 2 of the archive has no directory record"},
    {"encrypted", [](Zip& z) { z.entries[2].flags |= 1; }, "encrypted entries are not supported"},
    {"name not UTF-8", [](Zip& z) { z.entries[2].name = "media/\xC0\xAF.jpg"; },
     "a file in the archive has a name that is not valid UTF-8"},
    {"symbolic link", [](Zip& z) { z.entries[2].external = 0xA1FF0000; },
     "the archive contains a symbolic link (media/photo.jpg), which is not extracted"},
    {"parent component", [](Zip& z) { z.entries[2].name = "a/../../x"; }, "a/../../x contains an unsafe path component"},
    // Duplicates, and which failure wins when several records fail.
    {"same path in another case", plus({file("GEDCOM.GED")}), dup("GEDCOM.GED")},
    // z/Z sorts before zz/ZZ and repeats earlier: the earliest of all repeats, not the last in key order.
    {"earliest repeat is named", plus({file("Z"), file("z"), file("zz"), file("ZZ")}), dup("z")},
    {"duplicate before a bad path", plus({file("Gedcom.ged"), file("../x")}), dup("Gedcom.ged")},
    {"bad path before a duplicate", plus({file("../x"), file("Gedcom.ged")}), "../x contains an unsafe path component"},
    {"duplicate before its own bound failure", plus({claim("GEDCOM.ged", 5000, 1)}), dup("GEDCOM.ged")},
    {"bound failure before a later duplicate", plus({claim("b", 5000, 1), file("GEDCOM.ged")}),
     "b claims a compression ratio over the 1000-fold limit"},
    {"a record that failed leaves no key", plus({file("x\t"), file("x\t")}),
     "the archive contains a control character in a file path"},
    // Per-entry bounds (a decompression bomb by its claims), total size, method.
    {"ratio over 1000", [](Zip& z) { z.entries[2] = claim("media/photo.jpg", 1001, 1); }, kRatio},
    {"total at the limit", [](Zip&) {}, "", total_limit(kGedcom.size() + kPhoto.size())},
    {"total one byte over the limit", [](Zip&) {},
     "the archive expands to more than the " + std::to_string(kGedcom.size() + kPhoto.size() - 1) + " byte limit",
     total_limit(kGedcom.size() + kPhoto.size() - 1)},
    {"unsupported method", [](Zip& z) { z.entries[2].method = 12; },
     "media/photo.jpg uses compression method 12, which is not supported"},
    {"method checked after the bounds", [](Zip& z) { z.entries[2] = claim("media/photo.jpg", 1, 0); z.entries[2].method = 14; },
     kRatio},
    // Zip64 fields in central records, also ones that disagree with the bytes.
    // After another block; declaring 16 bytes where the extra field holds 8.
    {"zip64 size from its block", [](Zip& z) {
         z.entries[2].c_usize = F32;
         z.entries[2].c_extra = std::string("\x0a\x00\x02\x00zz", 6) + zip64_block({300}, 16);
     }, ""},
    {"zip64 block empty keeps 0xFFFFFFFF", [](Zip& z) { z.entries[2].c_usize = F32; z.entries[2].c_extra = zip64_block({}); },
     "media/photo.jpg expands to 4294967295 bytes and the per-file limit is 1073741824"},
    {"zip64 offset of another record", [](Zip& z) { z.entries[2].c_offset = F32; z.entries[2].c_extra = zip64_block({0}); },
     "gedcom.ged" + kOverlap},
    {"zip64 stored size near 2^64",
     [](Zip& z) { z.entries[2] = claim("media/photo.jpg", 0, F32); z.entries[2].c_extra = zip64_block({MAX64}); },
     "media/photo.jpg" + kOverlap},
    // Records laid over one another or over the central directory; sizes that lie.
    {"two records share one local header", [](Zip& z) { z.entries[2].c_offset = 0; }, "gedcom.ged" + kOverlap},
    {"stored bytes one byte into the next header", [](Zip& z) { z.entries[0].c_csize = deflate_raw(kGedcom).size() + 1; },
     "gedcom.ged" + kOverlap},
    {"local name shorter, nothing in its place", [](Zip& z) { z.entries[2].l_name = "media/photo.jp"; },
     "media/photo.jpg" + kOverlap},
    {"a gap between records is allowed", [](Zip& z) { z.entries[2].c_csize = z.entries[2].c_usize = 299; }, ""},
    {"stored bytes one byte into the directory", [](Zip& z) { z.entries[2].c_csize = z.entries[2].c_usize = 301; },
     "media/photo.jpg" + kOverlap},
    {"directory records out of order", [](Zip& z) { z.central_order = {2, 0, 1}; }, ""},
    {"out of order and sharing media/'s local header",
     [](Zip& z) { z.entries[0].c_offset = deflate_raw(kGedcom).size() + 30 + 10; z.central_order = {2, 1, 0}; },
     "media/" + kOverlap},
    {"duplicate before an overlap", [](Zip& z) { z.entries.push_back(file("GEDCOM.GED")); z.entries.back().c_offset = 0; },
     dup("GEDCOM.GED")},
    {"record failure before an overlap", [](Zip& z) { z.entries[0].c_offset = 1; z.entries[2].method = 12; },
     "media/photo.jpg uses compression method 12, which is not supported"},
    // Where the end record is looked for.
    {"end record 67584 bytes from the end", [](Zip& z) { z.trailer = std::string(67562, 'x'); }, ""},
    {"end record one byte further", [](Zip& z) { z.trailer = std::string(67563, 'x'); },
     "the file does not end like a ZIP archive"},
};

TEST(ArchiveOpen, CaseTable) {
    for (const OpenCase& c : kOpenCases) {
        SCOPED_TRACE(c.label);
        Zip z = base();
        c.mutate(z);
        EXPECT_EQ(error_of(z.build(), c.limits), c.error);
    }
}

// Unreachable through an archive (a failed cursor skips nothing): the offset overflow.
TEST(ArchiveOpen, CursorOverflow) {
    pellorine::gedzip::Cursor c("0123456789", MAX64 - 1);
    c.skip(1);
    EXPECT_EQ(c.offset(), MAX64);
    c.skip(1);
    EXPECT_EQ(why(c.status()), "an archive offset is too large");
}

TEST(ArchiveOpen, EndRecordSearchAndEmptyArchive) {
    // A copy of the end record's signature in the real one's comment: the one nearest the end wins.
    Zip z = base();
    z.trailer = std::string("PK\x05\x06", 4) + std::string(18, '\0') + "abc";
    z.end_comment_len = std::uint16_t(z.trailer.size());
    const std::string bytes = z.build();
    auto a = Archive::open(bytes);
    ASSERT_TRUE(a) << a.error().message;
    EXPECT_TRUE(a->entries().empty());
    for (std::size_t n : {0, 21}) EXPECT_EQ(error_of(std::string(n, '\0')), "the file does not end like a ZIP archive");
    EXPECT_TRUE(!Archive::looks_like_archive("PK\x03") && !Archive::looks_like_archive(std::string("PK\x01\x02rest", 8)));
    EXPECT_TRUE(Archive::looks_like_archive(std::string("PK\x03\x04", 4)) && Archive::looks_like_archive(Zip{}.build()));
}

TEST(ArchiveOpen, TotalSizeSaturates) {
    Zip z;
    for (int i = 0; i < 4; ++i) z.entries.push_back(claim("part" + std::to_string(i), F32, 1));
    for (Entry& e : z.entries) e.c_extra = zip64_block({(1ull << 62) + (1ull << 61)});
    const std::string bytes = z.build();
    auto a = Archive::open_with(bytes, ArchiveLimits{100000, MAX64, MAX64, MAX64});
    ASSERT_TRUE(a) << a.error().message;
    EXPECT_EQ(a->total_size(), MAX64);
}

// Extraction of one entry after a successful opening: its bytes, or '!' and the
// error ("..." at the end: the beginning of the error).
struct ReadCase {
    const char* label;
    std::function<void(Zip&)> mutate;
    std::string name, want;
};

const std::string kDisagrees = "!media/photo.jpg has a local header that disagrees with its directory record";
const std::string kOtherName = "!media/photo.jpg has a local name that disagrees with its directory record";
const std::string kPast = "!t.ged expands past the size the archive declared";

const std::vector<ReadCase> kReadCases = {
    {"deflated", [](Zip&) {}, "gedcom.ged", kGedcom},
    {"stored", [](Zip&) {}, "media/photo.jpg", kPhoto},
    {"empty deflated", plus({deflated("", 0)}), "t.ged", ""},
    {"local extra field skipped", [](Zip& z) { z.entries[2].l_extra = zip64_block({1, 2}); }, "media/photo.jpg", kPhoto},
    {"flags and Zip64 fields as the directory has them", [](Zip& z) {
         Entry& e = z.entries[0];
         e.flags |= 8;
         e.c_usize = e.c_csize = e.c_offset = F32;
         e.c_extra = zip64_block({kGedcom.size(), deflate_raw(kGedcom).size(), 0});
     }, "gedcom.ged", kGedcom},
    {"bytes after the deflate stream", plus({deflated(kTen, 10, deflate_raw(kTen) + "junk")}), "t.ged", kTen},
    {"directory", [](Zip&) {}, "media/", "!media/ is a directory, not a file"},
    {"missing", [](Zip&) {}, "Gedcom.ged", "!the archive has no file named Gedcom.ged"},
    // The local header.
    {"local signature wrong", [](Zip& z) { z.entries[2].l_signature = 0x04034b51; }, "media/photo.jpg",
     "!media/photo.jpg has no file header"},
    {"local flags differ", [](Zip& z) { z.entries[2].l_flags = 0; }, "media/photo.jpg", kDisagrees},
    {"local method differs", [](Zip& z) { z.entries[2].l_method = 8; }, "media/photo.jpg", kDisagrees},
    {"local name differs", [](Zip& z) { z.entries[2].l_name = "media/photo.JPG"; }, "media/photo.jpg", kOtherName},
    {"local name runs past the end", [](Zip& z) { z.entries[2].l_name_len = 0xFFFF; }, "media/photo.jpg", kOtherName},
    // Sizes that lie, checksums, broken streams.
    {"stored sizes differ", [](Zip& z) { z.entries[2].c_usize = 299; }, "media/photo.jpg",
     "!media/photo.jpg expanded to 300 bytes where the archive said 299"},
    {"one byte more than declared", plus({deflated(kTen, 9)}), "t.ged", kPast},
    {"one byte fewer than declared", plus({deflated(kTen, 11)}), "t.ged",
     "!t.ged expanded to 10 bytes where the archive said 11"},
    {"a chunk past the claim", plus({deflated(std::string(200000, 'a'), 70000)}), "t.ged", kPast},
    {"stream cut short", plus({deflated(kGedcom, kGedcom.size(), deflate_raw(kGedcom).substr(0, 200))}),
     "t.ged", "!t.ged expanded to ..."},
    {"checksum wrong", [](Zip& z) { z.entries[0].c_crc = crc(kGedcom) ^ 1; },
     "gedcom.ged", "!gedcom.ged failed its checksum"},
    {"corrupt deflate stream", plus({deflated(kTen, 10, std::string(10, '\xFF'))}), "t.ged",
     "!t.ged could not be decompressed: invalid block type"},
};

TEST(ArchiveRead, CaseTable) {
    for (const ReadCase& c : kReadCases) {
        SCOPED_TRACE(c.label);
        Zip z = base();
        c.mutate(z);
        const std::string bytes = z.build();
        auto a = Archive::open(bytes);
        ASSERT_TRUE(a) << a.error().message;
        auto got = a->read(c.name);
        const std::string outcome = got ? *got : "!" + got.error().message;
        if (c.want.ends_with("..."))
            EXPECT_TRUE(outcome.starts_with(c.want.substr(0, c.want.size() - 3))) << outcome;
        else
            EXPECT_EQ(outcome, c.want);
    }
}

// An entry changed by hand meets the bounds again at extraction.
TEST(ArchiveRead, EntryChangedByHandMeetsTheBoundsAgain) {
    const std::string bytes = base().build();
    auto a = Archive::open(bytes);
    ASSERT_TRUE(a);
    ArchiveEntry e = a->entries()[2];
    e.uncompressed_size = 2000000;
    EXPECT_EQ(why(a->read_entry(e)), kRatio);
}

TEST(ArchiveRead, CopyEntryInChunksAndSinkFailure) {
    std::string big;
    for (int i = 0; i < 300000; ++i) big += char('a' + (i * 7 + i / 13) % 26);
    Zip z;
    z.entries = {file("big.ged", big, 8), file("big.bin", big)};
    const std::string bytes = z.build();
    auto a = Archive::open(bytes);
    ASSERT_TRUE(a) << a.error().message;
    const auto sink_full = [](std::string_view) { return pellorine::fail(pellorine::GedcomError::archive("sink full")); };
    for (const auto& e : a->entries()) {
        std::string out;
        EXPECT_TRUE(a->copy_entry(e, [&](std::string_view chunk) -> pellorine::Result<void> {
            EXPECT_TRUE(!chunk.empty() && chunk.size() <= 65536u);
            out.append(chunk);
            return {};
        }) && out == big) << e.name;
        EXPECT_EQ(why(a->copy_entry(e, sink_full)), "sink full");
    }
    // A stored entry's data is a view into the archive's own bytes.
    EXPECT_EQ(a->entry_data(a->entries()[1])->data(), bytes.data() + bytes.size() - 22 - 2 * (46 + 7) - 300000);
}

TEST(ArchiveDocument, CaseTable) {
    const std::string ambiguous =
        " GEDCOM documents at its root and none is named gedcom.ged, so which one is the tree is ambiguous";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"family.ged", "GEDCOM.GED"}, "GEDCOM.GED"},
        {{"Family.GED", "media/a.ged", "gedcom.ged.bak"}, "Family.GED"},
        {{".ged"}, ".ged"},
        {{"a.ged", "b.ged", "c.GED", "dir/gedcom.ged"}, "!the archive holds 3" + ambiguous},
        {{"dir/gedcom.ged", "x.ged/", "tree.gedx"},
         "!the archive holds no GEDCOM document at its root, so it is not a GEDZIP"},
    };
    for (const auto& [names, want] : cases) {
        Zip z;
        for (const auto& n : names) z.entries.push_back(file(n, ""));
        const std::string bytes = z.build();
        auto got = Archive::open(bytes)->document_name();
        EXPECT_EQ(got ? std::string(*got) : "!" + got.error().message, want) << names.front();
    }
}

template <class F>
std::size_t largest_allocation(F&& f) {
    alloc_probe::largest = 0;
    alloc_probe::tracking = true;
    f();
    alloc_probe::tracking = false;
    return alloc_probe::largest;
}

// A source adopts its descriptor at the call: when its buffer cannot be had,
// the descriptor is closed rather than leaked.
TEST(ArchiveHostile, AFileSourceThatCannotBeMadeClosesItsDescriptor) {
    const int fd = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(fd, 0);
    alloc_probe::fail_next = true;
    EXPECT_THROW(pellorine::gedzip::FileSource{fd}, std::bad_alloc);
    alloc_probe::fail_next = false;
    errno = 0;
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
    EXPECT_EQ(errno, EBADF);
}

TEST(ArchiveHostile, AllocationsDoNotFollowClaims) {
    const std::string zeros(50 * 1024 * 1024, '\0');
    Zip count, gib, bomb;
    count = base();   // 100000 entries claimed, three present: opening fails
    count.zip64 = true;
    count.z64_count = 100000;
    // A deflated entry claiming 1 GiB that yields little: output reserved up to 16 MiB at most.
    gib.entries = {deflated("", 1073741824, deflate_raw(kTen) + std::string(1073742, 'x'))};
    // 50 MB of zeros declared as 100 bytes: extraction stops one byte past the claim.
    bomb.entries = {deflated("", 100, deflate_raw(zeros))};
    bomb.entries[0].c_crc = crc(zeros);
    const std::tuple<Zip, std::size_t, std::string> cases[] = {
        {count, 256 * 1024, "file 4 of the archive has no directory record"},
        {gib, 16u * 1024 * 1024 + 65537, "t.ged expanded to 10 bytes where the archive said 1073741824"},
        {bomb, 256 * 1024, "t.ged expands past the size the archive declared"},
    };
    for (const auto& [zip, most, want] : cases) {
        const std::string bytes = zip.build();
        std::string message;
        EXPECT_LT(largest_allocation([&] {
            auto a = Archive::open(bytes);
            message = a ? why(a->read("t.ged")) : why(a);
        }), most) << want;
        EXPECT_EQ(message, want);
    }
}

// The published GEDZIP files open, name gedcom.ged as their document and extract
// whole (fuzz_archive only asks that they open or are refused within bounds).
TEST(ArchivePublished, OpenFindDocumentAndExtractEverything) {
    PELLORINE_NEED_TESTDATA();
    const std::pair<std::string, std::uint64_t> files[] = {
        {"gedcom70/minimal70.gdz", 39},
        {"gedcom70/gedcom71/minimal71.gdz", 39},
        {"gedcom70/maximal70.gdz", 15793 + 79000 + 210 + 625 + 35 + 28},
        {"gedcom70/maximal70/maximal70.gdz", 15906 + 79000 + 210 + 625 + 35 + 28},
    };
    for (const auto& [path, total] : files) {
        SCOPED_TRACE(path);
        std::ifstream in(pellorine::testdata::folder() / path, std::ios::binary);
        const std::string bytes(std::istreambuf_iterator<char>(in), {});
        auto a = Archive::open(bytes);
        ASSERT_TRUE(a) << a.error().message;
        EXPECT_EQ(a->total_size(), total);
        EXPECT_EQ(a->document_name().value_or(""), "gedcom.ged");
        // A byte-order mark, then the header record; the trailer last.
        const std::string ged = a->read("gedcom.ged").value_or("");
        EXPECT_TRUE(ged.starts_with("\xEF\xBB\xBF" "0 HEAD\r\n") && ged.ends_with("0 TRLR\r\n"));
        for (const auto& e : a->entries()) EXPECT_TRUE(e.is_dir || a->read_entry(e)) << e.name;
        // The media entry with a UTF-8 name (and a data-descriptor flag) reads back.
        if (path == "gedcom70/maximal70.gdz") {
            EXPECT_TRUE(a->read("media/CharlotteBront\xC3\xAB.jpg").value_or("").starts_with("\xFF\xD8\xFF"));
        }
    }
}

}  // namespace
