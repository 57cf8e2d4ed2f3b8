// What the archive code's source files share and its callers never need: the
// messages that more than one of them gives, the compressor's one setting,
// and the bounds on what is allocated before data arrives.
#pragma once

#include <zlib.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "error.hpp"
#include "gedzip_io.hpp"

namespace pellorine::gedzip {

// Most bytes reserved for an entry's contents before they arrive (16 MiB), so
// that a large limit or a large claim allocates nothing in advance.
inline constexpr std::size_t max_reserve = 16777216;
// Most entries (or dedupe keys) reserved before they are read.
inline constexpr std::size_t max_reserved_entries = 1024;
// The largest piece of an entry read, copied or extracted at once (64 KiB).
inline constexpr std::size_t chunk_size = 65536;

// a + b, or the largest value when the sum does not fit.
inline std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b) {
    return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

// A failure whose message is the name as passed followed by `rest`.
inline GedcomError named(std::string_view name, std::string_view rest) {
    std::string m(name);
    m.append(rest);
    return GedcomError::archive(std::move(m));
}

// A directory entry asked for bytes, by a writer or by the reader.
inline GedcomError not_a_file(std::string_view name) { return named(name, " is a directory, not a file"); }

// A name that is not UTF-8, found by the path rules or, earlier, by the reader.
inline GedcomError name_not_utf8() {
    return GedcomError::archive("a file in the archive has a name that is not valid UTF-8");
}

// Two entries under one dedupe key.
inline GedcomError duplicate_path(std::string_view name) {
    return GedcomError::archive("the archive contains the same path more than once (" + std::string(name) + ")");
}

// An entry over the writer's per-entry limit.
inline GedcomError too_large(std::string_view name, std::uint64_t limit) {
    return named(name, " is larger than the " + std::to_string(limit) + " byte per-entry limit");
}

// A source that failed while an entry was read from it.
inline GedcomError unreadable(std::string_view name, std::string_view why) {
    return named(name, " could not be read: " + std::string(why));
}

// A failed write to the archive's sink, with the sink's own description.
inline GedcomError not_written(std::string_view why) {
    return GedcomError::archive("the archive could not be written: " + std::string(why));
}

// One read of an entry's bytes from `source`, retried while interrupted; a
// failure names the entry.
inline Result<std::size_t> read_entry_bytes(ByteSource& source, char* out, std::size_t size,
                                            std::string_view name) {
    for (;;) {
        auto n = source.read(out, size);
        if (n) return *n;
        if (n.error().code != EINTR) return fail(unreadable(name, n.error().text));
    }
}

// Starts a raw DEFLATE encoder (no zlib header or trailer) at level 6, the one
// setting of every writer; Z_OK on success.
inline int deflate_start(z_stream& zs) { return deflateInit2(&zs, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY); }
// Starts the matching raw DEFLATE decoder; Z_OK on success.
inline int inflate_start(z_stream& zs) { return inflateInit2(&zs, -15); }

}  // namespace pellorine::gedzip
