#include "dsp/Lanes.h"

namespace aubrevane::dsp
{

// The analysis bank gets an AVX2 clone chosen at load time. ThreadSanitizer's runtime is not up yet when the clone
// resolver runs, so sanitizer builds keep the one portable version.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
#define AUBREVANE_ANALYSIS_CLONES
#else
#define AUBREVANE_ANALYSIS_CLONES __attribute__((target_clones("avx2", "default")))
#endif

AUBREVANE_ANALYSIS_CLONES void analyseRun(AnalysisQuad* quads, int numQuads, const double* mono, int n,
                                          double c15) noexcept
{
    for (int q = 0; q < numQuads; ++q)
    {
        AnalysisQuad band = quads[q];
        for (int i = 0; i < n; ++i)
        {
            const Quad x = {mono[i], mono[i], mono[i], mono[i]};
            const Quad a = band.b0 * x + band.az1;
            band.az1 = band.b1 * x - band.a1 * a + band.az2;
            band.az2 = band.b2 * x - band.a2 * a;
            const Quad v = band.b0 * a + band.bz1;
            band.bz1 = band.b1 * a - band.a1 * v + band.bz2;
            band.bz2 = band.b2 * a - band.a2 * v;
            band.powers += (v * v - band.powers) * c15;
        }
        quads[q] = band;
    }
}

} // namespace aubrevane::dsp
