# SPDX-License-Identifier: GPL-3.0-or-later
# Every build type and build folder compiles the same JUCE sources: let ccache share them.
find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
    set(_launcher ${CMAKE_COMMAND} -E env CCACHE_NOHASHDIR=1 CCACHE_SLOPPINESS=pch_defines,time_macros
                  ${CCACHE_PROGRAM})
    set(CMAKE_C_COMPILER_LAUNCHER ${_launcher})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${_launcher})
endif()
