#pragma once

/**
    How air absorbs sound, after ISO 9613-1 (atmospheric absorption of pure tones: the
    relaxation of oxygen and nitrogen plus the classical and rotational losses), at the
    indoor climate the pack's rooms are made for: 20 degrees C, 50 % relative humidity,
    standard pressure.

    Above about 4 kHz air takes over from the surfaces in shortening a large room's decay;
    Sabine's formula with the air term, T = 55.3 V / (c (A + 4 m V)), gives how much.
*/
class AirAbsorption
{
public:
    static constexpr double temperatureCelsius = 20.0;
    static constexpr double relativeHumidityPercent = 50.0;

    /** The attenuation coefficient in dB per metre at a frequency. */
    static double getDecibelsPerMetre (double frequency) noexcept;

    /** The energy attenuation coefficient m: the intensity falls as exp (-m x) over x metres. */
    static double getEnergyAttenuation (double frequency) noexcept;

    /** The decay time at a frequency of a room whose surfaces absorb there as at the
        reference frequency, from the decay time at the reference.
    */
    static double extrapolateDecayTime (double decayTimeAtReference, double referenceFrequency,
                                        double frequency, double speedOfSound) noexcept;
};
