// The rules every GEDZIP archive obeys, written or read: the bounds on its
// entries, the entry-name rules, the key under which a name counts as one
// path, and the choice between storing and deflating an entry.
//
// Every failure is a GedcomError of kind Archive (line 0).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "error.hpp"

namespace pellorine::gedzip {

// The numeric bounds of an archive.
struct ArchiveLimits {
    std::uint64_t max_entries = 100000;          // entries one archive may hold
    std::uint64_t max_entry_size = 1073741824;   // 1 GiB, uncompressed, per entry
    std::uint64_t max_total_size = 4294967296;   // 4 GiB, uncompressed, all entries (reader only)
    std::uint64_t max_ratio = 1000;              // uncompressed / compressed (writers store past it)
};
// The bounds used where none are given.
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

// True when the name ends with `ending` (lowercase ASCII), ignoring ASCII case.
bool ends_with_folded(std::string_view name, std::string_view ending);

// True when the name ends with .ged .txt .xml .json .csv .md .svg, ignoring ASCII case.
bool should_deflate(std::string_view name);

// True when `compressed` bytes expanding to `uncompressed` stay within
// `max_ratio`: the reader's ratio test, which the writers keep to.
bool within_ratio(std::uint64_t uncompressed, std::uint64_t compressed, std::uint64_t max_ratio);

// The per-entry size and ratio test of the reader.
Result<void> check_entry_bounds(std::string_view name, std::uint64_t uncompressed, std::uint64_t compressed,
                                const ArchiveLimits& limits);

}  // namespace pellorine::gedzip
