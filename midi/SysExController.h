// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/MidiOutputService.h"

#include <juce_audio_basics/juce_audio_basics.h>

// Holds the one MIDI output port the wizard works with and sends the firmware on it as one
// System Exclusive message, watching that the port stays listed while the send runs.
class SysExController
{
public:
    SysExController() = default;
    ~SysExController();

    // Position of the first listed port whose name equals name ignoring case, or -1.
    int indexOfDevice(const char* name) const;

    bool connectDevice(const char* name);
    bool connectDevice(int index);
    void disconnectDevice();

    // Blocks until the whole message has gone out (true), or the port vanished, the service
    // refused the send or the message is not SysEx (false). The port stays open either way.
    bool sendMessage(juce::MidiMessage& message) const;

    // The name under which the open port was listed when opened; empty when disconnected.
    const juce::String& getConnectedName() const noexcept { return connectedName; }

private:
    bool isConnectedPortListed() const;

    std::unique_ptr<MidiOutputPort> port;
    juce::String connectedName;

    JUCE_DECLARE_NON_COPYABLE(SysExController)
};
