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

namespace
{
    // The framework's number reading collects exponent digits in an int that overflows past
    // nine digits. Any exponent of six digits or more already gives infinity or zero, so a
    // longer one is shortened to 99999 before the text is read.
    juce::String withBoundedExponents (const juce::String& text)
    {
        juce::String result;
        auto s = text.getCharPointer();

        while (! s.isEmpty())
        {
            const auto c = s.getAndAdvance();
            result << juce::String::charToString (c);

            if (c != 'e' && c != 'E')
                continue;

            if (*s == '+' || *s == '-')
                result << juce::String::charToString (s.getAndAdvance());

            while (*s == '0')
                ++s;

            auto digits = s;
            int numDigits = 0;

            while (*digits >= '0' && *digits <= '9')
            {
                ++digits;
                ++numDigits;
            }

            if (numDigits > 5)
            {
                result << "99999";
                s = digits;
            }
            else if (numDigits == 0)
            {
                result << "0";
            }
        }

        return result;
    }
}

double HeaderAttributes::getDouble (const juce::XmlElement& element, juce::StringRef name, double defaultValue)
{
    const auto index = findAttribute (element, name);
    return index >= 0 ? withBoundedExponents (element.getAttributeValue (index)).getDoubleValue() : defaultValue;
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
