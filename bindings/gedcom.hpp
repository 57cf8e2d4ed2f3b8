// The Python class Gedcom: one document, the report of how its bytes were
// read, and the borrow counter (in py::Object). Other binding files add
// methods to the class's table in gedcom.cpp and reach the state through
// py::state<GedcomState>(self) under a py::Shared or py::Exclusive borrow.
#pragma once

#include <optional>

#include "convert.hpp"
#include "decode.hpp"
#include "document.hpp"
#include "family.hpp"
#include "frame.hpp"

namespace pellorine::bindings {

struct GedcomState {
    Document document;
    EncodingReport report;  // never changed after the instance is made
    std::optional<FamilyGraph> graph;  // built by the first family query
    // The records by identifier, built by the first lookup. It views the records'
    // texts, so an edit that changes the document drops it (drop_derived), or,
    // when it edits one record in place, takes that record's entry out and puts
    // it back (bindings/gedcom_edits.cpp).
    std::optional<RecordIndex> index;

    // Forgets what was derived from the document (the family graph and the
    // identifier index), after an edit that changed it; the next query that
    // needs either builds it again.
    void drop_derived() {
        graph.reset();
        index.reset();
    }

    // The first record whose identifier matches `xref` ignoring ASCII case,
    // or nullptr. Every lookup by identifier from Python goes through here.
    Node* find_record(std::string_view xref) {
        if (!index) index.emplace(document.records);
        auto position = index->position(xref);
        return position ? &document.records[*position] : nullptr;
    }
};

// The state of a Gedcom instance; the caller holds a borrow of it.
inline GedcomState& state_of(PyObject* self) { return py::state<GedcomState>(self); }

// The report of a document not read from bytes: UTF-8, no byte-order mark,
// no CHAR declared, no warnings, nothing undecodable.
EncodingReport fixed_report();

// The class object, made on first use and reused afterwards; NULL with the
// Python error set when making it failed.
PyTypeObject* gedcom_type();

// A new Gedcom instance holding `document` and `report`.
py::Ref new_gedcom(Document document, EncodingReport report);

// The fill step's call: adds the class to the module; -1 with the error set.
int add_gedcom(PyObject* module);

// Methods defined in gedcom_views.cpp, listed in the method table in gedcom.cpp.
PyObject* gedcom_records(PyObject* self, PyObject* unused);                    // METH_NOARGS
PyObject* gedcom_record(PyObject* self, PyObject* args, PyObject* kwargs);     // METH_VARARGS | METH_KEYWORDS
PyObject* gedcom_individuals(PyObject* self, PyObject* unused);                // METH_NOARGS
PyObject* gedcom_families(PyObject* self, PyObject* unused);                   // METH_NOARGS

// Methods defined in gedcom_edits.cpp (METH_VARARGS | METH_KEYWORDS), listed in the method table in gedcom.cpp.
PyObject* gedcom_append_records(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* gedcom_append_structures(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* gedcom_wrap_long_lines(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* gedcom_fit_line_limit(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* gedcom_set_logical_value(PyObject* self, PyObject* args, PyObject* kwargs);

// A conversion's result as Python receives it: the tuple (new Gedcom holding
// the converted records with the fixed report, list of note dictionaries).
py::Ref conversion_result(convert::Conversion conversion);

// Methods defined in gedcom_convert.cpp, listed in the method table in gedcom.cpp.
PyObject* gedcom_to_version7(PyObject* self, PyObject* args, PyObject* kwargs);  // METH_VARARGS | METH_KEYWORDS
// Defined in gedcom_convert551.cpp.
PyObject* gedcom_to_version551(PyObject* self, PyObject* unused);                 // METH_NOARGS
// Methods defined in gedcom_family.cpp: the findings and the family queries.
PyObject* gedcom_validate(PyObject* self, PyObject* unused);                           // METH_NOARGS
PyObject* gedcom_parents_of(PyObject* self, PyObject* args, PyObject* kwargs);         // METH_VARARGS | METH_KEYWORDS
PyObject* gedcom_children_of(PyObject* self, PyObject* args, PyObject* kwargs);        // METH_VARARGS | METH_KEYWORDS
PyObject* gedcom_partners_of(PyObject* self, PyObject* args, PyObject* kwargs);        // METH_VARARGS | METH_KEYWORDS

}  // namespace pellorine::bindings
