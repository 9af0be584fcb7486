// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/AlsaPortDirectory.h"
#include "midi/AlsaRawMidiWriter.h"
#include "midi/AlsaSeqWriter.h"
#include "midi/MidiOutputService.h"

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <thread>
#include <vector>

namespace
{
class AlsaOutputPort;

// The open ports, so that a send request can find its port by destination. Ports and the
// service share it, as either may go first.
class PortRegistry
{
public:
    void add(AlsaOutputPort* port);
    void remove(AlsaOutputPort* port);
    int submit(std::shared_ptr<SysExSendRequest> request);

private:
    std::mutex lock;
    std::vector<AlsaOutputPort*> ports;
};

// One open port and, while a send runs, the thread that sends on it.
class AlsaOutputPort final : public MidiOutputPort
{
public:
    AlsaOutputPort(MidiDestination destination, std::unique_ptr<SysExWriter> writer,
                   std::shared_ptr<PortRegistry> registry);
    ~AlsaOutputPort() override;

    MidiDestination getDestination() const override { return destination; }

    // Called under the registry's lock, so the port cannot close meanwhile.
    int start(std::shared_ptr<SysExSendRequest> request);

private:
    void send(std::shared_ptr<SysExSendRequest> request, std::promise<void> released);

    const MidiDestination destination;
    const std::unique_ptr<SysExWriter> writer;
    const std::shared_ptr<PortRegistry> registry;
    std::atomic<bool> closing{false};
    std::atomic<bool> sending{false};
    std::thread sender;
};

void PortRegistry::add(AlsaOutputPort* port)
{
    const std::lock_guard<std::mutex> guard(lock);
    ports.push_back(port);
}

void PortRegistry::remove(AlsaOutputPort* port)
{
    const std::lock_guard<std::mutex> guard(lock);
    ports.erase(std::remove(ports.begin(), ports.end(), port), ports.end());
}

int PortRegistry::submit(std::shared_ptr<SysExSendRequest> request)
{
    const std::lock_guard<std::mutex> guard(lock);

    // The latest port opened for the destination: the one its owner is using.
    for (auto it = ports.rbegin(); it != ports.rend(); ++it)
        if ((*it)->getDestination() == request->destination)
            return (*it)->start(std::move(request));

    return -ENODEV;
}

AlsaOutputPort::AlsaOutputPort(MidiDestination d, std::unique_ptr<SysExWriter> w,
                               std::shared_ptr<PortRegistry> r)
    : destination(d), writer(std::move(w)), registry(std::move(r))
{
    registry->add(this);
}

AlsaOutputPort::~AlsaOutputPort()
{
    registry->remove(this);
    closing = true;

    if (sender.joinable())
        sender.join();
}

int AlsaOutputPort::start(std::shared_ptr<SysExSendRequest> request)
{
    if (sending.load())
        return -EBUSY;

    if (sender.joinable())
        sender.join(); // the previous send, already past its last touch of anything

    std::promise<void> released;
    request->senderReleased = released.get_future();
    sending = true;

    try
    {
        sender = std::thread(&AlsaOutputPort::send, this, std::move(request), std::move(released));
    }
    catch (const std::system_error&)
    {
        sending = false;
        return -EAGAIN;
    }

    return 0;
}

void AlsaOutputPort::send(std::shared_ptr<SysExSendRequest> request, std::promise<void> released)
{
    const auto stop = [this, &request] { return request->complete.load() || closing.load(); };
    const auto outcome = writer->write(request->data, request->bytesToSend, stop);

    // Also when the caller aborted: then it no longer looks, and false is what it reports anyway.
    if (outcome != SendOutcome::sent)
        request->failed = true;

    request->complete = true;
    request.reset();
    sending = false;
    released.set_value(); // the thread's last touch of anything it shares
}

std::unique_ptr<SysExWriter> openWriter(const AlsaPort& port)
{
    switch (port.kind)
    {
    case AlsaPortKind::rawMidi:
        return AlsaRawMidiWriter::open(port.card, port.port, port.portName.toRawUTF8());
    case AlsaPortKind::userClient:
        return AlsaSeqWriter::open(port.client, port.port, AlsaSeqWriter::Pacing::receiverRoom);
    case AlsaPortKind::kernelSoftware:
        return AlsaSeqWriter::open(port.client, port.port, AlsaSeqWriter::Pacing::fixedRate);
    }

    return nullptr;
}

// The ALSA sequencer's writable ports; hardware behind a kernel driver is written through its
// raw MIDI device, everything else through the sequencer.
class AlsaMidiOutputService final : public MidiOutputService
{
public:
    juce::StringArray getDevices() override
    {
        juce::StringArray names;
        for (const auto& port : directory.list())
            names.add(port.name);

        return names;
    }

    std::unique_ptr<MidiOutputPort> openDevice(int index) override
    {
        const auto ports = directory.list();
        if (index < 0 || static_cast<size_t>(index) >= ports.size())
            return nullptr;

        const auto& port = ports[static_cast<size_t>(index)];
        auto writer = openWriter(port);
        if (writer == nullptr)
            return nullptr;

        const auto destination = static_cast<MidiDestination>(port.client << 8 | port.port);
        return std::make_unique<AlsaOutputPort>(destination, std::move(writer), registry);
    }

    int sendSysEx(std::shared_ptr<SysExSendRequest> request) override
    {
        if (request == nullptr || request->data == nullptr || request->bytesToSend == 0)
            return -EINVAL;

        return registry->submit(std::move(request));
    }

private:
    AlsaPortDirectory directory;
    const std::shared_ptr<PortRegistry> registry = std::make_shared<PortRegistry>();
};
} // namespace

std::unique_ptr<MidiOutputService> createPlatformMidiOutputService()
{
    return std::make_unique<AlsaMidiOutputService>();
}
