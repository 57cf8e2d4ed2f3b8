// Plausibility findings over a whole document: dates that contradict each
// other, improbable ages, individuals that cite no source, children listed
// twice and empty families. Dates are compared as years; a date that cannot
// be read, a missing record or a dangling pointer only takes the checks that
// need it out of play. Nothing here fails.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "document.hpp"
#include "json.hpp"

namespace pellorine::validate {

// How serious a finding is; written in JSON as its name.
enum class Severity : std::uint8_t {
    Contradiction = 0,  // the dates cannot all be true
    Question = 1,       // possible, but worth a second look
    Missing = 2,        // something expected is not there
};

// The name of a severity ("Contradiction", "Question", "Missing").
std::string_view severity_name(Severity s);

// One finding.
struct Finding {
    std::string record;   // the record's identifier as written, else its tag
    std::string check;    // "died-before-born", "no-source", ...
    Severity severity = Severity::Question;
    std::string message;  // an English sentence fragment with the years involved

    // Writes {"record":..,"check":..,"severity":..,"message":..}.
    void write_json(json::Writer& w) const;
    // The same object as one compact JSON text.
    std::string to_json() const;
    bool operator==(const Finding&) const = default;  // field by field
};

// The years a date allows; when both are present, earliest <= latest.
struct Years {
    std::optional<std::int32_t> earliest;  // none: open towards the past
    std::optional<std::int32_t> latest;    // none: open towards the future

    // The years of a DATE text: none when it does not read, or reads in a
    // calendar other than Gregorian or Julian, or gives no year at all.
    static std::optional<Years> of_date(std::string_view text);
    // "undated", "before 1900", "after 1900", "between 1890 and 1900", "1900".
    std::string display() const;
    bool operator==(const Years&) const = default;  // field by field
};

// The dates of one individual: those of its first BIRT, DEAT and BURI.
struct Life {
    std::optional<Years> birth;   // the first BIRT's years; none when it is missing or gives none
    std::optional<Years> death;   // the same for the first DEAT
    std::optional<Years> burial;  // the same for the first BURI
    bool operator==(const Life&) const = default;  // field by field
};

// Every finding of the document: individuals' first, then families', each in document order.
std::vector<Finding> inspect(const Document& document);

}  // namespace pellorine::validate
