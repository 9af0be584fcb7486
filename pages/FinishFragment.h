// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "wizard/Fragment.h"

// The transfer went through: the synthesizer now installs the firmware and restarts itself.
class FinishFragment : public Fragment, public juce::Button::Listener
{
public:
    FinishFragment();
    ~FinishFragment() override;

    void paint(juce::Graphics& g) override;
    void resized() override;
    void updateText() override;
    void buttonClicked(juce::Button* button) override;

private:
    std::unique_ptr<juce::TextButton> btnOK;
    std::unique_ptr<juce::Label> lblHeader;
    std::unique_ptr<juce::Label> lblText;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(FinishFragment)
};
