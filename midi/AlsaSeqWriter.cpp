// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/AlsaSeqWriter.h"

#include <algorithm>
#include <thread>

namespace
{
// Small events keep each one well inside any receiver's pool and let an abort act quickly.
constexpr std::size_t eventBytes = 256;

// Measured intact into VirMIDI's 4 KB raw MIDI buffer with a reader behind it.
constexpr std::chrono::microseconds fixedRateGap{1000};

constexpr std::chrono::microseconds roomPollGap{100};

// The kernel stores an event's SysEx bytes in further cells the size of an event.
int cellsFor(std::size_t bytes)
{
    return 1 + static_cast<int>((bytes + sizeof(snd_seq_event_t) - 1) / sizeof(snd_seq_event_t));
}
} // namespace

std::unique_ptr<AlsaSeqWriter> AlsaSeqWriter::open(int client, int port, Pacing pacing)
{
    auto seq = openSequencer(SND_SEQ_OPEN_OUTPUT);
    if (seq == nullptr)
        return nullptr;

    const auto source =
        snd_seq_create_simple_port(seq.get(), ownClientName, SND_SEQ_PORT_CAP_READ,
                                   SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);

    // Kernel ports drop events from senders that have not subscribed; the subscription also
    // shows other programs where we send.
    if (source < 0 || snd_seq_connect_to(seq.get(), source, client, port) < 0)
        return nullptr;

    snd_seq_addr_t destination{};
    destination.client = static_cast<unsigned char>(client);
    destination.port = static_cast<unsigned char>(port);
    return std::unique_ptr<AlsaSeqWriter>(
        new AlsaSeqWriter(std::move(seq), source, destination, pacing));
}

AlsaSeqWriter::AlsaSeqWriter(SequencerHandle handle, int sourcePort, snd_seq_addr_t destination,
                             Pacing p)
    : seq(std::move(handle)), source(sourcePort), dest(destination), pacing(p)
{
    pollfd descriptor{};
    if (snd_seq_poll_descriptors(seq.get(), &descriptor, 1, POLLOUT) == 1)
        fd = descriptor.fd;
}

SendOutcome AlsaSeqWriter::write(const std::uint8_t* data, std::size_t size, const StopTest& stop)
{
    const auto before = receiverRoom();
    if (pacing == Pacing::receiverRoom && before.error != 0)
        return SendOutcome::failed;

    // A quarter of the pool stays free for the receiver's other senders.
    const auto cellsWanted = std::min(cellsFor(eventBytes) + before.pool / 4, before.pool);
    auto eventsAllowed = 0;

    for (std::size_t offset = 0; offset < size;)
    {
        if (stop())
            return SendOutcome::stopped;

        if (eventsAllowed == 0)
        {
            const auto room = makeRoom(cellsWanted, stop);
            if (room.outcome != SendOutcome::sent)
                return room.outcome;
            eventsAllowed = room.events;
        }

        const auto count = std::min(eventBytes, size - offset);
        if (output(data + offset, count) < 0)
            return SendOutcome::failed;

        offset += count;
        --eventsAllowed;
    }

    if (pacing == Pacing::fixedRate)
        return SendOutcome::sent;

    // Accepted events wait in the receiver's pool, lost if it vanishes before reading them: the
    // send is done once the pool is back where it was, give or take one event of other traffic.
    return waitForFreeCells(before.free - cellsFor(eventBytes), stop).outcome;
}

AlsaSeqWriter::Room AlsaSeqWriter::makeRoom(int cells, const StopTest& stop)
{
    if (pacing == Pacing::fixedRate)
    {
        std::this_thread::sleep_for(fixedRateGap);
        return {stop() ? SendOutcome::stopped : SendOutcome::sent, 1};
    }

    // Only the receiver frees cells, so every event the free cells above the reserve hold can go
    // before the next question to the kernel.
    const auto room = waitForFreeCells(cells, stop);
    return {room.outcome, 1 + (room.cells - cells) / cellsFor(eventBytes)};
}

AlsaSeqWriter::FreeCells AlsaSeqWriter::waitForFreeCells(int cells, const StopTest& stop)
{
    StallWatch watch;
    auto lastFree = -1;

    for (;;)
    {
        const auto room = receiverRoom();
        if (room.error != 0)
            return {SendOutcome::failed, 0};

        if (room.free >= cells)
            return {SendOutcome::sent, room.free};

        if (room.free > lastFree)
        {
            lastFree = room.free;
            watch.progressed();
        }
        else if (watch.stalled())
            return {SendOutcome::failed, 0};

        std::this_thread::sleep_for(roomPollGap);
        if (stop())
            return {SendOutcome::stopped, 0};
    }
}

int AlsaSeqWriter::output(const std::uint8_t* bytes, std::size_t count)
{
    snd_seq_event_t event;
    snd_seq_ev_clear(&event);
    snd_seq_ev_set_source(&event, source);
    snd_seq_ev_set_dest(&event, dest.client, dest.port);
    snd_seq_ev_set_direct(&event);
    // alsa-lib only reads the bytes; its event type has no const pointer.
    snd_seq_ev_set_sysex(&event, count, const_cast<std::uint8_t*>(bytes));
    return snd_seq_event_output_direct(seq.get(), &event);
}

SeqInputRoom AlsaSeqWriter::receiverRoom() const
{
    return querySeqInputRoom(fd, dest.client);
}
