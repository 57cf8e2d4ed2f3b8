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
#include <utility>
#include <vector>

// With `fail_next` set, the next allocation fails. Every form is replaced, as
// the sanitizers replace them all.
bool fail_next = false;

void* operator new(std::size_t n) {
    if (std::exchange(fail_next, false)) throw std::bad_alloc();
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return ::operator new(n); }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
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
    Entry(std::string n, std::string c = "x", std::uint16_t m = 0)
        : name(std::move(n)), content(std::move(c)), method(m) {}
    std::string name, content;
    std::uint16_t method = 0;  // 8: the builder deflates `content`
    std::uint16_t flags = 0x0800;
    std::uint32_t external = 0;
    std::optional<std::uint32_t> c_crc, c_csize, c_usize, c_offset, l_signature;
    std::optional<std::uint16_t> c_comment_len, l_flags, l_method;
    std::optional<std::string> l_name, stored;  // stored: the bytes after the local header
    std::string c_extra, l_extra;
};

struct Zip {
    std::vector<Entry> entries;
    std::vector<std::size_t> central_order;  // empty: the order of the entries
    std::optional<std::uint32_t> end_cd_size, end_cd_offset;
    std::string trailer;  // bytes after the end record
    bool zip64 = false;   // a Zip64 end record and locator; the end record's count then says 0xFFFF
    std::optional<std::uint64_t> z64_count;
    std::optional<std::uint32_t> z64_signature;

    std::string build() const {
        std::string out, central;
        std::vector<std::string> records;
        for (const Entry& e : entries) {
            const std::uint64_t offset = out.size();
            const std::uint32_t crc = pellorine::gedzip::crc32(e.content);
            const std::string stored = e.stored ? *e.stored : (e.method == 8 ? deflate_raw(e.content) : e.content);
            const std::string lname = e.l_name.value_or(e.name);
            le(out, {{e.l_signature.value_or(0x04034b50), 4}, {20, 2}, {e.l_flags.value_or(e.flags), 2},
                     {e.l_method.value_or(e.method), 2}, {0x210000, 4}, {crc, 4}, {stored.size(), 4},
                     {e.content.size(), 4}, {lname.size(), 2}, {e.l_extra.size(), 2}});
            out += lname + e.l_extra + stored;
            std::string& r = records.emplace_back();
            le(r, {{0x02014b50, 4}, {0x00140014, 4}, {e.flags, 2}, {e.method, 2}, {0x210000, 4},
                   {e.c_crc.value_or(crc), 4}, {e.c_csize.value_or(stored.size()), 4},
                   {e.c_usize.value_or(e.content.size()), 4}, {e.name.size(), 2},
                   {e.c_extra.size(), 2}, {e.c_comment_len.value_or(0), 2}, {0, 4}, {e.external, 4},
                   {e.c_offset.value_or(offset), 4}});
            r += e.name + e.c_extra;
        }
        for (std::size_t k = 0; k < records.size(); ++k)
            central += records[central_order.empty() ? k : central_order[k]];
        const std::uint64_t cd_offset = out.size(), record = cd_offset + central.size();
        out += central;
        const std::uint64_t n = z64_count.value_or(entries.size());
        if (zip64)
            le(out, {{z64_signature.value_or(0x06064b50), 4}, {44, 8}, {0x002D002D, 4}, {0, 8}, {n, 8}, {n, 8},
                     {central.size(), 8}, {cd_offset, 8}, {0x07064b50, 4}, {0, 4}, {record, 8}, {1, 4}});
        const std::uint64_t count = zip64 ? 0xFFFF : entries.size();
        le(out, {{0x06054b50, 8}, {count, 2}, {count, 2}, {end_cd_size.value_or(central.size()), 4},
                 {end_cd_offset.value_or(cd_offset), 4}, {0, 2}});
        return out + trailer;
    }
};

const std::string kGedcom = "0 HEAD\n" + std::string(6000, 'g') + "\n0 TRLR\n", kPhoto(300, 'p'), kTen = "0123456789";

// A claim of `usize` bytes from `csize` stored bytes, as the central record says.
Entry claim(std::string name, std::uint32_t usize, std::uint32_t csize) {
    Entry e(std::move(name));
    e.c_usize = usize;
    e.c_csize = csize;
    return e;
}
// A deflated t.ged declaring `declared` bytes, its stored bytes `stored` when given.
Entry deflated(std::string content, std::uint32_t declared, std::optional<std::string> stored = {}) {
    Entry e("t.ged", std::move(content), 8);
    e.c_usize = declared;
    e.stored = std::move(stored);
    return e;
}

// gedcom.ged (deflated), media/ (directory), media/photo.jpg (stored, 300 bytes).
Zip base() {
    Zip z;
    z.entries = {Entry("gedcom.ged", kGedcom, 8), Entry("media/", ""), Entry("media/photo.jpg", kPhoto)};
    z.entries[1].external = 0x10;
    return z;
}

const ArchiveLimits kHuge{MAX64, MAX64, MAX64, MAX64};
const auto same = [](Zip&) {};
std::function<void(Zip&)> plus(std::vector<Entry> more) {
    return [more](Zip& z) { z.entries.insert(z.entries.end(), more.begin(), more.end()); };
}
std::string dup(const std::string& n) { return "the archive contains the same path more than once (" + n + ")"; }
const std::string kNeedsZip64 = "the archive needs a Zip64 directory and has none";
const std::string kOverlap = " overlaps another file or the archive's directory";
const std::string kDisagrees = "media/photo.jpg has a local header that disagrees with its directory record";

// A change to base(), and what opening the result says (empty: it opens); with
// `read`, what extracting that entry of the opened archive then yields: its
// bytes, or the error.
struct Case {
    const char* label;
    std::function<void(Zip&)> mutate;
    std::string want;
    std::string read = "";
    ArchiveLimits limits = {};
};

const std::vector<Case> kCases = {
    {"count 0 ignores a wild directory offset", [](Zip& z) { z.entries.clear(); z.end_cd_offset = 0x7FFFFFFF; }, ""},
    // Where the end record is looked for.
    {"end record 67584 bytes from the end", [](Zip& z) { z.trailer = std::string(67562, 'x'); }, ""},
    {"end record one byte further", [](Zip& z) { z.trailer = std::string(67563, 'x'); },
     "the file does not end like a ZIP archive"},
    // A copy in the comment, nearer the end, wins: its directory lies past the end.
    {"end record copy in the comment",
     [](Zip& z) { le(z.trailer, {{0x06054b50, 8}, {1, 2}, {1, 2}, {0, 4}, {0xFFFFFF, 4}, {0, 2}}); },
     "the archive is truncated"},
    // The Zip64 directory.
    {"offset 0xFFFFFFFF, no locator", [](Zip& z) { z.end_cd_offset = F32; }, kNeedsZip64},
    {"size 0xFFFFFFFF, no locator", [](Zip& z) { z.end_cd_size = F32; }, kNeedsZip64},
    {"end record before offset 20", [](Zip& z) { z.entries.clear(); z.end_cd_offset = F32; }, kNeedsZip64},
    {"zip64 record signature wrong", [](Zip& z) { z.zip64 = true; z.z64_signature = 0x06064b51; },
     "the archive's Zip64 directory record is malformed"},
    {"zip64 count over the limit", [](Zip& z) { z.zip64 = true; z.z64_count = 100001; },
     "the archive holds 100001 files and the limit is 100000"},
    {"zip64 count at the limit is read", [](Zip& z) { z.zip64 = true; z.z64_count = 100000; },
     "file 4 of the archive has no directory record"},
    // Room is not reserved for what an archive claims: 2^40 entries, 2^50 bytes.
    {"a huge count", [](Zip& z) { z.zip64 = true; z.z64_count = 1ull << 40; },
     "file 4 of the archive has no directory record", "", kHuge},
    // Central-directory records.
    {"comment of the last record is not checked", [](Zip& z) { z.entries[2].c_comment_len = 0xFFFF; }, ""},
    {"comment length skews the next record", [](Zip& z) { z.entries[0].c_comment_len = 3; },
     "file 2 of the archive has no directory record"},
    {"encrypted", [](Zip& z) { z.entries[2].flags |= 1; }, "encrypted entries are not supported"},
    {"symbolic link", [](Zip& z) { z.entries[2].external = 0xA1FF0000; },
     "the archive contains a symbolic link (media/photo.jpg), which is not extracted"},
    {"parent component", [](Zip& z) { z.entries[2].name = "a/../x"; }, "a/../x contains an unsafe path component"},
    // Duplicates, and which failure wins when several records fail.
    // z/Z sorts before zz/ZZ and repeats earlier: the earliest of all repeats, not the last in key order.
    {"earliest repeat is named", plus({Entry("Z"), Entry("z"), Entry("zz"), Entry("ZZ")}), dup("z")},
    {"duplicate before its own bound failure", plus({claim("GEDCOM.ged", 5000, 1)}), dup("GEDCOM.ged")},
    {"bound failure before a later duplicate", plus({claim("b", 5000, 1), Entry("GEDCOM.ged")}),
     "b claims a compression ratio over the 1000-fold limit"},
    // Per-entry bounds (a decompression bomb by its claims), total size, method.
    {"total one byte over the limit", same,
     "the archive expands to more than the " + std::to_string(kGedcom.size() + kPhoto.size() - 1) + " byte limit", "",
     {100000, 1073741824, kGedcom.size() + kPhoto.size() - 1, 1000}},
    {"method checked after the bounds",
     [](Zip& z) { z.entries[2] = claim("media/photo.jpg", 1, 0); z.entries[2].method = 14; },
     "media/photo.jpg claims a compression ratio over the 1000-fold limit"},
    // Zip64 fields in central records, also ones that disagree with the bytes.
    // After another block; declaring 16 bytes where the extra field holds 8.
    {"zip64 size from its block", [](Zip& z) {
         z.entries[2].c_usize = F32;
         z.entries[2].c_extra = std::string("\x0a\x00\x02\x00zz", 6) + zip64_block({300}, 16);
     }, ""},
    {"zip64 block empty keeps 0xFFFFFFFF",
     [](Zip& z) { z.entries[2].c_usize = F32; z.entries[2].c_extra = zip64_block({}); },
     "media/photo.jpg expands to 4294967295 bytes and the per-file limit is 1073741824"},
    {"zip64 stored size near 2^64",
     [](Zip& z) { z.entries[2] = claim("media/photo.jpg", 0, F32); z.entries[2].c_extra = zip64_block({MAX64}); },
     "media/photo.jpg" + kOverlap},
    // Local records laid over one another or over the central directory.
    {"stored bytes one byte into the directory", [](Zip& z) { z.entries[2].c_csize = z.entries[2].c_usize = 301; },
     "media/photo.jpg" + kOverlap},
    {"out of order and sharing media/'s local header",
     [](Zip& z) { z.entries[0].c_offset = deflate_raw(kGedcom).size() + 30 + 10; z.central_order = {2, 1, 0}; },
     "media/" + kOverlap},
    {"record failure before an overlap", [](Zip& z) { z.entries[0].c_offset = 1; z.entries[2].method = 12; },
     "media/photo.jpg uses compression method 12, which is not supported"},
    // Extraction: the local header, the sizes, the checksum, the stream.
    {"Zip64 fields, flags and a local extra field as the directory has them", [](Zip& z) {
         Entry& e = z.entries[0];
         e.flags |= 8;
         e.c_usize = e.c_csize = e.c_offset = F32;
         e.c_extra = zip64_block({kGedcom.size(), deflate_raw(kGedcom).size(), 0});
         e.l_extra = zip64_block({1, 2});
     }, kGedcom, "gedcom.ged"},
    {"directory", same, "media/ is a directory, not a file", "media/"},
    {"missing", same, "the archive has no file named Gedcom.ged", "Gedcom.ged"},
    {"local signature wrong", [](Zip& z) { z.entries[2].l_signature = 0x04034b51; },
     "media/photo.jpg has no file header", "media/photo.jpg"},
    {"local flags differ", [](Zip& z) { z.entries[2].l_flags = 0; }, kDisagrees, "media/photo.jpg"},
    {"local method differs", [](Zip& z) { z.entries[2].l_method = 8; }, kDisagrees, "media/photo.jpg"},
    {"local name differs", [](Zip& z) { z.entries[2].l_name = "media/photo.JPG"; },
     "media/photo.jpg has a local name that disagrees with its directory record", "media/photo.jpg"},
    {"stored sizes differ", [](Zip& z) { z.entries[2].c_usize = 299; },
     "media/photo.jpg expanded to 300 bytes where the archive said 299", "media/photo.jpg"},
    {"one byte more than declared", plus({deflated(kTen, 9)}), "t.ged expands past the size the archive declared",
     "t.ged"},
    // A final stored block announcing 10 bytes that holds 4.
    {"stream cut short", plus({deflated(kTen, 10, std::string("\x01\x0a\x00\xf5\xff" "0123", 9))}),
     "t.ged expanded to 4 bytes where the archive said 10", "t.ged"},
    {"checksum wrong", [](Zip& z) { z.entries[0].c_crc = pellorine::gedzip::crc32(kGedcom) ^ 1; },
     "gedcom.ged failed its checksum", "gedcom.ged"},
    {"a huge entry",
     [](Zip& z) { z.entries.push_back(deflated(kTen, F32)); z.entries[3].c_extra = zip64_block({1ull << 50}); },
     "t.ged expanded to 10 bytes where the archive said 1125899906842624", "t.ged", kHuge},
    {"corrupt deflate stream", plus({deflated(kTen, 10, std::string(10, '\xFF'))}),
     "t.ged could not be decompressed: invalid block type", "t.ged"},
};

TEST(Archive, CaseTable) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.label);
        Zip z = base();
        c.mutate(z);
        const std::string bytes = z.build();
        auto a = Archive::open_with(bytes, c.limits);
        std::string got = why(a);
        if (!a) {
            EXPECT_TRUE(a.error().kind == pellorine::ErrorKind::Archive && a.error().line == 0);
        } else if (!c.read.empty()) {
            auto r = a->read(c.read);
            got = r ? *r : r.error().message;
        }
        EXPECT_EQ(got, c.want);
    }
}

// Bytes too short for an end record; the one offset sum no archive reaches (a
// failed cursor skips nothing); the signatures an archive may begin with.
TEST(Archive, ShortBytesOffsetOverflowAndSignatures) {
    for (const std::string bytes : {"", "0123456789abcdefghijk"})
        EXPECT_EQ(why(Archive::open(bytes)), "the file does not end like a ZIP archive");
    pellorine::gedzip::Cursor c("0123456789", MAX64 - 1);
    c.skip(1);
    EXPECT_EQ(c.offset(), MAX64);
    c.skip(1);
    EXPECT_EQ(why(c.status()), "an archive offset is too large");
    EXPECT_FALSE(Archive::looks_like_archive("PK\x03"));
    EXPECT_FALSE(Archive::looks_like_archive(std::string("PK\x01\x02", 4)));
    EXPECT_TRUE(Archive::looks_like_archive(std::string("PK\x03\x04", 4)));
    EXPECT_TRUE(Archive::looks_like_archive(Zip{}.build()));
}

TEST(Archive, TotalSizeSaturates) {
    Zip z;
    for (int i = 0; i < 4; ++i) z.entries.push_back(claim("part" + std::to_string(i), F32, 1));
    for (Entry& e : z.entries) e.c_extra = zip64_block({(1ull << 62) + (1ull << 61)});
    const std::string bytes = z.build();
    auto a = Archive::open_with(bytes, kHuge);
    ASSERT_TRUE(a) << a.error().message;
    EXPECT_EQ(a->total_size(), MAX64);
    EXPECT_EQ(why(Archive::open_with(bytes, {MAX64, MAX64, MAX64 - 1, MAX64})),
              "the archive expands to more than the 18446744073709551614 byte limit");
}

// Extraction into any sink in chunks of at most 64 KiB; a stored entry's data
// is a view into the archive; an entry changed by hand meets the bounds again.
TEST(Archive, CopyEntry) {
    std::string big;
    for (int i = 0; i < 300000; ++i) big += char('a' + (i * 7 + i / 13) % 26);
    Zip z;
    z.entries = {Entry("big.ged", big, 8), Entry("big.bin", big)};
    const std::string bytes = z.build();
    auto a = Archive::open(bytes);
    ASSERT_TRUE(a) << a.error().message;
    const auto sink_full = [](std::string_view) {
        return pellorine::fail(pellorine::GedcomError::archive("sink full"));
    };
    for (const auto& e : a->entries()) {
        std::string out;
        EXPECT_TRUE(a->copy_entry(e, [&](std::string_view chunk) -> pellorine::Result<void> {
            EXPECT_TRUE(!chunk.empty() && chunk.size() <= 65536u);
            out.append(chunk);
            return {};
        }) && out == big) << e.name;
        EXPECT_EQ(why(a->copy_entry(e, sink_full)), "sink full");
    }
    EXPECT_EQ(a->entry_data(a->entries()[1])->data(), bytes.data() + bytes.size() - 22 - 2 * (46 + 7) - 300000);
    ArchiveEntry changed = a->entries()[1];
    changed.uncompressed_size = 1001 * 300000;
    EXPECT_EQ(why(a->read_entry(changed)), "big.bin claims a compression ratio over the 1000-fold limit");
}

TEST(Archive, DocumentName) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"family.ged", "GEDCOM.GED"}, "GEDCOM.GED"},
        {{"Family.GED", "media/a.ged", "gedcom.ged.bak"}, "Family.GED"},
        {{"a.ged", "b.ged", "c.GED", "dir/gedcom.ged"}, "the archive holds 3 GEDCOM documents at its root and none "
                                                        "is named gedcom.ged, so which one is the tree is ambiguous"},
        {{"dir/gedcom.ged", "x.ged/", "tree.gedx"},
         "the archive holds no GEDCOM document at its root, so it is not a GEDZIP"},
    };
    for (const auto& [names, want] : cases) {
        Zip z;
        for (const auto& n : names) z.entries.push_back(Entry(n, ""));
        const std::string bytes = z.build();
        auto got = Archive::open(bytes)->document_name();
        EXPECT_EQ(got ? std::string(*got) : got.error().message, want) << names.front();
    }
}

// A source adopts its descriptor at the call: when its buffer cannot be had,
// the descriptor is closed rather than leaked.
TEST(ArchiveHostile, AFileSourceThatCannotBeMadeClosesItsDescriptor) {
    const int fd = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(fd, 0);
    fail_next = true;
    EXPECT_THROW(pellorine::gedzip::FileSource{fd}, std::bad_alloc);
    fail_next = false;
    errno = 0;
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
    EXPECT_EQ(errno, EBADF);
}

// The published GEDZIP files open, name gedcom.ged as their document and extract
// whole, every entry's size and checksum checked.
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
        for (const auto& e : a->entries()) EXPECT_TRUE(e.is_dir || a->read_entry(e)) << e.name;
    }
}

}  // namespace
