// The vocabulary of GEDCOM tags: English labels, the class of a tag at a
// level, and readable forms of the pedigree, certainty and sex codes.
//
// Everything here is a pure function over static tables. Results are either
// static texts of this module or pieces of the argument, so nothing is
// allocated; a caller that keeps a result copies it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace pellorine::tags {

// The class of a tag where it stands: a record, an event, an attribute, another structure, or unknown.
enum class TagKind : std::uint8_t { Record, Event, Attribute, Structure, Unknown };

// "record", "event", "attribute", "structure" or "unknown": the name views show.
std::string_view kind_name(TagKind kind);

// The English label of a standard tag (exact, case-sensitive match); none otherwise.
std::optional<std::string_view> label(std::string_view tag);
// The label, or the tag itself when it has none.
std::string_view display_label(std::string_view tag);

// The class of a tag at a level (0 for a record).
TagKind kind(std::string_view tag, std::uint16_t level);

// What `display_label` and `kind` give, from one lookup of the tag.
struct Described {
    std::string_view label;  // the label, or the tag itself when it has none
    TagKind kind;            // the class at the level asked for
};
// The display label and the class of a tag at a level, together.
Described describe(std::string_view tag, std::uint16_t level);

bool is_record(std::string_view tag);  // the 11 record tags
bool is_event(std::string_view tag);   // the 32 event tags
bool is_attribute(std::string_view tag);  // the 14 attribute tags
bool is_event_or_attribute(std::string_view tag);  // either of the two
bool is_extension(std::string_view tag);  // non-empty and starts with '_'

// Labels of underscore tags that other programs commonly write. Nothing else
// in the library consults this table; `kind` in particular does not.
std::optional<std::string_view> vendor_label(std::string_view tag);

// Readable forms of coded payloads: the label when the trimmed payload matches
// a known form exactly, else the trimmed payload itself.
std::string_view pedigree_label(std::string_view payload);   // PEDI: "birth" gives "Birth", ...
std::string_view certainty_label(std::string_view payload);  // QUAY: "0" gives "Unreliable", ...
std::string_view sex_label(std::string_view payload);        // SEX: "F" gives "Female", ...

// The tables themselves, sorted by tag bytes, for callers that list them.
struct Entry {
    std::string_view tag;    // the tag, exactly as written
    std::string_view label;  // its English label
};
std::span<const Entry> label_table();   // the standard tags' labels
std::span<const Entry> vendor_table();  // the vendor underscore tags' labels

}  // namespace pellorine::tags

namespace pellorine {
using tags::TagKind;
}
