#pragma once

#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

// Test signals made by the tests themselves (seeded noise, sines) and a band-level measurement that does not use
// the engine: FFT line powers summed over each band's 2/3 octave.
namespace aubrevane::test
{

inline constexpr double kPi = 3.14159265358979323846;

/** In-place radix-2 FFT; the size must be a power of two. */
inline void fft(std::vector<std::complex<double>>& data, bool inverse = false)
{
    const std::size_t n = data.size();
    for (std::size_t i = 1, j = 0; i < n; ++i)
    {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(data[i], data[j]);
    }
    for (std::size_t length = 2; length <= n; length <<= 1)
    {
        const double angle = 2.0 * kPi / static_cast<double>(length) * (inverse ? 1.0 : -1.0);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (std::size_t start = 0; start < n; start += length)
        {
            std::complex<double> w(1.0, 0.0);
            for (std::size_t k = 0; k < length / 2; ++k)
            {
                const auto even = data[start + k], odd = data[start + k + length / 2] * w;
                data[start + k] = even + odd;
                data[start + k + length / 2] = even - odd;
                w *= step;
            }
        }
    }
}

/** Amplitude response in dB that shapes a noise spectrum, as a function of frequency in Hz. */
using Colour = std::function<double(double hertz)>;

inline double flatColour(double) { return 0.0; }

/** dB response of a peaking equaliser (cookbook form) at `hertz`: the "known EQ" that colours test noise. */
inline double peakDecibels(double hertz, double centreHertz, double gainDecibels, double q = 1.0)
{
    // Magnitude of the analogue prototype; at audio frequencies well below Nyquist it matches the digital form.
    const double a = std::pow(10.0, gainDecibels / 40.0);
    const double s = hertz / centreHertz;
    const double re = 1.0 - s * s;
    const double num = re * re + (s * a / q) * (s * a / q);
    const double den = re * re + (s / (a * q)) * (s / (a * q));
    return 10.0 * std::log10(num / den);
}

/**
 * One period (a power of two, `periodSamples`) of seeded Gaussian-like noise with the spectrum slope of pink
 * (exponent 1: equal power per octave) or white (exponent 0) noise times `colour`, normalised to `rmsDecibels`.
 * Made in the frequency domain, so the colour is exact and one period measures without leakage.
 */
inline std::vector<double> makeNoisePeriod(std::size_t periodSamples, double sampleRate, std::uint32_t seed,
                                           double exponent, const Colour& colour, double rmsDecibels = -20.0)
{
    std::mt19937 random(seed);
    std::vector<std::complex<double>> spectrum(periodSamples);
    for (std::size_t k = 1; k < periodSamples / 2; ++k)
    {
        const double hertz = static_cast<double>(k) * sampleRate / static_cast<double>(periodSamples);
        const double phase = 2.0 * kPi * (static_cast<double>(random()) / 4294967296.0);
        const double magnitude = std::pow(hertz, -exponent / 2.0) * std::pow(10.0, colour(hertz) / 20.0);
        spectrum[k] = std::polar(magnitude, phase);
        spectrum[periodSamples - k] = std::conj(spectrum[k]);
    }
    fft(spectrum, true);
    std::vector<double> samples(periodSamples);
    double power = 0.0;
    for (std::size_t i = 0; i < periodSamples; ++i)
    {
        samples[i] = spectrum[i].real();
        power += samples[i] * samples[i];
    }
    const double scale = std::pow(10.0, rmsDecibels / 20.0) / std::sqrt(power / static_cast<double>(periodSamples));
    for (double& sample : samples)
        sample *= scale;
    return samples;
}

/** `period` repeated until `numSamples` samples are filled. */
inline std::vector<double> tile(const std::vector<double>& period, std::size_t numSamples)
{
    std::vector<double> samples(numSamples);
    for (std::size_t i = 0; i < numSamples; ++i)
        samples[i] = period[i % period.size()];
    return samples;
}

inline std::vector<double> pinkNoise(std::size_t numSamples, double sampleRate, std::uint32_t seed,
                                     const Colour& colour = flatColour, double rmsDecibels = -20.0,
                                     std::size_t periodSamples = 1 << 16)
{
    return tile(makeNoisePeriod(periodSamples, sampleRate, seed, 1.0, colour, rmsDecibels), numSamples);
}

inline std::vector<double> whiteNoise(std::size_t numSamples, double sampleRate, std::uint32_t seed,
                                      const Colour& colour = flatColour, double rmsDecibels = -20.0,
                                      std::size_t periodSamples = 1 << 16)
{
    return tile(makeNoisePeriod(periodSamples, sampleRate, seed, 0.0, colour, rmsDecibels), numSamples);
}

/** Plain seeded uniform white noise in -amplitude..amplitude, made in the time domain. */
inline std::vector<double> uniformNoise(std::size_t numSamples, std::uint32_t seed, double amplitude = 0.5)
{
    std::mt19937 random(seed);
    std::vector<double> samples(numSamples);
    for (double& sample : samples)
        sample = amplitude * (2.0 * (static_cast<double>(random()) / 4294967296.0) - 1.0);
    return samples;
}

inline std::vector<double> sine(double hertz, double sampleRate, std::size_t numSamples, double amplitude = 0.5)
{
    std::vector<double> samples(numSamples);
    for (std::size_t i = 0; i < numSamples; ++i)
        samples[i] = amplitude * std::sin(2.0 * kPi * hertz * static_cast<double>(i) / sampleRate);
    return samples;
}

/** Mean square of a signal in dB. */
inline double levelDecibels(const double* samples, std::size_t numSamples)
{
    double power = 0.0;
    for (std::size_t i = 0; i < numSamples; ++i)
        power += samples[i] * samples[i];
    return 10.0 * std::log10(power / static_cast<double>(numSamples) + 1e-30);
}

inline constexpr std::array<double, 12> kMeasureBandHertz = {100.0,  158.74,  251.98,  400.0,   634.96,  1007.94,
                                                             1600.0, 2539.84, 4031.75, 6400.0, 10159.4, 16127.0};

/**
 * Band levels in dB of `numSamples` samples from `samples`, measured as FFT line powers summed over each band's
 * 2/3 octave (edges at the centre times 2^(+-1/3)), averaged over consecutive windows of `windowSamples` (a power of
 * two; pass the noise period for leakage-free periodic noise). Bands whose upper edge reaches Nyquist read -300.
 */
inline std::array<double, 12> measureBandLevels(const double* samples, std::size_t numSamples, double sampleRate,
                                                std::size_t windowSamples = 1 << 16)
{
    std::array<double, 12> powers{};
    std::size_t windows = 0;
    std::vector<std::complex<double>> spectrum(windowSamples);
    for (std::size_t start = 0; start + windowSamples <= numSamples; start += windowSamples, ++windows)
    {
        for (std::size_t i = 0; i < windowSamples; ++i)
            spectrum[i] = samples[start + i];
        fft(spectrum);
        for (std::size_t band = 0; band < 12; ++band)
        {
            const double low = kMeasureBandHertz[band] * std::pow(2.0, -1.0 / 3.0);
            const double high = kMeasureBandHertz[band] * std::pow(2.0, 1.0 / 3.0);
            for (std::size_t k = 1; k < windowSamples / 2; ++k)
            {
                const double hertz = static_cast<double>(k) * sampleRate / static_cast<double>(windowSamples);
                if (hertz >= low && hertz < high)
                    powers[band] += std::norm(spectrum[k]);
            }
        }
    }
    std::array<double, 12> levels{};
    for (std::size_t band = 0; band < 12; ++band)
    {
        const bool measurable = kMeasureBandHertz[band] * std::pow(2.0, 1.0 / 3.0) < sampleRate / 2.0;
        levels[band] = measurable && windows > 0 ? 10.0 * std::log10(powers[band] / static_cast<double>(windows) + 1e-30)
                                                 : -300.0;
    }
    return levels;
}

/** Band levels relative to the mean of bands 2 to 8 that lie below 0.45 times the rate; other bands read 0. */
inline std::array<double, 12> measureBalance(const double* samples, std::size_t numSamples, double sampleRate,
                                             std::size_t windowSamples = 1 << 16)
{
    const auto levels = measureBandLevels(samples, numSamples, sampleRate, windowSamples);
    double sum = 0.0;
    int count = 0;
    for (std::size_t band = 2; band <= 8; ++band)
    {
        if (kMeasureBandHertz[band] < 0.45 * sampleRate)
        {
            sum += levels[band];
            ++count;
        }
    }
    std::array<double, 12> balance{};
    for (std::size_t band = 0; band < 12; ++band)
        balance[band] = kMeasureBandHertz[band] < 0.45 * sampleRate ? levels[band] - sum / count : 0.0;
    return balance;
}

} // namespace aubrevane::test
