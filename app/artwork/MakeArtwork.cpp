// Writes the installer's pictures: banner-baseline.jpg (made progressive afterwards by
// make-artwork.sh), logo.png, the programs' Windows icon icon.ico and the same icon as a
// 256-pixel icon.png (for desktops that take PNG icons), into the folder given as the only
// argument.

#include "ArtworkPainter.h"
#include "WindowsIconWriter.h"

#include <iostream>

namespace
{
    bool writeImage (juce::ImageFileFormat& format, const juce::Image& image, const juce::File& file)
    {
        file.deleteFile();
        juce::FileOutputStream out (file);

        if (out.failedToOpen() || ! format.writeImageToStream (image, out))
        {
            std::cerr << "Can't write " << file.getFullPathName() << std::endl;
            return false;
        }

        return true;
    }

    bool writeIcon (const juce::File& file)
    {
        juce::Array<juce::Image> sizes;

        for (auto size : { 16, 32, 48, 256 })
            sizes.add (ArtworkPainter::createIcon (size));

        file.deleteFile();
        juce::FileOutputStream out (file);

        if (out.failedToOpen() || ! WindowsIconWriter::write (sizes, out))
        {
            std::cerr << "Can't write " << file.getFullPathName() << std::endl;
            return false;
        }

        return true;
    }
}

int main (int argc, char* argv[])
{
    if (argc != 2)
    {
        std::cerr << "usage: " << argv[0] << " OUTPUT_FOLDER" << std::endl;
        return 2;
    }

    auto folder = juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]);

    if (! folder.createDirectory())
    {
        std::cerr << "Can't create " << folder.getFullPathName() << std::endl;
        return 1;
    }

    juce::JPEGImageFormat jpeg;
    jpeg.setQuality (0.82f);
    juce::PNGImageFormat png;

    auto ok = writeImage (jpeg, ArtworkPainter::createBanner(), folder.getChildFile ("banner-baseline.jpg"))
           && writeImage (png, ArtworkPainter::createLogo(), folder.getChildFile ("logo.png"))
           && writeImage (png, ArtworkPainter::createIcon (256), folder.getChildFile ("icon.png"))
           && writeIcon (folder.getChildFile ("icon.ico"));
    return ok ? 0 : 1;
}
