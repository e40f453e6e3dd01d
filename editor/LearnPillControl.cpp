#include "editor/LearnPillControl.h"

#include "framework/igraphics/IGraphics.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

using namespace iplug::igraphics;

namespace
{

constexpr const char* kLearnFromInput = "Learn from input";
constexpr const char* kLearnFromFile = "Learn from reference file\u2026";
constexpr const char* kFactoryTargets = "Factory targets";
constexpr const char* kLoadTarget = "Load target";
constexpr const char* kSaveTarget = "Save target\u2026";
constexpr const char* kDeleteTarget = "Delete target";
constexpr const char* kCancelLearning = "Cancel learning";
constexpr const char* kClearTarget = "Clear learned target (use the balanced target)";

// Three ranges of this stride still fit an int; a list this long cannot be held in memory anyway.
constexpr int kLargestTagStride = 100000000;

/** The learning progress limited to 0..1; anything not finite is 0. */
float usableProgress(float progress)
{
    return std::isfinite(progress) ? std::clamp(progress, 0.0f, 1.0f) : 0.0f;
}

int flagsFor(bool disabled)
{
    return disabled ? IPopupMenu::Item::kDisabled : IPopupMenu::Item::kNoFlags;
}

/** A submenu of one item per target, tagged base + index. */
IPopupMenu* targetSubmenu(const std::vector<aubrevane::offline::SavedTarget>& targets, int tagBase, bool disabled)
{
    auto* submenu = new IPopupMenu();
    for (std::size_t i = 0; i < targets.size(); ++i)
        submenu->AddItem(targets[i].name.c_str(), -1, flagsFor(disabled))->SetTag(tagBase + static_cast<int>(i));
    return submenu;
}

/** The list entry a tag names, or null when the tag lies outside base .. base + size. */
const aubrevane::offline::SavedTarget* entryForTag(const std::vector<aubrevane::offline::SavedTarget>& targets,
                                                   int tagBase, int tag)
{
    if (tag < tagBase || static_cast<std::size_t>(tag - tagBase) >= targets.size())
        return nullptr;
    return &targets[static_cast<std::size_t>(tag - tagBase)];
}

} // namespace

LearnPillControl::LearnPillControl(const IRECT& bounds, const IText& labelStyle, const IText& entryStyle,
                                   const IColor& accent, Actions actions)
    : IControl(bounds), labelStyle(labelStyle), entryStyle(entryStyle), accent(accent), actions(std::move(actions))
{
    SetTextEntryLength(kNameEntryLength);
}

LearnPillControl::State LearnPillControl::currentState() const
{
    return actions.state ? actions.state() : State{};
}

void LearnPillControl::OnMouseDown(float, float, const IMouseMod&)
{
    buildMenu();
    if (IGraphics* ui = GetUI())
        ui->CreatePopupMenu(*this, menu, GetRECT());
}

void LearnPillControl::buildMenu()
{
    const State state = currentState();
    const bool busy = state.learning || state.analysingFile;

    menu.Clear(true);
    menu.AddItem(kLearnFromInput, -1, flagsFor(busy));
    menu.AddItem(kLearnFromFile, -1, flagsFor(busy));
    menu.AddSeparator();

    factoryList = actions.factoryTargets ? actions.factoryTargets() : std::vector<aubrevane::offline::SavedTarget>{};
    savedList = actions.savedTargets ? actions.savedTargets() : std::vector<aubrevane::offline::SavedTarget>{};
    tagStride = kLoadTagBase;
    const std::size_t longest = std::max(factoryList.size(), savedList.size());
    while (tagStride < kLargestTagStride && longest >= static_cast<std::size_t>(tagStride))
        tagStride *= 10;
    for (auto* list : {&factoryList, &savedList})
    {
        if (list->size() >= static_cast<std::size_t>(tagStride))
            list->resize(static_cast<std::size_t>(tagStride) - 1);
    }

    menu.AddItem(kFactoryTargets, targetSubmenu(factoryList, 3 * tagStride, busy),
                 flagsFor(busy || factoryList.empty()));
    IPopupMenu* loadMenu = targetSubmenu(savedList, tagStride, busy);
    IPopupMenu* deleteMenu = targetSubmenu(savedList, 2 * tagStride, false);
    menu.AddItem(kLoadTarget, loadMenu, flagsFor(busy || savedList.empty()));
    menu.AddItem(kSaveTarget, -1, flagsFor(!state.hasLearnedTarget || busy));
    menu.AddItem(kDeleteTarget, deleteMenu, flagsFor(savedList.empty()));

    if (state.learning || state.hasLearnedTarget)
    {
        menu.AddSeparator();
        menu.AddItem(state.learning ? kCancelLearning : kClearTarget);
    }
}

void LearnPillControl::OnPopupMenuSelection(IPopupMenu* chosenMenu, int)
{
    if (chosenMenu == nullptr)
        return;
    const IPopupMenu::Item* item = chosenMenu->GetChosenItem(); // null unless within the menu's items
    if (item == nullptr)
        return;

    // Tags before texts, so a target named like a command still loads or deletes that target.
    const int tag = item->GetTag();
    if (const auto* factory = entryForTag(factoryList, 3 * tagStride, tag))
    {
        if (actions.loadTarget)
            actions.loadTarget(*factory);
        return;
    }
    if (const auto* saved = entryForTag(savedList, tagStride, tag))
    {
        if (actions.loadTarget)
            actions.loadTarget(*saved);
        return;
    }
    if (const auto* doomed = entryForTag(savedList, 2 * tagStride, tag))
    {
        if (actions.removeTarget)
            actions.removeTarget(*doomed);
        return;
    }

    const std::string text = item->GetText();
    const std::function<void()>* command = nullptr;
    if (text == kSaveTarget)
        openNameEntry();
    else if (text == kLearnFromInput)
        command = &actions.learnFromInput;
    else if (text == kLearnFromFile)
        command = &actions.learnFromFile;
    else if (text == kCancelLearning)
        command = &actions.cancel;
    else if (text == kClearTarget)
        command = &actions.clear;
    if (command != nullptr && *command)
        (*command)();
}

void LearnPillControl::openNameEntry()
{
    IGraphics* ui = GetUI();
    if (ui == nullptr)
        return;
    const std::string initial = actions.defaultTargetName ? actions.defaultTargetName() : std::string();
    const IRECT& bounds = GetRECT();
    const IRECT entry{bounds.R - kNameEntryWidth, bounds.T + 3.0f, bounds.R, bounds.B - 3.0f};
    SetTextEntryLength(kNameEntryLength);
    ui->CreateTextEntry(*this, entryStyle, entry, initial.c_str());
}

void LearnPillControl::OnTextEntryCompletion(const char* text, int)
{
    // Passed as typed: trimming and checking the name are the plug-in's.
    if (text != nullptr && actions.saveTarget)
        actions.saveTarget(text);
}

std::string LearnPillControl::labelFor(const State& state)
{
    if (state.learning)
        return learningLabel(state.learnProgress);
    if (state.analysingFile)
        return "ANALYSING";
    if (state.hasLearnedTarget)
        return "LEARNED";
    return "LEARN TARGET";
}

std::string LearnPillControl::learningLabel(float progress)
{
    return "LEARNING " + std::to_string(static_cast<int>(usableProgress(progress) * 100.0f + 0.5f)) + "%";
}

int LearnPillControl::learningDotAlpha(float progress)
{
    return 110 + static_cast<int>(145.0f * usableProgress(progress));
}

void LearnPillControl::Draw(IGraphics& g)
{
    const State state = currentState();
    const bool active = state.learning || state.hasLearnedTarget || state.analysingFile;
    const IRECT& bounds = GetRECT();
    const float height = bounds.H();
    const float cy = bounds.MH();

    g.FillRoundRect(fillColor, bounds, 0.5f * height, &GetBlend());
    g.DrawRoundRect(active ? activeBorderColor : idleBorderColor, bounds, 0.5f * height, &GetBlend(), 1.0f);

    const float dotLeft = bounds.L + 0.3f * height;
    IColor dotColor = active ? accent : idleDotColor;
    if (state.learning)
        dotColor.A = learningDotAlpha(state.learnProgress);
    g.FillEllipse(dotColor, IRECT(dotLeft, cy - 2.5f, dotLeft + 5.0f, cy + 2.5f), &GetBlend());

    const IRECT labelArea{dotLeft + 5.0f, bounds.T, bounds.R - 0.3f * height, bounds.B};
    g.DrawText(labelStyle, labelFor(state).c_str(), labelArea, &GetBlend());
}
