#include "names.hpp"

#include <array>
#include <utility>

#include "text.hpp"

namespace pellorine {

namespace {

// A trimmed piece, absent when nothing but white space is left.
std::optional<std::string> piece(std::string_view s) {
    std::string_view t = text::trim(s);
    if (t.empty()) return std::nullopt;
    return std::string(t);
}

}  // namespace

PersonalName PersonalName::from_payload(std::string_view payload) {
    PersonalName n;
    n.value = std::string(payload);
    std::size_t first = payload.find('/');
    if (first == std::string_view::npos) {
        n.given = piece(payload);
        return n;
    }
    n.given = piece(payload.substr(0, first));
    std::string_view after = payload.substr(first + 1);
    std::size_t second = after.find('/');
    if (second == std::string_view::npos) {
        n.surname = piece(after);
        return n;
    }
    n.surname = piece(after.substr(0, second));
    n.suffix = piece(after.substr(second + 1));  // further slashes stay in the suffix
    return n;
}

PersonalName PersonalName::from_node(const Node& name) {
    PersonalName n = from_payload(name.logical_value());
    const std::array<std::pair<std::string_view, std::optional<std::string> PersonalName::*>, 7> pieces{{
        {"GIVN", &PersonalName::given},
        {"SURN", &PersonalName::surname},
        {"SPFX", &PersonalName::surname_prefix},
        {"NPFX", &PersonalName::name_prefix},
        {"NSFX", &PersonalName::suffix},
        {"NICK", &PersonalName::nickname},
        {"TYPE", &PersonalName::name_type},
    }};
    for (const auto& [tag, field] : pieces) {
        // Only the first child with the tag counts; a blank one keeps what the slashes gave.
        const Node* child = name.first(tag);
        if (child == nullptr) continue;
        if (auto p = piece(child->logical_value())) n.*field = std::move(p);
    }
    return n;
}

std::string PersonalName::display() const {
    std::string out;
    for (const auto* field : {&name_prefix, &given, &surname_prefix, &surname, &suffix}) {
        if (!*field) continue;
        if (!out.empty()) out += ' ';
        out += **field;
    }
    if (!out.empty()) return out;
    std::string bare;
    bare.reserve(value.size());
    for (char c : value)
        if (c != '/') bare += c;
    return std::string(text::trim(bare));
}

std::string PersonalName::sort_form() const {
    if (surname && given) return *surname + ", " + *given;
    if (surname) return *surname;
    if (given) return *given;
    return display();
}

bool PersonalName::is_empty() const {
    return !given && !surname && text::trim(value).empty();
}

std::string slashed(std::string_view name) {
    std::string_view t = text::trim(name);
    if (t.find('/') != std::string_view::npos) return std::string(t);
    std::size_t space = t.rfind(' ');
    if (space == std::string_view::npos) {
        // Appended piece by piece: g++ 12 warns (-Wrestrict, wrongly) about "/" + std::string.
        std::string out(1, '/');
        out += t;
        out += '/';
        return out;
    }
    std::string out(t.substr(0, space));
    out += " /";
    out += t.substr(space + 1);
    out += '/';
    return out;
}

}  // namespace pellorine
