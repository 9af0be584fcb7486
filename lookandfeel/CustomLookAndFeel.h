// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "lookandfeel/LinuxTypefaces.h"

#include <juce_gui_basics/juce_gui_basics.h>

// Draws every label, button and combo box in the current language's typeface, and each language
// name of a drop-down list in its own language's typeface.
class CustomLookAndFeel : public juce::LookAndFeel_V3
{
public:
    CustomLookAndFeel();
    ~CustomLookAndFeel() override = default;

    juce::Font getTextButtonFont(juce::TextButton& button, int buttonHeight) override;

    void drawPopupMenuItem(juce::Graphics& g, const juce::Rectangle<int>& area, bool isSeparator,
                           bool isActive, bool isHighlighted, bool isTicked, bool hasSubMenu,
                           const juce::String& text, const juce::String& shortcutKeyText,
                           const juce::Drawable* icon, const juce::Colour* textColour) override;

    juce::Font getComboBoxFont(juce::ComboBox& box) override;
    juce::Font getLabelFont(juce::Label& label) override;

    // Gives the tables' typeface names a local font where the named family is missing.
    juce::Typeface::Ptr getTypefaceForFont(const juce::Font& font) override;

private:
    // Owned here so that the loaded fonts go before the framework shuts down.
    LinuxTypefaces linuxTypefaces;
};
