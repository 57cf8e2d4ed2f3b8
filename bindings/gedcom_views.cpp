// Gedcom's view methods: every record, one record, the individuals and the
// families, each view crossing into Python as its own JSON text.
#include "gedcom.hpp"
#include "view.hpp"

namespace pellorine::bindings {

namespace {

const Document& document_of(PyObject* self) { return state_of(self).document; }

// The records with exactly this tag, each through its view.
template <class View>
py::Ref views_of_tag(PyObject* self, std::string_view tag) {
    py::Shared borrow(py::cell(self));
    py::ResultList out;
    for (const Node& record : document_of(self).records)
        if (record.tag() == tag) out.add(View::from_node(record));
    return out.finish();
}

}  // namespace

PyObject* gedcom_records(PyObject* self, PyObject*) {
    return py::entry([&] {
        py::Shared borrow(py::cell(self));
        py::ResultList out;
        for (const Node& record : document_of(self).records) out.add(view::RecordView::from_node(record));
        return out.finish();
    });
}

PyObject* gedcom_record(PyObject* self, PyObject* args, PyObject* kwargs) {
    return py::entry([&] {
        auto [xref] = py::parse_args(args, kwargs, "record", {"xref"}, 1);
        py::Shared borrow(py::cell(self));
        std::string_view id = py::arg_text(xref, "record", "xref");
        const Node* record = state_of(self).find_record(id);
        if (!record) throw py::key_error(xref);
        return py::to_py(view::RecordView::from_node(*record));
    });
}

PyObject* gedcom_individuals(PyObject* self, PyObject*) {
    return py::entry([&] { return views_of_tag<view::IndividualView>(self, "INDI"); });
}

PyObject* gedcom_families(PyObject* self, PyObject*) {
    return py::entry([&] { return views_of_tag<view::FamilyView>(self, "FAM"); });
}

}  // namespace pellorine::bindings
