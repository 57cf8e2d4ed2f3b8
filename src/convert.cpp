// Conversion results and notes, shared by both directions.
#include "convert.hpp"

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
        std::string_view t = c.tag();
        if ((t == "CONT" || t == "CONC") && !c.children().empty()) return true;
    }
    return false;
}

std::string continuation_kept_detail(std::string_view what) {
    std::string out = "a continuation line of this ";
    out += what;
    out += " has substructures of its own, so rewriting it would delete them; it is left as written";
    return out;
}

}  // namespace pellorine::convert
