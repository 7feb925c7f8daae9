#include "RoomPicture.h"
#include "DecayAnalysis.h"

#include <cmath>

namespace
{
    using Palette = RoomPicture::Palette;

    constexpr double rangeDb = 60.0;

    juce::Colour bandColour (int band)
    {
        return juce::Colour::fromHSV (0.8f * (float) band / (float) (RoomDesign::numBands - 1), 0.75f, 1.0f, 1.0f);
    }

    /** A step of 1, 2 or 5 times a power of ten that puts a few grid lines over the range. */
    double gridStep (double range)
    {
        auto step = std::pow (10.0, std::floor (std::log10 (range)));

        for (auto factor : { 1.0, 2.0, 5.0, 10.0 })
            if (range / (step * factor) <= 6.0)
                return step * factor;

        return step * 10.0;
    }
}

juce::Image RoomPicture::draw (const RoomDesign& room, const juce::AudioBuffer<float>& response)
{
    // A software image: the same pixels on every machine, no display needed.
    juce::Image image (juce::Image::RGB, width, height, true, juce::SoftwareImageType());
    juce::Graphics g (image);
    g.fillAll (Palette::background);

    auto bounds = image.getBounds().toFloat().reduced (10.0f);
    const auto planArea = bounds.removeFromLeft (bounds.getHeight());
    bounds.removeFromLeft (10.0f);

    drawFloorPlan (g, room, planArea);
    drawDecayCurves (g, room, response, bounds);
    return image;
}

void RoomPicture::drawFloorPlan (juce::Graphics& g, const RoomDesign& room, juce::Rectangle<float> area)
{
    g.setColour (Palette::panel);
    g.fillRoundedRectangle (area, 6.0f);

    const auto inner = area.reduced (14.0f);
    const auto scale = juce::jmin (inner.getWidth() / (float) room.width, inner.getHeight() / (float) room.length);
    const auto plan = juce::Rectangle<float> ((float) room.width * scale, (float) room.length * scale).withCentre (inner.getCentre());

    // The sources are at the far end of the room: draw them at the top, left on the left.
    const auto toPlan = [&] (const RoomDesign::Position& p)
    {
        return juce::Point<float> (plan.getX() + (float) p.x * scale, plan.getBottom() - (float) p.y * scale);
    };

    g.setColour (Palette::floor);
    g.fillRect (plan);
    g.setColour (Palette::wall);
    g.drawRect (plan, 2.0f);

    g.setColour (Palette::source.withAlpha (0.35f));

    for (auto* source : { &room.centreSource, &room.leftSource, &room.rightSource })
        for (auto* microphone : { &room.leftMicrophone, &room.rightMicrophone })
            g.drawLine ({ toPlan (*source), toPlan (*microphone) }, 1.0f);

    const auto radius = juce::jlimit (3.0f, 6.0f, 0.25f * scale);

    g.setColour (Palette::source);
    g.fillEllipse (juce::Rectangle<float> (2.4f * radius, 2.4f * radius).withCentre (toPlan (room.centreSource)));

    for (auto* source : { &room.leftSource, &room.rightSource })
        g.drawEllipse (juce::Rectangle<float> (2.0f * radius, 2.0f * radius).withCentre (toPlan (*source)), 1.5f);

    g.setColour (Palette::microphone);

    for (auto* microphone : { &room.leftMicrophone, &room.rightMicrophone })
    {
        const auto centre = toPlan (*microphone);
        juce::Path capsule;
        capsule.addTriangle (centre.x, centre.y - radius, centre.x - radius * 0.8f, centre.y + radius * 0.7f,
                             centre.x + radius * 0.8f, centre.y + radius * 0.7f);
        g.fillPath (capsule);
    }
}

void RoomPicture::drawDecayCurves (juce::Graphics& g, const RoomDesign& room,
                                       const juce::AudioBuffer<float>& response, juce::Rectangle<float> area)
{
    g.setColour (Palette::panel);
    g.fillRoundedRectangle (area, 6.0f);

    const auto plot = area.reduced (14.0f);
    auto longest = 0.0;

    for (auto t30 : room.targetT30)
        longest = juce::jmax (longest, t30);

    const auto shownSeconds = juce::jmin (1.2 * longest, response.getNumSamples() / room.sampleRate);
    const auto toPlot = [&] (double seconds, double levelDb)
    {
        return juce::Point<float> (plot.getX() + plot.getWidth() * (float) (seconds / shownSeconds),
                                   plot.getY() + plot.getHeight() * (float) (-levelDb / rangeDb));
    };

    g.setColour (Palette::grid);

    for (double level = 0.0; level >= -rangeDb; level -= 10.0)
        g.drawLine ({ toPlot (0.0, level), toPlot (shownSeconds, level) }, level == -rangeDb ? 1.5f : 1.0f);

    const auto step = gridStep (shownSeconds);

    for (double seconds = 0.0; seconds <= shownSeconds + 1.0e-9; seconds += step)
        g.drawLine ({ toPlot (seconds, 0.0), toPlot (seconds, -rangeDb) }, seconds == 0.0 ? 1.5f : 1.0f);

    if (response.getNumChannels() == 0)
        return;

    const auto columns = static_cast<int> (plot.getWidth());

    for (int band = 0; band < RoomDesign::numBands; ++band)
    {
        const auto curve = DecayAnalysis::octaveBandDecayCurve (response.getReadPointer (0), response.getNumSamples(),
                                                                    room.sampleRate, band);
        juce::Path path;

        for (int column = 0; column <= columns; ++column)
        {
            const auto seconds = shownSeconds * column / columns;
            const auto index = juce::jmin (curve.size() - 1, static_cast<size_t> (seconds * room.sampleRate));
            const auto level = juce::jmax (-rangeDb, curve[index]);
            const auto point = toPlot (seconds, level);

            if (column == 0)
                path.startNewSubPath (point);
            else
                path.lineTo (point);

            if (level <= -rangeDb)
                break;
        }

        g.setColour (bandColour (band));
        g.strokePath (path, juce::PathStrokeType (1.5f));
    }
}

juce::MemoryBlock RoomPicture::encodeJpeg (const juce::Image& image)
{
    juce::MemoryOutputStream stream;
    juce::JPEGImageFormat jpeg;
    jpeg.setQuality (jpegQuality);

    if (! jpeg.writeImageToStream (image, stream))
        return {};

    return stream.getMemoryBlock();
}

juce::String RoomPicture::createPictureText (const RoomDesign& room, const juce::AudioBuffer<float>& response)
{
    const auto jpegBytes = encodeJpeg (draw (room, response));
    return jpegBytes.isEmpty() ? juce::String() : jpegBytes.toBase64Encoding();
}
