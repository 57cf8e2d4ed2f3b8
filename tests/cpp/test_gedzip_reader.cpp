// The archive reader against archives crafted record by record: every check
// of the central directory, of extraction and of finding the GEDCOM document.
#include "gedzip_reader.hpp"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <functional>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// The largest single allocation while tracking is on: the reader must not
// size its allocations by what an archive claims.
namespace alloc_probe {
bool tracking = false;
std::size_t largest = 0;
}  // namespace alloc_probe

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
    if (alloc_probe::tracking && n > alloc_probe::largest) alloc_probe::largest = n;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return ::operator new(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace ziptest {

inline void u16(std::string& o, std::uint16_t v) {
    o += char(v & 0xFF);
    o += char(v >> 8);
}
inline void u32(std::string& o, std::uint32_t v) {
    u16(o, std::uint16_t(v));
    u16(o, std::uint16_t(v >> 16));
}
inline void u64(std::string& o, std::uint64_t v) {
    u32(o, std::uint32_t(v));
    u32(o, std::uint32_t(v >> 32));
}

inline std::uint32_t crc(const std::string& s) {
    return std::uint32_t(::crc32_z(0, reinterpret_cast<const Bytef*>(s.data()), s.size()));
}

inline std::string deflate_raw(const std::string& in) {
    z_stream z{};
    if (deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("deflateInit2");
    std::string out(deflateBound(&z, uLong(in.size())) + 16, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = uInt(in.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// A Zip64 extra block (id 1) holding the given 8-byte values.
inline std::string zip64_block(std::vector<std::uint64_t> values, std::optional<std::uint16_t> declared = {}) {
    std::string o;
    u16(o, 1);
    u16(o, declared ? *declared : std::uint16_t(values.size() * 8));
    for (auto v : values) u64(o, v);
    return o;
}

struct Entry {
    std::string name;
    std::string content;  // uncompressed bytes
    std::uint16_t method = 0;  // 8: the builder deflates `content`
    std::uint16_t flags = 0x0800;
    std::uint32_t external = 0;

    // Central record overrides.
    std::optional<std::uint32_t> c_signature, c_crc, c_csize, c_usize, c_offset;
    std::optional<std::uint16_t> c_method, c_name_len, c_extra_len, c_comment_len;
    std::optional<std::string> c_name;
    std::string c_extra, c_comment;

    // Local header overrides.
    std::optional<std::uint32_t> l_signature;
    std::optional<std::uint16_t> l_flags, l_method, l_name_len;
    std::optional<std::string> l_name;
    std::string l_extra;
    std::optional<std::string> stored;  // the stored bytes, in place of the builder's own
};

struct Zip {
    std::vector<Entry> entries;
    std::string trailer;  // bytes after the end record (its comment length stays 0 unless set)
    std::vector<std::size_t> central_order;  // the central records' order by entry index; empty: as the entries
    std::optional<std::uint16_t> end_count, end_comment_len;
    std::optional<std::uint32_t> end_cd_size, end_cd_offset;

    // Zip64 end record and locator.
    bool zip64 = false;
    std::optional<std::uint64_t> z64_count, z64_cd_offset, z64_record_offset;
    std::optional<std::uint32_t> z64_signature, locator_signature;

    std::string build() const {
        std::string out, central;
        std::vector<std::string> records;
        for (const Entry& e : entries) {
            std::uint64_t offset = out.size();
            std::string stored = e.stored ? *e.stored : (e.method == 8 ? deflate_raw(e.content) : e.content);
            std::string lname = e.l_name ? *e.l_name : e.name;
            u32(out, e.l_signature.value_or(0x04034b50));
            u16(out, 20);
            u16(out, e.l_flags.value_or(e.flags));
            u16(out, e.l_method.value_or(e.method));
            u16(out, 0);
            u16(out, 0x21);
            u32(out, crc(e.content));
            u32(out, std::uint32_t(stored.size()));
            u32(out, std::uint32_t(e.content.size()));
            u16(out, e.l_name_len.value_or(std::uint16_t(lname.size())));
            u16(out, std::uint16_t(e.l_extra.size()));
            out += lname;
            out += e.l_extra;
            out += stored;

            std::string cname = e.c_name ? *e.c_name : e.name;
            std::string& rec = records.emplace_back();
            u32(rec, e.c_signature.value_or(0x02014b50));
            u16(rec, 20);
            u16(rec, 20);
            u16(rec, e.flags);
            u16(rec, e.c_method.value_or(e.method));
            u16(rec, 0);
            u16(rec, 0x21);
            u32(rec, e.c_crc.value_or(crc(e.content)));
            u32(rec, e.c_csize.value_or(std::uint32_t(stored.size())));
            u32(rec, e.c_usize.value_or(std::uint32_t(e.content.size())));
            u16(rec, e.c_name_len.value_or(std::uint16_t(cname.size())));
            u16(rec, e.c_extra_len.value_or(std::uint16_t(e.c_extra.size())));
            u16(rec, e.c_comment_len.value_or(std::uint16_t(e.c_comment.size())));
            u16(rec, 0);
            u16(rec, 0);
            u32(rec, e.external);
            u32(rec, e.c_offset.value_or(std::uint32_t(offset)));
            rec += cname;
            rec += e.c_extra;
            rec += e.c_comment;
        }
        for (std::size_t k = 0; k < records.size(); ++k)
            central += records[central_order.empty() ? k : central_order[k]];
        std::uint64_t cd_offset = out.size();
        out += central;
        if (zip64) {
            std::uint64_t record = out.size();
            u32(out, z64_signature.value_or(0x06064b50));
            u64(out, 44);
            u16(out, 45);
            u16(out, 45);
            u32(out, 0);
            u32(out, 0);
            u64(out, z64_count.value_or(entries.size()));
            u64(out, z64_count.value_or(entries.size()));
            u64(out, central.size());
            u64(out, z64_cd_offset.value_or(cd_offset));
            u32(out, locator_signature.value_or(0x07064b50));
            u32(out, 0);
            u64(out, z64_record_offset.value_or(record));
            u32(out, 1);
        }
        std::uint16_t count = end_count.value_or(zip64 ? 0xFFFF : std::uint16_t(entries.size()));
        // With `zip64` the end record's count says 0xFFFF; its size and offset stay real unless overridden.
        u32(out, 0x06054b50);
        u16(out, 0);
        u16(out, 0);
        u16(out, count);
        u16(out, count);
        u32(out, end_cd_size.value_or(std::uint32_t(central.size())));
        u32(out, end_cd_offset.value_or(std::uint32_t(cd_offset)));
        u16(out, end_comment_len.value_or(0));
        out += trailer;
        return out;
    }
};

}  // namespace ziptest

namespace {

using pellorine::Archive;
using pellorine::ErrorKind;
using pellorine::gedzip::ArchiveLimits;
using ziptest::Entry;
using ziptest::Zip;

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

Entry file(std::string name, std::string content = "x", std::uint16_t method = 0) {
    Entry e;
    e.name = std::move(name);
    e.content = std::move(content);
    e.method = method;
    return e;
}

// gedcom.ged (deflated), media/ (directory), media/photo.jpg (stored).
Zip base() {
    Zip z;
    Entry dir = file("media/", "");
    dir.external = 0x10;
    z.entries = {file("gedcom.ged", kGedcom, 8), dir, file("media/photo.jpg", kPhoto)};
    return z;
}

ArchiveLimits entries_limit(std::uint64_t n) {
    ArchiveLimits l;
    l.max_entries = n;
    return l;
}
ArchiveLimits total_limit(std::uint64_t n) {
    ArchiveLimits l;
    l.max_total_size = n;
    return l;
}
ArchiveLimits ratio_limit(std::uint64_t n) {
    ArchiveLimits l;
    l.max_ratio = n;
    return l;
}

const std::string kOverlap = " overlaps another file or the archive's directory";

std::string error_of(const std::string& bytes, const ArchiveLimits& limits = {}) {
    auto a = Archive::open_with(bytes, limits);
    if (a) return "";
    EXPECT_EQ(a.error().kind, ErrorKind::Archive);
    EXPECT_EQ(a.error().line, 0u);
    return a.error().message;
}

struct OpenCase {
    const char* label;
    std::function<void(Zip&)> mutate;
    std::string error;  // empty: the archive opens
    ArchiveLimits limits = {};
};

const std::vector<OpenCase> kOpenCases = {
    {"valid", [](Zip&) {}, ""},
    {"no entries", [](Zip& z) { z.entries.clear(); }, ""},
    {"count 0 ignores a wild directory offset", [](Zip& z) { z.entries.clear(); z.end_cd_offset = 0x7FFFFFFF; }, ""},
    // The end record and the Zip64 directory.
    {"zip64 end record", [](Zip& z) { z.zip64 = true; }, ""},
    {"zip64 trigger by offset", [](Zip& z) { z.zip64 = true; z.end_count = 3; z.end_cd_offset = 0xFFFFFFFF; }, ""},
    {"zip64 trigger by size", [](Zip& z) { z.zip64 = true; z.end_count = 3; z.end_cd_size = 0xFFFFFFFF; }, ""},
    {"zip64 count wins over the end record", [](Zip& z) { z.zip64 = true; z.end_count = 0xFFFF; z.z64_count = 1; }, ""},
    {"count 0xFFFF without locator", [](Zip& z) { z.end_count = 0xFFFF; },
     "the archive needs a Zip64 directory and has none"},
    {"offset 0xFFFFFFFF without locator", [](Zip& z) { z.end_cd_offset = 0xFFFFFFFF; },
     "the archive needs a Zip64 directory and has none"},
    {"size 0xFFFFFFFF without locator", [](Zip& z) { z.end_cd_size = 0xFFFFFFFF; },
     "the archive needs a Zip64 directory and has none"},
    {"end record too near the start for a locator", [](Zip& z) { z.entries.clear(); z.end_count = 0xFFFF; },
     "the archive needs a Zip64 directory and has none"},
    {"locator signature wrong", [](Zip& z) { z.zip64 = true; z.locator_signature = 0x07064b51; },
     "the archive needs a Zip64 directory and has none"},
    {"zip64 record signature wrong", [](Zip& z) { z.zip64 = true; z.z64_signature = 0x06064b51; },
     "the archive's Zip64 directory record is malformed"},
    {"zip64 record past the end", [](Zip& z) { z.zip64 = true; z.z64_record_offset = 1u << 30; },
     "the archive is truncated"},
    {"zip64 record offset near 2^64", [](Zip& z) { z.zip64 = true; z.z64_record_offset = ~std::uint64_t(0) - 2; },
     "the archive is truncated"},
    {"zip64 directory offset past the end", [](Zip& z) { z.zip64 = true; z.z64_cd_offset = 1ull << 40; },
     "the archive is truncated"},
    {"zip64 directory offset near 2^64", [](Zip& z) { z.zip64 = true; z.z64_cd_offset = ~std::uint64_t(0) - 10; },
     "the archive is truncated"},
    {"zip64 count over the limit", [](Zip& z) { z.zip64 = true; z.z64_count = 100001; },
     "the archive holds 100001 files and the limit is 100000"},
    {"zip64 count at the limit is read", [](Zip& z) { z.zip64 = true; z.z64_count = 100000; },
     "file 4 of the archive has no directory record"},
    {"zip64 count 2^64-1", [](Zip& z) { z.zip64 = true; z.z64_count = ~std::uint64_t(0); },
     "the archive holds 18446744073709551615 files and the limit is 100000"},
    {"count over a lower limit", [](Zip&) {}, "the archive holds 3 files and the limit is 2", entries_limit(2)},
    // Central-directory records.
    {"directory offset past the end", [](Zip& z) { z.end_cd_offset = 0x00FFFFFF; }, "the archive is truncated"},
    {"directory offset at a local header", [](Zip& z) { z.end_cd_offset = 0; },
     "file 1 of the archive has no directory record"},
    {"more records declared than present", [](Zip& z) { z.end_count = 4; },
     "file 4 of the archive has no directory record"},
    {"second record signature wrong", [](Zip& z) { z.entries[1].c_signature = 0x02014b51; },
     "file 2 of the archive has no directory record"},
    {"encrypted", [](Zip& z) { z.entries[2].flags |= 1; }, "encrypted entries are not supported"},
    {"data descriptor flag is fine", [](Zip& z) { z.entries[2].flags |= 8; }, ""},
    {"name runs past the end", [](Zip& z) { z.entries[2].c_name_len = 0xFFFF; }, "the archive is truncated"},
    {"extra runs past the end", [](Zip& z) { z.entries[2].c_extra_len = 0xFFFF; }, "the archive is truncated"},
    {"comment of the last record is not checked", [](Zip& z) { z.entries[2].c_comment_len = 0xFFFF; }, ""},
    {"record comment is skipped", [](Zip& z) { z.entries[0].c_comment = "a comment"; }, ""},
    {"comment length skews the next record", [](Zip& z) { z.entries[0].c_comment_len = 3; },
     "file 2 of the archive has no directory record"},
    {"name not UTF-8 (0xFF)", [](Zip& z) { z.entries[2].name = "media/\xFF.jpg"; },
     "a file in the archive has a name that is not valid UTF-8"},
    {"name not UTF-8 (overlong)", [](Zip& z) { z.entries[2].name = "media/\xC0\xAF.jpg"; },
     "a file in the archive has a name that is not valid UTF-8"},
    {"name not UTF-8 (surrogate)", [](Zip& z) { z.entries[2].name = "media/\xED\xA0\x80.jpg"; },
     "a file in the archive has a name that is not valid UTF-8"},
    {"name not UTF-8 (cut sequence)", [](Zip& z) { z.entries[2].name = "media/a\xE2\x82"; },
     "a file in the archive has a name that is not valid UTF-8"},
    {"name not UTF-8 (past U+10FFFF)", [](Zip& z) { z.entries[2].name = "\xF4\x90\x80\x80"; },
     "a file in the archive has a name that is not valid UTF-8"},
    {"name UTF-8 (four bytes)", [](Zip& z) { z.entries[2].name = "media/\xF0\x9F\x93\xB7.jpg"; }, ""},
    {"symbolic link", [](Zip& z) { z.entries[2].external = 0xA1FF0000; },
     "the archive contains a symbolic link (media/photo.jpg), which is not extracted"},
    {"unix regular file mode", [](Zip& z) { z.entries[2].external = 0x81A40000; }, ""},
    // Path rules on every name.
    {"empty name", [](Zip& z) { z.entries[2].name = ""; }, "the archive contains a file with no name"},
    {"absolute", [](Zip& z) { z.entries[2].name = "/etc/passwd"; }, "/etc/passwd is an absolute path"},
    {"parent component", [](Zip& z) { z.entries[2].name = "media/../../x.jpg"; },
     "media/../../x.jpg contains an unsafe path component"},
    {"backslash", [](Zip& z) { z.entries[2].name = "media\\x.jpg"; },
     "media\\x.jpg uses a backslash, which a ZIP path may not"},
    {"drive letter", [](Zip& z) { z.entries[2].name = "C:/x.jpg"; },
     "C:/x.jpg contains a character that is unsafe in a portable path"},
    {"control character", [](Zip& z) { z.entries[2].name = "media/a\tb.jpg"; },
     "the archive contains a control character in a file path"},
    {"C1 control character", [](Zip& z) { z.entries[2].name = "media/a\xC2\x85" "b.jpg"; },
     "the archive contains a control character in a file path"},
    {"device name", [](Zip& z) { z.entries[2].name = "media/CON.jpg"; },
     "media/CON.jpg contains a path component that is unsafe on Windows"},
    {"name of 4097 bytes", [](Zip& z) { z.entries[2].name = std::string(4097, 'a'); },
     "the archive contains a file with an unreasonably long path"},
    {"name of 4096 bytes", [](Zip& z) { z.entries[2].name = std::string(4096, 'a'); }, ""},
    // Duplicates, and which failure wins when several records fail.
    {"same path in another case", [](Zip& z) { z.entries.push_back(file("GEDCOM.GED")); },
     "the archive contains the same path more than once (GEDCOM.GED)"},
    {"directory and file of one name", [](Zip& z) { z.entries.push_back(file("media")); },
     "the archive contains the same path more than once (media)"},
    {"exact duplicate", [](Zip& z) { z.entries.push_back(file("media/photo.jpg")); },
     "the archive contains the same path more than once (media/photo.jpg)"},
    {"non-ASCII letters are not folded", [](Zip& z) { z.entries.push_back(file("\xC3\x89.txt")); z.entries.push_back(file("\xC3\xA9.txt")); }, ""},
    {"earliest duplicate is named", [](Zip& z) {
         z.entries.push_back(file("b"));
         z.entries.push_back(file("Media/Photo.JPG"));
         z.entries.push_back(file("B"));
     }, "the archive contains the same path more than once (Media/Photo.JPG)"},
    {"duplicate before a bad path", [](Zip& z) {
         z.entries.push_back(file("Gedcom.ged"));
         z.entries.push_back(file("../x"));
     }, "the archive contains the same path more than once (Gedcom.ged)"},
    {"bad path before a duplicate", [](Zip& z) {
         z.entries.push_back(file("../x"));
         z.entries.push_back(file("Gedcom.ged"));
     }, "../x contains an unsafe path component"},
    {"duplicate before its own bound failure", [](Zip& z) {
         Entry e = file("GEDCOM.ged");
         e.c_usize = 5000;
         e.c_csize = 1;
         z.entries.push_back(e);
     }, "the archive contains the same path more than once (GEDCOM.ged)"},
    {"bound failure before a later duplicate", [](Zip& z) {
         Entry e = file("big.bin");
         e.c_usize = 5000;
         e.c_csize = 1;
         z.entries.push_back(e);
         z.entries.push_back(file("GEDCOM.ged"));
     }, "big.bin claims a compression ratio over the 1000-fold limit"},
    {"duplicate key of a failed record is not counted", [](Zip& z) {
         z.entries.push_back(file("x\t"));
         z.entries.push_back(file("x\t"));
     }, "the archive contains a control character in a file path"},
    // Per-entry bounds, total size and method.
    {"entry of exactly 1 GiB", [](Zip& z) { z.entries[2].c_usize = 1073741824; }, "", ratio_limit(4000000)},
    {"entry one byte over 1 GiB", [](Zip& z) { z.entries[2].c_usize = 1073741825; z.entries[2].c_csize = 1073742; },
     "media/photo.jpg expands to 1073741825 bytes and the per-file limit is 1073741824"},
    {"ratio of exactly 1000", [](Zip& z) { z.entries[2].c_usize = 1000; z.entries[2].c_csize = 1; }, ""},
    {"ratio over 1000", [](Zip& z) { z.entries[2].c_usize = 1001; z.entries[2].c_csize = 1; },
     "media/photo.jpg claims a compression ratio over the 1000-fold limit"},
    {"something from nothing", [](Zip& z) { z.entries[2].c_usize = 1; z.entries[2].c_csize = 0; },
     "media/photo.jpg claims a compression ratio over the 1000-fold limit"},
    {"empty entry from anything", [](Zip& z) { z.entries[2].c_usize = 0; }, ""},
    {"total at the limit", [](Zip&) {}, "", total_limit(kGedcom.size() + kPhoto.size())},
    {"total one byte over the limit", [](Zip&) {},
     "the archive expands to more than the " + std::to_string(kGedcom.size() + kPhoto.size() - 1) + " byte limit",
     total_limit(kGedcom.size() + kPhoto.size() - 1)},
    {"total over 4 GiB", [](Zip& z) {
         for (int i = 0; i < 5; ++i) {
             Entry e = file("part" + std::to_string(i));
             e.c_usize = 1000000000;
             e.c_csize = 1000000;
             z.entries.push_back(e);
         }
     }, "the archive expands to more than the 4294967296 byte limit"},
    {"unsupported method", [](Zip& z) { z.entries[2].method = 12; },
     "media/photo.jpg uses compression method 12, which is not supported"},
    {"method checked after the bounds", [](Zip& z) { z.entries[2].method = 14; z.entries[2].c_usize = 1; z.entries[2].c_csize = 0; },
     "media/photo.jpg claims a compression ratio over the 1000-fold limit"},
    // Zip64 extra fields in central records.
    {"zip64 uncompressed size from its block", [](Zip& z) {
         z.entries[2].c_usize = 0xFFFFFFFF;
         z.entries[2].c_extra = ziptest::zip64_block({kPhoto.size()});
     }, ""},
    {"zip64 block empty keeps 0xFFFFFFFF", [](Zip& z) {
         z.entries[2].c_usize = 0xFFFFFFFF;
         z.entries[2].c_extra = ziptest::zip64_block({});
     }, "media/photo.jpg expands to 4294967295 bytes and the per-file limit is 1073741824"},
    {"zip64 block shorter than declared", [](Zip& z) {
         z.entries[2].c_usize = 0xFFFFFFFF;
         std::string b = ziptest::zip64_block({kPhoto.size()}, 16);
         z.entries[2].c_extra = b.substr(0, 8);
     }, "media/photo.jpg expands to 4294967295 bytes and the per-file limit is 1073741824"},
    {"zip64 block after another block", [](Zip& z) {
         z.entries[2].c_usize = 0xFFFFFFFF;
         z.entries[2].c_extra = std::string("\x55\x54\x05\x00\x01\x02\x03\x04\x05", 9) + ziptest::zip64_block({kPhoto.size()});
     }, ""},
    {"only the first zip64 block counts", [](Zip& z) {
         z.entries[2].c_usize = 0xFFFFFFFF;
         z.entries[2].c_extra = ziptest::zip64_block({}) + ziptest::zip64_block({kPhoto.size()});
     }, "media/photo.jpg expands to 4294967295 bytes and the per-file limit is 1073741824"},
    {"block with a size past the extra", [](Zip& z) {
         z.entries[2].c_usize = 0xFFFFFFFF;
         z.entries[2].c_extra = std::string("\x55\x54\xFF\xFF", 4);
     }, "media/photo.jpg expands to 4294967295 bytes and the per-file limit is 1073741824"},
    // Records laid over one another or over the central directory.
    {"two directory records share one local header", [](Zip& z) { z.entries[2].c_offset = 0; },
     "gedcom.ged" + kOverlap},
    {"many directory records share one local header", [](Zip& z) {
         for (int i = 0; i < 50; ++i) {
             Entry e = file("copy" + std::to_string(i) + ".ged", "", 0);
             e.stored = "";
             e.c_offset = 0;
             e.c_method = 8;
             e.c_csize = std::uint32_t(ziptest::deflate_raw(kGedcom).size());
             e.c_usize = std::uint32_t(kGedcom.size());
             e.c_crc = ziptest::crc(kGedcom);
             z.entries.push_back(e);
         }
     }, "gedcom.ged" + kOverlap},
    {"stored bytes run one byte into the next local header", [](Zip& z) {
         z.entries[0].c_csize = std::uint32_t(ziptest::deflate_raw(kGedcom).size() + 1);
     }, "gedcom.ged" + kOverlap},
    {"stored bytes end where the next local header begins", [](Zip& z) {
         z.entries[0].c_csize = std::uint32_t(ziptest::deflate_raw(kGedcom).size());
     }, ""},
    {"local name shorter than the directory's, nothing in its place", [](Zip& z) {
         z.entries[2].l_name = "media/photo.jp";
     }, "media/photo.jpg" + kOverlap},
    {"local name longer than the directory's", [](Zip& z) { z.entries[0].l_name = "gedcom.ged.x"; }, ""},
    {"a gap between records is allowed", [](Zip& z) { z.entries[2].c_csize = 299; z.entries[2].c_usize = 299; }, ""},
    {"local header inside another record", [](Zip& z) { z.entries[0].c_offset = 1; }, "gedcom.ged" + kOverlap},
    {"local header inside the previous record's data", [](Zip& z) { z.entries[2].c_offset = 100; },
     "gedcom.ged" + kOverlap},
    {"stored bytes run one byte into the central directory", [](Zip& z) {
         z.entries[2].c_csize = 301;
         z.entries[2].c_usize = 301;
     }, "media/photo.jpg" + kOverlap},
    {"stored bytes run far past the end", [](Zip& z) {
         z.entries[2].c_csize = 0x00FFFFFF;
         z.entries[2].c_usize = 0x00FFFFFF;
     }, "media/photo.jpg" + kOverlap},
    {"empty entry whose stored size runs past the end", [](Zip& z) {
         z.entries[2].c_usize = 0;
         z.entries[2].c_csize = 0x7FFFFFFF;
     }, "media/photo.jpg" + kOverlap},
    {"local header past the end", [](Zip& z) { z.entries[2].c_offset = 0x7FFFFFFF; }, "media/photo.jpg" + kOverlap},
    {"local header past the end of a Zip64 archive", [](Zip& z) {
         z.zip64 = true;
         z.entries[1].c_offset = 0xFFFFFFFF;
         z.entries[1].c_extra = ziptest::zip64_block({1ull << 40});
     }, "media/" + kOverlap},
    {"Zip64 offset that shares a local header", [](Zip& z) {
         z.entries[2].c_offset = 0xFFFFFFFF;
         z.entries[2].c_extra = ziptest::zip64_block({0});
     }, "gedcom.ged" + kOverlap},
    {"Zip64 stored size near 2^64", [](Zip& z) {
         z.entries[2].c_csize = 0xFFFFFFFF;
         z.entries[2].c_usize = 0;
         z.entries[2].c_extra = ziptest::zip64_block({~std::uint64_t(0)});
     }, "media/photo.jpg" + kOverlap},
    {"directory records in reverse order", [](Zip& z) { z.central_order = {2, 1, 0}; }, ""},
    {"directory records out of order", [](Zip& z) {
         z.entries.push_back(file("notes.txt", "some notes"));
         z.central_order = {3, 0, 2, 1};
     }, ""},
    {"out of order and sharing a local header", [](Zip& z) {
         z.entries[0].c_offset = std::uint32_t(ziptest::deflate_raw(kGedcom).size() + 30 + 10);  // media/'s header
         z.central_order = {2, 1, 0};
     }, "media/" + kOverlap},
    {"duplicate before an overlap", [](Zip& z) {
         Entry e = file("GEDCOM.GED");
         e.c_offset = 0;
         z.entries.push_back(e);
     }, "the archive contains the same path more than once (GEDCOM.GED)"},
    {"record failure before an overlap", [](Zip& z) {
         z.entries[0].c_offset = 1;
         z.entries[2].name = "media/../x.jpg";
     }, "media/../x.jpg contains an unsafe path component"},
    {"bound failure before an overlap", [](Zip& z) {
         z.entries[0].c_offset = 1;
         z.entries[2].c_usize = 301 * 1000;
     }, "media/photo.jpg claims a compression ratio over the 1000-fold limit"},
    {"method failure before an overlap", [](Zip& z) {
         z.entries[0].c_offset = 1;
         z.entries[2].method = 12;
     }, "media/photo.jpg uses compression method 12, which is not supported"},
    // Where the end record is looked for.
    {"trailing bytes after the end record", [](Zip& z) { z.trailer = std::string(67562, 'x'); }, ""},
    {"end record one byte too far from the end", [](Zip& z) { z.trailer = std::string(67563, 'x'); },
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

TEST(ArchiveOpen, EntriesAsRead) {
    Zip z = base();
    z.entries[2].flags |= 8;
    const std::string a_bytes = z.build();
    auto a = Archive::open(a_bytes);
    ASSERT_TRUE(a) << a.error().message;
    ASSERT_EQ(a->entries().size(), 3u);
    const auto& ged = a->entries()[0];
    EXPECT_EQ(ged.name, "gedcom.ged");
    EXPECT_EQ(ged.method, 8);
    EXPECT_EQ(ged.uncompressed_size, kGedcom.size());
    EXPECT_EQ(ged.compressed_size, ziptest::deflate_raw(kGedcom).size());
    EXPECT_EQ(ged.crc32, ziptest::crc(kGedcom));
    EXPECT_EQ(ged.local_header_offset, 0u);
    EXPECT_EQ(ged.flags, 0x0800);
    EXPECT_FALSE(ged.is_dir);
    EXPECT_TRUE(a->entries()[1].is_dir);
    const auto& photo = a->entries()[2];
    EXPECT_EQ(photo.flags, 0x0808);
    EXPECT_EQ(photo.method, 0);
    EXPECT_EQ(photo.compressed_size, kPhoto.size());
    EXPECT_EQ(a->total_size(), kGedcom.size() + kPhoto.size());
    EXPECT_EQ(a->limits().max_ratio, 1000u);
}

TEST(ArchiveOpen, Zip64FieldsFromTheExtraBlock) {
    Zip z = base();
    const std::string bytes0 = z.build();
    auto plain = Archive::open(bytes0);
    ASSERT_TRUE(plain);
    const auto photo = plain->entries()[2];
    // All three fields overflow: the block holds them in the order uncompressed, compressed, offset.
    z.entries[2].c_usize = 0xFFFFFFFF;
    z.entries[2].c_csize = 0xFFFFFFFF;
    z.entries[2].c_offset = 0xFFFFFFFF;
    z.entries[2].c_extra = ziptest::zip64_block({photo.uncompressed_size, photo.compressed_size, photo.local_header_offset});
    z.zip64 = true;
    const std::string bytes = z.build();
    auto a = Archive::open(bytes);
    ASSERT_TRUE(a) << a.error().message;
    EXPECT_EQ(a->entries()[2].uncompressed_size, photo.uncompressed_size);
    EXPECT_EQ(a->entries()[2].compressed_size, photo.compressed_size);
    EXPECT_EQ(a->entries()[2].local_header_offset, photo.local_header_offset);
    auto data = a->read("media/photo.jpg");
    ASSERT_TRUE(data) << data.error().message;
    EXPECT_EQ(*data, kPhoto);
}

struct ExtraCase {
    const char* label;
    std::string extra;
    std::uint64_t usize, csize, offset;     // before
    std::uint64_t usize2, csize2, offset2;  // after
};

TEST(ArchiveOpen, ReadZip64Extra) {
    using ziptest::zip64_block;
    constexpr std::uint64_t F = 0xFFFFFFFF;
    const std::vector<ExtraCase> cases = {
        {"no block", "", F, F, F, F, F, F},
        {"only the overflowed field", zip64_block({7}), 1, F, 3, 1, 7, 3},
        {"all three", zip64_block({7, 8, 9}), F, F, F, 7, 8, 9},
        {"uncompressed and offset", zip64_block({7, 9}), F, 2, F, 7, 2, 9},
        {"room for one", zip64_block({7}), F, F, F, 7, F, F},
        {"declared size 8 over 16 bytes present", zip64_block({7, 8}, 8), F, F, 3, 7, F, 3},
        {"declared 16 with 12 present", zip64_block({7, 8}, 16).substr(0, 16), F, F, 3, 7, F, 3},
        {"header cut short", std::string("\x01\x00\x08", 3), F, F, F, F, F, F},
        {"skip other blocks", std::string("\x0a\x00\x02\x00zz", 6) + zip64_block({5}), F, 0, 0, 5, 0, 0},
        {"fields not at 0xFFFFFFFF ignore the block", zip64_block({5, 6, 7}), 1, 2, 3, 1, 2, 3},
        {"values over 32 bits", zip64_block({1ull << 40}), F, 1, 1, 1ull << 40, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        std::uint64_t u = c.usize, k = c.csize, o = c.offset;
        pellorine::gedzip::read_zip64_extra(c.extra, u, k, o);
        EXPECT_EQ(u, c.usize2);
        EXPECT_EQ(k, c.csize2);
        EXPECT_EQ(o, c.offset2);
    }
}

TEST(ArchiveOpen, BoundedAccess) {
    namespace g = pellorine::gedzip;
    const std::string bytes = "0123456789";
    EXPECT_EQ(*g::slice(bytes, 0, 10), bytes);
    EXPECT_EQ(*g::slice(bytes, 10, 0), "");
    EXPECT_EQ(g::slice(bytes, 11, 0).error().message, "the archive is truncated");
    EXPECT_EQ(g::slice(bytes, 5, 6).error().message, "the archive is truncated");
    EXPECT_EQ(g::slice(bytes, 5, ~std::uint64_t(0)).error().message, "the archive is truncated");
    EXPECT_EQ(g::slice(bytes, ~std::uint64_t(0), 2).error().message, "the archive is truncated");
    EXPECT_EQ(*g::read_u16(bytes, 8), 0x3938);
    EXPECT_EQ(g::read_u16(bytes, 9).error().message, "the archive is truncated");
    EXPECT_EQ(*g::read_u64(bytes, 2), 0x3938373635343332ull);
    EXPECT_EQ(g::read_u64(bytes, 3).error().message, "the archive is truncated");
    EXPECT_EQ(*g::checked_offset(~std::uint64_t(0) - 1, 1), ~std::uint64_t(0));
    EXPECT_EQ(g::checked_offset(~std::uint64_t(0), 1).error().message, "an archive offset is too large");
    EXPECT_EQ(g::checked_offset(~std::uint64_t(0), 1).error().kind, ErrorKind::Archive);
}

TEST(ArchiveOpen, EndRecordSearch) {
    // An end record's signature inside the comment of the real one: the copy nearest the end wins.
    Zip z = base();
    std::string fake;
    ziptest::u32(fake, 0x06054b50);
    fake += std::string(18, '\0');  // count 0
    z.end_comment_len = std::uint16_t(fake.size() + 3);
    z.trailer = fake + "abc";
    const std::string a_bytes = z.build();
    auto a = Archive::open(a_bytes);
    ASSERT_TRUE(a) << a.error().message;
    EXPECT_TRUE(a->entries().empty());

    // The comment length is not compared with what follows.
    Zip y = base();
    y.end_comment_len = 500;
    const std::string b_bytes = y.build();
    auto b = Archive::open(b_bytes);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->entries().size(), 3u);

    for (std::size_t n : {0, 1, 21}) {
        SCOPED_TRACE(n);
        EXPECT_EQ(error_of(std::string(n, '\0')), "the file does not end like a ZIP archive");
    }
    // The bare 22-byte end record is an empty archive.
    const std::string empty_bytes = Zip{}.build();
    auto empty = Archive::open(empty_bytes);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->total_size(), 0u);
    EXPECT_EQ(empty->document_name().error().message,
              "the archive holds no GEDCOM document at its root, so it is not a GEDZIP");
}

TEST(ArchiveOpen, LooksLikeArchive) {
    EXPECT_FALSE(Archive::looks_like_archive(""));
    EXPECT_FALSE(Archive::looks_like_archive("PK\x03"));
    EXPECT_TRUE(Archive::looks_like_archive(std::string("PK\x03\x04", 4)));
    EXPECT_TRUE(Archive::looks_like_archive(std::string("PK\x05\x06", 4)));
    EXPECT_FALSE(Archive::looks_like_archive(std::string("PK\x01\x02rest", 8)));
    EXPECT_FALSE(Archive::looks_like_archive("0 HEAD\n"));
    EXPECT_TRUE(Archive::looks_like_archive(base().build()));
    EXPECT_TRUE(Archive::looks_like_archive(Zip{}.build()));
}

TEST(ArchiveOpen, TotalSizeSaturates) {
    // Four entries of 2^62 + 2^61 bytes each under limits that let them through.
    ArchiveLimits loose;
    loose.max_entry_size = ~std::uint64_t(0);
    loose.max_total_size = ~std::uint64_t(0);
    loose.max_ratio = ~std::uint64_t(0);
    Zip z;
    for (int i = 0; i < 4; ++i) {
        Entry e = file("part" + std::to_string(i));
        e.c_usize = 0xFFFFFFFF;
        e.c_extra = ziptest::zip64_block({(1ull << 62) + (1ull << 61)});
        z.entries.push_back(e);
    }
    const std::string a_bytes = z.build();
    auto a = Archive::open_with(a_bytes, loose);
    ASSERT_TRUE(a) << a.error().message;
    EXPECT_EQ(a->total_size(), ~std::uint64_t(0));
}

TEST(ArchiveOpen, EntryCountBoundary) {
    // 100000 entries open under the default limits; the reserve does not follow the claimed count.
    Zip z;
    z.entries.reserve(100000);
    for (int i = 0; i < 100000; ++i) z.entries.push_back(file(std::string("f").append(std::to_string(i)), ""));
    z.zip64 = true;
    const std::string bytes = z.build();
    auto a = Archive::open(bytes);
    ASSERT_TRUE(a) << a.error().message;
    EXPECT_EQ(a->entries().size(), 100000u);
    EXPECT_EQ(a->entries().back().name, "f99999");
    EXPECT_EQ(a->total_size(), 0u);

    z.entries.push_back(file("f100000", ""));
    EXPECT_EQ(error_of(z.build()), "the archive holds 100001 files and the limit is 100000");
}

// Extraction of one entry, after a successful opening.
struct ReadCase {
    const char* label;
    std::function<void(Zip&)> mutate;
    std::string name;   // the entry to read
    std::string error;  // empty: the entry reads as `want`
    std::string want = {};
};

const std::string kTen = "0123456789";

const std::vector<ReadCase> kReadCases = {
    {"deflated", [](Zip&) {}, "gedcom.ged", "", kGedcom},
    {"stored", [](Zip&) {}, "media/photo.jpg", "", kPhoto},
    {"empty stored", [](Zip& z) { z.entries.push_back(file("empty.txt", "")); }, "empty.txt", "", ""},
    {"empty deflated", [](Zip& z) { z.entries.push_back(file("empty.ged", "", 8)); }, "empty.ged", "", ""},
    {"local extra field skipped", [](Zip& z) { z.entries[2].l_extra = ziptest::zip64_block({1, 2}); }, "media/photo.jpg", "", kPhoto},
    {"data descriptor flag on both headers", [](Zip& z) { z.entries[0].flags |= 8; }, "gedcom.ged", "", kGedcom},
    {"trailing bytes after the deflate stream", [](Zip& z) {
         z.entries.push_back(file("t.ged", kTen, 8));
         z.entries.back().stored = ziptest::deflate_raw(kTen) + "junk";
     }, "t.ged", "", kTen},
    {"directory", [](Zip&) {}, "media/", "media/ is a directory, not a file"},
    {"missing", [](Zip&) {}, "Gedcom.ged", "the archive has no file named Gedcom.ged"},
    // The local header.
    {"local signature wrong", [](Zip& z) { z.entries[2].l_signature = 0x04034b51; }, "media/photo.jpg",
     "media/photo.jpg has no file header"},
    {"local flags differ", [](Zip& z) { z.entries[2].l_flags = 0; }, "media/photo.jpg",
     "media/photo.jpg has a local header that disagrees with its directory record"},
    {"local method differs", [](Zip& z) { z.entries[0].l_method = 0; }, "gedcom.ged",
     "gedcom.ged has a local header that disagrees with its directory record"},
    {"local name differs", [](Zip& z) { z.entries[2].l_name = "media/photo.JPG"; }, "media/photo.jpg",
     "media/photo.jpg has a local name that disagrees with its directory record"},
    {"local name shorter", [](Zip& z) {
         z.entries[2].l_name = "media/photo.jp";
         z.entries[2].l_extra = "x";  // the record keeps the length its directory record gives it
     }, "media/photo.jpg", "media/photo.jpg has a local name that disagrees with its directory record"},
    {"local name runs past the end", [](Zip& z) { z.entries[2].l_name_len = 0xFFFF; }, "media/photo.jpg",
     "media/photo.jpg has a local name that disagrees with its directory record"},
    // Sizes and checksums.
    {"stored sizes differ", [](Zip& z) { z.entries[2].c_usize = 299; }, "media/photo.jpg",
     "media/photo.jpg expanded to 300 bytes where the archive said 299"},
    {"stored sizes differ the other way", [](Zip& z) { z.entries[2].c_csize = 299; }, "media/photo.jpg",
     "media/photo.jpg expanded to 299 bytes where the archive said 300"},
    {"deflated one byte more than declared", [](Zip& z) {
         z.entries.push_back(file("t.ged", kTen, 8));
         z.entries.back().c_usize = 9;
     }, "t.ged", "t.ged expands past the size the archive declared"},
    {"deflated one byte fewer than declared", [](Zip& z) {
         z.entries.push_back(file("t.ged", kTen, 8));
         z.entries.back().c_usize = 11;
     }, "t.ged", "t.ged expanded to 10 bytes where the archive said 11"},
    {"deflated to nothing where something was declared", [](Zip& z) {
         z.entries.push_back(file("t.ged", "", 8));
         z.entries.back().c_usize = 1;
     }, "t.ged", "t.ged expanded to 0 bytes where the archive said 1"},
    {"deflated far more than declared", [](Zip& z) {
         z.entries.push_back(file("t.ged", std::string(200000, 'a'), 8));
         z.entries.back().c_usize = 70000;
     }, "t.ged", "t.ged expands past the size the archive declared"},
    {"stream cut short", [](Zip& z) {
         z.entries.push_back(file("t.ged", kGedcom, 8));
         std::string d = ziptest::deflate_raw(kGedcom);
         z.entries.back().stored = d.substr(0, d.size() / 2);
     }, "t.ged", "@expanded to"},
    {"checksum wrong (deflated)", [](Zip& z) { z.entries[0].c_crc = ziptest::crc(kGedcom) ^ 1; }, "gedcom.ged",
     "gedcom.ged failed its checksum"},
    {"checksum wrong (stored)", [](Zip& z) { z.entries[2].c_crc = 0; }, "media/photo.jpg",
     "media/photo.jpg failed its checksum"},
    {"corrupt deflate stream", [](Zip& z) {
         z.entries.push_back(file("t.ged", kTen, 8));
         z.entries.back().stored = std::string(10, '\xFF');
     }, "t.ged", "@t.ged could not be decompressed: "},
    {"entry bound again at extraction", [](Zip& z) {
         z.entries.push_back(file("t.ged", kTen, 8));
     }, "t.ged", "", kTen},
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
        if (c.error.empty()) {
            ASSERT_TRUE(got) << got.error().message;
            EXPECT_EQ(*got, c.want);
        } else {
            ASSERT_FALSE(got);
            EXPECT_EQ(got.error().kind, ErrorKind::Archive);
            if (c.error[0] == '@')
                EXPECT_NE(got.error().message.find(c.error.substr(1)), std::string::npos) << got.error().message;
            else
                EXPECT_EQ(got.error().message, c.error);
        }
    }
}

TEST(ArchiveRead, BoundsCheckedAgainAtExtraction) {
    // An entry opened under one set of limits and extracted by hand-made entry
    // data sees the per-entry test again before anything is read.
    const std::string a_bytes = base().build();
    auto a = Archive::open(a_bytes);
    ASSERT_TRUE(a);
    pellorine::gedzip::ArchiveEntry e = a->entries()[2];
    e.uncompressed_size = 2000000;
    EXPECT_EQ(a->read_entry(e).error().message, "media/photo.jpg claims a compression ratio over the 1000-fold limit");
    e.uncompressed_size = 1073741825;
    EXPECT_EQ(a->read_entry(e).error().message,
              "media/photo.jpg expands to 1073741825 bytes and the per-file limit is 1073741824");
    e = a->entries()[2];
    e.method = 9;
    EXPECT_EQ(a->read_entry(e).error().message, "media/photo.jpg has a local header that disagrees with its directory record");
}

TEST(ArchiveRead, EntriesMadeByHandAreCheckedAgainstTheBytes) {
    // Opening refuses records that point outside their own room; an entry
    // changed afterwards still meets every check of extraction.
    const std::string bytes = base().build();
    auto a = Archive::open(bytes);
    ASSERT_TRUE(a);
    struct Case {
        const char* label;
        std::function<void(pellorine::gedzip::ArchiveEntry&)> change;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"local header past the end", [](auto& e) { e.local_header_offset = 0x7FFFFFFF; }, "the archive is truncated"},
        {"local header offset near 2^64", [](auto& e) { e.local_header_offset = ~std::uint64_t(0) - 1; },
         "the archive is truncated"},
        {"local header of another entry", [](auto& e) { e.local_header_offset = 0; },
         "media/photo.jpg has a local header that disagrees with its directory record"},
        {"inside another record", [](auto& e) { e.local_header_offset = 1; }, "media/photo.jpg has no file header"},
        {"stored bytes past the end", [](auto& e) { e.compressed_size = e.uncompressed_size = 0x00FFFFFF; },
         "the archive is truncated"},
        {"stored bytes near 2^64", [](auto& e) { e.compressed_size = ~std::uint64_t(0); e.uncompressed_size = 0; },
         "the archive is truncated"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        pellorine::gedzip::ArchiveEntry e = a->entries()[2];
        c.change(e);
        auto got = a->read_entry(e);
        ASSERT_FALSE(got);
        EXPECT_EQ(got.error().message, c.error);
    }
}

TEST(ArchiveRead, CopyEntryInChunksAndSinkFailure) {
    std::string big;
    for (int i = 0; i < 300000; ++i) big += char('a' + (i * 7 + i / 13) % 26);
    Zip z;
    z.entries = {file("big.ged", big, 8), file("big.bin", big)};
    const std::string bytes = z.build();
    auto a = Archive::open(bytes);
    ASSERT_TRUE(a) << a.error().message;
    for (const auto& e : a->entries()) {
        SCOPED_TRACE(e.name);
        std::string out;
        std::size_t calls = 0;
        auto ok = a->copy_entry(e, [&](std::string_view chunk) -> pellorine::Result<void> {
            EXPECT_LE(chunk.size(), 65536u);
            EXPECT_FALSE(chunk.empty());
            ++calls;
            out.append(chunk);
            return {};
        });
        ASSERT_TRUE(ok) << ok.error().message;
        EXPECT_EQ(out, big);
        EXPECT_GE(calls, 5u);
        auto stopped = a->copy_entry(e, [](std::string_view) -> pellorine::Result<void> {
            return pellorine::fail(pellorine::GedcomError::archive("sink full"));
        });
        ASSERT_FALSE(stopped);
        EXPECT_EQ(stopped.error().message, "sink full");
    }
    // A stored entry's data is a view into the archive's own bytes.
    auto view = a->entry_data(a->entries()[1]);
    ASSERT_TRUE(view);
    EXPECT_GE(view->data(), bytes.data());
    EXPECT_LE(view->data() + view->size(), bytes.data() + bytes.size());
    EXPECT_EQ(*view, big);
}

struct DocumentCase {
    std::vector<std::string> names;
    std::string want;  // a name, or "!" then the error
};

TEST(ArchiveDocument, CaseTable) {
    const std::vector<DocumentCase> cases = {
        {{"gedcom.ged"}, "gedcom.ged"},
        {{"family.ged", "GEDCOM.GED"}, "GEDCOM.GED"},
        {{"GedCom.Ged", "gedcom.ged.bak"}, "GedCom.Ged"},
        {{"family.ged"}, "family.ged"},
        {{"Family.GED", "media/a.ged"}, "Family.GED"},
        {{"media/gedcom.ged", "tree.ged"}, "tree.ged"},
        {{"a.ged", "b.ged"},
         "!the archive holds 2 GEDCOM documents at its root and none is named gedcom.ged, so which one is the tree is ambiguous"},
        {{"a.ged", "b.ged", "c.GED", "dir/gedcom.ged"},
         "!the archive holds 3 GEDCOM documents at its root and none is named gedcom.ged, so which one is the tree is ambiguous"},
        {{"a.ged", "gedcom.ged", "b.ged"}, "gedcom.ged"},
        {{"dir/gedcom.ged"}, "!the archive holds no GEDCOM document at its root, so it is not a GEDZIP"},
        {{"x.ged/"}, "!the archive holds no GEDCOM document at its root, so it is not a GEDZIP"},
        {{".ged"}, ".ged"},
        {{"ged", "tree.gedx", "notes.txt"}, "!the archive holds no GEDCOM document at its root, so it is not a GEDZIP"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.names.front());
        Zip z;
        for (const auto& n : c.names) z.entries.push_back(file(n, ""));
        const std::string bytes = z.build();
        auto a = Archive::open(bytes);
        ASSERT_TRUE(a) << a.error().message;
        auto got = a->document_name();
        if (c.want[0] == '!') {
            ASSERT_FALSE(got);
            EXPECT_EQ(got.error().message, c.want.substr(1));
        } else {
            ASSERT_TRUE(got) << got.error().message;
            EXPECT_EQ(*got, c.want);
        }
    }
}

// Runs `f` and returns the largest single allocation it made.
template <class F>
std::size_t largest_allocation(F&& f) {
    alloc_probe::largest = 0;
    alloc_probe::tracking = true;
    f();
    alloc_probe::tracking = false;
    return alloc_probe::largest;
}

TEST(ArchiveHostile, AllocationsDoNotFollowClaims) {
    constexpr std::size_t kSmall = 256 * 1024;
    {
        // 100000 entries claimed, three present.
        Zip z = base();
        z.zip64 = true;
        z.z64_count = 100000;
        const std::string bytes = z.build();
        EXPECT_LT(largest_allocation([&] { (void)Archive::open(bytes); }), kSmall);
    }
    {
        // An entry claiming 1 GiB (with a compressed size to match the ratio)
        // whose bytes are absent: refused at opening, and when made by hand,
        // at extraction.
        Zip z = base();
        z.entries[2].c_usize = 1073741824;
        z.entries[2].c_csize = 1073742;
        const std::string bytes = z.build();
        std::string message;
        EXPECT_LT(largest_allocation([&] { message = Archive::open(bytes).error().message; }), kSmall);
        EXPECT_EQ(message, "media/photo.jpg" + kOverlap);
        const std::string good = base().build();
        auto a = Archive::open(good);
        ASSERT_TRUE(a) << a.error().message;
        pellorine::gedzip::ArchiveEntry e = a->entries()[2];
        e.uncompressed_size = 1073741824;
        e.compressed_size = 1073742;
        EXPECT_LT(largest_allocation([&] { message = a->read_entry(e).error().message; }), kSmall);
        EXPECT_EQ(message, "the archive is truncated");
    }
    {
        // A deflated entry claiming 1 GiB that yields little: the output is
        // reserved up to 16 MiB at most, whatever the claim.
        Zip z;
        z.entries = {file("claim.ged", "", 8)};
        z.entries[0].stored = ziptest::deflate_raw(kTen) + std::string(1073742, 'x');
        z.entries[0].c_usize = 1073741824;
        const std::string bytes = z.build();
        auto a = Archive::open(bytes);
        ASSERT_TRUE(a) << a.error().message;
        std::string message;
        EXPECT_LE(largest_allocation([&] { message = a->read("claim.ged").error().message; }), 16u * 1024 * 1024 + 65536);
        EXPECT_EQ(message, "claim.ged expanded to 10 bytes where the archive said 1073741824");
    }
    {
        // A deflated entry that really holds 50 MB of zeros but declares 100 bytes:
        // extraction stops one byte past the claim.
        const std::string zeros(50 * 1024 * 1024, '\0');
        Zip z;
        z.entries = {file("zeros.txt", "", 8)};
        z.entries[0].stored = ziptest::deflate_raw(zeros);
        z.entries[0].c_usize = 100;
        z.entries[0].c_crc = ziptest::crc(zeros);
        const std::string bytes = z.build();
        auto a = Archive::open(bytes);
        ASSERT_TRUE(a) << a.error().message;
        std::string message;
        EXPECT_LT(largest_allocation([&] { message = a->read("zeros.txt").error().message; }), kSmall);
        EXPECT_EQ(message, "zeros.txt expands past the size the archive declared");
    }
}

TEST(ArchiveHostile, RealDeflateBombIsRefusedAtOpening) {
    // Zeros deflate at about 1030 to 1: past the ratio bound, refused before anything is inflated.
    const std::string zeros(20 * 1024 * 1024, '\0');
    Zip z;
    z.entries = {file("zeros.txt", zeros, 8)};
    const std::string bytes = z.build();
    EXPECT_EQ(error_of(bytes), "zeros.txt claims a compression ratio over the 1000-fold limit");
    // Under a looser ratio it opens and extracts exactly.
    ArchiveLimits loose;
    loose.max_ratio = 2000;
    auto a = Archive::open_with(bytes, loose);
    ASSERT_TRUE(a) << a.error().message;
    auto got = a->read("zeros.txt");
    ASSERT_TRUE(got) << got.error().message;
    EXPECT_EQ(got->size(), zeros.size());
}

TEST(ArchiveHostile, OverlappingFilesBombIsRefusedAtOpening) {
    // One local record of 1 MiB named by 4000 directory records: each passes
    // the per-entry bounds and together they stay under the total, yet they
    // would extract the same bytes 4000 times.
    std::string kernel;
    std::uint32_t x = 12345;
    for (int i = 0; i < (1 << 20); ++i) {
        x = x * 1103515245u + 12345u;
        kernel += char('a' + (x >> 16) % 26);
    }
    const std::string stored = ziptest::deflate_raw(kernel);
    Zip z;
    z.entries = {file("kernel.txt", kernel, 8)};
    for (int i = 1; i < 4000; ++i) {
        Entry e = file(std::string("k").append(std::to_string(i)).append(".txt"), "");
        e.c_offset = 0;
        e.c_method = 8;
        e.c_csize = std::uint32_t(stored.size());
        e.c_usize = std::uint32_t(kernel.size());
        e.c_crc = ziptest::crc(kernel);
        z.entries.push_back(e);
    }
    z.central_order.resize(z.entries.size());
    for (std::size_t i = 0; i < z.entries.size(); ++i) z.central_order[i] = z.entries.size() - 1 - i;
    const std::string bytes = z.build();
    // In directory order the kernel's own record comes last; the first of its
    // namesakes in the directory is the one whose record runs into the next.
    EXPECT_EQ(error_of(bytes), "k3999.txt" + kOverlap);
    z.entries.resize(1);
    z.central_order.clear();
    const std::string single = z.build();
    auto a = Archive::open(single);
    ASSERT_TRUE(a) << a.error().message;
    EXPECT_EQ(*a->read("kernel.txt"), kernel);
}

TEST(ArchiveHostile, ManyRecordsInShuffledOrderOpen) {
    // Records listed in an order unrelated to where their bytes lie are sound.
    Zip z;
    for (int i = 0; i < 20000; ++i)
        z.entries.push_back(file(std::string("f").append(std::to_string(i)).append(".txt"), std::to_string(i)));
    z.central_order.resize(z.entries.size());
    for (std::size_t i = 0; i < z.entries.size(); ++i) z.central_order[i] = (i * 7919) % z.entries.size();
    const std::string bytes = z.build();
    auto a = Archive::open(bytes);
    ASSERT_TRUE(a) << a.error().message;
    ASSERT_EQ(a->entries().size(), 20000u);
    EXPECT_EQ(a->entries()[1].name, "f7919.txt");
    EXPECT_EQ(*a->read("f7919.txt"), "7919");
    // One record pointing at its neighbour's header spoils it.
    z.entries[7919].c_offset = 0;
    EXPECT_EQ(error_of(z.build()), "f0.txt" + kOverlap);
}

TEST(ArchiveHostile, CollidingNamesStayFast) {
    // Many names that differ only in case from earlier ones: the first repeat is named.
    Zip z;
    for (int i = 0; i < 20000; ++i) z.entries.push_back(file(std::string("dir/n").append(std::to_string(i)), ""));
    z.entries.push_back(file("DIR/N19999", ""));
    z.entries.push_back(file("DIR/N5", ""));
    z.zip64 = false;
    const std::string bytes = z.build();
    EXPECT_EQ(error_of(bytes), "the archive contains the same path more than once (DIR/N19999)");
}

}  // namespace
