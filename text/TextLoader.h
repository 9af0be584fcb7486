// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <juce_core/juce_core.h>

// Serves the user-interface texts of the current language, and every language's own name and
// typeface, from the text tables compiled into the program.
class TextLoader
{
public:
    static constexpr juce::uint32 numStrings = 41;
    static constexpr juce::uint32 numLocales = 12;

    TextLoader();
    ~TextLoader();

    juce::uint32 getLocale() const noexcept { return locale; }

    // Ignores the current index and any index past the last language.
    void setLocale(juce::uint32 index);

    juce::String getString(juce::uint32 id) const;

    // The stored entry's own text, valid until the next change of language; "" when out of range.
    const char* getUTF8(juce::uint32 id) const noexcept;

    juce::String getLang(juce::uint32 index) const;
    juce::String getFont() const;
    juce::String getFont(juce::uint32 index) const;

    // Fills out[0..count) with the entries of the section named header; slots it does not
    // reach keep their contents.
    static void Load(const char* const* data, const int* size, juce::StringRef header,
                     juce::String* out, int count);

    // The first language whose code starts the tag, ignoring case; English when none does.
    static juce::uint32 localeForLanguageTag(const juce::String& tag);

    JUCE_DECLARE_SINGLETON(TextLoader, false)

private:
    juce::uint32 locale = numLocales; // no table loaded yet
    juce::String strings[numStrings];
    juce::String typefaces[numLocales];
    juce::String languages[numLocales];

    JUCE_DECLARE_NON_COPYABLE(TextLoader)
};
