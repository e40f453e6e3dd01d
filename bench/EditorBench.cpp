// Frame times of the editor's drawing at draw scales 1 and 2 (720 x 532 and 1440 x 1064 pixels): the whole editor
// of a plug-in instance, the knobs-and-meters part alone, and a frame that only paints the background.
#include "editor/BandStripControl.h"
#include "editor/CornerScaleControl.h"
#include "editor/LevelMeterControl.h"
#include "editor/PillToggleControl.h"
#include "editor/RingKnobControl.h"
#include "editor/ThresholdHandle.h"
#include "editor/ValueCaptionControl.h"
#include "framework/IGEditorDelegate.h"
#include "framework/IParam.h"
#include "framework/igraphics/IGraphics.h"
#include "framework/igraphics/IPanelControl.h"
#include "plugin/Aubrevane.h"
#include "tests/support/PrivateDataFolder.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

using namespace iplug::igraphics;

namespace
{
const IColor kAccent{255, 21, 232, 121};
const IColor kBright{255, 250, 250, 250};

/** A delegate with the parameters the controls bind to, at the plug-in's ranges. */
struct BenchDelegate : IGEditorDelegate
{
    BenchDelegate() : IGEditorDelegate(24)
    {
        for (int i : {0, 1, 3, 4})
            GetParam(i)->InitDouble("Knob", 50, 0, 100, 1, "%");
        GetParam(2)->InitDouble("Analysis Threshold", -40, -70, -10, 0.5, "dB");
        GetParam(17)->InitFrequency("HP Freq", 80, 20, 1000, 0.1);
        GetParam(18)->InitBool("HP On", true);
        GetParam(19)->InitFrequency("LP Freq", 12000, 1000, 20000, 0.1);
        GetParam(20)->InitBool("LP On", true);
        GetParam(21)->InitDouble("Output", 0, -24, 24, 0.1, "dB");
        GetParam(22)->InitBool("Bypass", false);
        GetParam(23)->InitDouble("Tilt", 0, -6, 6, 0.1, "dB");
    }
};

void attachControls(IGraphics& g)
{
    g.LoadFont("Roboto-Regular", "Roboto-Regular.ttf");
    const IText pill(11.5f, kBright, "Roboto-Regular");
    const IText value(11.5f, IColor(107, 250, 250, 250), "Roboto-Regular");
    const IVStyle knobStyle = DEFAULT_STYLE.WithShowLabel(false)
                                  .WithShowValue(false)
                                  .WithDrawFrame(false)
                                  .WithDrawShadows(false)
                                  .WithColor(kBG, COLOR_TRANSPARENT)
                                  .WithColor(kFG, IColor(255, 30, 30, 30))
                                  .WithColor(kX1, kAccent);
    const IVStyle meterStyle = knobStyle.WithColor(kFG, kAccent).WithColor(kHL, IColor(18, 250, 250, 250));
    g.AttachPanelBackground(IPattern(IColor(255, 10, 10, 10)));
    g.AttachControl(new IPanelControl({14, 96, 706, 456}, IPattern(IColor(255, 20, 20, 20))));
    g.AttachControl(new PillToggleControl({592, 49, 696, 79}, 22, "ACTIVE", "BYPASSED", pill, 1, kAccent, true));
    for (int side : {LevelMeterControl::kScaleLeft, LevelMeterControl::kScaleRight})
    {
        const IRECT bounds =
            side == LevelMeterControl::kScaleLeft ? IRECT(18, 328, 92, 436) : IRECT(640, 328, 704, 436);
        g.AttachControl(new LevelMeterControl(bounds, meterStyle, IColor(209, 250, 250, 250), IColor(255, 235, 64, 52),
                                              IColor(18, 250, 250, 250), IColor(33, 250, 250, 250), 16, 14, pill,
                                              IText(8.5f, IColor(77, 250, 250, 250), "Roboto-Regular"), side),
                        side + 1);
    }
    g.AttachControl(new ThresholdHandle({18, 328, 92, 436}, 2, {58, 344, 72, 436}, -54, 6, pill.WithFGColor(kAccent),
                                        kAccent, IColor(255, 20, 20, 20)));
    const struct
    {
        int param;
        float cx, cy, size;
        bool centred;
    } knobs[] = {{0, 172, 334, 76, false}, {23, 272, 342, 56, true}, {1, 360, 342, 56, false},
                 {3, 448, 342, 56, false}, {4, 536, 342, 56, false}, {21, 618, 342, 56, true}};
    for (const auto& k : knobs)
    {
        const float half = 0.5f * k.size, cy = k.cy + 32;
        g.AttachControl(new RingKnobControl({k.cx - half, cy - half, k.cx + half, cy + half}, k.param,
                                            IColor(41, 250, 250, 250), "", knobStyle, false, false, -135, 135,
                                            k.centred ? 0.0f : -135.0f));
        g.AttachControl(new aubrevane::plugin::ValueCaptionControl({k.cx - 55, 423, k.cx + 55, 437}, k.param, value));
    }
    g.AttachControl(new PillToggleControl({28, 468, 90, 494}, 18, "HP", "HP", pill, 1, kAccent, false));
    g.AttachControl(new PillToggleControl({630, 468, 692, 494}, 20, "LP", "LP", pill, 1, kAccent, false));
    g.AttachControl(new BandStripControl({112, 471, 608, 491}, 17, 19, 18, 20, 1, kAccent));
    g.AttachControl(new aubrevane::plugin::ValueCaptionControl({14, 498, 104, 512}, 17, value));
    g.AttachControl(new aubrevane::plugin::ValueCaptionControl({616, 498, 706, 512}, 19, value));
    g.AttachControl(new CornerScaleControl({706, 518, 718, 530}, 720, 0.75f, 2.0f, IColor(36, 250, 250, 250),
                                           IColor(90, 250, 250, 250)));

    // Meters with something to show: a peak of -6 dB over an average of -18 dB.
    iplug::PeakAvgData<1> reading;
    reading.peaks[0] = std::pow(10.0f, -6.0f / 20.0f);
    reading.vals[0] = std::pow(10.0f, -18.0f / 20.0f);
    for (int tag : {2, 3})
        g.SendControlMsgFromDelegate(tag, iplug::kUpdateMessage, sizeof reading, &reading);
}

void editorFrame(benchmark::State& state)
{
    BenchDelegate delegate;
    const auto scale = static_cast<float>(state.range(0));
    IGraphics graphics(delegate, 720, 532, 60, scale);
    attachControls(graphics);
    for (auto _ : state)
        benchmark::DoNotOptimize(graphics.DrawFrame(true));
    state.SetItemsProcessed(state.iterations());
}

/** Baseline: the same image size with only the background painted. */
void backgroundOnlyFrame(benchmark::State& state)
{
    BenchDelegate delegate;
    IGraphics graphics(delegate, 720, 532, 60, static_cast<float>(state.range(0)));
    graphics.AttachPanelBackground(IPattern(IColor(255, 10, 10, 10)));
    for (auto _ : state)
        benchmark::DoNotOptimize(graphics.DrawFrame(true));
    state.SetItemsProcessed(state.iterations());
}
/** A second of noise through the plug-in, so the meters, the tone display and its curves have something to draw. */
void playNoise(Aubrevane& plugin)
{
    constexpr int kFrames = 256;
    std::vector<double> left(kFrames), right(kFrames), outLeft(kFrames), outRight(kFrames);
    double* inputs[] = {left.data(), right.data()};
    double* outputs[] = {outLeft.data(), outRight.data()};
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 0.1);
    for (int block = 0; block < 48000 / kFrames; ++block)
    {
        for (int i = 0; i < kFrames; ++i)
            left[i] = right[i] = noise(random);
        plugin.ProcessBlock(inputs, outputs, kFrames);
    }
    plugin.OnIdle();
}

/** One whole frame of the real editor: every control the layout makes, opened on a playing instance. */
void wholeEditorFrame(benchmark::State& state)
{
    aubrevane::test::usePrivateDataFolder();
    Aubrevane plugin(iplug::InstanceInfo{"Aubrevane_View"});
    plugin.SetSampleRate(48000.0);
    plugin.SetBlockSize(256);
    plugin.SetChannelConnections(iplug::kInput, 2);
    plugin.SetChannelConnections(iplug::kOutput, 2);
    plugin.OnReset();
    plugin.OpenWindow(nullptr);
    IGraphics* graphics = plugin.GetUI();
    if (graphics == nullptr)
    {
        state.SkipWithError("the editor did not open");
        return;
    }
    plugin.applyEditorScale(static_cast<float>(state.range(0)));
    playNoise(plugin);
    for (auto _ : state)
        benchmark::DoNotOptimize(graphics->DrawFrame(true));
    state.SetItemsProcessed(state.iterations());
    state.counters["pixels"] = graphics->Width() * graphics->GetDrawScale() * graphics->Height() * graphics->GetDrawScale();
    plugin.CloseWindow();
}
} // namespace

BENCHMARK(wholeEditorFrame)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK(editorFrame)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK(backgroundOnlyFrame)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
