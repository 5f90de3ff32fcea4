# Cross-compiles for 32-bit Windows with Debian's mingw-w64 (i686, posix
# threads) and runs the test programs under Wine:
#
#   cmake -S . -B build-win32 --toolchain cmake/i686-w64-mingw32.cmake \
#         -DTINCTORA_DEPS_PREFIX=<prefix holding libpng and GoogleTest>
#
# tools/build-windows-deps builds that prefix; tools/test-windows-core does
# everything from the packages to the test run.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(TINCTORA_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${TINCTORA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TINCTORA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TINCTORA_MINGW_TRIPLE}-windres)

# x87 arithmetic keeps intermediates in 80 bits and so rounds doubles
# differently from x86-64; with SSE2 every double operation is the same single
# IEEE operation on both, and every text comes out byte-identical.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

# The C and C++ runtimes and winpthreads are linked in: the programs need
# only the DLLs every Windows system has.
#
# The prebuilt C++ library still does some double arithmetic on the x87: its
# from_chars multiplies a decimal mantissa by a power of ten there. mingw-w64
# starts programs with 64-bit x87 precision, which rounds that product twice
# ("8386240507956765e5" comes out one unit in the last place too low); CRT_fp8.o starts them
# with the 53-bit precision of Windows' own default, one rounding as on x86-64.
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-static -static-libgcc -static-libstdc++ /usr/${TINCTORA_MINGW_TRIPLE}/lib/CRT_fp8.o")
set(ZLIB_USE_STATIC_LIBS ON)

# Libraries and headers come from the mingw-w64 tree and the prefix of
# cross-built dependencies only; programs (awk, node) from the build machine.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TINCTORA_DEPS_PREFIX)
set(CMAKE_FIND_ROOT_PATH /usr/${TINCTORA_MINGW_TRIPLE})
if(TINCTORA_DEPS_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH ${TINCTORA_DEPS_PREFIX})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest runs every test program in a 32-bit Wine prefix of the build tree,
# with no Wine debug output and without the .NET and HTML engines, which the
# console programs never load. The GoogleTest cases are listed when ctest
# starts rather than after each link, so building needs no Wine.
set(TINCTORA_WINEPREFIX "${CMAKE_BINARY_DIR}/wine" CACHE PATH
    "Wine prefix the cross-built test programs run in")
set(CMAKE_CROSSCOMPILING_EMULATOR
    env WINEARCH=win32 WINEPREFIX=${TINCTORA_WINEPREFIX} WINEDEBUG=-all
        WINEDLLOVERRIDES=mscoree,mshtml= wine)
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
