# Writes the kivfs manual page with help2man. Run with cmake -P and:
#   KIVFS     the kivfs program
#   HELP2MAN  the help2man program
#   OUTPUT    the page to write (kivfs.1)
# The page holds the program's --help; a COMMANDS section adds each
# command's own --help, the commands being those the program's help lists.
cmake_minimum_required(VERSION 3.19)

execute_process(COMMAND ${KIVFS} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${KIVFS} --help failed")
endif()
# CLI11 lists the commands under "SUBCOMMANDS:", one per line, indented.
string(REGEX REPLACE ".*SUBCOMMANDS:\n" "" listed "${help}")
string(REGEX MATCHALL "\n?  [a-z]+ " names "${listed}")
set(section "[COMMANDS]\n")
foreach(name ${names})
    string(STRIP "${name}" command)
    execute_process(COMMAND ${KIVFS} ${command} --help OUTPUT_VARIABLE text)
    # Roff reads a leading "." or "'" as a request and "\" as an escape.
    string(REPLACE "\\" "\\e" text "${text}")
    string(REGEX REPLACE "\n([.'])" "\n\\\\&\\1" text "${text}")
    string(APPEND section ".SS ${command}\n.nf\n${text}.fi\n")
endforeach()
get_filename_component(dir ${OUTPUT} DIRECTORY)
file(WRITE ${dir}/kivfs-commands.h2m "${section}")
execute_process(COMMAND ${HELP2MAN} --no-info --name "look inside and fill kivfs containers"
                        --include ${dir}/kivfs-commands.h2m --output ${OUTPUT} ${KIVFS}
                RESULT_VARIABLE status ERROR_VARIABLE err)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "help2man failed: ${err}")
endif()
