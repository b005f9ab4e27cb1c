# Cross-building for Windows with Debian's mingw-w64 toolchains.
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DLIBMORPH_WINDOWS_ARCH=i686 ...
# LIBMORPH_WINDOWS_ARCH is i686 (32-bit, the default) or x86_64;
# LIBMORPH_WINDOWS_DEPS, a prefix holding what was built for the target
# (scripts/build-windows puts Zydis and CLI11's headers there).
set(CMAKE_SYSTEM_NAME Windows)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES LIBMORPH_WINDOWS_ARCH LIBMORPH_WINDOWS_DEPS)
if(NOT LIBMORPH_WINDOWS_ARCH)
  set(LIBMORPH_WINDOWS_ARCH i686)
endif()
set(CMAKE_SYSTEM_PROCESSOR ${LIBMORPH_WINDOWS_ARCH})
set(triplet ${LIBMORPH_WINDOWS_ARCH}-w64-mingw32)

# The posix thread variant: its C++ runtime has std::thread and std::mutex
# whatever the code grows to use; linked statically, it costs no DLL.
set(CMAKE_C_COMPILER ${triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${triplet}-windres)
set(CMAKE_AR ${triplet}-gcc-ar-posix)
set(CMAKE_RANLIB ${triplet}-gcc-ranlib-posix)

# Only the target's own folders and the prefixes handed over (where the
# build script installed Zydis); never the build machine's /usr/include.
set(CMAKE_FIND_ROOT_PATH /usr/${triplet} ${LIBMORPH_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# An .exe that runs alone: no libgcc, libstdc++ or winpthread DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
