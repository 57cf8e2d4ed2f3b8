// The call frame: argument matching and conversion, borrows, exceptions, and
// the JSON bridge through the interpreter's json module.
#include "frame.hpp"

#include <algorithm>
#include <system_error>

namespace pellorine::py {

namespace {

std::string to_std(PyObject* s) { return std::string(utf8_of(s)); }

Raised set_error(PyObject* type, std::string_view message) {
    Ref text = Ref::check(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
    PyErr_SetObject(type, text.get());
    return Raised{};
}

std::string prefix(const char* func, const char* name) {
    return std::string(func) + "() argument '" + name + "'";
}

Raised wrong_type(PyObject* o, const char* func, const char* name, const char* expected) {
    return set_error(PyExc_TypeError, prefix(func, name) + " must be " + expected + ", not " + type_name(o));
}

Ref import_json_function(const char* attribute) {
    Ref name = Ref::check(PyUnicode_FromString("json"));
    Ref module = Ref::check(PyImport_Import(name.get()));
    return Ref::check(PyObject_GetAttrString(module.get(), attribute));
}

// "'a'", "'a' and 'b'", "'a', 'b', and 'c'" as the interpreter lists missing arguments.
std::string name_list(const std::vector<const char*>& names) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += names.size() == 2 ? " and " : (i + 1 == names.size() ? ", and " : ", ");
        out += "'";
        out += names[i];
        out += "'";
    }
    return out;
}

}  // namespace

void set_internal_error(const char* what) noexcept {
    PyErr_Format(PyExc_RuntimeError, "internal error: %s", what);
}

Raised value_error(const GedcomError& e) { return set_error(PyExc_ValueError, e.display()); }
Raised value_error(std::string_view message) { return set_error(PyExc_ValueError, message); }
Raised type_error(std::string_view message) { return set_error(PyExc_TypeError, message); }
Raised runtime_error(std::string_view message) { return set_error(PyExc_RuntimeError, message); }

Raised key_error(PyObject* key) {
    PyErr_SetObject(PyExc_KeyError, key);
    return Raised{};
}

Raised os_error(std::string_view path, int code) {
    std::string message(path);
    message += ": ";
    message += std::system_category().message(code);
    message += " (os error " + std::to_string(code) + ")";
    return set_error(PyExc_OSError, message);
}

Ref str(std::string_view utf8) {
    return Ref::check(PyUnicode_FromStringAndSize(utf8.data(), static_cast<Py_ssize_t>(utf8.size())));
}
Ref bytes(std::string_view data) {
    return Ref::check(PyBytes_FromStringAndSize(data.data(), static_cast<Py_ssize_t>(data.size())));
}
Ref integer(std::uint64_t n) { return Ref::check(PyLong_FromUnsignedLongLong(n)); }
Ref boolean(bool b) { return Ref::borrow(b ? Py_True : Py_False); }
Ref none() { return Ref::borrow(Py_None); }

Ref list(std::vector<Ref> items) {
    Ref out = Ref::check(PyList_New(static_cast<Py_ssize_t>(items.size())));
    for (std::size_t i = 0; i < items.size(); ++i) PyList_SetItem(out.get(), static_cast<Py_ssize_t>(i), items[i].release());
    return out;
}
Ref tuple(std::vector<Ref> items) {
    Ref out = Ref::check(PyTuple_New(static_cast<Py_ssize_t>(items.size())));
    for (std::size_t i = 0; i < items.size(); ++i) PyTuple_SetItem(out.get(), static_cast<Py_ssize_t>(i), items[i].release());
    return out;
}

Ref JsonBridge::loads(std::string_view json) {
    Ref text = str(json);
    if (!loads_) loads_ = import_json_function("loads");
    return Ref::check(PyObject_CallFunctionObjArgs(loads_.get(), text.get(), nullptr));
}

std::string py_to_json(PyObject* obj) {
    Ref dumps = import_json_function("dumps");
    Ref text = Ref::check(PyObject_CallFunctionObjArgs(dumps.get(), obj, nullptr));
    if (!PyUnicode_Check(text.get())) throw type_error("json.dumps did not return a str");
    return to_std(text.get());
}

std::vector<build::NodeSpec> from_py(PyObject* obj) {
    std::string text = py_to_json(obj);
    auto specs = json::read_node_specs(text);
    if (!specs) throw value_error(specs.error().message);
    return std::move(*specs);
}

std::string_view utf8_of(PyObject* s) {
    Py_ssize_t n = 0;
    const char* p = PyUnicode_AsUTF8AndSize(s, &n);
    if (!p) throw Raised{};
    return {p, static_cast<std::size_t>(n)};
}

std::string type_name(PyObject* o) {
    PyObject* name = PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(o)), "__name__");
    if (!name || !PyUnicode_Check(name)) {
        Py_XDECREF(name);
        PyErr_Clear();
        return "object";
    }
    Ref owned = Ref::steal(name);
    Py_ssize_t n = 0;
    const char* p = PyUnicode_AsUTF8AndSize(name, &n);
    if (!p) {
        PyErr_Clear();
        return "object";
    }
    return std::string(p, static_cast<std::size_t>(n));
}

void match_args(PyObject* args, PyObject* kwargs, const char* func, const char* const* names, std::size_t count,
                std::size_t required, PyObject** out) {
    std::size_t given = args ? static_cast<std::size_t>(PyTuple_Size(args)) : 0;
    if (given > count) {
        std::string m = std::string(func) + "() takes ";
        if (required == count) {
            m += std::to_string(count);
        } else {
            m += "from " + std::to_string(required) + " to " + std::to_string(count);
        }
        m += count == 1 && required == count ? " positional argument" : " positional arguments";
        m += " but " + std::to_string(given) + (given == 1 ? " was given" : " were given");
        throw type_error(m);
    }
    for (std::size_t i = 0; i < count; ++i) out[i] = nullptr;
    for (std::size_t i = 0; i < given; ++i) out[i] = PyTuple_GetItem(args, static_cast<Py_ssize_t>(i));
    if (kwargs) {
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        Py_ssize_t pos = 0;
        while (PyDict_Next(kwargs, &pos, &key, &value)) {
            if (!PyUnicode_Check(key)) throw type_error(std::string(func) + "() keywords must be strings");
            std::size_t found = count;
            for (std::size_t i = 0; i < count; ++i) {
                if (PyUnicode_CompareWithASCIIString(key, names[i]) == 0) {
                    found = i;
                    break;
                }
            }
            if (found == count) {
                throw type_error(std::string(func) + "() got an unexpected keyword argument '" + to_std(key) + "'");
            }
            if (out[found]) {
                throw type_error(std::string(func) + "() got multiple values for argument '" + names[found] + "'");
            }
            out[found] = value;
        }
    }
    std::vector<const char*> missing;
    for (std::size_t i = 0; i < required; ++i) {
        if (!out[i]) missing.push_back(names[i]);
    }
    if (!missing.empty()) {
        throw type_error(std::string(func) + "() missing " + std::to_string(missing.size()) + " required positional " +
                         (missing.size() == 1 ? "argument: " : "arguments: ") + name_list(missing));
    }
}

std::string_view arg_text(PyObject* o, const char* func, const char* name) {
    if (!PyUnicode_Check(o)) throw wrong_type(o, func, name, "str");
    return utf8_of(o);
}

std::string_view arg_bytes(PyObject* o, const char* func, const char* name) {
    if (!PyBytes_Check(o)) throw wrong_type(o, func, name, "bytes");
    char* p = nullptr;
    Py_ssize_t n = 0;
    if (PyBytes_AsStringAndSize(o, &p, &n) < 0) throw Raised{};
    return {p, static_cast<std::size_t>(n)};
}

std::uint64_t arg_count(PyObject* o, const char* func, const char* name) {
    if (!PyLong_Check(o)) throw wrong_type(o, func, name, "int");
    unsigned long long n = PyLong_AsUnsignedLongLong(o);
    if (n == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
        if (!PyErr_ExceptionMatches(PyExc_OverflowError)) throw Raised{};
        // Keep the interpreter's wording, and say which argument it was.
        PyObject *type = nullptr, *value = nullptr, *trace = nullptr;
        PyErr_Fetch(&type, &value, &trace);
        Ref t = Ref::steal(type), v = Ref::steal(value), tb = Ref::steal(trace);
        std::string detail = "out of range";
        if (v) {
            if (PyObject* s = PyObject_Str(v.get())) {
                Ref text = Ref::steal(s);
                Py_ssize_t len = 0;
                if (const char* p = PyUnicode_AsUTF8AndSize(s, &len)) detail.assign(p, static_cast<std::size_t>(len));
            }
            PyErr_Clear();
        }
        throw set_error(PyExc_OverflowError, prefix(func, name) + ": " + detail);
    }
    return static_cast<std::uint64_t>(n);
}

std::vector<std::size_t> arg_index_list(PyObject* o, const char* func, const char* name) {
    if (PyUnicode_Check(o) || !PySequence_Check(o)) throw wrong_type(o, func, name, "a sequence of int");
    Py_ssize_t n = PySequence_Size(o);
    if (n < 0) throw Raised{};
    std::vector<std::size_t> out;
    // The length is the object's own claim: reserve only a little ahead of the items.
    out.reserve(std::min<std::size_t>(static_cast<std::size_t>(n), 64));
    for (Py_ssize_t i = 0; i < n; ++i) {
        Ref item = Ref::check(PySequence_GetItem(o, i));
        std::uint64_t v = arg_count(item.get(), func, name);
        if (v > SIZE_MAX) throw set_error(PyExc_OverflowError, prefix(func, name) + ": int too big to convert");
        out.push_back(static_cast<std::size_t>(v));
    }
    return out;
}

std::string arg_fs_path(PyObject* o, const char* func, const char* name) {
    Ref path = Ref::borrow(o);
    if (!PyUnicode_Check(o)) {
        PyObject* p = PyOS_FSPath(o);
        if (!p) {
            PyErr_Clear();
            throw wrong_type(o, func, name, "str or os.PathLike");
        }
        path = Ref::steal(p);
        if (!PyUnicode_Check(path.get())) throw wrong_type(o, func, name, "str or os.PathLike of str");
    }
    Ref encoded = Ref::check(PyUnicode_EncodeFSDefault(path.get()));
    return std::string(arg_bytes(encoded.get(), func, name));
}

Shared::Shared(BorrowCell& cell) : cell_(cell) {
    std::intptr_t n = cell_.count.load(std::memory_order_acquire);
    do {
        if (n < 0) throw runtime_error("Already mutably borrowed");
    } while (!cell_.count.compare_exchange_weak(n, n + 1, std::memory_order_acq_rel));
}

Exclusive::Exclusive(BorrowCell& cell) : cell_(cell) {
    std::intptr_t expected = 0;
    if (!cell_.count.compare_exchange_strong(expected, -1, std::memory_order_acq_rel)) {
        throw runtime_error("Already borrowed");
    }
}

namespace detail {

PyTypeObject* make_type(const char* name, int basicsize, const char* doc, bool instantiable, PyType_Slot* extra,
                        destructor dealloc) {
    std::vector<PyType_Slot> slots;
    slots.push_back({Py_tp_doc, const_cast<char*>(doc)});
    slots.push_back({Py_tp_dealloc, reinterpret_cast<void*>(dealloc)});
    slots.push_back({Py_tp_traverse, reinterpret_cast<void*>(&traverse)});
    for (PyType_Slot* s = extra; s && s->slot != 0; ++s) slots.push_back(*s);
    slots.push_back({0, nullptr});
    unsigned int flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC;
    if (!instantiable) flags |= Py_TPFLAGS_DISALLOW_INSTANTIATION;
    PyType_Spec spec{name, basicsize, 0, flags, slots.data()};
    return reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&spec));
}

}  // namespace detail

int add_to_module(PyObject* module, const char* name, PyObject* object) {
    if (!object) return -1;
    int rc = PyModule_AddObjectRef(module, name, object);
    Py_DECREF(object);
    return rc;
}

}  // namespace pellorine::py
