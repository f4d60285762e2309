# Shared by the MinGW-w64 toolchain files; VORRIK_MINGW_TRIPLET names the target
# (x86_64-w64-mingw32 or i686-w64-mingw32).
set(CMAKE_SYSTEM_NAME Windows)

# Debian ships a win32-thread and a posix-thread compiler per target; either works, as
# everything is linked statically below. The win32 one is preferred: it needs no
# winpthread.
find_program(VORRIK_MINGW_CXX NAMES ${VORRIK_MINGW_TRIPLET}-g++-win32 ${VORRIK_MINGW_TRIPLET}-g++
             REQUIRED)
set(CMAKE_CXX_COMPILER ${VORRIK_MINGW_CXX})

set(CMAKE_FIND_ROOT_PATH /usr/${VORRIK_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Only the system's KERNEL32.dll and msvcrt.dll may be needed at run time: a plug-in
# folder or a Wine prefix has no libstdc++-6.dll, libgcc_s or libwinpthread-1.dll.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# nlohmann-json is header-only; the host's own package config would put /usr/include,
# with glibc's headers, on the cross compiler's path. This one exposes the headers alone.
set(nlohmann_json_DIR ${CMAKE_CURRENT_LIST_DIR}/cross/nlohmann_json CACHE PATH
    "nlohmann-json headers for cross builds")
