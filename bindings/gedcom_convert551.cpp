// Gedcom's conversion toward GEDCOM 5.5.1, handed back as the conversion
// toward 7.0 is: the new document beside the notes. The source is only read.
#include "convert.hpp"
#include "gedcom.hpp"

namespace pellorine::bindings {

PyObject* gedcom_to_version551(PyObject* self, PyObject*) {
    return py::entry([&] {
        py::Shared borrow(py::cell(self));
        return conversion_result(convert::to_version_5_5_1(state_of(self).document));
    });
}

}  // namespace pellorine::bindings
