// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/AlsaPortDirectory.h"

namespace
{
constexpr unsigned listedCapabilities = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;

// snd-seq-midi gives exactly this type to the ports it puts in front of a raw MIDI device;
// VirMIDI, synth drivers and UMP endpoints differ, so none of them is mistaken for one.
constexpr unsigned driverPortType =
    SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_HARDWARE | SND_SEQ_PORT_TYPE_PORT;

AlsaPortKind kindOf(const snd_seq_client_info_t* client, const snd_seq_port_info_t* port)
{
    if (snd_seq_client_info_get_type(client) == SND_SEQ_USER_CLIENT)
        return AlsaPortKind::userClient;

    if (snd_seq_client_info_get_card(client) >= 0 &&
        snd_seq_port_info_get_type(port) == driverPortType)
        return AlsaPortKind::rawMidi;

    return AlsaPortKind::kernelSoftware;
}

// A device's second port usually repeats the device name ("KX MIDI 2"); when it does not, the
// client name goes in front so that the entry still says which device it belongs to.
juce::String furtherPortName(const juce::String& clientName, const juce::String& portName)
{
    if (portName.startsWithIgnoreCase(clientName))
        return portName;

    return clientName + " " + portName;
}

bool isTakenBefore(const std::vector<AlsaPort>& ports, size_t index)
{
    for (size_t i = 0; i < index; ++i)
        if (ports[i].name.equalsIgnoreCase(ports[index].name))
            return true;

    return false;
}

// Two identical devices must not share a name: the user could not tell them apart, and a
// vanished one would still look present.
void makeNamesDistinct(std::vector<AlsaPort>& ports)
{
    for (size_t i = 0; i < ports.size(); ++i)
    {
        const auto base = ports[i].name;

        for (int n = 2; isTakenBefore(ports, i); ++n)
            ports[i].name = base + " #" + juce::String(n);
    }
}
} // namespace

std::vector<AlsaPort> AlsaPortDirectory::list()
{
    const std::lock_guard<std::mutex> guard(lock);

    // Opened on demand, so a sequencer that appears later is still found.
    if (seq == nullptr && !open())
        return {};

    if (hasChanged() || isStale || !isWatching)
    {
        known = query();
        isStale = false;
    }

    return known;
}

bool AlsaPortDirectory::open()
{
    seq = openSequencer(SND_SEQ_OPEN_DUPLEX);
    if (seq == nullptr)
        return false;

    // Reading announcements must never wait; the port is ours alone, listed nowhere.
    snd_seq_nonblock(seq.get(), 1);
    const auto port = snd_seq_create_simple_port(
        seq.get(), ownClientName, SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
        SND_SEQ_PORT_TYPE_APPLICATION);
    isWatching = port >= 0 && snd_seq_connect_from(seq.get(), port, SND_SEQ_CLIENT_SYSTEM,
                                                   SND_SEQ_PORT_SYSTEM_ANNOUNCE) >= 0;
    isStale = true;
    return true;
}

// True after any announcement, or when some were lost.
bool AlsaPortDirectory::hasChanged()
{
    auto changed = false;

    for (;;)
    {
        snd_seq_event_t* event = nullptr;
        const auto result = snd_seq_event_input(seq.get(), &event);

        if (result == -EAGAIN)
            return changed;
        if (result < 0 && result != -ENOSPC)
            return true;

        changed = true;
    }
}

std::vector<AlsaPort> AlsaPortDirectory::query()
{
    std::vector<AlsaPort> ports;
    const auto self = snd_seq_client_id(seq.get());
    snd_seq_client_info_t* client = nullptr;
    snd_seq_client_info_alloca(&client);
    snd_seq_client_info_set_client(client, -1);

    while (snd_seq_query_next_client(seq.get(), client) >= 0)
    {
        const auto id = snd_seq_client_info_get_client(client);
        if (id != SND_SEQ_CLIENT_SYSTEM && id != self)
            addPortsOf(client, ports);
    }

    makeNamesDistinct(ports);
    return ports;
}

void AlsaPortDirectory::addPortsOf(snd_seq_client_info_t* client, std::vector<AlsaPort>& ports)
{
    const auto id = snd_seq_client_info_get_client(client);
    auto clientName = juce::String::fromUTF8(snd_seq_client_info_get_name(client)).trim();
    if (clientName.isEmpty())
        clientName = "Client " + juce::String(id);

    snd_seq_port_info_t* info = nullptr;
    snd_seq_port_info_alloca(&info);
    snd_seq_port_info_set_client(info, id);
    snd_seq_port_info_set_port(info, -1);
    auto first = true;

    while (snd_seq_query_next_port(seq.get(), info) >= 0)
    {
        const auto caps = snd_seq_port_info_get_capability(info);
        if ((caps & listedCapabilities) != listedCapabilities ||
            (caps & SND_SEQ_PORT_CAP_NO_EXPORT))
            continue;

        AlsaPort port;
        port.client = id;
        port.port = snd_seq_port_info_get_port(info);
        port.kind = kindOf(client, info);
        port.card = snd_seq_client_info_get_card(client);
        port.portName = juce::String::fromUTF8(snd_seq_port_info_get_name(info)).trim();
        port.name = first ? clientName : furtherPortName(clientName, port.portName);
        first = false;
        ports.push_back(port);
    }
}
