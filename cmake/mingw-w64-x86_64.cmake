# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the -posix flavour, whose
# libstdc++ has std::thread and std::mutex). Used for Qt itself and for Wavedial.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(WAVEDIAL_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${WAVEDIAL_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${WAVEDIAL_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${WAVEDIAL_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${WAVEDIAL_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
