// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <juce_core/juce_core.h>

#include <atomic>
#include <future>
#include <memory>

// The platform's handle for the place an open port sends to.
using MidiDestination = juce::uint32;

// One asynchronous System Exclusive send, shaped after the platform's documented request record.
struct SysExSendRequest
{
    MidiDestination destination = 0;
    const juce::uint8* data = nullptr;
    juce::uint32 bytesToSend = 0;

    // Set by the sending side when the last byte has gone out, or by the caller to abort.
    std::atomic<bool> complete{false};

    // Set by the sending side before it sets complete when it had to stop short (the receiver
    // vanished or refused data): a failed send must still end the caller's wait, and complete
    // alone would read as success.
    std::atomic<bool> failed{false};

    // Filled by the service when it accepts the request; ready once the sending side will never
    // touch the request or its bytes again. Whoever frees the bytes waits for it first.
    std::future<void> senderReleased;
};

// An open output port. Destroying it closes the port and releases its platform resources.
class MidiOutputPort
{
public:
    virtual ~MidiOutputPort() = default;
    virtual MidiDestination getDestination() const = 0;
};

// The platform's MIDI output service: the ordered list of output ports, opening one by its
// position in that list, and an asynchronous SysEx send. Every operation is safe from any thread.
class MidiOutputService
{
public:
    virtual ~MidiOutputService() = default;

    // The output port names now present, in the service's order; never cached by callers.
    virtual juce::StringArray getDevices() = 0;

    // Opens the port at that position of the current list; null if outside it or refused.
    virtual std::unique_ptr<MidiOutputPort> openDevice(int index) = 0;

    // Submits the request. 0 means accepted: the service then sends in the background, sets
    // request->complete after the last byte (request->failed first if it could not deliver them
    // all) and honours the caller setting it to abort.
    virtual int sendSysEx(std::shared_ptr<SysExSendRequest> request) = 0;
};

// The service the program uses: the platform's own unless a test has installed another.
MidiOutputService& getMidiOutputService();

// Installs a replacement service (tests only); null restores the platform's service.
void installMidiOutputService(std::unique_ptr<MidiOutputService> service);

// The platform's service, created on first use.
std::unique_ptr<MidiOutputService> createPlatformMidiOutputService();
