// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <juce_core/juce_core.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

// printf-style composition of a localised UTF-8 format with UTF-8 arguments. Internal linkage:
// every page that includes this gets its own copy.
//
// No format attribute: the format is always an entry of a text table, never a literal, so the
// compiler could check nothing and would only warn about the non-literal format. The table tests
// hold every translation to the English entry's conversions instead.
[[maybe_unused]] static juce::String formatted(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    char* buffer = nullptr;
    const int length = vasprintf(&buffer, format, args);
    va_end(args);

    // On failure the buffer's contents are undefined.
    if (length < 0)
        return {};

    auto result = juce::String::fromUTF8(buffer);
    free(buffer);
    return result;
}
