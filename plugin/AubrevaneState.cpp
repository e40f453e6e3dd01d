#include "plugin/Aubrevane.h"

#include "framework/igraphics/IGraphics.h"
#include "plugin/EditorSize.h"

#include <cmath>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

using namespace aubrevane::plugin;

namespace
{

constexpr int kPublishedReadAttempts = 100;

/** Appends one number and says whether the chunk took it. */
template <typename T> bool put(iplug::IByteChunk& chunk, T value)
{
    return chunk.Put(&value) > 0;
}

bool putText(iplug::IByteChunk& chunk, const std::string& text)
{
    return chunk.PutStr(text.c_str()) > 0;
}

} // namespace

bool Aubrevane::writeParams(iplug::IByteChunk& chunk, int first, int end) const
{
    for (int index = first; index < end; ++index)
        if (!put(chunk, GetParam(index)->Value()))
            return false;
    return true;
}

int Aubrevane::readParams(const iplug::IByteChunk& chunk, int pos, int first, int end)
{
    if (pos < 0)
        return pos;
    for (int index = first; index < end; ++index)
    {
        double value = 0.0;
        pos = chunk.Get(&value, pos);
        if (pos < 0)
            return -1;
        GetParam(index)->Set(value); // stepped values round to the step; all clamp to the range, NaN gives the default
    }
    return pos;
}

bool Aubrevane::serializeCore(iplug::IByteChunk& chunk) const
{
    // The window size last accepted, with an editor open or not: every resize of an open editor stores it, and the
    // next editor opens from it. Whole units taken from the open editor's draw scale can lie beside that size (the
    // scale follows a host's resize only beyond a small tolerance) and would shrink a little with every reopen.
    const int width = static_cast<int>(lroundf(static_cast<float>(GetEditorWidth()) / cachedPlatformScale));
    const int height = static_cast<int>(lroundf(static_cast<float>(GetEditorHeight()) / cachedPlatformScale));

    TargetValues target;
    std::string reference;
    {
        // The reference worker changes the name and the published target together under this lock.
        std::lock_guard lock(labelMutex);
        if (!publishedTarget.read(target, kPublishedReadAttempts))
            target = TargetValues{}; // the audio thread kept the record busy: store no target rather than a torn one
        reference = referenceLabel;
    }

    const std::int32_t version = kStateVersion;
    const std::int32_t accent = accentIndex.load();
    const std::int32_t present = target.valid ? 1 : 0;
    const std::int32_t bypassed = GetBypassed() ? 1 : 0;
    const std::int32_t tailCount = kTailParamCount;

    bool written = put(chunk, kStateTag) && put(chunk, version) && put(chunk, accent) && put(chunk, width) &&
                   put(chunk, height) && put(chunk, present);
    for (double offset : target.offsetDecibels)
        written = written && put(chunk, offset);
    written = written && putText(chunk, reference) && writeParams(chunk, 0, kHeadParamCount);
    for (double value : target.balance)
        written = written && put(chunk, value);
    return written && put(chunk, bypassed) && put(chunk, tailCount) && writeParams(chunk, kHeadParamCount, kNumParams);
}

bool Aubrevane::SerializeState(iplug::IByteChunk& chunk) const
{
    // A chunk that fails an append stays failed and reads as empty, so the host never receives a part of a state.
    try
    {
        if (!serializeCore(chunk))
            return false;
        std::string preset;
        {
            std::lock_guard lock(labelMutex);
            preset = presetLabel;
        }
        const std::int32_t bypassed = GetBypassed() ? 1 : 0;
        const std::int32_t modified = presetModified() ? 1 : 0;
        return put(chunk, bypassed) && putText(chunk, preset) && put(chunk, modified) && chunk.Size() > 0;
    }
    catch (const std::exception&)
    {
        return false;
    }
}

int Aubrevane::UnserializeState(const iplug::IByteChunk& chunk, int startPos)
{
    StoredState state;
    switch (readState(chunk.GetData(), static_cast<std::size_t>(chunk.Size()), startPos, state))
    {
    case StateReading::NotOurs:
        return UnserializeParams(chunk, startPos);
    case StateReading::Damaged:
        return -1;
    case StateReading::Whole:
    case StateReading::CutShort:
        break;
    }
    applyState(state, chunk);
    return state.endPosition;
}

void Aubrevane::applyState(const StoredState& state, const iplug::IByteChunk& chunk)
{
    {
        std::lock_guard lock(labelMutex);
        referenceLabel = state.targetPresent ? state.referenceName : std::string();
    }
    dropLearnFailure();
    setAccentIndex(state.accent);

    int width = state.width;
    int height = state.height;
    if (width > 0 && height > 0 &&
        std::fabs(static_cast<float>(width) / static_cast<float>(height) - kEditorAspect) > 0.01f)
    {
        width = kEditorWidth;
        height = kEditorHeight;
    }
    savedEditorWidth = width;
    savedEditorHeight = height;
    if (GetUI() == nullptr && width > 0 && height > 0)
    {
        const float s = cachedPlatformScale;
        int w = static_cast<int>(lroundf(static_cast<float>(width) * s));
        int h = static_cast<int>(lroundf(static_cast<float>(height) * s));
        constrainWindowSize(w, h, s);
        SetEditorSize(w, h);
    }

    readParams(chunk, state.headParamsAt, 0, state.headParamsRead);
    for (int index = kHeadParamCount; index < kNumParams; ++index)
        GetParam(index)->SetToDefault();
    readParams(chunk, state.tailParamsAt, kHeadParamCount, kHeadParamCount + state.tailParamsRead);

    {
        std::lock_guard lock(labelMutex);
        presetLabel = state.presetName;
    }
    retakePresetSnapshot(state.presetModified);

    for (int index = 0; index < kNumParams; ++index)
    {
        OnParamChange(index, iplug::kPresetRecall);
        OnParamChangeUI(index, iplug::kPresetRecall);
    }

    TargetValues target;
    target.offsetDecibels = state.headTarget;
    target.balance = state.balance;
    target.valid = state.targetPresent;
    // A version-1 state holds a balance where later ones hold offsets; it is learned with the state's own settings,
    // which the parameters hold by now.
    if (state.version < 2 && target.valid)
        target = offsetsForBalance(state.headTarget);
    // Published before the request is raised, so that the block taking the request publishes last.
    claimAndWrite(publishedTarget, target);
    restoredTarget.write(target);
    postTargetRequest(restoredTargetPending);
}

// main thread or the reference worker: the parameters and the sample rate are atomics
TargetValues Aubrevane::offsetsForBalance(const aubrevane::dsp::Balance& balance) const
{
    // The published target and every target request hold offsets, since the state chunk stores them and the audio
    // thread installs them as they are. A balance (from an old state, a loaded target or a reference file) is
    // turned into offsets the way the engine learns one, on a private engine with the current parameters.
    auto probe = std::make_unique<aubrevane::dsp::ToneCorrector>();
    probe->prepare(GetSampleRate() > 0.0 ? GetSampleRate() : 48000.0);
    probe->settings = settingsFromParameters();
    probe->applySettings();
    probe->learnFromBalance(balance);
    TargetValues values;
    values.offsetDecibels = probe->targetOffsetDecibels;
    values.balance = probe->targetBalance;
    values.valid = true;
    return values;
}

void Aubrevane::claimAndWrite(TargetSnapshot& record, const TargetValues& values)
{
    // The audio thread holds the claim only while it stores 25 values, so this rarely loops at all.
    while (!record.tryWrite(values))
        std::this_thread::yield();
}
