// The archive reader: the end records and the central directory at opening,
// the local header and the entry's bytes at extraction, every record read
// through the bounded cursor of the ZIP layout.
#include "gedzip_reader.hpp"

#include <zlib.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>

#include "gedzip_internal.hpp"
#include "gedzip_zip.hpp"
#include "text.hpp"

namespace pellorine::gedzip {
namespace {

constexpr std::uint64_t kEndSearchSpan = 0x10800;  // how far from the end an end record may start
constexpr std::size_t kInputBuffer = 32768;

GedcomError archive_error(std::string message) { return GedcomError::archive(std::move(message)); }

// Fills a record whose first field is its signature and yields how many of
// its bytes were read. A record cut short inside its signature fails as the
// cursor does ("the archive is truncated"); one whose signature is not its
// kind's fails with `wrong()`. The fields after the signature are the caller's.
template <class Record, class Wrong>
Result<std::size_t> read_signed(Cursor& c, Record& r, Wrong&& wrong) {
    const std::size_t got = c.read(r);
    if (got < sizeof r.signature) return fail(c.status().error());
    if (r.signature != Record{}.signature) return fail(wrong());
    return got;
}

GedcomError unsupported_method(std::string_view name, std::uint16_t method) {
    return named(name, " uses compression method " + std::to_string(method) + ", which is not supported");
}

bool supported_method(std::uint16_t method) { return method == method_stored || method == method_deflated; }

// The index of the first entry whose dedupe key an earlier entry already has,
// or entries.size(). Sorting the keys keeps this O(n log n) whatever the names.
std::size_t first_duplicate(const std::vector<ArchiveEntry>& entries) {
    std::vector<std::pair<std::string, std::size_t>> keys;
    keys.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) keys.emplace_back(dedupe_key(entries[i].name), i);
    std::sort(keys.begin(), keys.end());
    std::size_t first = entries.size();
    for (std::size_t i = 1; i < keys.size(); ++i)
        if (keys[i].first == keys[i - 1].first) first = std::min(first, keys[i].second);
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
        return saturating_add(saturating_add(e.local_header_offset, record_size<LocalHeader>() + e.name.size()),
                              e.compressed_size);
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

// Where the central directory lies, as the end records say.
struct Directory {
    std::uint64_t entries;
    std::uint64_t offset;
};

// Follows the Zip64 locator in front of the end record at `end_offset`.
Result<Directory> read_zip64_directory(std::string_view data, std::uint64_t end_offset) {
    constexpr std::uint64_t locator_size = record_size<Zip64Locator>();
    Zip64Locator locator;
    if (end_offset >= locator_size) Cursor(data, end_offset - locator_size).read(locator);
    if (end_offset < locator_size || locator.signature != zip64_locator_signature)
        return fail(archive_error("the archive needs a Zip64 directory and has none"));
    Cursor c(data, locator.end_record_offset);
    Zip64EndRecord record;
    const auto malformed = [] { return archive_error("the archive's Zip64 directory record is malformed"); };
    if (auto got = read_signed(c, record, malformed); !got) return fail(got.error());
    if (auto ok = c.status(); !ok) return fail(ok.error());
    return Directory{record.entries, record.directory_offset};
}

// The end record nearest the end of the bytes, within the span a comment allows.
Result<Directory> find_directory(std::string_view data) {
    constexpr std::uint64_t end_size = record_size<EndRecord>();
    const std::uint64_t size = data.size();
    if (size >= end_size) {
        const std::uint64_t lowest = size > kEndSearchSpan ? size - kEndSearchSpan : 0;
        for (std::uint64_t q = size - end_size + 1; q-- > lowest;) {
            if (data[q] != 'P') continue;
            EndRecord end;
            Cursor(data, q).read(end);   // it fits: q is at least a record's length from the end
            if (end.signature != end_record_signature) continue;
            if (end.entries == max_u16 || end.directory_offset == max_u32 || end.directory_size == max_u32)
                return read_zip64_directory(data, q);
            return Directory{end.entries, end.directory_offset};
        }
    }
    return fail(archive_error("the file does not end like a ZIP archive"));
}

// Reads one central-directory record, applying every check that does not
// depend on other records. The cursor is left at the record's comment.
Result<ArchiveEntry> read_central_record(Cursor& c, std::uint64_t number) {
    CentralRecord r;
    const auto got = read_signed(c, r, [number] {
        return archive_error("file " + std::to_string(number) + " of the archive has no directory record");
    });
    if (!got) return fail(got.error());
    if (*got >= field_end(&CentralRecord::flags) && (r.flags & flag_encrypted))
        return fail(archive_error("encrypted entries are not supported"));
    const std::string_view name = c.bytes(r.name_length);
    if (auto ok = c.status(); !ok) return fail(ok.error());
    if (!text::is_valid_utf8(name)) return fail(name_not_utf8());
    const std::string_view extra = c.bytes(r.extra_length);
    if (auto ok = c.status(); !ok) return fail(ok.error());

    ArchiveEntry e{name, r.uncompressed_size, r.compressed_size, r.local_header_offset, r.crc32, r.method, r.flags,
                   name.ends_with('/')};
    read_zip64_extra(extra, e.uncompressed_size, e.compressed_size, e.local_header_offset);
    if ((r.external_attributes >> 28) == symlink_file_type)
        return fail(archive_error("the archive contains a symbolic link (" + std::string(name) +
                                  "), which is not extracted"));
    if (auto ok = validate_entry_path(name); !ok) return fail(ok.error());
    // The comment is passed over last, once the record has passed everything else.
    c.skip(r.comment_length);
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
        if (inflate_start(z_) != Z_OK) return fail(decompress_error());
        started_ = true;
        chunk_ = std::make_unique_for_overwrite<char[]>(chunk_size);
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
        return named(name_, " could not be decompressed: " + why);
    }

    std::string_view name_;
    std::string_view stored_;
    bool deflated_;
    bool started_ = false;
    bool ended_ = false;
    z_stream z_{};
    std::unique_ptr<char[]> chunk_;
};

GedcomError expanded_to(std::string_view name, std::uint64_t got, std::uint64_t said) {
    return named(name, " expanded to " + std::to_string(got) + " bytes where the archive said " + std::to_string(said));
}

}  // namespace

Result<Archive> Archive::open(std::string_view data) { return open_with(data, default_archive_limits); }

Result<Archive> Archive::open_with(std::string_view data, const ArchiveLimits& limits) {
    auto directory = find_directory(data);
    if (!directory) return fail(directory.error());
    if (directory->entries > limits.max_entries)
        return fail(archive_error("the archive holds " + std::to_string(directory->entries) +
                                  " files and the limit is " + std::to_string(limits.max_entries)));

    std::vector<ArchiveEntry> entries;
    entries.reserve(std::size_t(std::min<std::uint64_t>(directory->entries, max_reserved_entries)));

    // One pass applies every check that concerns a record alone and stops at
    // the first failure; the duplicate check, which sits between the path rule
    // and the size bounds of each record, is then settled over the records
    // read, so the failure reported is the one of the earliest record.
    std::optional<GedcomError> failure;
    std::uint64_t total = 0;
    Cursor c(data, directory->offset);
    for (std::uint64_t i = 1; i <= directory->entries; ++i) {
        auto entry = read_central_record(c, i);
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
        total = saturating_add(total, e.uncompressed_size);
        if (total > limits.max_total_size) {
            failure = archive_error("the archive expands to more than the " + std::to_string(limits.max_total_size) +
                                    " byte limit");
            break;
        }
        if (!supported_method(e.method)) {
            failure = unsupported_method(e.name, e.method);
            break;
        }
        // The move past the record's comment.
        if (auto ok = c.status(); !ok) {
            failure = ok.error();
            break;
        }
    }
    // Records that failed before the duplicate check were never kept.
    std::size_t dup = first_duplicate(entries);
    if (dup < entries.size())
        return fail(duplicate_path(entries[dup].name));
    if (failure) return fail(*failure);
    // Only once every record has passed on its own: the records are laid side by side.
    std::size_t overlap = first_overlap(entries, directory->offset);
    if (overlap < entries.size())
        return fail(named(entries[overlap].name, " overlaps another file or the archive's directory"));
    return Archive(std::move(entries), data, limits);
}

bool Archive::looks_like_archive(std::string_view data) {
    Cursor c(data);
    const auto signature = c.take<std::uint32_t>();
    return c.ok() && (signature == local_header_signature || signature == end_record_signature);
}

std::uint64_t Archive::total_size() const {
    std::uint64_t total = 0;
    for (const ArchiveEntry& e : entries_) total = saturating_add(total, e.uncompressed_size);
    return total;
}

Result<std::string_view> Archive::entry_data(const ArchiveEntry& entry) const {
    Cursor c(data_, entry.local_header_offset);
    LocalHeader h;
    if (auto got = read_signed(c, h, [&] { return named(entry.name, " has no file header"); }); !got)
        return fail(got.error());
    if (auto ok = c.status(); !ok) return fail(ok.error());
    if (h.flags != entry.flags || h.method != entry.method)
        return fail(named(entry.name, " has a local header that disagrees with its directory record"));
    // A local name that runs past the archive disagrees with the directory as much as a different one.
    if (c.bytes(h.name_length) != entry.name || !c.ok())
        return fail(named(entry.name, " has a local name that disagrees with its directory record"));
    c.skip(h.extra_length);
    const std::string_view stored = c.bytes(entry.compressed_size);
    if (auto ok = c.status(); !ok) return fail(ok.error());
    return stored;
}

Result<void> Archive::copy_entry(const ArchiveEntry& entry, const EntrySink& sink) const {
    if (entry.is_dir) return fail(not_a_file(entry.name));
    if (auto ok = check_entry_bounds(entry.name, entry.uncompressed_size, entry.compressed_size, limits_); !ok)
        return fail(ok.error());
    auto stored = entry_data(entry);
    if (!stored) return fail(stored.error());
    if (entry.method == method_stored) {
        if (entry.compressed_size != entry.uncompressed_size)
            return fail(expanded_to(entry.name, entry.compressed_size, entry.uncompressed_size));
    } else if (!supported_method(entry.method)) {
        return fail(unsupported_method(entry.name, entry.method));
    }

    EntrySource source(entry.name, *stored, entry.method == method_deflated);
    if (auto ok = source.start(); !ok) return fail(ok.error());
    const std::uint64_t declared = entry.uncompressed_size;
    std::uint64_t produced = 0;
    std::uint32_t crc = 0;
    for (;;) {
        // One byte more than remains: an over-long entry shows itself without being read to its end.
        std::uint64_t remaining = produced < declared ? declared - produced : 0;
        std::size_t want = std::size_t(std::min<std::uint64_t>(remaining, chunk_size - 1) + 1);
        auto chunk = source.read(want);
        if (!chunk) return fail(chunk.error());
        if (chunk->empty()) {
            if (produced != declared) return fail(expanded_to(entry.name, produced, declared));
            if (crc != entry.crc32) return fail(named(entry.name, " failed its checksum"));
            return {};
        }
        produced += chunk->size();
        if (produced > declared)
            return fail(named(entry.name, " expands past the size the archive declared"));
        crc = gedzip::crc32(*chunk, crc);
        if (auto ok = sink(*chunk); !ok) return fail(ok.error());
    }
}

Result<std::string> Archive::read_entry(const ArchiveEntry& entry) const {
    std::string out;
    auto ok = copy_entry(entry, [&out, &entry](std::string_view chunk) -> Result<void> {
        // Room for the declared size once the checks have passed and data flows,
        // but never more than 16 MiB ahead of the data itself.
        if (out.empty()) out.reserve(std::size_t(std::min<std::uint64_t>(entry.uncompressed_size, max_reserve)));
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
    std::size_t candidates = 0;
    std::string_view single;
    for (const ArchiveEntry& e : entries_) {
        if (e.is_dir || e.name.find('/') != std::string_view::npos || !ends_with_folded(e.name, ".ged")) continue;
        // At the root and not a directory, the name is its own key: the same path as gedcom.ged.
        if (dedupe_key(e.name) == "gedcom.ged") return e.name;
        if (candidates++ == 0) single = e.name;
    }
    if (candidates == 0)
        return fail(archive_error("the archive holds no GEDCOM document at its root, so it is not a GEDZIP"));
    if (candidates == 1) return single;
    return fail(archive_error("the archive holds " + std::to_string(candidates) +
                              " GEDCOM documents at its root and none is named gedcom.ged, so which one is the tree is ambiguous"));
}

}  // namespace pellorine::gedzip
