# A fresh folder for the demo host: files/ to fill and pack.zip made from
# the example pack (cmake -E tar, so that no zip program is needed).
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/files)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${WORK}/pack.zip --format=zip .
                WORKING_DIRECTORY ${PACK_SOURCE} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "could not zip ${PACK_SOURCE}")
endif()
