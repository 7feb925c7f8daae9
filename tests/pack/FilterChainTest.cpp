#include <pack/FilterChain.h>

#include <gtest/gtest.h>

#include <cmath>

namespace
{
    constexpr double sampleRate = 44100.0;
}

TEST (FilterChain, EdgesSitWhereTheirDesignsPutThem)
{
    for (auto frequency : { 88.0, 707.0, 5657.0 })
    {
        FilterChain linkwitzRiley, butterworth;
        linkwitzRiley.addLinkwitzRileyLowPass (sampleRate, frequency);
        butterworth.addButterworth4HighPass (sampleRate, frequency);

        EXPECT_NEAR (linkwitzRiley.getMagnitude (sampleRate, frequency), 0.5, 1.0e-9) << frequency;       // -6 dB
        EXPECT_NEAR (butterworth.getMagnitude (sampleRate, frequency), std::sqrt (0.5), 1.0e-9) << frequency; // -3 dB
        EXPECT_LT (linkwitzRiley.getMagnitude (sampleRate, 4.0 * frequency), 0.01) << frequency;
        EXPECT_LT (butterworth.getMagnitude (sampleRate, 0.25 * frequency), 0.01) << frequency;
    }
}

TEST (FilterChain, LinkwitzRileyHalvesAddUpToItsAllPass)
{
    // The room's bands rely on it: a split at 1 kHz, summed, changes no level anywhere.
    FilterChain low, high, allPass;
    low.addLinkwitzRileyLowPass (sampleRate, 1000.0);
    high.addLinkwitzRileyHighPass (sampleRate, 1000.0);
    allPass.addLinkwitzRileyAllPass (sampleRate, 1000.0);

    std::vector<float> lowPart (4096, 0.0f), highPart (4096, 0.0f), reference (4096, 0.0f);
    lowPart[0] = highPart[0] = reference[0] = 1.0f;
    low.process (lowPart.data(), 4096);
    high.process (highPart.data(), 4096);
    allPass.process (reference.data(), 4096);

    for (size_t i = 0; i < reference.size(); ++i)
        ASSERT_NEAR (lowPart[i] + highPart[i], reference[i], 1.0e-6f) << "sample " << i;

    for (auto frequency : { 50.0, 500.0, 1000.0, 2000.0, 15000.0 })
        EXPECT_NEAR (allPass.getMagnitude (sampleRate, frequency), 1.0, 1.0e-9) << frequency;
}

TEST (FilterChain, RunsLikeItsSectionsOneAfterAnother)
{
    // An odd number of sections: pairs in one pass, the last one alone.
    FilterChain chain;
    chain.addButterworth4HighPass (sampleRate, 100.0);
    chain.addButterworth4LowPass (sampleRate, 300.0);
    chain.addLinkwitzRileyAllPass (sampleRate, 1000.0);

    auto sections = { Biquad::highPass (sampleRate, 100.0, FilterChain::butterworth4Q1),
                      Biquad::highPass (sampleRate, 100.0, FilterChain::butterworth4Q2),
                      Biquad::lowPass (sampleRate, 300.0, FilterChain::butterworth4Q1),
                      Biquad::lowPass (sampleRate, 300.0, FilterChain::butterworth4Q2),
                      Biquad::allPass (sampleRate, 1000.0, FilterChain::butterworth2Q) };

    std::vector<float> input (20000);

    for (size_t i = 0; i < input.size(); ++i)
        input[i] = (float) std::sin (0.01 * (double) i * (double) i / 2000.0);

    auto chained = input, oneByOne = input;

    // In two calls, to show the state carries over between blocks.
    chain.process (chained.data(), 7000);
    chain.process (chained.data() + 7000, 13000);

    for (auto section : sections)
        section.process (oneByOne.data(), (int) oneByOne.size());

    for (size_t i = 0; i < input.size(); ++i)
        ASSERT_NEAR (chained[i], oneByOne[i], 1.0e-5f) << "sample " << i;
}
