#include "gedzip_reader.hpp"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>

#include "text.hpp"

namespace pellorine::gedzip {
namespace {

constexpr std::uint64_t kEndSearchSpan = 0x10800;  // how far from the end an end record may start

constexpr std::size_t kReserveEntries = 1024;
constexpr std::size_t kReserveOutput = 16777216;
constexpr std::size_t kChunk = 65536;
constexpr std::size_t kInputBuffer = 32768;

GedcomError truncated() { return GedcomError::archive("the archive is truncated"); }
GedcomError offset_too_large() { return GedcomError::archive("an archive offset is too large"); }

const unsigned char* at(std::string_view data, std::uint64_t offset) {
    return reinterpret_cast<const unsigned char*>(data.data()) + offset;
}
std::uint16_t load16(std::string_view data, std::uint64_t offset) { return load_u16(at(data, offset)); }
std::uint32_t load32(std::string_view data, std::uint64_t offset) { return load_u32(at(data, offset)); }
std::uint64_t load64(std::string_view data, std::uint64_t offset) { return load_u64(at(data, offset)); }

bool inside(std::string_view data, std::uint64_t offset, std::uint64_t length) {
    return offset <= data.size() && length <= data.size() - offset;
}

}  // namespace

Result<std::string_view> slice(std::string_view data, std::uint64_t offset, std::uint64_t length) {
    if (!inside(data, offset, length)) return fail(truncated());
    return data.substr(std::size_t(offset), std::size_t(length));
}

Result<std::uint16_t> read_u16(std::string_view data, std::uint64_t offset) {
    if (!inside(data, offset, 2)) return fail(truncated());
    return load16(data, offset);
}

Result<std::uint32_t> read_u32(std::string_view data, std::uint64_t offset) {
    if (!inside(data, offset, 4)) return fail(truncated());
    return load32(data, offset);
}

Result<std::uint64_t> read_u64(std::string_view data, std::uint64_t offset) {
    if (!inside(data, offset, 8)) return fail(truncated());
    return load64(data, offset);
}

Result<std::uint64_t> checked_offset(std::uint64_t a, std::uint64_t b) {
    if (b > std::numeric_limits<std::uint64_t>::max() - a) return fail(offset_too_large());
    return a + b;
}

Result<Zip64Directory> read_zip64_directory(std::string_view data, std::uint64_t end_offset) {
    if (end_offset < 20 || !inside(data, end_offset - 20, 4) ||
        load32(data, end_offset - 20) != zip64_locator_signature)
        return fail(GedcomError::archive("the archive needs a Zip64 directory and has none"));
    auto record = read_u64(data, end_offset - 12);
    if (!record) return fail(record.error());
    auto signature = read_u32(data, *record);
    if (!signature) return fail(signature.error());
    if (*signature != zip64_end_record_signature)
        return fail(GedcomError::archive("the archive's Zip64 directory record is malformed"));
    auto count_at = checked_offset(*record, 32);
    if (!count_at) return fail(count_at.error());
    auto count = read_u64(data, *count_at);
    if (!count) return fail(count.error());
    auto central_at = checked_offset(*record, 48);
    if (!central_at) return fail(central_at.error());
    auto central = read_u64(data, *central_at);
    if (!central) return fail(central.error());
    return Zip64Directory{*count, *central};
}

void read_zip64_extra(std::string_view extra, std::uint64_t& uncompressed, std::uint64_t& compressed,
                      std::uint64_t& local_header_offset) {
    std::size_t pos = 0;
    while (extra.size() - pos >= 4) {
        std::uint16_t id = load16(extra, pos);
        std::size_t size = load16(extra, pos + 2);
        pos += 4;
        if (id != zip64_extra_id) {
            pos += std::min(size, extra.size() - pos);
            continue;
        }
        // Only the first Zip64 block counts; it may be shorter than declared.
        std::size_t end = pos + std::min(size, extra.size() - pos);
        for (std::uint64_t* field : {&uncompressed, &compressed, &local_header_offset}) {
            if (*field != max_u32) continue;
            if (end - pos < 8) break;
            *field = load64(extra, pos);
            pos += 8;
        }
        return;
    }
}

namespace {

GedcomError archive_error(std::string message) { return GedcomError::archive(std::move(message)); }

std::string unsupported_method(std::string_view name, std::uint16_t method) {
    return std::string(name) + " uses compression method " + std::to_string(method) + ", which is not supported";
}

// The dedupe key is the name without trailing '/' and with ASCII letters
// lowercased; it is compared in place, never built as a string.
std::string_view key_part(std::string_view name) {
    while (!name.empty() && name.back() == '/') name.remove_suffix(1);
    return name;
}

unsigned char fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

std::uint64_t key_hash(std::string_view key) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : key) h = (h ^ fold(c)) * 0x100000001b3ull;
    return h;
}

int key_compare(std::string_view a, std::string_view b) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char x = fold(a[i]), y = fold(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// The index of the first entry whose dedupe key an earlier entry already has,
// or entries.size(). Sorting by (hash, key, index) keeps this O(n log n) even
// when the names are chosen to collide in the hash.
std::size_t first_duplicate(const std::vector<ArchiveEntry>& entries) {
    struct Item {
        std::uint64_t hash;
        std::size_t index;
    };
    std::vector<Item> items;
    items.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
        items.push_back({key_hash(key_part(entries[i].name)), i});
    auto less = [&](const Item& a, const Item& b) {
        if (a.hash != b.hash) return a.hash < b.hash;
        int c = key_compare(key_part(entries[a.index].name), key_part(entries[b.index].name));
        if (c != 0) return c < 0;
        return a.index < b.index;
    };
    std::sort(items.begin(), items.end(), less);
    std::size_t first = entries.size();
    for (std::size_t i = 1; i < items.size(); ++i) {
        const Item& a = items[i - 1];
        const Item& b = items[i];
        if (a.hash == b.hash &&
            key_compare(key_part(entries[a.index].name), key_part(entries[b.index].name)) == 0)
            first = std::min(first, b.index);
    }
    return first;
}

// The entry whose local record runs into the next one, or into the central
// directory, or entries.size() when none does. A record's span is its local
// header's fixed part, its name and its stored bytes, from its local header
// offset, with the directory's name length (the local name must equal it); the
// local extra field is left out, so the span is never longer than a
// well-formed record and a well-formed archive always passes. With the spans
// in offset order, any overlap shows between neighbours: this catches many
// directory records sharing one local header (the overlapping-files bomb) and
// stored sizes that reach into what follows.
std::size_t first_overlap(const std::vector<ArchiveEntry>& entries, std::uint64_t central_offset) {
    auto span_end = [&](const ArchiveEntry& e) {
        constexpr std::uint64_t top = std::numeric_limits<std::uint64_t>::max();
        std::uint64_t end = e.local_header_offset;
        for (std::uint64_t part : {std::uint64_t(local_header_size), std::uint64_t(e.name.size()), e.compressed_size})
            end = part > top - end ? top : end + part;
        return end;
    };
    std::vector<std::size_t> order(entries.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        if (entries[a].local_header_offset != entries[b].local_header_offset)
            return entries[a].local_header_offset < entries[b].local_header_offset;
        return a < b;
    });
    for (std::size_t k = 0; k < order.size(); ++k) {
        const std::uint64_t limit =
            k + 1 < order.size() ? entries[order[k + 1]].local_header_offset : central_offset;
        if (span_end(entries[order[k]]) > limit) return order[k];
    }
    return entries.size();
}

struct EndRecord {
    std::uint64_t offset;
    std::uint64_t count;
    std::uint64_t central_offset;
};

Result<EndRecord> find_end_record(std::string_view data) {
    const std::uint64_t size = data.size();
    if (size >= end_record_size) {
        std::uint64_t lowest = size > kEndSearchSpan ? size - kEndSearchSpan : 0;
        for (std::uint64_t q = size - end_record_size + 1; q-- > lowest;) {
            if (data[q] != 'P' || load32(data, q) != end_record_signature) continue;
            std::uint64_t count = load16(data, q + 10);
            std::uint32_t central_size = load32(data, q + 12);
            std::uint64_t central_offset = load32(data, q + 16);
            if (count == max_u16 || central_offset == max_u32 || central_size == max_u32) {
                auto z64 = read_zip64_directory(data, q);
                if (!z64) return fail(z64.error());
                count = z64->entry_count;
                central_offset = z64->central_offset;
            }
            return EndRecord{q, count, central_offset};
        }
    }
    return fail(archive_error("the file does not end like a ZIP archive"));
}

// Reads one central-directory record at `q`, applying every check that does
// not depend on other records. On success the next record starts at `next` + `next_extra`.
Result<ArchiveEntry> read_central_record(std::string_view data, std::uint64_t q, std::uint64_t number,
                                         std::uint64_t& next, std::uint64_t& next_extra) {
    if (!inside(data, q, 4)) return fail(truncated());
    const unsigned char* p = at(data, q);
    if (load_u32(p) != central_record_signature)
        return fail(archive_error("file " + std::to_string(number) + " of the archive has no directory record"));
    if (!inside(data, q, 10)) return fail(truncated());
    ArchiveEntry e;
    e.flags = load_u16(p + 8);
    if (e.flags & flag_encrypted) return fail(archive_error("encrypted entries are not supported"));
    if (!inside(data, q, central_record_size)) return fail(truncated());
    e.method = load_u16(p + 10);
    e.crc32 = load_u32(p + 16);
    e.compressed_size = load_u32(p + 20);
    e.uncompressed_size = load_u32(p + 24);
    std::uint64_t name_len = load_u16(p + 28);
    std::uint64_t extra_len = load_u16(p + 30);
    std::uint64_t comment_len = load_u16(p + 32);
    std::uint32_t external = load_u32(p + 38);
    e.local_header_offset = load_u32(p + 42);

    auto name_at = checked_offset(q, central_record_size);
    if (!name_at) return fail(name_at.error());
    auto name = slice(data, *name_at, name_len);
    if (!name) return fail(name.error());
    if (!text::is_valid_utf8(*name))
        return fail(archive_error("a file in the archive has a name that is not valid UTF-8"));
    e.name = *name;

    auto extra_at = checked_offset(*name_at, name_len);
    if (!extra_at) return fail(extra_at.error());
    auto extra = slice(data, *extra_at, extra_len);
    if (!extra) return fail(extra.error());
    read_zip64_extra(*extra, e.uncompressed_size, e.compressed_size, e.local_header_offset);

    if ((external >> 28) == 0xA)
        return fail(archive_error("the archive contains a symbolic link (" + std::string(e.name) +
                                  "), which is not extracted"));
    e.is_dir = !e.name.empty() && e.name.back() == '/';
    if (auto ok = validate_entry_path(e.name); !ok) return fail(ok.error());

    // Where the next record starts; the sums are checked once the record has passed everything else.
    next = *extra_at;
    next_extra = extra_len + comment_len;
    return e;
}

// Produces an entry's uncompressed bytes in chunks; an empty chunk is the end.
class EntrySource {
public:
    EntrySource(std::string_view name, std::string_view stored, bool deflated)
        : name_(name), stored_(stored), deflated_(deflated) {}
    ~EntrySource() {
        if (started_) inflateEnd(&z_);
    }
    EntrySource(const EntrySource&) = delete;
    EntrySource& operator=(const EntrySource&) = delete;

    Result<void> start() {
        if (!deflated_) return {};
        std::memset(&z_, 0, sizeof z_);
        if (inflateInit2(&z_, -15) != Z_OK) return fail(decompress_error());
        started_ = true;
        chunk_ = std::make_unique_for_overwrite<char[]>(kChunk);
        return {};
    }

    // At most `want` (1 to 65536) bytes.
    Result<std::string_view> read(std::size_t want) {
        if (!deflated_) {
            std::size_t n = std::min(want, stored_.size());
            std::string_view out = stored_.substr(0, n);
            stored_.remove_prefix(n);
            return out;
        }
        if (ended_) return std::string_view{};
        z_.next_out = reinterpret_cast<Bytef*>(chunk_.get());
        z_.avail_out = uInt(want);
        for (;;) {
            if (z_.avail_in == 0 && !stored_.empty()) {
                std::size_t n = std::min(kInputBuffer, stored_.size());
                z_.next_in = const_cast<Bytef*>(reinterpret_cast<const Bytef*>(stored_.data()));
                z_.avail_in = uInt(n);
                stored_.remove_prefix(n);
            }
            uInt in_before = z_.avail_in;
            int ret = inflate(&z_, Z_NO_FLUSH);
            std::size_t produced = want - z_.avail_out;
            if (ret == Z_STREAM_END) {
                ended_ = true;
                return std::string_view(chunk_.get(), produced);
            }
            if (ret != Z_OK && ret != Z_BUF_ERROR) return fail(decompress_error());
            if (produced > 0) return std::string_view(chunk_.get(), produced);
            // No output and no input left (or no progress): the stored bytes
            // end inside the stream, which reads as its end; sizes and CRC decide.
            if ((z_.avail_in == 0 && stored_.empty()) || z_.avail_in == in_before) {
                ended_ = true;
                return std::string_view{};
            }
        }
    }

private:
    GedcomError decompress_error() const {
        std::string why = z_.msg ? z_.msg : "corrupt deflate stream";
        return archive_error(std::string(name_) + " could not be decompressed: " + why);
    }

    std::string_view name_;
    std::string_view stored_;
    bool deflated_;
    bool started_ = false;
    bool ended_ = false;
    z_stream z_{};
    std::unique_ptr<char[]> chunk_;
};

std::string expanded_message(std::string_view name, std::uint64_t got, std::uint64_t said) {
    return std::string(name) + " expanded to " + std::to_string(got) + " bytes where the archive said " +
           std::to_string(said);
}

}  // namespace

Result<Archive> Archive::open(std::string_view data) { return open_with(data, default_archive_limits); }

Result<Archive> Archive::open_with(std::string_view data, const ArchiveLimits& limits) {
    auto end = find_end_record(data);
    if (!end) return fail(end.error());
    if (end->count > limits.max_entries)
        return fail(archive_error("the archive holds " + std::to_string(end->count) + " files and the limit is " +
                                  std::to_string(limits.max_entries)));

    std::vector<ArchiveEntry> entries;
    entries.reserve(std::size_t(std::min<std::uint64_t>(end->count, kReserveEntries)));

    // One pass applies every check that concerns a record alone and stops at
    // the first failure; the duplicate check, which sits between the path rule
    // and the size bounds of each record, is then settled over the records
    // read, so the failure reported is the one of the earliest record.
    std::optional<GedcomError> failure;
    std::uint64_t total = 0;
    std::uint64_t q = end->central_offset;
    for (std::uint64_t i = 1; i <= end->count; ++i) {
        std::uint64_t next = 0, next_extra = 0;
        auto entry = read_central_record(data, q, i, next, next_extra);
        if (!entry) {
            failure = entry.error();
            break;
        }
        const ArchiveEntry& e = *entry;
        entries.push_back(e);
        if (auto ok = check_entry_bounds(e.name, e.uncompressed_size, e.compressed_size, limits); !ok) {
            failure = ok.error();
            break;
        }
        total = e.uncompressed_size > std::numeric_limits<std::uint64_t>::max() - total
                    ? std::numeric_limits<std::uint64_t>::max()
                    : total + e.uncompressed_size;
        if (total > limits.max_total_size) {
            failure = archive_error("the archive expands to more than the " + std::to_string(limits.max_total_size) +
                                    " byte limit");
            break;
        }
        if (e.method != 0 && e.method != 8) {
            failure = archive_error(unsupported_method(e.name, e.method));
            break;
        }
        auto after = checked_offset(next, next_extra);
        if (!after) {
            failure = after.error();
            break;
        }
        q = *after;
    }
    // Records that failed before the duplicate check were never kept.
    std::size_t dup = first_duplicate(entries);
    if (dup < entries.size())
        return fail(archive_error("the archive contains the same path more than once (" +
                                  std::string(entries[dup].name) + ")"));
    if (failure) return fail(*failure);
    // Only once every record has passed on its own: the records are laid side by side.
    std::size_t overlap = first_overlap(entries, end->central_offset);
    if (overlap < entries.size())
        return fail(archive_error(std::string(entries[overlap].name) +
                                  " overlaps another file or the archive's directory"));
    return Archive(std::move(entries), data, limits);
}

bool Archive::looks_like_archive(std::string_view data) {
    if (data.size() < 4) return false;
    std::uint32_t signature = load32(data, 0);
    return signature == local_header_signature || signature == end_record_signature;
}

std::uint64_t Archive::total_size() const {
    std::uint64_t total = 0;
    for (const ArchiveEntry& e : entries_) {
        if (e.uncompressed_size > std::numeric_limits<std::uint64_t>::max() - total)
            return std::numeric_limits<std::uint64_t>::max();
        total += e.uncompressed_size;
    }
    return total;
}

Result<std::string_view> Archive::entry_data(const ArchiveEntry& entry) const {
    const std::uint64_t q = entry.local_header_offset;
    if (!inside(data_, q, 4)) return fail(truncated());
    if (load32(data_, q) != local_header_signature)
        return fail(archive_error(std::string(entry.name) + " has no file header"));
    if (!inside(data_, q, local_header_size)) return fail(truncated());
    const unsigned char* p = at(data_, q);
    if (load_u16(p + 6) != entry.flags || load_u16(p + 8) != entry.method)
        return fail(archive_error(std::string(entry.name) + " has a local header that disagrees with its directory record"));
    std::uint64_t name_len = load_u16(p + 26);
    std::uint64_t extra_len = load_u16(p + 28);
    auto name_at = checked_offset(q, local_header_size);
    if (!name_at) return fail(name_at.error());
    // A local name that runs past the archive disagrees with the directory as much as a different one.
    auto name = slice(data_, *name_at, name_len);
    if (!name || *name != entry.name)
        return fail(archive_error(std::string(entry.name) + " has a local name that disagrees with its directory record"));
    auto extra_at = checked_offset(*name_at, name_len);
    if (!extra_at) return fail(extra_at.error());
    auto stored_at = checked_offset(*extra_at, extra_len);
    if (!stored_at) return fail(stored_at.error());
    return slice(data_, *stored_at, entry.compressed_size);
}

Result<void> Archive::copy_entry(const ArchiveEntry& entry, const EntrySink& sink) const {
    if (entry.is_dir) return fail(archive_error(std::string(entry.name) + " is a directory, not a file"));
    if (auto ok = check_entry_bounds(entry.name, entry.uncompressed_size, entry.compressed_size, limits_); !ok)
        return fail(ok.error());
    auto stored = entry_data(entry);
    if (!stored) return fail(stored.error());
    if (entry.method == 0) {
        if (entry.compressed_size != entry.uncompressed_size)
            return fail(archive_error(expanded_message(entry.name, entry.compressed_size, entry.uncompressed_size)));
    } else if (entry.method != 8) {
        return fail(archive_error(unsupported_method(entry.name, entry.method)));
    }

    EntrySource source(entry.name, *stored, entry.method == 8);
    if (auto ok = source.start(); !ok) return fail(ok.error());
    const std::uint64_t declared = entry.uncompressed_size;
    std::uint64_t produced = 0;
    std::uint32_t crc = 0;
    for (;;) {
        // One byte more than remains: an over-long entry shows itself without being read to its end.
        std::uint64_t remaining = produced < declared ? declared - produced : 0;
        std::size_t want = std::size_t(std::min<std::uint64_t>(remaining, kChunk - 1) + 1);
        auto chunk = source.read(want);
        if (!chunk) return fail(chunk.error());
        if (chunk->empty()) {
            if (produced != declared) return fail(archive_error(expanded_message(entry.name, produced, declared)));
            if (crc != entry.crc32) return fail(archive_error(std::string(entry.name) + " failed its checksum"));
            return {};
        }
        produced += chunk->size();
        if (produced > declared)
            return fail(archive_error(std::string(entry.name) + " expands past the size the archive declared"));
        crc = gedzip::crc32(*chunk, crc);
        if (auto ok = sink(*chunk); !ok) return fail(ok.error());
    }
}

Result<std::string> Archive::read_entry(const ArchiveEntry& entry) const {
    std::string out;
    auto ok = copy_entry(entry, [&out, &entry](std::string_view chunk) -> Result<void> {
        // Room for the declared size once the checks have passed and data flows,
        // but never more than 16 MiB ahead of the data itself.
        if (out.empty()) out.reserve(std::size_t(std::min<std::uint64_t>(entry.uncompressed_size, kReserveOutput)));
        out.append(chunk);
        return {};
    });
    if (!ok) return fail(ok.error());
    return out;
}

Result<std::string> Archive::read(std::string_view name) const {
    for (const ArchiveEntry& e : entries_)
        if (e.name == name) return read_entry(e);
    return fail(archive_error("the archive has no file named " + std::string(name)));
}

Result<std::string_view> Archive::document_name() const {
    auto ends_with_ged = [](std::string_view n) {
        if (n.size() < 4) return false;
        std::string_view tail = n.substr(n.size() - 4);
        return tail[0] == '.' && fold(tail[1]) == 'g' && fold(tail[2]) == 'e' && fold(tail[3]) == 'd';
    };
    auto is_gedcom_ged = [](std::string_view n) {
        constexpr std::string_view want = "gedcom.ged";
        if (n.size() != want.size()) return false;
        for (std::size_t i = 0; i < n.size(); ++i)
            if (fold(n[i]) != want[i]) return false;
        return true;
    };
    std::size_t candidates = 0;
    std::string_view single;
    for (const ArchiveEntry& e : entries_) {
        if (e.is_dir || e.name.find('/') != std::string_view::npos || !ends_with_ged(e.name)) continue;
        if (is_gedcom_ged(e.name)) return e.name;
        if (candidates++ == 0) single = e.name;
    }
    if (candidates == 0)
        return fail(archive_error("the archive holds no GEDCOM document at its root, so it is not a GEDZIP"));
    if (candidates == 1) return single;
    return fail(archive_error("the archive holds " + std::to_string(candidates) +
                              " GEDCOM documents at its root and none is named gedcom.ged, so which one is the tree is ambiguous"));
}

}  // namespace pellorine::gedzip
