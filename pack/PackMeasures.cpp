#include "PackMeasures.h"
#include "AirAbsorption.h"
#include "DecayAnalysis.h"
#include "DiffuseField.h"
#include "FilterChain.h"
#include "Fft.h"
#include "ImageSources.h"
#include "RoomMeasures.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace
{
    using Band = RoomMeasures::Band;
    constexpr double unbounded = 1.0e9;

    // Beyond the lags at which a band above 1 kHz and its envelope smoothing correlate by themselves.
    constexpr double repetitionLagSeconds = 0.005;

    /** Keeps the worst value: the lowest for a row bounded only below, the highest for one
        bounded only above, else the one farthest from the middle of the row's range.
    */
    void keepWorst (PackMeasures::Row& row, double value)
    {
        const auto middle = 0.5 * (row.low + row.high);
        const auto isWorse = row.high >= unbounded ? value < row.value
                           : row.low <= -unbounded ? value > row.value
                           : std::abs (value - middle) > std::abs (row.value - middle);

        if (std::isnan (row.value) || isWorse)
            row.value = value;
    }

    /** The energy of a reflection whose surfaces absorb per octave band and the air over its
        path, per unit of a flat spectrum; 1 for a reflection nothing absorbs.
    */
    double reflectionEnergy (const RoomDesign::BandValues& factors, double distance, double sampleRate)
    {
        double sum = 0.0, count = 0.0;

        for (double frequency = 12.5; frequency < 0.5 * sampleRate; frequency += 25.0)
        {
            auto band = 0;

            while (band < RoomDesign::numBands - 1 && frequency > RoomDesign::bandCentres[(size_t) band] * std::sqrt (2.0))
                ++band;

            sum += factors[(size_t) band] * std::pow (10.0, -AirAbsorption::getDecibelsPerMetre (frequency) * distance / 10.0);
            count += 1.0;
        }

        return sum / count;
    }

    // A mode counts as excited when source and microphone together see this much of its pressure.
    constexpr double smallestModeCoupling = 0.25;
    constexpr double lowestModeHz = 20.0;

    double windowEnergy (const float* samples, int numSamples, double centreSample, double sampleRate)
    {
        const auto start = juce::jmax (0, static_cast<int> (centreSample - 0.00025 * sampleRate));
        const auto end = juce::jmin (numSamples, static_cast<int> (centreSample + 0.00075 * sampleRate));
        double energy = 0.0;

        for (int i = start; i < end; ++i)
            energy += (double) samples[i] * samples[i];

        return energy;
    }
}

double PackMeasures::expectedCoherence (const RoomDesign& room, RoomSynthesiser::Layout layout,
                                            int firstChannel, int secondChannel, double bandCentre)
{
    // sin(kd)/kd averaged over the octave band's filter.
    const auto microphoneSpacing = room.leftMicrophone.distanceTo (room.rightMicrophone);
    const auto sourceSpacing = room.leftSource.distanceTo (room.rightSource);
    const auto trueStereo = layout == RoomSynthesiser::Layout::trueStereo;
    const auto differentMicrophones = (firstChannel % 2) != (secondChannel % 2);
    const auto differentSources = trueStereo && (firstChannel / 2) != (secondChannel / 2);

    FilterChain filter;
    filter.addButterworth4HighPass (room.sampleRate, bandCentre / std::sqrt (2.0));
    filter.addButterworth4LowPass (room.sampleRate, bandCentre * std::sqrt (2.0));
    double sum = 0.0, weights = 0.0;

    for (double frequency = 1.0; frequency < 8.0 * bandCentre; frequency += bandCentre / 100.0)
    {
        const auto weight = std::pow (filter.getMagnitude (room.sampleRate, frequency), 2.0);
        auto coherence = 1.0;

        if (differentMicrophones)
            coherence *= DiffuseField::getDiffuseCoherence (frequency, microphoneSpacing, room.speedOfSound);

        if (differentSources)
            coherence *= DiffuseField::getDiffuseCoherence (frequency, sourceSpacing, room.speedOfSound);

        sum += weight * coherence;
        weights += weight;
    }

    return sum / weights;
}

double PackMeasures::earlyReflectionDeviationDb (const RoomDesign& room, const RoomSynthesiser::Path& path,
                                                     const float* samples, int numSamples)
{
    const auto rate = room.sampleRate;
    const auto mixing = room.getPredictedMixingSeconds();
    const auto directSample = RoomMeasures::findLoudestSample (samples, numSamples);
    const ImageSources imageSources (room);
    const auto arrivals = imageSources.findArrivals (path.source, path.microphone, path.directSeconds + mixing);

    // Reflections that arrive alone, before the diffuse part begins, strongest first.
    struct Candidate { ImageSources::Arrival arrival; double energy; };
    std::vector<Candidate> candidates;

    for (const auto& arrival : arrivals)
    {
        if (arrival.getOrder() == 0 || arrival.seconds > path.directSeconds + 0.5 * mixing)
            continue;

        const auto alone = std::none_of (arrivals.begin(), arrivals.end(), [&] (const auto& other)
        {
            return &other != &arrival && std::abs (other.seconds - arrival.seconds) < 0.001;
        });

        if (alone)
            candidates.push_back ({ arrival, reflectionEnergy (imageSources.getReflectionFactors (arrival), arrival.distance, rate)
                                                 / (arrival.distance * arrival.distance) });
    }

    std::sort (candidates.begin(), candidates.end(), [] (const auto& a, const auto& b) { return a.energy > b.energy; });
    candidates.resize (juce::jmin (candidates.size(), (size_t) numEarlyReflections));

    const auto directDistance = path.directSeconds * room.speedOfSound;
    const auto expectedDirect = reflectionEnergy ({ 1.0, 1.0, 1.0, 1.0, 1.0, 1.0 }, directDistance, rate)
                              / (directDistance * directDistance);
    const auto measuredDirect = windowEnergy (samples, numSamples, directSample, rate);
    double worst = 0.0;

    for (const auto& candidate : candidates)
    {
        const auto position = directSample + (candidate.arrival.seconds - path.directSeconds) * rate;
        const auto measured = windowEnergy (samples, numSamples, position, rate) / measuredDirect;
        const auto deviation = 10.0 * std::log10 (measured / (candidate.energy / expectedDirect));

        if (std::abs (deviation) > std::abs (worst))
            worst = deviation;
    }

    return worst;
}

int PackMeasures::getLateCoherenceStart (const RoomDesign& room, const juce::AudioBuffer<float>& response)
{
    auto latestDirect = 0;

    for (int channel = 0; channel < response.getNumChannels(); ++channel)
        latestDirect = juce::jmax (latestDirect, RoomMeasures::findLoudestSample (response.getReadPointer (channel), response.getNumSamples()));

    return latestDirect + static_cast<int> ((room.getPredictedMixingSeconds() + 0.1) * room.sampleRate);
}

double PackMeasures::measureLateCoherence (const RoomDesign& room, const juce::AudioBuffer<float>& response,
                                           int firstChannel, int secondChannel, double bandCentre, int lateStart)
{
    return RoomMeasures::bandCoherence (response.getReadPointer (firstChannel), response.getReadPointer (secondChannel),
                                        response.getNumSamples(), room.sampleRate, Band::octave (bandCentre),
                                        lateStart, response.getNumSamples());
}

std::vector<double> PackMeasures::coupledModeFrequencies (const RoomDesign& room, const RoomSynthesiser::Path& path)
{
    const auto highest = room.getSchroederFrequency();
    const auto half = 0.5 * room.speedOfSound;
    const auto orderLimit = [&] (double size) { return static_cast<int> (highest / half * size) + 1; };
    const auto shape = [] (int order, double size, const RoomDesign::Position& point, double RoomDesign::Position::* axis)
    {
        return std::cos (order * juce::MathConstants<double>::pi * (point.*axis) / size);
    };

    std::vector<double> frequencies;

    for (int p = 0; p <= orderLimit (room.width); ++p)
        for (int q = 0; q <= orderLimit (room.length); ++q)
            for (int r = 0; r <= orderLimit (room.height); ++r)
            {
                const auto frequency = half * std::sqrt (std::pow (p / room.width, 2.0) + std::pow (q / room.length, 2.0)
                                                          + std::pow (r / room.height, 2.0));
                const auto coupling = [&] (const RoomDesign::Position& point)
                {
                    return shape (p, room.width, point, &RoomDesign::Position::x) * shape (q, room.length, point, &RoomDesign::Position::y)
                         * shape (r, room.height, point, &RoomDesign::Position::z);
                };

                if (frequency >= lowestModeHz && frequency <= highest
                     && std::abs (coupling (path.source) * coupling (path.microphone)) >= smallestModeCoupling)
                    frequencies.push_back (frequency);
            }

    std::sort (frequencies.begin(), frequencies.end());
    return frequencies;
}

double PackMeasures::modeSalienceDb (const RoomDesign& room, const RoomSynthesiser::Path& path,
                                     const float* samples, int numSamples)
{
    const auto modes = coupledModeFrequencies (room, path);

    // A mode's half-power bandwidth is 2.2 / T (Kuttruff, Room Acoustics, ch. 3): each level is
    // taken over that width, and modes closer than twice it merge into one peak.
    const auto bandwidth = 2.2 / room.targetT30[0];
    const auto halfWindow = 0.5 * bandwidth;
    const auto size = juce::nextPowerOfTwo (numSamples);
    const Fft fft (size);
    std::vector<std::complex<double>> spectrum ((size_t) size);

    for (int i = 0; i < numSamples; ++i)
        spectrum[(size_t) i] = samples[i];

    fft.forward (spectrum);

    const auto levelDbAround = [&] (double frequency)
    {
        const auto first = juce::jmax (1, static_cast<int> ((frequency - halfWindow) * size / room.sampleRate));
        const auto last = juce::jmax (first, static_cast<int> ((frequency + halfWindow) * size / room.sampleRate));
        double power = 0.0;

        for (int bin = first; bin <= last; ++bin)
            power += std::norm (spectrum[(size_t) bin]);

        return 10.0 * std::log10 (power / (last - first + 1) + 1.0e-30);
    };

    // Only modes with room on both sides: a cluster of close ones is one peak.
    double atModes = 0.0, between = 0.0;
    int count = 0;

    for (size_t i = 0; i + 1 < modes.size(); ++i)
    {
        if (modes[i + 1] - modes[i] < 2.0 * bandwidth)
            continue;

        atModes += 0.5 * (levelDbAround (modes[i]) + levelDbAround (modes[i + 1]));
        between += levelDbAround (0.5 * (modes[i] + modes[i + 1]));
        ++count;
    }

    return count > 0 ? (atModes - between) / count : 0.0;
}

double PackMeasures::reverberantLevelDb (const RoomDesign& room, RoomSynthesiser::Layout,
                                             const juce::AudioBuffer<float>& response)
{
    double energy = 0.0;

    for (int channel = 0; channel < response.getNumChannels(); ++channel)
    {
        const auto* samples = response.getReadPointer (channel);
        const auto direct = RoomMeasures::findLoudestSample (samples, response.getNumSamples());
        energy += RoomMeasures::energyFrom (samples, response.getNumSamples(),
                                                direct + static_cast<int> (RoomSynthesiser::directSoundSeconds * room.sampleRate));
    }

    return 10.0 * std::log10 (energy / response.getNumChannels());
}

std::vector<PackMeasures::Row> PackMeasures::measure (const RoomDesign& room, RoomSynthesiser::Layout layout,
                                                              const juce::AudioBuffer<float>& response)
{
    const auto rate = room.sampleRate;
    const auto numSamples = response.getNumSamples();
    const auto paths = RoomSynthesiser::getPaths (room, layout);
    const auto bands = RoomMeasures::getDecayBands();
    const auto mixing = room.getPredictedMixingSeconds();
    const auto numTableBands = (size_t) RoomDesign::numBands;

    std::vector<Row> rows;
    const auto addRow = [&] (const juce::String& name, double low, double high)
    {
        rows.push_back ({ name, std::numeric_limits<double>::quiet_NaN(), low, high });
        return rows.size() - 1;
    };

    std::vector<size_t> t30Rows, edtRows, lateRows;

    for (size_t band = 0; band < bands.size(); ++band)
    {
        if (band < numTableBands)
        {
            t30Rows.push_back (addRow ("T30 " + bands[band].getName() + " / target", 0.95, 1.05));
            edtRows.push_back (addRow ("EDT / T30 " + bands[band].getName(), 0.8, 1.2));
        }
        else
        {
            t30Rows.push_back (addRow ("T30 " + bands[band].getName() + " / ISO 9613-1 from 4 kHz", 0.8, 1.2));
        }

        // Above 4 kHz a band spans decay times that air absorption spreads apart, so even the
        // ideal room's decay curve bends there; the limit is on the bend beyond it.
        lateRows.push_back (addRow (band < numTableBands ? "late decay (-25 to -45 dB) / T30 " + bands[band].getName()
                                                         : "late decay / T30 " + bands[band].getName() + ", over the ideal's",
                                    0.0, 1.1));
    }

    const auto echoRow = addRow ("echo density 1 reached / mixing time", 0.6, unbounded);
    const auto earlyRow = addRow ("strongest early reflections vs alone (dB)", -2.0, 2.0);
    const auto echoCriterionRow = addRow ("echo criterion EK for music (Dietsch and Kraak)", -unbounded, 1.5);
    const auto repetitionRow = addRow ("late repetition (autocorrelation above 1 kHz)", -unbounded, 0.2);
    const auto coherence125 = addRow ("late coherence 125 Hz - sin(kd)/kd", -0.2, 0.2);
    const auto coherence250 = addRow ("late coherence 250 Hz - sin(kd)/kd", -0.2, 0.2);
    const auto peakRow = addRow ("peak (dBFS)", -unbounded, -0.5);
    const auto startRow = addRow ("earliest arrival (ms)", 0.0, 1.0);
    const auto modalRoom = room.getSchroederFrequency() > modalRoomSchroederFrequency;
    const auto modeRow = modalRoom ? addRow ("mode salience below " + juce::String (juce::roundToInt (room.getSchroederFrequency()))
                                                 + " Hz (dB)", 1.5, unbounded)
                                   : 0;

    int earliest = numSamples;
    float peak = 0.0f;

    for (int channel = 0; channel < response.getNumChannels(); ++channel)
    {
        const auto* samples = response.getReadPointer (channel);
        const auto direct = RoomMeasures::findLoudestSample (samples, numSamples);
        double t30At4k = 0.0;

        for (size_t band = 0; band < bands.size(); ++band)
        {
            const auto curve = RoomMeasures::bandDecayCurve (samples, numSamples, rate, bands[band]);
            const auto t30 = DecayAnalysis::fitT30 (curve, rate);

            if (band < numTableBands)
            {
                keepWorst (rows[t30Rows[band]], t30 / room.targetT30[band]);
                keepWorst (rows[edtRows[band]], DecayAnalysis::fitDecayTime (curve, rate, 0.0, -10.0) / t30);

                if (band == numTableBands - 1)
                    t30At4k = t30;
            }
            auto idealBend = 1.0;

            if (band >= numTableBands)
            {
                const auto ideal = RoomMeasures::predictAirDecay (t30At4k, bands[band], rate, room.speedOfSound);
                keepWorst (rows[t30Rows[band]], t30 / ideal.t30);
                idealBend = ideal.lateDecay / ideal.t30;
            }

            keepWorst (rows[lateRows[band]], DecayAnalysis::fitDecayTime (curve, rate, -25.0, -45.0) / t30 / idealBend);
        }

        const auto echoTime = RoomMeasures::firstFullEchoDensity (samples, numSamples, rate, direct);
        keepWorst (rows[echoRow], (echoTime < 0.0 ? numSamples / rate : echoTime) / mixing);
        keepWorst (rows[earlyRow], earlyReflectionDeviationDb (room, paths[(size_t) channel], samples, numSamples));
        keepWorst (rows[echoCriterionRow], RoomMeasures::echoCriterionForMusic (samples, numSamples, rate, direct));
        keepWorst (rows[repetitionRow], RoomMeasures::lateRepetition (samples, numSamples, rate, direct + static_cast<int> (mixing * rate),
                                                                          repetitionLagSeconds));

        if (modalRoom)
            keepWorst (rows[modeRow], modeSalienceDb (room, paths[(size_t) channel], samples, numSamples));

        earliest = juce::jmin (earliest, RoomMeasures::findFirstArrival (samples, numSamples, 40.0));
        peak = juce::jmax (peak, response.getMagnitude (channel, 0, numSamples));
    }

    const auto lateStart = getLateCoherenceStart (room, response);

    for (int a = 0; a < response.getNumChannels(); ++a)
        for (int b = a + 1; b < response.getNumChannels(); ++b)
            for (auto [row, centre] : { std::pair<size_t, double> { coherence125, 125.0 }, { coherence250, 250.0 } })
                keepWorst (rows[row], measureLateCoherence (room, response, a, b, centre, lateStart)
                                        - expectedCoherence (room, layout, a, b, centre));

    rows[peakRow].value = juce::Decibels::gainToDecibels ((double) peak, -300.0);
    rows[startRow].value = 1000.0 * earliest / rate;
    return rows;
}
