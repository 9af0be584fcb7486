# SPDX-License-Identifier: GPL-3.0-or-later
# One static library holds the JUCE modules and the program's own code, so JUCE compiles once
# per build and the program, the tests, the benchmarks and the tools all link the same objects.

set(TAVRIN_JUCE_MODULES juce_core juce_events juce_data_structures juce_graphics juce_gui_basics
                        juce_audio_basics juce_audio_devices)

set(TAVRIN_SOURCES
    update/Crc16.cpp
    update/PackageCheck.cpp
    update/UpdManager.cpp
    midi/SysExController.cpp
    midi/MidiOutputService.cpp
    midi/AlsaMidiOutputService.cpp
    midi/AlsaPortDirectory.cpp
    midi/AlsaRawMidiWriter.cpp
    midi/AlsaSeqWriter.cpp
    midi/AlsaSequencer.cpp
    midi/SeqInputRoom.cpp
    text/TextLoader.cpp
    text/DisplayLanguage.cpp
    lookandfeel/CustomLookAndFeel.cpp
    lookandfeel/LinuxTypefaces.cpp
    wizard/MainComponent.cpp
    wizard/PageParts.cpp
    pages/LanguageFragment.cpp
    pages/ConnectionFragment.cpp
    pages/DeviceFragment.cpp
    pages/VersionFragment.cpp
    pages/ProgressFragment.cpp
    pages/FinishFragment.cpp
    pages/ErrorFragment.cpp
    app/TavrinApplication.cpp
    app/QuitSignals.cpp)

add_library(TavrinCore STATIC ${TAVRIN_SOURCES})
tavrin_strict_warnings_for_sources(${TAVRIN_SOURCES})

foreach(module IN LISTS TAVRIN_JUCE_MODULES)
    target_link_libraries(TavrinCore PRIVATE juce::${module})
endforeach()

include(TavrinResources)

target_link_libraries(TavrinCore
    PUBLIC juce::pkgconfig_JUCE_IMG_LINUX_DEPS TavrinResources
    PRIVATE juce::juce_recommended_config_flags)

# PUBLIC so that every file, in the library and in what links it, sees the same JUCE configuration.
target_compile_definitions(TavrinCore PUBLIC
    JUCE_STANDALONE_APPLICATION=1
    JUCE_WEB_BROWSER=0
    JUCE_USE_CURL=0
    JUCE_DISPLAY_SPLASH_SCREEN=0
    JUCE_REPORT_APP_USAGE=0
    JUCE_MODAL_LOOPS_PERMITTED=1
    JUCE_STRICT_REFCOUNTEDPOINTER=1)

# The module targets are interface libraries: re-export their include folders and definitions
# without their sources, which must compile into this library only.
target_include_directories(TavrinCore PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}")
foreach(module IN LISTS TAVRIN_JUCE_MODULES)
    target_include_directories(TavrinCore INTERFACE
        $<TARGET_PROPERTY:juce::${module},INTERFACE_INCLUDE_DIRECTORIES>)
    target_compile_definitions(TavrinCore INTERFACE
        $<TARGET_PROPERTY:juce::${module},INTERFACE_COMPILE_DEFINITIONS>)
endforeach()

if(TAVRIN_PRECOMPILED_HEADERS)
    target_precompile_headers(TavrinCore PRIVATE
        <juce_core/juce_core.h> <juce_events/juce_events.h> <juce_gui_basics/juce_gui_basics.h>
        <juce_audio_devices/juce_audio_devices.h>)
    file(GLOB _juce_module_sources "${JUCE_MODULES_DIR}/juce_*/juce_*.cpp")
    set_source_files_properties(${_juce_module_sources} PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
endif()
