# Makes the Debian packages of a build with cpack, checks what they say of
# themselves (names, version, dependencies, the library's SONAME) and which
# files each holds, unpacks them with dpkg-deb into a scratch root (nothing
# is installed on the machine), and builds and runs the outside consumer
# against that root. Run with cmake -P and:
#   BUILD_DIR     the kivfs build folder (built: cpack installs from it)
#   WORK_DIR      a scratch folder, emptied first
#   VERSION       the project's version
#   DPKG_DEB      the dpkg-deb program
#   OBJDUMP       an objdump that reads the build's shared libraries
#   EXPECT_MAN    true when the build installs the kivfs manual page
#   SOURCE_DIR, C_COMPILER, PKG_CONFIG, EXTRA_FLAGS  as for
#                 tests/consumer/check_consumer.cmake, which builds the host
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

# Stops unless `text` matches `pattern`, saying what was checked.
function(expect_match what text pattern)
    if(NOT text MATCHES "${pattern}")
        message(FATAL_ERROR "${what}: '${text}' does not match '${pattern}'")
    endif()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(debs ${WORK_DIR}/debs)
set(root ${WORK_DIR}/root)
file(MAKE_DIRECTORY ${debs} ${root})
execute_process(COMMAND cpack -G DEB -B ${debs} WORKING_DIRECTORY ${BUILD_DIR}
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cpack failed (${status}):\n${out}\n${err}")
endif()

# package -> the files it must hold (below usr/).
set(lib_package libkivfs0)
set(lib_files lib/libkivfs.so.0 lib/libkivIOStub.so.0 share/doc/kivfs/LICENSE)
set(dev_package libkivfs-dev)
set(dev_files include/kivfs.h include/kivIOStub.h lib/libkivfs.so lib/libkivIOStub.so
    lib/pkgconfig/kivfs.pc lib/cmake/kivfs/kivfsConfig.cmake)
set(tool_package kivfs)
set(tool_files bin/kivfs share/bash-completion/completions/kivfs)
if(EXPECT_MAN)
    list(APPEND tool_files share/man/man1/kivfs.1)
endif()

file(GLOB made RELATIVE ${debs} ${debs}/*.deb)
list(LENGTH made count)
if(NOT count EQUAL 3)
    message(FATAL_ERROR "expected three packages, cpack made: ${made}")
endif()
foreach(part lib dev tool)
    set(name ${${part}_package})
    file(GLOB deb ${debs}/${name}_${VERSION}_*.deb)
    if(NOT deb)
        message(FATAL_ERROR "no package ${name} ${VERSION} among: ${made}")
    endif()
    run(${DPKG_DEB} --field ${deb} Package)
    expect_match("${name}: Package" "${run_output}" "^${name}\n$")
    run(${DPKG_DEB} --field ${deb} Version)
    expect_match("${name}: Version" "${run_output}" "^${VERSION}\n$")
    run(${DPKG_DEB} --field ${deb} Depends)
    set(${part}_depends "${run_output}")
    set(${part}_deb ${deb})
    run(${DPKG_DEB} --contents ${deb})
    foreach(file ${${part}_files})
        expect_match("${name} holds ${file}" "${run_output}" " \\./usr/${file}( -> [^\n]+)?\n")
    endforeach()
    run(${DPKG_DEB} --extract ${deb} ${root})
endforeach()

# The library's package: named after its SONAME, depending on the system
# libraries it links (SQLite in every build; zziplib only with the zziplib
# reader), and telling programs linked with it where it lies.
run(${OBJDUMP} -p ${root}/usr/lib/libkivfs.so.0)
expect_match("the SONAME" "${run_output}" "SONAME +libkivfs\\.so\\.0\n")
expect_match("libkivfs0 depends" "${lib_depends}" "(^|, )libsqlite3-0 \\(")
run(${DPKG_DEB} --info ${lib_deb} shlibs)
expect_match("libkivfs0 shlibs" "${run_output}" "libkivfs 0 libkivfs0 ")
# The others need exactly this build's library.
string(REPLACE "." "\\." version_pattern "${VERSION}")
expect_match("libkivfs-dev depends" "${dev_depends}" "^libkivfs0 \\(= ${version_pattern}\\)")
expect_match("kivfs depends" "${tool_depends}" "libkivfs0 \\(= ${version_pattern}\\)")

# A host built against the unpacked files, through CMake and pkg-config.
run(${CMAKE_COMMAND} -DPREFIX=${root}/usr -DWORK_DIR=${WORK_DIR}/consumer
    -DSOURCE_DIR=${SOURCE_DIR} -DC_COMPILER=${C_COMPILER} -DPKG_CONFIG=${PKG_CONFIG}
    "-DEXTRA_FLAGS=${EXTRA_FLAGS}" -DEXPECT_MAN=${EXPECT_MAN}
    -P ${SOURCE_DIR}/check_consumer.cmake)
