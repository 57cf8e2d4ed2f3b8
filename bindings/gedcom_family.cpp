// Gedcom's plausibility findings and family queries. The queries fill the
// instance's cached family graph, so they borrow it exclusively; edits drop
// the graph through GedcomState::drop_derived.
#include "gedcom.hpp"
#include "validate.hpp"

namespace pellorine::bindings {

namespace {

// The relatives `ask` finds for the one argument `xref`, as a list of str.
template <class Ask>
PyObject* family_query(PyObject* self, PyObject* args, PyObject* kwargs, const char* name, Ask ask) {
    return py::entry([&] {
        auto [xref] = py::parse_args(args, kwargs, name, {"xref"}, 1);
        py::Exclusive borrow(py::cell(self));
        std::string_view id = py::arg_text(xref, name, "xref");
        GedcomState& st = state_of(self);
        if (!st.graph) st.graph = FamilyGraph::new_(st.document);
        Relatives found = ask(*st.graph, id);
        return py::list_of(found, [](std::string_view s) { return py::str(s); });
    });
}

}  // namespace

PyObject* gedcom_validate(PyObject* self, PyObject*) {
    return py::entry([&] {
        py::Shared borrow(py::cell(self));
        auto findings = validate::inspect(state_of(self).document);
        return py::to_py_list(findings);
    });
}

PyObject* gedcom_parents_of(PyObject* self, PyObject* args, PyObject* kwargs) {
    return family_query(self, args, kwargs, "parents_of",
                        [](const FamilyGraph& g, std::string_view x) { return g.parents_of(x); });
}

PyObject* gedcom_children_of(PyObject* self, PyObject* args, PyObject* kwargs) {
    return family_query(self, args, kwargs, "children_of",
                        [](const FamilyGraph& g, std::string_view x) { return g.children_of(x); });
}

PyObject* gedcom_partners_of(PyObject* self, PyObject* args, PyObject* kwargs) {
    return family_query(self, args, kwargs, "partners_of",
                        [](const FamilyGraph& g, std::string_view x) { return g.partners_of(x); });
}

}  // namespace pellorine::bindings
