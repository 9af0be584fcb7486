// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <juce_core/juce_core.h>

// The user's first preferred language as a tag such as en-US, pt-BR or zh-Hant-TW. On Linux the
// framework answers with English names ("German-Germany"), so the tag is formed from the
// environment's locale settings the way gettext reads them.
juce::String getDisplayLanguageTag();

// "pt_BR.UTF-8" -> "pt-BR", "zh_TW" -> "zh-Hant-TW", "zh_CN" -> "zh-Hans-CN"; "" for C and POSIX.
juce::String languageTagFromLocaleName(const juce::String& localeName);
