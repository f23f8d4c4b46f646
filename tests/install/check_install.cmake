# Installs the build tree into a scratch prefix, then configures, builds and
# runs a small consumer project against it.
#
#   cmake -DBUILD_DIR=... -DPREFIX=... -DCONSUMER_SOURCE=... -DCONSUMER_BUILD=...
#         -DCXX=... -DCXX_FLAGS=... [-DGUI=1 -DDESKTOP_FILE_VALIDATE=...]
#         -P check_install.cmake
file(REMOVE_RECURSE ${PREFIX} ${CONSUMER_BUILD})

function(run)
    execute_process(COMMAND ${ARGV} RESULT_VARIABLE result OUTPUT_VARIABLE output
                    ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "failed (${result}): ${ARGV}\n${output}")
    endif()
    set(last_output "${output}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX})

foreach(installed IN ITEMS bin/tarnwad include/vfs/wad/wad_file_system.h
                          include/vfs/core/file_system_ref.h share/man/man1/tarnwad.1)
    if(NOT EXISTS ${PREFIX}/${installed})
        message(FATAL_ERROR "not installed: ${installed}")
    endif()
endforeach()
run(${PREFIX}/bin/tarnwad --version)

# The desktop dialog: its program, its menu entry and the icon that names.
if(GUI)
    foreach(installed IN ITEMS bin/tarnwad-gui share/applications/tarnwad-gui.desktop
                              share/icons/hicolor/48x48/apps/tarnwad-gui.png
                              share/icons/hicolor/256x256/apps/tarnwad-gui.png)
        if(NOT EXISTS ${PREFIX}/${installed})
            message(FATAL_ERROR "not installed: ${installed}")
        endif()
    endforeach()
    file(STRINGS ${PREFIX}/share/applications/tarnwad-gui.desktop entry)
    foreach(line IN ITEMS "Exec=tarnwad-gui" "Icon=tarnwad-gui" "Terminal=false")
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
endif()

run(${CMAKE_COMMAND} -S ${CONSUMER_SOURCE} -B ${CONSUMER_BUILD}
    -DCMAKE_PREFIX_PATH=${PREFIX} -DCMAKE_CXX_COMPILER=${CXX}
    "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${CXX_FLAGS}")
run(${CMAKE_COMMAND} --build ${CONSUMER_BUILD})
run(${CONSUMER_BUILD}/consumer ${CONSUMER_BUILD}/scratch.wad)
if(NOT last_output STREQUAL "ok\n")
    message(FATAL_ERROR "the consumer printed: ${last_output}")
endif()
message(STATUS "installed tree builds and runs a consumer")
