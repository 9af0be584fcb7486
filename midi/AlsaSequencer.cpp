// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/AlsaSequencer.h"

#include <unistd.h>

bool hasSequencer()
{
    return access("/dev/snd/seq", R_OK | W_OK) == 0;
}

SequencerHandle openSequencer(int streams)
{
    // The device check keeps alsa-lib quiet for the usual reasons (no sound modules, no
    // permission) without replacing its process-wide error handler, which JUCE's own ALSA code
    // shares.
    if (!hasSequencer())
        return nullptr;

    snd_seq_t* seq = nullptr;
    if (snd_seq_open(&seq, "default", streams, 0) < 0)
        return nullptr;

    SequencerHandle handle(seq);
    snd_seq_set_client_name(seq, ownClientName);
    return handle;
}
