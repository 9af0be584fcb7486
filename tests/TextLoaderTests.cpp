// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/Formatted.h"
#include "text/TextLoader.h"

#include <BinaryData.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace std::string_literals;

namespace
{
TextLoader& loader()
{
    return *TextLoader::getInstance();
}

// Runs the section reader over bytes, as it runs over an embedded resource.
std::vector<juce::String> load(const std::string& bytes, const char* header, int count,
                               std::vector<juce::String> slots)
{
    const char* data = bytes.data();
    const int size = static_cast<int>(bytes.size());
    TextLoader::Load(&data, &size, header, slots.data(), count);
    return slots;
}
} // namespace

TEST(LanguageDetection, FirstCodeThatStartsTheTagWins)
{
    const struct
    {
        const char* tag;
        juce::uint32 locale;
    } cases[] = {
        {"en-US", 0},
        {"en-GB", 0},
        {"fr-CA", 1},
        {"de", 2},
        {"es-419", 3},
        {"it-IT", 4},
        {"nl-BE", 5},
        {"ru", 6},
        {"pt-BR", 7},
        {"zh-Hans-CN", 8},
        {"zh-Hant-TW", 9},
        {"ZH-HANT", 9},
        {"ko-KR", 10},
        {"JA-jp", 11},
        {"ja", 11},
        // A plain prefix: no subtag boundary is required, and anything unknown is English.
        {"kok", 10},
        {"fry", 1},
        {"zh-Hansx", 8},
        {"zh-TW", 0},
        {"zh", 0},
        {"", 0},
        {"e", 0},
        {"sv-SE", 0},
        {"-en", 0},
    };

    for (const auto& c : cases)
        EXPECT_EQ(TextLoader::localeForLanguageTag(c.tag), c.locale) << '"' << c.tag << '"';
}

TEST(SectionReader, ReadsTheNamedSection)
{
    const std::vector<juce::String> before{"x0", "x1", "x2"};
    const struct
    {
        const char* what;
        std::string bytes;
        const char* header;
        std::vector<juce::String> expected;
    } cases[] = {
        {"shipped layout",
         "\r\n:STR\r\n\r\n\"a\"\r\n\"b\"\r\n\r\n:EOF\r\n",
         ":STR",
         {"a", "b", "x2"}},
        {"no :EOF", "\r\n:STR\r\n\r\n\"a\"\r\n\"b\"\r\n", ":STR", {"a", "b", "x2"}},
        {"empty lines skipped",
         ":STR\r\n\r\n\"a\"\r\n\r\n\r\n\"b\"\r\n\"c\"",
         ":STR",
         {"a", "b", "c"}},
        {"spaces are an entry", ":STR\r\n\"a\"\r\n   \r\n\"c\"\r\n", ":STR", {"a", "   ", "c"}},
        {"stops at the next header", ":A\r\n\"a\"\r\n:B\r\n\"b\"\r\n", ":A", {"a", "x1", "x2"}},
        {"a later section", ":A\r\n\"a\"\r\n:B\r\n\"b\"\r\n", ":B", {"b", "x1", "x2"}},
        {"lines before the header", "\"z\"\r\n:STR\r\n\"a\"", ":STR", {"a", "x1", "x2"}},
        {"header with a trailing space", ":STR \r\n\"a\"\r\n", ":STR", before},
        {"header case", ":str\r\n\"a\"\r\n", ":STR", before},
        {"header missing", ":LANG\r\n\"a\"\r\n", ":STR", before},
        {"nothing after the header", "\r\n:STR\r\n", ":STR", before},
        {"empty resource", "", ":STR", before},
        {"LF only", ":STR\n\"a\"\n\n\"b\"\n", ":STR", {"a", "b", "x2"}},
        {"CR only", ":STR\r\"a\"\r\r\"b\"\r", ":STR", {"a", "b", "x2"}},
        {"NUL ends a line", ":STR\0\"a\"\0\"b\""s, ":STR", {"a", "b", "x2"}},
        {"more entries than slots",
         ":STR\r\n\"a\"\r\n\"b\"\r\n\"c\"\r\n\"d\"\r\n",
         ":STR",
         {"a", "b", "c"}},
    };

    for (const auto& c : cases)
        EXPECT_EQ(load(c.bytes, c.header, 3, before), c.expected) << c.what;
}

TEST(SectionReader, StripsOneQuoteAtEachEndAndInterpretsNothingElse)
{
    const struct
    {
        const char* line;
        const char* entry;
    } cases[] = {
        {"\"GLOBAL\"", "GLOBAL"},
        {"\"\"", ""},
        {"'single'", "single"},
        {"\"say \"hi\" now\"", "say \"hi\" now"},
        {"\"\"twice\"\"", "\"twice\""},
        {"\"open only", "open only"},
        {"close only'", "close only"},
        {"\"", ""},
        {"bare", "bare"},
        {"\" padded \"", " padded "},
        {"\"a\\nb %s\"", "a\\nb %s"},
        {"\"\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\"", "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e"},
    };

    for (const auto& c : cases)
    {
        const auto slots = load(":S\r\n"s + c.line + "\r\n", ":S", 1, {"old"});
        EXPECT_EQ(slots[0], juce::String::fromUTF8(c.entry)) << c.line;
    }
}

// Found by fuzzing: on malformed UTF-8 the quote stripping indexed past the end of the line.
TEST(SectionReader, MalformedUtf8BecomesReplacementCharacters)
{
    const auto replacement = juce::String::charToString(0xfffd);
    const auto slots = load(":S\r\n\"" + std::string(16, '\xff') + "\"\r\n\"a\xe6\x97\"\r\n", ":S",
                            2, {"x0", "x1"});

    EXPECT_EQ(slots[0], juce::String::repeatedString(replacement, 16));
    EXPECT_EQ(slots[1], "a" + replacement);
    for (const auto& entry : slots)
        EXPECT_TRUE(juce::CharPointer_UTF8::isValidString(entry.toRawUTF8(), 1 << 20));
}

TEST(SectionReader, FillsAtMostCountSlots)
{
    const auto slots = load(":S\r\n\"a\"\r\n\"b\"\r\n\"c\"\r\n", ":S", 2, {"x0", "x1", "x2"});
    EXPECT_EQ(slots, (std::vector<juce::String>{"a", "b", "x2"}));
    EXPECT_EQ(load(":S\r\n\"a\"\r\n", ":S", 0, {"x0"}), std::vector<juce::String>{"x0"});
}

class TextLoaderTest : public testing::Test
{
protected:
    void SetUp() override { loader().setLocale(0); }
    void TearDown() override { TextLoader::deleteInstance(); }

    // The reader applied straight to the table the loader should hold.
    static juce::String tableEntry(const char* const* data, const int* size, int id)
    {
        std::vector<juce::String> entries(TextLoader::numStrings);
        TextLoader::Load(data, size, ":STR", entries.data(), TextLoader::numStrings);
        return entries[static_cast<size_t>(id)];
    }
};

TEST_F(TextLoaderTest, SetLocaleReloadsOnlyOnAChangeToAKnownLanguage)
{
    const char* english = loader().getUTF8(13);

    for (juce::uint32 ignored : {0u, 12u, 13u, 4294967295u})
    {
        loader().setLocale(ignored);
        EXPECT_EQ(loader().getLocale(), 0u) << ignored;
        EXPECT_EQ(loader().getUTF8(13), english) << "reloaded on " << ignored;
    }

    loader().setLocale(1);
    EXPECT_EQ(loader().getLocale(), 1u);
    EXPECT_EQ(loader().getString(13),
              tableEntry(&BinaryData::french_txt, &BinaryData::french_txtSize, 13));
    EXPECT_EQ(loader().getFont(), loader().getFont(1));

    loader().setLocale(0);
    EXPECT_EQ(loader().getString(13), "Language Selections");
    EXPECT_NE(loader().getUTF8(13), english) << "a change of language reloads the table";
}

TEST_F(TextLoaderTest, Utf8IsTheStoredEntryItself)
{
    loader().setLocale(11);

    for (juce::uint32 id = 0; id < TextLoader::numStrings; ++id)
    {
        const auto copy = loader().getString(id);
        EXPECT_EQ(loader().getUTF8(id), copy.toRawUTF8()) << "not the shared buffer, id " << id;
        EXPECT_EQ(loader().getUTF8(id), loader().getUTF8(id)) << id;
    }
}

TEST_F(TextLoaderTest, OutOfRangeGivesEmptyText)
{
    for (juce::uint32 id : {41u, 42u, 1000u, 4294967295u})
    {
        EXPECT_TRUE(loader().getString(id).isEmpty()) << id;
        const char* text = loader().getUTF8(id);
        ASSERT_NE(text, nullptr) << id;
        EXPECT_EQ(*text, '\0') << id;
    }

    for (juce::uint32 index : {12u, 13u, 4294967295u})
    {
        EXPECT_TRUE(loader().getLang(index).isEmpty()) << index;
        EXPECT_TRUE(loader().getFont(index).isEmpty()) << index;
    }

    EXPECT_FALSE(loader().getString(40).isEmpty());
    EXPECT_FALSE(loader().getLang(11).isEmpty());
    EXPECT_FALSE(loader().getFont(11).isEmpty());
}

TEST(TextLoaderSingleton, ComesBackFreshAfterDeletion)
{
    const auto detected = TextLoader::localeForLanguageTag(juce::SystemStats::getDisplayLanguage());
    const auto other = (detected + 1) % TextLoader::numLocales;

    auto* first = TextLoader::getInstance();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(TextLoader::getInstance(), first);
    EXPECT_EQ(first->getLocale(), detected);
    first->setLocale(other);

    TextLoader::deleteInstance();
    EXPECT_EQ(TextLoader::getInstanceWithoutCreating(), nullptr);

    auto* second = TextLoader::getInstance();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->getLocale(), detected) << "the detected language, not the earlier choice";
    EXPECT_EQ(second->getLang(0), "English");
    EXPECT_EQ(second->getFont(0), "Arial");
    TextLoader::deleteInstance();
}

TEST(Formatted, FillsUtf8Placeholders)
{
    const juce::String japanese = juce::String::fromUTF8("\xe6\x97\xa5\xe6\x9c\xac");

    EXPECT_EQ(formatted("Update Version: Ver. %s", "1.00"), "Update Version: Ver. 1.00");
    EXPECT_EQ(formatted("Turn the [%s] knob and select [%s].", "VALUE", "USB"),
              "Turn the [VALUE] knob and select [USB].");
    EXPECT_EQ(formatted("[%s]%s", japanese.toRawUTF8(), ""), "[" + japanese + "]");
    EXPECT_EQ(formatted(japanese.toRawUTF8()), japanese);
    EXPECT_EQ(formatted("100%% %s", "done"), "100% done");
    EXPECT_EQ(formatted(""), "");
}

TEST(Formatted, KeepsLongResultsWhole)
{
    const std::string argument(100000, 'x');
    const auto result = formatted("<%s>", argument.c_str());
    EXPECT_EQ(result.length(), 100002);
    EXPECT_TRUE(result.startsWith("<x") && result.endsWith("x>"));
}

TEST(Formatted, FailureGivesEmptyString)
{
    // A lone surrogate cannot be converted to a multibyte string, so formatting fails.
    const wchar_t unconvertible[] = {static_cast<wchar_t>(0xD800), 0};
    EXPECT_EQ(formatted("before %ls after", unconvertible), "");
}
