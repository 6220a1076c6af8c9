# GoogleTest: the MinGW build compiles Debian's sources in /usr/src/googletest; native builds use
# the installed package; anything else fetches it.
set(_gtest_src /usr/src/googletest)
if(CMAKE_CROSSCOMPILING AND EXISTS ${_gtest_src}/CMakeLists.txt)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(${_gtest_src} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
    find_package(GTest QUIET)
    if(NOT GTest_FOUND)
        include(FetchContent)
        FetchContent_Declare(googletest
            URL https://github.com/google/googletest/archive/refs/tags/v1.14.0.tar.gz)
        set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
        FetchContent_MakeAvailable(googletest)
    endif()
endif()

if(CMAKE_CROSSCOMPILING AND WIN32)
    # ctest runs the Windows test binaries under Wine, in the build tree's own prefix.
    set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/scripts/wine-exec)
endif()

# Runs one whole GoogleTest binary as a single ctest entry: a Wine start costs far more
# than a test, so per-test entries would multiply it.
#   tamsrove_add_gtest(target [NAME n] [TIMEOUT s] [LABELS l...] [DPI 144] [ARGS a...])
# DPI 144 runs it in a second Wine prefix whose screen is set to 144 DPI (LogPixels), with
# TAMSROVE_TEST_DPI=144 in its environment.
function(tamsrove_add_gtest target)
    cmake_parse_arguments(ARG "" "NAME;TIMEOUT;DPI" "LABELS;ARGS" ${ARGN})
    if(NOT ARG_NAME)
        set(ARG_NAME ${target})
    endif()
    set(target_name ${target})
    set(target ${ARG_NAME})
    add_test(NAME ${target} COMMAND ${target_name} --gtest_color=no ${ARG_ARGS})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 600)
    endif()
    set_tests_properties(${target} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
    if(ARG_LABELS)
        set_tests_properties(${target} PROPERTIES LABELS "${ARG_LABELS}")
    endif()
    if(CMAKE_CROSSCOMPILING AND WIN32)
        set(prefix ${CMAKE_BINARY_DIR}/wineprefix)
        if(ARG_DPI)
            set(prefix ${CMAKE_BINARY_DIR}/wineprefix-dpi${ARG_DPI})
        endif()
        set_property(TEST ${target} APPEND PROPERTY ENVIRONMENT
            "WINEPREFIX=${prefix}" "WINEDEBUG=-all")
    endif()
    if(ARG_DPI)
        set_property(TEST ${target} APPEND PROPERTY ENVIRONMENT "TAMSROVE_TEST_DPI=${ARG_DPI}")
    endif()
endfunction()
