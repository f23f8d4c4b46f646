#include "python_text.h"

namespace py = pybind11;

namespace tarnvfs_python {

namespace {

py::str Decode(const std::string& bytes, const char* errors) {
    PyObject* text =
        PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()), errors);
    if (text == nullptr) {
        throw py::error_already_set();
    }
    return py::reinterpret_steal<py::str>(text);
}

}  // namespace

py::str NameText(const std::string& bytes) {
    return Decode(bytes, "surrogateescape");
}

py::str MessageText(const std::string& bytes) {
    return Decode(bytes, "backslashreplace");
}

std::string NameBytes(const py::handle& name) {
    // str and bytes directly (the common case, once per read); the rest as
    // os.fsencode takes it.
    if (PyBytes_Check(name.ptr())) {
        return name.cast<std::string>();
    }
    if (PyUnicode_Check(name.ptr())) {
        py::object bytes = py::reinterpret_steal<py::object>(PyUnicode_EncodeFSDefault(name.ptr()));
        if (!bytes) {
            throw py::error_already_set();
        }
        return bytes.cast<std::string>();
    }
    py::object os = py::module_::import("os");
    return os.attr("fsencode")(name).cast<std::string>();
}

std::string HostPath(const py::handle& path) {
    py::object os = py::module_::import("os");
    return os.attr("path").attr("abspath")(os.attr("fsencode")(path)).cast<std::string>();
}

}  // namespace tarnvfs_python
