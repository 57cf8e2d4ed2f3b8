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

void Pass::note(std::string_view tag, ConversionKind kind, std::string&& detail) {
    notes.push_back(ConversionNote{std::string(tag), std::move(detail), record, kind});
}

}  // namespace pellorine::convert
