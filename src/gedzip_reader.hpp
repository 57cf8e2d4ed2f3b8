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
#include "gedzip.hpp"

namespace pellorine::gedzip {

// One central-directory record as read. `name` points into the archive's bytes.
struct ArchiveEntry {
    std::string_view name;
    std::uint64_t uncompressed_size = 0;
    std::uint64_t compressed_size = 0;
    std::uint64_t local_header_offset = 0;
    std::uint32_t crc32 = 0;
    std::uint16_t method = 0;
    std::uint16_t flags = 0;
    bool is_dir = false;
};

// Receives extracted bytes chunk by chunk; an error stops the extraction and is returned as is.
using EntrySink = std::function<Result<void>(std::string_view)>;

// An opened archive over borrowed bytes; it must not outlive them. Immutable after opening.
class Archive {
public:
    static Result<Archive> open(std::string_view data);
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

    const std::vector<ArchiveEntry>& entries() const { return entries_; }
    std::string_view data() const { return data_; }
    const ArchiveLimits& limits() const { return limits_; }

    // The declared uncompressed sizes summed, saturating; nothing is decompressed.
    std::uint64_t total_size() const;

    // The first entry whose name equals `name` byte for byte, extracted.
    Result<std::string> read(std::string_view name) const;
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

// Bounded access to the archive's bytes: "the archive is truncated" when the
// bytes asked for do not lie wholly inside.
Result<std::string_view> slice(std::string_view data, std::uint64_t offset, std::uint64_t length);
Result<std::uint16_t> read_u16(std::string_view data, std::uint64_t offset);
Result<std::uint32_t> read_u32(std::string_view data, std::uint64_t offset);
Result<std::uint64_t> read_u64(std::string_view data, std::uint64_t offset);
// a + b, or "an archive offset is too large" when the sum overflows.
Result<std::uint64_t> checked_offset(std::uint64_t a, std::uint64_t b);

struct Zip64Directory {
    std::uint64_t entry_count = 0;
    std::uint64_t central_offset = 0;
};
// Follows the Zip64 locator in front of the end record at `end_offset`.
Result<Zip64Directory> read_zip64_directory(std::string_view data, std::uint64_t end_offset);

// Fills the fields that hold 0xFFFFFFFF from the first Zip64 block (id 1) of
// a central record's extra field; a field the block has no room for is kept.
void read_zip64_extra(std::string_view extra, std::uint64_t& uncompressed, std::uint64_t& compressed,
                      std::uint64_t& local_header_offset);

}  // namespace pellorine::gedzip

namespace pellorine {
using gedzip::Archive;
using gedzip::ArchiveEntry;
}  // namespace pellorine
