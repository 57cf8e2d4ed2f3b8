// The archive classes ArchiveWriter (in memory) and ArchiveFileWriter (straight
// to a file, with entries streamed from other files), and the function
// archive_total_size.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>
#include <utility>

#include "frame.hpp"
#include "gedzip_reader.hpp"
#include "gedzip_writer.hpp"

namespace pellorine::bindings {

namespace gz = pellorine::gedzip;
using py::Ref;

namespace {

constexpr const char* already_finished = "finish() was already called";

// The instance's writer, under the caller's borrow; ValueError once `finish()`
// has taken it.
template <class State>
auto& live_writer(PyObject* self) {
    auto& writer = py::state<State>(self).writer;
    if (!writer) throw py::value_error(already_finished);
    return *writer;
}

// `add(name, data)` is the same for both writers: only their state differs.
template <class State>
PyObject* writer_add(PyObject* self, PyObject* args, PyObject* kwargs) {
    return py::entry([&] {
        auto [name_arg, data_arg] = py::parse_args<2>(args, kwargs, "add", {"name", "data"}, 2);
        py::Exclusive borrow(py::cell(self));
        const std::string_view name = py::arg_text(name_arg, "add", "name");
        const std::string_view data = py::arg_bytes(data_arg, "add", "data");
        if (auto r = live_writer<State>(self).add(name, data); !r) throw py::value_error(r.error());
        return py::none();
    });
}

// `finish()` of both writers, under the caller's exclusive borrow: the writer
// is taken out first, so the instance is spent whatever follows, then
// finished; yields its sink.
template <class State>
auto finish_writer(PyObject* self) {
    auto writer = std::exchange(py::state<State>(self).writer, std::nullopt);
    if (!writer) throw py::value_error(already_finished);
    auto sink = std::move(*writer).finish();
    writer.reset();   // on failure this closes an incomplete file
    if (!sink) throw py::value_error(sink.error());
    return std::move(*sink);
}

// ---------------------------------------------------------------------------
// ArchiveWriter

struct MemoryWriterState {
    std::optional<gz::ArchiveWriter<gz::MemorySink>> writer;
};

PyObject* memory_writer_new(PyObject* cls, PyObject* args, PyObject* kwargs) {
    return py::entry([&] {
        py::parse_no_args(args, kwargs, "new");
        MemoryWriterState st;
        st.writer.emplace(gz::MemorySink{}, gz::default_archive_limits);
        return py::create(reinterpret_cast<PyTypeObject*>(cls), std::move(st));
    });
}

PyObject* memory_writer_finish(PyObject* self, PyObject* /*unused*/) {
    return py::entry([&] {
        py::Exclusive borrow(py::cell(self));
        return py::bytes(finish_writer<MemoryWriterState>(self).bytes());
    });
}

PyMethodDef memory_writer_methods[] = {
    {"new", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&memory_writer_new)),
     METH_VARARGS | METH_KEYWORDS | METH_CLASS,
     "new()\n--\n\n"
     "Starts a new, empty archive under the default bounds. Since\n"
     "`pellorine.gedzip.ArchiveLimits` has no Python binding yet, the library's\n"
     "defaults are used."},
    {"add", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&writer_add<MemoryWriterState>)),
     METH_VARARGS | METH_KEYWORDS,
     "add($self, name, data)\n--\n\n"
     "Adds one entry. Raises `ValueError` for an unsafe or repeated path,\n"
     "one that exceeds the writer's per-entry limit, or a call after\n"
     "`finish`."},
    {"finish", &memory_writer_finish, METH_NOARGS,
     "finish($self)\n--\n\n"
     "Writes the central directory and returns the finished archive's\n"
     "bytes. Valid to call once; raises `ValueError` on a second call."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot memory_writer_slots[] = {
    {Py_tp_methods, memory_writer_methods},
    {0, nullptr},
};

const char* const memory_writer_doc =
    "Builds a GEDZIP archive in memory, one entry at a time.\n"
    "\n"
    "The peak memory of one `add` is a small multiple of the entry just added,\n"
    "not of the whole archive: about twice the entry for media that is already\n"
    "compressed and therefore stored, up to a little over three and a half\n"
    "times for highly compressible text, plus the growing central directory,\n"
    "as the core writer's own documentation accounts in full. Since this class\n"
    "writes into memory rather than into a file, `finish` copies the whole\n"
    "buffer once more to hand the bytes to Python, so the streaming benefit of\n"
    "a file sink stops at this boundary. Writing a whole list of entries at\n"
    "once is not offered separately: make one writer and call `add` in a loop.";

// ---------------------------------------------------------------------------
// ArchiveFileWriter

struct FileWriterState {
    std::string path;
    std::optional<gz::ArchiveWriter<gz::FileSink>> writer;
};

// A path with a NUL byte would be cut short by the system call and name
// another file; it names no file at all.
void refuse_nul(const std::string& path) {
    if (path.find('\0') != std::string::npos) throw py::os_error(path, EINVAL);
}

PyObject* file_writer_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return py::entry([&] {
        auto [path_arg] = py::parse_args<1>(args, kwargs, "ArchiveFileWriter", {"path"}, 1);
        std::string path = py::arg_fs_path(path_arg, "ArchiveFileWriter", "path");
        refuse_nul(path);
        auto sink = gz::FileSink::create(path);
        if (!sink) throw py::os_error(path, sink.error().code);
        FileWriterState st;
        st.writer.emplace(std::move(*sink), gz::default_archive_limits);
        st.path = std::move(path);
        return py::create(type, std::move(st));
    });
}

// Closes the descriptor unless handed on.
struct OwnedFd {
    int fd = -1;
    ~OwnedFd() {
        if (fd >= 0) ::close(fd);
    }
    int release() { return std::exchange(fd, -1); }
};

PyObject* file_writer_add_file(PyObject* self, PyObject* args, PyObject* kwargs) {
    return py::entry([&] {
        auto [name_arg, source_arg] = py::parse_args<2>(args, kwargs, "add_file", {"name", "source"}, 2);
        py::Exclusive borrow(py::cell(self));
        const std::string_view name = py::arg_text(name_arg, "add_file", "name");
        const std::string source = py::arg_fs_path(source_arg, "add_file", "source");

        // Non-blocking, so that a FIFO given as the source is refused below
        // instead of hanging until some writer opens it.
        refuse_nul(source);
        OwnedFd file;
        do {
            file.fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        } while (file.fd < 0 && errno == EINTR);
        if (file.fd < 0) throw py::os_error(source, errno);
        struct stat meta {};
        if (::fstat(file.fd, &meta) != 0) throw py::os_error(source, errno);
        if (!S_ISREG(meta.st_mode)) throw py::value_error(source + " is not a regular file");
        const int flags = ::fcntl(file.fd, F_GETFL);
        if (flags < 0 || ::fcntl(file.fd, F_SETFL, flags & ~O_NONBLOCK) != 0) throw py::os_error(source, errno);

        auto r = live_writer<FileWriterState>(self).add_streamed_reserving(
            name, gz::FileSource(file.release()), static_cast<std::uint64_t>(meta.st_size), std::nullopt);
        if (!r) throw py::value_error(r.error());
        return py::none();
    });
}

PyObject* file_writer_finish(PyObject* self, PyObject* /*unused*/) {
    return py::entry([&] {
        py::Exclusive borrow(py::cell(self));
        gz::FileSink sink = finish_writer<FileWriterState>(self);
        const std::string& path = py::state<FileWriterState>(self).path;
        // Measured through the open descriptor: by now the path may name
        // another file, renamed or replaced meanwhile.
        struct stat meta {};
        if (auto f = sink.flush(); !f) throw py::os_error(path, f.error().code);
        if (::fstat(sink.fd(), &meta) != 0) throw py::os_error(path, errno);
        // A failed close can still be the first report of a lost write: not a success.
        if (auto c = sink.close(); !c) throw py::os_error(path, c.error().code);
        return py::integer(static_cast<std::uint64_t>(meta.st_size));
    });
}

PyMethodDef file_writer_methods[] = {
    {"add", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&writer_add<FileWriterState>)),
     METH_VARARGS | METH_KEYWORDS,
     "add($self, name, data)\n--\n\n"
     "Adds one entry from bytes. Raises `ValueError` for an unsafe or\n"
     "repeated path, one past the per-entry limit, a failed write, or a call\n"
     "after `finish`."},
    {"add_file", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&file_writer_add_file)),
     METH_VARARGS | METH_KEYWORDS,
     "add_file($self, name, source)\n--\n\n"
     "Adds one entry read from the regular file at `source`, without the bytes\n"
     "passing through Python and without holding the file in memory: it\n"
     "streams in 64 KiB chunks, so it costs one buffer. The file may be at\n"
     "most the writer's per-entry limit, the default 1 GiB. Raises `OSError`\n"
     "when the file cannot be opened, `ValueError` when it is not a regular\n"
     "file or for the reasons `add` gives, and `ValueError` when the file\n"
     "changes size while it is read, after which the archive cannot be\n"
     "finished."},
    {"finish", &file_writer_finish, METH_NOARGS,
     "finish($self)\n--\n\n"
     "Writes the central directory, flushes, and closes the file, returning\n"
     "its size in bytes. Valid to call once."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot file_writer_slots[] = {
    {Py_tp_methods, file_writer_methods},
    {Py_tp_new, reinterpret_cast<void*>(&file_writer_new)},
    {0, nullptr},
};

const char* const file_writer_doc =
    "ArchiveFileWriter(path)\n--\n\n"
    "Writes a GEDZIP archive straight to a file, one entry at a time, so that\n"
    "memory stays a small multiple of the largest entry passed as bytes to\n"
    "`add`, plus one 64 KiB buffer for an entry streamed with `add_file`,\n"
    "however large the archive grows. Each entry may be at most the library's\n"
    "default per-entry limit of 1 GiB (`ArchiveLimits` has no Python binding\n"
    "yet). The class exists only in this Python module, since it needs a file\n"
    "system. The file is created at once and is complete only after `finish`;\n"
    "an archive abandoned part-way (by an error, or without `finish`) leaves a\n"
    "partial file behind, so write to a temporary path and rename it after\n"
    "`finish`.";

// ---------------------------------------------------------------------------
// archive_total_size

PyObject* archive_total_size(PyObject* /*module*/, PyObject* args, PyObject* kwargs) {
    return py::entry([&] {
        auto [data_arg] = py::parse_args<1>(args, kwargs, "archive_total_size", {"data"}, 1);
        const std::string_view data = py::arg_bytes(data_arg, "archive_total_size", "data");
        auto archive = gz::Archive::open(data);
        if (!archive) throw py::value_error(archive.error());
        return py::integer(archive->total_size());
    });
}

PyMethodDef total_size_functions[] = {
    {"archive_total_size", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&archive_total_size)),
     METH_VARARGS | METH_KEYWORDS,
     "archive_total_size(data)\n--\n\n"
     "The sum of a GEDZIP archive's entries' claimed decompressed sizes, read\n"
     "from its central directory alone \xe2\x80\x94 nothing is decompressed to answer\n"
     "this. Raises `ValueError` for bytes that do not open as an archive."},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

// The add functions of the module's fill step; -1 with the error set on failure.
int add_archive_writer(PyObject* module) {
    static py::LazyClass<MemoryWriterState> the_class("builtins.ArchiveWriter", memory_writer_doc, memory_writer_slots);
    return the_class.add_to(module, "ArchiveWriter");
}

int add_archive_file_writer(PyObject* module) {
    static py::LazyClass<FileWriterState> the_class("builtins.ArchiveFileWriter", file_writer_doc, file_writer_slots);
    return the_class.add_to(module, "ArchiveFileWriter");
}

int add_archive_total_size(PyObject* module) { return PyModule_AddFunctions(module, total_size_functions); }

}  // namespace pellorine::bindings
