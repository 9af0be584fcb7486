// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/MidiOutputService.h"

#include <mutex>

namespace
{
struct ServiceSlot
{
    std::mutex lock;
    std::unique_ptr<MidiOutputService> installed;
    std::unique_ptr<MidiOutputService> platform;
};

ServiceSlot& slot()
{
    static ServiceSlot instance;
    return instance;
}
} // namespace

MidiOutputService& getMidiOutputService()
{
    auto& s = slot();
    const std::lock_guard<std::mutex> guard(s.lock);

    if (s.installed != nullptr)
        return *s.installed;

    if (s.platform == nullptr)
        s.platform = createPlatformMidiOutputService();

    return *s.platform;
}

void installMidiOutputService(std::unique_ptr<MidiOutputService> service)
{
    auto& s = slot();
    const std::lock_guard<std::mutex> guard(s.lock);
    s.installed = std::move(service);
}
