# SPDX-License-Identifier: GPL-3.0-or-later
# The text tables and the warning symbol, compiled in byte for byte as BinaryData::english_txt,
# english_txtSize, ... (the generator writes the bytes as numbers, so CR LF line ends survive).
set(TAVRIN_RESOURCES
    english.txt french.txt german.txt spanish.txt italian.txt dutch.txt russian.txt
    portuguese.txt simplified_chinese.txt traditional_chinese.txt korean.txt japanese.txt
    language.txt warning.png)
list(TRANSFORM TAVRIN_RESOURCES PREPEND "${PROJECT_SOURCE_DIR}/resources/")

juce_add_binary_data(TavrinResources NAMESPACE BinaryData HEADER_NAME BinaryData.h
                     SOURCES ${TAVRIN_RESOURCES})

# The generator's rule depends only on its list of inputs, not on the inputs themselves:
# re-configuring on an edit rewrites that list and so regenerates the data.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${TAVRIN_RESOURCES})
