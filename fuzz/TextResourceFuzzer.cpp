// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as a text resource, read with the section reader for every section the program knows
// and for the input's own first line. Besides staying inside the data, the reader must agree with
// a plain line-by-line reading of the format whenever the input is valid UTF-8 (on other bytes
// the framework's decoder decides what a line reads as, which a byte-level reading cannot say).
#include "text/TextLoader.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace
{
void require(bool holds, const char* what)
{
    if (holds)
        return;
    std::fprintf(stderr, "text_resource_fuzzer: %s\n", what);
    __builtin_trap();
}

// Lines end at CR LF, LF, CR or NUL; the end of the data ends the last line.
std::vector<std::string> splitLines(const std::uint8_t* data, size_t size)
{
    std::vector<std::string> lines;
    size_t p = 0;
    while (p < size)
    {
        size_t q = p;
        while (q < size && data[q] != '\r' && data[q] != '\n' && data[q] != 0)
            ++q;
        lines.emplace_back(reinterpret_cast<const char*>(data + p), q - p);
        if (q == size)
            p = q;
        else if (data[q] == '\r' && q + 1 < size && data[q + 1] == '\n')
            p = q + 2;
        else
            p = q + 1;
    }
    return lines;
}

// Strict: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isUtf8(const std::uint8_t* data, size_t size)
{
    for (size_t i = 0; i < size;)
    {
        const auto b = data[i];
        size_t extra = 0;
        std::uint32_t min = 0, cp = 0;
        if (b < 0x80)
        {
            ++i;
            continue;
        }
        if ((b & 0xe0) == 0xc0)
            extra = 1, min = 0x80, cp = b & 0x1fu;
        else if ((b & 0xf0) == 0xe0)
            extra = 2, min = 0x800, cp = b & 0x0fu;
        else if ((b & 0xf8) == 0xf0)
            extra = 3, min = 0x10000, cp = b & 0x07u;
        else
            return false;
        if (size - i <= extra)
            return false;
        for (size_t k = 1; k <= extra; ++k)
        {
            if ((data[i + k] & 0xc0) != 0x80)
                return false;
            cp = cp << 6 | (data[i + k] & 0x3fu);
        }
        if (cp < min || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff))
            return false;
        i += extra + 1;
    }
    return true;
}

bool isQuote(char c)
{
    return c == '"' || c == '\'';
}

// The entries of the section: after the first line equal to the header, up to the next header.
std::vector<std::string> sectionEntries(const std::vector<std::string>& lines,
                                        const std::string& header, size_t count)
{
    size_t k = 0;
    while (k < lines.size() && lines[k++] != header)
    {
    }

    std::vector<std::string> entries;
    for (; k < lines.size() && entries.size() < count; ++k)
    {
        const auto& line = lines[k];
        if (line.empty())
            continue;
        if (line[0] == ':')
            break;
        const size_t start = isQuote(line[0]) ? 1 : 0;
        size_t end = line.size();
        if (end > start && isQuote(line[end - 1]))
            --end;
        entries.push_back(line.substr(start, end - start));
    }
    return entries;
}

void readSection(const char* bytes, int size, const juce::String& header,
                 const std::string& headerBytes, int count, const std::vector<std::string>* lines)
{
    // A shared buffer of its own: a slot the reader leaves alone still points at it afterwards.
    const juce::String untouched("untouched");
    std::vector<juce::String> out(static_cast<size_t>(count), untouched);

    TextLoader::Load(&bytes, &size, header, out.data(), count);

    // Whatever the bytes, no entry may hold malformed UTF-8: the framework's character indexing
    // runs past the end of such a text.
    for (const auto& entry : out)
        require(juce::CharPointer_UTF8::isValidString(entry.toRawUTF8(),
                                                      std::numeric_limits<int>::max()),
                "an entry holds malformed UTF-8");

    if (lines == nullptr)
        return;

    const auto expected = sectionEntries(*lines, headerBytes, static_cast<size_t>(count));
    for (size_t i = 0; i < out.size(); ++i)
    {
        if (i < expected.size())
        {
            const auto* got = out[i].toRawUTF8();
            require(std::strlen(got) == expected[i].size() &&
                        std::memcmp(got, expected[i].data(), expected[i].size()) == 0,
                    "entry differs from the section's line");
        }
        else
        {
            require(out[i].getCharPointer().getAddress() == untouched.getCharPointer().getAddress(),
                    "a slot past the section's entries was changed");
        }
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    if (size > static_cast<size_t>(std::numeric_limits<int>::max()))
        return 0;

    // An exactly-sized heap copy, so ASan reports the first byte read past the end.
    const std::unique_ptr<char[]> copy(new char[size]);
    if (size > 0)
        std::memcpy(copy.get(), data, size);
    const auto length = static_cast<int>(size);

    const auto lines = splitLines(data, size);
    const auto* oracle = isUtf8(data, size) ? &lines : nullptr;

    const auto strings = static_cast<int>(TextLoader::numStrings);
    const auto locales = static_cast<int>(TextLoader::numLocales);
    for (const auto* name : {":STR", ":LANG", ":FONT_WIN", ":FONT_MAC", ":EOF"})
        readSection(copy.get(), length, name, name,
                    std::strcmp(name, ":STR") == 0 ? strings : locales, oracle);

    // A header that is surely present, so the entry loop runs on every input; read the way the
    // reader reads lines, so that it matches even where the bytes are not UTF-8.
    juce::MemoryInputStream firstLine(copy.get(), size, false);
    readSection(copy.get(), length, firstLine.readNextLine(),
                lines.empty() ? std::string() : lines.front(), strings, oracle);
    return 0;
}
