#include "plugin/Aubrevane.h"

#include "framework/igraphics/IGraphics.h"
#include "framework/igraphics/ITextControl.h"
#include "plugin/EditorSize.h"
#include "plugin/Version.h"

#include <algorithm>
#include <cmath>
#include <mutex>

using namespace aubrevane::plugin;
using iplug::igraphics::IColor;
using iplug::igraphics::IGraphics;

namespace
{

constexpr float kScaleTolerance = 0.001f;

/** A platform scale worth keeping: the platform may report nonsense while a window is being torn down. */
bool usableScale(float scale)
{
    return std::isfinite(scale) && scale > 0.0f;
}

/** Limits for platform scale p: the largest window grows with p above 1. */
void clampToLimits(int& width, int& height, float p)
{
    const int largestWidth = p > 1.0f ? static_cast<int>(lroundf(kLargestEditorWidth * p)) : kLargestEditorWidth;
    const int largestHeight = p > 1.0f ? static_cast<int>(lroundf(kLargestEditorHeight * p)) : kLargestEditorHeight;
    width = width < kSmallestEditorWidth ? kSmallestEditorWidth : std::min(width, largestWidth);
    height = height < kSmallestEditorHeight ? kSmallestEditorHeight : std::min(height, largestHeight);
}

bool tooWide(int width, int height)
{
    return static_cast<float>(width) / static_cast<float>(height) > kEditorAspect;
}

/**
 * Shortens the side that is too long for 720:532. A height rounded down can leave the window a little too wide, and
 * the width is then fitted to it, so that a corrected size is corrected to itself: a host that proposes it back, or
 * a saved size restored, stays as it is.
 */
void correctAspect(int& width, int& height)
{
    if (!tooWide(width, height))
        height = static_cast<int>(lroundf(static_cast<float>(width) / kEditorAspect));
    if (tooWide(width, height))
        width = static_cast<int>(lroundf(static_cast<float>(height) * kEditorAspect));
}

/** The status line's name: whole up to 28 bytes, else cut before a UTF-8 character that starts at 27 or earlier. */
std::string shortenedName(const std::string& name)
{
    constexpr std::size_t kLongest = 28;
    if (name.size() <= kLongest)
        return name;
    const auto continuation = [&name](std::size_t i) { return (static_cast<unsigned char>(name[i]) & 0xC0) == 0x80; };
    std::size_t cut = kLongest - 1;
    while (cut > 0 && continuation(cut))
        --cut;
    return name.substr(0, cut) + "\xE2\x80\xA6";
}

} // namespace

void Aubrevane::constrainWindowSize(int& width, int& height, float platform)
{
    clampToLimits(width, height, platform);
    correctAspect(width, height);
}

float Aubrevane::platformScale() const
{
    if (const IGraphics* graphics = GetUI())
        return graphics->GetPlatformWindowScale();
    return cachedPlatformScale;
}

float Aubrevane::editorScale() const
{
    if (const IGraphics* graphics = GetUI())
        return static_cast<float>(static_cast<int>(static_cast<float>(graphics->Width()) * graphics->GetDrawScale())) /
               kEditorWidth;
    if (GetEditorWidth() > 0)
        return static_cast<float>(GetEditorWidth()) / (kEditorWidth * cachedPlatformScale);
    return 1.0f;
}

void Aubrevane::applyEditorScale(float scale)
{
    IGraphics* graphics = GetUI();
    if (graphics == nullptr || !std::isfinite(scale))
        return;
    int width = static_cast<int>(lroundf(kEditorWidth * scale));
    int height = static_cast<int>(lroundf(kEditorHeight * scale));
    constrainWindowSize(width, height, graphics->GetPlatformWindowScale());
    const float fitted = std::min(static_cast<float>(height) / kEditorHeight, static_cast<float>(width) / kEditorWidth);
    graphics->Resize(kEditorWidth, kEditorHeight, fitted, true);
}

bool Aubrevane::ConstrainEditorResize(int& width, int& height) const
{
    // Clamping and the aspect correction always end inside the limits, so a proposal needed no correction exactly
    // when it comes out unchanged.
    const int proposedWidth = width;
    const int proposedHeight = height;
    constrainWindowSize(width, height, platformScale());
    return width == proposedWidth && height == proposedHeight;
}

void Aubrevane::OnParentWindowResize(int width, int height)
{
    IGraphics* graphics = GetUI();
    if (graphics == nullptr)
        return;
    const float p = graphics->GetPlatformWindowScale();
    if (!usableScale(p))
        return;
    cachedPlatformScale = p;
    constrainWindowSize(width, height, p);
    const float scale =
        std::min(static_cast<float>(width) / (kEditorWidth * p), static_cast<float>(height) / (kEditorHeight * p));
    if (std::fabs(scale - graphics->GetDrawScale()) > kScaleTolerance)
        graphics->Resize(kEditorWidth, kEditorHeight, scale, false);
    SetEditorSize(width, height);
}

void Aubrevane::setAccentIndex(int index)
{
    const int accent = index >= 0 && index < kNumAccents ? index : 0;
    if (accentIndex.exchange(accent) != accent)
        editorRebuildRequested.store(true);
}

IColor Aubrevane::resolvedAccent(int alpha) const
{
    const int index = accentIndex.load();
    const Accent& accent = kAccents[index >= 0 && index < kNumAccents ? index : 0];
    return {alpha, accent.red, accent.green, accent.blue};
}

void Aubrevane::trackLabel(WDL_String& label) const
{
    label.Set("");
}

bool Aubrevane::trackColour(int&, int&, int&) const
{
    return false; // no host here reports its track colour
}

void Aubrevane::tell(const std::string& text, const std::string& caption)
{
    if (IGraphics* graphics = GetUI())
        graphics->ShowMessageBox(text.c_str(), caption.c_str(), iplug::igraphics::kMB_OK);
}

bool Aubrevane::ask(const std::string& text, const std::string& caption)
{
    IGraphics* graphics = GetUI();
    return graphics != nullptr && graphics->ShowMessageBox(text.c_str(), caption.c_str(),
                                                           iplug::igraphics::kMB_YESNO) == iplug::igraphics::kYES;
}

std::string Aubrevane::referenceName() const
{
    std::lock_guard lock(labelMutex);
    return referenceLabel;
}

void Aubrevane::onClearLearnedTarget()
{
    {
        std::lock_guard lock(labelMutex);
        referenceLabel.clear();
    }
    dropLearnFailure();
    claimAndWrite(publishedTarget, TargetValues{}); // shown at once, like a restored target
    postTargetRequest(clearTargetRequested);
}

void Aubrevane::onLearnFromInput()
{
    dropLearnFailure();
    learnStartRequested.store(true);
}

void Aubrevane::dropLearnFailure()
{
    {
        std::lock_guard lock(labelMutex);
        learnError.clear();
    }
    int failed = kLearnFailed; // with its reason gone, a failure notice must go too; an analysis under way stays
    learnState.compare_exchange_strong(failed, kLearnIdle);
}

void Aubrevane::onUpdatePillResized(const iplug::igraphics::IRECT& pill)
{
    IGraphics* graphics = GetUI();
    if (graphics == nullptr)
        return;
    iplug::igraphics::IControl* title = graphics->GetControlWithTag(kTitleTag);
    if (title == nullptr)
        return;
    const bool empty = pill.L == 0.0f && pill.T == 0.0f && pill.R == 0.0f && pill.B == 0.0f;
    title->SetTargetAndDrawRECTs({28.0f, 48.0f, empty ? 428.0f : pill.L - 10.0f, 82.0f});
    title->SetMouseIsOver(false);
    title->OnResize();
    graphics->SetAllControlsDirty();
}

void Aubrevane::OnIdle()
{
    inputMeter.TransmitData(*this);
    outputMeter.TransmitData(*this);

    if (const IGraphics* graphics = GetUI(); graphics && usableScale(graphics->GetPlatformWindowScale()))
        cachedPlatformScale = graphics->GetPlatformWindowScale();

    if (accentIndex.load() == kDawColourAccent)
    {
        int red = 0, green = 0, blue = 0;
        const std::uint32_t colour = trackColour(red, green, blue)
                                         ? 0xFF000000u | static_cast<std::uint32_t>(red << 16 | green << 8 | blue)
                                         : 0xFFFFFFFFu;
        if (colour != lastTrackColour)
        {
            lastTrackColour = colour;
            editorRebuildRequested.store(true);
        }
    }

    if (editorRebuildRequested.exchange(false))
        rebuildEditor();

    WDL_String track;
    trackLabel(track);
    if (!(track == titleText))
    {
        titleText = track;
        if (IGraphics* graphics = GetUI())
            if (auto* title = dynamic_cast<iplug::igraphics::ITextControl*>(graphics->GetControlWithTag(kTitleTag)))
                title->SetStr(titleText.GetLength() > 0 ? titleText.Get() : "AUBREVANE");
    }

    // Deferred saves run whether or not an editor is open; without one, the question whether to replace an existing
    // file is answered No (see ask).
    if (pendingTargetSave)
    {
        const std::string name = std::move(*pendingTargetSave);
        pendingTargetSave.reset();
        saveTarget(name);
    }
    if (pendingPresetSave)
    {
        const std::string name = std::move(*pendingPresetSave);
        pendingPresetSave.reset();
        savePreset(name, true);
    }

    if (referenceCleared.exchange(false))
    {
        std::lock_guard lock(labelMutex);
        referenceLabel.clear();
    }

    trackPresetModified();

    const bool modified = presetModified();
    if (modified != modifiedShown)
    {
        modifiedShown = modified;
        if (IGraphics* graphics = GetUI())
            if (auto* bar = graphics->GetControlWithTag(kPresetBarTag))
                bar->SetDirty(false);
    }

    updateStatusLine();
}

void Aubrevane::rebuildEditor()
{
    IGraphics* graphics = GetUI();
    if (graphics == nullptr)
        return;
    graphics->RemoveAllControls();
    layout(graphics);
    for (int index = 0; index < kNumParams; ++index)
        SendParameterValueFromDelegate(index, std::clamp(GetParam(index)->GetNormalized(), 0.0, 1.0), true);
    graphics->SetAllControlsDirty();
}

void Aubrevane::trackPresetModified()
{
    if (presetSnapshotRetake.exchange(false))
    {
        {
            std::lock_guard lock(labelMutex);
            snapshotReferenceName = referenceLabel;
        }
        std::vector<double> snapshot = soundSnapshot();
        if (snapshot.empty())
        {
            presetSnapshotRetake.store(true); // the target record was being written: try on the next tick
            return;
        }
        presetSnapshot = std::move(snapshot);
        modifiedSinceSnapshot = modifiedCarried;
        modifiedCarried = false;
        return;
    }
    if (modifiedSinceSnapshot || presetName().empty())
        return;
    const std::vector<double> fresh = soundSnapshot();
    if (fresh.empty() || presetSnapshot.empty() || fresh.size() != presetSnapshot.size())
        return;
    for (std::size_t i = 0; i < fresh.size(); ++i)
    {
        if (std::fabs(fresh[i] - presetSnapshot[i]) > std::max(std::fabs(fresh[i]), 1.0) * 1e-6)
        {
            modifiedSinceSnapshot = true;
            return;
        }
    }
}

void Aubrevane::updateStatusLine()
{
    TargetValues target;
    if (!publishedTarget.tryRead(target))
        return; // the audio thread is writing the record: skip this tick
    const std::string reference = referenceName();
    std::string text = std::string("Aubrevane ") + kVersionText + " \xC2\xB7 0 samples latency \xC2\xB7 target: ";
    if (!target.valid)
        text += "balanced";
    else if (reference.empty())
        text += "learned from input";
    else
        text += "learned from " + shortenedName(reference);
    if (text == statusText)
        return;
    if (IGraphics* graphics = GetUI())
    {
        if (auto* status = dynamic_cast<iplug::igraphics::ITextControl*>(graphics->GetControlWithTag(kStatusTag)))
        {
            status->SetStr(text.c_str());
            statusText = std::move(text);
        }
    }
}
