#include <pack/DecayAnalysis.h>
#include <pack/PackMeasures.h>
#include <pack/RoomMeasures.h>
#include <pack/RoomSynthesiser.h>
#include <pack/TailMeasures.h>

#include <gtest/gtest.h>

#include <cmath>

namespace
{
    /** The table's shortest room keeps these tests quick. */
    RoomDesign shortRoom()
    {
        juce::Array<RoomDesign> rooms;
        RoomDesign::loadTable (juce::File (VOK_ROOM_TABLE), rooms);

        for (const auto& room : rooms)
            if (room.name == "Jazz Studio small")
                return room;

        ADD_FAILURE() << "the table lacks its small jazz studio";
        return {};
    }

    int loudestSample (const juce::AudioBuffer<float>& buffer, int channel)
    {
        int loudest = 0;

        for (int i = 0; i < buffer.getNumSamples(); ++i)
            if (std::abs (buffer.getSample (channel, i)) > std::abs (buffer.getSample (channel, loudest)))
                loudest = i;

        return loudest;
    }

    bool sameSamples (const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b)
    {
        if (a.getNumChannels() != b.getNumChannels() || a.getNumSamples() != b.getNumSamples())
            return false;

        for (int channel = 0; channel < a.getNumChannels(); ++channel)
            if (std::memcmp (a.getReadPointer (channel), b.getReadPointer (channel), sizeof (float) * (size_t) a.getNumSamples()) != 0)
                return false;

        return true;
    }
}

TEST (RoomSynthesiser, TheSameDesignGivesTheSameSamples)
{
    const auto room = shortRoom();
    RoomSynthesiser first (room), second (room);

    EXPECT_TRUE (sameSamples (first.render (RoomSynthesiser::Layout::trueStereo),
                              second.render (RoomSynthesiser::Layout::trueStereo)));

    auto reseeded = room;
    reseeded.seed += 1;
    RoomSynthesiser third (reseeded);

    EXPECT_FALSE (sameSamples (first.render (RoomSynthesiser::Layout::stereo),
                               third.render (RoomSynthesiser::Layout::stereo)));
}

TEST (RoomSynthesiser, AFileDoesNotDependOnWhatWasRenderedBeforeIt)
{
    const auto room = shortRoom();
    RoomSynthesiser stereoFirst (room), trueStereoFirst (room);

    const auto stereoThenTrueStereo = [&] { stereoFirst.render (RoomSynthesiser::Layout::stereo);
                                            return stereoFirst.render (RoomSynthesiser::Layout::trueStereo); }();
    const auto trueStereoAlone = trueStereoFirst.render (RoomSynthesiser::Layout::trueStereo);
    const auto stereoAfterTrueStereo = trueStereoFirst.render (RoomSynthesiser::Layout::stereo);

    EXPECT_TRUE (sameSamples (stereoThenTrueStereo, trueStereoAlone));
    EXPECT_TRUE (sameSamples (stereoAfterTrueStereo, RoomSynthesiser (room).render (RoomSynthesiser::Layout::stereo)));
}

TEST (RoomSynthesiser, TheDirectSoundsKeepTheirRelativeDelaysAndTheEarliestStartsTheFile)
{
    const auto room = shortRoom();
    const RoomSynthesiser synthesiser (room);

    struct Path { RoomDesign::Position source, microphone; };
    const std::vector<Path> stereoPaths { { room.centreSource, room.leftMicrophone }, { room.centreSource, room.rightMicrophone } };
    const std::vector<Path> trueStereoPaths { { room.leftSource, room.leftMicrophone }, { room.leftSource, room.rightMicrophone },
                                              { room.rightSource, room.leftMicrophone }, { room.rightSource, room.rightMicrophone } };

    for (auto layout : { RoomSynthesiser::Layout::stereo, RoomSynthesiser::Layout::trueStereo })
    {
        const auto& paths = layout == RoomSynthesiser::Layout::stereo ? stereoPaths : trueStereoPaths;
        const auto response = synthesiser.render (layout);
        ASSERT_EQ (response.getNumChannels(), (int) paths.size());
        ASSERT_EQ (response.getNumSamples(), room.samplesPerChannel);

        auto earliest = 1.0e9;

        for (const auto& path : paths)
            earliest = juce::jmin (earliest, path.source.distanceTo (path.microphone) / room.speedOfSound);

        for (int channel = 0; channel < response.getNumChannels(); ++channel)
        {
            // The direct sound is each channel's loudest arrival.
            const auto delay = paths[(size_t) channel].source.distanceTo (paths[(size_t) channel].microphone) / room.speedOfSound - earliest;
            const auto expected = (delay + RoomSynthesiser::leadSeconds) * room.sampleRate;
            EXPECT_NEAR (loudestSample (response, channel), expected, 1.0) << "channel " << channel;

            EXPECT_EQ (response.getSample (channel, 0), 0.0f) << "channel " << channel;
        }
    }
}

TEST (RoomSynthesiser, NearerPathsAreLouder)
{
    // True stereo: the left source is nearer the left microphone than the right one. The
    // direct sound's energy (its first millisecond) is judged: its peak also depends on where
    // between two samples it falls.
    const auto room = shortRoom();
    const auto response = RoomSynthesiser (room).render (RoomSynthesiser::Layout::trueStereo);
    const auto directEnergy = [&] (int channel)
    {
        const auto start = loudestSample (response, channel) - 10;
        double energy = 0.0;

        for (int i = start; i < start + (int) (0.001 * room.sampleRate); ++i)
            energy += std::pow (response.getSample (channel, i), 2.0);

        return energy;
    };

    EXPECT_GT (directEnergy (0), directEnergy (1));   // L->L over L->R
    EXPECT_GT (directEnergy (3), directEnergy (2));   // R->R over R->L
}

TEST (RoomSynthesiser, TheDecayFollowsTheTableWithoutBeingCorrected)
{
    // Nothing is measured and trimmed: the model's decay alone meets the table, within the
    // scatter the estimator itself shows in a short decay of a narrow band.
    const auto room = shortRoom();
    const auto response = RoomSynthesiser (room).render (RoomSynthesiser::Layout::trueStereo);

    for (size_t band = 0; band < room.targetT30.size(); ++band)
    {
        double mean = 0.0;

        for (int channel = 0; channel < response.getNumChannels(); ++channel)
            mean += DecayAnalysis::measureT30 (response.getReadPointer (channel), response.getNumSamples(), room.sampleRate)[band]
                  / response.getNumChannels();

        const auto width = RoomDesign::bandCentres[band] * (std::sqrt (2.0) - 1.0 / std::sqrt (2.0));
        const auto tolerance = juce::jmax (0.05, 1.25 / std::sqrt (width * room.targetT30[band]));
        EXPECT_NEAR (mean / room.targetT30[band], 1.0, tolerance) << RoomDesign::bandCentres[band] << " Hz";
    }
}

TEST (RoomSynthesiser, ScatteringTurnsTheReflectionsIntoADenseFieldSooner)
{
    // The same room with smooth and with strongly scattering surfaces: the scattering one's
    // early part is denser, and the smooth one's reflections stand out more.
    auto smooth = shortRoom(), scattering = shortRoom();

    for (auto& surface : smooth.surfaces)       surface.scattering.fill (0.05);
    for (auto& surface : scattering.surfaces)   surface.scattering.fill (0.7);

    const auto earlyDensity = [] (const RoomDesign& room)
    {
        const auto response = RoomSynthesiser (room).render (RoomSynthesiser::Layout::stereo);
        const auto* samples = response.getReadPointer (0);
        const auto direct = loudestSample (response, 0);
        const auto profile = RoomMeasures::echoDensity (samples + direct, response.getNumSamples() - direct, room.sampleRate,
                                                        0.001, 0.5 * room.getPredictedMixingSeconds());
        double sum = 0.0;

        for (auto value : profile)
            sum += value;

        return sum / (double) profile.size();
    };

    EXPECT_GT (earlyDensity (scattering), earlyDensity (smooth) + 0.1);
}

TEST (RoomSynthesiser, TheLateBassIsAsCoherentAsTheDiffuseFieldAtEveryMoment)
{
    // The coherence of each source's two microphones comes from the mix alone: the whole late
    // tail, every moment weighted alike, shows it within the scatter of a short tail's estimate
    // (wider below the Schroeder frequency, where the modes lead).
    const auto room = shortRoom();
    const auto response = RoomSynthesiser (room).render (RoomSynthesiser::Layout::trueStereo);
    const auto paths = RoomSynthesiser::getPaths (room, RoomSynthesiser::Layout::trueStereo);
    const auto start = loudestSample (response, 1) + (int) (room.getPredictedMixingSeconds() * room.sampleRate);

    for (auto centre : { 125.0, 250.0 })
    {
        const auto band = RoomMeasures::Band::octave (centre);
        const auto tolerance = centre >= room.getSchroederFrequency() ? 0.2 : 0.35;

        for (int first : { 0, 2 })
        {
            const auto second = first + 1;
            const auto* a = response.getReadPointer (first);
            const auto* b = response.getReadPointer (second);
            const auto end = TailMeasures::findBandDecayEnd (a, b, response.getNumSamples(), room.sampleRate, band, start, 45.0);
            const auto emission = loudestSample (response, first) / room.sampleRate - paths[(size_t) first].directSeconds;
            const auto expected = PackMeasures::expectedCoherence (room, RoomSynthesiser::Layout::trueStereo, first, second, centre,
                                                                   start / room.sampleRate - emission, end / room.sampleRate - emission);

            const auto coherence = TailMeasures::normalisedCoherences (a, b, response.getNumSamples(), room.sampleRate, band,
                                                                       { { start, end } }).front();
            EXPECT_NEAR (coherence, expected, tolerance) << "channels " << first << " and " << second << ", " << centre << " Hz";
        }
    }
}

TEST (RoomSynthesiser, TheResponseRollsOffBelowTheAudioBandAsAMeasurementChainDoes)
{
    const auto response = RoomSynthesiser (shortRoom()).render (RoomSynthesiser::Layout::stereo);

    for (int channel = 0; channel < response.getNumChannels(); ++channel)
        EXPECT_LE (TailMeasures::subsonicLevelDb (response.getReadPointer (channel), response.getNumSamples(), 44100.0), 0.0);
}

TEST (RoomSynthesiser, ModeSalienceHearsTheModesOfAModalResponse)
{
    // The room's coupled modes as decaying sinusoids, nothing else: the level at the modes
    // stands clear of the level between them.
    const auto room = shortRoom();
    ASSERT_TRUE (room.isModal());

    const auto path = RoomSynthesiser::getPaths (room, RoomSynthesiser::Layout::stereo)[0];
    const auto modes = PackMeasures::coupledModeFrequencies (room, path);
    ASSERT_GE (modes.size(), 2u);

    std::vector<float> response ((size_t) room.samplesPerChannel, 0.0f);

    for (size_t i = 0; i < response.size(); ++i)
    {
        const auto seconds = (double) i / room.sampleRate;

        for (auto frequency : modes)
            response[i] += (float) (std::sin (2.0 * juce::MathConstants<double>::pi * frequency * seconds)
                                    * std::exp (-RoomDesign::nepersPerDecay * seconds / room.targetT30[0]));
    }

    EXPECT_GE (PackMeasures::modeSalienceDb (room, path, response.data(), (int) response.size()), 1.5);
}

TEST (RoomSynthesiser, ChannelDescriptionsNameTheirPaths)
{
    EXPECT_EQ (RoomSynthesiser::getChannelDescriptions (RoomSynthesiser::Layout::stereo),
               juce::StringArray ({ "C->L", "C->R" }));
    EXPECT_EQ (RoomSynthesiser::getChannelDescriptions (RoomSynthesiser::Layout::trueStereo),
               juce::StringArray ({ "L->L", "L->R", "R->L", "R->R" }));
}
