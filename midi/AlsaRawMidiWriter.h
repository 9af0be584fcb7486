// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/SysExWriter.h"

#include <alsa/asoundlib.h>

#include <memory>

struct RawMidiCloser
{
    void operator()(snd_rawmidi_t* rawMidi) const { snd_rawmidi_close(rawMidi); }
};

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

    SendOutcome writeAll(const std::uint8_t* data, std::size_t size, const StopTest& stop);
    std::size_t nextWriteSize(std::size_t remaining, long pending) const;
    SendOutcome drain(const StopTest& stop);
    long pendingBytes() const;

    std::unique_ptr<snd_rawmidi_t, RawMidiCloser> output;
    long bufferSize = 0;
};
