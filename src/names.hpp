// Personal names: a NAME payload with its surname between slashes
// ("John /Smith/ Jr."), completed by the name's piece substructures.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "document.hpp"

namespace pellorine {

// One personal name, read from a NAME payload and its piece substructures.
struct PersonalName {
    std::string value;                          // the payload exactly as passed
    std::optional<std::string> given;           // GIVN, else the text before the first slash
    std::optional<std::string> surname;         // SURN, else the text between the slashes
    std::optional<std::string> surname_prefix;  // SPFX
    std::optional<std::string> name_prefix;     // NPFX
    std::optional<std::string> suffix;          // NSFX, else the text after the second slash
    std::optional<std::string> nickname;        // NICK
    std::optional<std::string> name_type;       // TYPE
    // Every present optional field is trimmed and never empty.

    // Reads the slashes of a payload only.
    static PersonalName from_payload(std::string_view payload);
    // Reads a NAME node: its logical payload, then the piece substructures,
    // whose non-blank values win over what the slashes gave.
    static PersonalName from_node(const Node& name);

    // "Dr. John van Smith Jr.": prefix, given, surname prefix, surname, suffix.
    std::string display() const;
    // "Smith, John"; one of the two when only one is known; else the display.
    std::string sort_form() const;
    // No given name, no surname, and a blank payload.
    bool is_empty() const;

    bool operator==(const PersonalName&) const = default;  // field by field
};

// A plain name with its last word marked as the surname:
// "John Henry Smith" gives "John Henry /Smith/".
std::string slashed(std::string_view name);

}  // namespace pellorine
