// Entry-name rules, the dedupe key, the store-or-deflate choice and the
// per-entry bounds shared by the archive writers and the reader.
#include <array>
#include <string>
#include <string_view>

#include "gedzip_internal.hpp"
#include "gedzip_paths.hpp"
#include "text.hpp"

namespace pellorine::gedzip {
namespace {

using text::ascii_lower;
using text::ascii_upper;

// C0 controls, DEL, and the C1 controls U+0080..U+009F (UTF-8: C2 80..C2 9F).
bool has_control(std::string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 || c == 0x7F) return true;
        if (c == 0xC2 && i + 1 < s.size()) {
            const auto d = static_cast<unsigned char>(s[i + 1]);
            if (d >= 0x80 && d <= 0x9F) return true;
        }
    }
    return false;
}

bool is_reserved_device(std::string_view stem) {
    std::string up;
    up.reserve(stem.size());
    for (char c : stem) up.push_back(ascii_upper(c));
    switch (up.size()) {
    case 3:
        return up == "CON" || up == "PRN" || up == "AUX" || up == "NUL";
    case 4:
        return (up.starts_with("COM") || up.starts_with("LPT")) && up[3] >= '1' && up[3] <= '9';
    case 6:
        return up == "CONIN$";
    case 7:
        return up == "CONOUT$";
    default:
        return false;
    }
}

}  // namespace

Result<void> check_directory_is_empty(std::string_view name, std::uint64_t size) {
    if (size > 0 && name.ends_with('/')) return fail(not_a_file(name));
    return {};
}

Result<void> validate_entry_path(std::string_view name) {
    if (name.empty()) return fail(GedcomError::archive("the archive contains a file with no name"));
    if (name.size() > max_path_bytes)
        return fail(GedcomError::archive("the archive contains a file with an unreasonably long path"));
    // From C++ a name might not be UTF-8; written under the UTF-8 flag it
    // would be refused by every reader.
    if (!text::is_valid_utf8(name)) return fail(name_not_utf8());
    if (name.front() == '/' || name.front() == '\\') return fail(named(name, " is an absolute path"));
    if (name.find('\\') != std::string_view::npos)
        return fail(named(name, " uses a backslash, which a ZIP path may not"));
    if (has_control(name))
        return fail(GedcomError::archive("the archive contains a control character in a file path"));
    if (name.find_first_of("\"*:<>?|") != std::string_view::npos)
        return fail(named(name, " contains a character that is unsafe in a portable path"));

    std::string_view rest = name;
    if (rest.ends_with('/')) rest.remove_suffix(1);   // one '/' marks a directory entry
    for (;;) {
        const std::size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        if (part.empty() || part == "." || part == "..")
            return fail(named(name, " contains an unsafe path component"));
        if (part.back() == ' ' || part.back() == '.' || is_reserved_device(part.substr(0, part.find('.'))))
            return fail(named(name, " contains a path component that is unsafe on Windows"));
        if (slash == std::string_view::npos) break;
        rest.remove_prefix(slash + 1);
    }
    return {};
}

std::string dedupe_key(std::string_view name) {
    while (name.ends_with('/')) name.remove_suffix(1);
    std::string key;
    key.reserve(name.size());
    for (char c : name) key.push_back(ascii_lower(c));
    return key;
}

bool ends_with_folded(std::string_view name, std::string_view ending) {
    if (name.size() < ending.size()) return false;
    const std::string_view tail = name.substr(name.size() - ending.size());
    for (std::size_t i = 0; i < ending.size(); ++i)
        if (ascii_lower(tail[i]) != ending[i]) return false;
    return true;
}

bool should_deflate(std::string_view name) {
    static constexpr std::array<std::string_view, 7> endings{".ged", ".txt", ".xml", ".json", ".csv", ".md", ".svg"};
    for (std::string_view e : endings)
        if (ends_with_folded(name, e)) return true;
    return false;
}

bool within_ratio(std::uint64_t uncompressed, std::uint64_t compressed, std::uint64_t max_ratio) {
    if (uncompressed == 0) return true;
    if (compressed == 0) return false;
    // A product past 64 bits is above every size.
    std::uint64_t product;
    return __builtin_mul_overflow(compressed, max_ratio, &product) || uncompressed <= product;
}

Result<void> check_entry_bounds(std::string_view name, std::uint64_t uncompressed, std::uint64_t compressed,
                                const ArchiveLimits& limits) {
    if (uncompressed > limits.max_entry_size) {
        return fail(named(name, " expands to " + std::to_string(uncompressed) + " bytes and the per-file limit is " +
                                    std::to_string(limits.max_entry_size)));
    }
    if (within_ratio(uncompressed, compressed, limits.max_ratio)) return {};
    return fail(named(name, " claims a compression ratio over the " + std::to_string(limits.max_ratio) +
                                "-fold limit"));
}

}  // namespace pellorine::gedzip
