// The class Gedcom: construction, properties, output, and the method table
// that the other Gedcom binding files add to.
#include "gedcom.hpp"

namespace pellorine::bindings {

using py::Ref;

namespace {

// A keeper of a bytes object, so that a document can view its bytes instead of
// copying them: it holds a reference, released when the last node viewing the
// bytes goes. Nodes go only in calls and deallocations, which hold the GIL, and
// an exact bytes object runs no Python code when freed. Only exact bytes are
// viewed: a subclass could run code of its own when released.
TextKeeper keep(PyObject* data) {
    Py_INCREF(data);
    return TextKeeper(data, [](PyObject* p) { Py_DECREF(p); });
}

// ---- constructors (static methods, no borrow) ----

PyObject* parse(PyObject*, PyObject* args, PyObject* kwargs) {
    return py::entry([&] {
        auto [data] = py::parse_args(args, kwargs, "parse", {"data"}, 1);
        std::string_view bytes = py::arg_bytes(data, "parse", "data");
        auto read = PyBytes_CheckExact(data) ? decode::from_borrowed_bytes_with(bytes, keep(data), default_limits)
                                             : decode::from_bytes(bytes);
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
    {"validate", &gedcom_validate, METH_NOARGS,
     "validate($self)\n--\n\n"
     "Plausibility findings: contradictions, questions, and what cites\n"
     "nothing \xe2\x80\x94 reported with the numbers they were drawn from."},
    {"unresolved_pointers", &unresolved_pointers, METH_NOARGS,
     "unresolved_pointers($self)\n--\n\n"
     "Pointers with no record behind them, addressed precisely enough to\n"
     "repair."},
    {"parents_of", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&gedcom_parents_of)), kw,
     "parents_of($self, xref)\n--\n\n"
     "Parents from both directions of the family link \xe2\x80\x94 a one-sided file\n"
     "still answers."},
    {"children_of", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&gedcom_children_of)), kw,
     "children_of($self, xref)\n--\n\n"
     "Children from both directions of the family link."},
    {"partners_of", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&gedcom_partners_of)), kw,
     "partners_of($self, xref)\n--\n\n"
     "Partners across every family this person appears in."},
    {"to_text", &to_text, METH_NOARGS,
     "to_text($self)\n--\n\n"
     "The document as text, untouched lines byte for byte."},
    {"to_bytes", &to_bytes, METH_NOARGS,
     "to_bytes($self)\n--\n\n"
     "The document as UTF-8 bytes with a `CHAR` declaration that tells the\n"
     "truth about them \xe2\x80\x94 what should be written to disk."},
    {"append_records", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&gedcom_append_records)), kw,
     "append_records($self, records)\n--\n\n"
     "Adds records before the trailer, all or none. Each record is a dict with\n"
     "`tag`, `xref`, `value` and `children`, only `tag` required and any other\n"
     "key refused; each child has the same shape without `xref`. A newline in a\n"
     "value becomes a `CONT` line. Raises `ValueError`, adding nothing, for a tag\n"
     "or identifier the parser would not read back, a repeated identifier, a\n"
     "header or trailer, or input past the default bounds."},
    {"append_structures", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&gedcom_append_structures)), kw,
     "append_structures($self, record, path, structures)\n--\n\n"
     "Adds substructures, described as `append_records` describes records but\n"
     "without `xref`, after the existing ones of the structure at `path` in\n"
     "`record` (a cross-reference identifier, or \"HEAD\" for the header). Every\n"
     "existing line stays as it was. Raises `ValueError`, adding nothing, when\n"
     "nothing answers to the address or a description is refused."},
    {"wrap_long_lines", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&gedcom_wrap_long_lines)), kw,
     "wrap_long_lines($self, max_line_bytes=255)\n--\n\n"
     "Splits every line longer than `max_line_bytes` (line end included; 255 is\n"
     "the GEDCOM 5.5.1 limit) across `CONC` lines and returns each structure it\n"
     "rewrote, as a dict with `record`, `path` and `tag`. Lines that fit are left\n"
     "exactly as they are. Raises `ValueError` for a version 7 document, which\n"
     "has no `CONC`, or a limit under 32."},
    {"fit_line_limit", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&gedcom_fit_line_limit)), kw,
     "fit_line_limit($self, xref, max_line_bytes=255)\n--\n\n"
     "Fits one record of a 5.5.x document inside the line limit (line end\n"
     "included; 255 is the GEDCOM 5.5.1 limit) by inserting `CONC` lines, and\n"
     "says whether anything changed. The record is addressed by cross-reference\n"
     "identifier. Meant for a record just edited with `set_logical_value`, which\n"
     "only ever splits a payload at the newlines it is given. A node still\n"
     "carrying its line as read is never touched. Raises `KeyError` when no\n"
     "record answers to `xref`."},
    {"set_logical_value", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&gedcom_set_logical_value)), kw,
     "set_logical_value($self, xref, path, value)\n--\n\n"
     "Replaces one structure's logical payload, addressed by record and by the\n"
     "`path` that its view carries; a newline in `value` becomes a `CONT` line.\n"
     "The one edited line is re-rendered, and every untouched line still writes\n"
     "back byte for byte. Raises `KeyError` when no record answers to `xref`,\n"
     "`ValueError` when `path` leads past the children."},
    {"to_version7", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&gedcom_to_version7)), kw,
     "to_version7($self, owned=None)\n--\n\n"
     "An explicit conversion to GEDCOM 7.0: returns the converted document and\n"
     "the notes naming every construct touched, dropped or kept. The source is\n"
     "not changed.\n"
     "\n"
     "`owned` names the extension tags you write yourself, each paired with the\n"
     "URI where it is documented, e.g. [(\"_PRIM\", \"https://example.com/gedcom/PRIM\")];\n"
     "those are declared by name, and any other extension in the file is\n"
     "declared as undocumented rather than dropped, because it is somebody's\n"
     "data either way."},
    {"to_version551", &gedcom_to_version551, METH_NOARGS,
     "to_version551($self)\n--\n\n"
     "An explicit conversion to GEDCOM 5.5.1, with the same reporting."},
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

namespace {

py::LazyClass<GedcomState>& gedcom_class() {
    static py::LazyClass<GedcomState> the_class(
        "builtins.Gedcom", "A parsed GEDCOM document and the report of how its bytes were read.", slots);
    return the_class;
}

}  // namespace

PyTypeObject* gedcom_type() { return gedcom_class().get(); }

Ref new_gedcom(Document document, EncodingReport report) {
    PyTypeObject* type = gedcom_type();
    if (!type) throw py::Raised{};
    return py::create(type, GedcomState{std::move(document), std::move(report), std::nullopt, std::nullopt});
}

int add_gedcom(PyObject* module) { return gedcom_class().add_to(module, "Gedcom"); }

}  // namespace pellorine::bindings
