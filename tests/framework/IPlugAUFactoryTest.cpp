#include "ProbePlug.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace
{

using namespace iplug;
using aubrevane::test::OpenedProbe;
using aubrevane::test::ProbeFactory;
using aubrevane::test::ProbePlug;

class IPlugAUFactory : public testing::Test
{
protected:
    void SetUp() override
    {
        ProbePlug::destroyed = 0;
        ProbePlug::destroyedDuringBackgroundWork = false;
        ProbePlug::throwInConstructor = false;
    }
    void TearDown() override { ProbePlug::throwInConstructor = false; }
};

TEST_F(IPlugAUFactory, RecordHoldsTheOperationsInOrder)
{
    AudioComponentPlugInInterface* record = ProbeFactory::Factory(nullptr, InstanceInfo{"Probe_View"});
    ASSERT_NE(record, nullptr);
    auto* full = reinterpret_cast<AUInstanceRecord*>(record);
    EXPECT_EQ(record->Open, &IPlugAU::AUOpen);
    EXPECT_EQ(record->Close, &IPlugAU::AUClose);
    EXPECT_EQ(record->Lookup, &IPlugAU::AULookup);
    EXPECT_EQ(record->reserved, nullptr);
    EXPECT_EQ(full->construct, &ProbeFactory::Construct);
    EXPECT_EQ(full->destruct, &ProbeFactory::Destruct);
    EXPECT_EQ(full->pad[0], nullptr);
    EXPECT_EQ(full->pad[1], nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(full->storage) % alignof(ProbePlug), 0u);
    EXPECT_EQ(record->Close(record), kAUNoErr); // never opened: only the record is freed
    EXPECT_EQ(ProbePlug::destroyed, 0);
}

TEST_F(IPlugAUFactory, OpenBuildsTheInstanceAndCloseDestroysItOnce)
{
    {
        OpenedProbe probe;
        ASSERT_EQ(probe.openStatus, kAUNoErr);
        EXPECT_STREQ(probe.plug().GetInstanceInfo().cocoaViewFactoryClassName, "Probe_View");
        EXPECT_EQ(probe.plug().NPresets(), 0); // the configuration's empty slot is dropped
        EXPECT_EQ(probe.record->Open(probe.record, nullptr), kAUErrBusy);
    }
    EXPECT_EQ(ProbePlug::destroyed, 1);
}

TEST_F(IPlugAUFactory, ThrowingConstructorMakesOpenFailAndCloseOnlyFrees)
{
    ProbePlug::throwInConstructor = true;
    {
        OpenedProbe probe;
        EXPECT_EQ(probe.openStatus, kAUErrFailure);
        double value = 0.0;
        EXPECT_EQ(probe.proc<AUGetParameterProc>(kAUGetParameterSelect)(probe.record, 0, &value), kAUErrNotConstructed);
        EXPECT_EQ(probe.render(nullptr, nullptr, 16), kAUErrNotConstructed);
    }
    EXPECT_EQ(ProbePlug::destroyed, 0); // the destructor of a half-built object never runs
}

TEST_F(IPlugAUFactory, LookupKnowsEverySelectorAndNothingElse)
{
    for (int selector = kAUInitializeSelect; selector <= kAUGetInterfaceSelect; ++selector)
        EXPECT_NE(IPlugAU::AULookup(static_cast<std::int16_t>(selector)), nullptr) << selector;
    EXPECT_EQ(IPlugAU::AULookup(0), nullptr);
    EXPECT_EQ(IPlugAU::AULookup(kAUGetInterfaceSelect + 1), nullptr);
}

TEST_F(IPlugAUFactory, LegacyEntryAnswersCanDoAndVersion)
{
    OpenedProbe probe;
    ComponentParameters params;
    params.what = kComponentCanDoSelect;
    params.params[0] = kAURenderSelect;
    EXPECT_EQ(IPlugAU::IPlugAUEntry(&params, nullptr), 1);
    params.params[0] = 999;
    EXPECT_EQ(IPlugAU::IPlugAUEntry(&params, nullptr), 0);
    params.what = kComponentVersionSelect;
    EXPECT_EQ(IPlugAU::IPlugAUEntry(&params, probe.record), 0x0000090E);
    params.what = 42;
    EXPECT_EQ(IPlugAU::IPlugAUEntry(&params, probe.record), kAUErrBadSelector);
    EXPECT_EQ(IPlugAU::IPlugAUEntry(nullptr, probe.record), kAUErrInvalidParameter);
}

TEST_F(IPlugAUFactory, ParameterInfoReportsRangesAndNonRealTimeParameters)
{
    OpenedProbe probe;
    auto info = probe.proc<AUGetParameterInfoProc>(kAUGetParameterInfoSelect);
    AUParameterInfo gain, freq, locked, missing;
    ASSERT_EQ(info(probe.record, 0, &gain), kAUNoErr);
    ASSERT_EQ(info(probe.record, 1, &freq), kAUNoErr);
    ASSERT_EQ(info(probe.record, 2, &locked), kAUNoErr);
    EXPECT_EQ(info(probe.record, 3, &missing), kAUErrInvalidParameter);
    EXPECT_EQ(info(probe.record, 0, nullptr), kAUErrInvalidParameter);
    EXPECT_STREQ(gain.name, "Gain");
    EXPECT_STREQ(gain.unit, "dB");
    EXPECT_EQ(gain.minValue, -24.0);
    EXPECT_EQ(freq.maxValue, 20000.0);
    EXPECT_EQ(freq.defaultValue, 1000.0);
    EXPECT_TRUE(freq.flags & kAUParameterFlagLogarithmic);
    EXPECT_EQ(gain.flags & kAUParameterFlagNonRealTime, 0u);
    EXPECT_TRUE(locked.flags & kAUParameterFlagNonRealTime);
    EXPECT_TRUE(locked.flags & kAUParameterFlagStepped);
}

TEST_F(IPlugAUFactory, HostParameterSetsClampRejectNonFiniteAndTellThePlugIn)
{
    OpenedProbe probe;
    auto set = probe.proc<AUSetParameterProc>(kAUSetParameterSelect);
    auto get = probe.proc<AUGetParameterProc>(kAUGetParameterSelect);
    double value = 0.0;
    EXPECT_EQ(set(probe.record, 0, 30.0), kAUNoErr);
    EXPECT_EQ(get(probe.record, 0, &value), kAUNoErr);
    EXPECT_EQ(value, 24.0);
    EXPECT_EQ(set(probe.record, 0, std::nan("")), kAUErrInvalidParameter);
    EXPECT_EQ(get(probe.record, 0, &value), kAUNoErr);
    EXPECT_EQ(value, 24.0);
    EXPECT_EQ(set(probe.record, 7, 1.0), kAUErrInvalidParameter);
    ASSERT_FALSE(probe.plug().changes.empty());
    EXPECT_EQ(probe.plug().changes.back(), std::make_pair(0, kHost));
}

struct StateSink
{
    int calls = 0;
    std::vector<unsigned char> bytes;
    static void receive(void* context, const unsigned char* data, int size)
    {
        auto* sink = static_cast<StateSink*>(context);
        ++sink->calls;
        sink->bytes.assign(data, data + size);
    }
};

TEST_F(IPlugAUFactory, StateRoundTripsAndAFailedAppendGivesTheHostNothing)
{
    OpenedProbe probe;
    auto getState = probe.proc<AUGetStateProc>(kAUGetStateSelect);
    auto setState = probe.proc<AUSetStateProc>(kAUSetStateSelect);
    probe.plug().GetParam(0)->Set(-6.5);
    probe.plug().GetParam(1)->Set(19999.9);

    StateSink saved;
    ASSERT_EQ(getState(probe.record, &saved, &StateSink::receive), kAUNoErr);
    ASSERT_EQ(saved.calls, 1);
    EXPECT_EQ(saved.bytes.size(), 3 * sizeof(double));

    probe.plug().failAppend = true;
    StateSink refused;
    EXPECT_EQ(getState(probe.record, &refused, &StateSink::receive), kAUErrFailure);
    EXPECT_EQ(refused.calls, 0);
    probe.plug().failAppend = false;

    probe.plug().GetParam(0)->Set(0.0);
    probe.plug().GetParam(1)->Set(100.0);
    ASSERT_EQ(setState(probe.record, saved.bytes.data(), static_cast<int>(saved.bytes.size())), kAUNoErr);
    EXPECT_EQ(probe.plug().GetParam(0)->Value(), -6.5);
    EXPECT_EQ(probe.plug().GetParam(1)->Value(), 19999.9);

    StateSink again;
    ASSERT_EQ(getState(probe.record, &again, &StateSink::receive), kAUNoErr);
    EXPECT_EQ(again.bytes, saved.bytes);
}

TEST_F(IPlugAUFactory, ShortStateIsRefusedWithoutChangingAnything)
{
    OpenedProbe probe;
    auto setState = probe.proc<AUSetStateProc>(kAUSetStateSelect);
    probe.plug().GetParam(0)->Set(3.0);
    const std::vector<unsigned char> cut(2 * sizeof(double) + 3, 0);
    EXPECT_EQ(setState(probe.record, cut.data(), static_cast<int>(cut.size())), kAUErrInvalidState);
    EXPECT_EQ(probe.plug().GetParam(0)->Value(), 3.0);
    EXPECT_EQ(setState(probe.record, nullptr, 8), kAUErrInvalidParameter);
}

TEST_F(IPlugAUFactory, StateRestoreTellsTheHostEveryValue)
{
    OpenedProbe probe;
    struct Heard
    {
        std::vector<std::pair<int, double>> values;
    } heard;
    AUHostCallbacks callbacks;
    callbacks.context = &heard;
    callbacks.parameterChanged = [](void* context, int paramIdx, double value)
    { static_cast<Heard*>(context)->values.emplace_back(paramIdx, value); };
    ASSERT_EQ(probe.proc<AUSetHostCallbacksProc>(kAUSetHostCallbacksSelect)(probe.record, &callbacks), kAUNoErr);

    IByteChunk chunk;
    for (const double value : {12.0, 440.0, 1.0})
        chunk.Put(&value);
    ASSERT_EQ(probe.proc<AUSetStateProc>(kAUSetStateSelect)(probe.record, chunk.GetData(), chunk.Size()), kAUNoErr);
    const std::vector<std::pair<int, double>> expected = {{0, 12.0}, {1, 440.0}, {2, 1.0}};
    EXPECT_EQ(heard.values, expected);
}

TEST_F(IPlugAUFactory, IdleRunsOnceAndNeverInsideItself)
{
    OpenedProbe probe;
    auto idle = probe.proc<AUIdleProc>(kAUIdleSelect);
    iplug::OSStatus nested = kAUNoErr;
    probe.plug().idleHook = [&] { nested = idle(probe.record); };
    EXPECT_EQ(idle(probe.record), kAUNoErr);
    EXPECT_EQ(nested, kAUErrBusy);
    EXPECT_EQ(probe.plug().idles, 1);
}

TEST_F(IPlugAUFactory, ExceptionsInThePlugInBecomeAStatus)
{
    OpenedProbe probe;
    probe.plug().idleHook = [] { throw std::runtime_error("idle failed"); };
    EXPECT_EQ(probe.proc<AUIdleProc>(kAUIdleSelect)(probe.record), kAUErrFailure);
    probe.plug().idleHook = [] { throw std::bad_alloc(); };
    EXPECT_EQ(probe.proc<AUIdleProc>(kAUIdleSelect)(probe.record), kAUErrOutOfMemory);
    probe.plug().idleHook = nullptr;
    EXPECT_EQ(probe.proc<AUIdleProc>(kAUIdleSelect)(probe.record), kAUNoErr); // the timer survived the throw
}

TEST_F(IPlugAUFactory, BackgroundWorkRunsUntilEndedAndNeverAfter)
{
    OpenedProbe probe;
    const auto run = probe.proc<AURunBackgroundWorkProc>(kAURunBackgroundWorkSelect);
    EXPECT_EQ(run(probe.record), kAUNoErr);
    EXPECT_EQ(probe.plug().backgroundRuns, 1);
    EXPECT_EQ(probe.proc<AUEndBackgroundWorkProc>(kAUEndBackgroundWorkSelect)(probe.record), kAUNoErr);
    EXPECT_EQ(run(probe.record), kAUErrBusy);
    EXPECT_EQ(probe.plug().backgroundRuns, 1);
}

} // namespace
