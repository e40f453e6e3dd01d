#include "framework/IPeakAvgSender.h"

#include "support/Signals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace
{

using Sender = iplug::IPeakAvgSender<1, 64>;
using Data = Sender::Data;

constexpr double kRate = 48000.0;

Sender makeMeterSender()
{
    // the plug-in's meters: -90 dB floor, RMS, 5 ms window, 1 ms attack, 100 ms decay, 500 ms hold
    return Sender(-90.0, true, 5.0f, 1.0f, 100.0f, 500.0f);
}

/** Feeds `samples` in blocks of 256 and returns every reading, taking them as the idle tick would. */
std::vector<Data> feed(Sender& sender, std::vector<double> samples)
{
    std::vector<Data> readings;
    Data data;
    for (std::size_t start = 0; start < samples.size(); start += 256)
    {
        double* channel = samples.data() + start;
        sender.ProcessBlock(&channel, static_cast<int>(std::min<std::size_t>(256, samples.size() - start)), 2);
        while (sender.PopData(data))
            readings.push_back(data);
    }
    return readings;
}

TEST(IPeakAvgSender, SineSettlesAtItsRmsAndPeak)
{
    Sender sender = makeMeterSender();
    sender.Reset(kRate);
    const auto readings = feed(sender, aubrevane::test::sine(1000.0, kRate, 48000, 0.5));
    ASSERT_EQ(readings.size(), 200u); // one reading per 5 ms window
    const Data& last = readings.back();
    EXPECT_EQ(last.ctrlTag, 2);
    EXPECT_NEAR(20.0 * std::log10(last.vals[0]), 20.0 * std::log10(0.5 / std::sqrt(2.0)), 0.1);
    EXPECT_NEAR(last.peaks[0], 0.5, 0.001);
}

TEST(IPeakAvgSender, PeakHoldsThenDecays)
{
    Sender sender = makeMeterSender();
    sender.Reset(kRate);
    std::vector<double> signal(static_cast<std::size_t>(2.0 * kRate), 0.0);
    for (int i = 0; i < 240; ++i) // one window of a full-scale burst, then silence
        signal[static_cast<std::size_t>(i)] = i % 2 == 0 ? 1.0 : -1.0;
    const auto readings = feed(sender, signal);
    EXPECT_FLOAT_EQ(readings[0].peaks[0], 1.0f);
    EXPECT_FLOAT_EQ(readings[90].peaks[0], 1.0f); // 450 ms later: still held
    EXPECT_LT(readings[140].peaks[0], 0.7f);      // 700 ms later: falling
    EXPECT_LT(readings[60].vals[0], 0.1f);        // the average had long decayed
    EXPECT_EQ(readings.back().vals[0], 0.0f);     // below -90 dB reads as silence
}

TEST(IPeakAvgSender, SilenceReadsZero)
{
    Sender sender = makeMeterSender();
    sender.Reset(44100.0);
    const auto readings = feed(sender, std::vector<double>(44100, 1e-6)); // -120 dB
    ASSERT_FALSE(readings.empty());
    EXPECT_EQ(readings.back().vals[0], 0.0f);
    EXPECT_EQ(readings.back().peaks[0], 0.0f);
}

TEST(IPeakAvgSender, NonFiniteSamplesDoNotStick)
{
    Sender sender = makeMeterSender();
    sender.Reset(kRate);
    std::vector<double> signal = aubrevane::test::sine(1000.0, kRate, 24000, 0.5);
    signal[10] = std::numeric_limits<double>::quiet_NaN();
    signal[20] = std::numeric_limits<double>::infinity();
    const auto readings = feed(sender, signal);
    for (const Data& data : readings)
    {
        ASSERT_TRUE(std::isfinite(data.vals[0]));
        ASSERT_TRUE(std::isfinite(data.peaks[0]));
    }
    EXPECT_NEAR(readings.back().peaks[0], 0.5, 0.001);
}

TEST(IPeakAvgSender, FullQueueDropsReadingsInsteadOfWaiting)
{
    Sender sender = makeMeterSender();
    sender.Reset(kRate);
    std::vector<double> signal = aubrevane::test::sine(1000.0, kRate, 48000, 0.5);
    double* channel = signal.data();
    sender.ProcessBlock(&channel, 48000, 3); // 200 windows with nobody taking readings

    struct Editor
    {
        int messages = 0;
        void SendControlMsgFromDelegate(int ctrlTag, int msgTag, int dataSize, const void* data)
        {
            ++messages;
            EXPECT_EQ(ctrlTag, 3);
            EXPECT_EQ(msgTag, iplug::kUpdateMessage);
            EXPECT_EQ(dataSize, static_cast<int>(sizeof(Data)));
            EXPECT_GT(static_cast<const Data*>(data)->peaks[0], 0.0f);
        }
    } editor;
    sender.TransmitData(editor);
    EXPECT_EQ(editor.messages, 64);
    sender.TransmitData(editor);
    EXPECT_EQ(editor.messages, 64);
}

TEST(IPeakAvgSender, ResetFollowsTheSampleRate)
{
    for (const double rate : {44100.0, 96000.0})
    {
        Sender sender = makeMeterSender();
        sender.Reset(rate);
        const auto readings = feed(sender, aubrevane::test::sine(1000.0, rate, static_cast<std::size_t>(rate), 0.5));
        EXPECT_NEAR(static_cast<double>(readings.size()), 200.0, 1.0) << rate; // windows stay 5 ms long
    }
}

} // namespace
