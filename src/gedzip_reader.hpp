// Reading GEDZIP archives held in memory: the central directory is checked
// as a whole against the path rules and the archive bounds before any entry
// is touched; entries are then extracted with their local header, sizes and
// CRC-32 checked. An `Archive` borrows the caller's bytes and never copies them.
#pragma once

#include <concepts>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "error.hpp"
#include "gedzip_paths.hpp"

namespace pellorine::gedzip {

// One central-directory record as read. `name` points into the archive's bytes.
struct ArchiveEntry {
    std::string_view name;                   // the path as stored, valid UTF-8
    std::uint64_t uncompressed_size = 0;     // from the record or its Zip64 field
    std::uint64_t compressed_size = 0;       // from the record or its Zip64 field
    std::uint64_t local_header_offset = 0;   // from the record or its Zip64 field
    std::uint32_t crc32 = 0;                 // the CRC-32 of the uncompressed bytes
    std::uint16_t method = 0;                // 0 stored, 8 deflated
    std::uint16_t flags = 0;                 // the general-purpose flags
    bool is_dir = false;                     // the name ends with '/'
};

// Receives extracted bytes chunk by chunk; an error stops the extraction and is returned as is.
using EntrySink = std::function<Result<void>(std::string_view)>;

// An opened archive over borrowed bytes; it must not outlive them. Immutable after opening.
class Archive {
public:
    // Opens `data` under the default limits.
    static Result<Archive> open(std::string_view data);
    // Finds the end record, then reads and checks every central-directory record.
    static Result<Archive> open_with(std::string_view data, const ArchiveLimits& limits);
    // The archive borrows its bytes: opening a temporary string would leave it dangling.
    template <class S>
        requires std::same_as<S, std::string>
    static Result<Archive> open(S&&) = delete;
    template <class S>
        requires std::same_as<S, std::string>
    static Result<Archive> open_with(S&&, const ArchiveLimits&) = delete;

    // True when the bytes begin with a local header or an end-record signature.
    static bool looks_like_archive(std::string_view data);

    // One entry per central-directory record, in directory order.
    const std::vector<ArchiveEntry>& entries() const { return entries_; }
    // The archive's bytes, as borrowed.
    std::string_view data() const { return data_; }
    // The bounds it was opened under.
    const ArchiveLimits& limits() const { return limits_; }

    // The declared uncompressed sizes summed, saturating; nothing is decompressed.
    std::uint64_t total_size() const;

    // The first entry whose name equals `name` byte for byte, extracted.
    Result<std::string> read(std::string_view name) const;
    // One entry extracted, its sizes and CRC-32 checked.
    Result<std::string> read_entry(const ArchiveEntry& entry) const;
    // Extracts into `sink`; the bytes handed over are verified only once this returns success.
    Result<void> copy_entry(const ArchiveEntry& entry, const EntrySink& sink) const;
    // The stored (still compressed) bytes of an entry, located through its local header.
    Result<std::string_view> entry_data(const ArchiveEntry& entry) const;
    // The name of the archive's GEDCOM document.
    Result<std::string_view> document_name() const;

private:
    Archive(std::vector<ArchiveEntry> entries, std::string_view data, const ArchiveLimits& limits)
        : entries_(std::move(entries)), data_(data), limits_(limits) {}

    std::vector<ArchiveEntry> entries_;
    std::string_view data_;
    ArchiveLimits limits_;
};

}  // namespace pellorine::gedzip

namespace pellorine {
using gedzip::Archive;
using gedzip::ArchiveEntry;
}  // namespace pellorine
