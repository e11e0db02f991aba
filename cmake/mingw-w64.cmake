# Cross-building for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64).
# The posix-threads flavour of the compiler is the one with std::thread.
#   cmake -S DIR -B BUILD -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# A Qt 6 built for MinGW is not in Debian; point CMAKE_PREFIX_PATH at one to
# cross-build more than the Qt-free parts.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs that run under Wine or on a bare Windows need no MinGW DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
