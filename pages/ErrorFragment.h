// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "wizard/Fragment.h"

// Reports the one error that ended the wizard, beside a warning symbol.
class ErrorFragment : public Fragment, public juce::Button::Listener
{
public:
    // state: FileError, NotConnected or TransferFailed; viaMidi: nonzero when the port was
    // chosen on the Device page.
    ErrorFragment(int state, int viaMidi);
    ~ErrorFragment() override;

    void paint(juce::Graphics& g) override;
    void resized() override;
    void updateText() override;
    void buttonClicked(juce::Button* button) override;

private:
    int errorState;
    int viaMidi;
    std::unique_ptr<juce::TextButton> btnOK;
    std::unique_ptr<juce::Label> lblText;
    std::unique_ptr<juce::Drawable> warningImage;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(ErrorFragment)
};
