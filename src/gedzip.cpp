// ZIP record layouts, the CRC-32, and the byte sinks and sources of the
// archive writer.
#include "gedzip.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace pellorine::gedzip {

// ---------------------------------------------------------------------------
// Little-endian records

void put_u16(std::string& out, std::uint16_t v) {
    const char b[2] = {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
    out.append(b, 2);
}

void put_u32(std::string& out, std::uint32_t v) {
    const char b[4] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                       static_cast<char>((v >> 16) & 0xFF), static_cast<char>(v >> 24)};
    out.append(b, 4);
}

void put_u64(std::string& out, std::uint64_t v) {
    put_u32(out, static_cast<std::uint32_t>(v));
    put_u32(out, static_cast<std::uint32_t>(v >> 32));
}

std::uint32_t crc32(std::string_view bytes, std::uint32_t crc) {
    return static_cast<std::uint32_t>(
        ::crc32_z(crc, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
}

namespace {

std::uint32_t cap32(std::uint64_t v) { return v >= max_u32 ? max_u32 : static_cast<std::uint32_t>(v); }
std::uint16_t cap16(std::uint64_t v) { return v >= max_u16 ? max_u16 : static_cast<std::uint16_t>(v); }

}  // namespace

LocalSizes local_zip64_sizes(std::uint64_t uncompressed, std::uint64_t compressed) {
    LocalSizes out;
    if (uncompressed >= max_u32 || compressed >= max_u32) {
        out.compressed = max_u32;
        out.uncompressed = max_u32;
        const std::optional<std::uint64_t> both[2] = {uncompressed, compressed};
        out.extra = zip64_extra(both);
    } else {
        out.compressed = static_cast<std::uint32_t>(compressed);
        out.uncompressed = static_cast<std::uint32_t>(uncompressed);
    }
    return out;
}

std::string zip64_extra(std::span<const std::optional<std::uint64_t>> values) {
    std::string data;
    for (const auto& v : values)
        if (v) put_u64(data, *v);
    if (data.empty()) return {};
    std::string out;
    out.reserve(4 + data.size());
    put_u16(out, zip64_extra_id);
    put_u16(out, cap16(data.size()));
    out += data;
    return out;
}

std::string local_header_bytes(std::string_view name, std::uint16_t method, std::uint32_t crc,
                               std::uint64_t uncompressed, std::uint64_t compressed) {
    const LocalSizes sizes = local_zip64_sizes(uncompressed, compressed);
    std::string out;
    out.reserve(local_header_size + name.size() + sizes.extra.size());
    put_u32(out, local_header_signature);
    put_u16(out, sizes.extra.empty() ? version_default : version_zip64);
    put_u16(out, flag_utf8);
    put_u16(out, method);
    put_u16(out, dos_time);
    put_u16(out, dos_date);
    put_u32(out, crc);
    put_u32(out, sizes.compressed);
    put_u32(out, sizes.uncompressed);
    put_u16(out, cap16(name.size()));
    put_u16(out, cap16(sizes.extra.size()));
    out += name;
    out += sizes.extra;
    return out;
}

std::string central_record_bytes(std::string_view name, std::uint16_t method, std::uint32_t crc,
                                  std::uint64_t uncompressed, std::uint64_t compressed,
                                  std::uint64_t local_header_offset) {
    const auto over = [](std::uint64_t v) { return v >= max_u32 ? std::optional<std::uint64_t>(v) : std::nullopt; };
    const std::optional<std::uint64_t> wide[3] = {over(uncompressed), over(compressed), over(local_header_offset)};
    const std::string extra = zip64_extra(wide);
    const std::uint16_t version = extra.empty() ? version_default : version_zip64;
    std::string out;
    out.reserve(central_record_size + name.size() + extra.size());
    put_u32(out, central_record_signature);
    put_u16(out, version);   // made by (upper byte 0)
    put_u16(out, version);   // needed to extract
    put_u16(out, flag_utf8);
    put_u16(out, method);
    put_u16(out, dos_time);
    put_u16(out, dos_date);
    put_u32(out, crc);
    put_u32(out, cap32(compressed));
    put_u32(out, cap32(uncompressed));
    put_u16(out, cap16(name.size()));
    put_u16(out, cap16(extra.size()));
    put_u16(out, 0);   // comment length
    put_u16(out, 0);   // disk number start
    put_u16(out, 0);   // internal attributes
    put_u32(out, name.ends_with('/') ? directory_attribute : 0);
    put_u32(out, cap32(local_header_offset));
    out += name;
    out += extra;
    return out;
}

std::string end_record_bytes(std::uint64_t entries, std::uint64_t central_size, std::uint64_t central_offset) {
    std::string out;
    out.reserve(end_record_size);
    put_u32(out, end_record_signature);
    put_u16(out, 0);
    put_u16(out, 0);
    put_u16(out, cap16(entries));
    put_u16(out, cap16(entries));
    put_u32(out, cap32(central_size));
    put_u32(out, cap32(central_offset));
    put_u16(out, 0);
    return out;
}

std::string zip64_end_record_bytes(std::uint64_t entries, std::uint64_t central_size, std::uint64_t central_offset) {
    std::string out;
    out.reserve(zip64_end_record_size);
    put_u32(out, zip64_end_record_signature);
    put_u64(out, zip64_end_record_size - 12);
    put_u16(out, version_zip64);
    put_u16(out, version_zip64);
    put_u32(out, 0);
    put_u32(out, 0);
    put_u64(out, entries);
    put_u64(out, entries);
    put_u64(out, central_size);
    put_u64(out, central_offset);
    return out;
}

std::string zip64_locator_bytes(std::uint64_t zip64_end_offset) {
    std::string out;
    out.reserve(zip64_locator_size);
    put_u32(out, zip64_locator_signature);
    put_u32(out, 0);
    put_u64(out, zip64_end_offset);
    put_u32(out, 1);
    return out;
}

// ---------------------------------------------------------------------------
// Failures of sinks and sources

std::string os_error_text(int code) {
    char buf[256];
    // The GNU strerror_r returns the text, which may or may not live in buf.
    const char* text = ::strerror_r(code, buf, sizeof buf);
    return std::string(text) + " (os error " + std::to_string(code) + ")";
}

IoError IoError::from_errno(int code) { return IoError{os_error_text(code), code}; }

namespace {
IoError write_zero() { return IoError{"failed to write whole buffer", 0}; }
}  // namespace

template <ArchiveSink Sink>
IoResult<void> CountingWriter<Sink>::write_all(std::string_view bytes) {
    while (!bytes.empty()) {
        auto n = inner.write(bytes);
        if (!n) {
            if (n.error().code == EINTR) continue;
            return std::unexpected(n.error());
        }
        if (*n == 0) return std::unexpected(write_zero());
        const std::uint64_t accepted = std::min<std::size_t>(*n, bytes.size());
        count = (count > UINT64_MAX - accepted) ? UINT64_MAX : count + accepted;
        bytes.remove_prefix(accepted);
    }
    return {};
}

template struct CountingWriter<MemorySink>;
template struct CountingWriter<FileSink>;

// ---------------------------------------------------------------------------
// FileSink

namespace {

// One write(2), retried while interrupted.
IoResult<std::size_t> write_some(int fd, const char* data, std::size_t size) {
    for (;;) {
        const ssize_t n = ::write(fd, data, std::min<std::size_t>(size, 0x7FFFF000));
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno == EINTR) continue;
        return std::unexpected(IoError::from_errno(errno));
    }
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
            result = std::unexpected(write_zero());
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
    if (pos > static_cast<std::uint64_t>(INT64_MAX)) return std::unexpected(IoError::from_errno(EINVAL));
    const off_t p = ::lseek(fd_, static_cast<off_t>(pos), SEEK_SET);
    if (p < 0) return std::unexpected(IoError::from_errno(errno));
    return static_cast<std::uint64_t>(p);
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

FileSource::FileSource(int fd) : fd_(fd), buffer_(new char[buffer_size]) {}

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
        const ssize_t n = ::read(fd_, out, std::min<std::size_t>(size, 0x7FFFF000));
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

}  // namespace pellorine::gedzip
