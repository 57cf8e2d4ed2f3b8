// Individual, family, name and event views.
#include "dates.hpp"
#include "names.hpp"
#include "text.hpp"
#include "view.hpp"

namespace pellorine::view {
namespace {

void key(JsonWriter& w, std::string_view k) { w.Key(k.data(), static_cast<rapidjson::SizeType>(k.size())); }

void write_optional(JsonWriter& w, const std::optional<std::string>& s) {
    if (s)
        write_string(w, *s);
    else
        w.Null();
}

void write_strings(JsonWriter& w, const std::vector<std::string>& list) {
    w.StartArray();
    for (const auto& s : list) write_string(w, s);
    w.EndArray();
}

template <class T>
void write_list(JsonWriter& w, const std::vector<T>& list) {
    w.StartArray();
    for (const auto& item : list) item.write_json(w);
    w.EndArray();
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
    if (v.label.empty()) v.label = std::string(tags::display_label(tag));
    v.place = text_of(node, "PLAC");
    v.age = text_of(node, "AGE");
    v.cause = text_of(node, "CAUS");
    v.attribute = tags::is_attribute(tag);
    if (auto own = node.value(); own && !is_blank(*own) && *own != "Y") v.value = std::string(*own);
    v.citations = pointers_of(node, "SOUR");
    v.tag = std::string(tag);
    v.path = std::move(path);
    return v;
}

void EventView::write_json(JsonWriter& w) const {
    w.StartObject();
    key(w, "tag");
    write_string(w, tag);
    key(w, "label");
    write_string(w, label);
    key(w, "date");
    write_optional(w, date);
    key(w, "dateDisplay");
    write_optional(w, date_display);
    key(w, "year");
    if (year)
        w.Int(*year);
    else
        w.Null();
    key(w, "sortKey");
    if (sort_key)
        w.Int64(*sort_key);
    else
        w.Null();
    key(w, "place");
    write_optional(w, place);
    key(w, "age");
    write_optional(w, age);
    key(w, "cause");
    write_optional(w, cause);
    key(w, "attribute");
    w.Bool(attribute);
    key(w, "value");
    write_optional(w, value);
    key(w, "citations");
    write_strings(w, citations);
    key(w, "path");
    w.StartArray();
    for (std::size_t i : path) w.Uint64(i);
    w.EndArray();
    w.EndObject();
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
    w.StartObject();
    key(w, "display");
    write_string(w, display);
    key(w, "sort");
    write_string(w, sort);
    key(w, "original");
    write_string(w, original);
    key(w, "kind");
    write_optional(w, kind);
    key(w, "citations");
    write_strings(w, citations);
    w.EndObject();
}

void FamilyLinkView::write_json(JsonWriter& w) const {
    w.StartObject();
    key(w, "family");
    write_string(w, family);
    key(w, "pedigree");
    write_optional(w, pedigree);
    w.EndObject();
}

void IdentifierView::write_json(JsonWriter& w) const {
    w.StartObject();
    key(w, "tag");
    write_string(w, tag);
    key(w, "label");
    write_string(w, label);
    key(w, "value");
    write_string(w, value);
    key(w, "kind");
    write_optional(w, kind);
    w.EndObject();
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
        } else if (tags::is_event(tag) || tags::is_attribute(tag)) {
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
    w.StartObject();
    key(w, "xref");
    write_string(w, xref);
    key(w, "names");
    write_list(w, names);
    key(w, "sex");
    write_optional(w, sex);
    key(w, "events");
    write_list(w, events);
    key(w, "childIn");
    write_list(w, child_in);
    key(w, "partnerIn");
    write_list(w, partner_in);
    key(w, "citations");
    write_strings(w, citations);
    key(w, "media");
    write_strings(w, media);
    key(w, "identifiers");
    write_list(w, identifiers);
    w.EndObject();
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
    w.StartObject();
    key(w, "xref");
    write_string(w, xref);
    key(w, "husband");
    write_optional(w, husband);
    key(w, "wife");
    write_optional(w, wife);
    key(w, "children");
    write_strings(w, children);
    key(w, "events");
    write_list(w, events);
    w.EndObject();
}

std::vector<std::string> FamilyView::partners() const {
    std::vector<std::string> out;
    if (husband) out.push_back(*husband);
    if (wife) out.push_back(*wife);
    return out;
}

}  // namespace pellorine::view
