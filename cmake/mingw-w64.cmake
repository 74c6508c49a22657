# Cross-compiling for 64-bit Windows with Debian's mingw-w64 compilers; programs run under
# Wine. The -posix compilers, because only their C++ library has std::mutex and std::thread.
# Everything is linked statically so that Wine needs none of the compiler's DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest and gtest_discover_tests run the programs through Wine. Debian's wine64 package keeps
# its loader out of PATH.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(KVEL_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
  find_program(KVEL_WINE64 NAMES wine64 wine)
  if(KVEL_WINE64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${KVEL_WINE64})
  endif()
endif()
