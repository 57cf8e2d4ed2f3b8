// The byte sinks and sources of the archive writer.
#include "gedzip_io.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "gedzip_internal.hpp"

namespace pellorine::gedzip {

// ---------------------------------------------------------------------------
// Failures of sinks and sources

std::string os_error_text(int code) {
    char buf[256];
    // The GNU strerror_r returns the text, which may or may not live in buf.
    const char* text = ::strerror_r(code, buf, sizeof buf);
    return std::string(text) + " (os error " + std::to_string(code) + ")";
}

IoError IoError::from_errno(int code) { return IoError{os_error_text(code), code}; }

IoError IoError::write_zero() { return IoError{"failed to write whole buffer", 0}; }

template <ArchiveSink Sink>
IoResult<void> CountingWriter<Sink>::write_all(std::string_view bytes) {
    return write_whole(inner, bytes, [this](std::size_t n) { count = saturating_add(count, n); });
}

template struct CountingWriter<MemorySink>;
template struct CountingWriter<FileSink>;

// ---------------------------------------------------------------------------
// FileSink

namespace {

// The most bytes asked of one read(2) or write(2): the most Linux moves in one call.
constexpr std::size_t max_transfer = 0x7FFFF000;

// One write(2), retried while interrupted.
IoResult<std::size_t> write_some(int fd, const char* data, std::size_t size) {
    for (;;) {
        const ssize_t n = ::write(fd, data, std::min(size, max_transfer));
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno == EINTR) continue;
        return std::unexpected(IoError::from_errno(errno));
    }
}

// Moves `fd` to the absolute position `pos`; yields the position the file reports.
IoResult<std::uint64_t> seek_to(int fd, std::uint64_t pos) {
    if (pos > static_cast<std::uint64_t>(INT64_MAX)) return std::unexpected(IoError::from_errno(EINVAL));
    const off_t p = ::lseek(fd, static_cast<off_t>(pos), SEEK_SET);
    if (p < 0) return std::unexpected(IoError::from_errno(errno));
    return static_cast<std::uint64_t>(p);
}

}  // namespace

IoResult<FileSink> FileSink::create(const std::string& path) {
    for (;;) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd >= 0) return FileSink(fd);
        if (errno != EINTR) return std::unexpected(IoError::from_errno(errno));
    }
}

FileSink::FileSink(int fd) : fd_(fd), buffer_(new char[buffer_size]) {}

FileSink::FileSink(FileSink&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), buffer_(std::move(other.buffer_)), used_(std::exchange(other.used_, 0)) {}

FileSink& FileSink::operator=(FileSink&& other) noexcept {
    if (this != &other) {
        release();
        fd_ = std::exchange(other.fd_, -1);
        buffer_ = std::move(other.buffer_);
        used_ = std::exchange(other.used_, 0);
    }
    return *this;
}

FileSink::~FileSink() { release(); }

void FileSink::release() noexcept {
    if (fd_ < 0) return;
    (void)flush();   // a partial archive keeps what the file accepts
    ::close(fd_);
    fd_ = -1;
}

IoResult<void> FileSink::flush() {
    if (fd_ < 0) return std::unexpected(IoError::from_errno(EBADF));
    std::size_t done = 0;
    IoResult<void> result;
    while (done < used_) {
        auto n = write_some(fd_, buffer_.get() + done, used_ - done);
        if (!n) {
            result = std::unexpected(n.error());
            break;
        }
        if (*n == 0) {
            result = std::unexpected(IoError::write_zero());
            break;
        }
        done += *n;
    }
    // Keep what was not written, so a later flush can retry it.
    if (done > 0) {
        std::memmove(buffer_.get(), buffer_.get() + done, used_ - done);
        used_ -= done;
    }
    return result;
}

IoResult<std::size_t> FileSink::write(std::string_view bytes) {
    if (fd_ < 0) return std::unexpected(IoError::from_errno(EBADF));
    if (used_ + bytes.size() > buffer_size) {
        if (auto f = flush(); !f) return std::unexpected(f.error());
    }
    if (bytes.size() >= buffer_size) return write_some(fd_, bytes.data(), bytes.size());
    std::memcpy(buffer_.get() + used_, bytes.data(), bytes.size());
    used_ += bytes.size();
    return bytes.size();
}

IoResult<std::uint64_t> FileSink::position() {
    if (fd_ < 0) return std::unexpected(IoError::from_errno(EBADF));
    const off_t p = ::lseek(fd_, 0, SEEK_CUR);
    if (p < 0) return std::unexpected(IoError::from_errno(errno));
    return static_cast<std::uint64_t>(p) + used_;
}

IoResult<std::uint64_t> FileSink::seek(std::uint64_t pos) {
    if (auto f = flush(); !f) return std::unexpected(f.error());
    return seek_to(fd_, pos);
}

IoResult<void> FileSink::close() {
    if (fd_ < 0) return {};
    IoResult<void> result = flush();
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0 && result && errno != EINTR) result = std::unexpected(IoError::from_errno(errno));
    return result;
}

// ---------------------------------------------------------------------------
// Sources

IoResult<std::size_t> MemorySource::read(char* out, std::size_t size) {
    const std::size_t n = std::min(size, rest_.size());
    std::memcpy(out, rest_.data(), n);
    rest_.remove_prefix(n);
    return n;
}

// The source owns `fd` from the call on: when the buffer cannot be had, the
// destructor never runs, so the descriptor is closed here.
FileSource::FileSource(int fd) try : fd_(fd), buffer_(new char[buffer_size]) {
} catch (...) {
    if (fd >= 0) ::close(fd);
}

FileSource::FileSource(FileSource&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      buffer_(std::move(other.buffer_)),
      pos_(std::exchange(other.pos_, 0)),
      filled_(std::exchange(other.filled_, 0)) {}

FileSource::~FileSource() {
    if (fd_ >= 0) ::close(fd_);
}

IoResult<std::size_t> FileSource::read(char* out, std::size_t size) {
    if (fd_ < 0) return std::unexpected(IoError::from_errno(EBADF));
    if (size == 0) return std::size_t{0};
    // Large requests on an empty buffer go straight to the file.
    if (pos_ == filled_ && size >= buffer_size) {
        const ssize_t n = ::read(fd_, out, std::min(size, max_transfer));
        if (n < 0) return std::unexpected(IoError::from_errno(errno));
        return static_cast<std::size_t>(n);
    }
    if (pos_ == filled_) {
        const ssize_t n = ::read(fd_, buffer_.get(), buffer_size);
        if (n < 0) return std::unexpected(IoError::from_errno(errno));
        pos_ = 0;
        filled_ = static_cast<std::size_t>(n);
    }
    const std::size_t n = std::min(size, filled_ - pos_);
    std::memcpy(out, buffer_.get() + pos_, n);
    pos_ += n;
    return n;
}

IoResult<std::uint64_t> FileSource::tell() const {
    if (fd_ < 0) return std::unexpected(IoError::from_errno(EBADF));
    const off_t p = ::lseek(fd_, 0, SEEK_CUR);
    if (p < 0) return std::unexpected(IoError::from_errno(errno));
    // The buffered bytes not yet handed out come before the file's position.
    return static_cast<std::uint64_t>(p) - (filled_ - pos_);
}

IoResult<void> FileSource::seek(std::uint64_t pos) {
    if (fd_ < 0) return std::unexpected(IoError::from_errno(EBADF));
    if (auto p = seek_to(fd_, pos); !p) return std::unexpected(p.error());
    pos_ = filled_ = 0;
    return {};
}

}  // namespace pellorine::gedzip
