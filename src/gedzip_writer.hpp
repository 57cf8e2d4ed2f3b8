// The GEDZIP archive writer over an in-memory buffer or a buffered file, and
// the one-shot writer of a whole list of entries.
//
// Every failure is a GedcomError of kind Archive (line 0).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "error.hpp"
#include "gedzip_io.hpp"
#include "gedzip_paths.hpp"

namespace pellorine::gedzip {

// Writes a GEDZIP archive entry by entry. After a failed write to the sink
// the writer is poisoned and refuses every further entry and `finish`.
template <ArchiveSink Sink>
class ArchiveWriter {
public:
    // A writer at offset 0 of `sink`, with no entries yet.
    ArchiveWriter(Sink sink, ArchiveLimits limits) : sink_{std::move(sink), 0}, limits_(limits) {}

    // Adds one entry whose bytes are given.
    Result<void> add(std::string_view name, std::string_view data);
    // Adds one entry whose bytes are the source read to its end.
    Result<void> add(std::string_view name, ByteSource& source);

    // Adds one entry streamed from `source`, which must yield exactly
    // `declared` bytes, the local header patched in place afterwards; `reserve`
    // is the compressed size the provisional header announces. The source is
    // closed when the call returns.
    Result<void> add_streamed_reserving(std::string_view name, FileSource source, std::uint64_t declared,
                                        std::optional<std::uint64_t> reserve)
        requires SeekableSink<Sink>;

    // Writes the central directory and the end records, flushes, and hands
    // the sink back. The writer is spent whatever the outcome.
    Result<Sink> finish() &&;

    // The archive offset of the next byte.
    std::uint64_t offset() const { return sink_.count; }
    // The number of entries added.
    std::size_t entry_count() const { return paths_.size(); }
    // True once a write to the sink has failed.
    bool poisoned() const { return poisoned_; }
    // The bounds the writer enforces.
    const ArchiveLimits& limits() const { return limits_; }
    // The sink, as written so far.
    const Sink& sink() const { return sink_.inner; }

private:
    // The poisoned, path-rule, duplicate and entry-count checks of every add;
    // yields the name's dedupe key.
    Result<std::string> admit(std::string_view name) const;
    // The size checks of an entry whose size is known before its bytes are
    // read: the per-entry limit, then a directory's emptiness.
    Result<void> admit_size(std::string_view name, std::uint64_t size) const;
    // Writes a local header; yields whether it carries a Zip64 field.
    Result<bool> write_local_header(std::string_view name, std::uint16_t method, std::uint32_t crc,
                                    std::uint64_t uncompressed, std::uint64_t compressed);
    // The only way bytes reach the sink: a failure poisons the writer.
    Result<void> write_all(std::string_view bytes);
    // Writes one whole entry admitted under `key`.
    Result<void> store_entry(std::string_view name, std::string key, std::string_view data);
    // Records an entry written at `offset`: its central record and its key.
    void record_entry(std::string_view name, std::string key, std::uint16_t method, std::uint32_t crc,
                      std::uint64_t uncompressed, std::uint64_t compressed, std::uint64_t offset);

    CountingWriter<Sink> sink_;
    std::string central_;
    std::unordered_set<std::string> paths_;
    ArchiveLimits limits_;
    bool poisoned_ = false;
};

extern template class ArchiveWriter<MemorySink>;
extern template class ArchiveWriter<FileSink>;

// Reads a source to its end, but refuses more than `limit` bytes; `name` names the entry in messages.
Result<std::string> read_bounded(ByteSource& source, std::uint64_t limit, std::string_view name);

// A one-shot classic archive (no Zip64, no limits) from (name, bytes) pairs;
// like the writer, it stores an entry that would deflate past the default ratio bound.
Result<std::string> write_archive(std::span<const std::pair<std::string, std::string>> entries);

}  // namespace pellorine::gedzip
