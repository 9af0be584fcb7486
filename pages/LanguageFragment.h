// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "wizard/Fragment.h"

// First page: the user picks the language; OK loads and checks the update package.
class LanguageFragment : public Fragment,
                         public juce::Button::Listener,
                         public juce::ComboBox::Listener
{
public:
    LanguageFragment();
    ~LanguageFragment() override;

    void paint(juce::Graphics& g) override;
    void resized() override;
    void updateText() override;
    void buttonClicked(juce::Button* button) override;
    void comboBoxChanged(juce::ComboBox* box) override;

private:
    std::unique_ptr<juce::TextButton> btnOK;
    std::unique_ptr<juce::TextButton> btnCancel;
    std::unique_ptr<juce::ComboBox> cbLanguage;
    std::unique_ptr<juce::Label> lblHeader;
    std::unique_ptr<juce::Label> lblText;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(LanguageFragment)
};
