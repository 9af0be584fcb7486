// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "wizard/Fragment.h"

// The user picks the MIDI interface's output port. The synthesizer's own USB port is not
// offered here; a choice is opened by its position in the full port list.
class DeviceFragment : public Fragment,
                       public juce::Button::Listener,
                       public juce::ComboBox::Listener
{
public:
    DeviceFragment();
    ~DeviceFragment() override;

    void paint(juce::Graphics& g) override;
    void resized() override;
    void updateText() override;
    void buttonClicked(juce::Button* button) override;
    void comboBoxChanged(juce::ComboBox* box) override;

    // Removes name (ignoring case) from list and records the positions of its ports in the
    // full port list.
    void excludeDevice(juce::StringArray& list, juce::StringRef name);

private:
    // Position in the full port list of the offered item with this ID; -1 for no selection.
    int portPositionOf(int itemId);

    juce::Array<int> excludedPositions;
    std::unique_ptr<juce::TextButton> btnOK;
    std::unique_ptr<juce::TextButton> btnCancel;
    std::unique_ptr<juce::ComboBox> cbDevice;
    std::unique_ptr<juce::Label> lblHeader;
    std::unique_ptr<juce::Label> lblText;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(DeviceFragment)
};
