# Tests of the Windows build, run here under Debian's wine64. Included when cross-compiling for Windows
# with testing on.
#
# Debian has no GoogleTest for MinGW, but the googletest package ships its source, which is built here
# with the cross compiler like our own code (it defines GTest::gtest and GTest::gtest_main itself).
set(TIVORA_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree built for the target")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${TIVORA_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# Every test program runs through wine-run: a private Wine prefix inside the build tree, and the MinGW
# runtime DLLs found where Debian installs them.
find_program(TIVORA_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT TIVORA_WINE64)
    message(FATAL_ERROR "wine64 not found: install Debian's wine64 package to run the Windows tests")
endif()
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
    OUTPUT_VARIABLE TIVORA_MINGW_STDCXX OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(TIVORA_MINGW_RUNTIME_DIR "${TIVORA_MINGW_STDCXX}" DIRECTORY)
# The MinGW system root is the first of the find roots (cmake/mingw-w64.cmake); its lib/ holds zlib1.dll.
list(GET CMAKE_FIND_ROOT_PATH 0 TIVORA_MINGW_ROOT)
set(TIVORA_MINGW_DLL_DIRS ${TIVORA_MINGW_RUNTIME_DIR} ${TIVORA_MINGW_ROOT}/lib)
# Qt's DLLs, for the test programs of a build with the user interface, and libpq's and OpenSSL's.
foreach(prefix IN LISTS CMAKE_PREFIX_PATH TIVORA_PQ_MINGW)
    list(APPEND TIVORA_MINGW_DLL_DIRS ${prefix}/bin)
endforeach()
set(TIVORA_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/tools/windows/wine-run --prefix ${TIVORA_WINEPREFIX})
foreach(dir IN LISTS TIVORA_MINGW_DLL_DIRS)
    list(APPEND CMAKE_CROSSCOMPILING_EMULATOR --path ${dir})
endforeach()
list(APPEND CMAKE_CROSSCOMPILING_EMULATOR --)
