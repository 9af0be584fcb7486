// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The wizard's state. A plain int: pages pass it to MainComponent::setState.
namespace WizardState
{
enum : int
{
    Start = 0,
    Language = 1,
    Connection = 2,
    Device = 3,
    Version = 4,
    Progress = 5,
    Finish = 6,
    FileError = 7,
    NotConnected = 8,
    TransferFailed = 9,
    Quit = 10
};
} // namespace WizardState
