// SPDX-License-Identifier: GPL-3.0-or-later
#include "lookandfeel/CustomLookAndFeel.h"
#include "lookandfeel/LinuxTypefaces.h"
#include "text/TextLoader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

namespace
{
TextLoader& loader()
{
    return *TextLoader::getInstance();
}

const juce::String japaneseName = juce::String::fromUTF8("\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e");
const juce::String russianName =
    juce::String::fromUTF8("\xd0\xa0\xd1\x83\xd1\x81\xd1\x81\xd0\xba\xd0\xb8\xd0\xb9");

// Notes the font of every glyph drawn.
class GlyphRecorder : public juce::LowLevelGraphicsSoftwareRenderer
{
public:
    using LowLevelGraphicsSoftwareRenderer::LowLevelGraphicsSoftwareRenderer;

    void drawGlyph(int glyphNumber, const juce::AffineTransform& transform) override
    {
        fonts.push_back(getFont());
        LowLevelGraphicsSoftwareRenderer::drawGlyph(glyphNumber, transform);
    }

    std::vector<juce::Font> fonts;
};

struct Item
{
    juce::String text;
    juce::Rectangle<int> area{0, 0, 200, 30};
    bool separator = false;
    bool active = true;
    bool highlighted = false;
    bool ticked = false;
    bool subMenu = false;
    juce::String shortcut;
    const juce::Drawable* icon = nullptr;
};

struct Drawn
{
    juce::Image image;
    std::vector<juce::Font> fonts;
};

Drawn draw(CustomLookAndFeel& lookAndFeel, const Item& item)
{
    Drawn drawn{juce::Image(juce::Image::ARGB, 220, 40, true), {}};
    GlyphRecorder context(drawn.image);
    juce::Graphics g(context);
    lookAndFeel.drawPopupMenuItem(g, item.area, item.separator, item.active, item.highlighted,
                                  item.ticked, item.subMenu, item.text, item.shortcut, item.icon,
                                  nullptr);
    drawn.fonts = context.fonts;
    return drawn;
}

int maxAlpha(const juce::Image& image, juce::Rectangle<int> region)
{
    int alpha = 0;
    for (int y = region.getY(); y < region.getBottom(); ++y)
        for (int x = region.getX(); x < region.getRight(); ++x)
            alpha = juce::jmax(alpha, static_cast<int>(image.getPixelAt(x, y).getAlpha()));
    return alpha;
}

juce::Rectangle<int> inkBounds(const juce::Image& image)
{
    juce::Rectangle<int> bounds;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
            if (image.getPixelAt(x, y).getAlpha() != 0)
                bounds = bounds.isEmpty() ? juce::Rectangle<int>(x, y, 1, 1)
                                          : bounds.getUnion({x, y, 1, 1});
    return bounds;
}

bool samePixels(const juce::Image& a, const juce::Image& b)
{
    for (int y = 0; y < a.getHeight(); ++y)
        for (int x = 0; x < a.getWidth(); ++x)
            if (a.getPixelAt(x, y) != b.getPixelAt(x, y))
                return false;
    return true;
}

void drawSampleRow(juce::Graphics& g, CustomLookAndFeel& lookAndFeel, juce::uint32 locale, int y)
{
    lookAndFeel.drawPopupMenuItem(g, {0, y, 160, 30}, false, true, false, false, false,
                                  loader().getLang(locale), {}, nullptr, nullptr);

    juce::Label heading, text;
    heading.setFont(juce::Font(13.0f, juce::Font::bold));
    text.setFont(juce::Font(13.0f, juce::Font::plain));
    g.setFont(lookAndFeel.getLabelFont(heading));
    g.drawText(loader().getString(13), 170, y, 250, 30, juce::Justification::centredLeft);
    g.setFont(lookAndFeel.getLabelFont(text));
    g.drawText(loader().getString(14), 430, y, 470, 30, juce::Justification::centredLeft);
}

void savePng(const juce::Image& image, const juce::File& file)
{
    file.deleteFile();
    juce::FileOutputStream out(file);
    ASSERT_TRUE(out.openedOk()) << file.getFullPathName();
    ASSERT_TRUE(juce::PNGImageFormat().writeImageToStream(image, out));
}

juce::Image render(const juce::Font& font, const juce::String& text, int width = 40)
{
    juce::Image image(juce::Image::ARGB, width, 40, true);
    juce::Graphics g(image);
    g.setColour(juce::Colours::black);
    g.setFont(font);
    g.drawSingleLineText(text, 4, 30);
    return image;
}

juce::Image renderGlyph(const juce::Font& font, juce::juce_wchar character)
{
    return render(font, juce::String::charToString(character));
}

juce::int64 ink(const juce::Image& image)
{
    juce::int64 sum = 0;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
            sum += image.getPixelAt(x, y).getAlpha();
    return sum;
}
// A true bold face carries about 40% more ink than its plain face; a plain face drawn twice in
// place, about 20%.
void expectBoldToLookBold(const juce::Font& bold, const juce::String& text, juce::uint32 locale)
{
    const auto plain = bold.withStyle(juce::Font::plain);
    EXPECT_GT(ink(render(bold, text, 600)) * 10, ink(render(plain, text, 600)) * 13) << locale;
}

// Every character must draw ink that is not the box drawn for a character the typeface lacks,
// and hardly any two characters may look the same.
void expectRealGlyphs(const juce::Font& font, const juce::String& text, juce::uint32 locale)
{
    const auto missing = renderGlyph(font, 0xFFFF);
    std::set<juce::juce_wchar> characters;
    std::vector<juce::Image> shapes;

    for (auto c : text)
    {
        if (juce::CharacterFunctions::isWhitespace(c) || !characters.insert(c).second)
            continue;

        const auto glyph = renderGlyph(font, c);
        const auto where =
            juce::String(locale) + ": U+" + juce::String::toHexString(static_cast<int>(c));
        EXPECT_FALSE(inkBounds(glyph).isEmpty()) << where;
        EXPECT_FALSE(samePixels(glyph, missing)) << where;

        const auto isGlyph = [&glyph](const juce::Image& shape)
        { return samePixels(shape, glyph); };
        if (std::none_of(shapes.begin(), shapes.end(), isGlyph))
            shapes.push_back(glyph);
    }

    EXPECT_GE(shapes.size() * 10, characters.size() * 9) << locale << ": too few distinct glyphs";
}
} // namespace

// The look and feel is the default one, as in the program, so that fonts resolve through it.
class LookAndFeelTest : public testing::Test
{
protected:
    void SetUp() override
    {
        juce::LookAndFeel::setDefaultLookAndFeel(&lookAndFeel);
        loader().setLocale(0);
    }

    void TearDown() override
    {
        TextLoader::deleteInstance();
        juce::LookAndFeel::setDefaultLookAndFeel(nullptr);
        juce::Typeface::clearTypefaceCache();
    }

    CustomLookAndFeel lookAndFeel;
};

TEST_F(LookAndFeelTest, ControlsUseTheCurrentLanguagesTypeface)
{
    const struct
    {
        juce::uint32 locale;
        const char* typeface;
        float height;
    } cases[] = {
        {0, "Arial", 13.0f},
        {6, "Helvetica Neue", 13.0f},
        {8, "Heiti SC", 13.0f},
        {11, "Hiragino Maru Gothic Pro W4", 11.0f},
    };

    for (const auto& c : cases)
    {
        loader().setLocale(c.locale);

        juce::TextButton button;
        juce::ComboBox box;
        for (const auto& font :
             {lookAndFeel.getTextButtonFont(button, 20), lookAndFeel.getTextButtonFont(button, 60),
              lookAndFeel.getComboBoxFont(box)})
        {
            EXPECT_EQ(font.getTypefaceName(), c.typeface) << c.locale;
            EXPECT_FLOAT_EQ(font.getHeight(), c.height) << c.locale;
            EXPECT_EQ(font.getStyleFlags(), juce::Font::plain) << c.locale;
        }
    }
}

TEST_F(LookAndFeelTest, LabelsKeepTheirStyleAndOnlyJapaneseChangesTheirHeight)
{
    const struct
    {
        juce::uint32 locale;
        float setHeight;
        int style;
        const char* typeface;
        float height;
    } cases[] = {
        {0, 13.0f, juce::Font::bold, "Arial", 13.0f},
        {0, 15.0f, juce::Font::plain, "Arial", 15.0f},
        {9, 13.0f, juce::Font::bold | juce::Font::italic, "Heiti TC", 13.0f},
        {11, 13.0f, juce::Font::bold, "Hiragino Maru Gothic Pro W4", 11.0f},
        {11, 15.0f, juce::Font::plain, "Hiragino Maru Gothic Pro W4", 11.0f},
    };

    for (const auto& c : cases)
    {
        loader().setLocale(c.locale);
        juce::Label label;
        label.setFont(juce::Font(c.setHeight, c.style));

        const auto font = lookAndFeel.getLabelFont(label);
        EXPECT_EQ(font.getTypefaceName(), c.typeface) << c.locale;
        EXPECT_FLOAT_EQ(font.getHeight(), c.height) << c.locale;
        EXPECT_EQ(font.getStyleFlags(), c.style) << c.locale;
    }
}

TEST_F(LookAndFeelTest, PopupItemsNamingALanguageUseItsTypeface)
{
    const auto sans = juce::Font::getDefaultSansSerifFontName();
    const struct
    {
        juce::uint32 current;
        juce::String text;
        int height;
        juce::String typeface;
        float fontHeight;
    } cases[] = {
        {0, "English", 30, "Arial", 17.0f},
        {0, "ENGLISH", 30, "Arial", 17.0f},
        {0, japaneseName, 30, "Hiragino Maru Gothic Pro W4", 17.0f},
        {0, russianName, 30, "Helvetica Neue", 17.0f},
        {0, "English", 20, "Arial", 20.0f / 1.3f},
        {0, "USB", 20, sans, 20.0f / 1.3f},
        {0, "Englis", 30, sans, 17.0f},
        {11, "MIDI", 30, sans, 17.0f},
        {11, "Deutsch", 30, "Arial", 17.0f},
    };

    for (const auto& c : cases)
    {
        loader().setLocale(c.current);
        Item item;
        item.text = c.text;
        item.area = {0, 0, 200, c.height};

        const auto drawn = draw(lookAndFeel, item);
        ASSERT_EQ(drawn.fonts.size(), static_cast<size_t>(c.text.length())) << c.text;
        for (const auto& font : drawn.fonts)
        {
            EXPECT_EQ(font.getTypefaceName(), c.typeface) << c.text;
            EXPECT_NEAR(font.getHeight(), c.fontHeight, 1e-4) << c.text << " in " << c.height;
        }
    }
}

TEST_F(LookAndFeelTest, ShortcutTextIsSmallerAndNarrower)
{
    Item item;
    item.text = "USB";
    item.shortcut = "Ctrl+U";

    const auto drawn = draw(lookAndFeel, item);
    ASSERT_EQ(drawn.fonts.size(), 9u);
    for (size_t i = 3; i < drawn.fonts.size(); ++i)
    {
        EXPECT_NEAR(drawn.fonts[i].getHeight(), 17.0f * 0.75f, 1e-4) << i;
        EXPECT_NEAR(drawn.fonts[i].getHorizontalScale(), 0.95f, 1e-4) << i;
    }
    EXPECT_GT(inkBounds(drawn.image).getRight(), 180) << "right-aligned";
}

TEST_F(LookAndFeelTest, SeparatorIsTwoLinesAcrossTheMiddle)
{
    Item item;
    item.separator = true;
    item.text = "ignored";
    item.area = {3, 5, 30, 10};

    const auto image = draw(lookAndFeel, item).image;
    for (int y = 0; y < image.getHeight(); ++y)
    {
        for (int x = 0; x < image.getWidth(); ++x)
        {
            const bool across = x >= 8 && x < 28;
            const auto expected = across && y == 9    ? 0x33000000u
                                  : across && y == 10 ? 0x66FFFFFFu
                                                      : 0u;
            ASSERT_EQ(image.getPixelAt(x, y).getARGB(), expected) << x << ", " << y;
        }
    }
}

TEST_F(LookAndFeelTest, IconAndTickFitTheIconColumn)
{
    juce::Path square;
    square.addRectangle(0.0f, 0.0f, 100.0f, 100.0f);
    juce::DrawablePath icon;
    icon.setPath(square);
    icon.setFill(juce::Colours::black);

    // Inner area 1, 1, 198, 18; column 18 * 5 / 4 = 22 wide; less 3 all round: 4, 4, 16, 12.
    Item item;
    item.area = {0, 0, 200, 20};
    item.icon = &icon;
    item.ticked = true;
    EXPECT_EQ(inkBounds(draw(lookAndFeel, item).image), juce::Rectangle<int>(6, 4, 12, 12));

    item.icon = nullptr;
    const auto tick = inkBounds(draw(lookAndFeel, item).image);
    EXPECT_FALSE(tick.isEmpty());
    EXPECT_TRUE(juce::Rectangle<int>(4, 4, 16, 12).contains(tick)) << tick.toString();
    EXPECT_TRUE(tick.getWidth() >= 15 || tick.getHeight() >= 11) << tick.toString();
}

TEST_F(LookAndFeelTest, SubMenuArrowSitsAtTheRightEdge)
{
    Item item;
    item.subMenu = true;

    const auto size = 0.6f * lookAndFeel.getPopupMenuFont().getAscent();
    const auto left = 199 - static_cast<int>(size);
    const auto middle = 15.0f;

    const auto arrow = inkBounds(draw(lookAndFeel, item).image);
    EXPECT_EQ(arrow.getX(), left);
    EXPECT_NEAR(arrow.getRight(), left + 0.6f * size, 1.0f);
    EXPECT_NEAR(arrow.getY(), middle - size / 2, 1.0f);
    EXPECT_NEAR(arrow.getBottom(), middle + size / 2, 1.0f);
}

TEST_F(LookAndFeelTest, DisabledItemsAreDrawnAtThirtyPercent)
{
    Item item;
    item.text = "MIDI";
    item.ticked = true;
    item.subMenu = true;

    const auto arrowLeft =
        199 - static_cast<int>(0.6f * lookAndFeel.getPopupMenuFont().getAscent());
    const juce::Rectangle<int> regions[] = {
        {1, 1, 35, 28},                      // tick
        {36, 1, arrowLeft - 3 - 36, 28},     // text
        {arrowLeft, 1, 199 - arrowLeft, 28}, // arrow
    };

    const auto enabled = draw(lookAndFeel, item).image;
    item.active = false;
    const auto disabled = draw(lookAndFeel, item).image;

    for (const auto& region : regions)
    {
        EXPECT_GE(maxAlpha(enabled, region), 250) << region.toString();
        EXPECT_NEAR(maxAlpha(disabled, region), 0.3 * 255, 2.0) << region.toString();
    }

    item.highlighted = true;
    const auto background = draw(lookAndFeel, item).image.getPixelAt(150, 3);
    const auto highlight = lookAndFeel.findColour(juce::PopupMenu::highlightedBackgroundColourId);
    EXPECT_EQ(highlight.getARGB(), 0x991111AAu);
    EXPECT_EQ(background.getAlpha(), highlight.getAlpha()) << "filled before the opacity is set";
    EXPECT_NEAR(background.getBlue(), highlight.getBlue(), 2);
}

// Each language's label text, in its own typeface, must come out as that script's glyphs, with
// bold headings in bold; the sheet of all twelve is left for a person to look at.
TEST_F(LookAndFeelTest, EveryLanguageIsDrawnWithRealGlyphs)
{
    const auto folder = juce::File(TAVRIN_TEST_OUTPUT_DIR);
    ASSERT_TRUE(folder.createDirectory());
    juce::Image sheet(juce::Image::ARGB, 900, 30 * static_cast<int>(TextLoader::numLocales), true);
    juce::Graphics g(sheet);
    g.fillAll(juce::Colours::white);

    for (juce::uint32 locale = 0; locale < TextLoader::numLocales; ++locale)
    {
        loader().setLocale(locale);
        juce::Label label;
        label.setFont(juce::Font(13.0f, juce::Font::bold));
        const auto font = lookAndFeel.getLabelFont(label).withHeight(24.0f);
        expectBoldToLookBold(font, loader().getString(13), locale);
        expectRealGlyphs(font,
                         loader().getString(13) + loader().getString(14) + loader().getLang(locale),
                         locale);
        drawSampleRow(g, lookAndFeel, locale, 30 * static_cast<int>(locale));
    }

    savePng(sheet, folder.getChildFile("languages.png"));
}

TEST(LookAndFeelInstall, ReplacesTypefacesResolvedBeforeIt)
{
    // A font keeps the typeface it resolved, so each lookup needs a font of its own.
    const auto resolve = []
    { return juce::Font("Heiti SC", 13.0f, juce::Font::plain).getTypefacePtr(); };
    resolve(); // by the framework's own look and feel

    CustomLookAndFeel lookAndFeel;
    juce::LookAndFeel::setDefaultLookAndFeel(&lookAndFeel);
    const auto typeface = resolve();
    juce::LookAndFeel::setDefaultLookAndFeel(nullptr);

    ASSERT_NE(typeface, nullptr);
    EXPECT_EQ(typeface->getName(), "WenQuanYi Micro Hei");
}

TEST(LinuxTypefaces, MissingTableTypefacesGetALocalFontOfTheirScript)
{
    const struct
    {
        const char* family;
        const char* standIn;
    } cases[] = {
        {"Arial", "Liberation Sans"},
        {"Helvetica Neue", "Liberation Sans"},
        {"Heiti SC", "WenQuanYi Micro Hei"},
        {"Heiti TC", "WenQuanYi Micro Hei"},
        {"AppleGothic", "WenQuanYi Micro Hei"},
        {"Hiragino Maru Gothic Pro W4", "WenQuanYi Micro Hei"},
    };

    LinuxTypefaces typefaces;
    for (const auto& c : cases)
    {
        for (const auto style : {juce::Font::plain, juce::Font::bold})
        {
            const juce::Font font(c.family, 13.0f, style);
            const auto standIn = typefaces.findStandIn(font);

            if (!juce::Font::findAllTypefaceStyles(c.family).isEmpty())
            {
                EXPECT_EQ(standIn, nullptr) << c.family << " is installed";
                continue;
            }

            ASSERT_NE(standIn, nullptr) << c.family;
            EXPECT_EQ(standIn->getName(), c.standIn);
            EXPECT_EQ(standIn->getStyle(), style == juce::Font::bold ? "Bold" : "Regular");
            EXPECT_EQ(typefaces.findStandIn(font), standIn) << c.family << ": loaded again";
        }
    }

    for (const char* other : {"Liberation Sans", "DejaVu Sans", "No Such Family", "<Sans-Serif>"})
        EXPECT_EQ(typefaces.findStandIn(juce::Font(other, 13.0f, juce::Font::plain)), nullptr)
            << other;
}
