#include "ArtworkPainter.h"
#include "StrokeLettering.h"

#include <cmath>

namespace
{
    const juce::Colour deepNavy   { 0xff08123a };
    const juce::Colour royalBlue  { 0xff1d3a8a };
    const juce::Colour skyBlue    { 0xff6f94e0 };
    const juce::Colour traceColour { 0xff9fc0ff };
}

juce::Image ArtworkPainter::createBanner()
{
    juce::Image banner (juce::Image::RGB, bannerWidth, bannerHeight, true);
    juce::Graphics g (banner);

    paintBannerBackground (g);
    paintImpulseTrace (g, 118.0f, 22.0f, 0.22f);
    paintImpulseTrace (g, 104.0f, 12.0f, 0.12f);
    paintProductWord (g);
    return banner;
}

void ArtworkPainter::paintBannerBackground (juce::Graphics& g)
{
    // Lighter towards the logo's place, so the black pack name stays readable on it.
    juce::ColourGradient horizontal (deepNavy, 0.0f, 0.0f, deepNavy, (float) bannerWidth, 0.0f, false);
    horizontal.addColour (0.22, royalBlue);
    horizontal.addColour (0.40, skyBlue);
    horizontal.addColour (0.62, royalBlue);
    g.setGradientFill (horizontal);
    g.fillAll();

    juce::ColourGradient shade (juce::Colours::white.withAlpha (0.10f), 0.0f, 0.0f,
                                juce::Colours::black.withAlpha (0.35f), 0.0f, (float) bannerHeight, false);
    g.setGradientFill (shade);
    g.fillAll();
}

void ArtworkPainter::paintImpulseTrace (juce::Graphics& g, float baseline, float amplitude, float alpha)
{
    // A decaying oscillation: the shape of a reverb's impulse response, running out to the right.
    juce::Path trace;
    trace.startNewSubPath (0.0f, baseline);

    for (int x = 1; x <= bannerWidth; x += 2)
    {
        auto t = (float) x / (float) bannerWidth;
        auto envelope = std::exp (-4.0f * t);
        trace.lineTo ((float) x, baseline - amplitude * envelope * std::sin ((float) x * 0.11f));
    }

    g.setColour (traceColour.withAlpha (alpha));
    g.strokePath (trace, juce::PathStrokeType (1.5f));
}

void ArtworkPainter::paintProductWord (juce::Graphics& g)
{
    const float capHeight = 36.0f, thickness = 6.5f, spacing = 8.0f;
    const float left = 18.0f, top = 24.0f;

    auto word = StrokeLettering::createWordOutline ("VOK2", capHeight, thickness, spacing)
                    .createPathWithRoundedCorners (0.0f);
    word.applyTransform (juce::AffineTransform::translation (left, top));

    juce::DropShadow (juce::Colours::black.withAlpha (0.6f), 8, { 2, 3 }).drawForPath (g, word);
    g.setGradientFill (juce::ColourGradient (juce::Colours::white, 0.0f, top,
                                             juce::Colour (0xffc4d6ff), 0.0f, top + capHeight, false));
    g.fillPath (word);

    auto underlineWidth = StrokeLettering::getWordWidth ("VOK2", capHeight, spacing);
    g.setColour (traceColour.withAlpha (0.8f));
    g.fillRoundedRectangle (left - 3.0f, top + capHeight + 10.0f, underlineWidth + 6.0f, 3.0f, 1.5f);
}

juce::Image ArtworkPainter::createLogo()
{
    juce::Image logo (juce::Image::ARGB, logoWidth, logoHeight, true);
    juce::Graphics g (logo);

    const juce::String name ("ROOMS");
    const float capHeight = 28.0f, thickness = 5.0f, spacing = 6.0f;
    auto nameWidth = StrokeLettering::getWordWidth (name, capHeight, spacing);
    auto left = ((float) logoWidth - nameWidth) * 0.5f;
    const float top = 40.0f;

    // A roof line over the name: one room, many rooms.
    juce::Path roof;
    roof.startNewSubPath (left - 2.0f, 30.0f);
    roof.lineTo ((float) logoWidth * 0.5f, 9.0f);
    roof.lineTo (left + nameWidth + 2.0f, 30.0f);
    juce::Path roofOutline;
    juce::PathStrokeType (4.0f, juce::PathStrokeType::mitered, juce::PathStrokeType::rounded)
        .createStrokedPath (roofOutline, roof);

    auto nameOutline = StrokeLettering::createWordOutline (name, capHeight, thickness, spacing);
    nameOutline.applyTransform (juce::AffineTransform::translation (left, top));

    juce::Path mark (roofOutline);
    mark.addPath (nameOutline);

    // A soft light halo keeps the black mark readable on the dark banner.
    juce::DropShadow (juce::Colours::white.withAlpha (0.55f), 6, {}).drawForPath (g, mark);
    g.setColour (juce::Colours::black);
    g.fillPath (mark);
    return logo;
}

juce::Image ArtworkPainter::createIcon (int size)
{
    juce::Image icon (juce::Image::ARGB, size, size, true);
    juce::Graphics g (icon);

    paintIconTile (g, (float) size);

    if (size >= 48)
        paintIconTrace (g, (float) size);

    paintIconWord (g, (float) size);
    return icon;
}

void ArtworkPainter::paintIconTile (juce::Graphics& g, float size)
{
    // Large icons keep a margin, as Explorer's own do; small ones need every pixel.
    auto inset = size >= 48.0f ? std::round (size / 32.0f) : 0.0f;
    auto tile = juce::Rectangle<float> (size, size).reduced (inset);
    auto corner = size * 0.18f;

    juce::ColourGradient fill (skyBlue, tile.getX(), tile.getY(), deepNavy, tile.getRight(), tile.getBottom(), false);
    fill.addColour (0.45, royalBlue);
    g.setGradientFill (fill);
    g.fillRoundedRectangle (tile, corner);

    if (size >= 48.0f)
    {
        g.setColour (juce::Colours::white.withAlpha (0.25f));
        g.drawRoundedRectangle (tile.reduced (0.5f), corner, juce::jmax (1.0f, size / 128.0f));
    }
}

void ArtworkPainter::paintIconTrace (juce::Graphics& g, float size)
{
    // The banner's decaying impulse, once across the lower part of the tile.
    auto baseline = size * 0.78f, amplitude = size * 0.07f;
    auto left = size * 0.12f, width = size * 0.76f;
    juce::Path trace;
    trace.startNewSubPath (left, baseline);

    for (int step = 1; step <= 96; ++step)
    {
        auto t = (float) step / 96.0f;
        trace.lineTo (left + t * width,
                      baseline - amplitude * std::exp (-3.5f * t) * std::sin (t * 9.0f * juce::MathConstants<float>::pi));
    }

    g.setColour (traceColour.withAlpha (0.9f));
    g.strokePath (trace, juce::PathStrokeType (juce::jmax (1.0f, size / 64.0f), juce::PathStrokeType::curved,
                                               juce::PathStrokeType::rounded));
}

void ArtworkPainter::paintIconWord (juce::Graphics& g, float size)
{
    const juce::String word (size >= 32.0f ? "VOK" : "V");

    // Whole pixels for the cap height and the top edge keep the letters' ends on the pixel grid.
    auto capHeight = std::round (size >= 32.0f ? size * 0.3f : size * 0.62f);
    auto thickness = juce::jmax (1.8f, capHeight * 0.19f);
    auto spacing = capHeight * 0.2f;
    auto width = StrokeLettering::getWordWidth (word, capHeight, spacing);
    auto centreY = size >= 48.0f ? size * 0.42f : size * 0.5f;
    auto left = std::round ((size - width) * 0.5f);
    auto top = std::round (centreY - capHeight * 0.5f);

    auto outline = StrokeLettering::createWordOutline (word, capHeight, thickness, spacing);
    outline.applyTransform (juce::AffineTransform::translation (left, top));

    if (size >= 48.0f)
        juce::DropShadow (juce::Colours::black.withAlpha (0.5f), juce::roundToInt (size / 32.0f),
                          { 0, juce::roundToInt (size / 64.0f) }).drawForPath (g, outline);

    g.setColour (juce::Colours::white);
    g.fillPath (outline);
}
