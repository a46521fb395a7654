# Installs the build into a fresh prefix, then builds and runs the outside
# consumer against it twice: once through find_package(kivfs), once through
# pkg-config. Run with cmake -P and:
#   BUILD_DIR     the kivfs build folder to install
#   SOURCE_DIR    this folder (the consumer project)
#   WORK_DIR      a scratch folder, emptied first
#   C_COMPILER    the C compiler
#   PKG_CONFIG    the pkg-config program
#   EXTRA_FLAGS   compile and link flags the library was built with that a
#                 consumer must share (the sanitizers), possibly empty
#   EXPECT_MAN    true when the build installs the kivfs manual page
cmake_minimum_required(VERSION 3.19)

# Runs a command and stops with its output when it fails.
function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT status EQUAL 0)
        string(REPLACE ";" " " shown "${ARGN}")
        message(FATAL_ERROR "failed (${status}): ${shown}\n${out}\n${err}")
    endif()
    set(run_output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/run-cmake ${WORK_DIR}/run-pkgconfig)
set(prefix ${WORK_DIR}/prefix)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# The installed tree: versioned libraries, headers, package files, program.
file(GLOB_RECURSE pc_file ${prefix}/*/kivfs.pc)
file(GLOB_RECURSE config_file ${prefix}/*/kivfsConfig.cmake)
file(GLOB_RECURSE sonames ${prefix}/*/libkivfs.so.0 ${prefix}/*/libkivIOStub.so.0)
list(LENGTH sonames soname_count)
if(NOT pc_file OR NOT config_file OR NOT soname_count EQUAL 2
   OR NOT EXISTS ${prefix}/include/kivfs.h OR NOT EXISTS ${prefix}/include/kivIOStub.h
   OR NOT EXISTS ${prefix}/bin/kivfs
   OR NOT EXISTS ${prefix}/share/bash-completion/completions/kivfs)
    message(FATAL_ERROR "incomplete installation in ${prefix}")
endif()
if(EXPECT_MAN AND NOT EXISTS ${prefix}/share/man/man1/kivfs.1)
    message(FATAL_ERROR "no manual page in ${prefix}")
endif()
run(${prefix}/bin/kivfs --version)

# 1. CMake's find_package.
run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/cmake-build
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_C_COMPILER=${C_COMPILER}
    "-DCMAKE_C_FLAGS=${EXTRA_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${EXTRA_FLAGS}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/cmake-build)
run(${WORK_DIR}/cmake-build/consumer ${WORK_DIR}/run-cmake)

# 2. pkg-config, with the library folder on the program's run path.
get_filename_component(pc_dir ${pc_file} DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
run(${PKG_CONFIG} --cflags --libs kivfs)
separate_arguments(pc_flags UNIX_COMMAND "${run_output}")
run(${PKG_CONFIG} --variable=libdir kivfs)
string(STRIP "${run_output}" libdir)
separate_arguments(extra UNIX_COMMAND "${EXTRA_FLAGS}")
run(${C_COMPILER} -std=c99 -Wall -Wextra -Werror -pedantic ${extra}
    ${SOURCE_DIR}/consumer.c ${pc_flags} -Wl,-rpath,${libdir} -o ${WORK_DIR}/consumer-pkgconfig)
run(${WORK_DIR}/consumer-pkgconfig ${WORK_DIR}/run-pkgconfig)
