#include "PluginProbe.h"

#include "framework/AUTypes.h"
#include "framework/IPlugAU.h"
#include "framework/igraphics/IGraphics.h"

#include <gtest/gtest.h>

#include <functional>
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

struct ParamRow
{
    int index;
    const char* name;
    double defaultValue;
    double minimum;
    double maximum;
    double step;
    const char* label;
};

// A sample of the table: every kind, every block boundary and the odd ones out.
constexpr ParamRow kRows[] = {
    {kAmount, "Amount", 50, 0, 100, 1, "%"},
    {kThreshold, "Analysis Threshold", -40, -70, -10, 0.5, "dB"},
    {kMaxCut, "Max Cut", 9, 0, 18, 0.5, "dB"},
    {kRegionFirst, "Low Target", 0, -18, 18, 0.5, "dB"},
    {kRegionFirst + 1, "Low Freq", 120, 60, 300, 0.1, "Hz"},
    {kRegionFirst + 2, "Low On", 1, 0, 1, 1, ""},
    {kRegionFirst + 10, "Air Freq", 10000, 6000, 16000, 0.1, "Hz"},
    {kHighPassFreq, "HP Freq", 20, 20, 1000, 0.1, "Hz"},
    {kLowPassFreq, "LP Freq", 20000, 1000, 20000, 0.1, "Hz"},
    {kOutput, "Output", 0, -24, 24, 0.1, "dB"},
    {kBypass, "Bypass", 0, 0, 1, 1, ""},
    {kTilt, "Tilt", 0, -6, 6, 0.1, "dB/oct"},
    {kUnusedAutoGain, "Unused (was Auto Gain)", 0, 0, 1, 1, ""},
    {kRangeHigh, "Range High", 20000, 20, 20000, 0.1, "Hz"},
    {kPreEqFirst, "Pre-EQ 1 Gain", 0, -18, 18, 0.1, "dB"},
    {kPreEqFirst + 2, "Pre-EQ 1 Q", 0.707, 0.3, 10, 0.01, ""},
    {kPreEqFirst + 13, "Pre-EQ 4 Freq", 8000, 20, 20000, 0.1, "Hz"},
    {kPreEqFirst + 15, "Pre-EQ 4 On", 1, 0, 1, 1, ""},
    {kPreEq4Shelf, "Pre-EQ 4 Shelf", 1, 0, 1, 1, ""},
    {kPreEqRespect, "Pre-EQ Respect", 50, 0, 100, 1, "%"},
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

TEST(AubrevaneParameters, TableRowsHaveTheirNamesRangesAndLabels)
{
    const auto plugin = preparedPlugin();
    for (const ParamRow& row : kRows)
    {
        const iplug::IParam* param = plugin->GetParam(row.index);
        SCOPED_TRACE(row.name);
        EXPECT_STREQ(param->GetName(), row.name);
        EXPECT_DOUBLE_EQ(param->GetDefault(), row.defaultValue);
        EXPECT_DOUBLE_EQ(param->GetMin(), row.minimum);
        EXPECT_DOUBLE_EQ(param->GetMax(), row.maximum);
        EXPECT_DOUBLE_EQ(param->GetStep(), row.step);
        EXPECT_STREQ(param->GetLabel(), row.label);
    }
    EXPECT_EQ(plugin->GetParam(kPreEqFirst + 2)->GetShape(), iplug::IParam::Shape::Kind::Exp);
    EXPECT_EQ(plugin->GetParam(kAmount)->GetShape(), iplug::IParam::Shape::Kind::Linear);
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

TEST(AubrevaneParameters, ASwitchSetToExactlyOneHalfCountsAsOn)
{
    const auto plugin = preparedPlugin();
    for (const auto& [value, on] : {std::pair{0.0, false}, {0.5, true}, {0.0, false}, {0.4999, false}})
    {
        plugin->GetParam(kLowPassOn)->Set(value);
        plugin->GetParam(kPreEq4Shelf)->Set(value);
        const ToneSettings settings = plugin->settingsFromParameters();
        EXPECT_EQ(settings.lowPassOn, on) << value;
        EXPECT_EQ(settings.preEq[3].shelf, on) << value;
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
