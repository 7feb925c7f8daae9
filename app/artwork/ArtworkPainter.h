#pragma once

#include <juce_graphics/juce_graphics.h>

/**
    Paints the installer's pictures: the 1500 x 150 banner behind the top of both windows,
    the 150 x 80 pack logo that sits on it, and the programs' square icon. Everything is drawn
    from paths, so the result depends on no installed font.
*/
class ArtworkPainter
{
public:
    static constexpr int bannerWidth  = 1500;
    static constexpr int bannerHeight = 150;
    static constexpr int logoWidth    = 150;
    static constexpr int logoHeight   = 80;

    /** A dark-blue gradient with the product word near its left end. */
    static juce::Image createBanner();

    /** The pack's name in black on a transparent background. */
    static juce::Image createLogo();

    /** The product word on a rounded tile in the banner's blues, drawn for the given edge
        length rather than scaled, so that small icons stay sharp: from 32 pixels up it reads
        "VOK" (with the impulse trace from 48 up), below that only "V".
    */
    static juce::Image createIcon (int size);

private:
    static void paintBannerBackground (juce::Graphics&);
    static void paintImpulseTrace (juce::Graphics&, float baseline, float amplitude, float alpha);
    static void paintProductWord (juce::Graphics&);
    static void paintIconTile (juce::Graphics&, float size);
    static void paintIconTrace (juce::Graphics&, float size);
    static void paintIconWord (juce::Graphics&, float size);
};
