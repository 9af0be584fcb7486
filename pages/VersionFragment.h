// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "wizard/Fragment.h"

// Shows the update's version and how to set the synthesizer up to receive it.
class VersionFragment : public Fragment, public juce::Button::Listener
{
public:
    // viaMidi: 1 when the port was chosen on the Device page, 0 for the synthesizer's USB port.
    explicit VersionFragment(int viaMidi);
    ~VersionFragment() override;

    void paint(juce::Graphics& g) override;
    void resized() override;
    void updateText() override;
    void buttonClicked(juce::Button* button) override;

private:
    int viaMidi;
    std::unique_ptr<juce::TextButton> btnOK;
    std::unique_ptr<juce::TextButton> btnCancel;
    std::unique_ptr<juce::Label> lblHeader;
    std::unique_ptr<juce::Label> lblText;
    std::unique_ptr<juce::Label> lblInstructions;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(VersionFragment)
};
