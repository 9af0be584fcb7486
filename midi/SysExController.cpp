// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/SysExController.h"

#include <unistd.h>

SysExController::~SysExController()
{
    disconnectDevice();
}

int SysExController::indexOfDevice(const char* name) const
{
    const auto devices = getMidiOutputService().getDevices();
    const auto wanted = juce::String::fromUTF8(name);

    for (int i = 0; i < devices.size(); ++i)
        if (devices[i].equalsIgnoreCase(wanted))
            return i;

    return -1;
}

bool SysExController::connectDevice(const char* name)
{
    return connectDevice(indexOfDevice(name));
}

bool SysExController::connectDevice(int index)
{
    auto& service = getMidiOutputService();
    const auto devices = service.getDevices();

    if (!juce::isPositiveAndBelow(index, devices.size()))
        return false;

    disconnectDevice();
    port = service.openDevice(index);

    if (port == nullptr)
        return false;

    connectedName = devices[index];
    return true;
}

void SysExController::disconnectDevice()
{
    connectedName.clear();
    port.reset();
}

bool SysExController::isConnectedPortListed() const
{
    return getMidiOutputService().getDevices().contains(connectedName);
}

bool SysExController::sendMessage(juce::MidiMessage& message) const
{
    if (!message.isSysEx())
        return false;

    if (port == nullptr || !isConnectedPortListed())
        return false;

    auto request = std::make_shared<SysExSendRequest>();
    request->destination = port->getDestination();
    request->data = message.getRawData();
    request->bytesToSend = static_cast<juce::uint32>(message.getRawDataSize());

    if (getMidiOutputService().sendSysEx(request) != 0)
        return false;

    auto result = true;

    while (!request->complete.load())
    {
        if (!isConnectedPortListed())
        {
            request->complete = true; // tells the sending side to abort
            result = false;
        }

        usleep(1000);
    }

    // A port that is gone by the time the send completes may have lost its last bytes.
    if (result && !isConnectedPortListed())
        result = false;

    // The bytes belong to the caller: never return while the sending side may still read them.
    if (request->senderReleased.valid())
        request->senderReleased.wait();

    return result && !request->failed.load();
}
