// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/AlsaSequencer.h"
#include "midi/SeqInputRoom.h"
#include "midi/SysExWriter.h"

#include <memory>

// Sends SysEx to a sequencer port as events addressed to that port alone, not to our port's
// subscribers: those would go nowhere, without an error, once the receiver has gone.
class AlsaSeqWriter final : public SysExWriter
{
public:
    enum class Pacing
    {
        // A program's port: each event waits for room in the receiver's input pool. The
        // kernel empties a pool that overflows, so an event it refuses means lost data.
        receiverRoom,
        // A kernel port with no pool and no back-pressure: a fixed rate its readers keep up with.
        fixedRate
    };

    // Null when the sequencer refuses us a client or the port is no longer there.
    static std::unique_ptr<AlsaSeqWriter> open(int client, int port, Pacing pacing);

    SendOutcome write(const std::uint8_t* data, std::size_t size, const StopTest& stop) override;

private:
    AlsaSeqWriter(SequencerHandle handle, int sourcePort, snd_seq_addr_t destination, Pacing p);

    // How a wait ended and, when the send may go on, what it may do without asking again.
    struct Room
    {
        SendOutcome outcome;
        int events;
    };
    struct FreeCells
    {
        SendOutcome outcome;
        int cells;
    };

    Room makeRoom(int cells, const StopTest& stop);
    FreeCells waitForFreeCells(int cells, const StopTest& stop);
    int output(const std::uint8_t* bytes, std::size_t count);
    SeqInputRoom receiverRoom() const;

    SequencerHandle seq;
    int source;
    snd_seq_addr_t dest;
    Pacing pacing;
    int fd = -1;
};
