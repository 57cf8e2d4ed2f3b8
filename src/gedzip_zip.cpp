// The ZIP records: the CRC-32, whole records as bytes, and the bounded cursor
// that reads them back.
#include "gedzip_zip.hpp"

#include <zlib.h>

#include <initializer_list>

namespace pellorine::gedzip {

std::uint32_t crc32(std::string_view bytes, std::uint32_t crc) {
    return static_cast<std::uint32_t>(
        ::crc32_z(crc, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
}

namespace {

std::uint32_t cap32(std::uint64_t v) { return v >= max_u32 ? max_u32 : static_cast<std::uint32_t>(v); }
std::uint16_t cap16(std::uint64_t v) { return v >= max_u16 ? max_u16 : static_cast<std::uint16_t>(v); }

// A record's fixed part followed by its variable parts, in file order.
template <class Record>
std::string record_bytes(const Record& r, std::initializer_list<std::string_view> rest = {}) {
    std::size_t size = record_size<Record>();
    for (std::string_view part : rest) size += part.size();
    std::string out;
    out.reserve(size);
    put(out, r);
    for (std::string_view part : rest) out += part;
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------
// Writing

bool local_needs_zip64(std::uint64_t uncompressed, std::uint64_t compressed) {
    return uncompressed >= max_u32 || compressed >= max_u32;
}

std::string zip64_extra(std::span<const std::optional<std::uint64_t>> values) {
    std::string data;
    for (const auto& v : values)
        if (v) put(data, *v);
    if (data.empty()) return {};
    return record_bytes(ExtraHeader{zip64_extra_id, cap16(data.size())}, {data});
}

std::string local_header_bytes(std::string_view name, std::uint16_t method, std::uint32_t crc,
                               std::uint64_t uncompressed, std::uint64_t compressed, bool zip64) {
    std::string extra;
    if (zip64) {
        const std::optional<std::uint64_t> both[2] = {uncompressed, compressed};
        extra = zip64_extra(both);
    }
    LocalHeader h;
    h.version_needed = zip64 ? version_zip64 : version_default;
    h.method = method;
    h.crc32 = crc;
    h.compressed_size = zip64 ? max_u32 : cap32(compressed);
    h.uncompressed_size = zip64 ? max_u32 : cap32(uncompressed);
    h.name_length = cap16(name.size());
    h.extra_length = cap16(extra.size());
    return record_bytes(h, {name, extra});
}

std::string central_record_bytes(std::string_view name, std::uint16_t method, std::uint32_t crc,
                                 std::uint64_t uncompressed, std::uint64_t compressed,
                                 std::uint64_t local_header_offset) {
    const auto over = [](std::uint64_t v) { return v >= max_u32 ? std::optional<std::uint64_t>(v) : std::nullopt; };
    const std::optional<std::uint64_t> wide[3] = {over(uncompressed), over(compressed), over(local_header_offset)};
    const std::string extra = zip64_extra(wide);
    CentralRecord r;
    r.version_made = r.version_needed = extra.empty() ? version_default : version_zip64;
    r.method = method;
    r.crc32 = crc;
    r.compressed_size = cap32(compressed);
    r.uncompressed_size = cap32(uncompressed);
    r.name_length = cap16(name.size());
    r.extra_length = cap16(extra.size());
    r.external_attributes = name.ends_with('/') ? directory_attribute : 0;
    r.local_header_offset = cap32(local_header_offset);
    return record_bytes(r, {name, extra});
}

std::string end_record_bytes(std::uint64_t entries, std::uint64_t central_size, std::uint64_t central_offset) {
    EndRecord r;
    r.disk_entries = r.entries = cap16(entries);
    r.directory_size = cap32(central_size);
    r.directory_offset = cap32(central_offset);
    return record_bytes(r);
}

std::string zip64_end_record_bytes(std::uint64_t entries, std::uint64_t central_size, std::uint64_t central_offset) {
    Zip64EndRecord r;
    r.disk_entries = r.entries = entries;
    r.directory_size = central_size;
    r.directory_offset = central_offset;
    return record_bytes(r);
}

std::string zip64_locator_bytes(std::uint64_t zip64_end_offset) {
    Zip64Locator r;
    r.end_record_offset = zip64_end_offset;
    return record_bytes(r);
}

// ---------------------------------------------------------------------------
// Reading

std::string_view Cursor::bytes(std::uint64_t n) {
    if (!ok()) return {};
    if (n > remaining() || offset_ > data_.size()) {
        status_ = Status::truncated;
        return {};
    }
    const std::string_view out = data_.substr(static_cast<std::size_t>(offset_), static_cast<std::size_t>(n));
    offset_ += n;
    return out;
}

void Cursor::skip(std::uint64_t n) {
    if (!ok()) return;
    if (n > UINT64_MAX - offset_) {
        status_ = Status::overflow;
        return;
    }
    offset_ += n;
}

Result<void> Cursor::status() const {
    switch (status_) {
    case Status::fine:
        return {};
    case Status::truncated:
        return fail(GedcomError::archive("the archive is truncated"));
    case Status::overflow:
        break;
    }
    return fail(GedcomError::archive("an archive offset is too large"));
}

void read_zip64_extra(std::string_view extra, std::uint64_t& uncompressed, std::uint64_t& compressed,
                      std::uint64_t& local_header_offset) {
    Cursor blocks(extra);
    while (blocks.remaining() >= record_size<ExtraHeader>()) {
        ExtraHeader h;
        blocks.read(h);
        // A block may declare more than the field holds: it ends with the field.
        Cursor data(blocks.bytes(std::min<std::uint64_t>(h.size, blocks.remaining())));
        if (h.id != zip64_extra_id) continue;
        // Only the first Zip64 block counts.
        for (std::uint64_t* field : {&uncompressed, &compressed, &local_header_offset}) {
            if (*field != max_u32) continue;
            if (data.remaining() < sizeof(std::uint64_t)) break;
            *field = data.take<std::uint64_t>();
        }
        return;
    }
}

}  // namespace pellorine::gedzip
