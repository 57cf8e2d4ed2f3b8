// GEDZIP archives: the shared path rules and bounds, the ZIP byte layouts the
// system writes (and the reader reads), byte sinks and sources, and the
// archive writer over an in-memory buffer or a buffered file.
//
// Every failure is a GedcomError of kind Archive (line 0). Byte buffers are
// std::string (owned) and std::string_view (borrowed).
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "error.hpp"

namespace pellorine::gedzip {

// ---------------------------------------------------------------------------
// Bounds and path rules

struct ArchiveLimits {
    std::uint64_t max_entries = 100000;
    std::uint64_t max_entry_size = 1073741824;   // 1 GiB, uncompressed, per entry
    std::uint64_t max_total_size = 4294967296;   // 4 GiB, uncompressed, all entries (reader only)
    std::uint64_t max_ratio = 1000;              // uncompressed / compressed (reader only)
};
inline constexpr ArchiveLimits default_archive_limits{};

// An entry name may hold at most this many bytes of UTF-8.
inline constexpr std::size_t max_path_bytes = 4096;

// Checks one entry name against the path rules (empty, too long, absolute,
// backslash, control characters, unsafe characters, unsafe components,
// Windows device names). The message carries the name as passed.
Result<void> validate_entry_path(std::string_view name);

// A directory entry (a name ending in '/') holds no bytes: the reader extracts
// none from it, so the writers refuse them ("{} is a directory, not a file").
Result<void> check_directory_is_empty(std::string_view name, std::uint64_t size);

// The key under which writers and the reader remember a name: every trailing
// '/' removed, ASCII A-Z lowercased. Equal keys are the same path.
std::string dedupe_key(std::string_view name);

// True when the ASCII-lowercased name ends with .ged .txt .xml .json .csv .md .svg.
bool should_deflate(std::string_view name);

// The per-entry size and ratio test of the reader.
Result<void> check_entry_bounds(std::string_view name, std::uint64_t uncompressed, std::uint64_t compressed,
                                const ArchiveLimits& limits);

// ---------------------------------------------------------------------------
// ZIP record layout (all integers little-endian)

inline constexpr std::uint32_t local_header_signature = 0x04034B50;
inline constexpr std::uint32_t central_record_signature = 0x02014B50;
inline constexpr std::uint32_t end_record_signature = 0x06054B50;
inline constexpr std::uint32_t zip64_end_record_signature = 0x06064B50;
inline constexpr std::uint32_t zip64_locator_signature = 0x07064B50;

inline constexpr std::size_t local_header_size = 30;     // fixed part, before name and extra
inline constexpr std::size_t central_record_size = 46;   // fixed part, before name and extra
inline constexpr std::size_t end_record_size = 22;
inline constexpr std::size_t zip64_end_record_size = 56;
inline constexpr std::size_t zip64_locator_size = 20;

inline constexpr std::uint16_t version_default = 20;
inline constexpr std::uint16_t version_zip64 = 45;
inline constexpr std::uint16_t flag_utf8 = 0x0800;
inline constexpr std::uint16_t flag_encrypted = 0x0001;
inline constexpr std::uint16_t method_stored = 0;
inline constexpr std::uint16_t method_deflated = 8;
inline constexpr std::uint16_t dos_time = 0;
inline constexpr std::uint16_t dos_date = 0x0021;   // 1 January 1980
inline constexpr std::uint16_t zip64_extra_id = 0x0001;
inline constexpr std::uint32_t directory_attribute = 0x10;
inline constexpr std::uint32_t max_u32 = 0xFFFFFFFF;
inline constexpr std::uint16_t max_u16 = 0xFFFF;

// Appending little-endian integers to a byte buffer.
void put_u16(std::string& out, std::uint16_t v);
void put_u32(std::string& out, std::uint32_t v);
void put_u64(std::string& out, std::uint64_t v);

// Unchecked little-endian loads; the caller guarantees the bytes exist.
inline std::uint16_t load_u16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t load_u32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t load_u64(const unsigned char* p) {
    return static_cast<std::uint64_t>(load_u32(p)) | (static_cast<std::uint64_t>(load_u32(p + 4)) << 32);
}

// The CRC-32 of ZIP, continued from `crc` (0 to start).
std::uint32_t crc32(std::string_view bytes, std::uint32_t crc = 0);

// The two 32-bit size fields of a local header and its Zip64 extra field:
// both fields 0xFFFFFFFF and a 20-byte extra (id 1, size 16, uncompressed,
// compressed) when either size is 0xFFFFFFFF or more, else the sizes and no extra.
struct LocalSizes {
    std::uint32_t compressed = 0;
    std::uint32_t uncompressed = 0;
    std::string extra;   // empty when no Zip64 field is needed
};
LocalSizes local_zip64_sizes(std::uint64_t uncompressed, std::uint64_t compressed);

// A Zip64 extra field holding the present values in order (id 1, data size
// 8 x their number capped at 65535); no present value gives an empty field.
std::string zip64_extra(std::span<const std::optional<std::uint64_t>> values);

// A whole local file header: fixed part, name, extra field.
std::string local_header_bytes(std::string_view name, std::uint16_t method, std::uint32_t crc,
                               std::uint64_t uncompressed, std::uint64_t compressed);

// A whole central-directory record. Sizes and offset of 0xFFFFFFFF or more go
// into its Zip64 extra field (uncompressed, compressed, offset, those that
// overflowed); the record then carries versions 45, else 20.
std::string central_record_bytes(std::string_view name, std::uint16_t method, std::uint32_t crc,
                                 std::uint64_t uncompressed, std::uint64_t compressed,
                                 std::uint64_t local_header_offset);

// The end-of-central-directory record, with entry count, size and offset capped.
std::string end_record_bytes(std::uint64_t entries, std::uint64_t central_size, std::uint64_t central_offset);
std::string zip64_end_record_bytes(std::uint64_t entries, std::uint64_t central_size, std::uint64_t central_offset);
std::string zip64_locator_bytes(std::uint64_t zip64_end_offset);

// ---------------------------------------------------------------------------
// Byte sinks and sources

// A failure of a sink or a source: the operating system's description
// followed by " (os error N)", or a plain text for failures of our own.
struct IoError {
    std::string text;
    int code = 0;   // errno, or 0 when the failure is not the operating system's
    static IoError from_errno(int code);
    bool operator==(const IoError&) const = default;
};
template <class T>
using IoResult = std::expected<T, IoError>;

// "<description> (os error N)"
std::string os_error_text(int code);

// The growable in-memory sink; it never fails a write.
class MemorySink {
public:
    IoResult<std::size_t> write(std::string_view bytes) {
        buffer_.append(bytes);
        return bytes.size();
    }
    IoResult<void> flush() { return {}; }
    const std::string& bytes() const { return buffer_; }
    std::string take() { return std::move(buffer_); }

private:
    std::string buffer_;
};

// A file written through a buffer of 8192 bytes. The file is closed when the
// sink is destroyed; bytes still buffered are then written out as far as the
// file accepts them, and a failure is ignored (use close() to see it).
class FileSink {
public:
    static constexpr std::size_t buffer_size = 8192;

    // Creates or truncates the file, permission bits 0666 before the umask.
    static IoResult<FileSink> create(const std::string& path);
    // Adopts an open file descriptor.
    explicit FileSink(int fd);
    FileSink(FileSink&& other) noexcept;
    FileSink& operator=(FileSink&& other) noexcept;
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;
    ~FileSink();

    // Accepts some of the bytes (buffered, or written straight through when
    // they do not fit the buffer); 0 only when no byte was accepted.
    IoResult<std::size_t> write(std::string_view bytes);
    // Writes the buffer out to the file.
    IoResult<void> flush();
    // The file's current position (callers flush first).
    IoResult<std::uint64_t> position();
    // Flushes, then moves to an absolute position; returns the position the file reports.
    IoResult<std::uint64_t> seek(std::uint64_t pos);
    // Flushes and closes; the sink is then spent.
    IoResult<void> close();
    int fd() const { return fd_; }

private:
    void release() noexcept;
    int fd_ = -1;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
};

// A source of bytes read to its end.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads at most `size` bytes into `out`; 0 means the end of the source.
    virtual IoResult<std::size_t> read(char* out, std::size_t size) = 0;
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes) : rest_(bytes) {}
    IoResult<std::size_t> read(char* out, std::size_t size) override;

private:
    std::string_view rest_;
};

// A file read through a buffer of 8192 bytes; the file is closed with the source.
class FileSource final : public ByteSource {
public:
    static constexpr std::size_t buffer_size = 8192;
    explicit FileSource(int fd);
    FileSource(FileSource&& other) noexcept;
    FileSource& operator=(FileSource&&) = delete;
    FileSource(const FileSource&) = delete;
    ~FileSource() override;
    IoResult<std::size_t> read(char* out, std::size_t size) override;
    int fd() const { return fd_; }

private:
    int fd_ = -1;
    std::unique_ptr<char[]> buffer_;
    std::size_t pos_ = 0;
    std::size_t filled_ = 0;
};

template <class S>
concept ArchiveSink = requires(S s, std::string_view b) {
    { s.write(b) } -> std::same_as<IoResult<std::size_t>>;
    { s.flush() } -> std::same_as<IoResult<void>>;
};

template <class S>
concept SeekableSink = ArchiveSink<S> && requires(S s, std::uint64_t p) {
    { s.position() } -> std::same_as<IoResult<std::uint64_t>>;
    { s.seek(p) } -> std::same_as<IoResult<std::uint64_t>>;
};

// Counts the bytes its inner sink accepts: `count` is the archive offset of
// the next byte. It saturates rather than wraps.
template <ArchiveSink Sink>
struct CountingWriter {
    Sink inner;
    std::uint64_t count = 0;

    // Hands the bytes over until all are accepted, retrying interrupted
    // writes; a sink that accepts nothing is a failure.
    IoResult<void> write_all(std::string_view bytes);
};

extern template struct CountingWriter<MemorySink>;
extern template struct CountingWriter<FileSink>;

// Reads a source to its end, but refuses more than `limit` bytes.
Result<std::string> read_bounded(ByteSource& source, std::uint64_t limit, std::string_view name);

// ---------------------------------------------------------------------------
// The archive writer

// Writes a GEDZIP archive entry by entry. After a failed write to the sink
// the writer is poisoned and refuses every further entry and `finish`.
template <ArchiveSink Sink>
class ArchiveWriter {
public:
    ArchiveWriter(Sink sink, ArchiveLimits limits) : sink_{std::move(sink), 0}, limits_(limits) {}

    // Adds one entry whose bytes are given (the source read to its end).
    Result<void> add(std::string_view name, std::string_view data);
    Result<void> add(std::string_view name, ByteSource& source);

    // Adds one entry streamed from `source`, which must yield exactly
    // `declared` bytes, the local header patched in place afterwards. The
    // source is closed when the call returns.
    Result<void> add_streamed_reserving(std::string_view name, FileSource source, std::uint64_t declared,
                                        std::optional<std::uint64_t> reserve)
        requires SeekableSink<Sink>;

    // Writes the central directory and the end records, flushes, and hands
    // the sink back. The writer is spent whatever the outcome.
    Result<Sink> finish() &&;

    // The path rules, duplicate and entry-count checks shared by every add;
    // yields the name's dedupe key.
    Result<std::string> admit(std::string_view name) const;

    std::uint64_t offset() const { return sink_.count; }
    std::size_t entry_count() const { return paths_.size(); }
    bool poisoned() const { return poisoned_; }
    const ArchiveLimits& limits() const { return limits_; }
    const Sink& sink() const { return sink_.inner; }

private:
    Result<bool> write_local_header(std::string_view name, std::uint16_t method, std::uint32_t crc,
                                    std::uint64_t uncompressed, std::uint64_t compressed);
    Result<void> write_all(std::string_view bytes);
    Result<void> store_entry(std::string_view name, std::string key, std::string_view data);

    CountingWriter<Sink> sink_;
    std::string central_;
    std::unordered_set<std::string> paths_;
    ArchiveLimits limits_;
    bool poisoned_ = false;
};

extern template class ArchiveWriter<MemorySink>;
extern template class ArchiveWriter<FileSink>;

// The failure of a sink whose writes do not land where it was told to seek.
IoError not_in_place();

// Patches the CRC-32 and sizes of a local header already written at
// `header_pos`, then returns to `end_pos`, checking every position.
IoResult<void> complete_local_header(FileSink& sink, std::uint64_t header_pos, std::uint16_t name_len, bool zip64,
                                     std::uint32_t crc, std::uint64_t uncompressed, std::uint64_t compressed,
                                     std::uint64_t end_pos);

// A one-shot classic archive (no Zip64, no limits) from (name, bytes) pairs.
Result<std::string> write_archive(std::span<const std::pair<std::string, std::string>> entries);

}  // namespace pellorine::gedzip
