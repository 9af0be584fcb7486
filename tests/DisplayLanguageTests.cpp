// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/DisplayLanguage.h"
#include "text/TextLoader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

TEST(DisplayLanguage, LocaleNamesBecomeTagsThatPickTheRightTable)
{
    const struct
    {
        const char* localeName;
        const char* tag;
        juce::uint32 locale;
    } cases[] = {
        {"de_DE.UTF-8", "de-DE", 2},
        {"pt_BR.UTF-8", "pt-BR", 7},
        {"zh_TW.UTF-8", "zh-Hant-TW", 9},
        {"zh_HK", "zh-Hant-HK", 9},
        {"zh_CN.GB2312", "zh-Hans-CN", 8},
        {"zh_SG", "zh-Hans-SG", 8},
        {"ja_JP.eucJP", "ja-JP", 11},
        {"ko_KR.UTF-8", "ko-KR", 10},
        {"nl_BE@euro", "nl-BE", 5},
        {"es_MX", "es-MX", 3},
        {"en_GB.UTF-8", "en-GB", 0},
        {"sr_RS@latin", "sr-RS", 0},
        {"fr", "fr", 1},
        {"zh", "zh", 0},
        {"C", "", 0},
        {"C.UTF-8", "", 0},
        {"POSIX", "", 0},
        {"", "", 0},
    };

    for (const auto& c : cases)
    {
        const auto tag = languageTagFromLocaleName(c.localeName);
        EXPECT_EQ(tag, c.tag) << c.localeName;
        EXPECT_EQ(TextLoader::localeForLanguageTag(tag), c.locale) << c.localeName;
    }
}

TEST(DisplayLanguage, ReadsTheEnvironmentAsGettextDoes)
{
    const char* const variables[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    std::map<std::string, std::string> saved;
    for (const auto* v : variables)
        if (const char* value = std::getenv(v))
            saved[v] = value;

    const struct
    {
        std::map<std::string, std::string> environment;
        const char* tag;
    } cases[] = {
        {{{"LANG", "de_DE.UTF-8"}}, "de-DE"},
        {{{"LANG", "de_DE.UTF-8"}, {"LC_MESSAGES", "ja_JP.UTF-8"}}, "ja-JP"},
        {{{"LANG", "de_DE.UTF-8"}, {"LC_ALL", "pt_BR.UTF-8"}}, "pt-BR"},
        {{{"LANG", "en_US.UTF-8"}, {"LANGUAGE", "zh_TW:en"}}, "zh-Hant-TW"},
        {{{"LC_ALL", "C"}, {"LANGUAGE", "fr"}}, ""}, // a C locale ignores the preference list
        {{}, ""},
    };

    for (const auto& c : cases)
    {
        for (const auto* v : variables)
            unsetenv(v);
        for (const auto& [name, value] : c.environment)
            setenv(name.c_str(), value.c_str(), 1);

        EXPECT_EQ(getDisplayLanguageTag(), c.tag) << c.tag;
    }

    for (const auto* v : variables)
        unsetenv(v);
    for (const auto& [name, value] : saved)
        setenv(name.c_str(), value.c_str(), 1);
}
