# The replay test of the normal suite: every target of targets.cmake, compiled with the project's
# compiler against the project's libraries, runs over its committed corpus and the inputs that
# once broke it (regressions/NAME).
set(VYN_FUZZ_REPLAY_SOURCES "")
set(VYN_FUZZ_REPLAY_LIBS "")
function(vyn_fuzz_target name source)
    cmake_parse_arguments(ARG "" "" "LIBS;SOURCES;SEEDS" ${ARGN})
    list(TRANSFORM ARG_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/src/)
    set(VYN_FUZZ_REPLAY_SOURCES ${VYN_FUZZ_REPLAY_SOURCES} ${CMAKE_CURRENT_LIST_DIR}/${source}
        ${ARG_SOURCES} PARENT_SCOPE)
    set(VYN_FUZZ_REPLAY_LIBS ${VYN_FUZZ_REPLAY_LIBS} ${ARG_LIBS} PARENT_SCOPE)
endfunction()
include(${CMAKE_CURRENT_LIST_DIR}/targets.cmake)
list(REMOVE_DUPLICATES VYN_FUZZ_REPLAY_LIBS)
vyn_test(fuzz_replay_tests unit
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/FuzzReplayTest.cpp ${VYN_FUZZ_REPLAY_SOURCES}
    DEPS ${VYN_FUZZ_REPLAY_LIBS})
target_include_directories(fuzz_replay_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
