// Conversion toward GEDCOM 5.5.1: the header, shared notes, UID, dated phrases
// and roles rewritten in 5.5.1's forms, null pointers noted (5.5.1 has none),
// every rewritten line refitted to 5.5.1's 255-byte limit, and the lines still
// longer counted per record.
#include <algorithm>
#include <array>
#include <string>
#include <utility>

#include "build.hpp"
#include "convert_internal.hpp"
#include "text.hpp"

namespace pellorine::convert {

namespace {

constexpr std::size_t kLineLimit = 255;

// The roles in an event that 5.5.1 enumerates itself; these stay as written.
constexpr std::array<std::string_view, 6> kEventRoles551{"CHIL", "HUSB", "WIFE", "MOTH", "FATH", "SPOU"};

// Structures of version 7 that 5.5.1 does not define (SDATE, TRAN, CREA, EXID);
// kept with a note. Asked of every node, so it looks at the length first.
bool not_in_551(std::string_view tag) {
    switch (tag.size()) {
        case 4: return tag == "TRAN" || tag == "CREA" || tag == "EXID";
        case 5: return tag == "SDATE";
        default: return false;
    }
}

constexpr std::string_view kPhraseKept =
    "5.5.1's interpreted date holds one line and nothing beneath it, and this date or phrase spans lines or "
    "has substructures; the PHRASE is kept as written, which 5.5.1 does not define";
constexpr std::string_view kRolePhraseKept =
    "5.5.1 holds a role on one line with nothing beneath it, and this role's PHRASE spans lines or has "
    "substructures; it is kept as written, which 5.5.1 does not define";

template <std::size_t N>
bool one_of(std::string_view s, const std::array<std::string_view, N>& set) {
    return std::find(set.begin(), set.end(), s) != set.end();
}

std::size_t count_tagged(const Node& n, std::string_view tag) {
    return static_cast<std::size_t>(
        std::count_if(n.children().begin(), n.children().end(), [&](const Node& c) { return c.tag() == tag; }));
}

// Refits the node's own payload and its leading continuation lines to the
// limit; its other substructures are left alone.
void refit(Node& node, std::uint16_t level) { build::fit_node_inner(node, level, kLineLimit, false); }

void header_to_5(Node& head, Pass& pass) {
    head.forget_verbatim();
    Node& gedc = require_gedcom_version(head, "5.5.1", "5.5.1", pass);
    if (!gedc.first("FORM")) gedc.push(Node::with_value("FORM", "LINEAGE-LINKED"));
    if (!head.first("CHAR")) {
        head.push(Node::with_value("CHAR", "UTF-8"));
        pass.note("CHAR", ConversionKind::Converted,
                  "5.5.1 requires a character set, and the file is written as UTF-8");
    }
    if (remove_tagged(head, "SCHMA")) {
        pass.note("SCHMA", ConversionKind::Dropped,
                  "5.5.1 has no way to declare an extension; the extensions themselves are kept");
    }
}

// The text of the node's PHRASE when 5.5.1 can hold it on the node's line:
// one PHRASE only, nothing but continuation lines beneath it (and nothing
// beneath those, which removing the PHRASE would delete), one line of text.
std::optional<std::string> one_line_phrase(const Node& node) {
    if (count_tagged(node, "PHRASE") != 1) return std::nullopt;
    const Node& phrase = *node.first("PHRASE");
    const auto& kids = phrase.children();
    const auto text_line = [](const Node& c) { return is_continuation_tag(c.tag()) && c.children().empty(); };
    if (!std::all_of(kids.begin(), kids.end(), text_line)) return std::nullopt;
    std::string words = phrase.logical_value();
    if (words.find('\n') != std::string::npos) return std::nullopt;
    return words;
}

// A DATE with a PHRASE becomes "INT date (phrase)" when both fit on one line
// with nothing beneath; true when it was rewritten.
bool dated_phrase_to_5(Node& date, Pass& pass) {
    std::optional<std::string> phrase = one_line_phrase(date);
    std::string when = date.logical_value();
    if (!phrase || when.find('\n') != std::string::npos || continuation_has_children(date.children())) {
        pass.note("PHRASE", ConversionKind::Kept, kPhraseKept);
        return false;
    }
    remove_tagged(date, "PHRASE");
    date.set_logical_value("INT " + when + " (" + *phrase + ")");
    pass.note("PHRASE", ConversionKind::Converted, "a dated phrase became 5.5.1's interpreted form");
    return true;
}

// True for a role written as 5.5.1's descriptor already: "(" and ")" around
// it, so converting it again leaves it as it is.
bool is_role_descriptor(std::string_view trimmed) {
    return trimmed.size() > 1 && trimmed.front() == '(' && trimmed.back() == ')';
}

// One ROLE of an EVEN (or of an ASSO, which makes it a RELA) in 5.5.1's form;
// true when it changed.
bool role_to_5(Node& role, bool in_association, std::uint16_t level, Pass& pass) {
    const std::string written = role.logical_value();
    const std::string_view t = text::trim(written);
    std::string v = text::ascii_uppercase(t);
    bool has_phrase = role.first("PHRASE") != nullptr;
    if (!in_association && !has_phrase && is_role_descriptor(t)) return false;
    // A blank phrase would leave the role's line no words to hold.
    std::optional<std::string> phrase = one_line_phrase(role);
    if (has_phrase && (!phrase || text::trim(*phrase).empty())) {
        pass.note("ROLE", ConversionKind::Kept, kRolePhraseKept);
        return false;
    }
    if (kept_for_continuation(role, "ROLE", "role", pass)) return false;
    // Words that are not a value of version 7 keep the case they were written in.
    std::string_view words = t;
    if (phrase) {
        words = *phrase;
    } else if (const Role* r = role_7(v)) {
        words = r->words;
    }
    std::string trimmed(text::trim(words));
    if (in_association) {
        remove_tagged(role, "PHRASE");
        role.set_tag("RELA");
        role.set_logical_value(trimmed);
        pass.note("ROLE", ConversionKind::Converted, "an association's role is RELA in 5.5.1, a relation in words");
    } else {
        if (!has_phrase && one_of(v, kEventRoles551)) return false;
        remove_tagged(role, "PHRASE");
        role.set_logical_value("(" + trimmed + ")");
        pass.note("ROLE", ConversionKind::Converted,
                  "a role 5.5.1 does not enumerate, or one with a phrase, is 5.5.1's parenthesized role descriptor");
    }
    refit(role, level);
    return true;
}

struct LongLines {
    std::uint64_t count = 0;
    std::string first_tag;
};

void count_long_lines(const Node& n, std::uint16_t level, LongLines& out) {
    const std::string_view tag = n.tag();
    // The line as rendered, measured without rendering it.
    if (build::line_length(n, tag, level) >= kLineLimit) {
        // The node's own tag: a line read with extra spaces after its level
        // would give an empty second field, which names nothing.
        if (out.count == 0) out.first_tag = std::string(tag);
        ++out.count;
    }
    for (const Node& c : n.children()) count_long_lines(c, static_cast<std::uint16_t>(level + 1), out);
}

void note_long_lines(const Node& record, Pass& pass) {
    LongLines long_lines;
    count_long_lines(record, 0, long_lines);
    if (long_lines.count == 0) return;
    pass.note(long_lines.first_tag, ConversionKind::Kept,
              std::to_string(long_lines.count) +
                  " line(s) in this record are longer than 5.5.1's 255 bytes; they belong to structures the "
                  "conversion did not change, so they are left as written (Document::wrap_long_lines fits them)");
}

}  // namespace

bool structures_to_5_node(Node& node, std::uint16_t level, Pass& pass) {
    const auto child_level = static_cast<std::uint16_t>(level + 1);
    bool rewritten = false;
    bool changed = false;
    // The rules are told apart by the tag, read once: a rewrite gives the node
    // new storage, so the view is not used after one.
    const std::string_view tag = node.tag();
    if (node.is_void_pointer()) {
        pass.note(tag, ConversionKind::Kept,
                  "5.5.1 has no null pointer, so a reader will look for a record named VOID; it is kept as written");
    }
    if (tag == "UID") {
        node.set_tag("_UID");
        pass.note("UID", ConversionKind::Converted, "5.5.1 has no UID, and every producer writes _UID instead");
        rewritten = true;
    } else if (tag == "SNOTE") {
        if (node.pointer()) {
            node.set_tag("NOTE");
            pass.note("SNOTE", ConversionKind::Converted,
                      "a shared note pointer is an ordinary note pointer in 5.5.1");
            rewritten = true;
        }
    } else if (tag == "DATE") {
        if (node.first("PHRASE")) rewritten = dated_phrase_to_5(node, pass);
    } else if (tag == "EVEN" || tag == "ASSO") {
        bool in_association = tag == "ASSO";
        for (Node& child : node.children()) {
            if (child.tag() == "ROLE") changed |= role_to_5(child, in_association, child_level, pass);
        }
    } else if (not_in_551(tag)) {
        pass.note(tag, ConversionKind::Kept, "version 7 defines this and 5.5.1 does not; it is kept rather than lost");
    }
    for (Node& child : node.children()) changed |= structures_to_5_node(child, child_level, pass);
    if (rewritten) refit(node, level);
    return changed || rewritten;
}

Conversion to_version_5_5_1(const Document& document) {
    Conversion out = start_conversion(document, "5.5.1");

    Pass pass;
    for (Node& record : out.document) {
        pass.begin_record(record);
        // Read once, before any rule gives the record new storage.
        const std::string_view tag = record.tag();
        const bool shared_note = tag == "SNOTE";
        if (tag == "HEAD") header_to_5(record, pass);
        if (shared_note) {
            record.set_tag("NOTE");
            pass.note("SNOTE", ConversionKind::Converted, "5.5.1 has one kind of note record");
        }
        structures_to_5_node(record, 0, pass);
        if (shared_note) refit(record, 0);
        note_long_lines(record, pass);
    }
    out.notes = std::move(pass.notes);
    return out;
}

}  // namespace pellorine::convert
