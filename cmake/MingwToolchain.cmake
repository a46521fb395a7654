# Shared part of the mingw-w64 toolchain files: Debian's cross compilers of
# the -posix flavour (its C++ runtime has std::thread and std::mutex) for
# KIVFS_MINGW_ARCH (i686 or x86_64), set by the including file.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${KIVFS_MINGW_ARCH})
set(KIVFS_MINGW_TRIPLET ${KIVFS_MINGW_ARCH}-w64-mingw32)

set(CMAKE_C_COMPILER ${KIVFS_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KIVFS_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KIVFS_MINGW_TRIPLET}-windres)

# Libraries and headers come from the mingw sysroot only, never from the
# build machine's own /usr/include or /usr/lib; programs from the build
# machine.
set(CMAKE_FIND_ROOT_PATH /usr/${KIVFS_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
