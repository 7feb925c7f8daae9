#pragma once

#include <juce_graphics/juce_graphics.h>

/**
    Capital letters and digits drawn as centre-line strokes of our own, so that the artwork
    looks the same on every machine whatever fonts it has installed.

    Each glyph is laid out in a box one unit high (y grows downwards); its width varies.
*/
class StrokeLettering
{
public:
    /** Builds the outline of a word: glyph centre lines stroked with round ends, scaled to
        the given cap height, with the first glyph's box starting at the origin.
        Characters without a glyph are skipped.
    */
    static juce::Path createWordOutline (const juce::String& word, float capHeight,
                                         float strokeThickness, float letterSpacing);

    /** The width that createWordOutline() gives the word's boxes, strokes not included. */
    static float getWordWidth (const juce::String& word, float capHeight, float letterSpacing);

private:
    struct Glyph
    {
        juce::Path centreLine;
        float width = 0.0f;
    };

    static Glyph createGlyph (juce::juce_wchar character);
};
