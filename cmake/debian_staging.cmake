# Run by CPack on the staged packages (CPACK_PRE_BUILD_SCRIPTS), one folder
# per package below CPACK_TEMPORARY_INSTALL_DIRECTORY: adds what Debian asks
# of every package (its copyright and changelog under
# /usr/share/doc/<package>/, manual pages compressed) and leaves the shared
# library's file to its runtime package alone.
set(top ${CPACK_TEMPORARY_INSTALL_DIRECTORY})

function(gzip_to source target)
    execute_process(COMMAND gzip -9nc ${source} OUTPUT_FILE ${target} RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "gzip ${source}: ${result}")
    endif()
endfunction()

# The copyright in Debian's machine-readable form: the licence's text,
# indented, a blank line written as " .".
file(READ ${CPACK_TARNWAD_SOURCE_DIR}/LICENSE licence)
string(REGEX REPLACE "^MIT License\n\n" "" licence "${licence}")
string(REGEX REPLACE "\n+$" "" licence "${licence}")
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" _ "${licence}")
set(holder "${CMAKE_MATCH_1}")
string(REGEX REPLACE "^Copyright[^\n]*\n\n" "" licence "${licence}")
string(REPLACE "\n\n" "\n.\n" licence "${licence}")
string(REPLACE "\n" "\n " licence "${licence}")
set(copyright "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: tarnwad

Files: *
Copyright: ${holder}
License: Expat
 ${licence}
")

string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
foreach(group tools library shared_library)
    string(TOUPPER ${group} upper)
    set(package ${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
    set(root ${top}/${group}${CPACK_PACKAGING_INSTALL_PREFIX})
    if(NOT EXISTS ${root})
        continue()
    endif()
    # The upstream licence's copy gives way to the copyright file.
    file(REMOVE ${root}/share/doc/tarnwad/LICENSE)
    file(GLOB left ${root}/share/doc/tarnwad/*)
    if(NOT left)
        file(REMOVE_RECURSE ${root}/share/doc/tarnwad)
    endif()
    set(doc ${root}/share/doc/${package})
    file(MAKE_DIRECTORY ${doc})
    file(WRITE ${doc}/copyright "${copyright}")
    file(WRITE ${top}/changelog.${group} "${package} (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium

  * Release ${CPACK_PACKAGE_VERSION}.

 -- ${CPACK_PACKAGE_CONTACT}  ${date}
")
    gzip_to(${top}/changelog.${group} ${doc}/changelog.gz)
    file(REMOVE ${top}/changelog.${group})

    file(GLOB_RECURSE pages ${root}/share/man/*.[1-9])
    foreach(page IN LISTS pages)
        gzip_to(${page} ${page}.gz)
        file(REMOVE ${page})
    endforeach()
endforeach()

# The development package keeps the shared library's link name alone; the
# runtime package's library is stripped as the programs are.
file(GLOB_RECURSE runtime ${top}/library/*/libtarnvfs.so.*)
if(runtime)
    file(REMOVE ${runtime})
endif()
file(GLOB_RECURSE runtime ${top}/shared_library/*/libtarnvfs.so.*)
foreach(library IN LISTS runtime)
    if(NOT IS_SYMLINK ${library})
        execute_process(COMMAND strip --strip-unneeded --remove-section=.comment
                                --remove-section=.note ${library} RESULT_VARIABLE result)
        if(NOT result EQUAL 0)
            message(FATAL_ERROR "strip ${library}: ${result}")
        endif()
    endif()
endforeach()
