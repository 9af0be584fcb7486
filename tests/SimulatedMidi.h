// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "SimulatedMidiService.h"

#include <juce_audio_basics/juce_audio_basics.h>

// Installs a fresh simulated MIDI service for the scope of a test.
struct ScopedSimulatedMidi
{
    SimulatedMidiService& midi;

    ScopedSimulatedMidi() : ScopedSimulatedMidi(std::make_unique<SimulatedMidiService>()) {}
    ~ScopedSimulatedMidi() { installMidiOutputService(nullptr); }

private:
    explicit ScopedSimulatedMidi(std::unique_ptr<SimulatedMidiService> service) : midi(*service)
    {
        installMidiOutputService(std::move(service));
    }
};

// A SysEx message F0 7D, then counting bytes, then F7: size bytes in all.
inline std::vector<juce::uint8> sysExBytes(size_t size)
{
    std::vector<juce::uint8> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<juce::uint8>(i % 0x80);
    bytes.front() = 0xF0;
    if (size > 1)
        bytes[1] = 0x7D;
    if (size > 2)
        bytes.back() = 0xF7;
    return bytes;
}

inline juce::MidiMessage messageOf(const std::vector<juce::uint8>& bytes)
{
    return juce::MidiMessage(bytes.data(), static_cast<int>(bytes.size()), 0.0);
}
