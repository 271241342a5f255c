# Cross-compiles the Windows programs (64-bit) with Debian's mingw-w64:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# The posix threads variant of the compiler is preferred (std::thread and
# friends work with it); the libraries are linked statically so the .exe
# files need no DLL beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_quorix_mingw x86_64-w64-mingw32)
find_program(_quorix_mingw_cxx NAMES ${_quorix_mingw}-g++-posix ${_quorix_mingw}-g++ REQUIRED)
find_program(_quorix_mingw_cc NAMES ${_quorix_mingw}-gcc-posix ${_quorix_mingw}-gcc)
set(CMAKE_CXX_COMPILER ${_quorix_mingw_cxx})
if(_quorix_mingw_cc)
  set(CMAKE_C_COMPILER ${_quorix_mingw_cc})
endif()
find_program(CMAKE_RC_COMPILER NAMES ${_quorix_mingw}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_quorix_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine.
find_program(_quorix_wine NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(_quorix_wine)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${_quorix_wine})
endif()
