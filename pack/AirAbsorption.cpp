#include "AirAbsorption.h"

#include <cmath>

double AirAbsorption::getDecibelsPerMetre (double frequency) noexcept
{
    // ISO 9613-1, equations (3) to (5) and annex B, at the reference pressure.
    constexpr double referenceTemperature = 293.15, triplePointTemperature = 273.16;
    const auto temperature = temperatureCelsius + 273.15;
    const auto relative = temperature / referenceTemperature;

    const auto saturationExponent = -6.8346 * std::pow (triplePointTemperature / temperature, 1.261) + 4.6151;
    const auto molarWater = relativeHumidityPercent * std::pow (10.0, saturationExponent);

    const auto oxygenRelaxation = 24.0 + 4.04e4 * molarWater * (0.02 + molarWater) / (0.391 + molarWater);
    const auto nitrogenRelaxation = std::pow (relative, -0.5)
                                  * (9.0 + 280.0 * molarWater * std::exp (-4.170 * (std::pow (relative, -1.0 / 3.0) - 1.0)));

    const auto f2 = frequency * frequency;
    const auto classical = 1.84e-11 * std::sqrt (relative);
    const auto oxygen = 0.01275 * std::exp (-2239.1 / temperature) / (oxygenRelaxation + f2 / oxygenRelaxation);
    const auto nitrogen = 0.1068 * std::exp (-3352.0 / temperature) / (nitrogenRelaxation + f2 / nitrogenRelaxation);

    return 8.686 * f2 * (classical + std::pow (relative, -2.5) * (oxygen + nitrogen));
}

double AirAbsorption::getEnergyAttenuation (double frequency) noexcept
{
    return getDecibelsPerMetre (frequency) / (10.0 * std::log10 (std::exp (1.0)));
}

double AirAbsorption::extrapolateDecayTime (double decayTimeAtReference, double referenceFrequency,
                                                double frequency, double speedOfSound) noexcept
{
    const auto extraAttenuation = getEnergyAttenuation (frequency) - getEnergyAttenuation (referenceFrequency);
    return 1.0 / (1.0 / decayTimeAtReference + 4.0 * extraAttenuation * speedOfSound / 55.3);
}
