// The one error type of the core library.
#pragma once

#include <cstdint>
#include <expected>
#include <string>

namespace pellorine {

enum class ErrorKind : std::uint8_t {
    Limit = 0,      // a bound was exceeded
    Syntax = 1,     // malformed syntax (level, identifier, tag)
    Structure = 2,  // nesting, record start, addressing, a refused edit
    Archive = 3,    // every archive failure; always line 0
};

struct GedcomError {
    std::string message;
    std::uint64_t line = 0;
    ErrorKind kind = ErrorKind::Structure;

    static GedcomError limit(std::string m, std::uint64_t line = 0) { return {std::move(m), line, ErrorKind::Limit}; }
    static GedcomError syntax(std::string m, std::uint64_t line = 0) { return {std::move(m), line, ErrorKind::Syntax}; }
    static GedcomError structure(std::string m, std::uint64_t line = 0) { return {std::move(m), line, ErrorKind::Structure}; }
    static GedcomError archive(std::string m) { return {std::move(m), 0, ErrorKind::Archive}; }

    // "GEDCOM line {}: {}", or the message alone when the error belongs to no line.
    std::string display() const {
        if (line == 0) return message;
        return "GEDCOM line " + std::to_string(line) + ": " + message;
    }
    bool operator==(const GedcomError&) const = default;
};

template <class T>
using Result = std::expected<T, GedcomError>;

inline std::unexpected<GedcomError> fail(GedcomError e) { return std::unexpected<GedcomError>(std::move(e)); }

}  // namespace pellorine
