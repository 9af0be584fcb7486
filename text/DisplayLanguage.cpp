// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/DisplayLanguage.h"

#include <cstdlib>

namespace
{
juce::String environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? juce::String::fromUTF8(value) : juce::String();
}

// Chinese is written in two scripts; the region tells which one its users read.
juce::String chineseScriptFor(const juce::String& region)
{
    if (region == "TW" || region == "HK" || region == "MO")
        return "Hant";
    if (region == "CN" || region == "SG")
        return "Hans";
    return {};
}
} // namespace

juce::String languageTagFromLocaleName(const juce::String& localeName)
{
    const auto name = localeName.upToFirstOccurrenceOf(".", false, false)
                          .upToFirstOccurrenceOf("@", false, false)
                          .trim();
    if (name.isEmpty() || name == "C" || name == "POSIX")
        return {};

    const auto language = name.upToFirstOccurrenceOf("_", false, false).toLowerCase();
    const auto region = name.fromFirstOccurrenceOf("_", false, false).toUpperCase();
    if (region.isEmpty())
        return language;

    const auto script = language == "zh" ? chineseScriptFor(region) : juce::String();
    return language + (script.isNotEmpty() ? "-" + script : juce::String()) + "-" + region;
}

juce::String getDisplayLanguageTag()
{
#if JUCE_LINUX || JUCE_BSD
    // gettext's order: LANGUAGE (a preference list) unless the locale is plain C, then LC_ALL,
    // LC_MESSAGES, LANG.
    juce::String locale;
    for (const auto* variable : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if ((locale = environment(variable)).isNotEmpty())
            break;

    const auto tag = languageTagFromLocaleName(locale);
    const auto preferred =
        languageTagFromLocaleName(environment("LANGUAGE").upToFirstOccurrenceOf(":", false, false));

    return tag.isNotEmpty() && preferred.isNotEmpty() ? preferred : tag;
#else
    return juce::SystemStats::getDisplayLanguage();
#endif
}
