// SPDX-License-Identifier: GPL-3.0-or-later
#include "wizard/PageParts.h"

#include "wizard/MainComponent.h"

namespace PageParts
{
namespace
{
std::unique_ptr<juce::Label> makeLabel(juce::Component& page, const char* name,
                                       const char* placeholder, bool bold)
{
    auto label = std::make_unique<juce::Label>(name, juce::translate(placeholder));
    page.addAndMakeVisible(label.get());
    label->setFont(juce::Font(13.0f, bold ? juce::Font::bold : juce::Font::plain));
    label->setJustificationType(juce::Justification(9));
    label->setEditable(false, false, false);
    label->setColour(juce::Label::textWhenEditingColourId, juce::Colours::black);
    label->setColour(juce::Label::backgroundWhenEditingColourId, juce::Colour(0x00000000));
    return label;
}
} // namespace

std::unique_ptr<juce::TextButton> makeButton(juce::Component& page,
                                             juce::Button::Listener& listener, const char* name,
                                             const char* placeholder)
{
    auto button = std::make_unique<juce::TextButton>(name);
    page.addAndMakeVisible(button.get());
    button->setButtonText(juce::translate(placeholder));
    button->addListener(&listener);
    return button;
}

std::unique_ptr<juce::ComboBox> makeComboBox(juce::Component& page,
                                             juce::ComboBox::Listener& listener, const char* name)
{
    auto box = std::make_unique<juce::ComboBox>(name);
    page.addAndMakeVisible(box.get());
    box->setEditableText(false);
    box->setJustificationType(juce::Justification(33));
    box->setTextWhenNothingSelected({});
    box->setTextWhenNoChoicesAvailable(juce::translate("(no choices)"));
    box->addListener(&listener);
    return box;
}

std::unique_ptr<juce::Label> makeHeader(juce::Component& page)
{
    return makeLabel(page, "lblHeader", "Header", true);
}

std::unique_ptr<juce::Label> makeText(juce::Component& page)
{
    return makeLabel(page, "lblText", "Text", false);
}

juce::Rectangle<int> okBounds(int w, int h)
{
    return {w - 120, h - 40, 100, 20};
}
juce::Rectangle<int> cancelBounds(int w, int h)
{
    return {w - 230, h - 40, 100, 20};
}
juce::Rectangle<int> comboBoxBounds(int w, int h)
{
    return {20, h / 2 - 10, w - 40, 20};
}
juce::Rectangle<int> headerBounds(int w)
{
    return {20, 20, w - 40, 20};
}
juce::Rectangle<int> textLineBounds(int w)
{
    return {40, 40, w - 60, 20};
}

void fillBackground(juce::Graphics& g)
{
    g.fillAll(juce::Colour(backgroundColour));
}

void requestState(juce::Component& page, int state)
{
    if (auto* controller = dynamic_cast<MainComponent*>(page.getParentComponent()))
        controller->setState(&page, state);
}
} // namespace PageParts
