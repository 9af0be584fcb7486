// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/Formatted.h"
#include "text/TextLoader.h"

#include <BinaryData.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
struct Resource
{
    const char* name;
    const char* const* data;
    const int* size;
    bool endsWithEof;

    std::string bytes() const { return std::string(*data, static_cast<size_t>(*size)); }
};

#define TAVRIN_RESOURCE(name, eof)                                                                 \
    {                                                                                              \
#name, &BinaryData::name, &BinaryData::name##Size, eof                                     \
    }

// In locale order.
const Resource stringTables[] = {
    TAVRIN_RESOURCE(english_txt, false),
    TAVRIN_RESOURCE(french_txt, true),
    TAVRIN_RESOURCE(german_txt, true),
    TAVRIN_RESOURCE(spanish_txt, true),
    TAVRIN_RESOURCE(italian_txt, true),
    TAVRIN_RESOURCE(dutch_txt, true),
    TAVRIN_RESOURCE(russian_txt, true),
    TAVRIN_RESOURCE(portuguese_txt, true),
    TAVRIN_RESOURCE(simplified_chinese_txt, true),
    TAVRIN_RESOURCE(traditional_chinese_txt, true),
    TAVRIN_RESOURCE(korean_txt, true),
    TAVRIN_RESOURCE(japanese_txt, false),
};

const Resource languageTable = TAVRIN_RESOURCE(language_txt, true);

#undef TAVRIN_RESOURCE

const char* const englishStrings[TextLoader::numStrings] = {
    "",
    "GLOBAL",
    "PARAM/CATEGORY",
    "VALUE",
    "GLOBAL SETTING",
    "MIDI Sysex Cable",
    "USB",
    "MIDI",
    "Updater Program",
    "OK",
    "Start",
    "Cancel",
    "Close",
    "Language Selections",
    "Please select a language.",
    "There is an error in the update file.",
    "Your %s is not connected.",
    "Updates the version of your %s firmware.",
    "Current Version: Ver. %s",
    "Update Version: Ver. %s",
    "Updating your %s firmware.",
    "Please wait for a few moments until the update process is complete.",
    "The update of your version of the %s firmware is now complete.",
    "An error has occurred.",
    "It was not possible to update the program.",
    "Select connection method",
    "Select a method to connect with %s.",
    "Select update device",
    "Select a %s to update.",
    "Transferring the firmware.",
    "Please wait.",
    "Do not turn off the %s.",
    "After updating is completed, %s will restart automatically.",
    "Before starting the version upgrade, configure the %s as follows.",
    "Press the [%s] button to display the [%s] screen.",
    "Turn the [%s] knob to display the [%s] screen.",
    "Turn the [%s] knob and select [%s].",
    "Press the [%s] button to close the [%s] screen.",
    "A countdown is displayed in the [%s] body.",
    "Do not remove the power/USB cable until the countdown is complete.",
    "Please wait until the firmware update completes.",
};

// The strings the pages pass through formatted(), with the number of arguments they pass.
const struct
{
    int id;
    int arguments;
} formattedStrings[] = {
    {16, 1}, {17, 1}, {19, 1}, {20, 1}, {26, 1}, {28, 1}, {31, 1},
    {32, 1}, {33, 1}, {34, 2}, {35, 2}, {36, 2}, {37, 2}, {38, 1},
};

// All entries of a section, however many there are.
std::vector<juce::String> entries(const Resource& resource, const char* header)
{
    const juce::String unused("\x01unused");
    std::vector<juce::String> slots(64, unused);
    TextLoader::Load(resource.data, resource.size, header, slots.data(),
                     static_cast<int>(slots.size()));

    size_t count = 0;
    while (count < slots.size() && slots[count] != unused)
        ++count;
    slots.resize(count);
    return slots;
}

std::vector<std::string> lines(const std::string& bytes)
{
    std::vector<std::string> result;
    size_t start = 0;
    for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
        result.push_back(bytes.substr(start, end - start));
    return result;
}

std::vector<std::string> headers(const std::string& bytes)
{
    std::vector<std::string> result;
    for (const auto& line : lines(bytes))
        if (!line.empty() && line[0] == ':')
            result.push_back(line);
    return result;
}

// Each '%' with its flags, width, precision and length, up to its conversion character.
std::vector<std::string> conversions(const juce::String& entry)
{
    const auto text = entry.toStdString();
    std::vector<std::string> found;
    for (size_t i = text.find('%'); i != std::string::npos; i = text.find('%', i))
    {
        const auto last = text.find_first_not_of("0123456789$#-+ '.*hlLqjzt", i + 1);
        const auto end = last == std::string::npos ? text.size() : last + 1;
        found.push_back(text.substr(i, end - i));
        i = end;
    }
    return found;
}

std::vector<std::string> placeholders(int count)
{
    return std::vector<std::string>(static_cast<size_t>(count), "%s");
}
} // namespace

TEST(TextResources, EmbeddedByteForByte)
{
    ASSERT_EQ(BinaryData::namedResourceListSize, 14);

    for (int i = 0; i < BinaryData::namedResourceListSize; ++i)
    {
        const juce::String file = BinaryData::originalFilenames[i];
        int size = 0;
        const char* data = BinaryData::getNamedResource(BinaryData::namedResourceList[i], size);
        ASSERT_NE(data, nullptr) << file;

        juce::MemoryBlock onDisk;
        ASSERT_TRUE(juce::File(TAVRIN_RESOURCES_DIR).getChildFile(file).loadFileAsData(onDisk))
            << file;
        EXPECT_EQ(juce::MemoryBlock(data, static_cast<size_t>(size)), onDisk) << file;
    }
}

TEST(TextResources, Utf8WithCrLfLineEndsAndNoByteOrderMark)
{
    std::vector<Resource> all(std::begin(stringTables), std::end(stringTables));
    all.push_back(languageTable);

    for (const auto& resource : all)
    {
        const auto bytes = resource.bytes();
        EXPECT_NE(bytes.rfind("\xEF\xBB\xBF", 0), 0u) << resource.name;
        EXPECT_TRUE(juce::CharPointer_UTF8::isValidString(bytes.data(), *resource.size))
            << resource.name;
        EXPECT_EQ(bytes.find('\0'), std::string::npos) << resource.name;

        for (size_t i = 0; i < bytes.size(); ++i)
        {
            const bool crLf = bytes[i] == '\r'   ? bytes[i + 1] == '\n'
                              : bytes[i] == '\n' ? i > 0 && bytes[i - 1] == '\r'
                                                 : true;
            EXPECT_TRUE(crLf) << resource.name << " byte " << i;
        }
        EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n") << resource.name;
    }
}

TEST(TextResources, StringTablesHoldOneSectionOf41Entries)
{
    for (const auto& table : stringTables)
    {
        const auto bytes = table.bytes();
        EXPECT_EQ(bytes.rfind("\r\n:STR\r\n\r\n", 0), 0u) << table.name;

        const auto expected = table.endsWithEof ? std::vector<std::string>{":STR", ":EOF"}
                                                : std::vector<std::string>{":STR"};
        EXPECT_EQ(headers(bytes), expected) << table.name;
        EXPECT_EQ(lines(bytes).back() == ":EOF", table.endsWithEof) << table.name;
        EXPECT_EQ(entries(table, ":STR").size(), TextLoader::numStrings) << table.name;
    }
}

TEST(TextResources, EnglishTableIsTheCatalogue)
{
    const auto english = entries(stringTables[0], ":STR");
    ASSERT_EQ(english.size(), TextLoader::numStrings);

    for (size_t id = 0; id < english.size(); ++id)
        EXPECT_EQ(english[id], englishStrings[id]) << "string " << id;
}

TEST(TextResources, TranslationsKeepPanelNamesAndPlaceholders)
{
    for (const auto& table : stringTables)
    {
        const auto translated = entries(table, ":STR");
        ASSERT_EQ(translated.size(), TextLoader::numStrings) << table.name;

        for (size_t id = 0; id < translated.size(); ++id)
        {
            const auto expected = conversions(englishStrings[id]);
            EXPECT_EQ(conversions(translated[id]), expected) << table.name << " string " << id;
            EXPECT_EQ(expected, placeholders(static_cast<int>(expected.size()))) << id;
            if (id <= 7)
            {
                EXPECT_EQ(translated[id], englishStrings[id]) << table.name << " string " << id;
            }
        }
    }
}

// A translation with other conversions than the pages' arguments would make formatted() read
// arguments that were never passed.
TEST(TextResources, EveryFormattedStringTakesExactlyThePagesArguments)
{
    for (const auto& table : stringTables)
    {
        const auto translated = entries(table, ":STR");
        ASSERT_EQ(translated.size(), TextLoader::numStrings) << table.name;

        for (const auto& f : formattedStrings)
        {
            const auto& format = translated[static_cast<size_t>(f.id)];
            ASSERT_EQ(conversions(format), placeholders(f.arguments))
                << table.name << " string " << f.id;

            const auto result = f.arguments == 1 ? formatted(format.toRawUTF8(), "<A>")
                                                 : formatted(format.toRawUTF8(), "<A>", "<B>");
            const auto expected =
                format.replaceFirstOccurrenceOf("%s", "<A>").replaceFirstOccurrenceOf("%s", "<B>");
            EXPECT_EQ(result, expected) << table.name << " string " << f.id;
        }
    }
}

TEST(TextResources, LoaderServesEachLocalesOwnTable)
{
    auto* loader = TextLoader::getInstance();

    for (juce::uint32 locale = 0; locale < TextLoader::numLocales; ++locale)
    {
        const auto& table = stringTables[locale];
        loader->setLocale(locale);
        ASSERT_EQ(loader->getLocale(), locale);

        const auto expected = entries(table, ":STR");
        ASSERT_EQ(expected.size(), TextLoader::numStrings) << table.name;
        for (juce::uint32 id = 0; id < TextLoader::numStrings; ++id)
            EXPECT_EQ(loader->getString(id), expected[id]) << table.name << " string " << id;
    }
    TextLoader::deleteInstance();
}

TEST(TextResources, LanguageTableNamesEachLanguageAndItsTypefaces)
{
    const struct
    {
        const char* name;
        const char* fontMac;
        const char* fontWin;
    } languages[TextLoader::numLocales] = {
        {"English", "Arial", "Arial"},
        {"Fran\xc3\xa7"
         "ais",
         "Arial", "Arial"},
        {"Deutsch", "Arial", "Arial"},
        {"Espa\xc3\xb1ol", "Arial", "Arial"},
        {"Italiano", "Arial", "Arial"},
        {"Nederlands", "Arial", "Arial"},
        {"\xd0\xa0\xd1\x83\xd1\x81\xd1\x81\xd0\xba\xd0\xb8\xd0\xb9", "Helvetica Neue", "Arial"},
        {"Portugu\xc3\xaas", "Arial", "Arial"},
        {"\xe7\xae\x80\xe4\xbd\x93\xe4\xb8\xad\xe6\x96\x87", "Heiti SC", "Microsoft YaHei"},
        {"\xe7\xb9\x81\xe9\xab\x94\xe4\xb8\xad\xe6\x96\x87", "Heiti TC", "Microsoft YaHei"},
        {"\xed\x95\x9c\xea\xb5\xad\xec\x96\xb4", "AppleGothic", "Malgun Gothic"},
        {"\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e", "Hiragino Maru Gothic Pro W4", "MS UI Gothic"},
    };

    const auto bytes = languageTable.bytes();
    EXPECT_EQ(headers(bytes),
              (std::vector<std::string>{":FONT_WIN", ":FONT_MAC", ":LANG", ":EOF"}));
    EXPECT_EQ(bytes.rfind("\r\n:FONT_WIN\r\n\r\n", 0), 0u);

    const auto names = entries(languageTable, ":LANG");
    const auto fontsMac = entries(languageTable, ":FONT_MAC");
    const auto fontsWin = entries(languageTable, ":FONT_WIN");
    ASSERT_EQ(names.size(), TextLoader::numLocales);
    ASSERT_EQ(fontsMac.size(), TextLoader::numLocales);
    ASSERT_EQ(fontsWin.size(), TextLoader::numLocales);

    const auto* loader = TextLoader::getInstance();
    for (juce::uint32 i = 0; i < TextLoader::numLocales; ++i)
    {
        const auto name = juce::String::fromUTF8(languages[i].name);
        EXPECT_EQ(names[i], name) << i;
        EXPECT_EQ(fontsMac[i], languages[i].fontMac) << i;
        EXPECT_EQ(fontsWin[i], languages[i].fontWin) << i;
        EXPECT_EQ(loader->getLang(i), name) << i;
        EXPECT_EQ(loader->getFont(i), languages[i].fontMac) << i;
    }
    TextLoader::deleteInstance();
}
