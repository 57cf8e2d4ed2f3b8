// Individual, family, name and event views.
#include "dates.hpp"
#include "names.hpp"
#include "text.hpp"
#include "view.hpp"

namespace pellorine::view {
namespace {

void write_strings(JsonWriter& w, const std::vector<std::string>& list) {
    w.begin_array();
    for (const auto& s : list) w.string(s);
    w.end_array();
}

template <class T>
void write_list(JsonWriter& w, const std::vector<T>& list) {
    w.begin_array();
    for (const auto& item : list) item.write_json(w);
    w.end_array();
}

bool is_blank(std::string_view s) { return text::trim(s).empty(); }

// The logical payload of the node's first child with this tag; a blank one
// counts as absent, like a missing child (later children are not consulted).
std::optional<std::string> text_of(const Node& node, std::string_view tag) {
    auto v = node.value_of(tag);
    if (v && is_blank(*v)) return std::nullopt;
    return v;
}

// Other programs' identifiers: an underscore tag with "ID" anywhere in it.
bool is_vendor_identifier(std::string_view tag) {
    return tags::is_extension(tag) && tag.find("ID") != std::string_view::npos;
}

IdentifierView identifier(const Node& node, bool typed) {
    IdentifierView id;
    id.tag = std::string(node.tag());
    id.label = std::string(tags::display_label(node.tag()));
    id.value = node.logical_value();
    if (typed) id.kind = text_of(node, "TYPE");
    return id;
}

std::optional<std::string> own_pointer(const Node* node) {
    if (!node) return std::nullopt;
    if (auto p = node->pointer()) return std::string(*p);
    return std::nullopt;
}

}  // namespace

std::vector<std::string> pointers_of(const Node& node, std::string_view tag) {
    std::vector<std::string> out;
    for (const Node& child : node.children())
        if (child.tag() == tag)
            if (auto p = child.pointer()) out.emplace_back(*p);
    return out;
}

// Events

EventView EventView::from_node(const Node& node, Path path) {
    EventView v;
    if (auto payload = text_of(node, "DATE")) {
        GedcomDate date = GedcomDate::parse(*payload);
        v.date_display = date.display();
        v.year = date.year_hint();
        v.sort_key = date.sort_key();
        v.date = std::move(payload);
    }
    std::string_view tag = node.tag();
    if (tag == "EVEN" || tag == "FACT") {
        if (auto type = text_of(node, "TYPE")) v.label = std::move(*type);
    }
    const tags::Described described = tags::describe(tag, 1);
    if (v.label.empty()) v.label = std::string(described.label);
    v.place = text_of(node, "PLAC");
    v.age = text_of(node, "AGE");
    v.cause = text_of(node, "CAUS");
    v.attribute = described.kind == TagKind::Attribute;
    if (auto own = node.value(); own && !is_blank(*own) && *own != "Y") v.value = std::string(*own);
    v.citations = pointers_of(node, "SOUR");
    v.tag = std::string(tag);
    v.path = std::move(path);
    return v;
}

void EventView::write_json(JsonWriter& w) const {
    w.begin_object();
    w.key("tag").string(tag);
    w.key("label").string(label);
    w.key("date").string(date);
    w.key("dateDisplay").string(date_display);
    w.key("year");
    year ? w.int64(*year) : w.null();
    w.key("sortKey");
    sort_key ? w.int64(*sort_key) : w.null();
    w.key("place").string(place);
    w.key("age").string(age);
    w.key("cause").string(cause);
    w.key("attribute").boolean(attribute);
    w.key("value").string(value);
    w.key("citations");
    write_strings(w, citations);
    w.key("path");
    write_path(w, path);
    w.end_object();
}

// Names, links, identifiers

NameView NameView::from_node(const Node& name) {
    PersonalName pn = PersonalName::from_node(name);
    NameView v;
    v.display = pn.display();
    v.sort = pn.sort_form();
    v.original = std::move(pn.value);
    v.kind = std::move(pn.name_type);
    v.citations = pointers_of(name, "SOUR");
    return v;
}

void NameView::write_json(JsonWriter& w) const {
    w.begin_object();
    w.key("display").string(display);
    w.key("sort").string(sort);
    w.key("original").string(original);
    w.key("kind").string(kind);
    w.key("citations");
    write_strings(w, citations);
    w.end_object();
}

void FamilyLinkView::write_json(JsonWriter& w) const {
    w.begin_object();
    w.key("family").string(family);
    w.key("pedigree").string(pedigree);
    w.end_object();
}

void IdentifierView::write_json(JsonWriter& w) const {
    w.begin_object();
    w.key("tag").string(tag);
    w.key("label").string(label);
    w.key("value").string(value);
    w.key("kind").string(kind);
    w.end_object();
}

// Individuals

IndividualView IndividualView::from_node(const Node& record) {
    IndividualView v;
    const auto& kids = record.children();
    for (std::size_t i = 0; i < kids.size(); ++i) {
        const Node& child = kids[i];
        std::string_view tag = child.tag();
        if (tag == "RIN" || tag == "UID") {
            v.identifiers.push_back(identifier(child, true));
        } else if (tag == "NAME") {
            v.names.push_back(NameView::from_node(child));
        } else if (tag == "FAMC") {
            if (auto p = child.pointer()) {
                FamilyLinkView link{std::string(*p), std::nullopt};
                if (const Node* pedi = child.first("PEDI"))
                    link.pedigree = std::string(tags::pedigree_label(pedi->logical_value()));
                v.child_in.push_back(std::move(link));
            }
        } else if (tag == "FAMS") {
            if (auto p = child.pointer()) v.partner_in.push_back(FamilyLinkView{std::string(*p), std::nullopt});
        } else if (tag == "SOUR") {
            if (auto p = child.pointer()) v.citations.emplace_back(*p);
        } else if (tag == "OBJE") {
            if (auto p = child.pointer()) v.media.emplace_back(*p);
        } else if (tag == "REFN" || tag == "EXID" || tag == "_UID") {
            v.identifiers.push_back(identifier(child, true));
        } else if (tags::is_event_or_attribute(tag)) {
            v.events.push_back(EventView::from_node(child, Path{i}));
        } else if (is_vendor_identifier(tag)) {
            v.identifiers.push_back(identifier(child, false));
        }
    }
    if (auto x = record.xref()) v.xref = std::string(*x);
    if (const Node* sex = record.first("SEX")) v.sex = std::string(tags::sex_label(sex->logical_value()));
    return v;
}

void IndividualView::write_json(JsonWriter& w) const {
    w.begin_object();
    w.key("xref").string(xref);
    w.key("names");
    write_list(w, names);
    w.key("sex").string(sex);
    w.key("events");
    write_list(w, events);
    w.key("childIn");
    write_list(w, child_in);
    w.key("partnerIn");
    write_list(w, partner_in);
    w.key("citations");
    write_strings(w, citations);
    w.key("media");
    write_strings(w, media);
    w.key("identifiers");
    write_list(w, identifiers);
    w.end_object();
}

std::string IndividualView::display_name() const {
    if (names.empty()) return "Unnamed";
    return names.front().display;
}

std::optional<std::int32_t> IndividualView::event_year(std::string_view tag) const {
    for (const auto& e : events)
        if (e.tag == tag) return e.year;
    return std::nullopt;
}

std::optional<std::string> IndividualView::life_years() const {
    auto first_year = [&](std::string_view tag) -> std::optional<std::int32_t> {
        for (const auto& e : events)
            if (e.tag == tag && e.year) return e.year;
        return std::nullopt;
    };
    std::optional<std::int32_t> born = first_year("BIRT");
    if (!born) born = first_year("CHR");
    if (!born) born = first_year("BAPM");
    std::optional<std::int32_t> died = first_year("DEAT");
    if (born && died) return std::to_string(*born) + "\u2013" + std::to_string(*died);
    if (born) return "b. " + std::to_string(*born);
    if (died) return "d. " + std::to_string(*died);
    return std::nullopt;
}

// Families

FamilyView FamilyView::from_node(const Node& record) {
    FamilyView v;
    const auto& kids = record.children();
    for (std::size_t i = 0; i < kids.size(); ++i) {
        const Node& child = kids[i];
        if (child.tag() == "CHIL") {
            if (auto p = child.pointer()) v.children.emplace_back(*p);
        } else if (tags::is_event(child.tag())) {
            v.events.push_back(EventView::from_node(child, Path{i}));
        }
    }
    if (auto x = record.xref()) v.xref = std::string(*x);
    v.husband = own_pointer(record.first("HUSB"));
    v.wife = own_pointer(record.first("WIFE"));
    return v;
}

void FamilyView::write_json(JsonWriter& w) const {
    w.begin_object();
    w.key("xref").string(xref);
    w.key("husband").string(husband);
    w.key("wife").string(wife);
    w.key("children");
    write_strings(w, children);
    w.key("events");
    write_list(w, events);
    w.end_object();
}

std::vector<std::string> FamilyView::partners() const {
    std::vector<std::string> out;
    if (husband) out.push_back(*husband);
    if (wife) out.push_back(*wife);
    return out;
}

}  // namespace pellorine::view
