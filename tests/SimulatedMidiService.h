// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/MidiOutputService.h"

#include <mutex>
#include <thread>
#include <vector>

// A MIDI output service the tests drive: ports appear and vanish (also part-way through a send),
// refuse to open, a submission can be refused, sends can be paced, and every byte a port
// receives is recorded.
class SimulatedMidiService final : public MidiOutputService
{
public:
    ~SimulatedMidiService() override;

    // Adds a listed port at the end of the list; returns its id.
    int addPort(const juce::String& name);
    void removePort(int id);
    void setRefusesOpen(int id, bool refuses);
    // The port leaves the list once it has received this many bytes of a send.
    void vanishAfter(int id, juce::int64 bytes);

    void setSubmissionStatus(int status);
    // 0 sends as fast as possible.
    void setBytesPerSecond(double rate);

    std::vector<juce::uint8> receivedBy(int id) const;
    bool isOpen(int id) const;
    int openCount(int id) const;
    int listingCount() const;
    bool isSending() const;

    juce::StringArray getDevices() override;
    std::unique_ptr<MidiOutputPort> openDevice(int index) override;
    int sendSysEx(std::shared_ptr<SysExSendRequest> request) override;

private:
    struct Port
    {
        int id = 0;
        juce::String name;
        bool listed = true;
        bool refusesOpen = false;
        int openPorts = 0;
        int opens = 0;
        juce::int64 vanishAfterBytes = -1;
        std::vector<juce::uint8> received;
    };

    class OpenPort;

    Port* find(int id);
    const Port* find(int id) const;
    void send(std::shared_ptr<SysExSendRequest> request, std::promise<void> released);
    // Delivers up to count bytes; returns how many went before the port vanished.
    size_t deliver(int id, const juce::uint8* bytes, size_t count);

    mutable std::mutex lock;
    std::vector<Port> ports;
    int nextId = 1;
    int submissionStatus = 0;
    double bytesPerSecond = 0;
    int listings = 0;
    std::atomic<int> activeSends{0};
    std::vector<std::thread> senders;
};
