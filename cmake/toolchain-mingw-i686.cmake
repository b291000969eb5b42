# SPDX-License-Identifier: MIT
# 32-bit Windows (i686-w64-mingw32) with Debian's MinGW-w64 GCC, posix thread model
# (g++-mingw-w64-i686-posix), the compiler the cross-built Qt was made with.
# Use: -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake -DCMAKE_PREFIX_PATH=<Qt for MinGW>
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_SYSTEM_VERSION 10.0)

set(MINGW_TRIPLE i686-w64-mingw32)

# Named explicitly: the plain i686-w64-mingw32-g++ is an alternatives link that may point at the
# win32 thread model, whose runtime does not match Qt's.
set(CMAKE_C_COMPILER /usr/bin/${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER /usr/bin/${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER /usr/bin/${MINGW_TRIPLE}-windres)
# CMake derives the binutils from the compiler's name only when it ends in gcc/g++; "-posix"
# defeats that.
set(CMAKE_AR /usr/bin/${MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB /usr/bin/${MINGW_TRIPLE}-ranlib CACHE FILEPATH "")
set(CMAKE_NM /usr/bin/${MINGW_TRIPLE}-nm CACHE FILEPATH "")
set(CMAKE_STRIP /usr/bin/${MINGW_TRIPLE}-strip CACHE FILEPATH "")
set(CMAKE_OBJCOPY /usr/bin/${MINGW_TRIPLE}-objcopy CACHE FILEPATH "")
set(CMAKE_OBJDUMP /usr/bin/${MINGW_TRIPLE}-objdump CACHE FILEPATH "")
set(CMAKE_DLLTOOL /usr/bin/${MINGW_TRIPLE}-dlltool CACHE FILEPATH "")
set(CMAKE_LINKER /usr/bin/${MINGW_TRIPLE}-ld CACHE FILEPATH "")

# Qt 6 on x86 needs SSE2; the compiler's default is pentiumpro with x87 maths.
set(CMAKE_C_FLAGS_INIT "-march=pentium4 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-march=pentium4 -mfpmath=sse")

# Libraries, headers and packages only from the MinGW sysroot and the given prefixes (the Qt for
# MinGW); programs (moc, rcc, uic come from the host Qt) from the host.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
foreach(prefix IN LISTS CMAKE_PREFIX_PATH)
    list(APPEND CMAKE_FIND_ROOT_PATH ${prefix})
endforeach()
list(REMOVE_DUPLICATES CMAKE_FIND_ROOT_PATH)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config would report the host's libraries.
set(PKG_CONFIG_EXECUTABLE "" CACHE FILEPATH "" FORCE)
