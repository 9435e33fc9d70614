# What the MinGW-w64 toolchain files share; each sets CMAKE_SYSTEM_PROCESSOR and includes this.
# The runtime is linked statically, so kestrun.exe needs nothing beyond Windows itself.
# Tests run under Wine (ctest and gtest_discover_tests go through the emulator).
set(CMAKE_SYSTEM_NAME Windows)
set(_triplet ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
# The posix thread model: GoogleTest and the standard library's threads work in full with it.
find_program(CMAKE_CXX_COMPILER NAMES ${_triplet}-g++-posix ${_triplet}-g++ REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${_triplet}-gcc-posix ${_triplet}-gcc REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${_triplet}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# The project's wine (scripts/wine-host) runs the system's, or its 64-bit loader where this kernel
# cannot execute 32-bit programs.
find_program(KESTRUN_WINE NAMES wine HINTS ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-host REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${KESTRUN_WINE})
