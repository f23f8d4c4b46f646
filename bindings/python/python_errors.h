// The module's exceptions, and how a failure the library reported is raised
// as one.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

#include "vfs/core/last_error.h"

namespace tarnvfs_python {

// The exception classes, made once when the module is imported.
struct ExceptionTypes {
    pybind11::object error;            // tarnvfs.Error, the base of the others
    pybind11::object archiveError;     // an archive that does not open
    pybind11::object archiveNotFound;  // ... because its file does not exist
    pybind11::object entryError;       // an entry that does not open or read
    pybind11::object unpackError;      // an unpack that cannot start
    pybind11::object packError;        // a pack that writes no archive
};

// Makes the classes, adds them to `module` and keeps them for Raise.
void AddExceptionTypes(pybind11::module_& module);
const ExceptionTypes& Exceptions();

// Raises an exception of `type` with `message` and `code` as its `code`
// attribute.
[[noreturn]] void Raise(const pybind11::object& type, const std::string& message,
                        vfs::ErrorCode code = vfs::ErrorCode::NONE);

}  // namespace tarnvfs_python
