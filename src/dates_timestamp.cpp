// Change and creation timestamps: a CHAN or CREA structure holding a DATE
// with an optional TIME.
#include <optional>
#include <string>
#include <string_view>

#include "dates.hpp"

namespace pellorine {

std::string Timestamp::display() const {
    std::string out = date.display();
    if (time) {
        out += ' ';
        out += *time;
    }
    return out;
}

std::optional<Timestamp> timestamp_of(const Node& node) {
    const Node* date = node.first("DATE");
    if (date == nullptr) return std::nullopt;
    Timestamp ts{GedcomDate::parse(date->logical_value()), std::nullopt};
    // TIME belongs under DATE; one written beside it at the same level is accepted too.
    if (const Node* time = date->first("TIME"))
        ts.time = time->logical_value();
    else if (const Node* beside = node.first("TIME"))
        ts.time = beside->logical_value();
    return ts;
}

std::optional<Timestamp> changed(const Node& record) {
    if (const Node* chan = record.first("CHAN")) return timestamp_of(*chan);
    if (const Node* crea = record.first("CREA")) return timestamp_of(*crea);
    return std::nullopt;
}

Node timestamp_node(std::string_view tag, const DatePoint& point, std::optional<std::string_view> time) {
    Node date = Node::with_value("DATE", point.to_gedcom());
    if (time) date.push(Node::with_value("TIME", *time));
    Node out = Node::new_(tag);
    out.push(std::move(date));
    return out;
}

}  // namespace pellorine
