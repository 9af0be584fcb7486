// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/UpdManager.h"

#include "midi/SysExController.h"
#include "update/Crc16.h"
#include "update/PackageCheck.h"

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>

JUCE_IMPLEMENT_SINGLETON(UpdManager)

namespace
{
juce::File realFile(const char* path)
{
    char* resolved = realpath(path, nullptr);
    if (resolved == nullptr)
        return {};

    const juce::File file(juce::String::fromUTF8(resolved));
    free(resolved);
    return file;
}

// The package sits beside the executable file itself, however the program was started: through
// a symbolic link, a launcher, or a bare name found on the PATH (for which the loader reports
// argv[0], a name without a folder).
juce::File getExecutableFile()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&getExecutableFile), &info) == 0 ||
        info.dli_fname == nullptr || *info.dli_fname == 0)
        return {};

    if (std::strchr(info.dli_fname, '/') == nullptr)
        return realFile("/proc/self/exe");

    return realFile(info.dli_fname);
}
} // namespace

UpdManager::UpdManager() : controller(std::make_unique<SysExController>()) {}

UpdManager::~UpdManager()
{
    clearSingletonInstance();
}

bool UpdManager::loadUpd(juce::StringRef fileName, juce::StringRef deviceName)
{
    const auto executable = getExecutableFile();
    if (executable == juce::File())
        return false;

    const auto stream = executable.getParentDirectory().getChildFile(fileName).createInputStream();
    if (stream == nullptr)
        return false;

    auto check = checkPackage(*stream, deviceName);
    if (!check.isValid())
        return false;

    message = std::make_unique<juce::MidiMessage>(check.payload.getData(),
                                                  static_cast<int>(check.payload.getSize()), 0.0);
    version = check.version;
    return true;
}

juce::uint16 UpdManager::calcCRC(const juce::uint8* data, juce::int64 length) const
{
    return crc16Xmodem(data, length);
}
