#include "RoomReportSheet.h"
#include "Fft.h"
#include "ImageSources.h"
#include "RoomMeasures.h"
#include "RoomPicture.h"
#include "TailMeasures.h"

#include <cmath>

namespace
{
    using Palette = RoomPicture::Palette;
    const juce::Colour trace  = Palette::wall;
    const juce::Colour marker = Palette::source;
    const juce::Colour target = Palette::microphone;
    const juce::Colour rightTrace { 0xff8fe388 };

    // The right channel drawn over the left, in a colour of its own.
    juce::Colour channelColour (int channel)   { return channel == 0 ? trace.withAlpha (0.7f) : rightTrace; }

    double toDb (double gain)     { return 20.0 * std::log10 (juce::jmax (1.0e-12, gain)); }
}

juce::Image RoomReportSheet::draw (const RoomDesign& room, const juce::AudioBuffer<float>& response)
{
    juce::Image image (juce::Image::RGB, width, height, true, juce::SoftwareImageType());
    juce::Graphics g (image);
    g.fillAll (Palette::background);

    auto bounds = image.getBounds().toFloat().reduced (12.0f);
    g.setColour (trace);
    g.setFont (20.0f);
    g.drawText (room.name + " (stereo; the spectrogram and decay curves of the left channel)", bounds.removeFromTop (28.0f), juce::Justification::centredLeft);

    auto top = bounds.removeFromTop (bounds.getHeight() / 2.0f);
    drawEarlyPart (g, room, response, top.removeFromLeft (top.getWidth() / 2.0f).reduced (6.0f));

    auto decayArea = top.reduced (6.0f);
    drawTitle (g, "Octave-band energy decay curves, 125 Hz (red) to 4 kHz (violet), 60 dB", decayArea);
    RoomPicture::drawDecayCurves (g, room, response, decayArea);

    drawSpectrogram (g, room, response.getReadPointer (0), response.getNumSamples(), bounds.removeFromLeft (bounds.getWidth() / 2.0f).reduced (6.0f));
    drawEchoDensity (g, room, response, bounds.reduced (6.0f));
    return image;
}

void RoomReportSheet::drawTitle (juce::Graphics& g, const juce::String& text, juce::Rectangle<float>& area)
{
    g.setColour (trace);
    g.setFont (14.0f);
    g.drawText (text, area.removeFromTop (20.0f), juce::Justification::centredLeft);
}

RoomReportSheet::TimePanel RoomReportSheet::beginTimePanel (juce::Graphics& g, const juce::String& subject, const juce::String& legend,
                                                            juce::Rectangle<float>& area, double shownSeconds,
                                                            const float* samples, int numSamples, double sampleRate)
{
    drawTitle (g, subject + ", " + juce::String (juce::roundToInt (shownSeconds * 1000.0)) + " ms; " + legend, area);
    g.setColour (Palette::panel);
    g.fillRect (area);
    return { area, shownSeconds, RoomMeasures::findDirectSound (samples, numSamples, sampleRate) };
}

void RoomReportSheet::drawTimeMarker (juce::Graphics& g, juce::Rectangle<float> area, float x)
{
    const float dashes[] = { 4.0f, 4.0f };
    g.setColour (target);
    g.drawDashedLine ({ x, area.getY(), x, area.getBottom() }, dashes, 2, 1.0f);
}

void RoomReportSheet::drawEarlyPart (juce::Graphics& g, const RoomDesign& room, const juce::AudioBuffer<float>& response,
                                     juce::Rectangle<float> area)
{
    const auto mixing = room.getPredictedMixingSeconds();
    const auto numSamples = response.getNumSamples();
    const auto panel = beginTimePanel (g, "Early part, dB re direct sound", "L light, R green; L's image sources orange, mixing time dashed",
                                       area, 1.5 * mixing, response.getReadPointer (0), numSamples, room.sampleRate);
    const auto peak = std::abs (response.getSample (0, panel.directSample));
    const auto rangeDb = 60.0;
    const auto toY = [&] (double levelDb) { return area.getY() + area.getHeight() * (float) (-juce::jlimit (-rangeDb, 0.0, levelDb) / rangeDb); };

    const auto paths = RoomSynthesiser::getPaths (room, RoomSynthesiser::Layout::stereo);
    const ImageSources imageSources (room);
    g.setColour (marker.withAlpha (0.6f));

    for (const auto& arrival : imageSources.findArrivals (paths[0].source, paths[0].microphone, paths[0].directSeconds + panel.shownSeconds))
    {
        const auto x = panel.toX (arrival.seconds - paths[0].directSeconds);
        const auto expectedDb = toDb (paths[0].directSeconds * room.speedOfSound / arrival.distance);
        g.drawLine (x, toY (expectedDb), x, area.getBottom(), 1.0f);
    }

    drawTimeMarker (g, area, panel.toX (mixing));

    // Both channels on the time axis of the left one's direct sound, the left filled and the
    // right as a line over it, so that what differs between the two microphones shows where
    // their traces part.
    const auto columns = static_cast<int> (area.getWidth());

    for (int channel = 0; channel < juce::jmin (2, response.getNumChannels()); ++channel)
    {
        const auto* samples = response.getReadPointer (channel);
        juce::Path outline;
        g.setColour (channelColour (channel));

        for (int column = 0; column < columns; ++column)
        {
            const auto first = panel.directSample + static_cast<int> (column * panel.shownSeconds * room.sampleRate / columns);
            const auto last = juce::jmin (numSamples, panel.directSample + static_cast<int> ((column + 1) * panel.shownSeconds * room.sampleRate / columns));
            float loudest = 0.0f;

            for (int i = juce::jmax (0, first); i < last; ++i)
                loudest = juce::jmax (loudest, std::abs (samples[i]));

            const juce::Point<float> point (area.getX() + (float) column, toY (toDb (loudest / peak)));

            if (channel == 0)
                g.drawVerticalLine (static_cast<int> (point.x), point.y, area.getBottom());
            else if (column == 0)
                outline.startNewSubPath (point);
            else
                outline.lineTo (point);
        }

        g.strokePath (outline, juce::PathStrokeType (1.0f));
    }
}

void RoomReportSheet::drawSpectrogram (juce::Graphics& g, const RoomDesign& room, const float* samples, int numSamples,
                                       juce::Rectangle<float> area)
{
    auto longest = 0.0;

    for (auto t30 : room.targetT30)
        longest = juce::jmax (longest, t30);

    const auto shownSeconds = juce::jmin (1.2 * longest, numSamples / room.sampleRate);
    drawTitle (g, "Spectrogram, 50 Hz to 20 kHz (log), " + juce::String (shownSeconds, 2) + " s, 80 dB", area);

    constexpr int frameSize = 2048;
    const Fft fft (frameSize);
    const auto columns = static_cast<int> (area.getWidth()), rows = static_cast<int> (area.getHeight());
    const auto direct = RoomMeasures::findDirectSound (samples, numSamples, room.sampleRate);
    std::vector<std::vector<double>> levels ((size_t) columns, std::vector<double> ((size_t) rows));
    std::vector<std::complex<double>> buffer ((size_t) frameSize);
    auto loudest = -1000.0;

    for (int column = 0; column < columns; ++column)
    {
        const auto start = direct + static_cast<int> (column * shownSeconds * room.sampleRate / columns) - frameSize / 2;

        for (int i = 0; i < frameSize; ++i)
        {
            const auto index = start + i;
            const auto window = 0.5 - 0.5 * std::cos (2.0 * juce::MathConstants<double>::pi * i / frameSize);
            buffer[(size_t) i] = index >= 0 && index < numSamples ? samples[index] * window : 0.0;
        }

        fft.forward (buffer);

        for (int row = 0; row < rows; ++row)
        {
            const auto frequency = 50.0 * std::pow (400.0, 1.0 - (row + 0.5) / rows);
            const auto bin = juce::jlimit (1, frameSize / 2, juce::roundToInt (frequency * frameSize / room.sampleRate));
            levels[(size_t) column][(size_t) row] = 10.0 * std::log10 (std::norm (buffer[(size_t) bin]) + 1.0e-30);
            loudest = juce::jmax (loudest, levels[(size_t) column][(size_t) row]);
        }
    }

    for (int column = 0; column < columns; ++column)
        for (int row = 0; row < rows; ++row)
        {
            const auto shade = (float) juce::jlimit (0.0, 1.0, 1.0 + (levels[(size_t) column][(size_t) row] - loudest) / 80.0);
            g.setColour (juce::Colour::fromHSV (0.7f - 0.7f * shade, 0.8f, shade, 1.0f));
            g.fillRect (area.getX() + (float) column, area.getY() + (float) row, 1.0f, 1.0f);
        }
}

void RoomReportSheet::drawEchoDensity (juce::Graphics& g, const RoomDesign& room, const juce::AudioBuffer<float>& response,
                                       juce::Rectangle<float> area)
{
    const auto mixing = room.getPredictedMixingSeconds();
    const auto numSamples = response.getNumSamples();
    const auto panel = beginTimePanel (g, "Normalised echo density (Abel & Huang), 0 to 1.2",
                                       "L light, R green, thick: 50 ms mean; 0.6, 1 and 1.5 times the mixing time dashed",
                                       area, 4.0 * mixing, response.getReadPointer (0), numSamples, room.sampleRate);
    const auto step = panel.shownSeconds / area.getWidth();
    const auto toY = [&] (double density) { return area.getBottom() - area.getHeight() * (float) (juce::jlimit (0.0, 1.2, density) / 1.2); };

    g.setColour (Palette::grid);
    g.drawHorizontalLine (static_cast<int> (toY (1.0)), area.getX(), area.getRight());
    g.drawHorizontalLine (static_cast<int> (toY (0.9)), area.getX(), area.getRight());

    for (auto share : { 0.6, 1.0, 1.5 })
        drawTimeMarker (g, area, panel.toX (share * mixing));

    const auto toCurve = [&] (const std::vector<double>& profile)
    {
        juce::Path curve;

        for (size_t i = 0; i < profile.size(); ++i)
        {
            const juce::Point<float> point (panel.toX ((double) i * step), toY (profile[i]));

            if (i == 0)
                curve.startNewSubPath (point);
            else
                curve.lineTo (point);
        }

        return curve;
    };

    // Each channel from its own direct sound: the raw profile, and over it its 50 ms mean,
    // the two the pack's measures judge.
    for (int channel = 0; channel < juce::jmin (2, response.getNumChannels()); ++channel)
    {
        const auto* samples = response.getReadPointer (channel);
        const auto direct = RoomMeasures::findDirectSound (samples, numSamples, room.sampleRate);
        const auto profile = RoomMeasures::echoDensity (samples + direct, numSamples - direct, room.sampleRate, step, panel.shownSeconds);
        g.setColour (channelColour (channel).withAlpha (0.6f));
        g.strokePath (toCurve (profile), juce::PathStrokeType (1.0f));
        g.setColour (channelColour (channel));
        g.strokePath (toCurve (RoomMeasures::smoothProfile (profile, step, TailMeasures::envelopeSeconds)), juce::PathStrokeType (2.5f));
    }
}
