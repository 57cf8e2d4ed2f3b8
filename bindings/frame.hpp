// The call frame shared by every binding file: owned references, argument
// matching and conversion, the borrow guard, exceptions, and the JSON bridge.
//
// Usage, for a method of a class whose instances are py::Object<State>:
//
//     PyObject* my_method(PyObject* self, PyObject* args, PyObject* kwargs) {
//         return py::entry([&] {
//             auto [xref] = py::parse_args<1>(args, kwargs, "record", {"xref"}, 1);
//             py::Shared borrow(py::cell(self));               // or py::Exclusive
//             std::string_view id = py::arg_text(xref, "record", "xref");
//             auto& st = py::state<GedcomState>(self);
//             ... if (!result) throw py::value_error(result.error());
//             return py::to_py(*result);                       // a py::Ref
//         });
//     }
//
// Every entry point wraps its body in py::entry: a helper that finds a Python
// error set throws py::Raised, and entry turns that (or any C++ exception)
// into a NULL return with the Python error set. No C++ exception escapes.
// Method tables use METH_VARARGS | METH_KEYWORDS with parse_args (or
// METH_NOARGS for methods that take none), and docstrings begin with the text
// signature: "name($self, xref)\n--\n\n".
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <atomic>
#include <concepts>
#include <cstdint>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "build.hpp"
#include "error.hpp"
#include "json.hpp"

namespace pellorine::py {

// Thrown once a Python exception has been set; py::entry returns NULL for it.
struct Raised {};

// An owned (strong) reference; released when the Ref goes.
class Ref {
public:
    Ref() = default;
    static Ref steal(PyObject* p) { return Ref(p); }  // takes over a new reference
    static Ref borrow(PyObject* p) {
        Py_XINCREF(p);
        return Ref(p);
    }
    // Takes a new reference from a C API call; a NULL result means an error is set.
    static Ref check(PyObject* p) {
        if (!p) throw Raised{};
        return Ref(p);
    }
    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    Ref& operator=(Ref&& o) noexcept {
        if (this != &o) {
            Py_XDECREF(p_);
            p_ = std::exchange(o.p_, nullptr);
        }
        return *this;
    }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() { Py_XDECREF(p_); }

    PyObject* get() const { return p_; }
    PyObject* release() { return std::exchange(p_, nullptr); }
    explicit operator bool() const { return p_ != nullptr; }

private:
    explicit Ref(PyObject* p) : p_(p) {}
    PyObject* p_ = nullptr;
};

// Runs the body of an entry point; the body returns a Ref (or PyObject* /
// int for slots). Catches everything, so no C++ exception reaches Python.
void set_internal_error(const char* what) noexcept;

template <class F>
auto entry(F&& body) noexcept {
    using R = decltype(body());
    try {
        if constexpr (std::same_as<R, Ref>) {
            return body().release();
        } else {
            return body();
        }
    } catch (const Raised&) {
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        set_internal_error(e.what());
    } catch (...) {
        set_internal_error("unknown error");
    }
    if constexpr (std::same_as<R, Ref> || std::is_pointer_v<R>) {
        return static_cast<PyObject*>(nullptr);
    } else {
        return static_cast<R>(-1);
    }
}

// ---- exceptions: each sets the Python error and returns Raised to throw ----

Raised value_error(const GedcomError& e);        // ValueError(display text)
Raised value_error(std::string_view message);    // ValueError(message)
Raised key_error(PyObject* key);                 // KeyError(key), the object as passed
// OSError("{path}: {description} (os error {code})"); path shown with
// replacement characters for invalid UTF-8. A plain OSError, errno unset.
Raised os_error(std::string_view path, int code);
Raised type_error(std::string_view message);
Raised runtime_error(std::string_view message);

// ---- building Python values ----

Ref str(std::string_view utf8);
Ref bytes(std::string_view data);
Ref integer(std::uint64_t n);
Ref boolean(bool b);
Ref none();
Ref list(std::vector<Ref> items);
Ref tuple(std::vector<Ref> items);

template <class Range, class F>
Ref list_of(const Range& range, F&& convert) {
    std::vector<Ref> items;
    for (const auto& item : range) items.push_back(convert(item));
    return list(std::move(items));
}

// ---- JSON bridge ----

// Result values with a `write_json(json::Writer&)` writing their JSON object.
template <class T>
concept WritesJson = requires(const T& v, json::Writer& w) { v.write_json(w); };

// Result values with a `to_json()` giving their compact JSON text.
template <class T>
concept HasJson = requires(const T& v) {
    { v.to_json() } -> std::convertible_to<std::string_view>;
};

// Turns result values into Python objects, each serialised on its own to
// compact JSON and decoded by the interpreter's json.loads. One bridge serves
// one call: its buffer is reused from value to value, and json.loads is
// looked up (importing json by name) when the first value needs it.
class JsonBridge {
public:
    // One value through JSON.
    template <class T>
        requires WritesJson<T> || HasJson<T>
    Ref convert(const T& value) {
        if constexpr (WritesJson<T>) {
            writer_.clear();
            value.write_json(writer_);
            return loads(writer_.view());
        } else {
            std::string text = value.to_json();
            return loads(text);
        }
    }
    // One compact JSON text through json.loads.
    Ref loads(std::string_view json);

private:
    json::Writer writer_;
    Ref loads_;
};

// One result value through the JSON bridge.
template <class T>
    requires WritesJson<T> || HasJson<T>
Ref to_py(const T& value) {
    JsonBridge bridge;
    return bridge.convert(value);
}

// Pauses the interpreter's cyclic collector for the guard's lifetime, then
// restores the state it found, on every exit path. Every converted result is
// a fresh container; while a long list of them is built, each collection the
// allocations trigger would walk all of them again, and none is in a cycle.
class CollectorPause {
public:
    CollectorPause() : was_enabled_(PyGC_Disable() == 1) {}
    ~CollectorPause() {
        if (was_enabled_) PyGC_Enable();
    }
    CollectorPause(const CollectorPause&) = delete;
    CollectorPause& operator=(const CollectorPause&) = delete;

private:
    bool was_enabled_;
};

// A list of result values converted one at a time through one bridge, so
// that no value outlives its own conversion; the collector stays paused
// until the list is built or the first failure has released what was built.
class ResultList {
public:
    // Converts one value and keeps it.
    template <class T>
    void add(const T& value) {
        items_.push_back(bridge_.convert(value));
    }
    // The list of the values converted so far, in order.
    Ref finish() { return list(std::move(items_)); }

private:
    CollectorPause pause_;  // declared first: paused before any conversion, restored last
    JsonBridge bridge_;
    std::vector<Ref> items_;
};

// A list of result values, each through the JSON bridge, in order; the first
// failure ends the conversion.
template <class Range>
Ref to_py_list(const Range& values) {
    ResultList out;
    for (const auto& v : values) out.add(v);
    return out.finish();
}

// json.dumps(obj) with no keywords; what dumps raises passes through.
std::string py_to_json(PyObject* obj);

// A list of record descriptions from any object json.dumps accepts: the
// JSON text read by the core's reader; a text of the wrong shape raises
// ValueError with the reader's message (ending " at line {} column {}").
std::vector<build::NodeSpec> from_py(PyObject* obj);

// ---- argument matching and conversion ----

// Matches positional and keyword arguments to `names`; the first `required`
// must be given. Returns borrowed references (nullptr for an optional
// argument not given). Raises TypeError in the interpreter's wording.
void match_args(PyObject* args, PyObject* kwargs, const char* func, const char* const* names, std::size_t count,
                std::size_t required, PyObject** out);

template <std::size_t N>
std::array<PyObject*, N> parse_args(PyObject* args, PyObject* kwargs, const char* func,
                                    const char* const (&names)[N], std::size_t required) {
    std::array<PyObject*, N> out{};
    match_args(args, kwargs, func, names, N, required, out.data());
    return out;
}
inline void parse_no_args(PyObject* args, PyObject* kwargs, const char* func) {
    match_args(args, kwargs, func, nullptr, 0, 0, nullptr);
}

// `str` (and subclasses): the UTF-8 text, valid as long as the object lives.
std::string_view arg_text(PyObject* o, const char* func, const char* name);
// `bytes` only: the bytes, valid as long as the object lives.
std::string_view arg_bytes(PyObject* o, const char* func, const char* name);
// An int from 0 to 2**64 - 1; OverflowError outside, TypeError for a non-int.
std::uint64_t arg_count(PyObject* o, const char* func, const char* name);
// Any sequence but str, whose items are counts.
std::vector<std::size_t> arg_index_list(PyObject* o, const char* func, const char* name);
// `str` or os.PathLike whose file-system path is a str; the UTF-8 path.
std::string arg_fs_path(PyObject* o, const char* func, const char* name);

// The type name of an object, for messages ("bytes", "NoneType").
std::string type_name(PyObject* o);
// The UTF-8 text of a str, valid as long as the object lives; Raised when it
// has none (a lone surrogate).
std::string_view utf8_of(PyObject* s);

// ---- instances and their borrow counter ----

// 0 free, n > 0 shared borrows in progress, -1 one exclusive borrow.
struct BorrowCell {
    std::atomic<std::intptr_t> count{0};
};

// A shared borrow for the guard's lifetime; RuntimeError "Already mutably borrowed" when exclusive.
class Shared {
public:
    explicit Shared(BorrowCell& cell);
    ~Shared() { cell_.count.fetch_sub(1, std::memory_order_release); }
    Shared(const Shared&) = delete;
    Shared& operator=(const Shared&) = delete;

private:
    BorrowCell& cell_;
};

// An exclusive borrow for the guard's lifetime; RuntimeError "Already borrowed" when not free.
class Exclusive {
public:
    explicit Exclusive(BorrowCell& cell);
    ~Exclusive() { cell_.count.store(0, std::memory_order_release); }
    Exclusive(const Exclusive&) = delete;
    Exclusive& operator=(const Exclusive&) = delete;

private:
    BorrowCell& cell_;
};

// The layout of every instance: the object header, the borrow counter, the state.
template <class State>
struct Object {
    PyObject_HEAD
    BorrowCell cell;
    State state;
};

// The cell is at the same place in every Object<State> (right after the header).
struct ObjectHead {
    PyObject_HEAD
    BorrowCell cell;
};
inline BorrowCell& cell(PyObject* self) { return reinterpret_cast<ObjectHead*>(self)->cell; }

template <class State>
State& state(PyObject* self) {
    return reinterpret_cast<Object<State>*>(self)->state;
}

// Makes a new instance of a class made by make_class<State>, taking over `value`.
template <class State>
Ref create(PyTypeObject* type, State&& value) {
    auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
    PyObject* obj = alloc(type, 0);
    if (!obj) throw Raised{};
    auto* o = reinterpret_cast<Object<State>*>(obj);
    new (&o->cell) BorrowCell();
    try {
        new (&o->state) State(std::move(value));
    } catch (...) {
        // Never constructed: free the memory without running a destructor.
        o->cell.~BorrowCell();
        PyObject_GC_UnTrack(obj);
        auto free_fn = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
        free_fn(obj);
        Py_DECREF(type);
        throw;
    }
    return Ref::steal(obj);
}

namespace detail {
template <class State>
void dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    auto* o = reinterpret_cast<Object<State>*>(self);
    o->state.~State();
    o->cell.~BorrowCell();
    auto free_fn = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
    free_fn(self);
    Py_DECREF(type);
}
// A heap type's instances visit their type. The one other reference an
// instance may hold, the bytes object a parsed document views (its text
// keeper), is not visited: bytes refer to nothing, so no cycle runs through it.
inline int traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(Py_TYPE(self));
    return 0;
}
PyTypeObject* make_type(const char* name, int basicsize, const char* doc, bool instantiable, PyType_Slot* extra,
                        destructor dealloc);
}  // namespace detail

// Makes a heap class named "builtins.{name}": not subclassable, no __dict__, no
// weak references, cycle-collected. `extra` is a list of slots ending with
// {0, nullptr} (methods, getset, tp_new, ...). Without a Py_tp_new slot in
// `extra` the class cannot be instantiated ("cannot create 'builtins.X' instances").
template <class State>
PyTypeObject* make_class(const char* name, const char* doc, PyType_Slot* extra) {
    bool has_new = false;
    for (PyType_Slot* s = extra; s && s->slot != 0; ++s) has_new = has_new || s->slot == Py_tp_new;
    return detail::make_type(name, static_cast<int>(sizeof(Object<State>)), doc, has_new, extra,
                             &detail::dealloc<State>);
}

// Adds `object` (a new reference, or NULL on error) to the module under `name`.
// Returns -1 with the error set on failure.
int add_to_module(PyObject* module, const char* name, PyObject* object);

// A class object made by make_class<State> on first use and kept, by this one
// reference, for the rest of the process: every class of the module is made
// through it.
//
// A class holds nothing of a module object (each instance carries its own
// state, and no method reaches the module), so a module object filled again
// (a second import after removal from sys.modules) receives the very same
// classes. So does a module imported in a sub-interpreter: sub-interpreters
// share the classes made in whichever interpreter first filled a module.
// That holds while they all share one GIL, which the interpreter requires of
// a module that, like this one, declares no per-interpreter GIL support.
template <class State>
class LazyClass {
public:
    LazyClass(const char* name, const char* doc, PyType_Slot* slots) : name_(name), doc_(doc), slots_(slots) {}

    // The class object, borrowed; NULL with the error set when it cannot be made.
    PyTypeObject* get() {
        if (!type_) type_ = make_class<State>(name_, doc_, slots_);
        return type_;
    }

    // Adds the class to `module` under `attribute`; -1 with the error set on failure.
    int add_to(PyObject* module, const char* attribute) {
        PyTypeObject* type = get();
        if (!type) return -1;
        Py_INCREF(type);
        return add_to_module(module, attribute, reinterpret_cast<PyObject*>(type));
    }

private:
    const char* name_;
    const char* doc_;
    PyType_Slot* slots_;
    PyTypeObject* type_ = nullptr;
};

}  // namespace pellorine::py
