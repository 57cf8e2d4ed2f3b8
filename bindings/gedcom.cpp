// The class Gedcom: construction, properties, output, and the method table
// that the other Gedcom binding files add to.
#include "gedcom.hpp"

namespace pellorine::bindings {

using py::Ref;

namespace {

PyTypeObject* the_type = nullptr;

GedcomState& state_of(PyObject* self) { return py::state<GedcomState>(self); }

// ---- constructors (static methods, no borrow) ----

PyObject* parse(PyObject*, PyObject* args, PyObject* kwargs) {
    return py::entry([&] {
        auto [data] = py::parse_args(args, kwargs, "parse", {"data"}, 1);
        std::string_view bytes = py::arg_bytes(data, "parse", "data");
        auto read = Document::from_bytes(bytes);
        if (!read) throw py::value_error(read.error());
        return new_gedcom(std::move(read->first), std::move(read->second));
    });
}

PyObject* new_v551(PyObject*, PyObject* args, PyObject* kwargs) {
    return py::entry([&] {
        auto [source] = py::parse_args(args, kwargs, "new_v551", {"source_system"}, 1);
        std::string_view text = py::arg_text(source, "new_v551", "source_system");
        return new_gedcom(Document::new_v551(text), fixed_report());
    });
}

PyObject* new_v7(PyObject*, PyObject*) {
    return py::entry([&] { return new_gedcom(Document::new_v7(), fixed_report()); });
}

// ---- outputs and queries (shared borrow) ----

PyObject* to_text(PyObject* self, PyObject*) {
    return py::entry([&] {
        py::Shared borrow(py::cell(self));
        return py::str(state_of(self).document.to_text());
    });
}

PyObject* to_bytes(PyObject* self, PyObject*) {
    return py::entry([&] {
        py::Shared borrow(py::cell(self));
        return py::bytes(state_of(self).document.to_bytes());
    });
}

PyObject* unresolved_pointers(PyObject* self, PyObject*) {
    return py::entry([&] {
        py::Shared borrow(py::cell(self));
        auto pointers = state_of(self).document.unresolved_pointers();
        return py::to_py_list(pointers);
    });
}

// ---- properties and slots (shared borrow) ----

PyObject* get_encoding(PyObject* self, void*) {
    return py::entry([&] {
        py::Shared borrow(py::cell(self));
        return py::str(state_of(self).report.summary());
    });
}

PyObject* get_version(PyObject* self, void*) {
    return py::entry([&] {
        py::Shared borrow(py::cell(self));
        auto version = state_of(self).document.version();
        return version ? py::str(*version) : py::none();
    });
}

PyObject* get_content_records(PyObject* self, void*) {
    return py::entry([&] {
        py::Shared borrow(py::cell(self));
        return py::integer(state_of(self).document.content_records());
    });
}

Py_ssize_t length(PyObject* self) {
    return py::entry([&]() -> Py_ssize_t {
        py::Shared borrow(py::cell(self));
        std::uint64_t n = state_of(self).document.content_records();
        if (n > static_cast<std::uint64_t>(PY_SSIZE_T_MAX)) {
            PyErr_SetString(PyExc_OverflowError, "cannot fit 'int' into an index-sized integer");
            throw py::Raised{};
        }
        return static_cast<Py_ssize_t>(n);
    });
}

PyObject* repr(PyObject* self) {
    return py::entry([&] {
        py::Shared borrow(py::cell(self));
        const GedcomState& st = state_of(self);
        auto version = st.document.version();
        std::string text = "<Gedcom " + std::to_string(st.document.content_records()) + " records, version " +
                           (version ? *version : std::string("unstated")) + ", " + st.report.summary() + ">";
        return py::str(text);
    });
}

constexpr auto kw = METH_VARARGS | METH_KEYWORDS;

PyMethodDef methods[] = {
    {"parse", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&parse)), kw | METH_STATIC,
     "parse(data)\n--\n\n"
     "Reads a document from a file's bytes: encoding sniffed and reported,\n"
     "then parsed. Raises `ValueError` for input the bounds refuse."},
    {"new_v551", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&new_v551)), kw | METH_STATIC,
     "new_v551(source_system)\n--\n\n"
     "An empty GEDCOM 5.5.1 document \xe2\x80\x94 header and trailer \xe2\x80\x94 naming the\n"
     "producing system, which 5.5.1 requires, and declaring UTF-8."},
    {"new_v7", &new_v7, METH_NOARGS | METH_STATIC,
     "new_v7()\n--\n\n"
     "An empty GEDCOM 7.0 document: header and trailer."},
    {"records", &gedcom_records, METH_NOARGS,
     "records($self)\n--\n\n"
     "Every record as a view dict, nothing omitted \xe2\x80\x94 unknown tags included."},
    {"record", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&gedcom_record)), kw,
     "record($self, xref)\n--\n\n"
     "One record's view dict, by cross-reference identifier."},
    {"individuals", &gedcom_individuals, METH_NOARGS,
     "individuals($self)\n--\n\n"
     "Every individual, read for display: names, events, families, IDs."},
    {"families", &gedcom_families, METH_NOARGS,
     "families($self)\n--\n\n"
     "Every family record's view."},
    {"unresolved_pointers", &unresolved_pointers, METH_NOARGS,
     "unresolved_pointers($self)\n--\n\n"
     "Pointers with no record behind them, addressed precisely enough to\n"
     "repair."},
    {"to_text", &to_text, METH_NOARGS,
     "to_text($self)\n--\n\n"
     "The document as text, untouched lines byte for byte."},
    {"to_bytes", &to_bytes, METH_NOARGS,
     "to_bytes($self)\n--\n\n"
     "The document as UTF-8 bytes with a `CHAR` declaration that tells the\n"
     "truth about them \xe2\x80\x94 what should be written to disk."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef properties[] = {
    {"encoding", &get_encoding, nullptr,
     "What decoding decided, one line \xe2\x80\x94 show it before accepting an import.", nullptr},
    {"version", &get_version, nullptr, "The GEDCOM version the header declares, as written.", nullptr},
    {"content_records", &get_content_records, nullptr, "Records other than the header and trailer.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_methods, methods},
    {Py_tp_getset, properties},
    {Py_tp_repr, reinterpret_cast<void*>(&repr)},
    {Py_sq_length, reinterpret_cast<void*>(&length)},
    {0, nullptr},
};

}  // namespace

EncodingReport fixed_report() {
    EncodingReport report;
    report.encoding = GedcomEncoding::Utf8;
    return report;
}

PyTypeObject* gedcom_type() {
    if (!the_type) {
        the_type = py::make_class<GedcomState>(
            "builtins.Gedcom", "A parsed GEDCOM document and the report of how its bytes were read.", slots);
    }
    return the_type;
}

Ref new_gedcom(Document document, EncodingReport report) {
    PyTypeObject* type = gedcom_type();
    if (!type) throw py::Raised{};
    return py::create(type, GedcomState{std::move(document), std::move(report)});
}

int add_gedcom(PyObject* module) {
    PyTypeObject* type = gedcom_type();
    if (!type) return -1;
    Py_INCREF(type);
    return py::add_to_module(module, "Gedcom", reinterpret_cast<PyObject*>(type));
}

}  // namespace pellorine::bindings
