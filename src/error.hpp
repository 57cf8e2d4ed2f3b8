// The one error type of the core library.
#pragma once

#include <cstdint>
#include <expected>
#include <string>

namespace pellorine {

// The category of a GedcomError.
enum class ErrorKind : std::uint8_t {
    Limit = 0,      // a bound was exceeded
    Syntax = 1,     // malformed syntax (level, identifier, tag)
    Structure = 2,  // nesting, record start, addressing, a refused edit
    Archive = 3,    // every archive failure; always line 0
};

// The error of every fallible operation of the core library.
struct GedcomError {
    std::string message;     // a lowercase sentence without a final full stop, naming the rule broken
    std::uint64_t line = 0;  // the 1-based input line at fault; 0 when the error belongs to no line
    ErrorKind kind = ErrorKind::Structure;  // what kind of rule was broken

    // An error of each kind, with its message and line.
    static GedcomError limit(std::string m, std::uint64_t line = 0) { return {std::move(m), line, ErrorKind::Limit}; }
    static GedcomError syntax(std::string m, std::uint64_t line = 0) { return {std::move(m), line, ErrorKind::Syntax}; }
    static GedcomError structure(std::string m, std::uint64_t line = 0) { return {std::move(m), line, ErrorKind::Structure}; }
    static GedcomError archive(std::string m) { return {std::move(m), 0, ErrorKind::Archive}; }

    // "GEDCOM line {}: {}", or the message alone when the error belongs to no line.
    std::string display() const {
        if (line == 0) return message;
        return "GEDCOM line " + std::to_string(line) + ": " + message;
    }
    bool operator==(const GedcomError&) const = default;  // field by field
};

// A value, or the GedcomError that prevented it.
template <class T>
using Result = std::expected<T, GedcomError>;

// Wraps `e` for returning from a function whose result is a Result.
inline std::unexpected<GedcomError> fail(GedcomError e) { return std::unexpected<GedcomError>(std::move(e)); }

}  // namespace pellorine
