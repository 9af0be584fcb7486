# SPDX-License-Identifier: GPL-3.0-or-later
# libFuzzer builds. Applied to every target, JUCE included: the parsers read through the
# framework's streams and strings, so its code needs coverage feedback and ASan as much as ours.
option(TAVRIN_FUZZ "Build the libFuzzer targets in fuzz/ (clang only)" OFF)

if(TAVRIN_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "TAVRIN_FUZZ needs clang: configure with CC=clang CXX=clang++")
    endif()
    if(NOT TAVRIN_SANITIZE STREQUAL "")
        message(FATAL_ERROR "TAVRIN_FUZZ brings its own sanitizers: leave TAVRIN_SANITIZE empty")
    endif()

    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined
                        -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

# Only the fuzz targets themselves link libFuzzer's main().
function(tavrin_add_fuzzer target)
    add_executable(${target} ${ARGN})
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
    tavrin_strict_warnings(${target})
endfunction()
