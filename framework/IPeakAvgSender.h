#pragma once

#include "framework/LockFreeQueue.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace iplug
{

/** The message tag of meter readings sent to a control (`IControl::OnMsgFromDelegate`). */
inline constexpr int kUpdateMessage = 0;

/**
 * One meter reading as a control receives it: per channel the averaged level and the held peak, both linear
 * amplitudes (1.0 = full scale, 0 below the sender's lowest level).
 */
template <int MAXNC> struct PeakAvgData
{
    int ctrlTag = -1;
    int nChans = MAXNC;
    int chanOffset = 0;
    std::array<float, MAXNC> vals{};
    std::array<float, MAXNC> peaks{};
};

/**
 * Turns audio blocks into meter readings: every window it takes each channel's RMS (or peak) and window peak, moves
 * an average toward the level with the attack or decay time, holds the peak for the hold time before it decays,
 * and queues one reading. The audio thread feeds it; the main thread passes the queued readings to the editor.
 * A reading that finds the queue full is dropped, so the audio thread never waits.
 */
template <int MAXNC = 1, int QUEUE_SIZE = 64> class IPeakAvgSender
{
public:
    using Data = PeakAvgData<MAXNC>;

    explicit IPeakAvgSender(double minThresholdDb = -90.0, bool rmsMode = true, float windowSizeMs = 5.0f,
                            float attackTimeMs = 1.0f, float decayTimeMs = 100.0f, float peakHoldTimeMs = 500.0f)
        : minThreshold(std::pow(10.0, minThresholdDb / 20.0)), rmsMode(rmsMode), windowMs(windowSizeMs),
          attackMs(attackTimeMs), decayMs(decayTimeMs), holdMs(peakHoldTimeMs)
    {
        Reset(48000.0);
    }

    /** Sizes the window, attack, decay and hold for `sampleRate` and clears the running levels. Audio thread,
     *  between blocks; readings already queued stay queued. */
    void Reset(double sampleRate) noexcept
    {
        const double rate = std::isfinite(sampleRate) && sampleRate > 0.0 ? sampleRate : 48000.0;
        windowSamples = std::max(1, static_cast<int>(std::lround(windowMs * 0.001 * rate)));
        // the levels move once per window, so the time constants are counted in windows
        const double windowsPerMs = rate * 0.001 / windowSamples;
        attackCoef = std::exp(-1.0 / std::max(1e-9, attackMs * windowsPerMs));
        decayCoef = std::exp(-1.0 / std::max(1e-9, decayMs * windowsPerMs));
        holdWindows = static_cast<int>(std::lround(holdMs * windowsPerMs));
        count = 0;
        for (Channel& c : channels)
            c = Channel{};
    }

    /** Audio thread. Channels chanOffset .. chanOffset + nChans - 1 of `inputs` feed meter channels 0.. . */
    void ProcessBlock(double** inputs, int nFrames, int ctrlTag = -1, int nChans = MAXNC, int chanOffset = 0) noexcept
    {
        if (inputs == nullptr || nFrames <= 0)
            return;
        const int nc = std::clamp(nChans, 0, MAXNC);
        for (int i = 0; i < nFrames; ++i)
        {
            for (int c = 0; c < nc; ++c)
            {
                const double* in = inputs[chanOffset + c];
                const double x = in != nullptr && std::isfinite(in[i]) ? std::fabs(in[i]) : 0.0;
                channels[c].windowPeak = std::max(channels[c].windowPeak, x);
                channels[c].windowSumSquares += x * x;
            }
            if (++count == windowSamples)
                finishWindow(ctrlTag, nc, chanOffset);
        }
    }

    /** Main thread: hands every queued reading to `delegate` as a control message. */
    template <typename Delegate> void TransmitData(Delegate& delegate)
    {
        Data data;
        while (queue.Pop(data))
            delegate.SendControlMsgFromDelegate(data.ctrlTag, kUpdateMessage, static_cast<int>(sizeof(Data)), &data);
    }

    /** Main thread: takes one queued reading. */
    bool PopData(Data& data) noexcept { return queue.Pop(data); }

private:
    struct Channel
    {
        double windowPeak = 0.0;
        double windowSumSquares = 0.0;
        double average = 0.0;
        double peak = 0.0;
        int holdLeft = 0;
    };

    void finishWindow(int ctrlTag, int nc, int chanOffset) noexcept
    {
        Data data;
        data.ctrlTag = ctrlTag;
        data.nChans = nc;
        data.chanOffset = chanOffset;
        for (int c = 0; c < nc; ++c)
        {
            Channel& ch = channels[c];
            const double level = rmsMode ? std::sqrt(ch.windowSumSquares / count) : ch.windowPeak;
            const double coef = level > ch.average ? attackCoef : decayCoef;
            ch.average = level + coef * (ch.average - level);
            if (ch.windowPeak >= ch.peak)
            {
                ch.peak = ch.windowPeak;
                ch.holdLeft = holdWindows;
            }
            else if (ch.holdLeft > 0)
                --ch.holdLeft;
            else
                ch.peak = ch.windowPeak + decayCoef * (ch.peak - ch.windowPeak);
            data.vals[c] = ch.average >= minThreshold ? static_cast<float>(ch.average) : 0.0f;
            data.peaks[c] = ch.peak >= minThreshold ? static_cast<float>(ch.peak) : 0.0f;
            ch.windowPeak = 0.0;
            ch.windowSumSquares = 0.0;
        }
        count = 0;
        queue.Push(data);
    }

    const double minThreshold; // linear
    const bool rmsMode;
    const float windowMs, attackMs, decayMs, holdMs;
    int windowSamples = 1;
    int holdWindows = 0;
    double attackCoef = 0.0, decayCoef = 0.0;
    int count = 0;
    std::array<Channel, MAXNC> channels{};
    LockFreeQueue<Data, QUEUE_SIZE> queue;
};

} // namespace iplug
