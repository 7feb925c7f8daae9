#include "WindowsIconWriter.h"

#include <algorithm>

namespace
{
    constexpr int headerSize = 6, entrySize = 16, bitmapHeaderSize = 40;
    constexpr int largestSize = 256;

    bool fitsFormat (const juce::Image& image)
    {
        return image.isValid() && image.getWidth() == image.getHeight() && image.getWidth() <= largestSize;
    }
}

bool WindowsIconWriter::write (const juce::Array<juce::Image>& images, juce::OutputStream& out)
{
    if (images.isEmpty() || images.size() > 0xffff || ! std::all_of (images.begin(), images.end(), fitsFormat))
        return false;

    juce::Array<juce::MemoryBlock> encoded;

    for (auto& image : images)
    {
        encoded.add (image.getWidth() >= largestSize ? encodePng (image) : encodeBitmap (image));

        if (encoded.getReference (encoded.size() - 1).isEmpty())
            return false;
    }

    out.writeShort (0);   // reserved
    out.writeShort (1);   // an icon, not a cursor
    out.writeShort ((short) images.size());

    auto offset = headerSize + entrySize * images.size();

    for (int i = 0; i < images.size(); ++i)
    {
        auto size = images.getReference (i).getWidth();
        out.writeByte ((char) (size % largestSize));   // 0 stands for 256
        out.writeByte ((char) (size % largestSize));
        out.writeByte (0);    // no palette
        out.writeByte (0);    // reserved
        out.writeShort (1);   // colour planes
        out.writeShort (32);  // bits per pixel
        out.writeInt ((int) encoded.getReference (i).getSize());
        out.writeInt ((int) offset);
        offset += (int) encoded.getReference (i).getSize();
    }

    for (auto& block : encoded)
        if (! out.write (block.getData(), block.getSize()))
            return false;

    return true;
}

juce::MemoryBlock WindowsIconWriter::encodeBitmap (const juce::Image& image)
{
    const auto size = image.getWidth();
    const auto maskRowBytes = (size + 31) / 32 * 4;
    juce::MemoryOutputStream out;

    // A bitmap header whose height counts the colour rows and the transparency mask's.
    out.writeInt (bitmapHeaderSize);
    out.writeInt (size);
    out.writeInt (size * 2);
    out.writeShort (1);
    out.writeShort (32);
    out.writeInt (0);   // uncompressed
    out.writeInt (size * size * 4 + maskRowBytes * size);
    out.writeInt (0);
    out.writeInt (0);
    out.writeInt (0);
    out.writeInt (0);

    // Rows bottom up, each pixel blue, green, red, alpha without premultiplication.
    const juce::Image::BitmapData pixels (image, juce::Image::BitmapData::readOnly);

    for (int y = size; --y >= 0;)
    {
        for (int x = 0; x < size; ++x)
        {
            auto colour = pixels.getPixelColour (x, y);
            out.writeByte ((char) colour.getBlue());
            out.writeByte ((char) colour.getGreen());
            out.writeByte ((char) colour.getRed());
            out.writeByte ((char) colour.getAlpha());
        }
    }

    // The mask, for programs that ignore the alpha channel: a set bit is a transparent pixel.
    for (int y = size; --y >= 0;)
    {
        juce::HeapBlock<juce::uint8> row ((size_t) maskRowBytes, true);

        for (int x = 0; x < size; ++x)
            if (pixels.getPixelColour (x, y).getAlpha() == 0)
                row[x / 8] |= (juce::uint8) (0x80 >> (x % 8));

        out.write (row, (size_t) maskRowBytes);
    }

    return out.getMemoryBlock();
}

juce::MemoryBlock WindowsIconWriter::encodePng (const juce::Image& image)
{
    juce::MemoryOutputStream out;

    if (! juce::PNGImageFormat().writeImageToStream (image, out))
        return {};

    return out.getMemoryBlock();
}
