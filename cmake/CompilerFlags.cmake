# Warnings and link options shared by every target, kept behind generator expressions so that
# the same project builds with GCC, Clang, MinGW-w64 and MSVC.
add_library(tamsrove_options INTERFACE)
target_compile_options(tamsrove_options INTERFACE
    $<$<CXX_COMPILER_ID:GNU,Clang>:-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion>
    $<$<CXX_COMPILER_ID:MSVC>:/W4 /utf-8 /permissive- /EHsc>)

if(WIN32)
    # Unicode Win32 APIs, Windows 10 headers; the program itself adapts where older
    # systems lack a function.
    target_compile_definitions(tamsrove_options INTERFACE
        UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00)
    # One self-contained executable: no libstdc++/libgcc/winpthread DLLs next to it.
    target_link_options(tamsrove_options INTERFACE
        $<$<CXX_COMPILER_ID:GNU,Clang>:-static -static-libgcc -static-libstdc++>)
    # MSVC: the static runtime too, except where another project builds the line store with
    # the runtime it chose for itself (two runtimes in one program do not link).
    if(NOT TAMSROVE_LINESTORE_ONLY)
        set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
    endif()
endif()

if(TAMSROVE_SANITIZE)
    target_compile_options(tamsrove_options INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(tamsrove_options INTERFACE -fsanitize=address,undefined)
endif()

if(TAMSROVE_RELEASE)
    # The same commit gives the same bytes wherever it is built: no source or build path reaches
    # the binaries or their debug information. GCC tries the last map first, so the build
    # folder, which may lie inside the source folder, is mapped after it.
    add_compile_options(
        "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.>"
        "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_BINARY_DIR}=build>")
    # Every program's and DLL's link map goes to link-maps/ (ld names it after the output):
    # scripts/release reads from them which runtime libraries went into the binaries.
    file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/link-maps)
    string(APPEND CMAKE_EXE_LINKER_FLAGS " -Wl,-Map=${PROJECT_BINARY_DIR}/link-maps")
    string(APPEND CMAKE_SHARED_LINKER_FLAGS " -Wl,-Map=${PROJECT_BINARY_DIR}/link-maps")
    # The PE time stamp: GNU ld (and objcopy, strip) write SOURCE_DATE_EPOCH when it is set, else
    # the current time. The commit's time is part of every link command, so that a new commit
    # relinks even when no source changed and no binary keeps an older commit's time.
    set(TAMSROVE_SOURCE_DATE_EPOCH "" CACHE STRING "PE time stamp of the release's binaries")
    if(TAMSROVE_SOURCE_DATE_EPOCH)
        set_property(GLOBAL PROPERTY RULE_LAUNCH_LINK
            "${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${TAMSROVE_SOURCE_DATE_EPOCH}")
    endif()
endif()

if(WIN32 AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    # Every function and object in a section of its own, and the linker drops the sections
    # nothing reaches: code that only the tests or the line store's other users call stays out
    # of the program (libstdc++ is built the same way, so its unused parts go too).
    target_compile_options(tamsrove_options INTERFACE -ffunction-sections -fdata-sections)
    target_link_options(tamsrove_options INTERFACE -Wl,--gc-sections)
endif()

# Gives a library of ours the flags above. In our own build they pass on to everything that links
# it; where another project builds the line store alone (add_subdirectory, FetchContent), they
# stay on our libraries, and that project's targets keep their own flags, defines and runtime.
function(tamsrove_use_options target)
    if(TAMSROVE_LINESTORE_ONLY)
        target_compile_options(${target} PRIVATE
            $<TARGET_PROPERTY:tamsrove_options,INTERFACE_COMPILE_OPTIONS>)
        target_compile_definitions(${target} PRIVATE
            $<TARGET_PROPERTY:tamsrove_options,INTERFACE_COMPILE_DEFINITIONS>)
    else()
        target_link_libraries(${target} PUBLIC $<BUILD_INTERFACE:tamsrove_options>)
    endif()
endfunction()
