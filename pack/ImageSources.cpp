#include "ImageSources.h"
#include "AirAbsorption.h"
#include "Fft.h"
#include "RoomModes.h"

#include <cmath>

namespace
{
    constexpr double pi = juce::MathConstants<double>::pi;

    // Kernels are shared by the arrivals that met the same surfaces over nearly the same
    // distance: half a metre more air changes 16 kHz by 0.1 dB.
    constexpr double distanceBucketMetres = 0.5;

    constexpr int spectrumSize = 2 * ImageSources::kernelLength;

    // How far the modes' range takes a reflection down: 60 dB, as deep as a kernel resolves.
    constexpr double smallestShare = 0.001;

}

double ImageSources::getHandOverWeight (double seconds, double start, double end) noexcept
{
    if (seconds <= start)  return 1.0;
    if (seconds >= end)    return 0.0;
    return std::cos (0.5 * pi * std::pow ((seconds - start) / (end - start), handOverShape));
}

int ImageSources::Arrival::getOrder() const noexcept
{
    int order = 0;

    for (auto count : hits)
        order += count;

    return order;
}

ImageSources::ImageSources (const RoomDesign& design)
    : room (design)
{
}

std::vector<ImageSources::Arrival> ImageSources::findArrivals (const RoomDesign::Position& source,
                                                                      const RoomDesign::Position& microphone,
                                                                      double endSeconds) const
{
    const auto maxDistance = endSeconds * room.speedOfSound;
    const auto orderLimit = [maxDistance] (double size) { return static_cast<int> (std::ceil (maxDistance / (2.0 * size))) + 1; };
    const int nxMax = orderLimit (room.width), nyMax = orderLimit (room.length), nzMax = orderLimit (room.height);
    std::vector<Arrival> arrivals;

    // Image (n, u) along an axis of size L sits at (1 - 2u) s + 2 n L and has met the wall at 0
    // |n - u| times and the wall at L |n| times.
    for (int nx = -nxMax; nx <= nxMax; ++nx)
     for (int ux = 0; ux <= 1; ++ux)
      for (int ny = -nyMax; ny <= nyMax; ++ny)
       for (int uy = 0; uy <= 1; ++uy)
        for (int nz = -nzMax; nz <= nzMax; ++nz)
         for (int uz = 0; uz <= 1; ++uz)
         {
             const RoomDesign::Position image { (1 - 2 * ux) * source.x + 2 * nx * room.width,
                                                    (1 - 2 * uy) * source.y + 2 * ny * room.length,
                                                    (1 - 2 * uz) * source.z + 2 * nz * room.height };
             const auto distance = image.distanceTo (microphone);

             if (distance >= maxDistance)
                 continue;

             Arrival arrival;
             arrival.distance = distance;
             arrival.seconds = distance / room.speedOfSound;
             arrival.hits = { std::abs (nx - ux), std::abs (nx), std::abs (ny - uy), std::abs (ny),
                              std::abs (nz - uz), std::abs (nz) };
             arrivals.push_back (arrival);
         }

    return arrivals;
}

double ImageSources::getFirstReflectionSeconds (const RoomDesign::Position& source, const RoomDesign::Position& microphone) const
{
    const RoomDesign::Position images[] { { -source.x, source.y, source.z }, { 2.0 * room.width - source.x, source.y, source.z },
                                          { source.x, -source.y, source.z }, { source.x, 2.0 * room.length - source.y, source.z },
                                          { source.x, source.y, -source.z }, { source.x, source.y, 2.0 * room.height - source.z } };
    auto nearest = images[0].distanceTo (microphone);

    for (const auto& image : images)
        nearest = juce::jmin (nearest, image.distanceTo (microphone));

    return nearest / room.speedOfSound;
}

RoomDesign::BandValues ImageSources::getReflectionFactors (const Arrival& arrival) const noexcept
{
    RoomDesign::BandValues factors {};
    factors.fill (1.0);

    for (size_t surface = 0; surface < arrival.hits.size(); ++surface)
        for (size_t band = 0; band < factors.size(); ++band)
            factors[band] *= std::pow ((1.0 - room.surfaces[surface].absorption[band]) * (1.0 - room.surfaces[surface].scattering[band]),
                                       arrival.hits[surface]);

    return factors;
}

std::vector<float> ImageSources::makeMinimumPhaseKernel (const Arrival& arrival) const
{
    // The minimum-phase filter of a magnitude response by the folded real cepstrum
    // (A. V. Oppenheim and R. W. Schafer, Discrete-Time Signal Processing, ch. 13).
    RoomDesign::BandValues levelsDb {};
    const auto factors = getReflectionFactors (arrival);

    for (size_t band = 0; band < levelsDb.size(); ++band)
        levelsDb[band] = 10.0 * std::log10 (factors[band]);

    const Fft fft (spectrumSize);
    std::vector<std::complex<double>> spectrum ((size_t) spectrumSize);

    // Below a small room's Schroeder frequency its modes hold the reflections' energy (RoomModes),
    // and the direct sound's as well: their sum is the room's whole Green's function, the direct
    // arrival included (Morse and Ingard, ch. 9), so an image-source direct sound there would
    // count it twice and give the low bands' first 10 dB a drop no room has.
    const RoomModes modes (room);

    for (int bin = 0; bin <= spectrumSize / 2; ++bin)
    {
        const auto frequency = juce::jmax (1.0, bin * room.sampleRate / spectrumSize);
        const auto levelDb = RoomDesign::interpolateBands (levelsDb, frequency)
                           - AirAbsorption::getDecibelsPerMetre (frequency) * arrival.distance
                           + 20.0 * std::log10 (juce::jmax (smallestShare, modes.getDiffuseShare (frequency)));
        const auto logMagnitude = levelDb / 20.0 * std::log (10.0);
        spectrum[(size_t) bin] = logMagnitude;

        if (bin > 0 && bin < spectrumSize / 2)
            spectrum[(size_t) (spectrumSize - bin)] = logMagnitude;
    }

    fft.inverse (spectrum);   // the real cepstrum

    for (int i = 1; i < spectrumSize / 2; ++i)
    {
        spectrum[(size_t) i] *= 2.0;
        spectrum[(size_t) (spectrumSize - i)] = 0.0;
    }

    fft.forward (spectrum);

    for (auto& value : spectrum)
        value = std::exp (value);

    fft.inverse (spectrum);

    // The response has died away long before the kernel ends: it is cut where what is left
    // lies 70 dB below it, with a short fade, so that each arrival costs only its real length.
    double total = 0.0, remaining = 0.0;

    for (int i = 0; i < kernelLength; ++i)
        total += std::norm (spectrum[(size_t) i]);

    auto length = kernelLength;

    while (length > minimumKernelLength && remaining + std::norm (spectrum[(size_t) length - 1]) < 1.0e-7 * total)
        remaining += std::norm (spectrum[(size_t) --length]);

    std::vector<float> kernel ((size_t) length);
    const auto fadeLength = length / 4;

    for (int i = 0; i < length; ++i)
    {
        const auto fade = i < length - fadeLength ? 1.0
                        : 0.5 + 0.5 * std::cos (pi * (i - (length - fadeLength)) / fadeLength);
        kernel[(size_t) i] = static_cast<float> (spectrum[(size_t) i].real() * fade);
    }

    return kernel;
}

const std::vector<float>& ImageSources::getKernel (const Arrival& arrival)
{
    const auto bucket = static_cast<int> (std::lround (arrival.distance / distanceBucketMetres));
    const auto key = std::make_pair (arrival.hits, bucket);
    auto found = kernels.find (key);

    if (found == kernels.end())
    {
        auto representative = arrival;
        representative.distance = bucket * distanceBucketMetres;
        found = kernels.emplace (key, makeMinimumPhaseKernel (representative)).first;
    }

    return found->second;
}

void ImageSources::addArrival (const std::vector<float>& kernel, double position, double gain,
                                   std::vector<float>& output) const
{
    // A Hann-windowed sinc interpolator places the arrival between samples.
    const auto whole = static_cast<int> (std::floor (position));
    const auto fraction = position - whole;
    std::array<double, 2 * fractionalDelayHalfLength> taps {};
    double tapSum = 0.0;

    for (int j = 0; j < 2 * fractionalDelayHalfLength; ++j)
    {
        const auto x = (j - fractionalDelayHalfLength + 1) - fraction;
        const auto sinc = std::abs (x) < 1.0e-12 ? 1.0 : std::sin (pi * x) / (pi * x);
        const auto window = 0.5 + 0.5 * std::cos (pi * x / fractionalDelayHalfLength);
        taps[(size_t) j] = sinc * window;
        tapSum += taps[(size_t) j];
    }

    const auto first = whole - fractionalDelayHalfLength + 1;
    const auto outputLength = static_cast<int> (output.size());

    for (int j = 0; j < 2 * fractionalDelayHalfLength; ++j)
    {
        const auto tapGain = gain * taps[(size_t) j] / tapSum;
        const auto start = first + j;

        for (int i = juce::jmax (0, -start); i < (int) kernel.size() && start + i < outputLength; ++i)
            output[(size_t) (start + i)] += static_cast<float> (tapGain * kernel[(size_t) i]);
    }
}

void ImageSources::render (const RoomDesign::Position& source, const RoomDesign::Position& microphone,
                               double offsetSeconds, double fadeStartSeconds, double fadeEndSeconds,
                               std::vector<float>& output)
{
    for (const auto& arrival : findArrivals (source, microphone, fadeEndSeconds))
    {
        const auto fade = arrival.getOrder() == 0 ? 1.0 : getHandOverWeight (arrival.seconds, fadeStartSeconds, fadeEndSeconds);

        if (fade > 0.0)
            addArrival (getKernel (arrival), (arrival.seconds - offsetSeconds) * room.sampleRate,
                        fade / arrival.distance, output);
    }
}
