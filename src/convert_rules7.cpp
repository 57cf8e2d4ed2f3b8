// Structure rules toward GEDCOM 7.0, applied to every node of every record:
// CONC lines folded into the text they continue, _UID renamed, pointers to
// note records made shared-note pointers, dates and roles rewritten, and
// media objects handed to the media rules.
#include <algorithm>
#include <array>
#include <cstddef>

#include "convert_internal.hpp"
#include "dates.hpp"
#include "text.hpp"

namespace pellorine::convert {

namespace {

constexpr std::string_view kConc = "CONC";
constexpr std::string_view kCont = "CONT";

constexpr std::string_view reason_under_continuation = "it is under a continuation line, not a payload";
constexpr std::string_view reason_conc_has_own = "a CONC line carries an identifier or substructures of its own";
constexpr std::string_view reason_pointer = "it continues a pointer payload, which joining would turn into other text";
constexpr std::string_view reason_at_sign =
    "joining would make the text begin with @, which version 7 reads as a pointer or an escape";
constexpr std::string_view reason_too_long = "the joined line would be longer than this library reads back";

void note_conc_kept(Pass& pass, std::string_view tag, std::size_t count, std::string_view reasons) {
    std::string detail = std::to_string(count) + " CONC line(s) kept as written because ";
    detail += reasons;
    detail += "; the output is therefore not valid version 7";
    pass.note(tag, ConversionKind::Kept, std::move(detail));
}

// One run of CONC lines continuing the same line (the node's own payload, or a CONT).
struct Segment {
    Node* anchor = nullptr;  // the node itself or one of its CONT children
    std::string joined;      // the anchor's payload followed by its CONC payloads
    bool folds_text = false;  // some CONC of the run has a non-empty payload
    bool blocked = false;
};

// A node's CONC children, gathered into the segments they continue.
struct ConcScan {
    std::vector<Segment> segments;  // each anchor's run, opened at its first CONC
    std::size_t count = 0;          // the CONC children
    bool has_own = false;           // some CONC carries an identifier or children
};

ConcScan collect_segments(Node& node) {
    ConcScan scan;
    Node* anchor = &node;
    bool anchor_open = false;
    for (Node& c : node.children()) {
        if (c.tag() == kCont) {
            anchor = &c;
            anchor_open = false;
        } else if (c.tag() == kConc) {
            ++scan.count;
            scan.has_own = scan.has_own || c.xref() || !c.children().empty();
            if (!anchor_open) {
                scan.segments.push_back(Segment{anchor, std::string(anchor->value().value_or("")), false, false});
                anchor_open = true;
            }
            auto v = c.value().value_or("");
            scan.segments.back().joined.append(v);
            scan.segments.back().folds_text = scan.segments.back().folds_text || !v.empty();
        }
    }
    return scan;
}

// Blocks the segments whose joining would change how the text reads or be
// too long to read back; returns the reasons, each once, joined by " and ".
std::string block_segments(const Node& node, std::vector<Segment>& segments) {
    std::string reasons;
    auto block = [&](Segment& s, std::string_view reason) {
        s.blocked = true;
        if (reasons.find(reason) != std::string::npos) return;
        if (!reasons.empty()) reasons += " and ";
        reasons += reason;
    };
    const bool is_date = node.tag() == "DATE";
    for (Segment& s : segments) {
        const bool continues_own = s.anchor == &node;
        const std::string_view anchor_value = s.anchor->value().value_or("");
        if (continues_own && is_xref(anchor_value)) {
            block(s, reason_pointer);
        } else if (!is_date && s.joined.starts_with('@') &&
                   (anchor_value.empty() || (continues_own && is_xref(s.joined) && !is_xref(anchor_value)))) {
            block(s, reason_at_sign);
        } else if (s.joined.size() > longest_written_line) {
            block(s, reason_too_long);
        }
    }
    return reasons;
}

struct Folded {
    std::size_t folded = 0;  // CONC lines removed into their anchors
    std::size_t kept = 0;    // CONC lines of blocked segments, left in place
};

// Gives each unblocked anchor its joined text and removes its CONC lines.
Folded rebuild_children(Node& node, std::vector<Segment>& segments) {
    // Anchors take their joined text first, while the children still stand where they were.
    for (Segment& s : segments) {
        if (!s.blocked && s.folds_text) s.anchor->set_value(s.joined);
    }
    Folded out;
    std::size_t next_segment = 0;
    const Segment* current = nullptr;
    bool opened = false;
    auto& children = node.children();
    std::vector<Node> rebuilt;
    rebuilt.reserve(children.size());
    for (Node& c : children) {
        if (c.tag() == kCont) {
            opened = false;
        } else if (c.tag() == kConc) {
            if (!opened) {
                current = &segments[next_segment++];
                opened = true;
            }
            if (!current->blocked) {
                ++out.folded;
                continue;
            }
            ++out.kept;
        }
        rebuilt.push_back(std::move(c));
    }
    children = std::move(rebuilt);
    return out;
}

// Folds a node's CONC children into the lines they continue; true when any was folded.
bool fold_conc(Node& node, Pass& pass) {
    ConcScan scan = collect_segments(node);
    if (scan.count == 0) return false;
    // A copy: setting the node's own payload below replaces the text its tag views.
    const std::string own_tag(node.tag());
    if (is_continuation_tag(own_tag) || scan.has_own) {
        note_conc_kept(pass, own_tag, scan.count,
                       is_continuation_tag(own_tag) ? reason_under_continuation : reason_conc_has_own);
        return false;
    }
    const std::string reasons = block_segments(node, scan.segments);
    const bool had_payload = node.value().has_value();
    const Folded result = rebuild_children(node, scan.segments);
    if (result.kept != 0) note_conc_kept(pass, own_tag, result.kept, reasons);
    if (result.folded == 0) return false;
    pass.folded_lines += result.folded;
    pass.folded_structures += 1;
    if (!had_payload && node.value()) pass.folded_without_payload += 1;
    return true;
}

bool uid_to_7(Node& node, Pass& pass) {
    node.set_tag("UID");
    pass.note("_UID", ConversionKind::Converted, "version 7 defines UID, so the extension is no longer needed");
    return true;
}

bool note_pointer_to_7(Node& node, const NoteRecordIds& note_records, Pass& pass) {
    auto v = node.value();
    if (!v || !is_xref(*v) || !note_records.contains(text::ascii_uppercase(*v))) return false;
    node.set_tag("SNOTE");
    pass.note("NOTE", ConversionKind::Converted, "a pointer to a note record is a shared note pointer in version 7");
    return true;
}

// A number of 1 to `digits` ASCII digits without a leading zero, at most `max`.
bool is_plain_number(std::string_view s, std::size_t digits, unsigned max) {
    if (s.empty() || s.size() > digits || s.front() == '0') return false;
    unsigned n = 0;
    for (char c : s) {
        if (!text::is_ascii_digit(c)) return false;
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    return n <= max;
}

// Whether `text` is a Gregorian date in the exact spelling version 7 gives it:
// an optional ABT, CAL, EST, BEF or AFT, then YEAR, MON YEAR or DAY MON YEAR
// with single spaces and no leading zeros. Such a date is its own 7.0 form.
bool is_canonical_7_date(std::string_view text) {
    // Called for nearly every date, so it reads the bytes directly.
    if (text.size() > 4 && text[3] == ' ') {
        const std::string_view q = text.substr(0, 3);
        if (q == "ABT" || q == "CAL" || q == "EST" || q == "BEF" || q == "AFT") text.remove_prefix(4);
    }
    std::string_view parts[3];
    std::size_t count = 0;
    while (true) {
        const std::size_t space = text.find(' ');
        if (count == 3) return false;
        parts[count++] = text.substr(0, space);
        if (space == std::string_view::npos) break;
        text.remove_prefix(space + 1);
    }
    if (!is_plain_number(parts[count - 1], 4, 9999)) return false;
    if (count == 1) return true;
    const std::string_view month = parts[count - 2];
    if (month.size() != 3) return false;
    static constexpr std::string_view months = "JANFEBMARAPRMAYJUNJULAUGSEPOCTNOVDEC";
    bool known = false;
    for (std::size_t i = 0; i < months.size() && !known; i += 3) {
        known = month[0] == months[i] && month[1] == months[i + 1] && month[2] == months[i + 2];
    }
    return known && (count == 2 || is_plain_number(parts[0], 2, 31));
}

// Whether a DATE at `place` is one of version 7's exact dates, which take a
// TIME and no PHRASE: under the header, a change or creation record, the
// header source's DATA, or an ordinance's STAT.
bool takes_exact_date(const Place& place) {
    if (!place.parent) return false;
    const std::string_view parent = place.parent->tag();
    if (parent == "CHAN" || parent == "CREA" || parent == "STAT") return true;
    if (parent == "HEAD") return place.level == 1;
    return parent == "DATA" && place.level == 3 && place.up->parent->tag() == "SOUR" &&
           place.up->up->parent->tag() == "HEAD";
}

// Whether a DATE at `place` is version 7's date of a source's recorded events,
// which must be a period: EVEN under a source record's DATA.
bool takes_period(const Place& place) {
    return place.level == 3 && place.parent->tag() == "EVEN" && place.up->parent->tag() == "DATA" &&
           place.up->up->parent->tag() == "SOUR";
}

// A Gregorian day, month and year of the common era, with nothing beside it
// that its 7.0 form would lose.
bool is_exact_day(const GedcomDate& d) {
    return d.kind == DateKind::Exact && d.calendar == Calendar::Gregorian && d.earliest && d.earliest->month &&
           d.earliest->day && d.earliest->year >= 0 && !d.phrase;
}

// Writes a date that means what its 7.0 form says, in that form.
void respell_date(Node& node, const std::string& text, const std::string& form, Pass& pass) {
    node.set_logical_value(form);
    pass.note("DATE", ConversionKind::Converted,
              text::quoted(text) + " is written " + form + " in version 7's date grammar");
}

bool exact_date_to_7(Node& node, const std::string& text, const GedcomDate& reading,
                     const std::optional<std::string>& form, Pass& pass) {
    if (!form || !is_exact_day(reading)) {
        pass.note("DATE", ConversionKind::Kept,
                  "version 7 takes only an exact Gregorian day, month and year here, with no PHRASE, and " +
                      text::quoted(text) + " is not one; it is left as written");
        return false;
    }
    if (*form == text || kept_for_continuation(node, "DATE", "DATE", pass)) return false;
    respell_date(node, text, *form, pass);
    return true;
}

// The date becomes its 7.0 form, or empty when it has none, with the original
// kept beside it as a PHRASE.
// `not_a_period` says the form was refused because the place takes a period.
bool rewrite_date_with_phrase(Node& node, const std::string& text, const GedcomDate& reading,
                              const std::optional<std::string>& form, std::uint16_t level, bool not_a_period,
                              Pass& pass) {
    if (node.first("PHRASE")) {
        pass.note("DATE", ConversionKind::Kept,
                  text::quoted(text) +
                      " is not version 7's date grammar, but the DATE already has a PHRASE, so the original "
                      "cannot be kept beside a rewrite; it is left as it is");
        return false;
    }
    const std::string_view phrase = reading.phrase ? std::string_view(*reading.phrase) : std::string_view(text);
    // Text joined from CONC lines may not fit on the PHRASE's lines.
    if (!fits_written_lines(phrase)) {
        pass.note("DATE", ConversionKind::Kept, too_long_kept_detail("date"));
        return false;
    }
    if (phrase_depth(level, phrase) > deepest_level) {
        pass.note("DATE", ConversionKind::Kept, too_deep_kept_detail("rewriting this DATE"));
        return false;
    }
    node.set_logical_value(form.value_or(""));
    node.push(phrase_7(phrase));
    if (form) {
        pass.note("DATE", ConversionKind::Converted,
                  text::quoted(text) +
                      " is not version 7's date grammar; the reading it converted to is kept as the date, and "
                      "the original as a PHRASE");
    } else if (not_a_period) {
        pass.note("DATE", ConversionKind::Converted,
                  "version 7 takes only a period here, and " + text::quoted(text) +
                      " is not one; the DATE is left empty and the original kept as a PHRASE");
    } else {
        pass.note("DATE", ConversionKind::Converted,
                  "version 7's date grammar cannot hold " + text::quoted(text) +
                      "; the DATE is left empty and the original kept as a PHRASE");
    }
    return true;
}

bool date_to_7(Node& node, const Place& place, Pass& pass) {
    const bool exact_only = takes_exact_date(place);
    const bool period_only = !exact_only && takes_period(place);
    // Most dates are already written as version 7 writes them: no need to read those.
    const auto& kids = node.children();
    const bool single_line =
        std::none_of(kids.begin(), kids.end(), [](const Node& c) { return is_continuation_tag(c.tag()); });
    if (auto v = node.value(); !exact_only && !period_only && v && single_line && is_canonical_7_date(*v)) return false;
    const std::string text = node.logical_value();
    if (text::trim(text).empty()) return false;
    const GedcomDate reading = GedcomDate::parse(text);
    std::optional<std::string> form = reading.to_gedcom_7();
    if (exact_only) return exact_date_to_7(node, text, reading, form, pass);
    // Where a period is due, a date of any other kind has no 7.0 form.
    const bool not_a_period = period_only && reading.kind != DateKind::Period;
    if (not_a_period) form.reset();
    if (form && *form == text) return false;
    if (kept_for_continuation(node, "DATE", "DATE", pass)) return false;
    if (form && text::ascii_iequals(*form, text::trim(text))) {
        respell_date(node, text, *form, pass);
        return true;
    }
    return rewrite_date_with_phrase(node, text, reading, form, place.level, not_a_period, pass);
}

struct RoleWord {
    std::string_view words;
    std::string_view value;
};
constexpr std::array<RoleWord, 23> role_words{{
    {"son", "CHIL"},          {"child", "CHIL"},       {"daughter", "CHIL"},   {"husband", "HUSB"},
    {"wife", "WIFE"},         {"mother", "MOTH"},      {"father", "FATH"},     {"spouse", "SPOU"},
    {"parent", "PARENT"},     {"friend", "FRIEND"},    {"clergy", "CLERGY"},   {"priest", "CLERGY"},
    {"pastor", "CLERGY"},     {"minister", "CLERGY"},  {"witness", "WITN"},    {"neighbor", "NGHBR"},
    {"neighbour", "NGHBR"},   {"multiple", "MULTIPLE"}, {"godparent", "GODP"}, {"godfather", "GODP"},
    {"godmother", "GODP"},    {"officiator", "OFFICIATOR"}, {"officiant", "OFFICIATOR"},
}};

std::string_view role_for_words(std::string_view words) {
    const std::string lower = text::unicode_lowercase(words);
    for (const RoleWord& w : role_words) {
        if (w.words == lower) return w.value;
    }
    return "OTHER";
}

// One ROLE (or an association's RELA) child of an EVEN or ASSO, standing at `level`.
bool role_to_7(Node& role, std::uint16_t level, Pass& pass) {
    const bool is_rela = role.tag() == "RELA";
    const std::string_view note_tag = is_rela ? "ASSO.RELA" : "ROLE";
    const std::string text = role.logical_value();
    const std::string_view t = text::trim(text);
    // A ROLE already one of version 7's values, but for its letter case or spaces.
    const std::string up = is_rela || t.empty() ? std::string() : text::ascii_uppercase(t);
    const bool enumerated = !up.empty() && role_7(up) != nullptr;
    if (enumerated && up == text) return false;
    if (kept_for_continuation(role, note_tag, "role", pass)) return false;
    if (enumerated) {
        role.set_logical_value(up);
        pass.note(note_tag, ConversionKind::Converted,
                  "the role " + text::quoted(text) + " is version 7's enumerated value " + up);
        return true;
    }
    std::string_view words = t;
    if (words.size() > 1 && words.front() == '(' && words.back() == ')') {
        words = text::trim(words.substr(1, words.size() - 2));
    }
    if (words.empty()) {
        pass.note(note_tag, ConversionKind::Kept, "an empty role has no version 7 reading; it is left as it is");
        return false;
    }
    if (role.first("PHRASE")) {
        pass.note(note_tag, ConversionKind::Kept,
                  "the role " + text::quoted(text) +
                      " is not version 7's enumeration, but it already has a PHRASE to keep the words in; it is "
                      "left as it is");
        return false;
    }
    if (!fits_written_lines(words)) {
        pass.note(note_tag, ConversionKind::Kept, too_long_kept_detail("role"));
        return false;
    }
    if (phrase_depth(level, words) > deepest_level) {
        pass.note(note_tag, ConversionKind::Kept, too_deep_kept_detail("rewriting this role"));
        return false;
    }
    const std::string_view value = role_for_words(words);
    if (is_rela) role.set_tag("ROLE");
    role.set_logical_value(value);
    role.push(phrase_7(words));
    if (is_rela) {
        pass.note(note_tag, ConversionKind::Converted,
                  "an association's relation " + text::quoted(words) + " is version 7's ROLE " +
                      std::string(value) + ", with the words kept as a PHRASE");
    } else {
        pass.note(note_tag, ConversionKind::Converted,
                  "the role " + text::quoted(text) + " became " + std::string(value) +
                      ", with the words kept as a PHRASE");
    }
    return true;
}

// The roles of an EVEN or ASSO standing at `level`.
bool roles_to_7(Node& node, bool is_asso, std::uint16_t level, Pass& pass) {
    bool changed = false;
    for (Node& child : node.children()) {
        std::string_view t = child.tag();
        if (t == "ROLE" || (is_asso && t == "RELA")) changed = role_to_7(child, level + 1, pass) || changed;
    }
    return changed;
}

// A payload beginning with an at-sign reads in version 7 as a pointer or an
// escape unless the at-sign is doubled; a pointer, or a payload doubled
// already, is left alone.
bool double_at_sign(Node& line, Pass& pass) {
    const std::optional<std::string_view> v = line.value();
    if (!v || !v->starts_with('@') || v->starts_with("@@") || is_xref(*v)) return false;
    if (v->size() + 1 > longest_written_line) {
        pass.note(line.tag(), ConversionKind::Kept, too_long_kept_detail("doubled payload"));
        return false;
    }
    const std::string doubled = "@" + std::string(*v);
    pass.note(line.tag(), ConversionKind::Converted,
              text::quoted(*v) + " begins with @, which version 7 reads as a pointer or an escape; the at-sign was "
                                 "doubled");
    line.set_value(doubled);
    return true;
}

// Doubles the leading at-sign of the node's own payload and of its CONT lines,
// each its own line in version 7. A date's text is the date rule's, a CONT or
// CONC line's own payload its parent's, and a line that a CONC kept as written
// still continues keeps its text as written with it.
bool at_signs_to_7(Node& node, Pass& pass) {
    const std::string_view tag = node.tag();
    if (tag == "DATE") return false;
    bool changed = false;
    Node* anchor = is_continuation_tag(tag) ? nullptr : &node;
    auto close = [&] {
        if (anchor) changed = double_at_sign(*anchor, pass) || changed;
    };
    for (Node& c : node.children()) {
        if (c.tag() == kCont) {
            close();
            anchor = &c;
        } else if (c.tag() == kConc) {
            anchor = nullptr;
        }
    }
    close();
    return changed;
}

// Version 7's line grammar has no empty payload: "1 SEX " is written "1 SEX",
// which reads the same.
bool bare_empty_payload(Node& node) {
    const std::optional<std::string_view> v = node.value();
    if (!v || !v->empty()) return false;
    node.set_value(std::nullopt);
    return true;
}

// The rules that rewrite one node by its tag.
bool node_to_7(Node& node, const NoteRecordIds& note_records, const Place& place, Pass& pass) {
    // Each rule applies to one tag, and the renaming rules give tags no later
    // rule applies to, so the tag is read once. The view is not used after a
    // rule has run: a rewrite gives the node new storage.
    const std::string_view tag = node.tag();
    if (tag == "_UID") return uid_to_7(node, pass);
    if (tag == "NOTE") return note_pointer_to_7(node, note_records, pass);
    if (tag == "DATE") return date_to_7(node, place, pass);
    if (tag == "EVEN" || tag == "ASSO") return roles_to_7(node, tag == "ASSO", place.level, pass);
    if (tag == "OBJE" && node.first("FILE")) return media_form_to_7(node, place.level, pass);
    return false;
}

}  // namespace

bool structures_to_7_node(Node& node, const Rules7& rules, Pass& pass, const Place& place) {
    bool changed = fold_conc(node, pass);
    // Folding has made the payload what it stays; a date's text is no pointer.
    const bool in_date =
        node.tag() == "DATE" || (is_continuation_tag(node.tag()) && place.parent && place.parent->tag() == "DATE");
    if (rules.identifiers && !in_date) repoint(*rules.identifiers, node, pass);
    changed = node_to_7(node, rules.note_records, place, pass) || changed;
    changed = at_signs_to_7(node, pass) || changed;
    changed = bare_empty_payload(node) || changed;
    // The node's tag is final now: the rules of its descendants do not change it.
    if (rules.extensions) rules.extensions->add(node.tag());
    const Place below{static_cast<std::uint16_t>(place.level + 1), &node, &place};
    for (Node& child : node.children()) changed = structures_to_7_node(child, rules, pass, below) || changed;
    return changed;
}

bool structures_to_7_node(Node& node, const NoteRecordIds& note_records, Pass& pass) {
    return structures_to_7_node(node, Rules7{note_records}, pass, Place{});
}

}  // namespace pellorine::convert
