// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <juce_graphics/juce_graphics.h>

#include <optional>

// The text tables name the typefaces of the program's home platform. On Linux the framework
// finds a family only by its exact name, and only in .ttf, .otf, .pfb and .pcf files, and it
// draws a character its typeface lacks as a box. So where one of those families is missing, a
// local font of the same script stands in: Liberation Sans (Arial's metrics) for the Latin and
// Cyrillic names, WenQuanYi Micro Hei (Chinese, Japanese and Korean, shipped as a .ttc) for the
// others. Each stand-in is loaded on first use and kept for the life of this object.
class LinuxTypefaces
{
public:
    // Null when the font's family is installed, or is not one of the tables' typeface names, or
    // its stand-in is not installed either.
    juce::Typeface::Ptr findStandIn(const juce::Font& font);

private:
    juce::Typeface::Ptr latin(bool bold);
    juce::Typeface::Ptr cjk(bool bold);

    std::optional<juce::Typeface::Ptr> latinRegular, latinBold, cjkRegular, cjkBold;
};
