# The dependencies of a Windows build, which Debian ships only partly:
#   zlib     the mingw-w64 build of libz-mingw-w64-dev, linked statically;
#   SQLite   compiled from the amalgamation into the library (the same 3.40.1
#            code as Debian's Linux package), or from a folder given in
#            KIVFS_SQLITE_SOURCE_DIR (CMake or environment variable);
#   zip      the library's own reader (src/zip/kzip, over zlib) unless
#            KIVFS_ZZIPLIB_PREFIX names an install prefix of a Windows build
#            of zziplib (MSYS2's mingw-w64-*-zziplib, vcpkg's zziplib), which
#            is then linked statically.
# Header-only dependencies get a private include folder: the build machine's
# /usr/include holds glibc headers that break a Windows build.

set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)
find_package(Threads REQUIRED)

# SQLite: a folder with sqlite3.c and sqlite3.h, extracted from the archive
# into the build folder unless one is given.
set(KIVFS_SQLITE_SOURCE_DIR "$ENV{KIVFS_SQLITE_SOURCE_DIR}" CACHE PATH
    "Folder holding sqlite3.c and sqlite3.h (empty: extract KIVFS_SQLITE_ARCHIVE)")
set(_kivfs_sqlite_archive_default "")
foreach(_dir ${PROJECT_SOURCE_DIR}/../shared/deps /work/shared/deps)
    if(NOT _kivfs_sqlite_archive_default AND EXISTS ${_dir}/sqlite-amalgamation-3.40.1.tar.gz)
        set(_kivfs_sqlite_archive_default ${_dir}/sqlite-amalgamation-3.40.1.tar.gz)
    endif()
endforeach()
set(KIVFS_SQLITE_ARCHIVE "${_kivfs_sqlite_archive_default}" CACHE FILEPATH
    "The SQLite amalgamation archive extracted when KIVFS_SQLITE_SOURCE_DIR is empty")
if(NOT KIVFS_SQLITE_SOURCE_DIR)
    if(NOT EXISTS "${KIVFS_SQLITE_ARCHIVE}")
        message(FATAL_ERROR "SQLite for Windows: set KIVFS_SQLITE_SOURCE_DIR or KIVFS_SQLITE_ARCHIVE")
    endif()
    set(_kivfs_sqlite_root ${PROJECT_BINARY_DIR}/_deps/sqlite)
    if(NOT EXISTS ${_kivfs_sqlite_root}/sqlite-amalgamation-3.40.1/sqlite3.c)
        file(ARCHIVE_EXTRACT INPUT ${KIVFS_SQLITE_ARCHIVE} DESTINATION ${_kivfs_sqlite_root})
    endif()
    set(KIVFS_SQLITE_FOLDER ${_kivfs_sqlite_root}/sqlite-amalgamation-3.40.1)
else()
    set(KIVFS_SQLITE_FOLDER ${KIVFS_SQLITE_SOURCE_DIR})
endif()
add_library(kivfs_sqlite3 STATIC ${KIVFS_SQLITE_FOLDER}/sqlite3.c)
target_include_directories(kivfs_sqlite3 SYSTEM PUBLIC ${KIVFS_SQLITE_FOLDER})
# Built as Debian builds its package, less what a DLL loaded by a host has
# no use for: extensions loaded at run time.
target_compile_definitions(kivfs_sqlite3 PRIVATE SQLITE_OMIT_LOAD_EXTENSION SQLITE_DQS=0)
set_target_properties(kivfs_sqlite3 PROPERTIES POSITION_INDEPENDENT_CODE ON)
if(CMAKE_C_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(kivfs_sqlite3 PRIVATE -w)
endif()
add_library(SQLite::SQLite3 ALIAS kivfs_sqlite3)
# The version, as find_package(SQLite3) tells it on Linux (kivfs --version).
file(STRINGS ${KIVFS_SQLITE_FOLDER}/sqlite3.h _kivfs_sqlite_version REGEX "^#define SQLITE_VERSION +\"")
string(REGEX REPLACE ".*\"(.*)\".*" "\\1" SQLite3_VERSION "${_kivfs_sqlite_version}")

# zziplib: optional; the own reader serves without it.
set(KIVFS_ZZIPLIB_PREFIX "" CACHE PATH
    "Install prefix of a Windows build of zziplib (include/zzip, lib); empty: the own zip reader")
set(KIVFS_ZIP_BACKEND ON)
set(KIVFS_ZIP_KZIP ON)
if(KIVFS_ZZIPLIB_PREFIX)
    find_path(KIVFS_ZZIP_INCLUDE_DIR zzip/lib.h PATHS ${KIVFS_ZZIPLIB_PREFIX}/include
              NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    # The static archive, so that kivfs.dll needs no zziplib DLL beside it.
    find_library(KIVFS_ZZIP_LIBRARY NAMES libzzip.a libzzip-0.a libzziplib.a zzip zziplib zzip-0
                 PATHS ${KIVFS_ZZIPLIB_PREFIX}/lib NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    if(NOT KIVFS_ZZIP_INCLUDE_DIR OR NOT KIVFS_ZZIP_LIBRARY)
        message(FATAL_ERROR "KIVFS_ZZIPLIB_PREFIX=${KIVFS_ZZIPLIB_PREFIX} holds no zzip/lib.h and zzip library")
    endif()
    add_library(kivfs_zziplib INTERFACE)
    target_include_directories(kivfs_zziplib SYSTEM INTERFACE ${KIVFS_ZZIP_INCLUDE_DIR})
    target_link_libraries(kivfs_zziplib INTERFACE ${KIVFS_ZZIP_LIBRARY} ZLIB::ZLIB)
    add_library(PkgConfig::ZZIP ALIAS kivfs_zziplib)
    set(KIVFS_ZIP_KZIP OFF)
    set(ZZIP_FOUND ON)
    set(ZZIP_VERSION "(KIVFS_ZZIPLIB_PREFIX)")
else()
    set(ZZIP_VERSION "not used (own zip reader)")
endif()

# CLI11, header only: its headers copied into a folder of their own.
set(KIVFS_CLI11_INCLUDE /usr/include CACHE PATH "Folder holding CLI/CLI.hpp (CLI11)")
if(EXISTS ${KIVFS_CLI11_INCLUDE}/CLI/CLI.hpp)
    file(COPY ${KIVFS_CLI11_INCLUDE}/CLI DESTINATION ${PROJECT_BINARY_DIR}/_deps/cli11/include)
    add_library(kivfs_cli11 INTERFACE)
    target_include_directories(kivfs_cli11 SYSTEM INTERFACE ${PROJECT_BINARY_DIR}/_deps/cli11/include)
    add_library(CLI11::CLI11 ALIAS kivfs_cli11)
endif()
