// Names and paths between Python and the library: the library's names are
// bytes, Python's are str.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

namespace tarnvfs_python {

// A name from an archive or the disk as str: UTF-8, with bytes that are not
// UTF-8 kept as surrogates (as os.fsdecode keeps them), so that it gives
// back the same bytes when handed to the module again.
pybind11::str NameText(const std::string& bytes);

// A message as str: UTF-8, with bytes that are not UTF-8 shown as \xNN.
pybind11::str MessageText(const std::string& bytes);

// The bytes of a path inside an archive given as str, bytes or
// os.PathLike.
std::string NameBytes(const pybind11::handle& name);

// The absolute host path of `path` (str, bytes or os.PathLike): a relative
// path is taken against the current directory now, as Python takes it (the
// library alone would take it against the executable's directory).
std::string HostPath(const pybind11::handle& path);

}  // namespace tarnvfs_python
