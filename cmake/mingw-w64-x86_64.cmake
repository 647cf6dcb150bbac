# Cross build for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64).
# The posix-threads compiler variant gives the C++ runtime std::mutex and
# std::condition_variable, which GoogleTest needs (the win32 variant of GCC 12
# has neither); everything is linked statically so the executables need nothing
# beside the DLLs that ship with Windows itself.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(GLASSWAKE_MINGW_PREFIX x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${GLASSWAKE_MINGW_PREFIX}-gcc-posix ${GLASSWAKE_MINGW_PREFIX}-gcc
             REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${GLASSWAKE_MINGW_PREFIX}-g++-posix ${GLASSWAKE_MINGW_PREFIX}-g++
             REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${GLASSWAKE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${GLASSWAKE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Lets CTest and custom commands run the cross-built programs.
find_program(GLASSWAKE_WINE NAMES wine)
if(GLASSWAKE_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${GLASSWAKE_WINE})
endif()
