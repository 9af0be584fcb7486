// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/AlsaSequencer.h"

#include <juce_core/juce_core.h>

#include <mutex>
#include <vector>

// How bytes reach a listed port without being lost on the way.
enum class AlsaPortKind
{
    rawMidi,        // a kernel MIDI driver's port: its raw MIDI device takes the bytes
    userClient,     // a program's port: events, paced by the room left in its input pool
    kernelSoftware, // a kernel port with no device behind it (Midi Through, VirMIDI)
};

struct AlsaPort
{
    juce::String name; // as listed
    int client = 0;
    int port = 0;
    AlsaPortKind kind = AlsaPortKind::userClient;
    int card = -1;         // the sound card of a kernel client, or -1
    juce::String portName; // the sequencer's own name for the port
};

// The writable sequencer ports of all other clients, ordered by client and port. The transfer
// thread lists every millisecond while the message thread may list too: one long-lived client
// answers, one caller at a time, from the list it keeps. It queries the sequencer again only
// after the system's announcements of clients and ports that came or went, because the query
// walks every possible client number and costs a few hundred microseconds under emulation.
class AlsaPortDirectory
{
public:
    std::vector<AlsaPort> list();

private:
    bool open();
    bool hasChanged();
    std::vector<AlsaPort> query();
    void addPortsOf(snd_seq_client_info_t* client, std::vector<AlsaPort>& ports);

    std::mutex lock;
    SequencerHandle seq;
    bool isWatching = false;
    bool isStale = true;
    std::vector<AlsaPort> known;
};
