// Conversion toward GEDCOM 7.0: the frame that copies the records and runs
// the rules record by record, the header rules, note records, identifiers
// renamed into version 7's alphabet, and the per-record summary of folded
// CONC lines.
#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "convert_internal.hpp"
#include "text.hpp"

namespace pellorine::convert {

namespace {

// The folding summary of one record, made after its other notes; the
// counters start again at zero for the next record.
void summarise_folding(Pass& pass) {
    if (pass.folded_lines == 0) return;
    std::string detail = "version 7 has no CONC; " + std::to_string(pass.folded_lines) +
                         " continuation line(s) in " + std::to_string(pass.folded_structures) +
                         " structure(s) were folded into the text they continued, which reads exactly as before";
    if (pass.folded_without_payload != 0) {
        detail += "; " + std::to_string(pass.folded_without_payload) +
                  " of those structure(s) had no payload, so the folded text became it";
    }
    pass.note("CONC", ConversionKind::Converted, std::move(detail));
    pass.folded_lines = 0;
    pass.folded_structures = 0;
    pass.folded_without_payload = 0;
}

// A byte of a version 7 identifier between its at-signs.
bool is_identifier_7_byte(char c) { return (c >= 'A' && c <= 'Z') || text::is_ascii_digit(c) || c == '_'; }

// Whether `id` is a version 7 identifier: capital letters, digits and
// underscores between at-signs. "@VOID@" is the null pointer, no record's.
bool is_identifier_7(std::string_view id) {
    return id.size() >= 3 && id.front() == '@' && id.back() == '@' && id != "@VOID@" &&
           std::all_of(id.begin() + 1, id.end() - 1, is_identifier_7_byte);
}

// Calls `f` with each node of the subtree whose own payload is a pointer
// other than the null pointer. A date's text is no pointer: "@#DJULIAN@" is
// a calendar.
template <class F>
void for_each_pointer(const Node& node, F&& f, bool under_date = false) {
    const bool is_date = node.tag() == "DATE";
    if (!is_date && !(under_date && is_continuation_tag(node.tag()))) {
        if (auto p = node.pointer(); p && *p != "@VOID@") f(*p);
    }
    for (const Node& child : node.children()) for_each_pointer(child, f, is_date);
}

// Whether every record's identifier is a version 7 identifier, no two alike,
// and every pointer one too: then a pointer names its record exactly as the
// record is named, and nothing is renamed. Most files are so, and this is
// cheaper to tell than a renaming plan, which looks up every pointer.
bool all_identifiers_7(const Document& source) {
    std::unordered_set<std::string_view> ids;
    for (const Node& record : source.records) {
        if (auto x = record.xref(); x && (!is_identifier_7(*x) || !ids.insert(*x).second)) return false;
    }
    bool all = true;
    for (const Node& record : source.records) {
        for_each_pointer(record, [&](std::string_view p) { all = all && is_identifier_7(p); });
    }
    return all;
}

}  // namespace

// Identifiers version 7 cannot hold, renamed into ones made from them. The
// plan is made from the source's records, which stay as read; the records'
// own identifiers change before the rules run, the pointers as the rules
// reach them, after folding has made each payload what it stays.
class IdentifierRenaming {
public:
    explicit IdentifierRenaming(const Document& source) : source_(source), index_(source.record_index()) {
        std::vector<std::size_t> renamed;
        for (std::size_t i = 0; i < source_.records.size(); ++i) {
            if (source_.records[i].xref() && !stays(i)) renamed.push_back(i);
        }
        any_ = !renamed.empty();
        for (const Node& record : source_.records) {
            for_each_pointer(record, [&](std::string_view p) { take_dangling(p); });
        }
        // Named in record order, once every identifier that stays is known.
        for (std::size_t i : renamed) names_.emplace(i, claim(*source_.records[i].xref()));
    }

    // Whether anything is renamed at all.
    bool any() const { return any_; }

    // Gives the copied records their new identifiers.
    void rename_records(std::vector<Node>& records) const {
        for (const auto& [i, name] : names_) records[i].set_xref(name);
    }

    // Notes the renaming of record `i`, if it was renamed.
    void note_record(std::size_t i, Pass& pass) const {
        auto name = names_.find(i);
        if (name == names_.end()) return;
        const Node& record = source_.records[i];
        pass.note(record.tag(), ConversionKind::Converted,
                  text::quoted(*record.xref()) +
                      " is not a version 7 identifier, which holds only capital letters, digits and underscores; "
                      "the record and every pointer to it now use " + name->second);
    }

    // Writes the pointer `node` holds with the name it now has.
    void repoint(Node& node, Pass& pass) {
        const auto p = node.pointer();
        if (!p || *p == "@VOID@") return;
        const auto position = index_.position(*p);
        const std::string name(position ? final_name(*position) : dangling_name(*p));
        if (name == *p) return;
        // A pointer in another letter case than its record's identifier reads the same, without a note.
        if (!position) {
            pass.note(node.tag(), ConversionKind::Converted,
                      text::quoted(*p) + " points to no record and is not a version 7 identifier; it became " + name);
        }
        node.set_value(name);
    }

private:
    // Whether record `i` keeps its identifier: version 7 holds it, and no
    // earlier record answers to it.
    bool stays(std::size_t i) const {
        const auto xref = source_.records[i].xref();
        return xref && is_identifier_7(*xref) && index_.position(*xref) == i;
    }

    // A dangling pointer version 7 can hold keeps its name, which no other may take.
    void take_dangling(std::string_view p) {
        if (auto pos = index_.position(p)) {
            any_ = any_ || *source_.records[*pos].xref() != p;
        } else if (is_identifier_7(p)) {
            dangling_.try_emplace(std::string(p), std::string(p));
            claimed_.emplace(p);
        } else {
            any_ = true;
        }
    }

    std::string_view final_name(std::size_t position) const {
        auto name = names_.find(position);
        return name != names_.end() ? std::string_view(name->second) : *source_.records[position].xref();
    }

    // Every dangling pointer that folds like `p` shares one name.
    std::string_view dangling_name(std::string_view p) {
        auto [it, fresh] = dangling_.try_emplace(text::ascii_uppercase(p));
        if (fresh) it->second = claim(p);
        return it->second;
    }

    // Whether `name` (in capitals) is a record's identifier that stays, the
    // null pointer, a dangling pointer's that stays, or a new name given.
    bool taken(const std::string& name) const {
        if (claimed_.contains(name)) return true;
        auto pos = index_.position(name);
        return pos && stays(*pos);
    }

    // A free version 7 identifier made from `id`: ASCII letters uppercased,
    // every other byte outside the alphabet an underscore, and "_2", "_3", ...
    // appended while the name is taken.
    std::string claim(std::string_view id) {
        std::string base = "@";
        for (char c : id.substr(1, id.size() - 2)) {
            const char up = text::ascii_upper(c);
            base += is_identifier_7_byte(up) ? up : '_';
        }
        std::string name = base + "@";
        for (unsigned n = 2; taken(name); ++n) name = base + "_" + std::to_string(n) + "@";
        claimed_.insert(name);
        return name;
    }

    const Document& source_;
    const RecordIndex index_;  // over the source's records
    // Only what is renamed is held: a large file's records mostly keep their identifiers.
    std::unordered_map<std::size_t, std::string> names_;     // a renamed record's new identifier, by position
    std::unordered_set<std::string> claimed_{"@VOID@"};      // names taken beside the records that stay
    std::unordered_map<std::string, std::string> dangling_;  // a dangling pointer, uppercased, to its name
    bool any_ = false;
};

void repoint(IdentifierRenaming& renaming, Node& node, Pass& pass) { renaming.repoint(node, pass); }

NoteRecordIds note_record_ids(const std::vector<Node>& records) {
    NoteRecordIds ids;
    for (const Node& r : records) {
        if (r.tag() != "NOTE") continue;
        if (auto x = r.xref()) ids.insert(text::ascii_uppercase(*x));
    }
    return ids;
}

void header_to_7(Node& header, Pass& pass) {
    header.forget_verbatim();
    Node& gedc = require_gedcom_version(header, "7.0", "version 7", pass);
    if (remove_tagged(gedc, "FORM")) {
        pass.note("GEDC.FORM", ConversionKind::Dropped, "version 7 has one form and does not name it");
    }
    if (remove_tagged(header, "CHAR")) {
        pass.note("CHAR", ConversionKind::Dropped,
                  "version 7 is always UTF-8, so a character set declaration says nothing");
    }
}

Conversion to_version_7_with(const Document& document, const std::vector<OwnedExtension>& owned) {
    Conversion out = start_conversion(document, "7.0");
    std::vector<Node>& records = out.document;

    Pass pass;
    std::optional<IdentifierRenaming> renaming;
    if (!all_identifiers_7(document)) renaming.emplace(document);
    // Renamed first, so that note pointers are matched by the new names.
    if (renaming) renaming->rename_records(records);
    const NoteRecordIds note_records = note_record_ids(records);
    ExtensionTags extensions;
    for (std::size_t i = 0; i < records.size(); ++i) {
        Node& record = records[i];
        // Notes name a record by its identifier as read.
        pass.begin_record(document.records[i]);
        if (renaming) renaming->note_record(i, pass);
        // Read once, before any rule gives the record new storage.
        const std::string_view tag = record.tag();
        const bool is_header = tag == "HEAD";
        const bool is_note_record = tag == "NOTE" && record.xref();
        if (is_header) header_to_7(record, pass);
        if (is_note_record) {
            record.set_tag("SNOTE");
            pass.note("NOTE", ConversionKind::Converted, "a note record is a shared note record in version 7");
        }
        // Extension tags are collected in the same walk, outside headers.
        const Rules7 rules{note_records, is_header ? nullptr : &extensions, renaming && renaming->any() ? &*renaming : nullptr};
        structures_to_7_node(record, rules, pass, Place{});
        summarise_folding(pass);
    }

    declare_extensions(records, std::move(extensions), owned, pass);
    out.notes = std::move(pass.notes);
    return out;
}

Conversion to_version_7(const Document& document) { return to_version_7_with(document, {}); }

}  // namespace pellorine::convert
