#include "SetupArtwork.h"
#include "VokArtwork.h"

juce::Image SetupArtwork::getBanner()
{
    return juce::ImageCache::getFromMemory (VokArtwork::banner_jpg, VokArtwork::banner_jpgSize);
}

juce::Image SetupArtwork::getLogo()
{
    return juce::ImageCache::getFromMemory (VokArtwork::logo_png, VokArtwork::logo_pngSize);
}
