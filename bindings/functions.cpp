// The module function parse_date: one date payload read and written in every
// output form, returned as a dict through the JSON bridge.
#include <optional>
#include <string>

#include "dates.hpp"
#include "frame.hpp"

namespace pellorine::bindings {

namespace {

// The result of parse_date before it crosses into Python: the reading's own
// entries, then its display and its two GEDCOM forms.
struct DateReading {
    GedcomDate date;
    std::string display;
    std::optional<std::string> gedcom551;
    std::optional<std::string> gedcom7;

    explicit DateReading(GedcomDate d)
        : date(std::move(d)),
          display(date.display()),
          gedcom551(date.to_gedcom_5_5_1()),
          gedcom7(date.to_gedcom_7()) {}

    void write_json(json::Writer& w) const {
        w.begin_object();
        date.write_json_entries(w);
        w.key("display").string(display);
        w.key("gedcom551").string(gedcom551);
        w.key("gedcom7").string(gedcom7);
        w.end_object();
    }
};

PyObject* parse_date(PyObject* /*module*/, PyObject* args, PyObject* kwargs) {
    return py::entry([&] {
        auto [text_arg] = py::parse_args<1>(args, kwargs, "parse_date", {"text"}, 1);
        std::string_view text = py::arg_text(text_arg, "parse_date", "text");
        DateReading reading(GedcomDate::parse(text));
        return py::to_py(reading);
    });
}

PyMethodDef functions[] = {
    {"parse_date", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&parse_date)),
     METH_VARARGS | METH_KEYWORDS,
     "parse_date(text)\n--\n\n"
     "Reads a date as the library reads any `DATE` payload, in every language\n"
     "and spelling it knows, and returns the reading as a dict: `original`,\n"
     "`calendar`, `kind`, `earliest`, `latest`, `phrase`, the `display` form,\n"
     "`gedcom551` (the reading in GEDCOM 5.5.1's own grammar, for example\n"
     "`ABT 5 JAN 1882`) and `gedcom7` (the reading in GEDCOM 7.0's own grammar,\n"
     "for example `ABT 5 JAN 1882`, with no `INT` and no dual year), each of the\n"
     "last two `None` when that grammar cannot hold the reading without loss."},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

// Adds the function parse_date to the module; -1 with the error set on failure.
int add_parse_date(PyObject* module) { return PyModule_AddFunctions(module, functions); }

}  // namespace pellorine::bindings
