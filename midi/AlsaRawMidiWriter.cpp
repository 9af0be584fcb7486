// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/AlsaRawMidiWriter.h"

#include <algorithm>
#include <string>
#include <thread>

// Some drivers (the 16550 UART's among them) move bytes from the device buffer into their own
// only when a write arrives, never from their interrupt. Once their own buffer is full, a full
// device buffer would wait forever for a write it refuses, and so did a blocking writer here. So
// the device buffer is kept short and gets at least one byte every tick while bytes remain; the
// last few are held back until the driver has taken everything before them and has had time to
// put it on the wire, so that their one write finds room. Closing the device throws away what
// the driver still holds, so the send ends only once that last write has had time to go out too.

namespace
{
// snd-seq-midi numbers a card's ports device * 32 + subdevice (256 ports over the 8 raw MIDI
// devices a card may have).
constexpr int portsPerDevice = 32;

constexpr std::chrono::milliseconds tick{1};
constexpr long targetPending = 256; // at most 256 KB/s, well above any MIDI interface
constexpr std::size_t heldBack = 512;
constexpr double driverBufferBytes = 32768; // the 16550 UART driver's, the largest we know
constexpr double slowestWireRate = 3125;    // bytes/s, a 5-pin cable

using Clock = std::chrono::steady_clock;

// Holds the message's last write back until the driver's own buffer has had time to empty.
class LastWriteGate
{
public:
    explicit LastWriteGate(Clock::time_point sendStart) : start(sendStart) {}

    bool isOpen(long long taken)
    {
        if (opensAt == notYetAsked)
            opensAt = Clock::now() +
                      timeOnTheWire(std::min(driverBufferBytes, static_cast<double>(taken)), taken,
                                    Clock::now() - start);

        return Clock::now() >= opensAt;
    }

private:
    static constexpr Clock::time_point notYetAsked = Clock::time_point::max();

    const Clock::time_point start;
    Clock::time_point opensAt = notYetAsked;
};

// snd-seq-midi names a port after its raw MIDI subdevice when the driver names that.
bool isTheDeviceNamed(snd_rawmidi_t* rawMidi, const char* portName)
{
    snd_rawmidi_info_t* info = nullptr;
    snd_rawmidi_info_alloca(&info);
    if (snd_rawmidi_info(rawMidi, info) < 0)
        return false;

    const std::string subdeviceName = snd_rawmidi_info_get_subdevice_name(info);
    return subdeviceName.empty() || subdeviceName == portName;
}

long bufferSizeOf(snd_rawmidi_t* rawMidi)
{
    snd_rawmidi_params_t* params = nullptr;
    snd_rawmidi_params_alloca(&params);
    if (snd_rawmidi_params_current(rawMidi, params) < 0)
        return 0;

    return static_cast<long>(snd_rawmidi_params_get_buffer_size(params));
}

// Waits in ticks, so that an abort still acts at once.
SendOutcome waitFor(Clock::duration time, const StopTest& stop)
{
    for (const auto end = Clock::now() + time; Clock::now() < end;)
    {
        if (stop())
            return SendOutcome::stopped;
        std::this_thread::sleep_for(tick);
    }
    return SendOutcome::sent;
}
} // namespace

Clock::duration timeOnTheWire(double backlog, long long taken, Clock::duration elapsed)
{
    const auto seconds = std::chrono::duration<double>(elapsed).count();
    const auto gone = static_cast<double>(taken) - driverBufferBytes;
    const auto rate = std::max(slowestWireRate, seconds > 0 ? gone / seconds : 0.0);
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(std::max(0.0, backlog) / rate));
}

std::unique_ptr<AlsaRawMidiWriter> AlsaRawMidiWriter::open(int card, int seqPort,
                                                           const char* portName)
{
    const auto name = "hw:" + std::to_string(card) + "," +
                      std::to_string(seqPort / portsPerDevice) + "," +
                      std::to_string(seqPort % portsPerDevice);

    // A blocking open would wait for as long as another program holds the device.
    snd_rawmidi_t* rawMidi = nullptr;
    if (snd_rawmidi_open(nullptr, &rawMidi, name.c_str(), SND_RAWMIDI_NONBLOCK) < 0)
        return nullptr;

    std::unique_ptr<AlsaRawMidiWriter> writer(new AlsaRawMidiWriter(rawMidi));
    if (writer->bufferSize <= targetPending || !isTheDeviceNamed(rawMidi, portName))
        return nullptr;

    return writer;
}

AlsaRawMidiWriter::AlsaRawMidiWriter(snd_rawmidi_t* rawMidi)
    : output(rawMidi), bufferSize(bufferSizeOf(rawMidi))
{
}

SendOutcome AlsaRawMidiWriter::write(const std::uint8_t* data, std::size_t size,
                                     const StopTest& stop)
{
    const auto start = Clock::now();
    std::size_t lastWrite = 0;
    auto outcome = writeAll(data, size, stop, start, lastWrite);
    if (outcome == SendOutcome::sent)
        outcome = drain(stop);
    if (outcome == SendOutcome::sent)
        outcome = waitFor(timeOnTheWire(static_cast<double>(lastWrite),
                                        static_cast<long long>(size), Clock::now() - start),
                          stop);

    // What an aborted send left in the buffer must neither go out ahead of the next message
    // nor hold up closing the port, which waits for the buffer to empty.
    if (outcome != SendOutcome::sent)
        snd_rawmidi_drop(output.get());

    return outcome;
}

SendOutcome AlsaRawMidiWriter::writeAll(const std::uint8_t* data, std::size_t size,
                                        const StopTest& stop, Clock::time_point start,
                                        std::size_t& lastWrite)
{
    StallWatch watch;
    LastWriteGate gate(start);
    std::size_t written = 0;
    long long taken = 0; // by the driver, from the device buffer

    while (written < size)
    {
        const auto pending = pendingBytes();
        if (stop())
            return SendOutcome::stopped;
        if (pending < 0 || watch.stalled())
            return SendOutcome::failed;

        if (static_cast<long long>(written) - pending > taken)
        {
            taken = static_cast<long long>(written) - pending;
            watch.progressed();
        }

        auto count = nextWriteSize(size - written, pending);
        if (count == size - written && !gate.isOpen(taken))
            count = 0;

        const auto result = count > 0 ? snd_rawmidi_write(output.get(), data + written, count) : 0;
        if (result < 0 && result != -EAGAIN)
            return SendOutcome::failed; // unplugged, typically

        if (result > 0)
        {
            written += static_cast<std::size_t>(result);
            lastWrite = static_cast<std::size_t>(result);
        }
        std::this_thread::sleep_for(tick);
    }

    return SendOutcome::sent;
}

std::size_t AlsaRawMidiWriter::nextWriteSize(std::size_t remaining, long pending) const
{
    if (remaining > heldBack)
        return std::min(remaining - heldBack,
                        static_cast<std::size_t>(std::max(1L, targetPending - pending)));

    // Held-back bytes go one per tick while the driver still has to be woken, then all at once.
    if (pending > 0)
        return remaining > 1 ? 1 : 0;

    return remaining;
}

// Waits in short steps until the device's buffer is empty, so that an abort still acts at once.
SendOutcome AlsaRawMidiWriter::drain(const StopTest& stop)
{
    StallWatch watch;
    auto lastPending = pendingBytes();

    while (lastPending != 0)
    {
        if (stop())
            return SendOutcome::stopped;

        if (lastPending < 0 || watch.stalled())
            return SendOutcome::failed;

        std::this_thread::sleep_for(tick);
        const auto pending = pendingBytes();
        if (pending < lastPending)
            watch.progressed();
        lastPending = pending;
    }

    // With the buffer empty, this only gives the driver its moment to flush the hardware.
    return snd_rawmidi_drain(output.get()) < 0 ? SendOutcome::failed : SendOutcome::sent;
}

long AlsaRawMidiWriter::pendingBytes() const
{
    snd_rawmidi_status_t* status = nullptr;
    snd_rawmidi_status_alloca(&status);
    if (snd_rawmidi_status(output.get(), status) < 0)
        return -1;

    return bufferSize - static_cast<long>(snd_rawmidi_status_get_avail(status));
}
