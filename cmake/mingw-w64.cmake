# Cross build of the Qt-free layers (engine, storage) for Windows with Debian's g++-mingw-w64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# libpq and OpenSSL cross-built here for Windows (tools/windows/build-libpq.sh) live in a prefix of their own,
# TIVORA_PQ_MINGW. It is searched as a second system root, so CMake's own find modules find them as they
# find zlib: find_package(PostgreSQL) and PostgreSQL::PostgreSQL work as in the Linux build.
if(TIVORA_PQ_MINGW)
    list(APPEND CMAKE_FIND_ROOT_PATH ${TIVORA_PQ_MINGW})
endif()
