#include "PackMeasures.h"
#include "AirAbsorption.h"
#include "DecayAnalysis.h"
#include "DiffuseField.h"
#include "EarlyMeasures.h"
#include "FilterChain.h"
#include "Fft.h"
#include "ImageSources.h"
#include "RoomMeasures.h"
#include "TailMeasures.h"

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
    constexpr double smallestModeCoupling = 0.5;
}

double PackMeasures::expectedCoherence (const RoomDesign& room, RoomSynthesiser::Layout layout,
                                        int firstChannel, int secondChannel, double bandCentre,
                                        double startSeconds, double endSeconds)
{
    // sin(kd)/kd averaged over the octave band as the estimator sees it: its band filter runs
    // forwards and backwards, so that each frequency counts with the filter's power squared.
    const auto microphoneSpacing = room.leftMicrophone.distanceTo (room.rightMicrophone);
    const auto sourceSpacing = room.leftSource.distanceTo (room.rightSource);
    const auto trueStereo = layout == RoomSynthesiser::Layout::trueStereo;
    const auto differentMicrophones = (firstChannel % 2) != (secondChannel % 2);
    const auto differentSources = trueStereo && (firstChannel / 2) != (secondChannel / 2);

    FilterChain filter;
    filter.addButterworth4HighPass (room.sampleRate, bandCentre / std::sqrt (2.0));
    filter.addButterworth4LowPass (room.sampleRate, bandCentre * std::sqrt (2.0));
    std::vector<double> frequencies, bandPowers, coherences, decayRates;

    for (double frequency = 1.0; frequency < 8.0 * bandCentre; frequency += bandCentre / 100.0)
    {
        auto coherence = 1.0;

        if (differentMicrophones)
            coherence *= DiffuseField::getDiffuseCoherence (frequency, microphoneSpacing, room.speedOfSound);

        if (differentSources)
            coherence *= DiffuseField::getDiffuseCoherence (frequency, sourceSpacing, room.speedOfSound);

        bandPowers.push_back (std::pow (filter.getMagnitude (room.sampleRate, frequency), 4.0));
        coherences.push_back (coherence);
        decayRates.push_back (2.0 * RoomDesign::nepersPerDecay / DiffuseField::getDecayTime (room.targetT30, frequency, room.speedOfSound));
    }

    // The coherence at each moment is that of the band's power at that moment; the moments count alike.
    constexpr int numMoments = 50;
    const auto moments = endSeconds > startSeconds ? numMoments : 1;
    const auto slowest = *std::min_element (decayRates.begin(), decayRates.end());
    double sum = 0.0;

    for (int moment = 0; moment < moments; ++moment)
    {
        const auto seconds = startSeconds + (endSeconds - startSeconds) * (moment + 0.5) / moments;
        double weighted = 0.0, weights = 0.0;

        for (size_t i = 0; i < bandPowers.size(); ++i)
        {
            const auto power = bandPowers[i] * (endSeconds > startSeconds ? std::exp (-(decayRates[i] - slowest) * seconds) : 1.0);
            weighted += power * coherences[i];
            weights += power;
        }

        sum += weighted / weights;
    }

    return sum / moments;
}

std::vector<double> PackMeasures::coupledModeFrequencies (const RoomDesign& room, const RoomSynthesiser::Path& path)
{
    std::vector<double> frequencies;

    for (const auto& mode : room.getModes (highestJudgedModeShare * room.getSchroederFrequency()))
        if (std::abs (room.getModeShape (mode, path.source) * room.getModeShape (mode, path.microphone)) >= smallestModeCoupling)
            frequencies.push_back (mode.frequency);

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
    const auto spectrum = Fft::spectrumOf (samples, numSamples);
    const auto size = (int) spectrum.size();

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

    return count > 0 ? (atModes - between) / count : std::numeric_limits<double>::quiet_NaN();
}

double PackMeasures::reverberantLevelDb (const RoomDesign& room, RoomSynthesiser::Layout,
                                             const juce::AudioBuffer<float>& response)
{
    double energy = 0.0;

    for (int channel = 0; channel < response.getNumChannels(); ++channel)
    {
        const auto* samples = response.getReadPointer (channel);
        const auto direct = RoomMeasures::findDirectSound (samples, response.getNumSamples(), room.sampleRate);
        energy += RoomMeasures::energyFrom (samples, response.getNumSamples(),
                                                direct + static_cast<int> (RoomSynthesiser::directSoundSeconds * room.sampleRate));
    }

    return 10.0 * std::log10 (energy / response.getNumChannels());
}


std::vector<double> PackMeasures::firstOrderReflectionsOverDiffuseDb (const RoomDesign& room, const RoomSynthesiser::Path& path,
                                                                      const float* samples, int numSamples)
{
    const auto rate = room.sampleRate;
    const auto directSample = RoomMeasures::findDirectSound (samples, numSamples, room.sampleRate);
    const ImageSources imageSources (room);
    auto arrivals = imageSources.findArrivals (path.source, path.microphone, path.directSeconds + room.getPredictedMixingSeconds());
    const auto expectedEnergy = [&] (const ImageSources::Arrival& arrival)
    {
        return reflectionEnergy (imageSources.getReflectionFactors (arrival), arrival.distance, rate) / (arrival.distance * arrival.distance);
    };

    const auto toSample = [&] (const ImageSources::Arrival& arrival)
    {
        return directSample + juce::roundToInt ((arrival.seconds - path.directSeconds) * rate);
    };

    std::vector<int> arrivalSamples;

    for (const auto& arrival : arrivals)
        arrivalSamples.push_back (toSample (arrival));

    arrivals.erase (std::remove_if (arrivals.begin(), arrivals.end(), [] (const auto& arrival) { return arrival.getOrder() != 1; }),
                    arrivals.end());
    std::sort (arrivals.begin(), arrivals.end(), [&] (const auto& a, const auto& b) { return expectedEnergy (a) > expectedEnergy (b); });

    std::vector<double> levels;
    const auto firstSample = directSample + static_cast<int> (0.001 * rate);

    for (const auto& arrival : arrivals)
    {
        const auto position = toSample (arrival);
        auto others = arrivalSamples;
        others.erase (std::remove (others.begin(), others.end(), position), others.end());
        levels.push_back (EarlyMeasures::reflectionOverDiffuseDb (samples, numSamples, rate, position, firstSample, others));
    }

    return levels;
}

std::vector<std::pair<int, int>> PackMeasures::getMirrorPairs (RoomSynthesiser::Layout layout)
{
    if (layout == RoomSynthesiser::Layout::stereo)
        return { { 0, 1 } };

    return { { 0, 3 }, { 1, 2 } };
}

namespace
{
    /** Builds the rows of one file, each measure in its own small step. */
    class FileMeasurement
    {
    public:
        FileMeasurement (const RoomDesign& design, RoomSynthesiser::Layout fileLayout, const juce::AudioBuffer<float>& buffer)
            : room (design), layout (fileLayout), response (buffer),
              paths (RoomSynthesiser::getPaths (design, fileLayout)),
              rate (design.sampleRate), numSamples (buffer.getNumSamples()),
              mixing (design.getPredictedMixingSeconds())
        {
            for (int channel = 0; channel < response.getNumChannels(); ++channel)
                directs.push_back (RoomMeasures::findDirectSound (samplesOf (channel), numSamples, rate));
        }

        std::vector<PackMeasures::Row> measure()
        {
            addDecayRows();
            addEchoDensityRows();
            addEarlyRows();
            addTailRows();
            addCoherenceRows();
            addModeRows();
            addLevelRows();
            return rows;
        }

    private:
        const float* samplesOf (int channel) const    { return response.getReadPointer (channel); }
        int toSamples (double seconds) const         { return static_cast<int> (seconds * rate); }

        size_t addRow (const juce::String& name, double low, double high, const juce::String& source)
        {
            rows.push_back ({ name, std::numeric_limits<double>::quiet_NaN(), low, high, source });
            return rows.size() - 1;
        }

        void addDecayRows()
        {
            const auto bands = RoomMeasures::getDecayBands();
            const auto numTableBands = (size_t) RoomDesign::numBands;
            const auto numChannels = response.getNumChannels();
            std::vector<double> t30At4k ((size_t) numChannels);

            for (size_t band = 0; band < bands.size(); ++band)
            {
                const auto name = bands[band].getName();
                const auto target = band < numTableBands ? room.targetT30[band] : 0.0;
                const auto width = bands[band].highEdge - bands[band].lowEdge;

                const auto tolerance = PackMeasures::t30Tolerance (width, target);
                const auto t30Row = band < numTableBands
                                  ? addRow ("T30 " + name + " / target, mean of the paths", 1.0 - tolerance, 1.0 + tolerance,
                                            "ISO 3382-1; 5 % or 1.25/sqrt(B T30)")
                                  : addRow ("T30 " + name + " / ISO 9613-1 from 4 kHz", 0.8, 1.2, "ISO 9613-1, ISO 3382-1");
                const auto edtRow = band < numTableBands ? addRow ("EDT / T30 " + name + ", mean of the paths", 0.7, 1.35, "ISO 3382-1") : 0;
                const auto lateLimit = band < 2 && target < 1.0 ? 1.5 : 1.25;
                const auto lateRow = addRow (band < numTableBands ? "late slope (-25 to -45 dB) / T30 " + name
                                                                  : "late slope / T30 " + name + ", over the ideal's",
                                             -unbounded, lateLimit, "ISO 3382-1");
                double meanRatio = 0.0, edtSum = 0.0, t30Sum = 0.0;

                for (int channel = 0; channel < numChannels; ++channel)
                {
                    const auto curve = RoomMeasures::bandDecayCurve (samplesOf (channel), numSamples, rate, bands[band]);
                    const auto t30 = DecayAnalysis::fitT30 (curve, rate);
                    auto bend = 1.0;

                    if (band < numTableBands)
                    {
                        meanRatio += t30 / target / numChannels;
                        edtSum += DecayAnalysis::fitDecayTime (curve, rate, 0.0, -10.0);
                        t30Sum += t30;

                        if (band == numTableBands - 1)
                            t30At4k[(size_t) channel] = t30;
                    }
                    else
                    {
                        const auto ideal = RoomMeasures::predictAirDecay (t30At4k[(size_t) channel], bands[band], rate, room.speedOfSound);
                        keepWorst (rows[t30Row], t30 / ideal.t30);
                        bend = ideal.lateDecay / ideal.t30;
                    }

                    keepWorst (rows[lateRow], DecayAnalysis::fitDecayTime (curve, rate, -25.0, -45.0) / t30 / bend);
                }

                if (band < numTableBands)
                {
                    rows[t30Row].value = meanRatio;
                    rows[edtRow].value = edtSum / t30Sum;
                }
            }
        }

        void addEchoDensityRows()
        {
            // In a small room full density comes within a few milliseconds: no earliest time there.
            const auto judgesEarliest = mixing >= 0.06;
            const auto earliestRow = judgesEarliest ? addRow ("echo density (50 ms mean) 1 reached / mixing time", 0.6, unbounded,
                                                              "Abel and Huang 2006; Lindau et al. 2012")
                                                    : 0;
            const auto latestRow = addRow ("echo density 0.9 reached / mixing time", -unbounded, 1.5, "Abel and Huang 2006; Lindau et al. 2012");

            for (int channel = 0; channel < response.getNumChannels(); ++channel)
            {
                const auto reached = [&] (double threshold, double smoothing)
                {
                    const auto seconds = RoomMeasures::firstEchoDensity (samplesOf (channel), numSamples, rate, directs[(size_t) channel],
                                                                         threshold, smoothing);
                    return (seconds < 0.0 ? numSamples / rate : seconds) / mixing;
                };

                if (judgesEarliest)
                    keepWorst (rows[earliestRow], reached (1.0, TailMeasures::envelopeSeconds));

                keepWorst (rows[latestRow], reached (0.9, 0.0));
            }
        }

        std::vector<EarlyMeasures::Peak> earlyPeaks (int channel) const
        {
            const auto direct = directs[(size_t) channel];
            return EarlyMeasures::findPeaks (samplesOf (channel), numSamples, rate, direct + toSamples (0.001), direct + toSamples (mixing));
        }

        void addEarlyRows()
        {
            const auto numChannels = response.getNumChannels();
            const auto sameSourceRow = addRow ("early peaks on an opposite-sign peak of the other microphone", -unbounded, 0.05,
                                               "independent paths");
            // Only true stereo has paths of another source.
            const auto otherSourceRow = layout == RoomSynthesiser::Layout::trueStereo
                                      ? addRow ("early peaks on a peak of the other source", -unbounded, 0.1, "independent paths")
                                      : 0;
            std::vector<std::vector<EarlyMeasures::Peak>> peaks;

            for (int channel = 0; channel < numChannels; ++channel)
                peaks.push_back (earlyPeaks (channel));

            for (int channel = 0; channel < numChannels; ++channel)
                for (int other = 0; other < numChannels; ++other)
                {
                    if (other == channel)
                        continue;

                    if (other / 2 == channel / 2)
                        keepWorst (rows[sameSourceRow], EarlyMeasures::coincidentShare (peaks[(size_t) channel], peaks[(size_t) other], true));
                    else
                        keepWorst (rows[otherSourceRow], EarlyMeasures::coincidentShare (peaks[(size_t) channel], peaks[(size_t) other], false));
                }

            const auto differenceRow = addRow ("early (L-R) over (L+R) above 2 kHz (dB)", -15.0, unbounded, "two microphones apart");

            for (const auto& [left, right] : PackMeasures::getMirrorPairs (layout))
            {
                const auto start = juce::jmax (directs[(size_t) left], directs[(size_t) right]) + toSamples (0.001);
                const auto end = juce::jmin (directs[(size_t) left], directs[(size_t) right]) + toSamples (0.3 * mixing);
                keepWorst (rows[differenceRow], EarlyMeasures::differenceLevelDb (samplesOf (left), samplesOf (right), numSamples, rate,
                                                                                  2000.0, start, end));
            }

            const auto strongestRow = addRow ("two strongest first-order reflections over the diffuse sound (dB)", 6.0, unbounded,
                                              "image sources with scattering");
            const auto othersRow = addRow ("other first-order reflections over the diffuse sound (dB)", 0.0, unbounded,
                                           "image sources with scattering");

            for (int channel = 0; channel < numChannels; ++channel)
            {
                const auto levels = PackMeasures::firstOrderReflectionsOverDiffuseDb (room, paths[(size_t) channel], samplesOf (channel), numSamples);

                for (size_t i = 0; i < levels.size(); ++i)
                    keepWorst (rows[i < 2 ? strongestRow : othersRow], levels[i]);
            }
        }

        void addTailRows()
        {
            for (auto centre : { 250.0, 1000.0, 4000.0 })
            {
                const auto band = RoomMeasures::Band::octave (centre);
                const auto shortRoom = RoomDesign::interpolateBands (room.targetT30, centre) < 1.0;
                const auto row = addRow ("late envelope fluctuation " + band.getName() + " / Gaussian noise's, paths pooled",
                                         shortRoom ? 0.6 : 0.75, 1.33, "Polack 1993");

                // The tail's fluctuation is the room's, as its T30 is: the paths' deviations are
                // pooled, since a short tail gives each path so few frames that one path's
                // estimate scatters by a fifth.
                double variance = 0.0, referenceVariance = 0.0;

                for (int channel = 0; channel < response.getNumChannels(); ++channel)
                {
                    const auto* samples = samplesOf (channel);
                    const auto curve = RoomMeasures::bandDecayCurve (samples, numSamples, rate, band);
                    const auto t30 = DecayAnalysis::fitT30 (curve, rate);
                    const auto start = directs[(size_t) channel] + toSamples (mixing);
                    const auto end = juce::jmin (numSamples - toSamples (RoomSynthesiser::fadeOutSeconds), start + toSamples (t30 * 35.0 / 60.0));
                    variance += std::pow (TailMeasures::envelopeFluctuationDb (samples, numSamples, rate, band, start, end), 2.0);
                    referenceVariance += std::pow (TailMeasures::gaussianFluctuationDb (t30, rate, band, start, end), 2.0);
                }

                keepWorst (rows[row], std::sqrt (variance / referenceVariance));
            }

            const auto subsonicRow = addRow ("power per Hz 2-20 Hz over 30-300 Hz (dB)", -unbounded, 0.0, "measurement chain's roll-off");

            for (int channel = 0; channel < response.getNumChannels(); ++channel)
                keepWorst (rows[subsonicRow], TailMeasures::subsonicLevelDb (samplesOf (channel), numSamples, rate));
        }

        void addCoherenceRows()
        {
            const auto latestDirect = *std::max_element (directs.begin(), directs.end());
            const auto start = latestDirect + toSamples (mixing);

            for (auto centre : { 125.0, 250.0 })
            {
                const auto band = RoomMeasures::Band::octave (centre);
                const auto diffuse = centre >= room.getSchroederFrequency();
                const auto name = "late coherence " + band.getName() + " - sin(kd)/kd";
                const auto wholeRow = addRow (name + ", whole tail", diffuse ? -0.2 : -0.35, diffuse ? 0.2 : 0.35, "Cook et al. 1955");
                const auto halvesRow = addRow (name + ", each half", diffuse ? -0.25 : -0.35, diffuse ? 0.25 : 0.35, "Cook et al. 1955");

                // The microphone pairs: each source heard by the two microphones, whose spacing
                // the diffuse field's coherence sin(kd)/kd is judged by.
                for (int a = 0; a < response.getNumChannels(); a += 2)
                {
                    const auto b = a + 1;
                    const auto end = TailMeasures::findBandDecayEnd (samplesOf (a), samplesOf (b), numSamples, rate, band, start, 45.0);
                    const auto middle = (start + end) / 2;
                    const auto emission = directs[(size_t) a] / rate - paths[(size_t) a].directSeconds;
                    const auto expected = PackMeasures::expectedCoherence (room, layout, a, b, centre,
                                                                           start / rate - emission, end / rate - emission);
                    const auto coherences = TailMeasures::normalisedCoherences (samplesOf (a), samplesOf (b), numSamples, rate, band,
                                                                                { { start, end }, { start, middle }, { middle, end } });
                    keepWorst (rows[wholeRow], coherences[0] - expected);
                    keepWorst (rows[halvesRow], coherences[1] - expected);
                    keepWorst (rows[halvesRow], coherences[2] - expected);
                }
            }
        }

        void addModeRows()
        {
            if (! room.isModal())
                return;

            const auto row = addRow ("mode salience below " + juce::String (juce::roundToInt (PackMeasures::highestJudgedModeShare * room.getSchroederFrequency()))
                                         + " Hz (dB)", 1.5, unbounded, "Schroeder and Kuttruff 1962");

            for (int channel = 0; channel < response.getNumChannels(); ++channel)
            {
                const auto salience = PackMeasures::modeSalienceDb (room, paths[(size_t) channel], samplesOf (channel), numSamples);

                if (! std::isnan (salience))
                    keepWorst (rows[row], salience);
            }

            if (std::isnan (rows[row].value))
                rows.erase (rows.begin() + (std::ptrdiff_t) row);
        }

        void addLevelRows()
        {
            const auto echoCriterionRow = addRow ("echo criterion EK for music", -unbounded, 1.5, "Dietsch and Kraak 1986");
            const auto repetitionRow = addRow ("late repetition (autocorrelation above 1 kHz)", -unbounded, 0.2, "a diffuse tail");
            const auto peakRow = addRow ("peak (dBFS)", -unbounded, -0.5, "headroom");
            const auto startRow = addRow ("earliest arrival (ms)", 0.0, 1.0, "lead-in");
            int earliest = numSamples;
            float peak = 0.0f;

            for (int channel = 0; channel < response.getNumChannels(); ++channel)
            {
                const auto* samples = samplesOf (channel);
                const auto direct = directs[(size_t) channel];
                keepWorst (rows[echoCriterionRow], RoomMeasures::echoCriterionForMusic (samples, numSamples, rate, direct));
                keepWorst (rows[repetitionRow], RoomMeasures::lateRepetition (samples, numSamples, rate, direct + toSamples (mixing),
                                                                              repetitionLagSeconds));
                earliest = juce::jmin (earliest, RoomMeasures::findFirstArrival (samples, numSamples, 40.0));
                peak = juce::jmax (peak, response.getMagnitude (channel, 0, numSamples));
            }

            rows[peakRow].value = juce::Decibels::gainToDecibels ((double) peak, -300.0);
            rows[startRow].value = 1000.0 * earliest / rate;
        }

        const RoomDesign& room;
        RoomSynthesiser::Layout layout;
        const juce::AudioBuffer<float>& response;
        std::vector<RoomSynthesiser::Path> paths;
        double rate;
        int numSamples;
        double mixing;
        std::vector<int> directs;
        std::vector<PackMeasures::Row> rows;
    };
}

std::vector<PackMeasures::Row> PackMeasures::measure (const RoomDesign& room, RoomSynthesiser::Layout layout,
                                                      const juce::AudioBuffer<float>& response)
{
    return FileMeasurement (room, layout, response).measure();
}

double PackMeasures::t30Tolerance (double bandwidth, double t30) noexcept
{
    // The estimator's own scatter in a short decay of a narrow band (a small room's bass).
    return juce::jmax (0.05, 1.25 / std::sqrt (bandwidth * juce::jmax (t30, 1.0e-3)));
}

PackMeasures::Agreement PackMeasures::t30Agreement (const RoomDesign& room, const juce::AudioBuffer<float>& stereo,
                                                    const juce::AudioBuffer<float>& trueStereo)
{
    Agreement worst;

    for (int band = 0; band < RoomDesign::numBands; ++band)
    {
        const auto meanT30 = [&] (const juce::AudioBuffer<float>& response)
        {
            double sum = 0.0;

            for (int channel = 0; channel < response.getNumChannels(); ++channel)
                sum += DecayAnalysis::fitT30 (DecayAnalysis::octaveBandDecayCurve (response.getReadPointer (channel), response.getNumSamples(),
                                                                                   room.sampleRate, band), room.sampleRate);

            return sum / response.getNumChannels();
        };

        const auto centre = RoomDesign::bandCentres[(size_t) band];
        const Agreement agreement { centre, std::abs (meanT30 (trueStereo) / meanT30 (stereo) - 1.0),
                                    t30Tolerance (centre / std::sqrt (2.0), room.targetT30[(size_t) band]) };

        if (agreement.difference / agreement.tolerance > worst.difference / worst.tolerance)
            worst = agreement;
    }

    return worst;
}
