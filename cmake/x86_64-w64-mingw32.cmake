# Cross-building for Windows x86-64 with MinGW-w64 (POSIX threads: std::thread and
# std::mutex need them) against the dependency cache that packaging/windows/deps.sh
# builds. The cache is VELMORA_WIN64_PREFIX (environment or -D), by default
# ~/.cache/velmora/win64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_triple}-windres)

if(NOT VELMORA_WIN64_PREFIX)
    if(DEFINED ENV{VELMORA_WIN64_PREFIX})
        set(VELMORA_WIN64_PREFIX $ENV{VELMORA_WIN64_PREFIX})
    else()
        set(VELMORA_WIN64_PREFIX $ENV{HOME}/.cache/velmora/win64)
    endif()
endif()
# try_compile projects see the toolchain file again, without the cache.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VELMORA_WIN64_PREFIX)

# Libraries and headers only from the MinGW sysroot and the cache; programs (moc,
# pkg-config) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${_triple} ${VELMORA_WIN64_PREFIX})
set(CMAKE_PREFIX_PATH ${VELMORA_WIN64_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config answers for the cache only, never for the build machine's libraries.
set(ENV{PKG_CONFIG_LIBDIR} ${VELMORA_WIN64_PREFIX}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

