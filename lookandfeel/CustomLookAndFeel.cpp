// SPDX-License-Identifier: GPL-3.0-or-later
#include "lookandfeel/CustomLookAndFeel.h"

#include "text/TextLoader.h"

namespace
{
// Japanese is set smaller throughout, labels included, whatever height a page gave them.
constexpr juce::uint32 smallFontLocale = 11;
constexpr float smallFontHeight = 11.0f;
constexpr float controlFontHeight = 13.0f;

juce::Font controlFont()
{
    const auto* loader = TextLoader::getInstance();
    const auto height =
        loader->getLocale() == smallFontLocale ? smallFontHeight : controlFontHeight;
    return juce::Font(loader->getFont(), height, juce::Font::plain);
}

void drawSeparator(juce::Graphics& g, juce::Rectangle<int> r)
{
    r = r.reduced(5, 0);
    r.removeFromTop(r.getHeight() / 2 - 1);

    g.setColour(juce::Colour(0x33000000));
    g.fillRect(r.removeFromTop(1));
    g.setColour(juce::Colour(0x66FFFFFF));
    g.fillRect(r.removeFromTop(1));
}

// A language name reads the same in every language, so it is drawn in its own typeface.
juce::Font popupItemFont(juce::Font font, const juce::String& text, int itemHeight)
{
    const auto* loader = TextLoader::getInstance();

    for (juce::uint32 i = 0; i < TextLoader::numLocales; ++i)
    {
        if (text.equalsIgnoreCase(loader->getLang(i)))
        {
            font.setTypefaceName(loader->getFont(i));
            break;
        }
    }

    const auto maxHeight = static_cast<float>(itemHeight) / 1.3f;
    if (font.getHeight() > maxHeight)
        font.setHeight(maxHeight);

    return font;
}

void drawSubMenuArrow(juce::Graphics& g, juce::Rectangle<int>& r, float ascent)
{
    const auto size = 0.6f * ascent;
    const auto x = static_cast<float>(r.removeFromRight(static_cast<int>(size)).getX());
    const auto middle = static_cast<float>(r.getCentreY());

    juce::Path arrow;
    arrow.addTriangle(x, middle - size * 0.5f, x, middle + size * 0.5f, x + size * 0.6f, middle);
    g.fillPath(arrow);
}

void drawShortcut(juce::Graphics& g, const juce::String& shortcut, juce::Font font,
                  juce::Rectangle<int> r)
{
    font.setHeight(font.getHeight() * 0.75f);
    font.setHorizontalScale(0.95f);
    g.setFont(font);
    g.drawText(shortcut, r, juce::Justification::centredRight, true);
}
} // namespace

// The framework caches typefaces by name for whichever look and feel is the default: one that
// resolved a table typeface before this one would leave it without its stand-in.
CustomLookAndFeel::CustomLookAndFeel()
{
    juce::Typeface::clearTypefaceCache();
}

juce::Font CustomLookAndFeel::getTextButtonFont(juce::TextButton&, int)
{
    return controlFont();
}

void CustomLookAndFeel::drawPopupMenuItem(juce::Graphics& g, const juce::Rectangle<int>& area,
                                          bool isSeparator, bool isActive, bool isHighlighted,
                                          bool isTicked, bool hasSubMenu, const juce::String& text,
                                          const juce::String& shortcutKeyText,
                                          const juce::Drawable* icon,
                                          const juce::Colour* textColour)
{
    if (isSeparator)
    {
        drawSeparator(g, area);
        return;
    }

    auto r = area.reduced(1);

    if (isHighlighted)
    {
        g.setColour(findColour(juce::PopupMenu::highlightedBackgroundColourId));
        g.fillRect(r);
        g.setColour(findColour(juce::PopupMenu::highlightedTextColourId));
    }
    else
    {
        g.setColour(textColour != nullptr ? *textColour
                                          : findColour(juce::PopupMenu::textColourId));
    }

    if (!isActive)
        g.setOpacity(0.3f);

    const auto font = popupItemFont(getPopupMenuFont(), text, area.getHeight());
    g.setFont(font);

    const auto iconArea = r.removeFromLeft((r.getHeight() * 5) / 4).reduced(3).toFloat();

    if (icon != nullptr)
    {
        icon->drawWithin(
            g, iconArea,
            juce::RectanglePlacement::centred | juce::RectanglePlacement::onlyReduceInSize, 1.0f);
    }
    else if (isTicked)
    {
        const auto tick = getTickShape(1.0f);
        g.fillPath(tick, tick.getTransformToScaleToFit(iconArea, true));
    }

    if (hasSubMenu)
        drawSubMenuArrow(g, r, getPopupMenuFont().getAscent());

    r.removeFromRight(3);
    g.drawFittedText(text, r, juce::Justification::centredLeft, 1, 0.0f);

    if (shortcutKeyText.isNotEmpty())
        drawShortcut(g, shortcutKeyText, font, r);
}

juce::Font CustomLookAndFeel::getComboBoxFont(juce::ComboBox&)
{
    return controlFont();
}

juce::Font CustomLookAndFeel::getLabelFont(juce::Label& label)
{
    const auto* loader = TextLoader::getInstance();
    auto font = label.getFont();
    font.setTypefaceName(loader->getFont());

    if (loader->getLocale() == smallFontLocale)
        font.setHeight(smallFontHeight);

    return font;
}

juce::Typeface::Ptr CustomLookAndFeel::getTypefaceForFont(const juce::Font& font)
{
    if (auto standIn = linuxTypefaces.findStandIn(font))
        return standIn;

    return LookAndFeel_V3::getTypefaceForFont(font);
}
