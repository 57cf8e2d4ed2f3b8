// Streamed entries: a file sink receives an entry copied in chunks from a
// source of declared size, and its local header is patched in place after.
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "gedzip.hpp"

namespace pellorine::gedzip {
namespace {

constexpr std::size_t chunk_size = 65536;
constexpr std::size_t deflate_out_size = 32768;

GedcomError named(std::string_view name, std::string rest) {
    std::string m(name);
    m += rest;
    return GedcomError::archive(std::move(m));
}

std::uint64_t sat_add(std::uint64_t a, std::uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

// The body of one entry: straight into the counting sink, or through a raw
// DEFLATE encoder whose output goes there as it is produced.
class Payload {
public:
    Payload(CountingWriter<FileSink>& sink, bool deflated) : sink_(sink), deflated_(deflated) {
        if (deflated_) {
            out_.reset(new char[deflate_out_size]);
            if (deflateInit2(&zs_, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
                init_error_ = zs_.msg ? zs_.msg : "the compressor could not start";
        }
    }
    Payload(const Payload&) = delete;
    Payload& operator=(const Payload&) = delete;
    ~Payload() {
        if (deflated_ && init_error_.empty()) deflateEnd(&zs_);
    }

    IoResult<void> write(std::string_view bytes) {
        if (!deflated_) return sink_.write_all(bytes);
        return pump(bytes, Z_NO_FLUSH);
    }
    IoResult<void> finish() {
        if (!deflated_) return {};
        return pump({}, Z_FINISH);
    }

private:
    IoResult<void> pump(std::string_view bytes, int flush) {
        if (!init_error_.empty()) return std::unexpected(IoError{init_error_, 0});
        zs_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
        zs_.avail_in = static_cast<uInt>(bytes.size());   // chunks are at most 64 KiB
        for (;;) {
            zs_.next_out = reinterpret_cast<Bytef*>(out_.get());
            zs_.avail_out = static_cast<uInt>(deflate_out_size);
            const int rc = deflate(&zs_, flush);
            if (rc == Z_STREAM_ERROR) return std::unexpected(IoError{"the compressor failed", 0});
            const std::size_t produced = deflate_out_size - zs_.avail_out;
            if (produced > 0) {
                if (auto w = sink_.write_all(std::string_view(out_.get(), produced)); !w) return w;
            }
            if (flush == Z_FINISH) {
                if (rc == Z_STREAM_END) return {};
            } else if (zs_.avail_in == 0 && zs_.avail_out != 0) {
                return {};
            }
            if (rc == Z_BUF_ERROR && produced == 0) return std::unexpected(IoError{"the compressor stalled", 0});
        }
    }

    CountingWriter<FileSink>& sink_;
    bool deflated_;
    z_stream zs_{};
    std::unique_ptr<char[]> out_;
    std::string init_error_;
};

// Writes `bytes` at the file's current position and checks where it ended.
IoResult<void> overwrite(FileSink& sink, std::uint64_t at, std::string_view bytes) {
    auto p = sink.seek(at);
    if (!p) return std::unexpected(p.error());
    if (*p != at) return std::unexpected(not_in_place());
    std::string_view rest = bytes;
    while (!rest.empty()) {
        auto n = sink.write(rest);
        if (!n) {
            if (n.error().code == EINTR) continue;
            return std::unexpected(n.error());
        }
        if (*n == 0) return std::unexpected(IoError{"failed to write whole buffer", 0});
        rest.remove_prefix(std::min(*n, rest.size()));
    }
    if (auto f = sink.flush(); !f) return f;
    auto q = sink.position();
    if (!q) return std::unexpected(q.error());
    if (*q != at + bytes.size()) return std::unexpected(not_in_place());
    return {};
}

}  // namespace

IoError not_in_place() {
    return IoError{
        "the sink did not overwrite its bytes in place after a seek (a file opened for appending cannot hold a "
        "streamed entry)",
        0};
}

IoResult<void> complete_local_header(FileSink& sink, std::uint64_t header_pos, std::uint16_t name_len, bool zip64,
                                     std::uint32_t crc, std::uint64_t uncompressed, std::uint64_t compressed,
                                     std::uint64_t end_pos) {
    if (zip64) {
        std::string crc_bytes;
        put_u32(crc_bytes, crc);
        if (auto w = overwrite(sink, header_pos + 14, crc_bytes); !w) return w;
        std::string sizes;
        put_u64(sizes, uncompressed);
        put_u64(sizes, compressed);
        if (auto w = overwrite(sink, header_pos + 34 + name_len, sizes); !w) return w;
    } else {
        std::string fields;
        put_u32(fields, crc);
        put_u32(fields, compressed >= max_u32 ? max_u32 : static_cast<std::uint32_t>(compressed));
        put_u32(fields, uncompressed >= max_u32 ? max_u32 : static_cast<std::uint32_t>(uncompressed));
        if (auto w = overwrite(sink, header_pos + 14, fields); !w) return w;
    }
    auto p = sink.seek(end_pos);
    if (!p) return std::unexpected(p.error());
    if (*p != end_pos) return std::unexpected(not_in_place());
    return {};
}

template <ArchiveSink Sink>
Result<void> ArchiveWriter<Sink>::add_streamed_reserving(std::string_view name, FileSource source,
                                                         std::uint64_t declared, std::optional<std::uint64_t> reserve)
    requires SeekableSink<Sink>
{
    // Until the header position is known nothing is written: failures leave the writer as it was.
    auto key = admit(name);
    if (!key) return fail(key.error());
    if (declared > limits_.max_entry_size) {
        return fail(named(name, " is larger than the " + std::to_string(limits_.max_entry_size) +
                                    " byte per-entry limit"));
    }
    if (auto d = check_directory_is_empty(name, declared); !d) return d;
    std::uint16_t method = method_stored;
    std::uint64_t reserved;
    if (declared == 0) {
        reserved = reserve.value_or(0);
    } else {
        if (should_deflate(name)) method = method_deflated;
        if (reserve) {
            reserved = *reserve;
        } else if (method == method_stored) {
            reserved = declared;
        } else {
            reserved = sat_add(sat_add(declared, declared / 8), 1024);
        }
    }

    // From here on a failure may leave part of an entry in the file.
    const auto poison = [this](GedcomError e) {
        poisoned_ = true;
        return fail(std::move(e));
    };
    const std::uint64_t offset = sink_.count;
    std::uint64_t header_pos = 0;
    if (auto f = sink_.inner.flush(); !f) {
        return poison(GedcomError::archive("the archive's position could not be read: " + f.error().text));
    }
    if (auto p = sink_.inner.position(); !p) {
        return poison(GedcomError::archive("the archive's position could not be read: " + p.error().text));
    } else {
        header_pos = *p;
    }
    auto zip64 = write_local_header(name, method, 0, declared, reserved);
    if (!zip64) return fail(zip64.error());   // write_all has poisoned the writer
    const std::uint64_t after_header = sink_.count;

    std::unique_ptr<char[]> chunk(new char[chunk_size]());
    Payload payload(sink_, method == method_deflated);
    std::uint64_t read_total = 0;
    std::uint32_t crc = 0;
    for (;;) {
        const std::uint64_t remaining = declared > read_total ? declared - read_total : 0;
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(sat_add(remaining, 1), chunk_size));
        auto n = source.read(chunk.get(), want);
        if (!n) {
            if (n.error().code == EINTR) continue;
            return poison(named(name, " could not be read: " + n.error().text));
        }
        if (*n == 0) break;
        read_total = sat_add(read_total, *n);
        if (read_total > declared) {
            return poison(named(name, " yielded more than the " + std::to_string(declared) +
                                          " bytes declared for it"));
        }
        const std::string_view bytes(chunk.get(), *n);
        crc = crc32(bytes, crc);
        if (auto w = payload.write(bytes); !w) {
            return poison(GedcomError::archive("the archive could not be written: " + w.error().text));
        }
    }
    if (auto w = payload.finish(); !w) {
        return poison(GedcomError::archive("the archive could not be written: " + w.error().text));
    }
    if (read_total < declared) {
        return poison(named(name, " ended after " + std::to_string(read_total) + " of the " +
                                      std::to_string(declared) + " bytes declared for it"));
    }
    const std::uint64_t compressed = sink_.count > after_header ? sink_.count - after_header : 0;
    if (compressed >= max_u32 && !*zip64) {
        return poison(named(name, " compressed to more than its header reserved room for"));
    }
    const std::uint64_t end_pos = header_pos + (sink_.count - offset);
    if (auto c = complete_local_header(sink_.inner, header_pos, static_cast<std::uint16_t>(name.size()), *zip64, crc,
                                       read_total, compressed, end_pos);
        !c) {
        return poison(GedcomError::archive("the archive could not be written: " + c.error().text));
    }
    central_ += central_record_bytes(name, method, crc, declared, compressed, offset);
    paths_.insert(std::move(*key));
    return {};
}

template Result<void> ArchiveWriter<FileSink>::add_streamed_reserving(std::string_view, FileSource, std::uint64_t,
                                                                      std::optional<std::uint64_t>);

}  // namespace pellorine::gedzip
