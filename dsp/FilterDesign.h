#pragma once

#include "dsp/Biquad.h"

namespace aubrevane::dsp
{

/** Peaking section from its linear amplitude A = 10^(G / 40), an angle's cosine and an alpha. */
BiquadCoefficients peakingFromAmplitude(double A, double cosW0, double alpha) noexcept;

/** Peaking section for a gain in dB, an angle's cosine and an alpha. */
BiquadCoefficients peaking(double gainDecibels, double cosW0, double alpha) noexcept;

/** Cookbook low shelf, or high shelf when `high`, from its linear amplitude A, an angle's cosine and an alpha; the
 *  shelf term is 2 sqrt(A) alpha. */
BiquadCoefficients shelfFromAmplitude(bool high, double A, double cosW0, double alpha) noexcept;

// High-pass and low-pass share the cookbook form with Q = 1/sqrt 2.
BiquadCoefficients highPass(double hertz, double fs) noexcept;
BiquadCoefficients lowPass(double hertz, double fs) noexcept;

/** Constant 0 dB peak gain band-pass; Q = 2.1449 gives a bandwidth of 2/3 octave. */
BiquadCoefficients bandPass(double cosW0, double alpha) noexcept;

/** |H(e^jw)|^2 of one section at the angle `w` in radians per sample. */
double powerResponse(const BiquadCoefficients& c, double w) noexcept;

} // namespace aubrevane::dsp
