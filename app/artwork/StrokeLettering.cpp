#include "StrokeLettering.h"

StrokeLettering::Glyph StrokeLettering::createGlyph (juce::juce_wchar character)
{
    Glyph glyph;
    auto& p = glyph.centreLine;

    switch (character)
    {
        case 'V':
            p.startNewSubPath (0.0f, 0.0f);
            p.lineTo (0.36f, 1.0f);
            p.lineTo (0.72f, 0.0f);
            glyph.width = 0.72f;
            break;

        case 'O':
            p.addEllipse (0.0f, 0.0f, 0.82f, 1.0f);
            glyph.width = 0.82f;
            break;

        case 'K':
            p.startNewSubPath (0.0f, 0.0f);
            p.lineTo (0.0f, 1.0f);
            p.startNewSubPath (0.6f, 0.0f);
            p.lineTo (0.0f, 0.58f);
            p.startNewSubPath (0.2f, 0.4f);
            p.lineTo (0.62f, 1.0f);
            glyph.width = 0.62f;
            break;

        case '2':
            p.startNewSubPath (0.03f, 0.27f);
            p.cubicTo (0.06f, -0.07f, 0.6f, -0.08f, 0.6f, 0.27f);
            p.cubicTo (0.6f, 0.52f, 0.12f, 0.68f, 0.02f, 1.0f);
            p.lineTo (0.64f, 1.0f);
            glyph.width = 0.64f;
            break;

        case 'R':
            p.startNewSubPath (0.0f, 1.0f);
            p.lineTo (0.0f, 0.0f);
            p.lineTo (0.3f, 0.0f);
            p.cubicTo (0.62f, 0.0f, 0.62f, 0.54f, 0.3f, 0.54f);
            p.lineTo (0.0f, 0.54f);
            p.startNewSubPath (0.28f, 0.54f);
            p.lineTo (0.6f, 1.0f);
            glyph.width = 0.6f;
            break;

        case 'M':
            p.startNewSubPath (0.0f, 1.0f);
            p.lineTo (0.0f, 0.0f);
            p.lineTo (0.41f, 0.7f);
            p.lineTo (0.82f, 0.0f);
            p.lineTo (0.82f, 1.0f);
            glyph.width = 0.82f;
            break;

        case 'S':
            p.startNewSubPath (0.56f, 0.14f);
            p.cubicTo (0.46f, -0.04f, 0.03f, -0.05f, 0.04f, 0.25f);
            p.cubicTo (0.05f, 0.5f, 0.6f, 0.45f, 0.6f, 0.74f);
            p.cubicTo (0.6f, 1.06f, 0.12f, 1.05f, 0.02f, 0.85f);
            glyph.width = 0.6f;
            break;

        default:
            break;
    }

    return glyph;
}

juce::Path StrokeLettering::createWordOutline (const juce::String& word, float capHeight,
                                               float strokeThickness, float letterSpacing)
{
    juce::Path centreLines;
    float x = 0.0f;

    for (auto character : word)
    {
        auto glyph = createGlyph (character);

        if (glyph.width <= 0.0f)
            continue;

        centreLines.addPath (glyph.centreLine,
                             juce::AffineTransform::scale (capHeight).translated (x, 0.0f));
        x += glyph.width * capHeight + letterSpacing;
    }

    juce::Path outline;
    juce::PathStrokeType (strokeThickness, juce::PathStrokeType::curved, juce::PathStrokeType::rounded)
        .createStrokedPath (outline, centreLines);
    return outline;
}

float StrokeLettering::getWordWidth (const juce::String& word, float capHeight, float letterSpacing)
{
    float width = 0.0f;
    int glyphs = 0;

    for (auto character : word)
    {
        auto glyphWidth = createGlyph (character).width;

        if (glyphWidth > 0.0f)
        {
            width += glyphWidth * capHeight;
            ++glyphs;
        }
    }

    return glyphs > 0 ? width + letterSpacing * (float) (glyphs - 1) : 0.0f;
}
