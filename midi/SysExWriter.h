// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>

enum class SendOutcome
{
    sent,    // every byte was taken by the receiving side
    stopped, // the stop test said so
    failed   // the receiver vanished, refused data or stalled
};

// Asked between pieces of a send; true ends it.
using StopTest = std::function<bool()>;

// Moves one SysEx message to an open port the way that kind of port needs.
class SysExWriter
{
public:
    virtual ~SysExWriter() = default;
    virtual SendOutcome write(const std::uint8_t* data, std::size_t size, const StopTest& stop) = 0;
};

// Tells a slow receiver from one that has stopped taking data: a firmware transfer must end,
// and a port that takes nothing for this long will not recover.
class StallWatch
{
public:
    static constexpr std::chrono::seconds limit{10};

    void progressed() { last = std::chrono::steady_clock::now(); }
    bool stalled() const { return std::chrono::steady_clock::now() - last > limit; }

private:
    std::chrono::steady_clock::time_point last = std::chrono::steady_clock::now();
};
