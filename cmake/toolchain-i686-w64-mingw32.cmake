# Cross build for Windows (i686) with Debian's mingw-w64 compilers.
set(KIVFS_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
