// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// A page of the wizard. Pages never build their successor: they ask the controller for a new
// state as the last thing they do.
class Fragment : public juce::Component
{
public:
    // Rewrites every text of the page in the current language.
    virtual void updateText() = 0;
};
