#pragma once

#include <array>
#include <cmath>

namespace aubrevane::dsp
{

inline constexpr int kNumBands = 12;

/** Band centres in Hz, 2/3 octave apart; the analysis bank, the correction and the display share them. */
inline constexpr std::array<double, kNumBands> kBandHertz = {100.0,  158.74,  251.98,  400.0,  634.96,  1007.94,
                                                             1600.0, 2539.84, 4031.75, 6400.0, 10159.4, 16127.0};

/** The mid bands 2 to 8 (252 Hz to 4 kHz) are the level reference of every balance. */
inline constexpr int kFirstMidBand = 2;
inline constexpr int kLastMidBand = 8;

/** Each band's level in dB minus the mean level of the active mid bands; inactive bands hold 0. */
using Balance = std::array<double, kNumBands>;

/** Turns 12 band powers into a balance; bands outside the mask read 0. Mask is any indexable set of 12 bools. */
template <typename Mask>
Balance balanceFromPowers(const std::array<double, kNumBands>& powers, const Mask& mask) noexcept
{
    Balance levels{};
    for (int k = 0; k < kNumBands; ++k)
        levels[k] = mask[k] ? 10.0 * std::log10(powers[k] + 1e-30) : 0.0;

    double sum = 0.0;
    int count = 0;
    for (int k = kFirstMidBand; k <= kLastMidBand; ++k)
    {
        if (mask[k])
        {
            sum += levels[k];
            ++count;
        }
    }
    const double mean = sum / (count > 0 ? count : 1);

    Balance balance{};
    for (int k = 0; k < kNumBands; ++k)
        balance[k] = mask[k] ? levels[k] - mean : 0.0;
    return balance;
}

} // namespace aubrevane::dsp
