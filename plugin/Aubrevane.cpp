#include "plugin/Aubrevane.h"

#include "framework/AppSupportPath.h"
#include "framework/igraphics/IGraphics.h"
#include "plugin/AubrevaneInterface.h"
#include "plugin/EditorSize.h"
#include "plugin/Version.h"
#include "wendlebrak/net/Http.h"
#include "wendlebrak/updates/UpdateCheck.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>

using aubrevane::dsp::ToneSettings;
using namespace aubrevane::plugin;

namespace
{

constexpr int kEditorFramesPerSecond = 60;

constexpr std::array<const char*, kNumRegions> kRegionNames = {"Low", "Body", "Presence", "Air"};
constexpr std::array<double, kNumRegions> kRegionMinHertz = {60.0, 150.0, 1000.0, 6000.0};
constexpr std::array<double, kNumRegions> kRegionMaxHertz = {300.0, 800.0, 6000.0, 16000.0};

constexpr int kCannotAutomate = iplug::IParam::kFlagCannotAutomate;

/** Withdraws the engine's target: the correction goes back to the balanced curve. Audio thread. */
void clearTarget(aubrevane::dsp::ToneCorrector& engine) noexcept
{
    engine.targetValid = false;
    engine.targetOffsetDecibels = {};
    engine.targetBalance = {};
}

/** Installs a target's offsets and balance as its sender worked them out. Audio thread. */
void installTarget(aubrevane::dsp::ToneCorrector& engine, const TargetValues& values) noexcept
{
    engine.targetOffsetDecibels = values.offsetDecibels;
    engine.targetBalance = values.balance;
    engine.targetValid = true;
}

iplug::Config makeConfig()
{
    iplug::Config config;
    config.nParams = kNumParams;
    config.nPresets = 1;
    config.channelIOStr = "1-1 2-2";
    config.pluginName = "Aubrevane";
    config.productName = "Aubrevane";
    config.mfrName = "Wendlebrak";
    config.vendorVersion = kVendorVersion;
    config.uniqueID = iplug::FourCC("Avbn");
    config.mfrID = iplug::FourCC("Wdlk");
    config.latency = 0;
    config.plugDoesMidiIn = false;
    config.plugDoesMidiOut = false;
    config.plugDoesMPE = false;
    config.plugDoesChunks = true;
    config.plugType = 0;
    config.plugHasUI = true;
    config.plugWidth = kEditorWidth;
    config.plugHeight = kEditorHeight;
    config.plugMinWidth = kSmallestEditorWidth;
    config.plugMaxWidth = kLargestEditorWidth;
    config.plugMinHeight = kSmallestEditorHeight;
    config.plugMaxHeight = kLargestEditorHeight;
    config.plugHostResize = true;
    config.bundleID = "com.wendlebrak.audiounit.Aubrevane";
    config.appGroupID = "com.wendlebrak.shared";
    return config;
}

} // namespace

Aubrevane::Aubrevane(const iplug::InstanceInfo& info)
    : iplug::IPlugAU(info, makeConfig()), inputMeter(-90.0, true, 5.0f, 1.0f, 100.0f, 500.0f),
      outputMeter(-90.0, true, 5.0f, 1.0f, 100.0f, 500.0f)
{
    GetParam(kAmount)->InitDouble("Amount", 50.0, 0.0, 100.0, 1.0, "%");
    GetParam(kSpeed)->InitDouble("Speed", 50.0, 0.0, 100.0, 1.0, "%");
    GetParam(kThreshold)->InitDouble("Analysis Threshold", -40.0, -70.0, -10.0, 0.5, "dB");
    GetParam(kMaxBoost)->InitDouble("Max Boost", 6.0, 0.0, 12.0, 0.5, "dB");
    GetParam(kMaxCut)->InitDouble("Max Cut", 9.0, 0.0, 18.0, 0.5, "dB");
    for (int region = 0; region < kNumRegions; ++region)
    {
        const std::string name = kRegionNames[region];
        GetParam(regionTargetParam(region))->InitDouble((name + " Target").c_str(), 0.0, -18.0, 18.0, 0.5, "dB");
        GetParam(regionFreqParam(region))
            ->InitFrequency((name + " Freq").c_str(), aubrevane::dsp::kDefaultRegions[region].hertz,
                            kRegionMinHertz[region], kRegionMaxHertz[region], 0.1);
        GetParam(regionOnParam(region))->InitBool((name + " On").c_str(), true, "", 0, "", "off", "on");
    }
    GetParam(kHighPassFreq)->InitFrequency("HP Freq", 20.0, 20.0, 1000.0, 0.1);
    GetParam(kHighPassOn)->InitBool("HP On", true, "", 0, "", "off", "on");
    GetParam(kLowPassFreq)->InitFrequency("LP Freq", 20000.0, 1000.0, 20000.0, 0.1);
    GetParam(kLowPassOn)->InitBool("LP On", true, "", 0, "", "off", "on");
    GetParam(kOutput)->InitDouble("Output", 0.0, -24.0, 24.0, 0.1, "dB");
    GetParam(kBypass)->InitBool("Bypass", false, "", 0, "", "off", "on");
    GetParam(kTilt)->InitDouble("Tilt", 0.0, -6.0, 6.0, 0.1, "dB/oct");
    GetParam(kUnusedAutoGain)->InitBool("Unused (was Auto Gain)", false, "", kCannotAutomate, "", "off", "on");
    GetParam(kRangeLow)->InitFrequency("Range Low", 20.0, 20.0, 20000.0, 0.1);
    GetParam(kRangeHigh)->InitFrequency("Range High", 20000.0, 20.0, 20000.0, 0.1);
    for (int node = 0; node < kNumPreEqNodes; ++node)
    {
        const std::string name = "Pre-EQ " + std::to_string(node + 1);
        const auto& defaults = aubrevane::dsp::kDefaultPreEq[node];
        GetParam(preEqGainParam(node))->InitDouble((name + " Gain").c_str(), 0.0, -18.0, 18.0, 0.1, "dB");
        GetParam(preEqFreqParam(node))->InitFrequency((name + " Freq").c_str(), defaults.hertz, 20.0, 20000.0, 0.1);
        GetParam(preEqQParam(node))
            ->InitDouble((name + " Q").c_str(), defaults.q, 0.3, 10.0, 0.01, "", 0, "", iplug::IParam::ShapeExp());
        GetParam(preEqOnParam(node))->InitBool((name + " On").c_str(), true, "", 0, "", "off", "on");
    }
    GetParam(kPreEq1Shelf)->InitBool("Pre-EQ 1 Shelf", true, "", 0, "", "off", "on");
    GetParam(kPreEq4Shelf)->InitBool("Pre-EQ 4 Shelf", true, "", 0, "", "off", "on");
    GetParam(kPreEqRespect)->InitDouble("Pre-EQ Respect", 50.0, 0.0, 100.0, 1.0, "%", kCannotAutomate);

    accentIndex.store(kDawColourAccent);
    for (auto& level : view.bandDecibels)
        level.store(-120.0f, std::memory_order_relaxed);
    publishedTarget.write(TargetValues{});

    WDL_String supportFolder;
    iplug::AppSupportPath(supportFolder);
    wendlebrak::updates::Config updateConfig;
    updateConfig.product = "aubrevane";
    updateConfig.version = kVersionText;
    updateConfig.directory = wendlebrak::updates::defaultDirectory(supportFolder.Get());
    updateConfig.feedUrl = wendlebrak::updates::kFeedUrl;
    updateCheck = std::make_shared<wendlebrak::updates::UpdateCheck>(std::move(updateConfig));
    updateHook = [check = updateCheck]
    {
        check->checkIfDue();
        check->reload();
    };

    SetMakeGraphicsFunc([this] { return makeGraphics(); });
    SetLayoutFunc([this](iplug::igraphics::IGraphics* graphics) { layout(graphics); });
}

Aubrevane::~Aubrevane()
{
    BeginClosing(); // the editor's controls go while every member they reach still exists; no idle tick after this
    learnCancelRequested.store(true); // a reference analysis under way stops at its next block
    if (learnThread.joinable())
        learnThread.join();
}

void Aubrevane::OnBackgroundWork(const std::atomic<bool>& stopRequested)
{
    const wendlebrak::net::StopScope transfersEndWith(stopRequested);
    updateHook();
}

void* Aubrevane::GetHostInterface(std::uint32_t interfaceId)
{
    if (interfaceId != aubrevane::plugin::ProductInterface::kInterfaceId)
        return nullptr;
    if (!hostInterface)
        hostInterface = std::make_unique<AubrevaneInterface>(*this);
    return static_cast<aubrevane::plugin::ProductInterface*>(hostInterface.get());
}

iplug::igraphics::IGraphics* Aubrevane::makeGraphics()
{
    const float c = cachedPlatformScale;
    const float width = static_cast<float>(GetEditorWidth());
    const float height = static_cast<float>(GetEditorHeight());
    float scale = std::min(width / (kEditorWidth * c), height / (kEditorHeight * c));
    if (!(scale > 0.0f))
        scale = 1.0f;
    return iplug::igraphics::MakeGraphics(*this, kEditorWidth, kEditorHeight, kEditorFramesPerSecond, scale);
}

ToneSettings Aubrevane::settingsFromParameters() const noexcept
{
    const auto value = [this](int index) { return GetParam(index)->Value(); };
    const auto on = [&value](int index) { return value(index) >= 0.5; };

    ToneSettings settings;
    settings.amount = value(kAmount) / 100.0;
    settings.speed = value(kSpeed) / 100.0;
    settings.thresholdDecibels = value(kThreshold);
    settings.maxBoostDecibels = value(kMaxBoost);
    settings.maxCutDecibels = value(kMaxCut);
    for (int region = 0; region < kNumRegions; ++region)
    {
        settings.regions[region].hertz = value(regionFreqParam(region));
        settings.regions[region].gainDecibels = value(regionTargetParam(region));
        settings.regions[region].on = on(regionOnParam(region));
    }
    settings.highPassOn = on(kHighPassOn);
    settings.highPassHertz = value(kHighPassFreq);
    settings.lowPassOn = on(kLowPassOn);
    settings.lowPassHertz = value(kLowPassFreq);
    settings.outputDecibels = value(kOutput);
    settings.tiltDecibelsPerOctave = value(kTilt);
    settings.rangeLowHertz = value(kRangeLow);
    settings.rangeHighHertz = value(kRangeHigh);
    for (int node = 0; node < kNumPreEqNodes; ++node)
    {
        settings.preEq[node].hertz = value(preEqFreqParam(node));
        settings.preEq[node].gainDecibels = value(preEqGainParam(node));
        settings.preEq[node].q = value(preEqQParam(node));
        settings.preEq[node].on = on(preEqOnParam(node));
    }
    settings.preEq[0].shelf = on(kPreEq1Shelf);
    settings.preEq[3].shelf = on(kPreEq4Shelf);
    settings.preEqRespect = value(kPreEqRespect) / 100.0;
    return settings;
}

void Aubrevane::OnReset()
{
    const bool wasLearning = engine.learning;
    engine.prepare(GetSampleRate());
    settingsApplied = false;
    inputMeter.Reset(GetSampleRate());
    outputMeter.Reset(GetSampleRate());
    meterMixBuffer.assign(static_cast<std::size_t>(std::max(1, GetBlockSize())), 0.0);
    // prepare() ended any learning without finishing it. The view says so now, since no block runs while the host's
    // bypass is on. The target is not published: prepare() kept the engine's target, which the record already
    // holds, unless a waiting request's sender published a newer one that the engine's must not cover.
    if (wasLearning)
        showEngineInView();
    lastLearning = false;
}

void Aubrevane::ProcessBlock(double** inputs, double** outputs, int nFrames)
{
    const DenormalGuard denormals;
    const AudioRoadMark onAudioRoad;
    // A missing array counts as no channels on that side.
    const int nIn = inputs ? NChannelsConnected(iplug::ERoute::kInput) : 0;
    const int nOut = outputs ? NChannelsConnected(iplug::ERoute::kOutput) : 0;

    const bool bypassed = GetParam(kBypass)->Value() >= 0.5;
    takeTargetRequests(bypassed);
    applyParameterSettings();

    if (nIn > 0 && nFrames > 0)
        meter(inputMeter, inputs, nIn, nFrames, kInputMeterTag);

    const int channels = std::min(nIn, nOut);
    if (nFrames > 0 && nOut > 0)
    {
        const std::size_t bytes = sizeof(double) * static_cast<std::size_t>(nFrames);
        if (bypassed)
        {
            for (int c = 0; c < channels; ++c)
                if (inputs[c] != outputs[c])
                    std::memcpy(outputs[c], inputs[c], bytes);
        }
        else if (channels > 0)
            engine.process(inputs, outputs, channels, nFrames);
        // An output without an input of its own repeats the first output, or is silent when there is no input.
        for (int c = channels; c < nOut; ++c)
        {
            if (channels == 0)
                std::fill_n(outputs[c], nFrames, 0.0);
            else
                std::memcpy(outputs[c], outputs[0], bytes);
        }
    }

    if (nOut > 0 && nFrames > 0)
        meter(outputMeter, outputs, nOut, nFrames, kOutputMeterTag);
    publishView();
}

void Aubrevane::takeTargetRequests(bool bypassed) noexcept
{
    // Every record holds offsets that its sender worked out with the settings of its moment, so a setting changed
    // since then applies on top of the target, as it would had a block run in between. A record caught mid-write
    // is dropped, not retried: only a newer request of its own kind writes it, and that sender raises the request
    // again when it is done, so a retry could only bring back a request that a newer one has withdrawn.
    TargetValues values;
    learningStopped = false;
    if (restoredTargetPending.exchange(false) && restoredTarget.tryRead(values))
    {
        // A restored state replaces what was being learned: learning ends without installing anything, and
        // publishView must not clear the reference name the state just brought.
        learningStopped = engine.learning;
        engine.learning = false;
        if (values.valid)
            installTarget(engine, values);
        else
            clearTarget(engine);
        publishRequested = true;
    }

    if (clearTargetRequested.exchange(false))
    {
        engine.learning = false;
        clearTarget(engine);
        publishRequested = true; // the record may show a restored target that this request withdrew
    }

    for (auto [pending, record] :
         {std::pair{&fileBalancePending, &fileBalance}, std::pair{&loadedTargetPending, &loadedBalance}})
    {
        if (pending->exchange(false) && record->tryRead(values))
        {
            installTarget(engine, values);
            publishRequested = true;
        }
    }

    if (learnStartRequested.exchange(false) && !bypassed)
    {
        engine.learning = true;
        engine.learnCount = 0;
        engine.learnSums = {};
    }
    if (learnStopRequested.exchange(false) && engine.learning)
    {
        engine.learning = false;
        learningStopped = true;
    }
    if (bypassed && engine.learning)
    {
        engine.learning = false;
        learningStopped = true;
    }
}

void Aubrevane::postTargetRequest(std::atomic<bool>& request) noexcept
{
    // The audio thread takes waiting requests in a fixed order, and no block may run between two of them (a stopped
    // transport, the host's bypass). Withdrawing the older ones gives the outcome a block in between would have.
    for (std::atomic<bool>* pending : targetRequests())
        if (pending != &request)
            pending->store(false);
    if (&request == &restoredTargetPending || &request == &clearTargetRequested)
        learnStartRequested.store(false); // both end learning, so learning asked for before them never begins
    request.store(true);
}

void Aubrevane::applyParameterSettings() noexcept
{
    const ToneSettings settings = settingsFromParameters();
    if (settingsApplied && settings == lastAppliedSettings)
        return;
    for (int node = 0; node < kNumPreEqNodes; ++node)
        if (settings.preEq[node].shelf != engine.settings.preEq[node].shelf)
            engine.preEqShelfChanged = true;
    engine.settings = settings;
    engine.applySettings();
    lastAppliedSettings = settings;
    settingsApplied = true;
}

void Aubrevane::meter(MeterSender& sender, double** channels, int nChannels, int nFrames, int controlTag) noexcept
{
    if (nFrames < 1 || nChannels < 1)
        return;
    double* data = channels[0];
    if (nChannels >= 2 && meterMixBuffer.size() >= static_cast<std::size_t>(nFrames))
    {
        for (int i = 0; i < nFrames; ++i)
        {
            double sum = 0.0;
            for (int c = 0; c < nChannels; ++c)
                sum += channels[c][i];
            meterMixBuffer[i] = sum / nChannels;
        }
        data = meterMixBuffer.data();
    }
    sender.ProcessBlock(&data, nFrames, controlTag, 1, 0);
}

void Aubrevane::showEngineInView() noexcept
{
    for (int k = 0; k < kTargetBands; ++k)
    {
        view.gainDecibels[k].store(static_cast<float>(engine.appliedGainDecibels[k]), std::memory_order_relaxed);
        view.bandDecibels[k].store(static_cast<float>(10.0 * std::log10(engine.bandPowers[k] + 1e-30)),
                                   std::memory_order_relaxed);
    }
    view.aboveThreshold.store(engine.aboveThreshold, std::memory_order_relaxed);
    view.learning.store(engine.learning, std::memory_order_relaxed);
    view.learnProgress.store(static_cast<float>(std::min(1.0, engine.learnCount / engine.ticksToLearn())),
                             std::memory_order_relaxed);
}

void Aubrevane::publishView() noexcept
{
    showEngineInView();

    const bool learning = engine.learning;
    const bool valid = engine.targetValid;
    if (!learning && lastLearning)
    {
        if (!learningStopped && valid)
            referenceCleared.store(true); // learned from the input: the target has no reference file any more
        publishRequested = true;
    }
    else if (valid != lastTargetValid)
        publishRequested = true;

    // The thread that raised a waiting request has published its target already, and the engine's older one must
    // not cover it; the block that takes the request publishes.
    if (publishRequested && !targetRequestWaiting())
    {
        TargetValues values;
        values.offsetDecibels = engine.targetOffsetDecibels;
        values.balance = engine.targetBalance;
        values.valid = valid;
        // The main thread may hold the record while it restores a state; publish on a later block then.
        if (publishedTarget.tryWrite(values))
            publishRequested = false;
    }
    lastLearning = learning;
    lastTargetValid = valid;
}

std::array<std::atomic<bool>*, 4> Aubrevane::targetRequests() noexcept
{
    return {&restoredTargetPending, &clearTargetRequested, &fileBalancePending, &loadedTargetPending};
}

bool Aubrevane::targetRequestWaiting() noexcept
{
    const auto requests = targetRequests();
    return std::any_of(requests.begin(), requests.end(),
                       [](const std::atomic<bool>* pending) { return pending->load(); });
}

bool Aubrevane::hasLearnedTarget() const noexcept
{
    TargetValues values;
    return publishedTarget.tryRead(values) && values.valid;
}
