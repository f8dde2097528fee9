# Cross-compiles the Windows executable with mingw-w64 for x86-64. Everything the program needs
# from the C and C++ runtimes is linked in, so the one .exe runs on a bare Windows: it imports
# only system DLLs (KERNEL32, USER32, GDI32, WINMM, msvcrt).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The win32 threading flavour where both are installed: threads are CreateThread, with no
# POSIX emulation layer underneath.
find_program(CMAKE_CXX_COMPILER NAMES x86_64-w64-mingw32-g++-win32 x86_64-w64-mingw32-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES x86_64-w64-mingw32-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
