// Streamed entries: a file sink receives an entry copied in chunks from a
// source of declared size, and its local header is rewritten in place after.
#include <zlib.h>

#include <algorithm>
#include <memory>

#include "gedzip_internal.hpp"
#include "gedzip_writer.hpp"
#include "gedzip_zip.hpp"

namespace pellorine::gedzip {
namespace {

constexpr std::size_t deflate_out_size = 32768;

// The body of one entry: straight into the counting sink, or through a raw
// DEFLATE encoder whose output goes there as it is produced.
class Payload {
public:
    Payload(CountingWriter<FileSink>& sink, bool deflated) : sink_(sink), deflated_(deflated) {
        if (deflated_) {
            out_.reset(new char[deflate_out_size]);
            if (deflate_start(zs_) != Z_OK)
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

// The failure of a sink whose writes do not land where it was told to seek.
IoError not_in_place() {
    return IoError{
        "the sink did not overwrite its bytes in place after a seek (a file opened for appending cannot hold a "
        "streamed entry)",
        0};
}

// Moves to `at` and checks that the file is there.
IoResult<void> seek_exactly(FileSink& sink, std::uint64_t at) {
    auto p = sink.seek(at);
    if (!p) return std::unexpected(p.error());
    if (*p != at) return std::unexpected(not_in_place());
    return {};
}

// Writes the finished local header over the provisional one at `header_pos`,
// checks that it landed there, and returns to `end_pos`.
IoResult<void> complete_local_header(FileSink& sink, std::uint64_t header_pos, std::string_view header,
                                     std::uint64_t end_pos) {
    if (auto s = seek_exactly(sink, header_pos); !s) return s;
    if (auto w = write_whole(sink, header, [](std::size_t) {}); !w) return w;
    if (auto f = sink.flush(); !f) return f;
    auto q = sink.position();
    if (!q) return std::unexpected(q.error());
    if (*q != header_pos + header.size()) return std::unexpected(not_in_place());
    return seek_exactly(sink, end_pos);
}

}  // namespace

template <ArchiveSink Sink>
Result<void> ArchiveWriter<Sink>::add_streamed_reserving(std::string_view name, FileSource source,
                                                         std::uint64_t declared, std::optional<std::uint64_t> reserve)
    requires SeekableSink<Sink>
{
    // Until the header position is known nothing is written: failures leave the writer as it was.
    auto key = admit(name);
    if (!key) return fail(key.error());
    if (auto s = admit_size(name, declared); !s) return s;
    // An empty entry is stored whatever its name. Unless the caller says how
    // much room to announce, a stored entry needs its size, a deflated one
    // a bound on what DEFLATE can make of it.
    std::uint16_t method = declared > 0 && should_deflate(name) ? method_deflated : method_stored;
    const std::uint64_t deflate_bound = saturating_add(saturating_add(declared, declared / 8), 1024);
    const std::uint64_t reserved = reserve ? *reserve : method == method_stored ? declared : deflate_bound;

    // From here on a failure may leave part of an entry in the file.
    const auto poison = [this](GedcomError e) {
        poisoned_ = true;
        return fail(std::move(e));
    };
    const std::uint64_t offset = sink_.count;
    const auto unplaced = [&](const IoError& e) {
        return poison(GedcomError::archive("the archive's position could not be read: " + e.text));
    };
    if (auto f = sink_.inner.flush(); !f) return unplaced(f.error());
    const auto at = sink_.inner.position();
    if (!at) return unplaced(at.error());
    const std::uint64_t header_pos = *at;
    auto zip64 = write_local_header(name, method, 0, declared, reserved);
    if (!zip64) return fail(zip64.error());   // write_all has poisoned the writer
    const std::uint64_t after_header = sink_.count;

    // Where the source starts, should the body have to be read a second time.
    const IoResult<std::uint64_t> source_start =
        method == method_deflated ? source.tell() : IoResult<std::uint64_t>(0);
    const auto chunk = std::make_unique_for_overwrite<char[]>(chunk_size);
    // Copies the whole source into the body, deflated or stored; yields the
    // CRC-32 of exactly `declared` bytes read.
    const auto copy_body = [&](bool deflated) -> Result<std::uint32_t> {
        Payload payload(sink_, deflated);
        std::uint64_t read_total = 0;
        std::uint32_t crc = 0;
        for (;;) {
            const std::uint64_t remaining = declared > read_total ? declared - read_total : 0;
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(saturating_add(remaining, 1), chunk_size));
            auto n = read_entry_bytes(source, chunk.get(), want, name);
            if (!n) return poison(n.error());
            if (*n == 0) break;
            read_total = saturating_add(read_total, *n);
            if (read_total > declared) {
                return poison(named(name, " yielded more than the " + std::to_string(declared) +
                                              " bytes declared for it"));
            }
            const std::string_view bytes(chunk.get(), *n);
            crc = crc32(bytes, crc);
            if (auto w = payload.write(bytes); !w) return poison(not_written(w.error().text));
        }
        if (auto w = payload.finish(); !w) return poison(not_written(w.error().text));
        if (read_total < declared) {
            return poison(named(name, " ended after " + std::to_string(read_total) + " of the " +
                                          std::to_string(declared) + " bytes declared for it"));
        }
        return crc;
    };
    auto crc = copy_body(method == method_deflated);
    if (!crc) return fail(crc.error());   // copy_body has poisoned the writer
    // Bytes that expand past the ratio bound would be refused when read back:
    // the body is written again, stored, over the shorter deflated one.
    if (method == method_deflated && !within_ratio(declared, sink_.count - after_header, limits_.max_ratio)) {
        method = method_stored;
        if (!source_start) return poison(unreadable(name, source_start.error().text));
        if (auto s = source.seek(*source_start); !s) return poison(unreadable(name, s.error().text));
        if (auto s = seek_exactly(sink_.inner, header_pos + (after_header - offset)); !s)
            return poison(not_written(s.error().text));
        sink_.count = after_header;
        crc = copy_body(false);
        if (!crc) return fail(crc.error());
    }
    const std::uint64_t compressed = sink_.count - after_header;   // the count never goes below after_header
    if (compressed >= max_u32 && !*zip64) {
        return poison(named(name, " compressed to more than its header reserved room for"));
    }
    const std::uint64_t end_pos = header_pos + (sink_.count - offset);
    const std::string header = local_header_bytes(name, method, *crc, declared, compressed, *zip64);
    if (auto c = complete_local_header(sink_.inner, header_pos, header, end_pos); !c)
        return poison(not_written(c.error().text));
    record_entry(name, std::move(*key), method, *crc, declared, compressed, offset);
    return {};
}

template Result<void> ArchiveWriter<FileSink>::add_streamed_reserving(std::string_view, FileSource, std::uint64_t,
                                                                      std::optional<std::uint64_t>);

}  // namespace pellorine::gedzip
