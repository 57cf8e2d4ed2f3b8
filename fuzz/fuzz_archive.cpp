// The archive reader, and the writers read back by it. Any bytes are opened
// and every entry extracted within the bounds, or refused with an error.
// Then the input, cut at NUL bytes into names and contents, is written as an
// archive in memory and in one shot; each archive opens and extracts to the
// same entries.
#include <string>
#include <utility>
#include <vector>

#include "gedzip.hpp"
#include "gedzip_reader.hpp"
#include "harness.hpp"

using namespace pellorine;
using Entries = std::vector<std::pair<std::string, std::string>>;

namespace {

void read_all(std::string_view bytes) {
    auto archive = gedzip::Archive::open(bytes);
    if (!archive) return;
    (void)archive->total_size();
    for (const auto& entry : archive->entries()) {
        auto content = archive->read_entry(entry);
        if (content) fuzz::check(content->size() == entry.uncompressed_size, "an entry extracts to another size");
    }
    if (auto name = archive->document_name()) (void)archive->read(*name);
}

void expect_entries(std::string_view bytes, const Entries& entries, std::string_view writer) {
    const std::string what = std::string(writer) + " archive does not read back";
    auto archive = gedzip::Archive::open(bytes);
    if (!archive) fuzz::fail(what, archive.error().display());
    fuzz::check(archive->entries().size() == entries.size(), what, "another number of entries");
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto& entry = archive->entries()[i];
        fuzz::check(entry.name == entries[i].first, what, entries[i].first);
        if (entry.is_dir) {  // a directory entry holds nothing and is not extracted
            fuzz::check(entries[i].second.empty() && entry.uncompressed_size == 0, what, entries[i].first);
            continue;
        }
        auto content = archive->read_entry(entry);
        if (!content) fuzz::fail(what, content.error().display());
        fuzz::check(*content == entries[i].second, what, entries[i].first);
    }
}

// Names and contents alternate between NUL bytes.
Entries entries_of(std::string_view input) {
    std::vector<std::string_view> pieces;
    for (std::size_t pos = 0;;) {
        std::size_t end = input.find('\0', pos);
        pieces.push_back(input.substr(pos, end == std::string_view::npos ? end : end - pos));
        if (end == std::string_view::npos) break;
        pos = end + 1;
    }
    Entries entries;
    for (std::size_t i = 0; i + 1 < pieces.size(); i += 2) entries.emplace_back(pieces[i], pieces[i + 1]);
    return entries;
}

void write_and_read(std::string_view input) {
    Entries accepted;
    gedzip::ArchiveWriter<gedzip::MemorySink> writer(gedzip::MemorySink{}, gedzip::default_archive_limits);
    for (const auto& [name, content] : entries_of(input)) {
        if (writer.add(name, content)) accepted.emplace_back(name, content);
        fuzz::check(!writer.poisoned(), "a refused entry poisoned the in-memory writer");
    }
    auto sink = std::move(writer).finish();
    if (!sink) fuzz::fail("the in-memory writer cannot finish", sink.error().display());
    expect_entries(sink->bytes(), accepted, "the in-memory");

    auto whole = gedzip::write_archive(accepted);
    if (!whole) fuzz::fail("the one-shot writer refuses entries the other accepted", whole.error().display());
    expect_entries(*whole, accepted, "the one-shot");
}

}  // namespace

PELLORINE_FUZZ_TARGET {
    std::string_view input = fuzz::bytes_of(data, size);
    read_all(input);
    write_and_read(input);
    return 0;
}
