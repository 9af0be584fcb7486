// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as an update package. The check must agree with the file layout as read here by a
// separate, deliberately plain reader, must stay inside the data, and must never allocate more
// than the data holds, whatever length the file declares.
#include "update/PackageCheck.h"

#include <sanitizer/allocator_interface.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace
{
constexpr const char* deviceName = "VELKOR KX-7";

// The name and version strings (16 Latin-1 characters at most, 59 bytes of buffer measured) are
// the only allocations that may exceed the room a tiny input has for a payload.
constexpr size_t textSlack = 64;

// Largest single allocation while the check runs. The hook runs inside malloc: no allocating.
std::atomic<bool> watching{false};
std::atomic<size_t> largestAllocation{0};

void onMalloc(const volatile void*, size_t bytes)
{
    if (watching.load(std::memory_order_relaxed) &&
        bytes > largestAllocation.load(std::memory_order_relaxed))
        largestAllocation.store(bytes, std::memory_order_relaxed);
}

void onFree(const volatile void*) {}

void require(bool holds, const char* what)
{
    if (holds)
        return;
    std::fprintf(stderr, "package_fuzzer: %s\n", what);
    __builtin_trap();
}

// What the layout says about the bytes, computed without any of the program's code.
struct Layout
{
    PackageFault fault = PackageFault::unreadable;
    std::string name;         // Latin-1 bytes, up to the first 0x00
    std::string versionField; // likewise
    std::int32_t length = 0;
    std::uint16_t storedChecksum = 0;
    std::uint16_t computedChecksum = 0;
    const std::uint8_t* payload = nullptr;
};

std::uint8_t byteAt(const std::uint8_t* data, size_t size, size_t offset)
{
    return offset < size ? data[offset] : 0;
}

std::string textField(const std::uint8_t* data, size_t size, size_t offset)
{
    std::string text;
    for (size_t i = 0; i < 16; ++i)
    {
        const auto b = byteAt(data, size, offset + i);
        if (b == 0)
            break;
        text += static_cast<char>(b);
    }
    return text;
}

// No Latin-1 character outside ASCII has an ASCII letter as its other case, so against an ASCII
// name a case-insensitive comparison of the Latin-1 text is ASCII case folding.
bool equalsIgnoringCase(const std::string& latin1, const char* ascii)
{
    const auto fold = [](unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; };
    if (latin1.size() != std::strlen(ascii))
        return false;
    for (size_t i = 0; i < latin1.size(); ++i)
        if (fold(static_cast<unsigned char>(latin1[i])) !=
            fold(static_cast<unsigned char>(ascii[i])))
            return false;
    return true;
}

// CRC-16/XMODEM, one bit at a time.
std::uint16_t crc16(const std::uint8_t* data, size_t size)
{
    std::uint16_t crc = 0;
    for (size_t i = 0; i < size; ++i)
    {
        crc ^= static_cast<std::uint16_t>(data[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

Layout readLayout(const std::uint8_t* data, size_t size)
{
    Layout layout;
    layout.name = textField(data, size, 0);
    layout.versionField = textField(data, size, 16);

    // Fewer than four length bytes read as a length of 0.
    if (size >= 36)
    {
        const std::uint32_t bits = std::uint32_t{data[32]} | std::uint32_t{data[33]} << 8 |
                                   std::uint32_t{data[34]} << 16 | std::uint32_t{data[35]} << 24;
        std::memcpy(&layout.length, &bits, sizeof bits);
    }

    if (!equalsIgnoringCase(layout.name, deviceName))
        layout.fault = PackageFault::name;
    else if (layout.versionField.compare(0, 4, "Ver.") != 0)
        layout.fault = PackageFault::version;
    else if (layout.length <= 0)
        layout.fault = PackageFault::length;
    else if (static_cast<size_t>(layout.length) > size - 36)
        layout.fault = PackageFault::shortPayload;
    else
    {
        const auto end = 36 + static_cast<size_t>(layout.length);
        layout.payload = data + 36;
        layout.computedChecksum = crc16(layout.payload, static_cast<size_t>(layout.length));
        // Fewer than two checksum bytes read as 0.
        if (size - end >= 2)
            layout.storedChecksum = static_cast<std::uint16_t>(data[end] | data[end + 1] << 8);
        layout.fault = layout.storedChecksum == layout.computedChecksum ? PackageFault::none
                                                                        : PackageFault::checksum;
    }
    return layout;
}

bool sameText(const juce::String& text, const std::string& latin1)
{
    auto p = text.getCharPointer();
    for (const auto c : latin1)
        if (p.getAndAdvance() != static_cast<juce::juce_wchar>(static_cast<unsigned char>(c)))
            return false;
    return p.isEmpty();
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    // Read in place: the stream points at libFuzzer's exactly-sized copy, so ASan sees any
    // read past the end.
    juce::MemoryInputStream stream(data, size, false);

    largestAllocation = 0;
    watching = true;
    const auto result = checkPackage(stream, deviceName);
    watching = false;

    // The payload buffer must fit in the bytes after the header: a length checked against the
    // whole file instead would slip past a bound of `size`.
    const size_t payloadRoom = size > 36 ? size - 36 : 0;
    require(largestAllocation <= std::max(payloadRoom, textSlack),
            "allocated more than the data holds");
    require(result.payload.getSize() <= size, "payload larger than the data");

    const auto expected = readLayout(data, size);
    require(result.fault == expected.fault, "verdict differs from the layout");
    require(sameText(result.deviceName, expected.name), "name text differs");
    require(sameText(result.versionField, expected.versionField), "version field differs");
    require(result.declaredLength == expected.length, "declared length differs");

    if (expected.fault == PackageFault::checksum || expected.fault == PackageFault::none)
    {
        require(result.computedChecksum == expected.computedChecksum, "computed CRC differs");
        require(result.storedChecksum == expected.storedChecksum, "stored CRC differs");
    }

    if (expected.fault != PackageFault::name && expected.fault != PackageFault::version)
        require(sameText(result.version, expected.versionField.substr(4)), "version text differs");

    if (expected.fault == PackageFault::none)
    {
        const auto length = static_cast<size_t>(expected.length);
        require(result.payload.getSize() == length &&
                    std::memcmp(result.payload.getData(), expected.payload, length) == 0,
                "payload bytes differ");
    }
    else
    {
        require(result.payload.isEmpty(), "payload kept from a rejected package");
    }
    return 0;
}
