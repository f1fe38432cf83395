# Cross build of the 32-bit Windows plug-in (morvelin.dll) and of the test
# suite with mingw-w64; the tests run under Wine as the cross-compiling
# emulator.
#
#   cmake -S . -B build/win32 -G Ninja --toolchain cmake/mingw-i686.cmake
#
# The posix thread variant of the compiler is preferred: GCC 12's win32
# variant has no std::thread or std::mutex, which tests that call Abort from
# a second thread need. Either variant links its runtime statically into
# morvelin.dll (see the top-level CMakeLists.txt), so the host never needs a
# mingw DLL.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(MORVELIN_MINGW_TRIPLET i686-w64-mingw32)

find_program(MORVELIN_MINGW_GCC NAMES ${MORVELIN_MINGW_TRIPLET}-gcc-posix ${MORVELIN_MINGW_TRIPLET}-gcc REQUIRED)
find_program(MORVELIN_MINGW_GXX NAMES ${MORVELIN_MINGW_TRIPLET}-g++-posix ${MORVELIN_MINGW_TRIPLET}-g++ REQUIRED)
set(CMAKE_C_COMPILER ${MORVELIN_MINGW_GCC})
set(CMAKE_CXX_COMPILER ${MORVELIN_MINGW_GXX})
find_program(CMAKE_RC_COMPILER NAMES ${MORVELIN_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MORVELIN_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test executables (and try_run) go through Wine. The wrapper keeps one
# Wine prefix per build directory, creates it on first use and keeps Wine
# quiet and headless. MORVELIN_WINEPREFIX may be set to share a prefix.
if(NOT DEFINED MORVELIN_WINEPREFIX)
  set(MORVELIN_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;${MORVELIN_WINEPREFIX}")
