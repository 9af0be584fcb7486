// SPDX-License-Identifier: GPL-3.0-or-later
// virtual-synth: stands in for the synthesizer on the ALSA sequencer, so that transfers can be
// tried and checked without the instrument.

#include "midi/AlsaSequencer.h"
#include "update/Crc16.h"

#include <alsa/asoundlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <thread>
#include <vector>

namespace
{
constexpr int exitDone = 0, exitError = 1, exitTimedOut = 2;

// The largest input pool the kernel grants, so that big SysEx events fit while we are busy.
constexpr int largestInputPool = 2000;

// A port that goes the moment the last byte is read could look like one that vanished mid-send.
constexpr std::chrono::milliseconds countGrace{250};

const char* const usage =
    "usage: virtual-synth [OPTIONS]\n"
    "  Creates a writable sequencer port, prints \"ready CLIENT:PORT\" once it exists, and for\n"
    "  every complete SysEx message it receives (F0 ... F7, over any number of events) prints\n"
    "  \"sysex length=N crc=0xXXXX\" (CRC-16/XMODEM of the whole message).\n"
    "  --name NAME          client and port name (default \"Velkor KX-7\")\n"
    "  --output FILE        write each complete message to FILE, replacing the previous one\n"
    "  --vanish-after N     remove the port and exit (status 0) once N SysEx bytes have arrived,\n"
    "                       as an unplugged cable would; prints \"vanished after N bytes at T\",\n"
    "                       T being CLOCK_MONOTONIC seconds just after the port has gone\n"
    "  --rate BYTES_PER_S   take events no faster than this (3125: a 5-pin MIDI cable)\n"
    "  --count N            exit (status 0) after N complete messages, keeping the port a\n"
    "                       quarter of a second longer so that the sender sees them taken\n"
    "  --timeout S          exit with status 2 when no event has arrived for S seconds\n"
    "  --pool CELLS         input pool size in event cells (default and largest: 2000); a\n"
    "                       256-byte SysEx event takes 11, so below that every one is refused\n"
    "  --times              add \" first=T0 last=T1\" to each report: CLOCK_MONOTONIC seconds at\n"
    "                       which the message's first and last events were read\n"
    "  --help               this text\n"
    "Exit status: 0 done, 1 error, 2 timed out. A lost or broken message is reported on stderr.\n";

struct Options
{
    std::string name = "Velkor KX-7";
    std::string output;
    long long vanishAfter = -1;
    double rate = 0;
    long count = 0;
    double timeout = 0;
    int pool = largestInputPool;
    bool times = false;
};

double monotonicSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

bool parseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i)
    {
        const std::string option = argv[i];
        if (option == "--times")
        {
            options.times = true;
            continue;
        }
        if (i + 1 >= argc)
            return false;

        const char* value = argv[++i];
        if (option == "--name")
            options.name = value;
        else if (option == "--output")
            options.output = value;
        else if (option == "--vanish-after")
            options.vanishAfter = std::atoll(value);
        else if (option == "--rate")
            options.rate = std::atof(value);
        else if (option == "--count")
            options.count = std::atol(value);
        else if (option == "--timeout")
            options.timeout = std::atof(value);
        else if (option == "--pool")
            options.pool = std::atoi(value);
        else
            return false;
    }

    return !options.name.empty() && options.pool > 0 && options.pool <= largestInputPool;
}

bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;

    const auto written = std::fwrite(bytes.data(), 1, bytes.size(), file);
    return (std::fclose(file) == 0) && written == bytes.size();
}

// Collects the pieces of each SysEx message and reports the whole ones.
class Receiver
{
public:
    explicit Receiver(const Options& o) : options(o) {}

    // False when the port must go (the vanish point or the message count is reached).
    bool take(const std::uint8_t* bytes, std::size_t size);
    void lost();
    long long totalBytes() const { return total; }
    bool isCountReached() const { return options.count > 0 && messages >= options.count; }
    bool isVanishPointReached() const
    {
        return options.vanishAfter >= 0 && total >= options.vanishAfter;
    }
    double firstByteTime() const { return firstByte; }

private:
    void finishMessage();

    const Options& options;
    std::vector<std::uint8_t> message;
    long long total = 0;
    long messages = 0;
    double firstByte = 0;
    double messageStart = 0;
};

bool Receiver::take(const std::uint8_t* bytes, std::size_t size)
{
    if (size == 0)
        return true;

    if (total == 0)
        firstByte = monotonicSeconds();

    if (bytes[0] == 0xF0 && !message.empty())
    {
        std::fprintf(stderr, "virtual-synth: incomplete sysex length=%zu dropped\n",
                     message.size());
        message.clear();
    }

    if (message.empty())
        messageStart = monotonicSeconds();

    message.insert(message.end(), bytes, bytes + size);
    total += static_cast<long long>(size);

    if (bytes[size - 1] == 0xF7)
        finishMessage();

    return !isVanishPointReached() && !isCountReached();
}

void Receiver::finishMessage()
{
    const auto lastEvent = monotonicSeconds();
    const auto crc = crc16Xmodem(message.data(), static_cast<std::int64_t>(message.size()));

    if (!options.output.empty() && !writeFile(options.output, message))
        std::fprintf(stderr, "virtual-synth: cannot write %s\n", options.output.c_str());

    if (options.times)
        std::printf("sysex length=%zu crc=0x%04X first=%.6f last=%.6f\n", message.size(), crc,
                    messageStart, lastEvent);
    else
        std::printf("sysex length=%zu crc=0x%04X\n", message.size(), crc);
    std::fflush(stdout);
    message.clear();
    ++messages;
}

void Receiver::lost()
{
    std::fprintf(stderr, "virtual-synth: input queue overflowed, events lost; dropped %zu bytes\n",
                 message.size());
    message.clear();
}

// Holds back, leaving events in the kernel's queue, so that the sender meets a receiver no faster
// than the rate.
void keepToRate(const Options& options, const Receiver& receiver)
{
    if (options.rate <= 0)
        return;

    const auto due =
        receiver.firstByteTime() + static_cast<double>(receiver.totalBytes()) / options.rate;
    const auto wait = due - monotonicSeconds();
    if (wait > 0)
        std::this_thread::sleep_for(std::chrono::duration<double>(wait));
}

struct Sequencer
{
    snd_seq_t* seq = nullptr;
    int port = -1;

    ~Sequencer()
    {
        if (seq != nullptr)
            snd_seq_close(seq);
    }

    bool open(const Options& options)
    {
        if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK) < 0)
            return false;

        snd_seq_set_client_name(seq, options.name.c_str());
        if (snd_seq_set_client_pool_input(seq, static_cast<size_t>(options.pool)) < 0)
            return false;

        port = snd_seq_create_simple_port(
            seq, options.name.c_str(), SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
            SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
        return port >= 0;
    }

    // Removes the port and the client now, as unplugging would.
    double vanish()
    {
        snd_seq_delete_simple_port(seq, port);
        snd_seq_close(seq);
        seq = nullptr;
        return monotonicSeconds();
    }
};

// Waits for the next event; false when the time-out has passed first.
bool waitForInput(snd_seq_t* seq, double timeout)
{
    pollfd descriptors[4];
    const auto count = snd_seq_poll_descriptors(seq, descriptors, 4, POLLIN);
    const auto milliseconds = timeout > 0 ? static_cast<int>(timeout * 1000) : -1;

    return snd_seq_event_input_pending(seq, 1) > 0 ||
           poll(descriptors, static_cast<nfds_t>(count), milliseconds) > 0;
}

// Reads what has arrived; false when the port must go or the sequencer failed.
bool readEvents(Sequencer& sequencer, Receiver& receiver, const Options& options)
{
    for (;;)
    {
        snd_seq_event_t* event = nullptr;
        const auto result = snd_seq_event_input(sequencer.seq, &event);

        if (result == -EAGAIN)
            return true;
        if (result == -ENOSPC)
        {
            receiver.lost();
            continue;
        }
        if (result < 0)
        {
            std::fprintf(stderr, "virtual-synth: %s\n", snd_strerror(result));
            return false;
        }
        if (event->type != SND_SEQ_EVENT_SYSEX)
            continue;

        const auto* bytes = static_cast<const std::uint8_t*>(event->data.ext.ptr);
        if (!receiver.take(bytes, event->data.ext.len))
            return false;

        keepToRate(options, receiver);
    }
}

int run(const Options& options)
{
    if (!hasSequencer())
    {
        std::fprintf(stderr, "virtual-synth: no ALSA sequencer here (/dev/snd/seq)\n");
        return exitError;
    }

    Sequencer sequencer;
    if (!sequencer.open(options))
    {
        std::fprintf(stderr, "virtual-synth: cannot create a sequencer port\n");
        return exitError;
    }

    std::printf("ready %d:%d\n", snd_seq_client_id(sequencer.seq), sequencer.port);
    std::fflush(stdout);

    Receiver receiver(options);

    while (readEvents(sequencer, receiver, options))
        if (!waitForInput(sequencer.seq, options.timeout))
            return exitTimedOut;

    if (receiver.isCountReached())
        std::this_thread::sleep_for(countGrace);

    if (receiver.isVanishPointReached())
    {
        const auto when = sequencer.vanish();
        std::printf("vanished after %lld bytes at %.6f\n", receiver.totalBytes(), when);
        std::fflush(stdout);
    }

    return receiver.isVanishPointReached() || receiver.isCountReached() ? exitDone : exitError;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0)
    {
        std::fputs(usage, stdout);
        return exitDone;
    }

    Options options;
    if (!parseOptions(argc, argv, options))
    {
        std::fprintf(stderr, "virtual-synth: bad arguments\n%s", usage);
        return exitError;
    }

    return run(options);
}
