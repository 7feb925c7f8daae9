#include "HeaderAttributes.h"

int HeaderAttributes::findAttribute (const juce::XmlElement& element, juce::StringRef name)
{
    for (int i = 0; i < element.getNumAttributes(); ++i)
        if (element.getAttributeName (i).equalsIgnoreCase (name))
            return i;

    return -1;
}

bool HeaderAttributes::hasAttribute (const juce::XmlElement& element, juce::StringRef name)
{
    return findAttribute (element, name) >= 0;
}

juce::String HeaderAttributes::getString (const juce::XmlElement& element, juce::StringRef name,
                                          const juce::String& defaultValue)
{
    const auto index = findAttribute (element, name);
    return index >= 0 ? element.getAttributeValue (index) : defaultValue;
}

double HeaderAttributes::getDouble (const juce::XmlElement& element, juce::StringRef name, double defaultValue)
{
    const auto index = findAttribute (element, name);
    return index >= 0 ? element.getAttributeValue (index).getDoubleValue() : defaultValue;
}

int HeaderAttributes::getInt (const juce::XmlElement& element, juce::StringRef name, int defaultValue)
{
    const auto index = findAttribute (element, name);
    return index >= 0 ? element.getAttributeValue (index).getIntValue() : defaultValue;
}

void HeaderAttributes::setString (juce::XmlElement& element, juce::StringRef name, const juce::String& value)
{
    const auto index = findAttribute (element, name);
    element.setAttribute (index >= 0 ? element.getAttributeName (index) : juce::String (name), value);
}
