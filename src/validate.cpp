// The pieces findings are made of: years of a date, a life, the phrases that
// show them, and a finding's JSON form.
#include "validate_internal.hpp"

#include "dates.hpp"
#include "text.hpp"

namespace pellorine::validate {

std::string_view severity_name(Severity s) {
    switch (s) {
        case Severity::Contradiction: return "Contradiction";
        case Severity::Question: return "Question";
        case Severity::Missing: return "Missing";
    }
    return "";
}

void Finding::write_json(json::Writer& w) const {
    w.begin_object();
    w.key("record").string(std::string_view(record));
    w.key("check").string(std::string_view(check));
    w.key("severity").string(severity_name(severity));
    w.key("message").string(std::string_view(message));
    w.end_object();
}

std::string Finding::to_json() const {
    json::Writer w;
    write_json(w);
    return w.take();
}

std::optional<Years> Years::of_date(std::string_view text) {
    GedcomDate date = GedcomDate::parse(text);
    if (date.kind == DateKind::Unparsed) return std::nullopt;
    if (date.calendar != Calendar::Gregorian && date.calendar != Calendar::Julian) return std::nullopt;
    std::optional<std::int32_t> e, l;
    if (date.earliest) e = date.earliest->year;
    if (date.latest) l = date.latest->year;
    if (e && l) return Years{std::min(*e, *l), std::max(*e, *l)};
    if (!e && !l) return std::nullopt;
    return Years{e, l};
}

std::string Years::display() const {
    if (earliest && latest) {
        if (*earliest == *latest) return std::to_string(*earliest);
        return "between " + std::to_string(*earliest) + " and " + std::to_string(*latest);
    }
    if (latest) return "before " + std::to_string(*latest);
    if (earliest) return "after " + std::to_string(*earliest);
    return "undated";
}

std::string in_year(const Years& years) {
    if (years.earliest && years.latest && *years.earliest == *years.latest) return "in " + std::to_string(*years.earliest);
    return years.display();
}

std::string age(const Years& birth, const Years& event) {
    // Differences of two 32-bit years need 33 bits.
    std::optional<std::int64_t> least, greatest;
    if (event.earliest && birth.latest) least = std::int64_t{*event.earliest} - *birth.latest;
    if (event.latest && birth.earliest) greatest = std::int64_t{*event.latest} - *birth.earliest;
    if (least && greatest) {
        if (*least == *greatest) return "at " + std::to_string(*least);
        return "at " + std::to_string(*least) + " to " + std::to_string(*greatest);
    }
    if (least) return "at least " + std::to_string(*least);
    if (greatest) return "at most " + std::to_string(*greatest);
    return "at an unknown age";
}

Life life_of(const view::IndividualView& view) {
    Life life;
    bool birth = false, death = false, burial = false;
    // Only the first event of each tag counts, dated or not.
    auto take = [&](const view::EventView& e, bool& done, std::optional<Years>& into) {
        if (done) return;
        done = true;
        if (e.date) into = Years::of_date(*e.date);
    };
    for (const view::EventView& e : view.events) {
        if (e.tag == "BIRT") take(e, birth, life.birth);
        else if (e.tag == "DEAT") take(e, death, life.death);
        else if (e.tag == "BURI") take(e, burial, life.burial);
    }
    return life;
}

void add(std::vector<Finding>& findings, const Node& record, std::string_view check, Severity severity,
         std::string message) {
    auto xref = record.xref();
    findings.push_back(
        {std::string(xref ? *xref : record.tag()), std::string(check), severity, std::move(message)});
}

std::string heading(const std::vector<Node>& records, std::string_view xref) {
    for (const Node& r : records) {
        auto x = r.xref();
        if (x && x->size() == xref.size() && text::ascii_iequals(*x, xref)) return view::record_title(r);
    }
    return std::string(xref);
}

}  // namespace pellorine::validate
