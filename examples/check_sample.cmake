# Fails when examples/sample.wad differs from what make-sample-wad writes.
# EMULATOR runs a cross-built generator (Wine for Windows builds).
separate_arguments(emulator UNIX_COMMAND "${EMULATOR}")
execute_process(COMMAND ${emulator} ${GENERATOR} ${SCRATCH} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "make-sample-wad failed")
endif()
file(SHA256 ${SCRATCH} made)
file(SHA256 ${COMMITTED} committed)
if(NOT made STREQUAL committed)
    message(FATAL_ERROR "examples/sample.wad is out of date: rebuild it with the sample-wad target")
endif()
