// Conversion results and notes, shared by both directions.
#include "convert_internal.hpp"
#include "json.hpp"

namespace pellorine::convert {

std::string_view kind_name(ConversionKind kind) {
    switch (kind) {
        case ConversionKind::Converted: return "Converted";
        case ConversionKind::Dropped: return "Dropped";
        case ConversionKind::Kept: return "Kept";
    }
    return "";
}

std::string ConversionNote::to_json() const {
    json::Writer w;
    w.begin_object();
    w.key("record").string(record);
    w.key("tag").string(std::string_view(tag));
    w.key("kind").string(kind_name(kind));
    w.key("detail").string(std::string_view(detail));
    w.end_object();
    return w.take();
}

void Pass::begin_record(const Node& r) {
    if (auto xref = r.xref()) {
        record = std::string(*xref);
    } else {
        record.reset();
    }
}

const Role* role_7(std::string_view value) {
    for (const Role& r : roles_7) {
        if (r.value == value) return &r;
    }
    return nullptr;
}

Conversion start_conversion(const Document& document, std::string_view target) {
    Conversion out;
    out.source_version = document.version().value_or("unstated");
    out.target_version = std::string(target);
    out.document.reserve(document.records.size());
    for (const Node& record : document.records) out.document.push_back(record.clone());
    return out;
}

void Pass::note(std::string_view tag, ConversionKind kind, std::string_view detail) {
    note(tag, kind, std::string(detail));
}

void Pass::note(std::string_view tag, ConversionKind kind, const char* detail) {
    note(tag, kind, std::string(detail));
}

void Pass::note(std::string_view tag, ConversionKind kind, std::string&& detail) {
    notes.push_back(ConversionNote{std::string(tag), std::move(detail), record, kind});
}

bool continuation_has_children(const std::vector<Node>& children) {
    for (const Node& c : children) {
        if (is_continuation_tag(c.tag()) && !c.children().empty()) return true;
    }
    return false;
}

bool kept_for_continuation(const Node& node, std::string_view tag, std::string_view what, Pass& pass) {
    if (!continuation_has_children(node.children())) return false;
    pass.note(tag, ConversionKind::Kept,
              "a continuation line of this " + std::string(what) +
                  " has substructures of its own, so rewriting it would delete them; it is left as written");
    return true;
}

bool fits_written_lines(std::string_view text) {
    std::size_t start = 0;
    while (true) {
        const std::size_t nl = text.find('\n', start);
        const std::size_t end = nl == std::string_view::npos ? text.size() : nl;
        if (end - start > longest_written_line) return false;
        if (nl == std::string_view::npos) return true;
        start = nl + 1;
    }
}

std::string too_long_kept_detail(std::string_view what) {
    return "the " + std::string(what) + " is longer than this library reads back on one line; it is left as written";
}

std::string too_deep_kept_detail(std::string_view rewrite, std::string_view outcome) {
    return std::string(rewrite) + " would put a line deeper than level " + std::to_string(deepest_level) +
           ", which this library does not read back; " + std::string(outcome);
}

std::size_t phrase_depth(std::uint16_t level, std::string_view text) {
    return level + 1u + (text.find('\n') != std::string_view::npos ? 1u : 0u);
}

Node phrase_7(std::string_view text) {
    if (!text.starts_with('@')) return Node::with_value("PHRASE", text);
    std::string doubled(1, '@');
    doubled.append(text);
    return Node::with_value("PHRASE", doubled);
}

bool remove_tagged(Node& node, std::string_view tag) {
    return std::erase_if(node.children(), [&](const Node& c) { return c.tag() == tag; }) > 0;
}

Node* set_gedcom_version(Node& header, std::string_view version) {
    Node* gedc = header.first("GEDC");
    if (!gedc) return nullptr;
    gedc->forget_verbatim();
    // The whole logical payload: a "5.5" continued by ".1" must not become "7.0.1".
    if (Node* vers = gedc->first("VERS")) {
        vers->set_logical_value(version);
    } else {
        gedc->push(Node::with_value("VERS", version));
    }
    return gedc;
}

Node& require_gedcom_version(Node& header, std::string_view version, std::string_view target, Pass& pass) {
    if (Node* gedc = set_gedcom_version(header, version)) return *gedc;
    auto& children = header.children();
    children.insert(children.begin(), Node::new_("GEDC").child(Node::with_value("VERS", version)));
    pass.note("GEDC", ConversionKind::Converted,
              "the header declared no GEDCOM version, and " + std::string(target) + " requires it");
    return children.front();
}

}  // namespace pellorine::convert
