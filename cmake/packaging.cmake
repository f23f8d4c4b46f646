# Debian packages, through CPack's DEB generator (scripts/package-debian
# drives it):
#
#   tarnwad         the tool, the dialog, the man page, shell completions,
#                   the desktop entry, its icons and the WAD archives' MIME
#                   type (the tools link the library statically)
#   libtarnvfsX.Y   the shared library, named after its soname
#   libtarnvfs-dev  headers, the static library and the shared library's
#                   link name, the CMake package and tarnvfs.pc
#
# One build gives either a static or a shared library, so the packages are
# made from two: this one (static, tools and dialog) and a build of the
# shared library alone named by TARNWAD_PACKAGE_SHARED_BUILD. Both install
# their `library` component into the development package, the shared one
# last, so that its CMake targets and pkg-config file (which link the shared
# library) are the ones packaged, beside libtarnvfs.a.
if(WIN32)
    return()
endif()

set(TARNWAD_PACKAGE_SHARED_BUILD "" CACHE PATH
    "A build of the shared library alone (-DBUILD_SHARED_LIBS=ON) whose library goes into the Debian packages")
set(tarnvfs_soversion ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})

# In the shared build: the library file alone once more, as the runtime
# package's own component.
if(BUILD_SHARED_LIBS)
    install(FILES $<TARGET_FILE:tarnvfs_library> $<TARGET_SONAME_FILE:tarnvfs_library>
            DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT shared_library)
endif()

set(CPACK_PACKAGE_NAME tarnwad)
set(CPACK_PACKAGE_VENDOR "The tarnwad authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The tarnwad authors <maintainers@users.noreply.c-seed-efa1da42.example>")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# The tool's package: the components without a name of their own, and the
# shell completions.
set(CPACK_COMPONENT_UNSPECIFIED_GROUP tools)
set(CPACK_COMPONENT_COMPLETION_GROUP tools)
set(CPACK_COMPONENT_LIBRARY_GROUP library)
set(CPACK_COMPONENT_SHARED_LIBRARY_GROUP shared_library)
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME tarnwad)
set(CPACK_DEBIAN_TOOLS_DESCRIPTION
    "Unpacks the WAD archives of the game Tarnhollow
tarnwad unpacks, lists, verifies, packs and edits the WAD archives of the
game Tarnhollow from scripts; tarnwad-gui is its desktop dialog, which
file managers offer for .wad files.")
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
# `tarnwad mount` as a user other than root needs fusermount3.
set(CPACK_DEBIAN_TOOLS_PACKAGE_RECOMMENDS fuse3)

set(CPACK_DEBIAN_SHARED_LIBRARY_PACKAGE_NAME libtarnvfs${tarnvfs_soversion})
set(CPACK_DEBIAN_SHARED_LIBRARY_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_SHARED_LIBRARY_DESCRIPTION
    "Virtual file system over directories and Tarnhollow WAD archives
tarnvfs gives one file-system interface over host directories and over
the inside of the WAD archives of the game Tarnhollow. This package holds
the shared library.")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# The system's library cache is brought up to date by a trigger.
file(WRITE ${PROJECT_BINARY_DIR}/debian/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_SHARED_LIBRARY_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/triggers)
set(CPACK_DEBIAN_SHARED_LIBRARY_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME libtarnvfs-dev)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_LIBRARY_DESCRIPTION
    "Virtual file system over Tarnhollow WAD archives (development files)
tarnvfs gives one file-system interface over host directories and over
the inside of the WAD archives of the game Tarnhollow. This package holds
its headers, the static library, its CMake package and pkg-config file.")
# The headers and the static library name zlib, libdeflate and libcrypto.
set(CPACK_DEBIAN_LIBRARY_PACKAGE_DEPENDS
    "libtarnvfs${tarnvfs_soversion} (= ${PROJECT_VERSION}), zlib1g-dev, libdeflate-dev, libssl-dev")

# Which components each build installs (CPACK_COMPONENTS_<third field>).
if(TARNWAD_PACKAGE_SHARED_BUILD)
    set(CPACK_INSTALL_CMAKE_PROJECTS
        "${PROJECT_BINARY_DIR};tarnwad;static;/"
        "${TARNWAD_PACKAGE_SHARED_BUILD};tarnwad;shared;/")
    set(CPACK_COMPONENTS_STATIC Unspecified completion library)
    set(CPACK_COMPONENTS_SHARED library shared_library)
    set(CPACK_COMPONENTS_ALL Unspecified completion library shared_library)
else()
    set(CPACK_COMPONENTS_ALL Unspecified completion)
endif()

# What Debian asks of every package beyond the files: its copyright and
# changelog, compressed manual pages; the runtime library apart from the
# development package.
set(CPACK_TARNWAD_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_TARNWAD_SOVERSION ${tarnvfs_soversion})
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian_staging.cmake)

include(CPack)
