// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// What all pages share: how their children are created and set up, where the common ones sit,
// the background, and how a page reaches the controller.
namespace PageParts
{
constexpr juce::uint32 backgroundColour = 0xFFF0F0F0;

// Each adds the new child to the page, visible and on top, and sets it up the common way.
std::unique_ptr<juce::TextButton> makeButton(juce::Component& page,
                                             juce::Button::Listener& listener, const char* name,
                                             const char* placeholder);
std::unique_ptr<juce::ComboBox> makeComboBox(juce::Component& page,
                                             juce::ComboBox::Listener& listener, const char* name);
std::unique_ptr<juce::Label> makeHeader(juce::Component& page);
std::unique_ptr<juce::Label> makeText(juce::Component& page);

// Bounds shared by the pages, for a page of width w and height h.
juce::Rectangle<int> okBounds(int w, int h);
juce::Rectangle<int> cancelBounds(int w, int h);
juce::Rectangle<int> comboBoxBounds(int w, int h);
juce::Rectangle<int> headerBounds(int w);
juce::Rectangle<int> textLineBounds(int w);

void fillBackground(juce::Graphics& g);

// Asks the controller, the page's parent, for a new state; without one nothing happens.
// The page may be deleted by the time this returns, so it must be the caller's last action.
void requestState(juce::Component& page, int state);
} // namespace PageParts
