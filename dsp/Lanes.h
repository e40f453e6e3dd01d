#pragma once

#include "dsp/Biquad.h"

#include <algorithm>

namespace aubrevane::dsp
{

// Two doubles side by side, for sections that run in parallel: the two channels of a front or correction
// section, two analysis bands, or the input and output loudness taps. Element-wise arithmetic, so each lane
// computes exactly what Biquad::process computes for it.
using Pair = double __attribute__((vector_size(2 * sizeof(double))));

/** The sample loop's working copy of two sections: coefficients and state words of both lanes, held in locals. */
struct PairSection
{
    Pair b0, b1, b2, a1, a2, z1, z2;

    void load(int lane, const Biquad& b, bool withState = true) noexcept
    {
        b0[lane] = b.b0;
        b1[lane] = b.b1;
        b2[lane] = b.b2;
        a1[lane] = b.a1;
        a2[lane] = b.a2;
        z1[lane] = withState ? b.z1 : 0.0;
        z2[lane] = withState ? b.z2 : 0.0;
    }

    void store(int lane, Biquad& b) const noexcept
    {
        b.z1 = z1[lane];
        b.z2 = z2[lane];
    }

    Pair run(Pair x) noexcept
    {
        const Pair y = b0 * x + z1;
        z1 = b1 * x - a1 * y + z2;
        z2 = b2 * x - a2 * y;
        return y;
    }
};

// Four doubles side by side: four analysis bands. On processors with AVX2 one instruction computes all four.
using Quad = double __attribute__((vector_size(4 * sizeof(double))));

/** Four analysis bands: stages A and B of a band share their coefficients, so they are held once. */
struct AnalysisQuad
{
    Quad b0, b1, b2, a1, a2;
    Quad az1, az2, bz1, bz2; // the state words of stage A and stage B
    Quad powers;             // the band powers, smoothed 15 ms
};

/**
 * The analysis bank over a run of mono samples: each band's two band-pass stages in transposed direct form II,
 * then its power smoothed by `c15`. A lane of an inactive band runs like the others; its caller never stores it.
 */
void analyseRun(AnalysisQuad* quads, int numQuads, const double* mono, int n, double c15) noexcept;

/**
 * Runs `n` samples through a cascade of sections as a wavefront: at step t section s takes sample t - s, so the
 * sections of one step do not wait for each other and the processor overlaps them. Every sample still passes the
 * sections in order with the plain cascade's arithmetic. `tap` receives the signal after the first `numTapped`
 * sections, `out` after all of them; `in` may be the same buffer as `out`. At most `MaxSections` sections.
 */
template <int MaxSections>
inline void runCascade(PairSection* sections, int numSections, int numTapped, const Pair* in, Pair* tap, Pair* out,
                       int n) noexcept
{
    if (numTapped == 0)
        std::copy_n(in, n, tap);
    if (numSections == 0)
    {
        std::copy_n(in, n, out);
        return;
    }
    // stage[s] holds what section s takes at this step; stage[numSections] what the last one gave.
    Pair stage[MaxSections + 1];
    for (int t = 0; t < n + numSections - 1; ++t)
    {
        if (t < n)
            stage[0] = in[t];
        const int first = std::max(0, t - n + 1), last = std::min(t, numSections - 1);
        for (int s = last; s >= first; --s) // from the back, so each stage is read before it is overwritten
            stage[s + 1] = sections[s].run(stage[s]);
        if (const int tapped = t - numTapped + 1; numTapped > 0 && tapped >= 0 && tapped < n)
            tap[tapped] = stage[numTapped];
        if (t >= numSections - 1)
            out[t - numSections + 1] = stage[numSections];
    }
}

} // namespace aubrevane::dsp
