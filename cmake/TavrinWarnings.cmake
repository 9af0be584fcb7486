# SPDX-License-Identifier: GPL-3.0-or-later
# Strict warnings for the project's own sources; JUCE's sources keep the framework's own set.
set(TAVRIN_WARNING_FLAGS -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
                        )
if(TAVRIN_WERROR)
    list(APPEND TAVRIN_WARNING_FLAGS -Werror)
endif()

function(tavrin_strict_warnings target)
    target_compile_options(${target} PRIVATE ${TAVRIN_WARNING_FLAGS})
endfunction()

function(tavrin_strict_warnings_for_sources)
    set_source_files_properties(${ARGN} PROPERTIES COMPILE_OPTIONS "${TAVRIN_WARNING_FLAGS}")
endfunction()
