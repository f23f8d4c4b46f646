# The command-line tool as built for Windows, run under EMULATOR: every entry
# of the sample archive that `cat` writes to standard output must be the very
# bytes that `unpack` writes to disk (no line ends turned into "\r\n" on the
# way), and `verify` must find the archive intact.
#
#   cmake -DEMULATOR=... -DTARNWAD=tarnwad.exe -DARCHIVE=sample.wad -DSCRATCH=dir
#         -P check_windows_tool.cmake
separate_arguments(emulator UNIX_COMMAND "${EMULATOR}")
file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH})

function(tool)
    execute_process(COMMAND ${emulator} ${TARNWAD} ${ARGN} RESULT_VARIABLE status
                    ERROR_VARIABLE errors)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "tarnwad ${ARGN} failed (${status}): ${errors}")
    endif()
endfunction()

tool(verify ${ARCHIVE})
tool(unpack --no-probe -q -o ${SCRATCH}/out ${ARCHIVE})
foreach(entry IN ITEMS groundtile.png readme.txt maps/level1/layout.txt maps/level1/heights.bin
                       maps/level2/layout.txt sounds/wind.txt sounds/silence.raw)
    string(MAKE_C_IDENTIFIER ${entry} name)
    execute_process(COMMAND ${emulator} ${TARNWAD} cat ${ARCHIVE} ${entry}
                    OUTPUT_FILE ${SCRATCH}/${name} RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "tarnwad cat ${entry} failed (${status})")
    endif()
    file(SHA256 ${SCRATCH}/${name} written)
    file(SHA256 ${SCRATCH}/out/${entry} unpacked)
    if(NOT written STREQUAL unpacked)
        file(SIZE ${SCRATCH}/${name} size)
        message(FATAL_ERROR "tarnwad cat ${entry} wrote other bytes (${size}) than unpack")
    endif()
endforeach()
