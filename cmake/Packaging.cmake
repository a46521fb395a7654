# Packages of an installed kivfs, made by `cpack` in a build folder:
#
#   Linux:   `cpack -G DEB` makes three Debian packages from the install
#            components: libkivfs0 (the libraries, named after their SONAME),
#            libkivfs-dev (headers, the linker's links, the CMake package and
#            kivfs.pc) and kivfs (the program, its manual page and its bash
#            completion). tests/packages checks them.
#   Windows: `cpack` (ZIP) makes one zip of everything for the build's
#            architecture, kivfs-VERSION-win32.zip or -win64.zip: the DLLs,
#            import libraries, headers, kivfs.exe, the README and the licence.
set(CPACK_PACKAGE_NAME kivfs)
set(CPACK_PACKAGE_VENDOR "the kivfs developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "One file-system interface over real directories, zip archives and SQLite stores")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_COMPONENTS_ALL lib dev)
if(KIVFS_BUILD_TOOL)
    list(APPEND CPACK_COMPONENTS_ALL tool)
endif()

if(WIN32)
    # One zip holding every component, its files at the top of the zip.
    set(CPACK_GENERATOR ZIP)
    set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
    set(CPACK_MONOLITHIC_INSTALL ON)
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_DEB_COMPONENT_INSTALL ON)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "the kivfs developers")
    # Dependencies on system libraries come from dpkg-shlibdeps; the
    # program's own library is found in this build while it looks.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
    set(KIVFS_LIB_PACKAGE libkivfs${PROJECT_VERSION_MAJOR})
    set(KIVFS_SAME_LIB "${KIVFS_LIB_PACKAGE} (= ${PROJECT_VERSION})")

    set(CPACK_DEBIAN_LIB_PACKAGE_NAME ${KIVFS_LIB_PACKAGE})
    set(CPACK_DEBIAN_LIB_PACKAGE_SECTION libs)
    # A shlibs file (only the library package has shared libraries) tells
    # dpkg-shlibdeps of programs built against it which package holds
    # libkivfs.so.0.
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
    set(CPACK_COMPONENT_LIB_DESCRIPTION
        "kivfs library: one file-system interface over folders, zip archives and SQLite stores\n"
        "A C interface that opens, reads, writes and lists files in real directories,\n"
        "zip archives (read only) and stores keeping a tree of files in one SQLite\n"
        "database. Also holds the stand-in host I/O stub library libkivIOStub.")

    set(CPACK_DEBIAN_DEV_PACKAGE_NAME libkivfs-dev)
    set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
    set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS ${KIVFS_SAME_LIB})
    set(CPACK_COMPONENT_DEV_DESCRIPTION
        "kivfs library: development files\n"
        "The headers kivfs.h and kivIOStub.h, the links the linker takes, the CMake\n"
        "package (find_package(kivfs)) and the pkg-config file kivfs.pc.")

    set(CPACK_DEBIAN_TOOL_PACKAGE_NAME kivfs)
    set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
    set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS ${KIVFS_SAME_LIB})
    set(CPACK_COMPONENT_TOOL_DESCRIPTION
        "look inside, fill and unpack folders, zip archives and kivfs stores\n"
        "The kivfs command lists, reads and writes files in real directories, zip\n"
        "archives and kivfs stores, packs trees into stores or zip archives and\n"
        "unpacks them; with its manual page and bash completion.")
endif()

include(CPack)
