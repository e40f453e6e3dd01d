#include "OperationsSupport.h"
#include "StateBuilder.h"

#include "framework/igraphics/IControl.h"
#include "framework/igraphics/IGraphics.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

using aubrevane::plugin::TargetValues;
using aubrevane::test::preparedPlugin;
using aubrevane::test::restoreState;
using aubrevane::test::stateBytes;
using aubrevane::test::StateSpec;

namespace
{

/** A state whose every value differs from the defaults and survives the parameters' rounding and clamping. */
StateSpec richSpec()
{
    StateSpec spec;
    for (int k = 0; k < 12; ++k)
    {
        spec.headTarget[k] = 0.25 * k - 1.0;
        spec.balance[k] = 3.0 - 0.5 * k;
    }
    spec.headParams = {75,   20, -52.5, 10,    4.5, -3,   150, 0,     6.5, 500,  1, 2,
                       2000, 1,  -7.5,  12000, 0,   35.5, 0,   15000, 1,   -6.2, 0, 1.5};
    spec.tailParams = {1, 250, 12000, 3.3, 95.5, 0.9, 1, -2.2, 600, 1.7, 0, 0, 2500, 1, 1, 4.4, 7000, 2.2, 1, 0, 1, 80};
    return spec;
}

/** Quiet stereo blocks through the host's render call, which takes the host's reset and bypass requests first. */
void hostRender(Aubrevane& plugin, int blocks)
{
    std::vector<double> left(256), right(256);
    for (int b = 0; b < blocks; ++b)
    {
        for (std::size_t i = 0; i < left.size(); ++i)
            left[i] = right[i] = ((b * 7919 + static_cast<int>(i) * 104729) % 2001 - 1000) * 1e-6;
        double* channels[2] = {left.data(), right.data()};
        ASSERT_EQ(plugin.HostRender(channels, channels, 256), iplug::kAUNoErr);
    }
}

/** The stored target: its present flag and the 12 offsets. */
std::vector<unsigned char> storedTarget(const std::vector<unsigned char>& state)
{
    return state.size() < 120 ? state : std::vector<unsigned char>(state.begin() + 20, state.begin() + 120);
}

} // namespace

TEST(AubrevaneState, FreshStateIsSixHundredAndEightBytes)
{
    const auto plugin = preparedPlugin();
    const auto bytes = stateBytes(*plugin);
    ASSERT_EQ(bytes.size(), 608u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "1SVA");
    EXPECT_EQ(bytes[4], 5);
}

TEST(AubrevaneState, RestoreThenSaveGivesTheSameBytes)
{
    const auto bytes = stateBytes(richSpec());
    ASSERT_EQ(bytes.size(), 608u + 8 + 5);
    const auto first = preparedPlugin();
    ASSERT_EQ(restoreState(*first, bytes), static_cast<int>(bytes.size()));
    EXPECT_EQ(stateBytes(*first), bytes);

    const auto second = preparedPlugin();
    ASSERT_EQ(restoreState(*second, stateBytes(*first)), static_cast<int>(bytes.size()));
    EXPECT_EQ(stateBytes(*second), bytes);
    EXPECT_EQ(second->referenceName(), "song.wav");
    EXPECT_EQ(second->presetName(), "Vocal");
    EXPECT_TRUE(second->presetModified());
    EXPECT_EQ(second->currentAccentIndex(), 2);
}

TEST(AubrevaneState, RestoredTargetReachesTheEngineOnTheNextBlock)
{
    const StateSpec spec = richSpec();
    const auto plugin = preparedPlugin();
    restoreState(*plugin, stateBytes(spec));
    EXPECT_TRUE(plugin->hasLearnedTarget()); // published at once, before any audio runs
    double* none[2] = {nullptr, nullptr};
    plugin->ProcessBlock(none, none, 0);
    auto& engine = AubrevaneProbe::engine(*plugin);
    EXPECT_TRUE(engine.targetValid);
    EXPECT_EQ(engine.targetOffsetDecibels, spec.headTarget);
    EXPECT_EQ(engine.targetBalance, spec.balance);
}

TEST(AubrevaneState, VersionOneStateSavedBeforeAnyAudioKeepsItsBalance)
{
    StateSpec spec = richSpec(); // tilt 1.5 dB per octave: the reference curve rises with frequency
    spec.version = 1;
    const auto first = preparedPlugin();
    ASSERT_GT(restoreState(*first, stateBytes(spec)), 0);
    const auto saved = stateBytes(*first); // no block has run: the engine has not taken the target yet

    const auto second = preparedPlugin();
    ASSERT_GT(restoreState(*second, saved), 0);
    double* none[2] = {nullptr, nullptr};
    second->ProcessBlock(none, none, 0);
    const auto& engine = AubrevaneProbe::engine(*second);
    ASSERT_TRUE(engine.targetValid);
    EXPECT_EQ(engine.targetBalance, spec.headTarget); // the stored values were a balance, and stay one
    // stored as offsets from the tilted reference, so they fall across the bands faster than the balance does
    EXPECT_LT(engine.targetOffsetDecibels[11] - engine.targetOffsetDecibels[0],
              spec.headTarget[11] - spec.headTarget[0]);
}

TEST(AubrevaneState, VersionOneStateSavesTheSameTargetBeforeAndAfterTheNextBlock)
{
    StateSpec spec = richSpec(); // tilt 1.5 dB per octave, where the instance held a flat reference
    spec.version = 1;
    const auto plugin = preparedPlugin();
    double* none[2] = {nullptr, nullptr};
    plugin->ProcessBlock(none, none, 0);
    ASSERT_GT(restoreState(*plugin, stateBytes(spec)), 0);
    const auto before = stateBytes(*plugin);
    plugin->ProcessBlock(none, none, 0);
    EXPECT_EQ(stateBytes(*plugin), before);
    EXPECT_EQ(AubrevaneProbe::engine(*plugin).targetBalance, spec.headTarget);
}

struct VersionCase
{
    int version;
    std::size_t size; // with the name "song.wav" (8 bytes), "Vocal" (5) and 22 tail values
};

TEST(AubrevaneState, EveryOlderVersionRestoresItsFields)
{
    const VersionCase cases[] = {{1, 312}, {2, 324}, {3, 420}, {4, 604}, {5, 621}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.version);
        StateSpec spec = richSpec();
        spec.version = c.version;
        const auto bytes = stateBytes(spec);
        ASSERT_EQ(bytes.size(), c.size);
        const auto plugin = preparedPlugin();
        ASSERT_EQ(restoreState(*plugin, bytes), static_cast<int>(c.size));

        EXPECT_EQ(plugin->currentAccentIndex(), 2);
        EXPECT_EQ(AubrevaneProbe::savedEditorWidth(*plugin), 1080);
        EXPECT_EQ(plugin->GetEditorWidth(), 1080);
        EXPECT_EQ(plugin->referenceName(), c.version >= 2 ? "song.wav" : "");
        EXPECT_EQ(plugin->presetName(), c.version >= 5 ? "Vocal" : "");
        for (int index = 0; index < 24; ++index)
            EXPECT_EQ(plugin->GetParam(index)->Value(), spec.headParams[index]) << index;
        for (int index = 24; index < kNumParams; ++index)
        {
            const double expected =
                c.version >= 4 ? spec.tailParams[index - 24] : plugin->GetParam(index)->GetDefault();
            EXPECT_EQ(plugin->GetParam(index)->Value(), expected) << index;
        }

        double* none[2] = {nullptr, nullptr};
        plugin->ProcessBlock(none, none, 0);
        const auto& engine = AubrevaneProbe::engine(*plugin);
        ASSERT_TRUE(engine.targetValid);
        if (c.version == 1)
        {
            EXPECT_EQ(engine.targetBalance, spec.headTarget); // the stored values were a balance
        }
        else
        {
            EXPECT_EQ(engine.targetOffsetDecibels, spec.headTarget);
            // without a stored balance (version 2) the offsets stand in for it
            EXPECT_EQ(engine.targetBalance, c.version == 2 ? spec.headTarget : spec.balance);
        }
    }
}

TEST(AubrevaneState, TailCountsBeyondAndBelowTheParameterList)
{
    StateSpec spec = richSpec();
    spec.version = 4;
    spec.tailCount = 30;
    spec.tailParams.resize(30, 1234.0);
    auto plugin = preparedPlugin();
    auto bytes = stateBytes(spec);
    EXPECT_EQ(restoreState(*plugin, bytes), static_cast<int>(bytes.size())); // 8 extra values skipped
    EXPECT_EQ(plugin->GetParam(kNumParams - 1)->Value(), spec.tailParams[21]);

    spec.tailCount = 10;
    spec.tailParams.resize(10);
    plugin = preparedPlugin();
    bytes = stateBytes(spec);
    EXPECT_EQ(restoreState(*plugin, bytes), static_cast<int>(bytes.size()));
    EXPECT_EQ(plugin->GetParam(33)->Value(), spec.tailParams[9]);
    EXPECT_EQ(plugin->GetParam(34)->Value(), plugin->GetParam(34)->GetDefault());
}

TEST(AubrevaneState, OddValuesAreSanitised)
{
    StateSpec spec = richSpec();
    spec.accent = 7;
    spec.width = 1000;
    spec.height = 500;
    spec.headParams[kHighPassOn] = 0.6;                                        // a switch: rounded to its step
    spec.headParams[kAmount] = 250.0;                                          // clamped
    spec.headParams[kSpeed] = std::numeric_limits<double>::quiet_NaN();        // the default
    spec.headParams[kOutput] = -std::numeric_limits<double>::infinity();       // the minimum
    spec.tailParams[kRangeLow - 24] = std::numeric_limits<double>::infinity(); // the maximum
    const auto plugin = preparedPlugin();
    restoreState(*plugin, stateBytes(spec));
    EXPECT_EQ(plugin->currentAccentIndex(), 0);
    EXPECT_EQ(AubrevaneProbe::savedEditorWidth(*plugin), 720);
    EXPECT_EQ(AubrevaneProbe::savedEditorHeight(*plugin), 532);
    EXPECT_EQ(plugin->GetParam(kHighPassOn)->Value(), 1.0);
    EXPECT_EQ(plugin->GetParam(kAmount)->Value(), 100.0);
    EXPECT_EQ(plugin->GetParam(kSpeed)->Value(), 50.0);
    EXPECT_EQ(plugin->GetParam(kOutput)->Value(), -24.0);
    EXPECT_EQ(plugin->GetParam(kRangeLow)->Value(), 20000.0);
}

TEST(AubrevaneState, AbsentOrNonFiniteTargetRestoresNoTargetAndNoName)
{
    for (const bool nonFinite : {false, true})
    {
        StateSpec spec = richSpec();
        if (nonFinite)
            spec.balance[4] = std::numeric_limits<double>::quiet_NaN();
        else
            spec.targetPresent = 0;
        const auto plugin = preparedPlugin();
        restoreState(*plugin, stateBytes(spec));
        EXPECT_FALSE(plugin->hasLearnedTarget());
        EXPECT_EQ(plugin->referenceName(), "");
        double* none[2] = {nullptr, nullptr};
        plugin->ProcessBlock(none, none, 0);
        EXPECT_FALSE(AubrevaneProbe::engine(*plugin).targetValid);
    }
}

TEST(AubrevaneState, DamagedStatesChangeNothing)
{
    const auto whole = stateBytes(richSpec());
    const auto cut = [&whole](std::size_t size)
    { return std::vector<std::uint8_t>(whole.begin(), whole.begin() + size); };
    StateSpec version0 = richSpec(), version6 = richSpec(), negativeName = richSpec(), negativePreset = richSpec();
    version0.version = 0;
    version6.version = 6;
    negativeName.referenceLength = -5;
    negativePreset.presetLength = -1;
    StateSpec version3 = richSpec();
    version3.version = 3;
    const auto balanceCut = stateBytes(version3);

    const std::pair<const char*, std::vector<std::uint8_t>> cases[] = {
        {"short head", cut(60)},
        {"no name length", cut(122)},
        {"version 0", stateBytes(version0)},
        {"version 6", stateBytes(version6)},
        {"negative name length", stateBytes(negativeName)},
        {"balance cut short", std::vector<std::uint8_t>(balanceCut.begin(), balanceCut.end() - 40)},
        {"negative preset name length", stateBytes(negativePreset)},
    };
    for (const auto& [what, bytes] : cases)
    {
        const auto plugin = preparedPlugin();
        plugin->GetParam(kAmount)->Set(33.0);
        const auto before = stateBytes(*plugin);
        EXPECT_EQ(restoreState(*plugin, bytes), -1) << what;
        EXPECT_EQ(stateBytes(*plugin), before) << what;
    }
}

TEST(AubrevaneState, StateCutInsideTheParametersKeepsWhatWasRead)
{
    const auto whole = stateBytes(richSpec());
    const std::vector<std::uint8_t> bytes(whole.begin(), whole.begin() + 124 + 8 + 8 * 10 + 3);
    const auto plugin = preparedPlugin();
    plugin->GetParam(kPreEqRespect)->Set(10.0);
    plugin->GetParam(12)->Set(2500.0);
    EXPECT_EQ(restoreState(*plugin, bytes), -1);
    EXPECT_EQ(plugin->GetParam(9)->Value(), richSpec().headParams[9]);
    EXPECT_EQ(plugin->GetParam(12)->Value(), 2500.0); // not reached: keeps its value
    EXPECT_EQ(plugin->GetParam(kPreEqRespect)->Value(), 50.0);
    EXPECT_EQ(plugin->referenceName(), "song.wav");
}

TEST(AubrevaneState, UntaggedDataIsAPlainParameterList)
{
    iplug::IByteChunk chunk;
    for (int index = 0; index < kNumParams; ++index)
    {
        const double value = index == kAmount ? 12.0 : 0.0;
        chunk.Put(&value);
    }
    const auto plugin = preparedPlugin();
    EXPECT_EQ(plugin->UnserializeState(chunk, 0), 8 * kNumParams);
    EXPECT_EQ(plugin->GetParam(kAmount)->Value(), 12.0);
}

TEST(AubrevaneState, EveryParameterKeepsItsValueThroughTheNormalisedScaleAndAPresetReload)
{
    const auto plugin = preparedPlugin();
    const auto bits = [](double value) { return std::bit_cast<std::uint64_t>(value); };
    constexpr int kGrid = 1000;
    for (int index = 0; index < kNumParams; ++index)
    {
        iplug::IParam& param = *plugin->GetParam(index);
        for (int i = 0; i < kGrid; ++i)
        {
            for (const bool fromNormalized : {false, true})
            {
                if (fromNormalized)
                    param.SetNormalized(static_cast<double>(i) / (kGrid - 1));
                else
                    param.Set(param.GetMin() + (param.GetMax() - param.GetMin()) * i / (kGrid - 1));
                const double before = param.Value();
                param.SetNormalized(param.GetNormalized());
                ASSERT_EQ(bits(param.Value()), bits(before)) << param.GetName() << " at grid step " << i;
            }
        }
    }

    // A sound with every parameter off its default, the range ends included, saved and loaded back as a preset.
    for (int index = 0; index < kNumParams; ++index)
        plugin->GetParam(index)->SetNormalized(index % 5 == 0 ? 1.0 : ((index * 389) % kGrid) / (kGrid - 1.0));
    plugin->savePreset("Grid", false);
    const auto saved = stateBytes(*plugin);
    plugin->GetParam(kAmount)->Set(1.0);
    const auto presets = plugin->savedPresets();
    ASSERT_EQ(presets.size(), 1u);
    plugin->loadPreset(presets.front());
    EXPECT_EQ(stateBytes(*plugin), saved);
}

TEST(AubrevaneState, HostRestoreWithTheEditorOpenShowsEveryRestoredValue)
{
    const auto plugin = preparedPlugin();
    ASSERT_NE(plugin->OpenWindow(nullptr), nullptr);
    const auto bytes = stateBytes(richSpec());
    ASSERT_EQ(plugin->HostSetState(bytes.data(), static_cast<int>(bytes.size())), iplug::kAUNoErr);
    ASSERT_EQ(plugin->GetParam(kAmount)->Value(), 75.0);

    const iplug::igraphics::IGraphics& graphics = *plugin->GetUI();
    int shown = 0;
    for (int c = 0; c < graphics.NControls(); ++c)
    {
        const iplug::igraphics::IControl& control = *graphics.GetControl(c);
        for (int v = 0; v < control.NVals(); ++v)
            if (const int index = control.GetParamIdx(v); index >= 0 && index < kNumParams)
            {
                EXPECT_DOUBLE_EQ(control.GetValue(v), plugin->GetParam(index)->GetNormalized()) << index;
                ++shown;
            }
    }
    EXPECT_GT(shown, 10); // the knobs, pills and band strip are bound to parameters
    plugin->CloseWindow();
}

TEST(AubrevaneState, FailedAppendLeavesNoBytes)
{
    const auto plugin = preparedPlugin();
    for (const int limit : {10, 300, 600})
    {
        iplug::IByteChunk chunk;
        chunk.SetMaxSize(limit);
        EXPECT_FALSE(plugin->SerializeState(chunk)) << limit;
        EXPECT_EQ(chunk.Size(), 0) << limit;
    }
}

TEST(AubrevaneState, RestoreWithTheEditorOpenKeepsTheWindowSize)
{
    const auto plugin = preparedPlugin();
    ASSERT_NE(plugin->OpenWindow(nullptr), nullptr);
    restoreState(*plugin, stateBytes(richSpec()));
    EXPECT_EQ(AubrevaneProbe::savedEditorWidth(*plugin), 1080);
    EXPECT_EQ(plugin->GetEditorWidth(), 720);
    EXPECT_EQ(plugin->editorScale(), 1.0f);
    plugin->CloseWindow();
}

TEST(AubrevaneState, AResetThatEndsLearningKeepsTheRestoredTargetAndItsMark)
{
    const auto source = preparedPlugin();
    source->loadTarget(aubrevane::test::factoryTarget("Male speech"));
    aubrevane::test::runBlocks(*source);
    AubrevaneProbe::setPresetName(*source, "Voice");
    std::vector<unsigned char> preset;
    ASSERT_EQ(source->HostGetState(preset), iplug::kAUNoErr);

    struct Outcome
    {
        std::vector<unsigned char> atReset, atEnd;
        bool learningShown = true, modified = true;
    };
    // Learning from the input is under way when the preset arrives; `reset` then runs before any block takes it.
    const auto play = [&](const std::function<void(Aubrevane&)>& reset)
    {
        Outcome outcome;
        auto plugin = std::make_unique<Aubrevane>(iplug::InstanceInfo{"Aubrevane_View"});
        EXPECT_EQ(plugin->HostInitialize(48000.0, 256, 2, 2), iplug::kAUNoErr);
        hostRender(*plugin, 4);
        plugin->onLearnFromInput();
        hostRender(*plugin, 4);
        EXPECT_EQ(plugin->HostSetState(preset.data(), static_cast<int>(preset.size())), iplug::kAUNoErr);
        plugin->HostIdle();
        reset(*plugin);
        plugin->HostIdle();
        outcome.learningShown = AubrevaneProbe::view(*plugin).learning.load();
        EXPECT_EQ(plugin->HostGetState(outcome.atReset), iplug::kAUNoErr);
        plugin->HostRequestBypass(false);
        hostRender(*plugin, 4);
        plugin->HostIdle();
        EXPECT_EQ(plugin->HostGetState(outcome.atEnd), iplug::kAUNoErr);
        outcome.modified = plugin->presetModified();
        return outcome;
    };

    const Outcome plain = play([](Aubrevane&) {});
    ASSERT_EQ(storedTarget(plain.atReset), storedTarget(preset));
    ASSERT_FALSE(plain.modified);
    const std::vector<std::pair<const char*, std::function<void(Aubrevane&)>>> resets = {
        {"host bypass",
         [](Aubrevane& p)
         {
             p.HostRequestBypass(true);
             hostRender(p, 3);
         }},
        {"new rate",
         [](Aubrevane& p)
         {
             EXPECT_EQ(p.HostUninitialize(), iplug::kAUNoErr);
             EXPECT_EQ(p.HostInitialize(44100.0, 512, 2, 2), iplug::kAUNoErr);
         }},
    };
    for (const auto& [name, reset] : resets)
    {
        const Outcome outcome = play(reset);
        EXPECT_FALSE(outcome.learningShown) << name;
        EXPECT_EQ(storedTarget(outcome.atReset), storedTarget(plain.atReset)) << name;
        EXPECT_EQ(outcome.atEnd, plain.atEnd) << name;
        EXPECT_EQ(outcome.modified, plain.modified) << name;
    }
}
