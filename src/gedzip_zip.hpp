// The ZIP records of a GEDZIP archive, written and read through one
// description of each. A record's fixed part is a struct whose `fields`
// hands its fields over in the order they lie in the file: `put` writes them
// in that order and `Cursor::read` reads them back in the same order, so each
// layout is stated once. All integers are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "error.hpp"

namespace pellorine::gedzip {

// ---------------------------------------------------------------------------
// Values of the records' fields

inline constexpr std::uint32_t local_header_signature = 0x04034B50;
inline constexpr std::uint32_t central_record_signature = 0x02014B50;
inline constexpr std::uint32_t end_record_signature = 0x06054B50;
inline constexpr std::uint32_t zip64_end_record_signature = 0x06064B50;
inline constexpr std::uint32_t zip64_locator_signature = 0x07064B50;

inline constexpr std::uint16_t version_default = 20;   // version needed, and made by, without Zip64
inline constexpr std::uint16_t version_zip64 = 45;     // the same with a Zip64 field
inline constexpr std::uint16_t flag_encrypted = 0x0001;
inline constexpr std::uint16_t flag_utf8 = 0x0800;     // the only flag written: the name is UTF-8
inline constexpr std::uint16_t method_stored = 0;
inline constexpr std::uint16_t method_deflated = 8;
inline constexpr std::uint16_t dos_time = 0;
inline constexpr std::uint16_t dos_date = 0x0021;      // 1 January 1980
inline constexpr std::uint16_t zip64_extra_id = 0x0001;
inline constexpr std::uint32_t directory_attribute = 0x10;
inline constexpr std::uint32_t symlink_file_type = 0xA;   // a Unix mode's file type, external attributes >> 28
inline constexpr std::uint32_t max_u32 = 0xFFFFFFFF;     // a 32-bit field at this value defers to Zip64
inline constexpr std::uint16_t max_u16 = 0xFFFF;

// ---------------------------------------------------------------------------
// Record layouts (the fixed part; the variable parts follow as noted). Each
// field is named as the ZIP format names it; a default is the value this
// system writes.

// Local file header, then the name, then the extra field, then the stored bytes.
struct LocalHeader {
    std::uint32_t signature = local_header_signature;
    std::uint16_t version_needed = version_default;
    std::uint16_t flags = flag_utf8;
    std::uint16_t method = method_stored;
    std::uint16_t time = dos_time;
    std::uint16_t date = dos_date;
    std::uint32_t crc32 = 0;
    std::uint32_t compressed_size = 0;
    std::uint32_t uncompressed_size = 0;
    std::uint16_t name_length = 0;
    std::uint16_t extra_length = 0;

    // Hands every field of `r` to `f`, in file order.
    template <class R, class F>
    static constexpr void fields(R& r, F&& f) {
        f(r.signature), f(r.version_needed), f(r.flags), f(r.method), f(r.time), f(r.date), f(r.crc32),
            f(r.compressed_size), f(r.uncompressed_size), f(r.name_length), f(r.extra_length);
    }
};

// Central-directory record, then the name, then the extra field, then the comment.
struct CentralRecord {
    std::uint32_t signature = central_record_signature;
    std::uint16_t version_made = version_default;   // upper byte 0
    std::uint16_t version_needed = version_default;
    std::uint16_t flags = flag_utf8;
    std::uint16_t method = method_stored;
    std::uint16_t time = dos_time;
    std::uint16_t date = dos_date;
    std::uint32_t crc32 = 0;
    std::uint32_t compressed_size = 0;
    std::uint32_t uncompressed_size = 0;
    std::uint16_t name_length = 0;
    std::uint16_t extra_length = 0;
    std::uint16_t comment_length = 0;
    std::uint16_t disk_start = 0;
    std::uint16_t internal_attributes = 0;
    std::uint32_t external_attributes = 0;
    std::uint32_t local_header_offset = 0;

    // Hands every field of `r` to `f`, in file order.
    template <class R, class F>
    static constexpr void fields(R& r, F&& f) {
        f(r.signature), f(r.version_made), f(r.version_needed), f(r.flags), f(r.method), f(r.time), f(r.date),
            f(r.crc32), f(r.compressed_size), f(r.uncompressed_size), f(r.name_length), f(r.extra_length),
            f(r.comment_length), f(r.disk_start), f(r.internal_attributes), f(r.external_attributes),
            f(r.local_header_offset);
    }
};

// The header of one block of an extra field, then `size` bytes of data.
struct ExtraHeader {
    std::uint16_t id = zip64_extra_id;
    std::uint16_t size = 0;

    // Hands every field of `r` to `f`, in file order.
    template <class R, class F>
    static constexpr void fields(R& r, F&& f) {
        f(r.id), f(r.size);
    }
};

// End-of-central-directory record, then the archive comment.
struct EndRecord {
    std::uint32_t signature = end_record_signature;
    std::uint16_t disk = 0;
    std::uint16_t directory_disk = 0;
    std::uint16_t disk_entries = 0;
    std::uint16_t entries = 0;
    std::uint32_t directory_size = 0;
    std::uint32_t directory_offset = 0;
    std::uint16_t comment_length = 0;

    // Hands every field of `r` to `f`, in file order.
    template <class R, class F>
    static constexpr void fields(R& r, F&& f) {
        f(r.signature), f(r.disk), f(r.directory_disk), f(r.disk_entries), f(r.entries), f(r.directory_size),
            f(r.directory_offset), f(r.comment_length);
    }
};

// Zip64 end-of-central-directory record.
struct Zip64EndRecord {
    std::uint32_t signature = zip64_end_record_signature;
    std::uint64_t rest_size = 44;   // the bytes after this field
    std::uint16_t version_made = version_zip64;
    std::uint16_t version_needed = version_zip64;
    std::uint32_t disk = 0;
    std::uint32_t directory_disk = 0;
    std::uint64_t disk_entries = 0;
    std::uint64_t entries = 0;
    std::uint64_t directory_size = 0;
    std::uint64_t directory_offset = 0;

    // Hands every field of `r` to `f`, in file order.
    template <class R, class F>
    static constexpr void fields(R& r, F&& f) {
        f(r.signature), f(r.rest_size), f(r.version_made), f(r.version_needed), f(r.disk), f(r.directory_disk),
            f(r.disk_entries), f(r.entries), f(r.directory_size), f(r.directory_offset);
    }
};

// Zip64 end-of-central-directory locator, right before the end record.
struct Zip64Locator {
    std::uint32_t signature = zip64_locator_signature;
    std::uint32_t disk = 0;
    std::uint64_t end_record_offset = 0;
    std::uint32_t disks = 1;

    // Hands every field of `r` to `f`, in file order.
    template <class R, class F>
    static constexpr void fields(R& r, F&& f) {
        f(r.signature), f(r.disk), f(r.end_record_offset), f(r.disks);
    }
};

// The length of a record's fixed part.
template <class Record>
constexpr std::size_t record_size() {
    std::size_t n = 0;
    const Record r{};
    Record::fields(r, [&](const auto& f) { n += sizeof f; });
    return n;
}

// Where `member` ends inside its record's fixed part.
template <class Record, class T>
constexpr std::size_t field_end(T Record::*member) {
    std::size_t at = 0, end = 0;
    const Record r{};
    Record::fields(r, [&](const auto& f) {
        at += sizeof f;
        if constexpr (std::is_same_v<std::remove_cvref_t<decltype(f)>, T>)
            if (&f == &(r.*member)) end = at;
    });
    return end;
}

static_assert(record_size<LocalHeader>() == 30 && record_size<CentralRecord>() == 46 &&
              record_size<EndRecord>() == 22 && record_size<Zip64EndRecord>() == 56 &&
              record_size<Zip64Locator>() == 20 && record_size<ExtraHeader>() == 4);

// ---------------------------------------------------------------------------
// Writing

// Appends one little-endian integer.
template <class T>
    requires std::is_unsigned_v<T>
void put(std::string& out, T v) {
    for (std::size_t i = 0; i < sizeof v; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// Appends a record's fixed part, field by field.
template <class Record>
    requires std::is_class_v<Record>
void put(std::string& out, const Record& r) {
    Record::fields(r, [&](auto v) { put(out, v); });
}

// The CRC-32 of ZIP, continued from `crc` (0 to start).
std::uint32_t crc32(std::string_view bytes, std::uint32_t crc = 0);

// True when a local header needs the Zip64 field: either size is 0xFFFFFFFF or more.
bool local_needs_zip64(std::uint64_t uncompressed, std::uint64_t compressed);

// A Zip64 extra field holding the present values in order (id 1, data size
// 8 x their number capped at 65535); no present value gives an empty field.
std::string zip64_extra(std::span<const std::optional<std::uint64_t>> values);

// A whole local file header: fixed part, name, extra field. With `zip64` both
// 32-bit size fields hold 0xFFFFFFFF and a Zip64 field holds both sizes.
std::string local_header_bytes(std::string_view name, std::uint16_t method, std::uint32_t crc,
                               std::uint64_t uncompressed, std::uint64_t compressed, bool zip64);

// A whole central-directory record. Sizes and offset of 0xFFFFFFFF or more go
// into its Zip64 extra field (uncompressed, compressed, offset, those that
// overflowed); the record then carries versions 45, else 20.
std::string central_record_bytes(std::string_view name, std::uint16_t method, std::uint32_t crc,
                                 std::uint64_t uncompressed, std::uint64_t compressed,
                                 std::uint64_t local_header_offset);

// The end-of-central-directory record, with entry count, size and offset capped.
std::string end_record_bytes(std::uint64_t entries, std::uint64_t central_size, std::uint64_t central_offset);
// The Zip64 end record with the exact entry count, size and offset.
std::string zip64_end_record_bytes(std::uint64_t entries, std::uint64_t central_size, std::uint64_t central_offset);
// The Zip64 locator pointing at the Zip64 end record.
std::string zip64_locator_bytes(std::uint64_t zip64_end_offset);

// ---------------------------------------------------------------------------
// Reading

// Reads an archive's bytes front to back, every read checked against their
// end. A read that does not fit fails the cursor with "the archive is
// truncated", a move whose offset overflows with "an archive offset is too
// large"; a failed cursor reads nothing more and yields zeros.
class Cursor {
public:
    explicit Cursor(std::string_view data, std::uint64_t offset = 0) : data_(data), offset_(offset) {}

    // One little-endian integer.
    template <class T>
        requires std::is_unsigned_v<T>
    T take() {
        const std::string_view b = bytes(sizeof(T));
        T v = 0;
        for (std::size_t i = 0; i < b.size(); ++i) v |= static_cast<T>(static_cast<unsigned char>(b[i])) << (8 * i);
        return v;
    }

    // Fills a record's fixed part field by field; a field that does not fit,
    // and every one after it, is 0. Returns how many of its bytes were read.
    template <class Record>
        requires std::is_class_v<Record>
    std::size_t read(Record& r) {
        std::size_t got = 0;
        Record::fields(r, [&](auto& f) {
            f = take<std::remove_cvref_t<decltype(f)>>();
            if (ok()) got += sizeof f;
        });
        return got;
    }

    // The next `n` bytes, a view into the data.
    std::string_view bytes(std::uint64_t n);
    // Moves past `n` bytes without reading them; the next read checks the bounds.
    void skip(std::uint64_t n);

    // True while no read or move has failed.
    bool ok() const { return status_ == Status::fine; }
    // Success, or the failure that stopped the cursor.
    Result<void> status() const;
    // The offset of the next byte.
    std::uint64_t offset() const { return offset_; }
    // The bytes left from the offset to the end (0 past the end, and once failed).
    std::uint64_t remaining() const { return ok() && offset_ < data_.size() ? data_.size() - offset_ : 0; }

private:
    enum class Status { fine, truncated, overflow };
    std::string_view data_;
    std::uint64_t offset_;
    Status status_ = Status::fine;
};

// Fills the fields that hold 0xFFFFFFFF from the first Zip64 block (id 1) of
// a central record's extra field, in the order uncompressed, compressed,
// offset; a field the block has no room for keeps its value.
void read_zip64_extra(std::string_view extra, std::uint64_t& uncompressed, std::uint64_t& compressed,
                      std::uint64_t& local_header_offset);

}  // namespace pellorine::gedzip
