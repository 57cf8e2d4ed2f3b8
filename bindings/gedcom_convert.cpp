// Gedcom's conversions: a new document of another GEDCOM version, handed back
// beside the notes of what the conversion did. The source is only read.
#include "convert.hpp"
#include "gedcom.hpp"

namespace pellorine::bindings {

namespace {

constexpr const char* kToVersion7 = "to_version7";

py::Raised owned_error(std::string_view what) {
    return py::type_error(std::string(kToVersion7) + "() argument 'owned' " + std::string(what));
}

// `owned`: None, or a sequence (not a str) of 2-tuples of str, in the caller's order.
std::vector<convert::OwnedExtension> arg_owned(PyObject* o) {
    std::vector<convert::OwnedExtension> out;
    if (!o || o == Py_None) return out;
    if (PyUnicode_Check(o) || !PySequence_Check(o)) {
        throw owned_error("must be a sequence of (str, str) tuples, not " + py::type_name(o));
    }
    Py_ssize_t n = PySequence_Size(o);
    if (n < 0) throw py::Raised{};
    for (Py_ssize_t i = 0; i < n; ++i) {
        py::Ref item = py::Ref::check(PySequence_GetItem(o, i));
        if (!PyTuple_Check(item.get())) {
            throw owned_error("item " + std::to_string(i) + " must be tuple, not " + py::type_name(item.get()));
        }
        Py_ssize_t len = PyTuple_Size(item.get());
        if (len != 2) {
            throw owned_error("item " + std::to_string(i) + ": expected tuple of length 2, but got tuple of length " +
                              std::to_string(len));
        }
        std::string pair[2];
        for (Py_ssize_t k = 0; k < 2; ++k) {
            PyObject* part = PyTuple_GetItem(item.get(), k);
            if (!PyUnicode_Check(part)) {
                throw owned_error("item " + std::to_string(i) + " must hold str, not " + py::type_name(part));
            }
            pair[k] = py::utf8_of(part);
        }
        out.emplace_back(std::move(pair[0]), std::move(pair[1]));
    }
    return out;
}

}  // namespace

py::Ref conversion_result(convert::Conversion conversion) {
    py::Ref list = py::to_py_list(conversion.notes);
    Document document;
    document.records = std::move(conversion.document);
    std::vector<py::Ref> pair;
    pair.push_back(new_gedcom(std::move(document), fixed_report()));
    pair.push_back(std::move(list));
    return py::tuple(std::move(pair));
}

PyObject* gedcom_to_version7(PyObject* self, PyObject* args, PyObject* kwargs) {
    return py::entry([&] {
        auto [owned] = py::parse_args(args, kwargs, kToVersion7, {"owned"}, 0);
        py::Shared borrow(py::cell(self));
        std::vector<convert::OwnedExtension> extensions = arg_owned(owned);
        return conversion_result(convert::to_version_7_with(state_of(self).document, extensions));
    });
}

}  // namespace pellorine::bindings
