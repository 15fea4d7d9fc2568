# 64-bit Windows with Debian's MinGW-w64, the POSIX thread model (std::thread
# needs it). Use: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VANTOR_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VANTOR_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VANTOR_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${VANTOR_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VANTOR_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs carry their runtime (libstdc++, libgcc, winpthreads) so that
# vantor.exe runs from any folder without the compiler's DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# ctest runs the test programs through Wine.
find_program(VANTOR_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(VANTOR_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VANTOR_WINE})
endif()
