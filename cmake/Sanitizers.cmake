# SPDX-License-Identifier: GPL-3.0-or-later
# Applied to every target, JUCE included, so that instrumented and plain code never mix.
if(TAVRIN_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
elseif(TAVRIN_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
elseif(NOT TAVRIN_SANITIZE STREQUAL "")
    message(FATAL_ERROR "TAVRIN_SANITIZE must be empty, 'address' or 'thread'")
endif()
