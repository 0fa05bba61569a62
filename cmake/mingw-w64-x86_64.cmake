# Cross build for 64-bit Windows with Debian's MinGW-w64 (the posix thread model, which gives
# std::thread and std::mutex). Programs link the runtime statically, so no MinGW DLL ships
# with them; tests and other built programs run under wine64 (cmake/wine-run.sh).
#
#   cmake -S . -B build-windows/core -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# Dependencies (zlib, libxml2, curl, GoogleTest, cpp-httplib) come from
# scripts/windows-deps.sh, one prefix each under build-windows/deps/<name>-<version>;
# KESTROVA_WINDOWS_DEPS names another folder of such prefixes.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KESTROVA_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KESTROVA_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTROVA_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTROVA_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${KESTROVA_MINGW_TRIPLET}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${KESTROVA_MINGW_TRIPLET}-gcc-ranlib-posix CACHE FILEPATH "")

# A static runtime: libgcc, libstdc++ and winpthread go into each program.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

# try_compile() reads this file again in its own folder: hand it the settings it needs.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KESTROVA_WINDOWS_DEPS KESTROVA_WINE_PREFIX)

if(NOT KESTROVA_WINDOWS_DEPS)
  if(DEFINED ENV{KESTROVA_WINDOWS_DEPS})
    set(KESTROVA_WINDOWS_DEPS "$ENV{KESTROVA_WINDOWS_DEPS}")
  else()
    get_filename_component(KESTROVA_WINDOWS_DEPS "${CMAKE_CURRENT_LIST_DIR}/../build-windows/deps"
      ABSOLUTE)
  endif()
endif()
set(KESTROVA_WINDOWS_DEPS "${KESTROVA_WINDOWS_DEPS}" CACHE PATH
  "Folder of the Windows dependency prefixes (scripts/windows-deps.sh)")

# Each dependency prefix, then the compiler's own root; nothing from the build machine's
# /usr (its headers and libraries are Linux ones).
file(GLOB kestrova_dep_prefixes LIST_DIRECTORIES true "${KESTROVA_WINDOWS_DEPS}/*")
list(FILTER kestrova_dep_prefixes EXCLUDE REGEX "(/src|/build|\\.stamp|\\.log)$")
set(CMAKE_FIND_ROOT_PATH ${kestrova_dep_prefixes} /usr/${KESTROVA_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config reads the dependency prefixes' .pc files, never the build machine's.
set(kestrova_pc_dirs "")
foreach(prefix IN LISTS kestrova_dep_prefixes)
  list(APPEND kestrova_pc_dirs "${prefix}/lib/pkgconfig")
endforeach()
string(REPLACE ";" ":" kestrova_pc_dirs "${kestrova_pc_dirs}")
if(NOT kestrova_pc_dirs)
  set(kestrova_pc_dirs "${KESTROVA_WINDOWS_DEPS}/none")
endif()
set(ENV{PKG_CONFIG_LIBDIR} "${kestrova_pc_dirs}")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# Static libraries first, so that no DLL has to travel with a program.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a .dll.a .lib)

# Built programs (tests, gtest_discover_tests) run under wine64 with a prefix of their own.
if(NOT KESTROVA_WINE_PREFIX)
  set(KESTROVA_WINE_PREFIX "${CMAKE_BINARY_DIR}/wine")
endif()
set(KESTROVA_WINE_PREFIX "${KESTROVA_WINE_PREFIX}" CACHE PATH "WINEPREFIX of the tests")
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;${KESTROVA_WINE_PREFIX}")
