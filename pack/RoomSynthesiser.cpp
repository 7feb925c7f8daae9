#include "RoomSynthesiser.h"
#include "DecayAnalysis.h"
#include "DecayEnvelope.h"
#include "DiffuseField.h"
#include "ImageSources.h"
#include "PackMeasures.h"
#include "RoomModes.h"

#include <cmath>
#include <limits>

namespace
{
    constexpr double pi = juce::MathConstants<double>::pi;

    // Trimming may lengthen a band's decay; the diffuse field is made for this much more.
    constexpr double decayTimeMargin = 1.3;

    /** The diffuse part's share of the amplitude during the hand-over. */
    double rampUp (double t, double start, double end)
    {
        const auto imageWeight = ImageSources::getHandOverWeight (t, start, end);
        return std::sqrt (1.0 - imageWeight * imageWeight);
    }
}

RoomSynthesiser::RoomSynthesiser (const RoomDesign& design)
    : room (design)
{
}

RoomSynthesiser::~RoomSynthesiser() = default;

juce::StringArray RoomSynthesiser::getChannelDescriptions (Layout layout)
{
    if (layout == Layout::stereo)
        return { "C->L", "C->R" };

    return { "L->L", "L->R", "R->L", "R->R" };
}

std::vector<RoomSynthesiser::Path> RoomSynthesiser::getPaths (const RoomDesign& room, Layout layout)
{
    std::vector<Path> paths;

    if (layout == Layout::stereo)
        paths = { { room.centreSource, room.leftMicrophone }, { room.centreSource, room.rightMicrophone } };
    else
        paths = { { room.leftSource, room.leftMicrophone }, { room.leftSource, room.rightMicrophone },
                  { room.rightSource, room.leftMicrophone }, { room.rightSource, room.rightMicrophone } };

    for (auto& path : paths)
        path.directSeconds = path.source.distanceTo (path.microphone) / room.speedOfSound;

    return paths;
}

void RoomSynthesiser::assemble (const std::vector<float>& early, const std::vector<float>& diffuse,
                                    const Path& path, double offsetSeconds, float* output) const
{
    const auto numSamples = room.samplesPerChannel;
    const auto rate = room.sampleRate;
    const auto mixing = getMixingSeconds();

    for (int i = 0; i < numSamples; ++i)
    {
        const auto fadeIn = rampUp (i / rate + offsetSeconds, path.directSeconds, path.directSeconds + mixing);
        output[i] = early[(size_t) i] + static_cast<float> (fadeIn) * diffuse[(size_t) i];
    }

    // The tail has long decayed by the end; the fade makes sure the last sample is exactly 0.
    const auto fadeLength = juce::jmin (numSamples / 10, static_cast<int> (fadeOutSeconds * rate));

    for (int i = 0; i < fadeLength; ++i)
    {
        const auto gain = std::cos (0.5 * pi * (i + 1) / fadeLength);
        output[numSamples - fadeLength + i] *= static_cast<float> (gain * gain);
    }

    removeDirectCurrent (path, offsetSeconds, numSamples - fadeLength, output);
}

void RoomSynthesiser::removeDirectCurrent (const Path& path, double offsetSeconds, int endSample, float* output) const
{
    // The file must hold no DC, but a high-pass filter would leave each arrival a slow
    // undershoot that fills the quiet gaps between early reflections. So the DC is taken out
    // of the late tail instead, spread along its envelope, far below its noise.
    const auto rate = room.sampleRate;
    const auto start = juce::jlimit (0, endSample, static_cast<int> ((path.directSeconds + getMixingSeconds() - offsetSeconds) * rate));
    const auto decayPerSample = std::exp (-6.907755278982137 / (room.targetT30[2] * rate));
    double sum = 0.0, weightSum = 0.0, weight = 1.0;

    for (int i = 0; i < room.samplesPerChannel; ++i)
        sum += output[i];

    for (int i = start; i < endSample; ++i, weight *= decayPerSample)
        weightSum += weight;

    if (weightSum <= 0.0)
        return;

    weight = 1.0;

    for (int i = start; i < endSample; ++i, weight *= decayPerSample)
        output[i] -= static_cast<float> (sum * weight / weightSum);
}

RoomSynthesiser::DecayDeviations RoomSynthesiser::trimDecayTimes (const juce::AudioBuffer<float>& response,
                                                                   std::vector<DecayEnvelope>& envelopes)
{
    // ISO 3382-1's decay measures per octave band: T30 sets the decay times, the early decay
    // time (0 to -10 dB) the first span's factor, the slope from -25 to -45 dB the last one's.
    DecayDeviations deviations;
    lastMeasuredT30 = {};

    for (int channel = 0; channel < response.getNumChannels(); ++channel)
    {
        const auto* samples = response.getReadPointer (channel);
        const auto numSamples = DecayAnalysis::getAudibleLength (samples, response.getNumSamples(), room.sampleRate);
        auto& envelope = envelopes[(size_t) channel];

        for (int band = 0; band < RoomDesign::numBands; ++band)
        {
            const auto curve = DecayAnalysis::octaveBandDecayCurve (samples, numSamples, room.sampleRate, band);
            const auto t30 = DecayAnalysis::fitT30 (curve, room.sampleRate);
            const auto earlyDecay = DecayAnalysis::fitDecayTime (curve, room.sampleRate, 0.0, -10.0);
            const auto lateDecay = DecayAnalysis::fitDecayTime (curve, room.sampleRate, -25.0, -45.0);
            const auto target = room.targetT30[(size_t) band];

            lastMeasuredT30[(size_t) band] += t30 / response.getNumChannels();
            deviations.t30 = juce::jmax (deviations.t30, std::abs (t30 / target - 1.0));

            if (t30 <= 0.0 || earlyDecay <= 0.0 || lateDecay <= 0.0)
                continue;

            deviations.earlyDecay = juce::jmax (deviations.earlyDecay, std::abs (earlyDecay / t30 - 1.0));
            deviations.lateDecay = juce::jmax (deviations.lateDecay, lateDecay / t30 - 1.0);

            envelope.decayTimes[(size_t) band] *= target / t30;
            auto& earlyFactor = envelope.earlyFactors[(size_t) band];
            auto& lateFactor = envelope.lateFactors[(size_t) band];
            earlyFactor = juce::jlimit (1.0 / maxSpanFactor, maxSpanFactor, earlyFactor * t30 / earlyDecay);
            lateFactor = juce::jlimit (1.0 / maxSpanFactor, maxSpanFactor, lateFactor * t30 / lateDecay);
        }
    }

    return deviations;
}

std::vector<float> RoomSynthesiser::addModes (const std::vector<float>& early, const Path& path,
                                              const DecayEnvelope& envelope, double offsetSeconds) const
{
    // The modes ring with the channel's trimmed envelope, so that the bass decays as one.
    auto earlyAndModes = early;
    RoomModes (room).render (path.source, path.microphone, envelope, offsetSeconds, path.directSeconds, earlyAndModes);
    return earlyAndModes;
}

double RoomSynthesiser::trimCoherence (const juce::AudioBuffer<float>& response, Layout layout,
                                       std::array<std::vector<double>, 2>& trim) const
{
    const auto numChannels = response.getNumChannels();
    const auto lateStart = PackMeasures::getLateCoherenceStart (room, response);
    double deviation = 0.0;

    for (size_t band = 0; band < trim.size(); ++band)
        for (int first = 0; first < numChannels; ++first)
            for (int second = first + 1; second < numChannels; ++second)
            {
                const auto centre = DiffuseField::trimmedCoherenceBands[band];
                const auto error = PackMeasures::expectedCoherence (room, layout, first, second, centre)
                                 - PackMeasures::measureLateCoherence (room, response, first, second, centre, lateStart);
                trim[band][(size_t) (first * numChannels + second)] += error;
                trim[band][(size_t) (second * numChannels + first)] += error;
                deviation = juce::jmax (deviation, std::abs (error));
            }

    return deviation;
}

RoomDesign::BandValues RoomSynthesiser::measureEarlyLevels (const std::vector<float>& early, const Path& path,
                                                                    double offsetSeconds) const
{
    // How much more or less energy the image sources bring in each band, while they hand over,
    // than the statistical decay the diffuse part starts from: the diffuse part takes the
    // difference over, so that each band's decay goes on from where the reflections leave it.
    const auto mixing = getMixingSeconds();
    const auto rate = room.sampleRate;
    const auto first = juce::jmax (0, static_cast<int> ((path.directSeconds + 0.5 * mixing - offsetSeconds) * rate));
    const auto end = juce::jmin (static_cast<int> (early.size()), static_cast<int> ((path.directSeconds + mixing - offsetSeconds) * rate));
    RoomDesign::BandValues levels {};

    for (int band = 0; band < RoomDesign::numBands && end > first; ++band)
    {
        std::vector<float> filtered (early.begin(), early.begin() + end);
        DecayAnalysis::filterOctaveBand (filtered, rate, band);

        // White noise puts this share of its energy into an octave band.
        const auto bandShare = RoomDesign::bandCentres[(size_t) band] / std::sqrt (2.0) / (0.5 * rate);
        double measured = 0.0, expected = 0.0;

        for (int i = first; i < end; ++i)
        {
            const auto seconds = i / rate + offsetSeconds;
            const auto imageWeight = ImageSources::getHandOverWeight (seconds, path.directSeconds, path.directSeconds + mixing);
            measured += (double) filtered[(size_t) i] * filtered[(size_t) i];
            expected += DiffuseField::getEmissionEnergy (room) * bandShare * imageWeight * imageWeight
                      * std::exp (-2.0 * 6.907755278982137 * seconds / room.targetT30[(size_t) band]);
        }

        levels[(size_t) band] = measured > 0.0 ? juce::jlimit (-maxEarlyLevelDb, maxEarlyLevelDb, 10.0 * std::log10 (measured / expected))
                                               : 0.0;
    }

    return levels;
}

void RoomSynthesiser::normalise (juce::AudioBuffer<float>& response, const std::vector<Path>& paths,
                                     double offsetSeconds) const
{
    // The same reverberant energy in every file, so that switching presets keeps the level;
    // the direct sound then sits where each room's balance puts it.
    double energy = 0.0;

    for (int channel = 0; channel < response.getNumChannels(); ++channel)
    {
        const auto first = juce::jmax (0, static_cast<int> ((paths[(size_t) channel].directSeconds + directSoundSeconds - offsetSeconds) * room.sampleRate));
        const auto* samples = response.getReadPointer (channel);

        for (int i = first; i < response.getNumSamples(); ++i)
            energy += (double) samples[i] * samples[i];
    }

    energy /= response.getNumChannels();

    if (energy <= 0.0)
        return;

    auto gain = std::sqrt (std::pow (10.0, reverberantLevelDb / 10.0) / energy);
    float peak = 0.0f;

    for (int channel = 0; channel < response.getNumChannels(); ++channel)
        peak = juce::jmax (peak, response.getMagnitude (channel, 0, response.getNumSamples()));

    // A room so dry that its direct sound would clip gives up some reverberant level instead.
    gain = juce::jmin (gain, juce::Decibels::decibelsToGain (maxPeakDb) / (double) peak);
    response.applyGain (static_cast<float> (gain));
}

juce::AudioBuffer<float> RoomSynthesiser::render (Layout layout)
{
    const auto paths = getPaths (room, layout);
    const auto numChannels = static_cast<int> (paths.size());
    const auto mixing = getMixingSeconds();

    // The file starts just before its earliest arrival; the channels keep their relative delays.
    auto earliest = paths.front().directSeconds, latest = earliest;

    for (const auto& path : paths)
    {
        earliest = juce::jmin (earliest, path.directSeconds);
        latest = juce::jmax (latest, path.directSeconds);
    }

    const auto offsetSeconds = earliest - leadSeconds;

    ImageSources imageSources (room);
    std::vector<std::vector<float>> early;

    for (const auto& path : paths)
    {
        early.emplace_back ((size_t) room.samplesPerChannel, 0.0f);
        imageSources.render (path.source, path.microphone, offsetSeconds,
                             path.directSeconds, path.directSeconds + mixing, early.back());
    }

    auto longestDecay = 0.0;

    for (auto t30 : room.targetT30)
        longestDecay = juce::jmax (longestDecay, decayTimeMargin * t30);

    // Seeds differ by room, layout and channel.
    const auto seed = static_cast<juce::uint64> (room.seed) * 1000u + (layout == Layout::stereo ? 0u : 100u) + 1u;
    const DiffuseField diffuse (room, numChannels / 2, offsetSeconds, longestDecay, latest + mixing, seed);

    std::vector<DecayEnvelope> envelopes ((size_t) numChannels, DecayEnvelope (room, room.targetT30));
    std::vector<RoomDesign::BandValues> levelsDb;

    // Below a small room's Schroeder frequency the modes carry the early energy the image
    // sources leave out there; the diffuse part goes on from both.
    for (int channel = 0; channel < numChannels; ++channel)
        levelsDb.push_back (measureEarlyLevels (addModes (early[(size_t) channel], paths[(size_t) channel], envelopes[(size_t) channel], offsetSeconds),
                                                paths[(size_t) channel], offsetSeconds));

    juce::AudioBuffer<float> response (numChannels, room.samplesPerChannel), best;
    auto coherenceTrim = diffuse.makeNeutralCoherenceTrim();

    // Each pass changes the noise a little, so a later pass need not be better: the best one is kept.
    struct Outcome { double score, trimDeviation, coherenceDeviation; RoomDesign::BandValues t30; };
    Outcome bestOutcome { std::numeric_limits<double>::max(), 0.0, 0.0, {} };

    for (int pass = 0; pass < maxTrimPasses; ++pass)
    {
        const auto tails = diffuse.render (envelopes, levelsDb, coherenceTrim);

        for (int channel = 0; channel < numChannels; ++channel)
            assemble (addModes (early[(size_t) channel], paths[(size_t) channel], envelopes[(size_t) channel], offsetSeconds),
                      tails[(size_t) channel], paths[(size_t) channel], offsetSeconds, response.getWritePointer (channel));

        auto corrected = envelopes;
        const auto decay = trimDecayTimes (response, corrected);
        auto correctedCoherence = coherenceTrim;
        const auto coherenceDeviation = trimCoherence (response, layout, correctedCoherence);
        const auto score = juce::jmax (juce::jmax (decay.t30 / trimTolerance, coherenceDeviation / coherenceTolerance),
                                       juce::jmax (decay.earlyDecay / earlyDecayTolerance, decay.lateDecay / lateDecayTolerance));

        if (score < bestOutcome.score)
        {
            bestOutcome = { score, decay.t30, coherenceDeviation, lastMeasuredT30 };
            best.makeCopyOf (response);
        }

        if (score <= 1.0)
            break;

        coherenceTrim = correctedCoherence;

        for (auto& envelope : corrected)
            for (auto& decayTime : envelope.decayTimes)
                decayTime = juce::jmin (decayTime, longestDecay);

        envelopes = corrected;
    }

    lastTrimDeviation = bestOutcome.trimDeviation;
    lastCoherenceDeviation = bestOutcome.coherenceDeviation;
    lastMeasuredT30 = bestOutcome.t30;
    response = std::move (best);
    normalise (response, paths, offsetSeconds);
    return response;
}
