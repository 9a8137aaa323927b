# The Windows build's own copies of what Debian packages for Linux only: qrcodegen and the Dear
# ImGui core from Debian's source packages (unpacked by scripts/fetch-windows-sources at configure
# time), ImGui's Win32 and OpenGL 3 backends from libimgui-dev's examples, GoogleTest from
# /usr/src/googletest. Everything is linked statically (libstdc++, libgcc and winpthreads too),
# so the executables need no runtime DLLs beside them and the test build's replacement
# operator new sees every allocation.

set(VYN_DEBIAN_SOURCES ${PROJECT_BINARY_DIR}/debian-sources)
execute_process(
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/fetch-windows-sources ${VYN_DEBIAN_SOURCES}
            qr-code-generator imgui
    RESULT_VARIABLE _vyn_fetch)
if(NOT _vyn_fetch EQUAL 0)
    message(FATAL_ERROR "could not unpack Debian's qr-code-generator and imgui source packages")
endif()

add_library(vyn_qrcodegen STATIC ${VYN_DEBIAN_SOURCES}/qr-code-generator/cpp/qrcodegen.cpp)
target_include_directories(vyn_qrcodegen SYSTEM PUBLIC ${VYN_DEBIAN_SOURCES}/qr-code-generator/cpp)

# ImGui 1.86, the same release as libimgui-dev: the core from the source package, the backends as
# libimgui-dev ships them (their headers and the OpenGL loader header are in the source tree).
set(VYN_IMGUI_SOURCE ${VYN_DEBIAN_SOURCES}/imgui)
set(VYN_IMGUI_BACKENDS /usr/share/doc/libimgui-dev/examples/backends)
add_library(vyn_imgui STATIC
    ${VYN_IMGUI_SOURCE}/imgui.cpp
    ${VYN_IMGUI_SOURCE}/imgui_draw.cpp
    ${VYN_IMGUI_SOURCE}/imgui_tables.cpp
    ${VYN_IMGUI_SOURCE}/imgui_widgets.cpp
    ${VYN_IMGUI_BACKENDS}/imgui_impl_win32.cpp
    ${VYN_IMGUI_BACKENDS}/imgui_impl_opengl3.cpp)
target_include_directories(vyn_imgui SYSTEM PUBLIC ${VYN_IMGUI_SOURCE}
    PRIVATE ${VYN_IMGUI_SOURCE}/backends)
# No gamepad navigation: the XInput probe is of no use to VYN.
target_compile_definitions(vyn_imgui PRIVATE IMGUI_IMPL_WIN32_DISABLE_GAMEPAD)
# Upstream code, compiled as it is: its warnings are not ours to fix.
target_compile_options(vyn_imgui PRIVATE -w)
target_link_libraries(vyn_imgui PUBLIC opengl32 gdi32 dwmapi imm32 user32)

add_link_options(-static)

if(VYN_TESTS)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()
