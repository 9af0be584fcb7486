// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/AlsaSequencer.h"

#include <juce_core/juce_core.h>

#include <alsa/asoundlib.h>

#include <atomic>
#include <thread>
#include <vector>

// Helpers for the tests that need a real ALSA sequencer (the alsa-vm harness provides one).

// The host file that receives the serial MIDI port's wire bytes under run-in-vm -u, or empty.
juce::String serialCaptureFile();

// One SysEx message of the given size with 7-bit pseudo-random data between F0 and F7.
std::vector<juce::uint8> makeSysEx(size_t size, juce::int64 seed);

// The bytes as they were meant, without the port-select pairs (F5 01) the serial driver adds.
std::vector<juce::uint8> withoutPortSelects(const std::vector<juce::uint8>& wire);

// Time in seconds on CLOCK_MONOTONIC, the clock virtual-synth stamps its lines with.
double monotonicSeconds();

struct ToolRun
{
    int exitCode = -1;
    juce::String output;
};

// Runs a program to its end; streams picks stdout, stderr or both.
ToolRun runTool(const juce::StringArray& command, int streams);

// A virtual-synth process, started with the options and stopped when the object goes.
class VirtualSynth
{
public:
    explicit VirtualSynth(const juce::StringArray& options);
    ~VirtualSynth();

    // True once it has printed "ready": its port is listed from then on.
    bool isReady() const { return ready; }

    // The next line it prints; empty once it has ended (it gives up after 30 s without input).
    juce::String nextLine();

private:
    juce::ChildProcess process;
    bool ready = false;
};

// A sequencer client of this process with ports of the given capabilities.
class TestClient
{
public:
    struct Port
    {
        const char* name;
        unsigned capabilities;
    };

    TestClient(const char* name, const std::vector<Port>& ports);
    ~TestClient();

private:
    snd_seq_t* seq = nullptr;
};

// Reads a raw MIDI input device on its own thread into a buffer the tests compare.
class RawMidiReader
{
public:
    explicit RawMidiReader(const char* device);
    ~RawMidiReader();

    bool isOpen() const { return input != nullptr; }

    // Waits until count bytes have arrived or nothing has come for a while; returns them.
    std::vector<juce::uint8> waitFor(size_t count);

private:
    void read();

    snd_rawmidi_t* input = nullptr;
    std::atomic<bool> stopping{false};
    std::atomic<size_t> received{0};
    std::vector<juce::uint8> bytes;
    std::thread reader;
};
