#pragma once

#include "RoomDesign.h"

#include <array>
#include <map>
#include <utility>
#include <vector>

/**
    The direct sound and the early reflections of one path from a source to a microphone,
    from the image sources of the shoebox room (J. B. Allen and D. A. Berkley, "Image method
    for efficiently simulating small-room acoustics", J. Acoust. Soc. Am. 65, 1979).

    An image source stands for the specular path only: at each surface it met, the share the
    surface absorbs is lost and the share it scatters (its scattering coefficient, ISO 17497-1)
    leaves the specular direction and joins the diffuse field (DiffuseField), as in the hybrid
    models of room acoustics (M. Vorlaender, Auralization, 2008, ch. 11).

    Each arrival stays compact, as a real reflection is: what its surfaces let through
    (interpolated between the table's octave bands) and the air's absorption over its path
    (ISO 9613-1) make one smooth magnitude response, realised as a minimum-phase filter, so that
    no band lags behind the others; and it is placed between samples by a windowed-sinc
    fractional delay. The direct sound is made the same way, with air as its only filter. Below
    a small room's Schroeder frequency every arrival, the direct sound too, leaves to the room's
    modes the share they carry (RoomModes).
*/
class ImageSources
{
public:
    /** One arrival at the microphone. */
    struct Arrival
    {
        double seconds = 0.0;        // after emission
        double distance = 0.0;       // of the image source from the microphone, in metres
        std::array<int, RoomDesign::numSurfaces> hits {};   // how often it met each surface

        int getOrder() const noexcept;
    };

    explicit ImageSources (const RoomDesign& room);

    /** Every arrival up to endSeconds after emission, the direct sound included. */
    std::vector<Arrival> findArrivals (const RoomDesign::Position& source,
                                       const RoomDesign::Position& microphone, double endSeconds) const;

    /** When the path's first reflection arrives, after emission: the earliest of the six
        first-order image sources.
    */
    double getFirstReflectionSeconds (const RoomDesign::Position& source, const RoomDesign::Position& microphone) const;

    /** The share of the energy per band that the surfaces the arrival met reflect specularly,
        prod ((1 - alpha) (1 - s)), without air and distance.
    */
    RoomDesign::BandValues getReflectionFactors (const Arrival& arrival) const noexcept;

    /** Adds the arrivals of the path to output, sample 0 being offsetSeconds after emission.
        The reflections (not the direct sound) fade out between fadeStartSeconds and
        fadeEndSeconds after emission, where the diffuse part takes their energy over.
    */
    void render (const RoomDesign::Position& source, const RoomDesign::Position& microphone,
                 double offsetSeconds, double fadeStartSeconds, double fadeEndSeconds,
                 std::vector<float>& output);

    /** How much of its amplitude a reflection keeps at a time of the hand-over to the diffuse
        part: 1 until start, 0 from end, slow at first; the diffuse part takes the rest of the
        energy, sqrt (1 - weight^2).
    */
    static double getHandOverWeight (double seconds, double start, double end) noexcept;

    static constexpr double handOverShape = 1.5;
    static constexpr int kernelLength = 2048;
    static constexpr int fractionalDelayHalfLength = 8;
    static constexpr int minimumKernelLength = 64;

private:
    const std::vector<float>& getKernel (const Arrival& arrival);
    std::vector<float> makeMinimumPhaseKernel (const Arrival& arrival) const;
    void addArrival (const std::vector<float>& kernel, double position, double gain, std::vector<float>& output) const;

    RoomDesign room;
    std::map<std::pair<std::array<int, RoomDesign::numSurfaces>, int>, std::vector<float>> kernels;   // by hits and distance bucket
};
