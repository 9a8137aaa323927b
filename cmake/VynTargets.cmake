# Shared settings for every target of our own: warnings as errors, sanitizers when asked.

set(VYN_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Werror)
# GCC 12 at -O3 reports overlapping copies inside std::string's operator+ on temporaries that
# cannot happen (GCC bug 105329, fixed in GCC 13); the warning stays on for every other compiler.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    list(APPEND VYN_WARNINGS -Wno-restrict)
endif()

# Windows builds target Windows 10 (IAudioClient3, Media Foundation's stream wrappers); M_PI
# and friends as on Linux.
if(WIN32)
    add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 NOMINMAX _USE_MATH_DEFINES)
endif()

if(VYN_SANITIZE)
    string(REPLACE ";" "," _vyn_san "${VYN_SANITIZE}")
    add_compile_options(-fsanitize=${_vyn_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${_vyn_san})
endif()

# vyn_library(NAME SOURCES... [DEPS ...]) declares one module's static library.
function(vyn_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_compile_options(${name} PRIVATE ${VYN_WARNINGS})
    if(ARG_DEPS)
        target_link_libraries(${name} PUBLIC ${ARG_DEPS})
    endif()
    if(ARG_PRIVATE_DEPS)
        target_link_libraries(${name} PRIVATE ${ARG_PRIVATE_DEPS})
    endif()
endfunction()

function(vyn_executable name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_compile_options(${name} PRIVATE ${VYN_WARNINGS})
    target_link_libraries(${name} PRIVATE ${ARG_DEPS})
endfunction()
