// The archive writer: entries added whole, the central directory and end
// records at `finish`, and the one-shot `write_archive`.
#include <zlib.h>

#include <algorithm>
#include <optional>

#include "gedzip_internal.hpp"
#include "gedzip_writer.hpp"
#include "gedzip_zip.hpp"

namespace pellorine::gedzip {
namespace {

// Raw DEFLATE at level 6 into a buffer one byte shorter than the input: the
// compressed form is kept only when strictly smaller, so running out of room
// means "store". Any compressor failure also means "store".
std::optional<std::string> deflate_if_smaller(std::string_view data) {
    if (data.size() < 2) return std::nullopt;   // nothing compresses below one byte
    z_stream zs{};
    if (deflate_start(zs) != Z_OK) return std::nullopt;
    constexpr std::size_t step = std::size_t{1} << 30;   // zlib counts in 32 bits
    bool ok = false;
    std::string out;
    out.resize_and_overwrite(data.size() - 1, [&](char* buf, std::size_t room) -> std::size_t {
        std::size_t in_done = 0, out_done = 0;
        for (;;) {
            if (out_done == room) return 0;
            const std::size_t in_chunk = std::min(data.size() - in_done, step);
            const std::size_t out_chunk = std::min(room - out_done, step);
            zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + in_done));
            zs.avail_in = static_cast<uInt>(in_chunk);
            zs.next_out = reinterpret_cast<Bytef*>(buf + out_done);
            zs.avail_out = static_cast<uInt>(out_chunk);
            const int flush = in_done + in_chunk == data.size() ? Z_FINISH : Z_NO_FLUSH;
            const int rc = deflate(&zs, flush);
            const std::size_t used_in = in_chunk - zs.avail_in;
            const std::size_t used_out = out_chunk - zs.avail_out;
            in_done += used_in;
            out_done += used_out;
            if (rc == Z_STREAM_END) {
                ok = true;
                return out_done;
            }
            if ((rc != Z_OK && rc != Z_BUF_ERROR) || (used_in == 0 && used_out == 0)) return 0;
        }
    });
    deflateEnd(&zs);
    if (!ok) return std::nullopt;
    return out;
}

// One entry's bytes as they go into the archive: deflated when the name asks
// for it and that makes them smaller without passing the reader's ratio
// bound, else as they are.
struct Packed {
    std::uint32_t crc;
    std::uint16_t method;
    std::optional<std::string> deflated;
    std::string_view data;

    std::string_view stored() const { return deflated ? std::string_view(*deflated) : data; }
};

Packed pack(std::string_view name, std::string_view data, std::uint64_t max_ratio) {
    Packed p{crc32(data), method_stored, std::nullopt, data};
    if (should_deflate(name)) p.deflated = deflate_if_smaller(data);
    // Bytes that expand past the ratio bound would be refused when read back.
    if (p.deflated && !within_ratio(data.size(), p.deflated->size(), max_ratio)) p.deflated.reset();
    if (p.deflated) p.method = method_deflated;
    return p;
}

// What a poisoned writer answers; `refused` says what it will not do.
GedcomError poisoned_refusal(std::string_view refused) {
    return GedcomError::archive(
        "a previous write to this archive's sink failed, so the sink may hold a partial record; " +
        std::string(refused));
}

}  // namespace

Result<std::string> read_bounded(ByteSource& source, std::uint64_t limit, std::string_view name) {
    std::string out;
    out.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(limit, max_reserve)));
    const std::uint64_t most = saturating_add(limit, 1);
    while (out.size() < most) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(most - out.size(), chunk_size));
        const std::size_t old = out.size();
        Result<std::size_t> got = 0;
        out.resize_and_overwrite(old + want, [&](char* buf, std::size_t) -> std::size_t {
            got = read_entry_bytes(source, buf + old, want, name);
            return got ? old + std::min(*got, want) : old;
        });
        if (!got) return fail(got.error());
        if (*got == 0) break;
    }
    if (out.size() > limit) return fail(too_large(name, limit));
    return out;
}

// ---------------------------------------------------------------------------
// ArchiveWriter

template <ArchiveSink Sink>
Result<std::string> ArchiveWriter<Sink>::admit(std::string_view name) const {
    if (poisoned_) return fail(poisoned_refusal("no further entries can be added"));
    if (auto v = validate_entry_path(name); !v) return fail(v.error());
    std::string key = dedupe_key(name);
    if (paths_.contains(key)) return fail(duplicate_path(name));
    if (paths_.size() >= limits_.max_entries) {
        return fail(GedcomError::archive("the archive already holds " + std::to_string(paths_.size()) +
                                         " files and the limit is " + std::to_string(limits_.max_entries)));
    }
    return key;
}

template <ArchiveSink Sink>
Result<void> ArchiveWriter<Sink>::admit_size(std::string_view name, std::uint64_t size) const {
    if (size > limits_.max_entry_size) return fail(too_large(name, limits_.max_entry_size));
    return check_directory_is_empty(name, size);
}

template <ArchiveSink Sink>
Result<void> ArchiveWriter<Sink>::write_all(std::string_view bytes) {
    if (auto w = sink_.write_all(bytes); !w) {
        poisoned_ = true;
        return fail(not_written(w.error().text));
    }
    return {};
}

template <ArchiveSink Sink>
Result<bool> ArchiveWriter<Sink>::write_local_header(std::string_view name, std::uint16_t method, std::uint32_t crc,
                                                      std::uint64_t uncompressed, std::uint64_t compressed) {
    const bool zip64 = local_needs_zip64(uncompressed, compressed);
    if (auto w = write_all(local_header_bytes(name, method, crc, uncompressed, compressed, zip64)); !w)
        return fail(w.error());
    return zip64;
}

template <ArchiveSink Sink>
void ArchiveWriter<Sink>::record_entry(std::string_view name, std::string key, std::uint16_t method,
                                       std::uint32_t crc, std::uint64_t uncompressed, std::uint64_t compressed,
                                       std::uint64_t offset) {
    central_ += central_record_bytes(name, method, crc, uncompressed, compressed, offset);
    paths_.insert(std::move(key));
}

template <ArchiveSink Sink>
Result<void> ArchiveWriter<Sink>::store_entry(std::string_view name, std::string key, std::string_view data) {
    const Packed p = pack(name, data, limits_.max_ratio);
    const std::uint64_t offset = sink_.count;
    if (auto h = write_local_header(name, p.method, p.crc, data.size(), p.stored().size()); !h)
        return fail(h.error());
    if (auto w = write_all(p.stored()); !w) return w;
    record_entry(name, std::move(key), p.method, p.crc, data.size(), p.stored().size(), offset);
    return {};
}

template <ArchiveSink Sink>
Result<void> ArchiveWriter<Sink>::add(std::string_view name, std::string_view data) {
    auto key = admit(name);
    if (!key) return fail(key.error());
    // The bytes are already whole in memory: the bounded read reduces to the length test.
    if (auto s = admit_size(name, data.size()); !s) return s;
    return store_entry(name, std::move(*key), data);
}

template <ArchiveSink Sink>
Result<void> ArchiveWriter<Sink>::add(std::string_view name, ByteSource& source) {
    auto key = admit(name);
    if (!key) return fail(key.error());
    auto data = read_bounded(source, limits_.max_entry_size, name);
    if (!data) return fail(data.error());
    if (auto d = check_directory_is_empty(name, data->size()); !d) return d;
    return store_entry(name, std::move(*key), *data);
}

template <ArchiveSink Sink>
Result<Sink> ArchiveWriter<Sink>::finish() && {
    if (poisoned_) return fail(poisoned_refusal("the archive cannot be finished"));
    const std::uint64_t offset = sink_.count;
    const std::uint64_t size = central_.size();
    const std::uint64_t entries = paths_.size();
    if (auto w = write_all(central_); !w) return fail(w.error());
    std::string().swap(central_);
    if (offset >= max_u32 || entries >= max_u16 || size >= max_u32) {
        const std::uint64_t zip64_offset = sink_.count;
        std::string records = zip64_end_record_bytes(entries, size, offset);
        records += zip64_locator_bytes(zip64_offset);
        if (auto w = write_all(records); !w) return fail(w.error());
    }
    if (auto w = write_all(end_record_bytes(entries, size, offset)); !w) return fail(w.error());
    if (auto f = sink_.inner.flush(); !f)
        return fail(GedcomError::archive("the archive could not be flushed: " + f.error().text));
    return std::move(sink_.inner);
}

template class ArchiveWriter<MemorySink>;
template class ArchiveWriter<FileSink>;

// ---------------------------------------------------------------------------
// write_archive

Result<std::string> write_archive(std::span<const std::pair<std::string, std::string>> entries) {
    std::unordered_set<std::string> keys;
    keys.reserve(std::min(entries.size(), max_reserved_entries));
    std::string out;
    std::string central;
    const auto beyond = [] { return GedcomError::archive("the archive is larger than this writer can address"); };
    for (const auto& [name, data] : entries) {
        if (auto v = validate_entry_path(name); !v) return fail(v.error());
        if (!keys.insert(dedupe_key(name)).second) return fail(duplicate_path(name));
        if (auto d = check_directory_is_empty(name, data.size()); !d) return fail(d.error());
        const std::uint64_t offset = out.size();
        if (offset >= max_u32) return fail(beyond());
        const Packed p = pack(name, data, default_archive_limits.max_ratio);
        if (local_needs_zip64(data.size(), p.stored().size()))
            return fail(named(name, " is too large for this writer"));
        out += local_header_bytes(name, p.method, p.crc, data.size(), p.stored().size(), false);
        out += p.stored();
        central += central_record_bytes(name, p.method, p.crc, data.size(), p.stored().size(), offset);
    }
    if (out.size() >= max_u32 || central.size() >= max_u32) return fail(beyond());
    if (entries.size() >= max_u16)
        return fail(GedcomError::archive("the archive holds more files than this writer can address"));
    const std::uint64_t offset = out.size();
    out += central;
    out += end_record_bytes(entries.size(), central.size(), offset);
    return out;
}

}  // namespace pellorine::gedzip
