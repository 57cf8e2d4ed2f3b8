// Record and structure views, their headings and raw lines.
#include "view.hpp"

#include "names.hpp"
#include "text.hpp"

namespace pellorine::view {
namespace {

std::optional<std::string> copy(std::optional<std::string_view> s) {
    if (!s) return std::nullopt;
    return std::string(*s);
}

// The candidate text of a record's heading, before trimming; none when the
// record's tag gives none.
std::optional<std::string> title_candidate(const Node& record) {
    std::string_view tag = record.tag();
    if (tag == "INDI") {
        const Node* name = record.first("NAME");
        if (!name) return std::nullopt;
        return PersonalName::from_node(*name).display();
    }
    if (tag == "FAM") return std::nullopt;
    if (tag == "SOUR") {
        if (auto t = record.value_of("TITL")) return t;
        return record.value_of("ABBR");
    }
    if (tag == "REPO" || tag == "SUBM") return record.value_of("NAME");
    if (tag == "OBJE") {
        const Node* file = record.first("FILE");
        if (!file) return std::nullopt;
        if (auto t = file->value_of("TITL")) return t;
        return file->logical_value();
    }
    return record.logical_value();
}

// The record's heading from its candidate text: trimmed, line feeds made
// spaces, shortened; none when that leaves nothing (the label stands then).
std::optional<std::string> heading_of(const Node& record) {
    auto candidate = title_candidate(record);
    if (!candidate) return std::nullopt;
    std::string t(text::trim(*candidate));
    for (char& c : t)
        if (c == '\n') c = ' ';
    if (t.empty()) return std::nullopt;
    return truncate_heading(std::move(t));
}

}  // namespace

void write_path(JsonWriter& w, const Path& path) {
    w.begin_array();
    for (std::size_t i : path) w.uint(i);
    w.end_array();
}

// Structure and record views

StructureView StructureView::from_node(const Node& node, std::uint16_t level, Path path) {
    StructureView v;
    const auto& kids = node.children();
    for (std::size_t i = 0; i < kids.size(); ++i) {
        if (is_continuation_tag(kids[i].tag())) continue;
        Path child_path = path;
        child_path.push_back(i);
        v.children.push_back(from_node(kids[i], static_cast<std::uint16_t>(level + 1), std::move(child_path)));
    }
    const std::string_view tag = node.tag();
    const tags::Described described = tags::describe(tag, level);
    v.tag = std::string(tag);
    v.label = std::string(described.label);
    v.kind = described.kind;
    v.value = node.logical_value();
    v.pointer = copy(node.pointer());
    v.extension = tags::is_extension(tag);
    v.path = std::move(path);
    v.level = level;
    return v;
}

void StructureView::write_json(JsonWriter& w) const {
    w.begin_object();
    w.key("path");
    write_path(w, path);
    w.key("level").uint(level);
    w.key("tag").string(tag);
    w.key("label").string(label);
    w.key("kind").string(tags::kind_name(kind));
    w.key("value").string(value);
    w.key("pointer").string(pointer);
    w.key("extension").boolean(extension);
    w.key("children").begin_array();
    for (const auto& c : children) c.write_json(w);
    w.end_array();
    w.end_object();
}

RecordView RecordView::from_node(const Node& record) {
    RecordView v;
    const auto& kids = record.children();
    v.structures.reserve(kids.size());
    for (std::size_t i = 0; i < kids.size(); ++i) {
        if (is_continuation_tag(kids[i].tag())) continue;
        v.structures.push_back(StructureView::from_node(kids[i], 1, Path{i}));
    }
    v.xref = copy(record.xref());
    v.tag = std::string(record.tag());
    v.label = std::string(tags::display_label(record.tag()));
    auto heading = heading_of(record);
    v.title = heading ? std::move(*heading) : truncate_heading(v.label);
    v.raw = raw_lines(record);
    return v;
}

void RecordView::write_json(JsonWriter& w) const {
    w.begin_object();
    w.key("xref").string(xref);
    w.key("tag").string(tag);
    w.key("label").string(label);
    w.key("title").string(title);
    w.key("structures").begin_array();
    for (const auto& s : structures) s.write_json(w);
    w.end_array();
    w.key("raw").string(raw);
    w.end_object();
}

std::string record_title(const Node& record) {
    if (auto heading = heading_of(record)) return std::move(*heading);
    return truncate_heading(std::string(tags::display_label(record.tag())));
}

std::string truncate_heading(std::string text) {
    constexpr std::size_t keep = 87, limit = 90;
    std::size_t chars = 0, pos = 0, cut = 0;
    while (pos < text.size()) {
        text::next_code_point(text, pos);
        ++chars;
        if (chars == keep) cut = pos;
        if (chars > limit) {
            text.resize(cut);
            text += "\u2026";
            return text;
        }
    }
    return text;
}

std::string raw_lines(const Node& record) {
    std::string out;
    record.render_into(0, out);
    return out;
}

}  // namespace pellorine::view
