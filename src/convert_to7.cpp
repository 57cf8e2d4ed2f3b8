// Conversion toward GEDCOM 7.0: the frame that copies the records and runs
// the rules record by record, the header rules, note records, and the
// per-record summary of folded CONC lines.
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

}  // namespace

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
    const NoteRecordIds note_records = note_record_ids(records);
    ExtensionTags extensions;
    for (Node& record : records) {
        pass.begin_record(record);
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
        const Rules7 rules{note_records, is_header ? nullptr : &extensions};
        structures_to_7_node(record, rules, pass, Place{});
        summarise_folding(pass);
    }

    declare_extensions(records, std::move(extensions), owned, pass);
    out.notes = std::move(pass.notes);
    return out;
}

Conversion to_version_7(const Document& document) { return to_version_7_with(document, {}); }

}  // namespace pellorine::convert
