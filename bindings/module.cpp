// The module's initialisation: PyInit_pellorine hands the interpreter the
// module definition, and the one execution slot fills the new module.
#include "frame.hpp"
#include "gedcom.hpp"

namespace pellorine::bindings {

// The fill step adds, in this order: Gedcom, ArchiveWriter, ArchiveFileWriter,
// archive_total_size, parse_date, __version__. Each add function lives beside
// its class or function and is declared here; the first failure stops the import.
int add_archive_writer(PyObject* module);       // archive.cpp
int add_archive_file_writer(PyObject* module);  // archive.cpp
int add_archive_total_size(PyObject* module);   // archive.cpp
int add_parse_date(PyObject* module);  // functions.cpp

namespace {

int add_version(PyObject* module) { return PyModule_AddStringConstant(module, "__version__", "0.1.16"); }

int fill_pellorine_module(PyObject* module) {
    if (!PyModule_Check(module)) {
        PyErr_SetString(PyExc_TypeError, "the module's fill step needs a module object");
        return -1;
    }
    using Add = int (*)(PyObject*);
    static constexpr Add additions[] = {
        &add_gedcom,
        &add_archive_writer,
        &add_archive_file_writer,
        &add_archive_total_size,
        &add_parse_date,
        &add_version,
    };
    for (Add add : additions) {
        if (add(module) < 0) return -1;
    }
    return 0;
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&fill_pellorine_module)},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "pellorine",
    "An archival-grade GEDCOM library: byte-preserving round-trip, encoding\n"
    "detection and reporting, GEDCOM 5.5 through 7.x.\n"
    "\n"
    "The function that fills the module bears a name apart from the core\n"
    "library's, so that the two do not collide; the module that Python imports\n"
    "is still named `pellorine`.",
    0,
    nullptr,
    module_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

}  // namespace pellorine::bindings

PyMODINIT_FUNC PyInit_pellorine(void) { return PyModuleDef_Init(&pellorine::bindings::module_def); }
