#pragma once

#include <juce_graphics/juce_graphics.h>

/**
    Paints the installer's two pictures: the 1500 x 150 banner behind the top of both windows
    and the 150 x 80 pack logo that sits on it. Everything is drawn from paths, so the result
    depends on no installed font.
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

private:
    static void paintBannerBackground (juce::Graphics&);
    static void paintImpulseTrace (juce::Graphics&, float baseline, float amplitude, float alpha);
    static void paintProductWord (juce::Graphics&);
};
