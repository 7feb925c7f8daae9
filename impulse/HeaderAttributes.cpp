#include <impulse/HeaderAttributes.h>

#include <string>

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
    bool isDigit (juce::juce_wchar c) noexcept  { return c >= '0' && c <= '9'; }

    /** The number at the start of a text, rewritten as at most maxDigits significant digits and
        a bounded exponent ("-1234e-2"), so that the framework reads it in constant time: its
        own reading walks every digit and collects exponent digits in an int that overflows.
        A double holds 17 significant digits, and an exponent beyond a few hundred already
        gives infinity or zero, so the value is the same.
    */
    juce::String boundedNumberText (const juce::String& text)
    {
        constexpr size_t maxDigits = 24;
        constexpr juce::int64 maxExponent = 10000000;

        auto s = text.getCharPointer().findEndOfWhitespace();
        juce::String sign;

        if (*s == '-' || *s == '+')
            sign = juce::String::charToString (s.getAndAdvance());

        // "nan", "inf" and whatever else the framework makes of a text without digits.
        if (! isDigit (*s) && ! (*s == '.' && isDigit (s[1])))
            return sign + juce::String (s, 8);

        std::string mantissa;
        juce::int64 exponent = 0;

        for (; isDigit (*s); ++s)
        {
            if (mantissa.size() < maxDigits && ! (mantissa.empty() && *s == '0'))
                mantissa += (char) *s;
            else if (! mantissa.empty())
                ++exponent;
        }

        if (*s == '.')
        {
            for (++s; isDigit (*s); ++s)
            {
                if (mantissa.size() >= maxDigits || exponent <= -maxExponent)
                    continue;

                if (! (mantissa.empty() && *s == '0'))
                    mantissa += (char) *s;

                --exponent;
            }
        }

        if (*s == 'e' || *s == 'E')
        {
            ++s;
            const bool negativeExponent = *s == '-';

            if (*s == '-' || *s == '+')
                ++s;

            juce::int64 written = 0;

            for (; isDigit (*s); ++s)
                written = juce::jmin (maxExponent, written * 10 + (*s - '0'));

            exponent += negativeExponent ? -written : written;
        }

        if (mantissa.empty())
            return sign + "0";

        return sign + juce::String (mantissa) + "e" + juce::String (juce::jlimit (-maxExponent, maxExponent, exponent));
    }
}

double HeaderAttributes::getDouble (const juce::XmlElement& element, juce::StringRef name, double defaultValue)
{
    const auto index = findAttribute (element, name);
    return index >= 0 ? boundedNumberText (element.getAttributeValue (index)).getDoubleValue() : defaultValue;
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
