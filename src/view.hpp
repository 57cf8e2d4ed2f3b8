// Display-ready views of records: a generic tree for any record, and
// gathered readings of individuals, families and their events.
//
// Views only read the document and never fail: whatever a record holds, a view
// comes out. Each view is built afresh and owned by the caller. Every view
// writes itself as one compact JSON object whose keys, key order and value
// shapes are the Python interface.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "document.hpp"
#include "json.hpp"
#include "tags.hpp"

namespace pellorine::view {

using JsonWriter = json::Writer;

// A JSON text of one view.
template <class View>
std::string to_json(const View& v) {
    JsonWriter writer;
    v.write_json(writer);
    return writer.take();
}

// One substructure and its whole subtree.
struct StructureView {
    Path path;               // child indices from the record, continuation lines counted
    std::uint16_t level = 1;  // 1 for a child of the record
    std::string tag;
    std::string label;       // the tag's label, or the tag
    TagKind kind = TagKind::Unknown;  // written as its name ("event", ...)
    std::string value;       // the logical payload, "" when there is none
    std::optional<std::string> pointer;  // the own payload when it has the pointer shape
    bool extension = false;  // the tag starts with '_'
    std::vector<StructureView> children;  // continuation lines left out

    static StructureView from_node(const Node& node, std::uint16_t level, Path path);
    void write_json(JsonWriter& w) const;  // writes the view as one JSON object
    std::string to_json() const { return view::to_json(*this); }  // the view as compact JSON text
};

// One record of any tag.
struct RecordView {
    std::optional<std::string> xref;
    std::string tag;
    std::string label;
    std::string title;
    std::vector<StructureView> structures;  // level-1 children, continuation lines left out
    std::string raw;                        // the record's GEDCOM lines, each ending in "\n"

    static RecordView from_node(const Node& record);
    void write_json(JsonWriter& w) const;  // writes the view as one JSON object
    std::string to_json() const { return view::to_json(*this); }  // the view as compact JSON text
};

// A short heading for a record: a name, a title or a text, else its label.
std::string record_title(const Node& record);
// At most 90 characters: a longer text keeps 87 and gains "…".
std::string truncate_heading(std::string text);
// The record and its subtree as GEDCOM lines, as read where not edited.
std::string raw_lines(const Node& record);

// One event or attribute.
struct EventView {
    std::string tag;
    std::string label;  // an EVEN/FACT's non-blank TYPE, else the tag's label, else the tag
    // The first DATE's, PLAC's, AGE's, CAUS's logical payload; a blank one is absent.
    std::optional<std::string> date;
    std::optional<std::string> date_display;  // "dateDisplay"
    std::optional<std::int32_t> year;
    std::optional<std::int64_t> sort_key;  // "sortKey"
    std::optional<std::string> place;
    std::optional<std::string> age;
    std::optional<std::string> cause;
    bool attribute = false;
    std::optional<std::string> value;  // own payload, unless blank or exactly "Y"
    std::vector<std::string> citations;
    Path path;

    static EventView from_node(const Node& node, Path path);
    void write_json(JsonWriter& w) const;  // writes the view as one JSON object
    std::string to_json() const { return view::to_json(*this); }  // the view as compact JSON text
};

// One NAME of an individual.
struct NameView {
    std::string display;
    std::string sort;
    std::string original;
    std::optional<std::string> kind;  // the name's TYPE
    std::vector<std::string> citations;

    static NameView from_node(const Node& name);
    void write_json(JsonWriter& w) const;  // writes the view as one JSON object
};

// A link from an individual to a family (FAMC or FAMS).
struct FamilyLinkView {
    std::string family;
    std::optional<std::string> pedigree;  // FAMC only, when it has a PEDI

    void write_json(JsonWriter& w) const;  // writes the view as one JSON object
};

// One identifier of an individual.
struct IdentifierView {
    std::string tag;
    std::string label;
    std::string value;
    std::optional<std::string> kind;  // the first TYPE's logical payload, unless blank

    void write_json(JsonWriter& w) const;  // writes the view as one JSON object
};

struct IndividualView {
    std::string xref;  // "" when the record has none
    std::vector<NameView> names;
    std::optional<std::string> sex;
    std::vector<EventView> events;  // events and attributes, in document order
    std::vector<FamilyLinkView> child_in;    // "childIn"
    std::vector<FamilyLinkView> partner_in;  // "partnerIn"
    std::vector<std::string> citations;
    std::vector<std::string> media;
    std::vector<IdentifierView> identifiers;

    static IndividualView from_node(const Node& record);
    void write_json(JsonWriter& w) const;  // writes the view as one JSON object
    std::string to_json() const { return view::to_json(*this); }  // the view as compact JSON text

    // The first name's display form, or "Unnamed".
    std::string display_name() const;
    // The year of the first event with this tag, if it has one.
    std::optional<std::int32_t> event_year(std::string_view tag) const;
    // "1901–1950", "b. 1901", "d. 1950", or nothing.
    std::optional<std::string> life_years() const;
};

struct FamilyView {
    std::string xref;  // "" when the record has none
    std::optional<std::string> husband;
    std::optional<std::string> wife;
    std::vector<std::string> children;  // repeats kept
    std::vector<EventView> events;      // events only, no attributes

    static FamilyView from_node(const Node& record);
    void write_json(JsonWriter& w) const;  // writes the view as one JSON object
    std::string to_json() const { return view::to_json(*this); }  // the view as compact JSON text

    // Husband then wife, those present.
    std::vector<std::string> partners() const;
};

// Writes a structure path as a JSON array of numbers.
void write_path(JsonWriter& w, const Path& path);

// The pointer-shaped payloads, as written, of the node's children with this tag.
std::vector<std::string> pointers_of(const Node& node, std::string_view tag);

}  // namespace pellorine::view
