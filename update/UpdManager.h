// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

class SysExController;

// Owns what the wizard transfers: the firmware message loaded from the update package beside
// the executable, its version text, and the one SysEx controller that sends it.
class UpdManager
{
public:
    UpdManager();
    ~UpdManager();

    // Finds fileName beside the executable, checks it against deviceName and, when it passes,
    // keeps its payload as the firmware message and its version text.
    bool loadUpd(juce::StringRef fileName, juce::StringRef deviceName);

    // CRC-16/XMODEM of the range; 0 for a length of 0 or less.
    juce::uint16 calcCRC(const juce::uint8* data, juce::int64 length) const;

    JUCE_DECLARE_SINGLETON(UpdManager, false)

    // Written only by loadUpd on the message thread, before any transfer thread reads them.
    std::unique_ptr<SysExController> controller;
    std::unique_ptr<juce::MidiMessage> message;
    juce::String version;

private:
    JUCE_DECLARE_NON_COPYABLE(UpdManager)
};
