#pragma once

#include "RoomDesign.h"

#include <cmath>
#include <vector>

/**
    The low-frequency part of a small room's responses: below the Schroeder frequency a room's
    modes stand apart, so the response there is their sum rather than a diffuse field.

    Each mode (p, q, r) of the rigid-walled shoebox rings at f = c/2 sqrt ((p/Lx)^2 + (q/Ly)^2
    + (r/Lz)^2) as an exponentially damped sinusoid, decaying at the room's decay time at its
    frequency, weighted by the mode shape at the source and at the microphone over its norm:
    the modal expansion of the room's Green's function (P. M. Morse and K. U. Ingard,
    Theoretical Acoustics, ch. 9; H. Kuttruff, Room Acoustics, ch. 3). Being the whole Green's
    function, their sum carries the direct sound below the hand-over too, where the image
    sources, direct sound included, leave off (ImageSources). On the scale where the
    direct sound is 1/r, its expected energy per hertz equals the diffuse field's, so the two
    hand over below the Schroeder frequency without a change of level.
*/
class RoomModes
{
public:
    explicit RoomModes (const RoomDesign& room);

    /** Whether the room is small enough for its modes to be heard apart. */
    bool isModal() const noexcept                    { return room.isModal(); }

    /** How much of the amplitude at a frequency the diffuse field keeps: 0 up to three
        quarters of an octave below the Schroeder frequency, 1 from a quarter of an octave below
        it on, power-complementary to the modes' share between. The hand-over ends below the
        Schroeder frequency because two sources' modes are coherent in the bass, where a diffuse
        field would make them unrelated; it is half an octave wide, so that the lowest modes
        stand clear of the diffuse field they would otherwise drown in.
    */
    double getDiffuseShare (double frequency) const noexcept;

    /** Adds the modes of the path to output, sample 0 being offsetSeconds after emission; they
        build up over a few milliseconds once the direct sound has arrived at directSeconds.
    */
    void render (const RoomDesign::Position& source, const RoomDesign::Position& microphone,
                 double offsetSeconds, double directSeconds, std::vector<float>& output) const;

    /** The modes rendered reach up to where the diffuse field has taken over (handOverStartOctaves
        and handOverOctaves: where the hand-over starts, relative to the Schroeder frequency, and its width).
    */
    double getHighestModeFrequency() const noexcept  { return room.getSchroederFrequency() * std::exp2 (handOverStartOctaves + handOverOctaves); }

    static constexpr double handOverStartOctaves = -0.75;
    static constexpr double handOverOctaves = 0.5;
    static constexpr double buildUpSeconds = 0.005;

private:
    RoomDesign room;
};
