// TARNVFS_API marks what the library exports: its public classes and
// functions. Built as a shared library, nothing else is visible outside it
// (the rest is compiled with hidden visibility). A program that uses the
// Windows DLL defines TARNVFS_DLL (the package's CMake target and pkg-config
// file do), so that the library's data and classes are imported from it.
#pragma once

#if defined(_WIN32)
#if defined(TARNVFS_BUILDING_DLL)
#define TARNVFS_API __declspec(dllexport)
#elif defined(TARNVFS_DLL)
#define TARNVFS_API __declspec(dllimport)
#else
#define TARNVFS_API
#endif
#else
#define TARNVFS_API __attribute__((visibility("default")))
#endif
