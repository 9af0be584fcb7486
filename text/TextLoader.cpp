// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/TextLoader.h"

#include "text/DisplayLanguage.h"

#include <BinaryData.h>

JUCE_IMPLEMENT_SINGLETON(TextLoader)

namespace
{
// Indexed by locale; read-only, so neither table needs to be reachable from outside this file.
const char* const langList[TextLoader::numLocales] = {
    "en", "fr", "de", "es", "it", "nl", "ru", "pt", "zh-Hans", "zh-Hant", "ko", "ja",
};

struct TextResource
{
    const char* const* data;
    const int* size;
};

const TextResource textList[TextLoader::numLocales] = {
    {&BinaryData::english_txt, &BinaryData::english_txtSize},
    {&BinaryData::french_txt, &BinaryData::french_txtSize},
    {&BinaryData::german_txt, &BinaryData::german_txtSize},
    {&BinaryData::spanish_txt, &BinaryData::spanish_txtSize},
    {&BinaryData::italian_txt, &BinaryData::italian_txtSize},
    {&BinaryData::dutch_txt, &BinaryData::dutch_txtSize},
    {&BinaryData::russian_txt, &BinaryData::russian_txtSize},
    {&BinaryData::portuguese_txt, &BinaryData::portuguese_txtSize},
    {&BinaryData::simplified_chinese_txt, &BinaryData::simplified_chinese_txtSize},
    {&BinaryData::traditional_chinese_txt, &BinaryData::traditional_chinese_txtSize},
    {&BinaryData::korean_txt, &BinaryData::korean_txtSize},
    {&BinaryData::japanese_txt, &BinaryData::japanese_txtSize},
};

bool isQuote(juce::juce_wchar c)
{
    return c == '"' || c == '\'';
}

// Each end independently: String::unquoted keeps a closing quote when there is no opening one.
juce::String withoutQuotes(const juce::String& line)
{
    const int start = isQuote(line[0]) ? 1 : 0;
    int end = line.length();

    if (end > start && isQuote(line[end - 1]))
        --end;

    return line.substring(start, end);
}

// A line keeps its bytes as they come, and on malformed UTF-8 the framework's character indexing
// (operator[], substring) steps by the lead byte alone and runs past the end of the text. Such a
// line is rebuilt from what the framework's decoder reads, each malformed sequence as U+FFFD.
juce::String wellFormed(const juce::String& line)
{
    const auto* bytes = line.toRawUTF8();
    if (juce::CharPointer_UTF8::isValidString(bytes, std::numeric_limits<int>::max()))
        return line;

    juce::MemoryOutputStream text;
    for (juce::CharPointer_UTF8 p(bytes); !p.isEmpty();)
    {
        const auto* start = p.getAddress();
        p.getAndAdvance();
        const auto read = static_cast<size_t>(p.getAddress() - start);
        if (juce::CharPointer_UTF8::isValidString(start, static_cast<int>(read)))
            text.write(start, read);
        else
            text.write("\xef\xbf\xbd", 3); // U+FFFD
    }
    return text.toUTF8();
}
} // namespace

TextLoader::TextLoader()
{
    const auto count = static_cast<int>(numLocales);
    Load(&BinaryData::language_txt, &BinaryData::language_txtSize, ":FONT_MAC", typefaces, count);
    Load(&BinaryData::language_txt, &BinaryData::language_txtSize, ":LANG", languages, count);
    setLocale(localeForLanguageTag(getDisplayLanguageTag()));
}

TextLoader::~TextLoader()
{
    clearSingletonInstance();
}

void TextLoader::setLocale(juce::uint32 index)
{
    if (index == locale || index >= numLocales)
        return;

    locale = index;
    Load(textList[index].data, textList[index].size, ":STR", strings, static_cast<int>(numStrings));
}

juce::String TextLoader::getString(juce::uint32 id) const
{
    return id < numStrings ? strings[id] : juce::String();
}

const char* TextLoader::getUTF8(juce::uint32 id) const noexcept
{
    return id < numStrings ? strings[id].toRawUTF8() : "";
}

juce::String TextLoader::getLang(juce::uint32 index) const
{
    return index < numLocales ? languages[index] : juce::String();
}

juce::String TextLoader::getFont() const
{
    return getFont(locale);
}

juce::String TextLoader::getFont(juce::uint32 index) const
{
    return index < numLocales ? typefaces[index] : juce::String();
}

void TextLoader::Load(const char* const* data, const int* size, juce::StringRef header,
                      juce::String* out, int count)
{
    juce::MemoryInputStream in(*data, static_cast<size_t>(*size), false);

    while (!in.isExhausted() && in.readNextLine() != header)
    {
    }

    for (int i = 0; i < count && !in.isExhausted();)
    {
        const auto lineStart = in.getPosition();
        const auto line = in.readNextLine();

        if (line.isEmpty())
            continue;

        if (line.startsWithChar(':'))
        {
            in.setPosition(lineStart);
            return;
        }

        out[i++] = withoutQuotes(wellFormed(line));
    }
}

juce::uint32 TextLoader::localeForLanguageTag(const juce::String& tag)
{
    for (juce::uint32 i = 0; i < numLocales; ++i)
        if (tag.startsWithIgnoreCase(langList[i]))
            return i;

    return 0;
}
