#include "python_errors.h"

#include "python_text.h"

namespace py = pybind11;

namespace tarnvfs_python {

namespace {

// Kept for the life of the process: exception classes are never freed.
ExceptionTypes* types = nullptr;

py::object NewType(py::module_& module, const char* name, const char* doc, py::handle bases) {
    const std::string qualified = std::string("tarnvfs.") + name;
    PyObject* type = PyErr_NewExceptionWithDoc(qualified.c_str(), doc, bases.ptr(), nullptr);
    if (type == nullptr) {
        throw py::error_already_set();
    }
    py::object result = py::reinterpret_steal<py::object>(type);
    module.attr(name) = result;
    return result;
}

}  // namespace

void AddExceptionTypes(py::module_& module) {
    types = new ExceptionTypes();
    types->error = NewType(module, "Error",
                           "Base of the module's exceptions. `code` is the library's "
                           "ErrorCode for the failure (ErrorCode.NONE when it gave none).",
                           PyExc_Exception);
    types->archiveError =
        NewType(module, "ArchiveError", "An archive that does not open; the message says why.",
                types->error);
    types->archiveNotFound =
        NewType(module, "ArchiveNotFoundError", "An archive whose file does not exist.",
                py::make_tuple(types->archiveError, py::handle(PyExc_FileNotFoundError)));
    types->entryError = NewType(module, "EntryError",
                                "An entry that does not open or read in full; the message "
                                "gives the reason every command gives.",
                                types->error);
    types->unpackError = NewType(module, "UnpackError",
                                 "An unpack that cannot start (its output directory cannot be "
                                 "made or opened); nothing was written.",
                                 types->error);
    types->packError = NewType(module, "PackError",
                               "A pack that wrote no archive; the message says why.", types->error);
}

const ExceptionTypes& Exceptions() {
    return *types;
}

void Raise(const py::object& type, const std::string& message, vfs::ErrorCode code) {
    py::object error = type(MessageText(message));
    error.attr("code") = py::cast(code);
    PyErr_SetObject(type.ptr(), error.ptr());
    throw py::error_already_set();
}

}  // namespace tarnvfs_python
