# The Windows build's own copies of what Debian packages for Linux only: qrcodegen from Debian's
# source package (unpacked by scripts/fetch-windows-sources at configure time), GoogleTest from
# /usr/src/googletest. Everything is linked statically (libstdc++, libgcc and winpthreads too),
# so the executables need no runtime DLLs beside them and the test build's replacement
# operator new sees every allocation.

set(VYN_DEBIAN_SOURCES ${PROJECT_BINARY_DIR}/debian-sources)
execute_process(
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/fetch-windows-sources ${VYN_DEBIAN_SOURCES}
            qr-code-generator
    RESULT_VARIABLE _vyn_fetch)
if(NOT _vyn_fetch EQUAL 0)
    message(FATAL_ERROR "could not unpack Debian's qr-code-generator source package")
endif()

add_library(vyn_qrcodegen STATIC ${VYN_DEBIAN_SOURCES}/qr-code-generator/cpp/qrcodegen.cpp)
target_include_directories(vyn_qrcodegen SYSTEM PUBLIC ${VYN_DEBIAN_SOURCES}/qr-code-generator/cpp)

add_link_options(-static)

if(VYN_TESTS)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()
