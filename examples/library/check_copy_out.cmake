# Copies maps/ of the sample archive into a fresh directory with copy_out and
# checks what it wrote: the four files of maps/ beneath it, whole, and no
# temporary file left.
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
execute_process(COMMAND ${COPY_OUT} ${SAMPLE} maps ${OUT} RESULT_VARIABLE status
    OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "copy_out exited with ${status}:\n${output}${errors}")
endif()
file(GLOB_RECURSE written LIST_DIRECTORIES false RELATIVE ${OUT} ${OUT}/*)
list(SORT written)
set(expected level1/heights.bin level1/layout.txt level2/layout.txt level2/scripts/intro.lua)
if(NOT written STREQUAL expected)
    message(FATAL_ERROR "copy_out wrote [${written}], not [${expected}]")
endif()
file(READ ${OUT}/level2/scripts/intro.lua text)
file(SIZE ${OUT}/level1/heights.bin size)
if(NOT text STREQUAL "print('welcome to level 2')\n" OR NOT size EQUAL 20000)
    message(FATAL_ERROR "copy_out wrote other bytes than the entries hold")
endif()
