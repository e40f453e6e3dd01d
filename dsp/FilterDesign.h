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

/** A pre-EQ node's section: a shelf (high when `high`) or a peaking section at `hertz`, `gainDecibels` and `q`. */
BiquadCoefficients preEqSection(bool shelf, bool high, double hertz, double gainDecibels, double q, double fs) noexcept;

/** The frequency a section of the channel path is designed at: at least 10 Hz, at most 0.45 of the rate. */
double designHertz(double hertz, double fs) noexcept;

// High-pass and low-pass share the cookbook form with Q = 1/sqrt 2.
BiquadCoefficients highPass(double hertz, double fs) noexcept;
BiquadCoefficients lowPass(double hertz, double fs) noexcept;

/** Constant 0 dB peak gain band-pass; Q = 2.1449 gives a bandwidth of 2/3 octave. */
BiquadCoefficients bandPass(double cosW0, double alpha) noexcept;

/** |H(e^jw)|^2 of one section at the angle `w` in radians per sample. */
double powerResponse(const BiquadCoefficients& c, double w) noexcept;

/** 10 log10 |H(e^jw)|^2 of one section: its gain in dB at the angle `w`. */
double decibelResponse(const BiquadCoefficients& c, double w) noexcept;

} // namespace aubrevane::dsp
