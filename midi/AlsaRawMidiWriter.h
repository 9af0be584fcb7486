// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/SysExWriter.h"

#include <alsa/asoundlib.h>

#include <chrono>
#include <memory>

struct RawMidiCloser
{
    void operator()(snd_rawmidi_t* rawMidi) const { snd_rawmidi_close(rawMidi); }
};

// How long a kernel driver may still need to put backlog bytes on the wire, having taken `taken`
// bytes from the device in `elapsed`. Its own buffer holds at most 32 KiB, so all but that has
// gone out by now: the wire is no slower than that, nor than a 5-pin cable.
std::chrono::steady_clock::duration timeOnTheWire(double backlog, long long taken,
                                                  std::chrono::steady_clock::duration elapsed);

// Writes SysEx to the raw MIDI device behind a kernel driver's sequencer port. Sequencer events
// to such a port overrun the driver's buffer without any error; the raw device tells how much
// it still holds, so this path never gets ahead of the wire.
class AlsaRawMidiWriter final : public SysExWriter
{
public:
    // The device behind port seqPort of the card's snd-seq-midi client; null when it is busy,
    // gone, or not the one the sequencer calls portName.
    static std::unique_ptr<AlsaRawMidiWriter> open(int card, int seqPort, const char* portName);

    SendOutcome write(const std::uint8_t* data, std::size_t size, const StopTest& stop) override;

private:
    explicit AlsaRawMidiWriter(snd_rawmidi_t* rawMidi);

    // lastWrite: the size of the message's last write, which the driver may still hold after
    // it has left the device buffer.
    SendOutcome writeAll(const std::uint8_t* data, std::size_t size, const StopTest& stop,
                         std::chrono::steady_clock::time_point start, std::size_t& lastWrite);
    std::size_t nextWriteSize(std::size_t remaining, long pending) const;
    SendOutcome drain(const StopTest& stop);
    long pendingBytes() const;

    std::unique_ptr<snd_rawmidi_t, RawMidiCloser> output;
    long bufferSize = 0;
};
