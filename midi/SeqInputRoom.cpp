// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/SeqInputRoom.h"

// The kernel's own header: alsa-lib's headers define the same structures under the same names,
// so this file includes nothing from alsa-lib.
#include <sound/asequencer.h>

#include <cerrno>
#include <sys/ioctl.h>

SeqInputRoom querySeqInputRoom(int sequencerFd, int client)
{
    snd_seq_client_pool info{};
    info.client = client;

    if (ioctl(sequencerFd, SNDRV_SEQ_IOCTL_GET_CLIENT_POOL, &info) < 0)
        return {-errno, 0, 0};

    return {0, static_cast<int>(info.input_pool), static_cast<int>(info.input_free)};
}
