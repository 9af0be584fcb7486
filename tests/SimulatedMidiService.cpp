// SPDX-License-Identifier: GPL-3.0-or-later
#include "SimulatedMidiService.h"

#include <chrono>

class SimulatedMidiService::OpenPort final : public MidiOutputPort
{
public:
    OpenPort(SimulatedMidiService& s, int portId) : service(s), id(portId) {}

    ~OpenPort() override
    {
        const std::lock_guard<std::mutex> guard(service.lock);
        if (auto* port = service.find(id))
            --port->openPorts;
    }

    MidiDestination getDestination() const override { return static_cast<MidiDestination>(id); }

private:
    SimulatedMidiService& service;
    int id;
};

SimulatedMidiService::~SimulatedMidiService()
{
    for (auto& sender : senders)
        sender.join();
}

int SimulatedMidiService::addPort(const juce::String& name)
{
    const std::lock_guard<std::mutex> guard(lock);
    Port port;
    port.id = nextId++;
    port.name = name;
    ports.push_back(port);
    return port.id;
}

void SimulatedMidiService::removePort(int id)
{
    const std::lock_guard<std::mutex> guard(lock);
    if (auto* port = find(id))
        port->listed = false;
}

void SimulatedMidiService::setRefusesOpen(int id, bool refuses)
{
    const std::lock_guard<std::mutex> guard(lock);
    if (auto* port = find(id))
        port->refusesOpen = refuses;
}

void SimulatedMidiService::vanishAfter(int id, juce::int64 bytes)
{
    const std::lock_guard<std::mutex> guard(lock);
    if (auto* port = find(id))
        port->vanishAfterBytes = bytes;
}

void SimulatedMidiService::setSubmissionStatus(int status)
{
    const std::lock_guard<std::mutex> guard(lock);
    submissionStatus = status;
}

void SimulatedMidiService::setBytesPerSecond(double rate)
{
    const std::lock_guard<std::mutex> guard(lock);
    bytesPerSecond = rate;
}

std::vector<juce::uint8> SimulatedMidiService::receivedBy(int id) const
{
    const std::lock_guard<std::mutex> guard(lock);
    const auto* port = find(id);
    return port != nullptr ? port->received : std::vector<juce::uint8>{};
}

bool SimulatedMidiService::isOpen(int id) const
{
    const std::lock_guard<std::mutex> guard(lock);
    const auto* port = find(id);
    return port != nullptr && port->openPorts > 0;
}

int SimulatedMidiService::openCount(int id) const
{
    const std::lock_guard<std::mutex> guard(lock);
    const auto* port = find(id);
    return port != nullptr ? port->opens : 0;
}

int SimulatedMidiService::listingCount() const
{
    const std::lock_guard<std::mutex> guard(lock);
    return listings;
}

bool SimulatedMidiService::isSending() const
{
    return activeSends.load() > 0;
}

juce::StringArray SimulatedMidiService::getDevices()
{
    const std::lock_guard<std::mutex> guard(lock);
    ++listings;
    juce::StringArray names;
    for (const auto& port : ports)
        if (port.listed)
            names.add(port.name);
    return names;
}

std::unique_ptr<MidiOutputPort> SimulatedMidiService::openDevice(int index)
{
    const std::lock_guard<std::mutex> guard(lock);
    int position = 0;
    for (auto& port : ports)
    {
        if (!port.listed || position++ != index)
            continue;
        if (port.refusesOpen)
            return nullptr;
        ++port.openPorts;
        ++port.opens;
        return std::make_unique<OpenPort>(*this, port.id);
    }
    return nullptr;
}

int SimulatedMidiService::sendSysEx(std::shared_ptr<SysExSendRequest> request)
{
    const std::lock_guard<std::mutex> guard(lock);
    if (submissionStatus != 0)
        return submissionStatus;

    std::promise<void> released;
    request->senderReleased = released.get_future();
    ++activeSends;
    senders.emplace_back(&SimulatedMidiService::send, this, std::move(request),
                         std::move(released));
    return 0;
}

size_t SimulatedMidiService::deliver(int id, const juce::uint8* bytes, size_t count)
{
    const std::lock_guard<std::mutex> guard(lock);
    auto* port = find(id);
    if (port == nullptr || !port->listed)
        return 0;

    if (port->vanishAfterBytes >= 0)
    {
        const auto room = static_cast<size_t>(juce::jmax<juce::int64>(
            0, port->vanishAfterBytes - static_cast<juce::int64>(port->received.size())));
        count = std::min(count, room);
    }

    port->received.insert(port->received.end(), bytes, bytes + count);

    if (port->vanishAfterBytes >= 0 &&
        static_cast<juce::int64>(port->received.size()) >= port->vanishAfterBytes)
        port->listed = false;

    return count;
}

void SimulatedMidiService::send(std::shared_ptr<SysExSendRequest> request,
                                std::promise<void> released)
{
    double rate;
    {
        const std::lock_guard<std::mutex> guard(lock);
        rate = bytesPerSecond;
    }

    // Bytes per 1 ms tick when paced; large chunks otherwise.
    const auto chunk =
        rate > 0 ? std::max<size_t>(1, static_cast<size_t>(rate / 1000)) : size_t{4096};
    const auto id = static_cast<int>(request->destination);
    size_t sent = 0;

    while (!request->complete.load())
    {
        const auto wanted = std::min(chunk, request->bytesToSend - sent);
        const auto delivered = deliver(id, request->data + sent, wanted);
        sent += delivered;

        if (sent == request->bytesToSend)
        {
            request->complete = true;
            break;
        }

        // A vanished port takes no more bytes; like the platform, wait to be told to abort.
        if (delivered < wanted || rate > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    --activeSends;
    released.set_value();
}

SimulatedMidiService::Port* SimulatedMidiService::find(int id)
{
    for (auto& port : ports)
        if (port.id == id)
            return &port;
    return nullptr;
}

const SimulatedMidiService::Port* SimulatedMidiService::find(int id) const
{
    for (const auto& port : ports)
        if (port.id == id)
            return &port;
    return nullptr;
}
