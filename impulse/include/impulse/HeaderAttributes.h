/** @file
    HeaderAttributes: the attributes of impulse file headers, found by name ignoring letter case.
*/
#pragma once

#include <juce_core/juce_core.h>

/**
    Attribute access for impulse file headers, where attribute names match ignoring case.

    JUCE 7's XmlElement compares attribute names exactly, but files written by the plug-in
    and by older versions of this program may spell a name in another letter case, and they
    must keep reading the same.
*/
class HeaderAttributes
{
public:
    /** The index of the first attribute whose name matches ignoring case, or -1. */
    static int findAttribute (const juce::XmlElement& element, juce::StringRef name);

    /** True when the element has an attribute of that name, in any letter case. */
    static bool hasAttribute (const juce::XmlElement& element, juce::StringRef name);

    /** The attribute's value, or defaultValue when the element has no such attribute. */
    static juce::String getString (const juce::XmlElement& element, juce::StringRef name,
                                   const juce::String& defaultValue = {});

    /** The attribute's value read as a number (the framework's rule), or defaultValue. */
    static double getDouble (const juce::XmlElement& element, juce::StringRef name, double defaultValue);

    /** The attribute's value read as an integer (the framework's rule), or defaultValue. */
    static int getInt (const juce::XmlElement& element, juce::StringRef name, int defaultValue);

    /** Sets an existing attribute (found ignoring case, its spelling kept) or appends a new one. */
    static void setString (juce::XmlElement& element, juce::StringRef name, const juce::String& value);
};
