// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/PackageCheck.h"

#include "update/Crc16.h"

namespace
{
const juce::String versionPrefix("Ver.");

// A text field ends at its first 0x00 byte; bytes missing at the end of the file read as 0x00,
// and a field without any 0x00 is a 16-character text. Bytes are ISO 8859-1 characters.
juce::String readTextField(juce::InputStream& stream)
{
    char field[packageTextFieldSize] = {};
    stream.read(field, packageTextFieldSize);

    juce::String text;
    for (auto c : field)
    {
        if (c == 0)
            break;
        text += static_cast<juce::juce_wchar>(static_cast<unsigned char>(c));
    }
    return text;
}

bool fitsInStream(juce::InputStream& stream, juce::int32 length)
{
    const auto remaining = stream.getNumBytesRemaining();
    return remaining < 0 || length <= remaining;
}

// Reads the payload; on a stream of unknown size it grows with the data actually delivered,
// so the allocation never exceeds what the stream holds.
bool readPayload(juce::InputStream& stream, juce::int32 length, juce::MemoryBlock& payload)
{
    if (stream.getNumBytesRemaining() >= 0)
    {
        payload.setSize(static_cast<size_t>(length));
        return stream.read(payload.getData(), length) == length;
    }

    constexpr int chunk = 1 << 16;
    for (juce::int32 done = 0; done < length;)
    {
        const auto wanted = juce::jmin(chunk, length - done);
        payload.setSize(static_cast<size_t>(done + wanted));
        const auto got = stream.read(static_cast<char*>(payload.getData()) + done, wanted);
        if (got <= 0)
            return false;
        done += got;
        payload.setSize(static_cast<size_t>(done));
    }
    return true;
}
} // namespace

const char* describe(PackageFault fault) noexcept
{
    switch (fault)
    {
    case PackageFault::none:
        return "valid";
    case PackageFault::unreadable:
        return "the file cannot be read";
    case PackageFault::name:
        return "the device name does not match";
    case PackageFault::version:
        return "the version field does not start with \"Ver.\"";
    case PackageFault::length:
        return "the payload length is not positive";
    case PackageFault::shortPayload:
        return "the payload is shorter than its declared length";
    case PackageFault::checksum:
        return "the checksum does not match the payload";
    }
    return "unknown";
}

static PackageCheck rejected(PackageCheck& check, PackageFault fault)
{
    check.fault = fault;
    return std::move(check);
}

PackageCheck checkPackage(juce::InputStream& stream, juce::StringRef expectedDeviceName)
{
    PackageCheck result;

    result.deviceName = readTextField(stream);
    result.versionField = readTextField(stream);
    result.declaredLength = stream.readInt();

    if (!result.deviceName.equalsIgnoreCase(expectedDeviceName))
        return rejected(result, PackageFault::name);

    if (!result.versionField.startsWith(versionPrefix))
        return rejected(result, PackageFault::version);
    result.version = result.versionField.substring(versionPrefix.length());

    if (result.declaredLength <= 0)
        return rejected(result, PackageFault::length);

    juce::MemoryBlock payload;
    if (!fitsInStream(stream, result.declaredLength) ||
        !readPayload(stream, result.declaredLength, payload))
        return rejected(result, PackageFault::shortPayload);

    result.computedChecksum =
        crc16Xmodem(static_cast<const std::uint8_t*>(payload.getData()), result.declaredLength);
    result.storedChecksum = static_cast<juce::uint16>(stream.readShort());

    if (result.storedChecksum != result.computedChecksum)
        return rejected(result, PackageFault::checksum);

    result.payload = std::move(payload);
    result.fault = PackageFault::none;
    return result;
}

bool writePackage(juce::OutputStream& out, juce::StringRef deviceName, juce::StringRef versionText,
                  const juce::MemoryBlock& payload)
{
    const auto writeField = [&out](const juce::String& text)
    {
        char field[packageTextFieldSize] = {};
        if (text.length() >= packageTextFieldSize)
            return false;
        for (int i = 0; i < text.length(); ++i)
        {
            const auto c = text[i];
            if (c == 0 || c > 0xff)
                return false;
            field[i] = static_cast<char>(c);
        }
        return out.write(field, packageTextFieldSize);
    };

    const auto size = payload.getSize();
    if (size == 0 || size > static_cast<size_t>(std::numeric_limits<juce::int32>::max()))
        return false;

    const auto* bytes = static_cast<const std::uint8_t*>(payload.getData());
    return writeField(juce::String(deviceName)) && writeField(versionPrefix + versionText) &&
           out.writeInt(static_cast<int>(size)) && out.write(bytes, size) &&
           out.writeShort(static_cast<short>(crc16Xmodem(bytes, static_cast<std::int64_t>(size))));
}
