// Byte sinks and sources of the archive writer: an in-memory buffer and a
// buffered file to write to, memory and a buffered file to read from, and the
// counting wrapper that knows the archive offset of the next byte.
#pragma once

#include <cerrno>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <algorithm>

namespace pellorine::gedzip {

// A failure of a sink or a source: the operating system's description
// followed by " (os error N)", or a plain text for failures of our own.
struct IoError {
    std::string text;   // what failed, as the messages quote it
    int code = 0;   // errno, or 0 when the failure is not the operating system's
    // The failure of errno `code`, with the system's description.
    static IoError from_errno(int code);
    // The failure of a sink that accepted no byte of a write.
    static IoError write_zero();
    bool operator==(const IoError&) const = default;
};
template <class T>
using IoResult = std::expected<T, IoError>;

// "<description> (os error N)"
std::string os_error_text(int code);

// The growable in-memory sink; it never fails a write.
class MemorySink {
public:
    // Appends all the bytes.
    IoResult<std::size_t> write(std::string_view bytes) {
        buffer_.append(bytes);
        return bytes.size();
    }
    // Nothing to do: the bytes are in place.
    IoResult<void> flush() { return {}; }
    // The bytes written so far.
    const std::string& bytes() const { return buffer_; }
    // Hands the bytes over, leaving the sink empty.
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
    // Takes over the other sink's file and buffer.
    FileSink(FileSink&& other) noexcept;
    FileSink& operator=(FileSink&& other) noexcept;
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;
    // Writes out what is buffered, as far as the file accepts it, and closes the file.
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
    // The file descriptor, -1 once closed.
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

// Borrowed bytes read front to back.
class MemorySource final : public ByteSource {
public:
    // Reads `bytes`, which must outlive the source.
    explicit MemorySource(std::string_view bytes) : rest_(bytes) {}
    // Copies out the next bytes, at most `size`.
    IoResult<std::size_t> read(char* out, std::size_t size) override;

private:
    std::string_view rest_;
};

// A file read through a buffer of 8192 bytes; the file is closed with the source.
class FileSource final : public ByteSource {
public:
    static constexpr std::size_t buffer_size = 8192;
    // Adopts an open file descriptor.
    explicit FileSource(int fd);
    // Takes over the other source's file and buffer.
    FileSource(FileSource&& other) noexcept;
    FileSource& operator=(FileSource&&) = delete;
    FileSource(const FileSource&) = delete;
    // Closes the file.
    ~FileSource() override;
    // Reads at most `size` bytes, through the buffer or, for large requests, straight from the file.
    IoResult<std::size_t> read(char* out, std::size_t size) override;
    // The offset in the file of the next byte read() yields.
    IoResult<std::uint64_t> tell() const;
    // Moves so that the next byte read() yields is the file's byte at `pos`.
    IoResult<void> seek(std::uint64_t pos);
    // The file descriptor.
    int fd() const { return fd_; }

private:
    int fd_ = -1;
    std::unique_ptr<char[]> buffer_;
    std::size_t pos_ = 0;
    std::size_t filled_ = 0;
};

// A sink the writer can write an archive to.
template <class S>
concept ArchiveSink = requires(S s, std::string_view b) {
    { s.write(b) } -> std::same_as<IoResult<std::size_t>>;
    { s.flush() } -> std::same_as<IoResult<void>>;
};

// A sink that can also go back to patch what it wrote (streamed entries).
template <class S>
concept SeekableSink = ArchiveSink<S> && requires(S s, std::uint64_t p) {
    { s.position() } -> std::same_as<IoResult<std::uint64_t>>;
    { s.seek(p) } -> std::same_as<IoResult<std::uint64_t>>;
};

// Hands `bytes` to `sink` until all are accepted, retrying interrupted
// writes, and tells `accepted` the size of every part taken; a sink that
// accepts nothing is a failure.
template <ArchiveSink Sink, class Accepted>
IoResult<void> write_whole(Sink& sink, std::string_view bytes, Accepted&& accepted) {
    while (!bytes.empty()) {
        auto n = sink.write(bytes);
        if (!n) {
            if (n.error().code == EINTR) continue;
            return std::unexpected(n.error());
        }
        if (*n == 0) return std::unexpected(IoError::write_zero());
        const std::size_t taken = std::min(*n, bytes.size());
        accepted(taken);
        bytes.remove_prefix(taken);
    }
    return {};
}

// Counts the bytes its inner sink accepts: `count` is the archive offset of
// the next byte. It saturates rather than wraps.
template <ArchiveSink Sink>
struct CountingWriter {
    Sink inner;               // the sink the bytes go to
    std::uint64_t count = 0;  // the bytes it has accepted: the archive offset of the next byte

    // Hands the bytes over until all are accepted, retrying interrupted
    // writes; a sink that accepts nothing is a failure.
    IoResult<void> write_all(std::string_view bytes);
};

extern template struct CountingWriter<MemorySink>;
extern template struct CountingWriter<FileSink>;

}  // namespace pellorine::gedzip
