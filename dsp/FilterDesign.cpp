#include "dsp/FilterDesign.h"

#include <algorithm>
#include <cmath>

namespace aubrevane::dsp
{

namespace
{

constexpr double kPi = 3.14159265358979323846;

} // namespace

BiquadCoefficients peakingFromAmplitude(double A, double cosW0, double alpha) noexcept
{
    const double d = 1.0 + alpha / A;
    BiquadCoefficients c;
    c.b0 = (1.0 + alpha * A) / d;
    c.b1 = -2.0 * cosW0 / d;
    c.b2 = (1.0 - alpha * A) / d;
    c.a1 = c.b1;
    c.a2 = (1.0 - alpha / A) / d;
    return c;
}

BiquadCoefficients peaking(double gainDecibels, double cosW0, double alpha) noexcept
{
    return peakingFromAmplitude(std::pow(10.0, gainDecibels / 40.0), cosW0, alpha);
}

BiquadCoefficients shelfFromAmplitude(bool high, double A, double cosW0, double alpha) noexcept
{
    // The high shelf is the low shelf with the sign of every cosine term turned over.
    const double s = high ? -1.0 : 1.0;
    const double r = 2.0 * std::sqrt(A) * alpha;
    const double a0 = (A + 1.0) + s * (A - 1.0) * cosW0 + r;
    BiquadCoefficients c;
    c.b0 = A * ((A + 1.0) - s * (A - 1.0) * cosW0 + r) / a0;
    c.b1 = 2.0 * s * A * ((A - 1.0) - s * (A + 1.0) * cosW0) / a0;
    c.b2 = A * ((A + 1.0) - s * (A - 1.0) * cosW0 - r) / a0;
    c.a1 = -2.0 * s * ((A - 1.0) + s * (A + 1.0) * cosW0) / a0;
    c.a2 = ((A + 1.0) + s * (A - 1.0) * cosW0 - r) / a0;
    return c;
}

BiquadCoefficients highPass(double hertz, double fs) noexcept
{
    const double w0 = 2.0 * kPi * hertz / fs, cosW0 = std::cos(w0);
    const double alpha = std::sin(w0) / 1.4142135623730951, d = 1.0 + alpha;
    BiquadCoefficients c;
    c.b0 = c.b2 = (1.0 + cosW0) / 2.0 / d;
    c.b1 = -(1.0 + cosW0) / d;
    c.a1 = -2.0 * cosW0 / d;
    c.a2 = (1.0 - alpha) / d;
    return c;
}

BiquadCoefficients lowPass(double hertz, double fs) noexcept
{
    const double w0 = 2.0 * kPi * hertz / fs, cosW0 = std::cos(w0);
    const double alpha = std::sin(w0) / 1.4142135623730951, d = 1.0 + alpha;
    BiquadCoefficients c;
    c.b0 = c.b2 = (1.0 - cosW0) / 2.0 / d;
    c.b1 = (1.0 - cosW0) / d;
    c.a1 = -2.0 * cosW0 / d;
    c.a2 = (1.0 - alpha) / d;
    return c;
}

BiquadCoefficients bandPass(double cosW0, double alpha) noexcept
{
    const double d = 1.0 + alpha;
    BiquadCoefficients c;
    c.b0 = alpha / d;
    c.b1 = 0.0;
    c.b2 = -alpha / d;
    c.a1 = -2.0 * cosW0 / d;
    c.a2 = (1.0 - alpha) / d;
    return c;
}

double powerResponse(const BiquadCoefficients& c, double w) noexcept
{
    const double cos1 = std::cos(w), sin1 = std::sin(w), cos2 = std::cos(2.0 * w), sin2 = std::sin(2.0 * w);
    const double numRe = c.b0 + c.b1 * cos1 + c.b2 * cos2, numIm = -(c.b1 * sin1 + c.b2 * sin2);
    const double denRe = 1.0 + c.a1 * cos1 + c.a2 * cos2, denIm = -(c.a1 * sin1 + c.a2 * sin2);
    return (numRe * numRe + numIm * numIm) / (denRe * denRe + denIm * denIm);
}

double decibelResponse(const BiquadCoefficients& c, double w) noexcept
{
    return 10.0 * std::log10(powerResponse(c, w));
}

BiquadCoefficients preEqSection(bool shelf, bool high, double hertz, double gainDecibels, double q, double fs) noexcept
{
    const double w0 = 2.0 * kPi * hertz / fs;
    const double cosW0 = std::cos(w0), alpha = std::sin(w0) / (2.0 * q);
    const double A = std::pow(10.0, gainDecibels / 40.0);
    return shelf ? shelfFromAmplitude(high, A, cosW0, alpha) : peakingFromAmplitude(A, cosW0, alpha);
}

double designHertz(double hertz, double fs) noexcept
{
    return hertz < 10.0 ? 10.0 : std::min(0.45 * fs, hertz);
}

} // namespace aubrevane::dsp
