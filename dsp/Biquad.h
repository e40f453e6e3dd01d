#pragma once

namespace aubrevane::dsp
{

/** The five coefficients of a second-order section, a0 normalised to 1. */
struct BiquadCoefficients
{
    double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
};

/** One second-order section in transposed direct form II; every filter of the engine is made of these. */
struct Biquad
{
    double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
    double z1 = 0.0, z2 = 0.0;

    double process(double x) noexcept
    {
        const double y = b0 * x + z1;
        z1 = b1 * x - a1 * y + z2;
        z2 = b2 * x - a2 * y;
        return y;
    }

    /** Takes new coefficients and keeps the state words, so a redesign does not interrupt the signal. */
    void setCoefficients(const BiquadCoefficients& c) noexcept
    {
        b0 = c.b0;
        b1 = c.b1;
        b2 = c.b2;
        a1 = c.a1;
        a2 = c.a2;
    }

    void clearState() noexcept { z1 = z2 = 0.0; }

    /** Passes the signal unchanged: b0 = 1, everything else 0, state cleared. */
    void makeIdentity() noexcept { *this = Biquad{}; }
};

} // namespace aubrevane::dsp
