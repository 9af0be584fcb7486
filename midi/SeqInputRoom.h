// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The event cells of a sequencer client's input pool: how many it has and how many are free.
struct SeqInputRoom
{
    int error = 0; // negative errno; -ENOENT when the client is gone
    int pool = 0;  // 0 for kernel clients, which take events as they are delivered
    int free = 0;
};

// Asks the kernel about any client, not only our own as alsa-lib's wrapper does.
SeqInputRoom querySeqInputRoom(int sequencerFd, int client);
