# Cross-compiles 32-bit Windows binaries with mingw-w64 (posix threads).
#
# The posix model links winpthreads into every binary that throws or uses
# the standard threads: it takes a thread-local slot on each load that it
# never gives back and allocates its locks and one-time initialisations
# lazily, without a way to fail. The module raises nothing and links none of
# it (cmake/CheckModuleRuntime.cmake). The win32 model has neither, but in
# GCC 12 it lacks std::thread and std::mutex, which the tests use, and one
# build has one compiler; GCC 14's win32 model has them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(TOOLCHAIN_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)
set(WIDL_EXECUTABLE ${TOOLCHAIN_PREFIX}-widl)

set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
