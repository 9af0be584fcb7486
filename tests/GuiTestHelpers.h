// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

// Runs the message loop for a while, delivering what the components posted.
inline void pumpMessages(int milliseconds = 10)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil(milliseconds);
}

// Pumps the message loop until the condition holds or the time is up; returns the condition.
inline bool pumpUntil(const std::function<bool()>& condition, int timeoutMilliseconds = 10000)
{
    const auto end =
        juce::Time::getMillisecondCounter() + static_cast<juce::uint32>(timeoutMilliseconds);
    while (!condition())
    {
        if (juce::Time::getMillisecondCounter() > end)
            return false;
        pumpMessages(5);
    }
    return true;
}

// The nth direct child of that type with that component name, or null.
template <typename ComponentType>
ComponentType* findChild(juce::Component& parent, const juce::String& name, int nth = 0)
{
    for (auto* child : parent.getChildren())
        if (child->getName() == name)
            if (auto* typed = dynamic_cast<ComponentType*>(child); typed != nullptr && nth-- == 0)
                return typed;
    return nullptr;
}

// Clicks the named button the way a user does, through the message loop.
inline void click(juce::Component& page, const juce::String& buttonName)
{
    if (auto* button = findChild<juce::TextButton>(page, buttonName))
    {
        button->triggerClick();
        pumpMessages();
    }
}

inline juce::String labelText(juce::Component& page, const juce::String& name, int nth = 0)
{
    auto* label = findChild<juce::Label>(page, name, nth);
    return label != nullptr ? label->getText() : juce::String("<no such label>");
}

inline juce::String buttonText(juce::Component& page, const juce::String& name)
{
    auto* button = findChild<juce::TextButton>(page, name);
    return button != nullptr ? button->getButtonText() : juce::String("<no such button>");
}
