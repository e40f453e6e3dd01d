#include "PluginProbe.h"

#include "framework/AUTypes.h"
#include "framework/IPlugAU.h"
#include "framework/igraphics/IGraphics.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <utility>

extern "C" iplug::AudioComponentPlugInInterface* Aubrevane_Factory(const iplug::AudioComponentDescription*);
extern "C" iplug::OSStatus Aubrevane_Entry(iplug::ComponentParameters*, void*);

using aubrevane::dsp::ToneSettings;
using aubrevane::plugin::TargetValues;
using aubrevane::test::preparedPlugin;

namespace
{

struct FactoryInstance
{
    iplug::AudioComponentPlugInInterface* record = nullptr;

    FactoryInstance()
    {
        const iplug::AudioComponentDescription description;
        record = Aubrevane_Factory(&description);
    }
    ~FactoryInstance()
    {
        if (record)
            record->Close(record);
    }
    Aubrevane* plugin() const
    {
        auto* head = reinterpret_cast<iplug::AUInstanceRecord*>(record);
        return static_cast<Aubrevane*>(head->plug);
    }
};

using Shape = iplug::IParam::Shape::Kind;

struct ParamRow
{
    int index;
    const char* name;
    Shape shape;
    bool isSwitch;
    double defaultValue;
    double minimum;
    double maximum;
    double step;
    const char* label;
    const char* defaultText;
};

// The whole table, one row per host parameter in index order.
constexpr ParamRow kRows[] = {
    {0, "Amount", Shape::Linear, false, 50, 0, 100, 1, "%", "50"},
    {1, "Speed", Shape::Linear, false, 50, 0, 100, 1, "%", "50"},
    {2, "Analysis Threshold", Shape::Linear, false, -40, -70, -10, 0.5, "dB", "-40.0"},
    {3, "Max Boost", Shape::Linear, false, 6, 0, 12, 0.5, "dB", "6.0"},
    {4, "Max Cut", Shape::Linear, false, 9, 0, 18, 0.5, "dB", "9.0"},
    {5, "Low Target", Shape::Linear, false, 0, -18, 18, 0.5, "dB", "0.0"},
    {6, "Low Freq", Shape::Exp, false, 120, 60, 300, 0.1, "Hz", "120.0"},
    {7, "Low On", Shape::Linear, true, 1, 0, 1, 1, "", "on"},
    {8, "Body Target", Shape::Linear, false, 0, -18, 18, 0.5, "dB", "0.0"},
    {9, "Body Freq", Shape::Exp, false, 300, 150, 800, 0.1, "Hz", "300.0"},
    {10, "Body On", Shape::Linear, true, 1, 0, 1, 1, "", "on"},
    {11, "Presence Target", Shape::Linear, false, 0, -18, 18, 0.5, "dB", "0.0"},
    {12, "Presence Freq", Shape::Exp, false, 3000, 1000, 6000, 0.1, "Hz", "3000.0"},
    {13, "Presence On", Shape::Linear, true, 1, 0, 1, 1, "", "on"},
    {14, "Air Target", Shape::Linear, false, 0, -18, 18, 0.5, "dB", "0.0"},
    {15, "Air Freq", Shape::Exp, false, 10000, 6000, 16000, 0.1, "Hz", "10000.0"},
    {16, "Air On", Shape::Linear, true, 1, 0, 1, 1, "", "on"},
    {17, "HP Freq", Shape::Exp, false, 20, 20, 1000, 0.1, "Hz", "20.0"},
    {18, "HP On", Shape::Linear, true, 1, 0, 1, 1, "", "on"},
    {19, "LP Freq", Shape::Exp, false, 20000, 1000, 20000, 0.1, "Hz", "20000.0"},
    {20, "LP On", Shape::Linear, true, 1, 0, 1, 1, "", "on"},
    {21, "Output", Shape::Linear, false, 0, -24, 24, 0.1, "dB", "0.0"},
    {22, "Bypass", Shape::Linear, true, 0, 0, 1, 1, "", "off"},
    {23, "Tilt", Shape::Linear, false, 0, -6, 6, 0.1, "dB/oct", "0.0"},
    {24, "Unused (was Auto Gain)", Shape::Linear, true, 0, 0, 1, 1, "", "off"},
    {25, "Range Low", Shape::Exp, false, 20, 20, 20000, 0.1, "Hz", "20.0"},
    {26, "Range High", Shape::Exp, false, 20000, 20, 20000, 0.1, "Hz", "20000.0"},
    {27, "Pre-EQ 1 Gain", Shape::Linear, false, 0, -18, 18, 0.1, "dB", "0.0"},
    {28, "Pre-EQ 1 Freq", Shape::Exp, false, 100, 20, 20000, 0.1, "Hz", "100.0"},
    {29, "Pre-EQ 1 Q", Shape::Exp, false, 0.707, 0.3, 10, 0.01, "", "0.71"},
    {30, "Pre-EQ 1 On", Shape::Linear, true, 1, 0, 1, 1, "", "on"},
    {31, "Pre-EQ 2 Gain", Shape::Linear, false, 0, -18, 18, 0.1, "dB", "0.0"},
    {32, "Pre-EQ 2 Freq", Shape::Exp, false, 400, 20, 20000, 0.1, "Hz", "400.0"},
    {33, "Pre-EQ 2 Q", Shape::Exp, false, 1, 0.3, 10, 0.01, "", "1.00"},
    {34, "Pre-EQ 2 On", Shape::Linear, true, 1, 0, 1, 1, "", "on"},
    {35, "Pre-EQ 3 Gain", Shape::Linear, false, 0, -18, 18, 0.1, "dB", "0.0"},
    {36, "Pre-EQ 3 Freq", Shape::Exp, false, 2500, 20, 20000, 0.1, "Hz", "2500.0"},
    {37, "Pre-EQ 3 Q", Shape::Exp, false, 1, 0.3, 10, 0.01, "", "1.00"},
    {38, "Pre-EQ 3 On", Shape::Linear, true, 1, 0, 1, 1, "", "on"},
    {39, "Pre-EQ 4 Gain", Shape::Linear, false, 0, -18, 18, 0.1, "dB", "0.0"},
    {40, "Pre-EQ 4 Freq", Shape::Exp, false, 8000, 20, 20000, 0.1, "Hz", "8000.0"},
    {41, "Pre-EQ 4 Q", Shape::Exp, false, 0.707, 0.3, 10, 0.01, "", "0.71"},
    {42, "Pre-EQ 4 On", Shape::Linear, true, 1, 0, 1, 1, "", "on"},
    {43, "Pre-EQ 1 Shelf", Shape::Linear, true, 1, 0, 1, 1, "", "on"},
    {44, "Pre-EQ 4 Shelf", Shape::Linear, true, 1, 0, 1, 1, "", "on"},
    {45, "Pre-EQ Respect", Shape::Linear, false, 50, 0, 100, 1, "%", "50"},
};

} // namespace

TEST(AubrevaneFactory, OpenBuildsADefaultInstanceAndCloseFreesIt)
{
    FactoryInstance instance;
    ASSERT_NE(instance.record, nullptr);
    EXPECT_EQ(instance.record->reserved, nullptr);
    EXPECT_EQ(instance.plugin(), nullptr); // nothing is constructed before Open
    ASSERT_EQ(instance.record->Open(instance.record, nullptr), iplug::kAUNoErr);
    Aubrevane* plugin = instance.plugin();
    ASSERT_NE(plugin, nullptr);

    EXPECT_STREQ(plugin->GetInstanceInfo().cocoaViewFactoryClassName, "Aubrevane_View");
    EXPECT_EQ(plugin->NPresets(), 0); // the one configured slot is never filled, so Open drops it
    EXPECT_EQ(plugin->GetPluginVersion(), 0x0000090E);
    EXPECT_EQ(plugin->GetPluginVersionString(), "0.9.14");
    EXPECT_EQ(plugin->GetConfig().uniqueID, iplug::FourCC("Avbn"));
    EXPECT_EQ(plugin->GetConfig().mfrID, iplug::FourCC("Wdlk"));
    EXPECT_TRUE(plugin->IsChannelConfigLegal(1, 1));
    EXPECT_TRUE(plugin->IsChannelConfigLegal(2, 2));
    EXPECT_FALSE(plugin->IsChannelConfigLegal(1, 2));

    ASSERT_EQ(plugin->NParams(), kNumParams);
    for (int index = 0; index < kNumParams; ++index)
        EXPECT_EQ(plugin->GetParam(index)->Value(), plugin->GetParam(index)->GetDefault()) << index;
    EXPECT_EQ(plugin->currentAccentIndex(), 5);
    EXPECT_FALSE(plugin->hasLearnedTarget());
    EXPECT_EQ(AubrevaneProbe::published(*plugin).version.load(), 2u);
    TargetValues target;
    ASSERT_TRUE(AubrevaneProbe::published(*plugin).tryRead(target));
    EXPECT_EQ(target.offsetDecibels, (std::array<double, 12>{}));
    EXPECT_EQ(target.balance, (std::array<double, 12>{}));
    EXPECT_TRUE(AubrevaneProbe::statusText(*plugin).empty());
    for (int k = 0; k < 12; ++k)
        EXPECT_EQ(AubrevaneProbe::view(*plugin).level(k), -120.0f);
}

TEST(AubrevaneFactory, LegacyEntryAnswersTheVersion)
{
    FactoryInstance instance;
    ASSERT_EQ(instance.record->Open(instance.record, nullptr), iplug::kAUNoErr);
    iplug::ComponentParameters params;
    params.what = iplug::kComponentVersionSelect;
    EXPECT_EQ(Aubrevane_Entry(&params, instance.record), 0x0000090E);
}

TEST(AubrevaneParameters, EveryRowHasItsNameRangeStepLabelAndDefaultText)
{
    const auto plugin = preparedPlugin();
    ASSERT_EQ(std::size(kRows), static_cast<std::size_t>(kNumParams));
    for (const ParamRow& row : kRows)
    {
        const iplug::IParam* param = plugin->GetParam(row.index);
        SCOPED_TRACE(row.name);
        EXPECT_STREQ(param->GetName(), row.name);
        EXPECT_EQ(param->GetDefault(), row.defaultValue);
        EXPECT_EQ(param->GetMin(), row.minimum);
        EXPECT_EQ(param->GetMax(), row.maximum);
        EXPECT_EQ(param->GetStep(), row.step);
        EXPECT_STREQ(param->GetLabel(), row.label);
        EXPECT_EQ(param->GetShape(), row.shape);
        EXPECT_EQ(param->Type() == iplug::IParam::kTypeBool, row.isSwitch);
        WDL_String text;
        param->GetDisplay(param->GetDefault(), false, text);
        EXPECT_STREQ(text.Get(), row.defaultText);
    }
    EXPECT_EQ(plugin->GetParam(kHighPassFreq)->Unit(), iplug::IParam::kUnitFrequency);
    for (int index = 0; index < kNumParams; ++index)
        EXPECT_EQ(plugin->GetParam(index)->GetCanAutomate(), index != kUnusedAutoGain && index != kPreEqRespect)
            << index;
}

TEST(AubrevaneParameters, DefaultsGiveTheEngineDefaultsButForAmountAndTheFilters)
{
    const auto plugin = preparedPlugin();
    ToneSettings expected;
    expected.amount = 0.5;
    expected.highPassOn = true;
    expected.lowPassOn = true;
    EXPECT_EQ(plugin->settingsFromParameters(), expected);
}

struct SettingsCase
{
    const char* what;
    int param;
    double value;
    std::function<bool(const ToneSettings&)> holds;
};

TEST(AubrevaneParameters, EachParameterReachesItsSettingsField)
{
    const SettingsCase cases[] = {
        {"amount 0", kAmount, 0.0, [](const ToneSettings& s) { return s.amount == 0.0; }},
        {"speed", kSpeed, 75.0, [](const ToneSettings& s) { return s.speed == 0.75; }},
        {"threshold", kThreshold, -55.5, [](const ToneSettings& s) { return s.thresholdDecibels == -55.5; }},
        {"max boost", kMaxBoost, 12.0, [](const ToneSettings& s) { return s.maxBoostDecibels == 12.0; }},
        {"presence freq", kRegionFirst + 7, 4500.0, [](const ToneSettings& s) { return s.regions[2].hertz == 4500.0; }},
        {"body target", kRegionFirst + 3, -6.5,
         [](const ToneSettings& s) { return s.regions[1].gainDecibels == -6.5; }},
        {"air off", kRegionFirst + 11, 0.0, [](const ToneSettings& s) { return !s.regions[3].on; }},
        {"hp freq", kHighPassFreq, 80.0, [](const ToneSettings& s) { return s.highPassHertz == 80.0; }},
        {"lp off", kLowPassOn, 0.0, [](const ToneSettings& s) { return !s.lowPassOn; }},
        {"output", kOutput, -3.5, [](const ToneSettings& s) { return s.outputDecibels == -3.5; }},
        {"tilt", kTilt, 2.5, [](const ToneSettings& s) { return s.tiltDecibelsPerOctave == 2.5; }},
        {"range low", kRangeLow, 200.0, [](const ToneSettings& s) { return s.rangeLowHertz == 200.0; }},
        {"range high", kRangeHigh, 9000.0, [](const ToneSettings& s) { return s.rangeHighHertz == 9000.0; }},
        {"node 2 gain", kPreEqFirst + 4, 4.5, [](const ToneSettings& s) { return s.preEq[1].gainDecibels == 4.5; }},
        {"node 3 q", kPreEqFirst + 10, 2.0, [](const ToneSettings& s) { return s.preEq[2].q == 2.0; }},
        {"node 4 freq", kPreEqFirst + 13, 9000.0, [](const ToneSettings& s) { return s.preEq[3].hertz == 9000.0; }},
        {"node 1 off", kPreEqFirst + 3, 0.0, [](const ToneSettings& s) { return !s.preEq[0].on; }},
        {"node 1 shelf off", kPreEq1Shelf, 0.0, [](const ToneSettings& s) { return !s.preEq[0].shelf; }},
        {"node 4 shelf off", kPreEq4Shelf, 0.0, [](const ToneSettings& s) { return !s.preEq[3].shelf; }},
        {"respect 100", kPreEqRespect, 100.0, [](const ToneSettings& s) { return s.preEqRespect == 1.0; }},
    };
    for (const SettingsCase& c : cases)
    {
        const auto plugin = preparedPlugin();
        plugin->GetParam(c.param)->Set(c.value);
        EXPECT_TRUE(c.holds(plugin->settingsFromParameters())) << c.what;
    }
}

// A switch stores only 0 or 1: the host's one half is rounded up before the plug-in reads it.
TEST(AubrevaneParameters, AHostSwitchAtOneHalfArrivesOnAndJustBelowArrivesOff)
{
    const auto plugin = preparedPlugin();
    for (const auto& [value, on] : {std::pair{0.5, true}, {0.4999, false}, {0.5, true}, {0.0, false}})
    {
        SCOPED_TRACE(value);
        ASSERT_EQ(plugin->HostSetParameter(kLowPassOn, value), iplug::kAUNoErr);
        plugin->GetParam(kPreEq4Shelf)->SetNormalized(value);
        EXPECT_EQ(plugin->GetParam(kLowPassOn)->Value(), on ? 1.0 : 0.0);
        EXPECT_EQ(plugin->GetParam(kPreEq4Shelf)->Value(), on ? 1.0 : 0.0);
        const ToneSettings settings = plugin->settingsFromParameters();
        EXPECT_EQ(settings.lowPassOn, on);
        EXPECT_EQ(settings.preEq[3].shelf, on);
    }
}

TEST(AubrevaneParameters, BypassAndTheUnusedSwitchLeaveTheSettingsAlone)
{
    const auto plugin = preparedPlugin();
    const ToneSettings before = plugin->settingsFromParameters();
    plugin->GetParam(kBypass)->Set(1.0);
    plugin->GetParam(kUnusedAutoGain)->Set(1.0);
    EXPECT_EQ(plugin->settingsFromParameters(), before);
}

struct GraphicsScaleCase
{
    int width;
    int height;
    float platformScale;
    float expectedScale;
};

TEST(AubrevaneEditorOpening, MakeGraphicsScalesToTheStoredSize)
{
    const GraphicsScaleCase cases[] = {
        {720, 532, 1.0f, 1.0f},   {1080, 798, 1.0f, 1.5f}, {1080, 532, 1.0f, 1.0f},
        {1440, 1064, 2.0f, 1.0f}, {0, 0, 1.0f, 1.0f},      {540, 399, 1.0f, 0.75f},
    };
    for (const auto& c : cases)
    {
        const auto plugin = preparedPlugin();
        plugin->SetEditorSize(c.width, c.height);
        AubrevaneProbe::cachedPlatformScale(*plugin) = c.platformScale;
        std::unique_ptr<iplug::igraphics::IGraphics> graphics(AubrevaneProbe::makeGraphics(*plugin));
        ASSERT_NE(graphics, nullptr);
        EXPECT_EQ(graphics->Width(), 720);
        EXPECT_EQ(graphics->Height(), 532);
        EXPECT_EQ(graphics->FPS(), 60);
        EXPECT_FLOAT_EQ(graphics->GetDrawScale(), c.expectedScale) << c.width << " x " << c.height;
    }
}

TEST(AubrevaneEditorOpening, OpeningTheEditorLaysOutTheTaggedControls)
{
    const auto plugin = preparedPlugin();
    ASSERT_NE(plugin->OpenWindow(nullptr), nullptr);
    ASSERT_NE(plugin->GetUI(), nullptr);
    EXPECT_NE(plugin->GetUI()->GetControlWithTag(kTitleTag), nullptr);
    EXPECT_NE(plugin->GetUI()->GetControlWithTag(kStatusTag), nullptr);
    plugin->CloseWindow();
    EXPECT_EQ(plugin->GetUI(), nullptr);
}
