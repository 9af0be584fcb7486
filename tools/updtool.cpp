// SPDX-License-Identifier: GPL-3.0-or-later
// updtool: makes and checks update packages, and sends them, with the same code the updater uses.

#include "midi/SysExController.h"
#include "update/PackageCheck.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <map>

namespace
{
constexpr int exitValid = 0, exitInvalid = 1, exitUsage = 2;
const char* const defaultDevice = "VELKOR KX-7";

const char* const usage =
    "usage:\n"
    "  updtool pack --device NAME --version TEXT INPUT.syx OUTPUT.upd\n"
    "      Writes an update package: NAME and \"Ver.\"+TEXT (15 bytes at most each), the\n"
    "      payload length, the SysEx image (must start with F0 and end with F7), its CRC-16.\n"
    "  updtool inspect [--device NAME] [--strict] FILE\n"
    "      Prints device, version, length and checksums, then \"valid\" or \"invalid: REASON\".\n"
    "      Exit 0 valid, 1 invalid, 2 usage error. Device defaults to \"VELKOR KX-7\".\n"
    "      --strict also refuses a payload that is not one SysEx message (F0 ... F7), which\n"
    "      would load but could never be sent.\n"
    "  updtool ports\n"
    "      Lists the MIDI output ports as the updater sees them: \"INDEX<TAB>NAME\" per line.\n"
    "  updtool send (--port NAME | --index N) FILE.upd\n"
    "      Checks the package for \"VELKOR KX-7\" and sends its payload as one SysEx message on\n"
    "      the port named NAME (ignoring case) or at position N of the list. Exit 0 once the\n"
    "      whole message went out, 1 when a step failed (named on stderr), 2 usage error.\n"
    "  updtool --help\n";

int fail(int code, const juce::String& text)
{
    std::fprintf(stderr, "updtool: %s\n", text.toRawUTF8());
    return code;
}

// Splits "--key value" options and "--flag" switches from positional arguments.
struct Arguments
{
    std::map<juce::String, juce::String> options;
    juce::StringArray flags;
    juce::StringArray positional;
    juce::String error;

    Arguments(const juce::StringArray& args, const juce::StringArray& knownOptions,
              const juce::StringArray& knownFlags = {})
    {
        for (int i = 0; i < args.size(); ++i)
        {
            if (!args[i].startsWith("--"))
            {
                positional.add(args[i]);
                continue;
            }
            if (knownFlags.contains(args[i]))
                flags.add(args[i]);
            else if (!knownOptions.contains(args[i]))
                error = "unknown option " + args[i];
            else if (i + 1 >= args.size())
                error = "option " + args[i] + " needs a value";
            else
            {
                options[args[i]] = args[i + 1];
                ++i;
            }
        }
    }
};

juce::String hex16(juce::uint16 value)
{
    return "0x" + juce::String::toHexString(value).paddedLeft('0', 4).toUpperCase();
}

// The transfer sends only SysEx, and the whole payload as one message.
bool isOneSysExMessage(const juce::MemoryBlock& payload)
{
    const auto* bytes = static_cast<const juce::uint8*>(payload.getData());
    return payload.getSize() > 0 && bytes[0] == 0xF0 && bytes[payload.getSize() - 1] == 0xF7;
}

int pack(const juce::StringArray& args)
{
    const Arguments a(args, {"--device", "--version"});
    if (a.error.isNotEmpty())
        return fail(exitUsage, a.error);
    if (a.positional.size() != 2 || a.options.count("--device") == 0 ||
        a.options.count("--version") == 0)
        return fail(exitUsage, "pack needs --device, --version, an input and an output file");

    const auto device = a.options.at("--device");
    const auto versionField = "Ver." + a.options.at("--version");
    if (device.getNumBytesAsUTF8() >= packageTextFieldSize ||
        versionField.getNumBytesAsUTF8() >= packageTextFieldSize)
        return fail(exitUsage, "the device name and \"Ver.\" + version must be at most 15 bytes");

    const juce::File input(juce::File::getCurrentWorkingDirectory().getChildFile(a.positional[0]));
    juce::MemoryBlock payload;
    if (!input.existsAsFile() || !input.loadFileAsData(payload))
        return fail(exitUsage, "cannot read " + input.getFullPathName());

    if (payload.getSize() == 0)
        return fail(exitUsage, "the input is empty");
    if (!isOneSysExMessage(payload))
        return fail(exitUsage, "the input is not one SysEx message (F0 ... F7)");
    if (payload.getSize() > static_cast<size_t>(std::numeric_limits<juce::int32>::max()))
        return fail(exitUsage, "the input is too large for a package");

    const juce::File output(juce::File::getCurrentWorkingDirectory().getChildFile(a.positional[1]));
    output.deleteFile();
    juce::FileOutputStream out(output);
    if (out.failedToOpen() || !writePackage(out, device, a.options.at("--version"), payload))
        return fail(exitUsage, "cannot write " + output.getFullPathName());
    out.flush();
    if (out.getStatus().failed())
        return fail(exitUsage, "cannot write " + output.getFullPathName());
    return exitValid;
}

int inspect(const juce::StringArray& args)
{
    const Arguments a(args, {"--device"}, {"--strict"});
    if (a.error.isNotEmpty())
        return fail(exitUsage, a.error);
    if (a.positional.size() != 1)
        return fail(exitUsage, "inspect needs exactly one package file");

    const auto device = a.options.count("--device") ? a.options.at("--device") : defaultDevice;
    const juce::File file(juce::File::getCurrentWorkingDirectory().getChildFile(a.positional[0]));
    const auto stream = file.isDirectory() ? nullptr : file.createInputStream();

    PackageCheck check;
    if (stream != nullptr)
        check = checkPackage(*stream, device);

    std::printf("device: %s\n", check.deviceName.toRawUTF8());
    std::printf("version: %s\n", check.versionField.toRawUTF8());
    std::printf("length: %d\n", static_cast<int>(check.declaredLength));
    std::printf("checksum stored: %s\n", hex16(check.storedChecksum).toRawUTF8());
    std::printf("checksum computed: %s\n", hex16(check.computedChecksum).toRawUTF8());

    if (!check.isValid())
    {
        std::printf("invalid: %s\n", describe(check.fault));
        return exitInvalid;
    }

    // The loader does not look inside the payload.
    const auto isSysEx = isOneSysExMessage(check.payload);
    if (!isSysEx && a.flags.contains("--strict"))
    {
        std::printf("invalid: the payload is not one SysEx message (F0 ... F7)\n");
        return exitInvalid;
    }
    if (!isSysEx)
        std::printf("warning: the payload is not one SysEx message (F0 ... F7); the transfer "
                    "would refuse one that does not start with F0\n");
    std::printf("valid\n");
    return exitValid;
}

int ports(const juce::StringArray& args)
{
    if (!args.isEmpty())
        return fail(exitUsage, "ports takes no arguments");

    const auto names = getMidiOutputService().getDevices();
    for (int i = 0; i < names.size(); ++i)
        std::printf("%d\t%s\n", i, names[i].toRawUTF8());

    return exitValid;
}

// The payload of a valid package, or an empty block with the reason in error.
juce::MemoryBlock loadPayload(const juce::String& path, juce::String& error)
{
    const juce::File file(juce::File::getCurrentWorkingDirectory().getChildFile(path));
    const auto stream = file.isDirectory() ? nullptr : file.createInputStream();

    PackageCheck check;
    if (stream != nullptr)
        check = checkPackage(*stream, defaultDevice);

    if (!check.isValid())
        error = juce::String("package invalid: ") + describe(check.fault);

    return check.payload;
}

// Connects by name or position; on failure says which step failed.
bool connect(SysExController& controller, const Arguments& a, juce::String& error)
{
    const auto byName = a.options.count("--port") != 0;
    const auto port = byName ? a.options.at("--port") : a.options.at("--index");
    const auto index = byName ? controller.indexOfDevice(port.toRawUTF8()) : port.getIntValue();

    if (index < 0 || index >= getMidiOutputService().getDevices().size())
        error = "port not found: " + port;
    else if (!(byName ? controller.connectDevice(port.toRawUTF8())
                      : controller.connectDevice(index)))
        error = "open failed: " + port;

    return error.isEmpty();
}

int send(const juce::StringArray& args)
{
    const Arguments a(args, {"--port", "--index"});
    if (a.error.isNotEmpty())
        return fail(exitUsage, a.error);
    if (a.positional.size() != 1 || a.options.size() != 1)
        return fail(exitUsage, "send needs --port NAME or --index N, and one package file");
    if (a.options.count("--index") != 0 && !a.options.at("--index").containsOnly("0123456789"))
        return fail(exitUsage, "--index needs a position in the port list, 0 or more");

    juce::String error;
    const auto payload = loadPayload(a.positional[0], error);
    SysExController controller;
    if (error.isNotEmpty() || !connect(controller, a, error))
        return fail(exitInvalid, error);

    juce::MidiMessage message(payload.getData(), static_cast<int>(payload.getSize()), 0.0);
    const auto start = std::chrono::steady_clock::now();
    const auto sent = controller.sendMessage(message);
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    const auto portName = controller.getConnectedName();
    controller.disconnectDevice();

    if (!sent)
        return fail(exitInvalid, "send failed: " + portName);

    std::printf("sent %d bytes in %.2f s (%.0f KB/s)\n", static_cast<int>(payload.getSize()),
                seconds.count(), static_cast<double>(payload.getSize()) / 1024.0 / seconds.count());
    return exitValid;
}
} // namespace

int main(int argc, char* argv[])
{
    const std::map<juce::String, std::function<int(const juce::StringArray&)>> commands{
        {"pack", pack}, {"inspect", inspect}, {"ports", ports}, {"send", send}};

    juce::StringArray args;
    for (int i = 1; i < argc; ++i)
        args.add(juce::String::fromUTF8(argv[i]));

    if (args.isEmpty())
        return fail(exitUsage, juce::String("no command given\n") + usage);

    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help")
    {
        std::fputs(usage, stdout);
        return exitValid;
    }

    const auto command = commands.find(args[0]);
    if (command == commands.end())
        return fail(exitUsage, "unknown command " + args[0] + "\n" + usage);

    args.remove(0);
    return command->second(args);
}
