// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <alsa/asoundlib.h>

#include <memory>

struct SequencerCloser
{
    void operator()(snd_seq_t* seq) const { snd_seq_close(seq); }
};

using SequencerHandle = std::unique_ptr<snd_seq_t, SequencerCloser>;

// The name our sequencer clients and their ports show in other programs' lists.
constexpr const char* ownClientName = "Tavrin";

// Whether this machine has an ALSA sequencer we may use, found without opening it: a failed open
// makes alsa-lib print to stderr.
bool hasSequencer();

// A new client of the ALSA sequencer in blocking mode, or null when the machine has none or we
// may not use it. Never prints: machines without sound hardware are a normal place to run.
SequencerHandle openSequencer(int streams);
