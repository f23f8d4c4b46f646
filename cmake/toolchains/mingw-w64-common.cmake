# What both MinGW-w64 toolchains share; TARNWAD_MINGW_TRIPLE names the target.
# The compilers of the "posix" thread model: they give std::thread and the
# other threading parts of the standard library.
set(CMAKE_C_COMPILER ${TARNWAD_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARNWAD_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TARNWAD_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TARNWAD_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs, and the library's own DLL, that need no DLLs besides Windows'
# own: the C and C++ runtimes and zlib linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(ZLIB_USE_STATIC_LIBS ON)

# Tests run under Wine, quietly.
find_program(TARNWAD_WINE wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/env WINEDEBUG=-all ${TARNWAD_WINE})
