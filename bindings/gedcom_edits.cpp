// Gedcom's edits: appending records and substructures described as dicts,
// wrapping and fitting lines with CONC, and replacing one payload. Each takes
// the exclusive borrow, checks everything before it changes anything, and
// drops what was derived from the document after every successful append
// (an empty one included) and after any other edit that changed something.
#include "build.hpp"
#include "gedcom.hpp"

namespace pellorine::bindings {

namespace {

using build::NodeSpec;

// Builds every record description before the document is touched; the first
// refusal raises ValueError and the nodes built so far are dropped.
template <class Builder>
std::vector<Node> build_all(std::vector<NodeSpec> specs, Builder&& into) {
    std::vector<Node> nodes;
    nodes.reserve(specs.size());
    for (NodeSpec& spec : specs) {
        auto node = into(std::move(spec), default_limits);
        if (!node) throw py::value_error(node.error());
        nodes.push_back(std::move(*node));
    }
    return nodes;
}

constexpr std::uint64_t default_line_limit = 255;

std::uint64_t line_limit(PyObject* given, const char* func) {
    return given ? py::arg_count(given, func, "max_line_bytes") : default_line_limit;
}

// Runs `edit` on `record`, a record found through the index, and keeps the
// index valid without rebuilding it: an edit of the record's own line gives
// its identifier new text, so its entry is taken out before and put back
// after; no record moves. Whatever `edit` returns is returned.
template <class Edit>
auto edit_record(GedcomState& st, Node* record, Edit&& edit) {
    const auto position = static_cast<std::size_t>(record - st.document.records.data());
    if (auto x = record->xref(); x && st.index) st.index->erase(*x);
    try {
        auto result = edit();
        if (st.index) st.index->insert(position);
        return result;
    } catch (...) {
        st.index.reset();
        throw;
    }
}

}  // namespace

PyObject* gedcom_append_records(PyObject* self, PyObject* args, PyObject* kwargs) {
    return py::entry([&] {
        auto [records] = py::parse_args(args, kwargs, "append_records", {"records"}, 1);
        py::Exclusive borrow(py::cell(self));
        std::vector<Node> nodes = build_all(py::from_py(records), &build::into_node);
        GedcomState& st = state_of(self);
        if (auto done = build::append_records(st.document, std::move(nodes)); !done) throw py::value_error(done.error());
        st.drop_derived();
        return py::none();
    });
}

PyObject* gedcom_append_structures(PyObject* self, PyObject* args, PyObject* kwargs) {
    return py::entry([&] {
        auto [record, path, structures] =
            py::parse_args(args, kwargs, "append_structures", {"record", "path", "structures"}, 3);
        py::Exclusive borrow(py::cell(self));
        std::string_view name = py::arg_text(record, "append_structures", "record");
        Path at = py::arg_index_list(path, "append_structures", "path");
        std::vector<Node> nodes = build_all(py::from_py(structures), &build::into_substructure);
        GedcomState& st = state_of(self);
        Node* target = st.find_record(name);
        if (!target) target = build::record_by_tag(st.document, name);
        if (auto done = build::append_structures_under(target, name, at, std::move(nodes)); !done) {
            throw py::value_error(done.error());
        }
        st.drop_derived();
        return py::none();
    });
}

PyObject* gedcom_wrap_long_lines(PyObject* self, PyObject* args, PyObject* kwargs) {
    return py::entry([&] {
        auto [limit] = py::parse_args(args, kwargs, "wrap_long_lines", {"max_line_bytes"}, 0);
        py::Exclusive borrow(py::cell(self));
        std::uint64_t bytes = line_limit(limit, "wrap_long_lines");
        GedcomState& st = state_of(self);
        auto reports = build::wrap_long_lines(st.document, bytes);
        if (!reports) throw py::value_error(reports.error());
        if (!reports->empty()) st.drop_derived();
        return py::to_py_list(*reports);
    });
}

PyObject* gedcom_fit_line_limit(PyObject* self, PyObject* args, PyObject* kwargs) {
    return py::entry([&] {
        auto [xref, limit] = py::parse_args(args, kwargs, "fit_line_limit", {"xref", "max_line_bytes"}, 1);
        py::Exclusive borrow(py::cell(self));
        std::string_view id = py::arg_text(xref, "fit_line_limit", "xref");
        std::uint64_t bytes = line_limit(limit, "fit_line_limit");
        GedcomState& st = state_of(self);
        Node* record = st.find_record(id);
        if (!record) throw py::key_error(xref);
        bool changed = edit_record(st, record, [&] { return build::fit_line_limit(*record, 0, bytes); });
        if (changed) st.graph.reset();
        return py::boolean(changed);
    });
}

PyObject* gedcom_set_logical_value(PyObject* self, PyObject* args, PyObject* kwargs) {
    return py::entry([&] {
        auto [xref, path, value] = py::parse_args(args, kwargs, "set_logical_value", {"xref", "path", "value"}, 3);
        py::Exclusive borrow(py::cell(self));
        std::string_view id = py::arg_text(xref, "set_logical_value", "xref");
        Path at = py::arg_index_list(path, "set_logical_value", "path");
        std::string_view text = py::arg_text(value, "set_logical_value", "value");
        GedcomState& st = state_of(self);
        Node* record = st.find_record(id);
        if (!record) throw py::key_error(xref);
        Node* node = record->at(at);
        if (!node) throw py::value_error("no structure at " + build::path_text(at));
        if (auto ok = build::check_logical_value(*node, at.size(), text); !ok) throw py::value_error(ok.error());
        edit_record(st, record, [&] {
            node->set_logical_value(text);
            return true;
        });
        st.graph.reset();
        return py::none();
    });
}

}  // namespace pellorine::bindings
