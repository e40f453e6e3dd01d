#pragma once

#include "dsp/ToneCorrector.h"
#include "dsp/ToneSettings.h"
#include "framework/IPeakAvgSender.h"
#include "framework/IPlugAU.h"
#include "framework/WDL_String.h"
#include "framework/igraphics/IGraphicsStructs.h"
#include "offline/SavedTarget.h"
#include "plugin/Accents.h"
#include "plugin/AudioRoad.h"
#include "plugin/Parameters.h"
#include "plugin/StateChunk.h"
#include "plugin/TargetSnapshot.h"
#include "plugin/ToneView.h"
#include "wendlebrak/presets/Presets.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace wendlebrak::updates
{
class UpdateCheck;
}

class AubrevaneInterface;

/**
 * The tone-matching equaliser as the host sees it: parameters to engine settings, pending target requests to the
 * engine, metering and a published view for the editor, the state chunk, the idle tick and the user's preset and
 * target operations. One object per instance, built in place by the factory.
 *
 * Threads: the host's audio thread runs ProcessBlock (and OnReset at the start of a render); everything else runs on
 * the main thread, except the reference-file worker (learnFromFile) and updateHook, which the host's background
 * thread runs through OnBackgroundWork. Targets cross threads only through the TargetSnapshot records and their
 * pending flags; labelMutex guards the three labels and is never taken on the audio thread.
 */
class Aubrevane : public iplug::IPlugAU
{
public:
    explicit Aubrevane(const iplug::InstanceInfo& info);
    ~Aubrevane() override;
    Aubrevane(const Aubrevane&) = delete;
    Aubrevane& operator=(const Aubrevane&) = delete;

    // Framework overrides. The host's main thread calls all but ProcessBlock and OnReset.
    void OnParentWindowResize(int width, int height) override;
    bool ConstrainEditorResize(int& width, int& height) const override;
    bool SerializeState(iplug::IByteChunk& chunk) const override;
    int UnserializeState(const iplug::IByteChunk& chunk, int startPos) override;
    void OnIdle() override;
    void OnReset() override; // audio thread before a render, or main thread while rendering is stopped
    void ProcessBlock(double** inputs, double** outputs, int nFrames) override; // audio thread
    /** A host's background thread: runs updateHook once; closing the instance ends its transfer early. */
    void OnBackgroundWork(const std::atomic<bool>& stopRequested) override;
    /** The product's interface (aubrevane::plugin::ProductInterface) for a host that loaded the bundle. */
    void* GetHostInterface(std::uint32_t interfaceId) override;

    // Parameters to engine settings; audio thread, once per block.
    aubrevane::dsp::ToneSettings settingsFromParameters() const noexcept;

    // Editor size and accent; main thread.
    float platformScale() const;
    float editorScale() const;
    void applyEditorScale(float scale);
    void setAccentIndex(int index);
    int currentAccentIndex() const noexcept { return accentIndex.load(); }
    iplug::igraphics::IColor resolvedAccent(int alpha) const;
    void trackLabel(WDL_String& label) const;
    bool trackColour(int& red, int& green, int& blue) const;

    // State chunk pieces; main thread.
    bool serializeCore(iplug::IByteChunk& chunk) const;
    bool writeParams(iplug::IByteChunk& chunk, int first, int end) const;
    /** Sets parameters first..end-1 from the doubles at pos; the position after them, -1 when one does not fit (those
     *  before it keep their new values), pos itself when pos < 0. */
    int readParams(const iplug::IByteChunk& chunk, int pos, int first, int end);

    // Message boxes through the open editor: without one, tell shows nothing and ask answers No. Main thread.
    void tell(const std::string& text, const std::string& caption);
    bool ask(const std::string& text, const std::string& caption);
    std::string referenceName() const; // any thread but audio

    // Presets (AubrevanePresets.cpp); main thread.
    std::filesystem::path presetDirectory() const;
    std::vector<wendlebrak::presets::SavedPreset> savedPresets() const;
    std::string presetName() const;
    std::vector<double> soundSnapshot();
    bool presetModified() const;
    void retakePresetSnapshot(bool modified);
    void loadPreset(const wendlebrak::presets::SavedPreset& preset);
    void savePreset(const std::string& name, bool confirm);
    /** The file a save under `name` writes or replaces now; empty for a blank name or without an absolute folder. */
    std::filesystem::path presetFileForSave(const std::string& name) const;
    void removePreset(const wendlebrak::presets::SavedPreset& preset);

    // Targets (AubrevaneTargets.cpp); main thread except where noted.
    void promptForReference();
    void learnFromFile(const std::string& path);
    std::filesystem::path targetDirectory() const;
    std::vector<aubrevane::offline::SavedTarget> savedTargets() const;
    std::string defaultTargetName();
    void loadTarget(const aubrevane::offline::SavedTarget& target);
    void saveTarget(const std::string& name);
    /** The file a save under `name` writes or replaces now; empty for a blank name or without an absolute folder. */
    std::filesystem::path targetFileForSave(const std::string& name) const;
    void removeTarget(const aubrevane::offline::SavedTarget& target);

    // The editor's roads into the plug-in, wired by layout; main thread.
    void layout(iplug::igraphics::IGraphics* graphics);
    float currentEditorScale() const { return editorScale(); }
    void applyWindowScale(float scale) { applyEditorScale(scale); }
    void chooseAccent(int index) { setAccentIndex(index); } // the editor rebuilds at the next idle tick
    bool hasLearnedTarget() const noexcept; // one read of publishedTarget; a read that meets a writer says no
    void onClearLearnedTarget();
    void onLearnFromInput();
    void onLearnFromFile() { promptForReference(); }
    void onCancelLearning() noexcept { learnStopRequested.store(true); }
    std::vector<aubrevane::offline::SavedTarget> listSavedTargets() const { return savedTargets(); }
    std::string suggestTargetName() { return defaultTargetName(); }
    void onLoadTarget(const aubrevane::offline::SavedTarget& target) { loadTarget(target); }
    void onSaveTarget(const std::string& name) { pendingTargetSave = name; }
    void onDeleteTarget(const aubrevane::offline::SavedTarget& target) { removeTarget(target); }
    std::vector<std::string> listPresetNames() const;
    std::string currentPresetName() const { return presetName(); }
    void loadPresetNamed(const std::string& name);
    void savePresetNamed(const std::string& name);
    void removePresetNamed(const std::string& name);
    bool presetIsModified() const { return presetModified(); }
    void onUpdatePillResized(const iplug::igraphics::IRECT& pill);
    int learningState() const noexcept { return learnState.load(); }
    std::shared_ptr<wendlebrak::updates::UpdateCheck> updates() const { return updateCheck; }
    /** Fills the tone display's per-frame reading (any record with the display's field names). */
    template <typename Reading> Reading toneDisplayReading() const;
    /** Fills the learn pill's state record (learning, hasLearnedTarget, analysingFile, learnProgress). */
    template <typename State> State learnPillState() const;

    /** The update check's network step; run it on a background thread, never on the audio or main thread. */
    std::function<void()> updateHook;

    /** What a learn worker is: 0 idle, 1 analysing a reference file, 2 the last analysis failed. */
    enum LearnState
    {
        kLearnIdle = 0,
        kLearnAnalysing = 1,
        kLearnFailed = 2
    };

private:
    friend struct AubrevaneProbe; // the tests' window onto the records below

    using TargetSnapshot = aubrevane::plugin::TargetSnapshot;
    using TargetValues = aubrevane::plugin::TargetValues;
    using MeterSender = iplug::IPeakAvgSender<1, 64>;

    iplug::igraphics::IGraphics* makeGraphics();
    void publishView() noexcept;      // audio
    void showEngineInView() noexcept; // audio, or OnReset
    void meter(MeterSender& sender, double** channels, int nChannels, int nFrames, int controlTag) noexcept; // audio
    void takeTargetRequests(bool bypassed) noexcept;                                                         // audio
    std::array<std::atomic<bool>*, 4> targetRequests() noexcept; // the four target requests a new one withdraws
    bool targetRequestWaiting() noexcept;                        // audio
    void applyParameterSettings() noexcept;                      // audio
    /** Raises one target request and withdraws the older ones still waiting, so the latest request decides. */
    void postTargetRequest(std::atomic<bool>& request) noexcept; // main thread or the reference worker
    void applyState(const aubrevane::plugin::StoredState& state, const iplug::IByteChunk& chunk);
    /** Withdraws the notice of a failed analysis and its reason, as a new target or learning request does. */
    void dropLearnFailure();
    static void claimAndWrite(TargetSnapshot& record, const TargetValues& values); // main or worker; may yield
    TargetValues offsetsForBalance(const aubrevane::dsp::Balance& balance) const;  // main or worker thread
    /** Clamps a window size to the limits for platform scale `platform` and keeps it at 720:532. */
    static void constrainWindowSize(int& width, int& height, float platform);
    void updateStatusLine();
    void trackPresetModified();
    void rebuildEditor();
    static void learnWorker(Aubrevane* plugin, std::string path); // worker thread
    /** A typed preset or target name without the spaces and tabs around it. */
    static std::string withoutOuterBlanks(const std::string& name);

    // Preset and target work behind the user operations above (AubrevanePresets.cpp, AubrevaneTargets.cpp).
    void loadPresetFile(const wendlebrak::presets::SavedPreset& preset);
    void savePresetFile(const std::string& name, bool confirm);
    void removePresetFile(const wendlebrak::presets::SavedPreset& preset);
    void loadTargetFile(const aubrevane::offline::SavedTarget& target);
    void saveTargetFile(const std::string& name);
    void removeTargetFile(const aubrevane::offline::SavedTarget& target);

    float cachedPlatformScale = 1.0f;
    aubrevane::dsp::ToneCorrector engine;

    // Audio thread only.
    aubrevane::dsp::ToneSettings lastAppliedSettings;
    bool settingsApplied = false;
    bool lastLearning = false;
    bool lastTargetValid = false;
    bool publishRequested = false;
    bool learningStopped = false;

    std::atomic<bool> referenceCleared{false};
    MeterSender inputMeter;
    MeterSender outputMeter;
    std::vector<double> meterMixBuffer; // sized by OnReset only
    aubrevane::plugin::ToneView view;

    // Requests to the audio thread, taken there with exchange(false).
    std::atomic<bool> learnStartRequested{false};
    std::atomic<bool> learnStopRequested{false};
    std::atomic<bool> clearTargetRequested{false};
    std::atomic<bool> restoredTargetPending{false};

    // Its writers claim it with tryWrite: publishView, and the main thread and the reference worker before they raise
    // a target request. The audio thread retries next block.
    TargetSnapshot publishedTarget;
    TargetSnapshot restoredTarget;

    std::thread learnThread;
    // Raised before learnThread is joined on closing, so a long analysis stops at its next block and publishes nothing.
    std::atomic<bool> learnCancelRequested{false};
    std::atomic<int> learnState{kLearnIdle};
    std::atomic<bool> fileBalancePending{false};
    TargetSnapshot fileBalance;

    mutable aubrevane::plugin::LabelMutex labelMutex;
    std::string referenceLabel; // referenceName(): file, loaded target's name, or empty; labelMutex
    std::string learnError;     // labelMutex
    std::string statusText;     // main thread: the status line last sent to the editor

    TargetSnapshot loadedBalance;
    std::atomic<bool> loadedTargetPending{false};
    std::optional<std::string> pendingTargetSave;

    std::string presetLabel; // presetName(); labelMutex
    std::vector<double> presetSnapshot;
    std::atomic<bool> presetSnapshotRetake{false};
    bool modifiedSinceSnapshot = false;
    bool modifiedCarried = false;
    std::string snapshotReferenceName;
    bool modifiedShown = false;
    std::optional<std::string> pendingPresetSave;

    int savedEditorWidth = 0;
    int savedEditorHeight = 0;
    std::shared_ptr<wendlebrak::updates::UpdateCheck> updateCheck;
    std::atomic<int> accentIndex{aubrevane::plugin::kDawColourAccent};
    std::atomic<bool> editorRebuildRequested{false};
    std::uint32_t lastTrackColour = 0xFFFFFFFFu; // no colour
    WDL_String titleText;
    std::unique_ptr<AubrevaneInterface> hostInterface; // made when a host first asks for it
};

template <typename Reading> Reading Aubrevane::toneDisplayReading() const
{
    Reading reading{};
    for (int k = 0; k < aubrevane::plugin::kTargetBands; ++k)
    {
        reading.gainDecibels[k] = view.gain(k);
        reading.bandDecibels[k] = view.level(k);
    }
    reading.aboveThreshold = view.aboveThreshold.load(std::memory_order_relaxed);
    reading.idle = GetParam(kAmount)->Value() <= 0.0;
    reading.bypassed = GetParam(kBypass)->Value() >= 0.5;
    reading.learning = view.learning.load(std::memory_order_relaxed);
    reading.learnProgress = view.learnProgress.load(std::memory_order_relaxed);
    reading.targetValid = hasLearnedTarget();
    reading.analysingFile = learnState.load() == kLearnAnalysing;
    {
        std::lock_guard lock(labelMutex);
        reading.targetName = referenceLabel;
        if (learnState.load() == kLearnFailed)
            reading.message = "COULD NOT LEARN: " + learnError;
    }
    reading.sampleRate = GetSampleRate() > 0.0 ? GetSampleRate() : 48000.0;
    reading.highPassOn = GetParam(kHighPassOn)->Value() >= 0.5;
    reading.highPassHertz = GetParam(kHighPassFreq)->Value();
    reading.lowPassOn = GetParam(kLowPassOn)->Value() >= 0.5;
    reading.lowPassHertz = GetParam(kLowPassFreq)->Value();
    return reading;
}

template <typename State> State Aubrevane::learnPillState() const
{
    State state{};
    state.learning = view.learning.load(std::memory_order_relaxed);
    state.hasLearnedTarget = hasLearnedTarget();
    state.analysingFile = learnState.load() == kLearnAnalysing;
    state.learnProgress = view.learnProgress.load(std::memory_order_relaxed);
    return state;
}
