// SPDX-License-Identifier: GPL-3.0-or-later
#include "lookandfeel/LinuxTypefaces.h"

namespace
{
enum class Script
{
    latin,
    cjk
};

const struct
{
    const char* family;
    Script script;
} tableTypefaces[] = {
    {"Arial", Script::latin},     {"Helvetica Neue", Script::latin},
    {"Heiti SC", Script::cjk},    {"Heiti TC", Script::cjk},
    {"AppleGothic", Script::cjk}, {"Hiragino Maru Gothic Pro W4", Script::cjk},
};

constexpr const char* latinFamily = "Liberation Sans";
constexpr const char* cjkFile = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";

// How far the second copy of a glyph is moved right to make it bold, relative to the height.
constexpr float emboldening = 0.04f;

// The CJK collection has a regular face only: bold glyphs are the regular outline drawn twice,
// a little apart, which thickens the vertical strokes.
class EmboldenedTypeface : public juce::CustomTypeface
{
public:
    explicit EmboldenedTypeface(juce::Typeface::Ptr regularFace) : regular(std::move(regularFace))
    {
        setCharacteristics(regular->getName(), "Bold", regular->getAscent(), L' ');
    }

    bool loadGlyphIfPossible(juce::juce_wchar character) override
    {
        // A character is its own glyph number in a typeface built from font data.
        juce::Path outline;
        if (!regular->getOutlineForGlyph(static_cast<int>(character), outline))
            return false;

        juce::Path bold(outline);
        bold.addPath(outline, juce::AffineTransform::translation(emboldening, 0.0f));
        const auto width = regular->getStringWidth(juce::String::charToString(character));
        addGlyph(character, bold, width + emboldening);
        return true;
    }

private:
    juce::Typeface::Ptr regular;
};

template <typename Load>
juce::Typeface::Ptr loadOnce(std::optional<juce::Typeface::Ptr>& slot, Load load)
{
    if (!slot.has_value())
        slot = load();

    return *slot;
}

bool isInstalled(const juce::String& family)
{
    return !juce::Font::findAllTypefaceStyles(family).isEmpty();
}

juce::Typeface::Ptr installedTypeface(const char* family, const char* style)
{
    if (!juce::Font::findAllTypefaceStyles(family).contains(style))
        return nullptr;

    return juce::Typeface::createSystemTypefaceFor(juce::Font(family, style, 12.0f));
}

// The framework scans no .ttc, so the collection is read as data; its first face is the one used.
juce::Typeface::Ptr typefaceFromFile(const juce::File& file)
{
    const juce::MemoryMappedFile mapped(file, juce::MemoryMappedFile::readOnly);
    if (mapped.getData() == nullptr)
        return nullptr;

    auto typeface = juce::Typeface::createSystemTypefaceFor(mapped.getData(), mapped.getSize());
    return typeface->getName().isNotEmpty() ? typeface : nullptr;
}
} // namespace

juce::Typeface::Ptr LinuxTypefaces::findStandIn(const juce::Font& font)
{
    const auto family = font.getTypefaceName();

    for (const auto& entry : tableTypefaces)
    {
        if (family != entry.family)
            continue;

        if (isInstalled(family))
            return nullptr;

        return entry.script == Script::latin ? latin(font.isBold()) : cjk(font.isBold());
    }

    return nullptr;
}

juce::Typeface::Ptr LinuxTypefaces::latin(bool bold)
{
    const auto regular =
        loadOnce(latinRegular, [] { return installedTypeface(latinFamily, "Regular"); });
    if (!bold)
        return regular;

    const auto boldFace =
        loadOnce(latinBold, [] { return installedTypeface(latinFamily, "Bold"); });
    return boldFace != nullptr ? boldFace : regular;
}

juce::Typeface::Ptr LinuxTypefaces::cjk(bool bold)
{
    const auto regular = loadOnce(cjkRegular, [] { return typefaceFromFile(juce::File(cjkFile)); });
    if (!bold || regular == nullptr)
        return regular;

    return loadOnce(cjkBold,
                    [&regular] { return juce::Typeface::Ptr(new EmboldenedTypeface(regular)); });
}
