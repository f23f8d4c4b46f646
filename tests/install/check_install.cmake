# Installs the build tree into a scratch prefix, then configures, builds and
# runs a small consumer project against it, through CMake and through
# pkg-config.
#
#   cmake -DBUILD_DIR=... -DPREFIX=... -DCONSUMER_SOURCE=... -DCONSUMER_BUILD=...
#         -DCXX=... -DCXX_FLAGS=... [-DGUI=1 -DDESKTOP_FILE_VALIDATE=...
#         -DDESKTOP_CHECK=check_desktop.py -DSAMPLE_WAD=...]
#         -P check_install.cmake
#
# With -DSHARED_FROM=<source tree>, BUILD_DIR is first made there as a build
# of the shared library alone, and the library's component is what is
# installed and checked; with -DTOOLCHAIN=<file> -DEMULATOR=<command> too,
# that is the Windows DLL, and the examples run through the emulator.
file(REMOVE_RECURSE ${PREFIX} ${CONSUMER_BUILD})
if(TOOLCHAIN)
    set(compiler -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN})
    set(exe .exe)
    separate_arguments(emulator UNIX_COMMAND "${EMULATOR}")
else()
    set(compiler -DCMAKE_CXX_COMPILER=${CXX})
    set(exe "")
    set(emulator "")
endif()

function(run)
    execute_process(COMMAND ${ARGV} RESULT_VARIABLE result OUTPUT_VARIABLE output
                    ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "failed (${result}): ${ARGV}\n${output}")
    endif()
    set(last_output "${output}" PARENT_SCOPE)
endfunction()

if(SHARED_FROM)
    run(${CMAKE_COMMAND} -S ${SHARED_FROM} -B ${BUILD_DIR} -DBUILD_SHARED_LIBS=ON
        -DTARNWAD_BUILD_TESTS=OFF -DTARNWAD_WERROR=ON -DCMAKE_BUILD_TYPE= ${compiler})
    run(${CMAKE_COMMAND} --build ${BUILD_DIR} --target tarnvfs_library -j 2)
    run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX} --component library)
    set(expected include/tarnvfs/tarnvfs.h share/doc/tarnwad/LICENSE)
else()
    run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX})
    set(expected bin/tarnwad include/tarnvfs/tarnvfs.h include/tarnvfs/version.h
                 include/tarnvfs/wad/wad_file_system.h include/tarnvfs/core/file_system_ref.h
                 share/man/man1/tarnwad.1 share/doc/tarnwad/LICENSE)
endif()

foreach(installed IN LISTS expected)
    if(NOT EXISTS ${PREFIX}/${installed})
        message(FATAL_ERROR "not installed: ${installed}")
    endif()
endforeach()
file(GLOB_RECURSE libraries RELATIVE ${PREFIX} ${PREFIX}/*/libtarnvfs*)
if(NOT libraries)
    message(FATAL_ERROR "the library is not installed")
endif()
# One library: no part of it is installed on its own.
file(GLOB_RECURSE parts ${PREFIX}/*/libtarnvfs_*)
if(parts)
    message(FATAL_ERROR "the library's parts are installed: ${parts}")
endif()
if(SHARED_FROM AND TOOLCHAIN)
    # A DLL, its import library, and the public API alone among its exports.
    foreach(installed IN ITEMS bin/libtarnvfs.dll lib/libtarnvfs.dll.a)
        if(NOT EXISTS ${PREFIX}/${installed})
            message(FATAL_ERROR "not installed: ${installed}")
        endif()
    endforeach()
    run(${OBJDUMP} -p ${PREFIX}/bin/libtarnvfs.dll)
    if(NOT last_output MATCHES "_ZN3vfs9LastErrorEv" OR last_output MATCHES "\\] _ZN3vfs4host")
        message(FATAL_ERROR "libtarnvfs.dll does not export its public API alone:\n${last_output}")
    endif()
elseif(SHARED_FROM)
    # The shared library carries its version in its name and exports the
    # public API alone.
    file(GLOB_RECURSE shared ${PREFIX}/*/libtarnvfs.so.${VERSION})
    if(NOT shared)
        message(FATAL_ERROR "no libtarnvfs.so.${VERSION} among ${libraries}")
    endif()
    run(readelf -d ${shared})
    if(NOT last_output MATCHES "SONAME.*libtarnvfs\\.so\\.${VERSION}")
        message(FATAL_ERROR "libtarnvfs lacks its soname:\n${last_output}")
    endif()
    run(nm -D --defined-only --format=posix ${shared})
    set(symbols "${last_output}")
    run(nm -D -C --defined-only ${shared})
    if(NOT last_output MATCHES "vfs::WadFileSystem::Open" OR NOT last_output MATCHES "vfs::LastError")
        message(FATAL_ERROR "libtarnvfs does not export its public API:\n${last_output}")
    endif()
    # Mangled: the library's own names are in namespace vfs ("3vfs"), and
    # the host layer ("3vfs4host") and other internals are not among them.
    string(REPLACE "\n" ";" symbols "${symbols}")
    foreach(symbol IN LISTS symbols)
        if(symbol STREQUAL "" OR (symbol MATCHES "^_Z(N|NK|TVN|TIN|TSN)3vfs"
           AND NOT symbol MATCHES "3vfs(4host|13BoundedString|14LzPrefixChains)"))
            continue()
        endif()
        message(FATAL_ERROR "libtarnvfs exports what is not its public API: ${symbol}")
    endforeach()
endif()
# Nothing lands in a generic folder, and nothing private is installed.
if(EXISTS ${PREFIX}/include/vfs OR EXISTS ${PREFIX}/include/tarnvfs/host/windows_api.h
   OR EXISTS ${PREFIX}/include/tarnvfs/codec/lz_prefix_chains.h)
    message(FATAL_ERROR "private headers are installed")
endif()
# Every public header compiles alone, against the installed tree only.
file(GLOB_RECURSE headers RELATIVE ${PREFIX}/include ${PREFIX}/include/tarnvfs/*.h)
foreach(header IN LISTS headers)
    file(WRITE ${CONSUMER_BUILD}/alone.cc "#include <${header}>\n")
    run(${CXX} -std=c++20 -fsyntax-only -I${PREFIX}/include ${CONSUMER_BUILD}/alone.cc)
endforeach()
if(NOT SHARED_FROM)
    run(${PREFIX}/bin/tarnwad --version)
endif()

# The desktop dialog: its program, its menu entry and the icon that names.
if(GUI)
    foreach(installed IN ITEMS bin/tarnwad-gui share/applications/tarnwad-gui.desktop
                              share/mime/packages/tarnwad.xml
                              share/icons/hicolor/48x48/apps/tarnwad-gui.png
                              share/icons/hicolor/256x256/apps/tarnwad-gui.png)
        if(NOT EXISTS ${PREFIX}/${installed})
            message(FATAL_ERROR "not installed: ${installed}")
        endif()
    endforeach()
    file(STRINGS ${PREFIX}/share/applications/tarnwad-gui.desktop entry)
    foreach(line IN ITEMS "Icon=tarnwad-gui" "Terminal=false")
        list(FIND entry "${line}" found)
        if(found EQUAL -1)
            message(FATAL_ERROR "the desktop entry lacks ${line}")
        endif()
    endforeach()
    if(DESKTOP_FILE_VALIDATE)
        run(${DESKTOP_FILE_VALIDATE} ${PREFIX}/share/applications/tarnwad-gui.desktop)
        if(NOT last_output STREQUAL "")
            message(FATAL_ERROR "desktop-file-validate: ${last_output}")
        endif()
    else()
        message(STATUS "desktop-file-validate not found: the desktop entry is not validated")
    endif()
    # A file manager takes a WAD archive for its type and opens it in the
    # dialog.
    if(DESKTOP_CHECK)
        run(/usr/bin/python3 ${DESKTOP_CHECK} ${PREFIX} ${SAMPLE_WAD})
    endif()
endif()

# The guide's examples, built by a project of their own: one writes an
# archive, the other reads an entry of it back, by a path relative to the
# current directory.
function(run_examples bin)
    run(${emulator} ${bin}/write_archive${exe} scratch.wad WORKING_DIRECTORY ${bin})
    run(${emulator} ${bin}/read_entry${exe} scratch.wad README.TXT WORKING_DIRECTORY ${bin})
    if(NOT last_output MATCHES "^An archive written with tarnvfs.\r?\n$")
        message(FATAL_ERROR "${bin}/read_entry printed: ${last_output}")
    endif()
    if(SHARED_FROM AND TOOLCHAIN)
        run(${OBJDUMP} -p ${bin}/read_entry${exe})
        if(NOT last_output MATCHES "DLL Name: libtarnvfs.dll")
            message(FATAL_ERROR "read_entry is not linked to the DLL:\n${last_output}")
        endif()
    elseif(SHARED_FROM)
        run(readelf -d ${bin}/read_entry)
        if(NOT last_output MATCHES "NEEDED.*libtarnvfs\\.so\\.${VERSION}")
            message(FATAL_ERROR "read_entry is not linked to the shared library:\n${last_output}")
        endif()
    endif()
endfunction()

set(examples ${CMAKE_CURRENT_LIST_DIR}/../../examples/library)
# The sanitizers' flags where the library carries their calls; otherwise
# the toolchain's own (which link MinGW programs statically).
set(consumer_flags "")
if(CXX_FLAGS)
    set(consumer_flags "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${CXX_FLAGS}")
endif()
# (A cross toolchain searches for packages below its own root alone: there
# the package is named by its folder.)
file(GLOB_RECURSE package_config ${PREFIX}/*/tarnvfsConfig.cmake)
get_filename_component(package_dir "${package_config}" DIRECTORY)
run(${CMAKE_COMMAND} -S ${CONSUMER_SOURCE} -B ${CONSUMER_BUILD}
    -DCMAKE_PREFIX_PATH=${PREFIX} -Dtarnvfs_DIR=${package_dir} ${compiler} -DEXAMPLES=${examples}
    ${consumer_flags})
run(${CMAKE_COMMAND} --build ${CONSUMER_BUILD})
if(SHARED_FROM AND TOOLCHAIN)
    # Windows finds a program's DLLs beside it.
    file(COPY ${PREFIX}/bin/libtarnvfs.dll DESTINATION ${CONSUMER_BUILD})
endif()
run_examples(${CONSUMER_BUILD})

# The same programs through pkg-config, where the host has it.
find_program(PKG_CONFIG pkg-config)
file(GLOB_RECURSE pc_files ${PREFIX}/*/tarnvfs.pc)
if(NOT pc_files)
    message(FATAL_ERROR "not installed: tarnvfs.pc")
endif()
if(PKG_CONFIG AND NOT CXX_FLAGS AND NOT TOOLCHAIN)
    list(GET pc_files 0 pc_file)
    get_filename_component(pc_dir ${pc_file} DIRECTORY)
    set(ENV{PKG_CONFIG_PATH} ${pc_dir})
    run(${PKG_CONFIG} --cflags --libs tarnvfs)
    string(STRIP "${last_output}" flags)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    set(bin ${CONSUMER_BUILD}/pkg-config)
    file(MAKE_DIRECTORY ${bin})
    foreach(example write_archive read_entry)
        run(${CXX} -std=c++20 ${examples}/${example}.cc ${flags} -o ${bin}/${example})
    endforeach()
    set(ENV{LD_LIBRARY_PATH} ${PREFIX}/lib)
    run_examples(${bin})
    unset(ENV{LD_LIBRARY_PATH})
endif()
message(STATUS "installed tree builds and runs the guide's examples")
