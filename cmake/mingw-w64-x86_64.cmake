# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix thread model, which std::thread needs).
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DTWINSPOTTER_WINDOWS_DEPS="/cache/curl-...;/cache/googletest-...;/cache/qt-..."
#
# TWINSPOTTER_WINDOWS_DEPS lists the prefixes of the Windows libraries built by scripts/windows-deps.sh. They go
# into CMAKE_FIND_ROOT_PATH because with the searches limited to the root path CMAKE_PREFIX_PATH alone is never
# looked at, and a Linux library found by mistake would only fail at link time.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_twinspotter_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_twinspotter_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_twinspotter_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${_twinspotter_mingw}-windres)
set(CMAKE_AR ${_twinspotter_mingw}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${_twinspotter_mingw}-ranlib CACHE FILEPATH "")

# The toolchain file is read again for every try_compile project; the variable must reach them too.
if(NOT TWINSPOTTER_WINDOWS_DEPS AND DEFINED ENV{TWINSPOTTER_WINDOWS_DEPS})
    set(TWINSPOTTER_WINDOWS_DEPS "$ENV{TWINSPOTTER_WINDOWS_DEPS}")
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TWINSPOTTER_WINDOWS_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/${_twinspotter_mingw} ${TWINSPOTTER_WINDOWS_DEPS})
set(CMAKE_PREFIX_PATH ${TWINSPOTTER_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest and gtest_discover_tests run the test programs through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)

# Our programs carry the compiler's runtime inside (-static also takes libwinpthread, which the posix thread model
# needs even with -static-libgcc -static-libstdc++), so test programs run under Wine with no DLL beside them.
# Qt itself is built with TWINSPOTTER_MINGW_STATIC_RUNTIME=OFF: its DLLs share one libstdc++-6.dll,
# libgcc_s_seh-1.dll and libwinpthread-1.dll, which the deployment copies next to the program, as windeployqt does.
if(NOT DEFINED TWINSPOTTER_MINGW_STATIC_RUNTIME)
    set(TWINSPOTTER_MINGW_STATIC_RUNTIME ON)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TWINSPOTTER_MINGW_STATIC_RUNTIME)
if(TWINSPOTTER_MINGW_STATIC_RUNTIME)
    set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
    set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
endif()
