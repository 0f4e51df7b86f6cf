# Cross-compiles the Windows programs with Debian's mingw-w64 (g++-mingw-w64-x86-64):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# Programs and DLLs link the C and C++ runtimes statically, so they need no DLL beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(BEAMORA_MINGW_PREFIX x86_64-w64-mingw32)
# The POSIX thread model: std::thread and std::mutex (GCC 12's win32 model has neither), with
# winpthreads linked statically like the rest of the runtime.
set(CMAKE_C_COMPILER ${BEAMORA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BEAMORA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${BEAMORA_MINGW_PREFIX}-windres)

# Libraries and headers come from the mingw-w64 tree only; build tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${BEAMORA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Tests and build-time tools made here run under Wine (headless, a prefix in the build tree).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
