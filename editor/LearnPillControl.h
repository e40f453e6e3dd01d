#pragma once

#include "framework/igraphics/IControl.h"
#include "framework/igraphics/IPopupMenu.h"
#include "offline/SavedTarget.h"

#include <functional>
#include <string>
#include <vector>

/**
 * The "LEARN TARGET" pill in the editor's header: shows whether a target is being learned, analysed or held, and
 * opens the learn menu, the road to every target operation. It reaches the plug-in only through its Actions.
 */
class LearnPillControl : public iplug::igraphics::IControl
{
public:
    /** What the pill shows, asked for on every frame and at every click. */
    struct State
    {
        bool learning = false;         // learning a target from the input
        bool hasLearnedTarget = false; // a learned target is installed
        bool analysingFile = false;    // a reference file is analysed on the worker thread
        float learnProgress = 0.0f;    // 0..1, of learning from the input
    };

    /** The pill's roads into the plug-in; any member may be empty, and an empty one is never called. */
    struct Actions
    {
        std::function<State()> state;
        std::function<void()> learnFromInput;
        std::function<void()> learnFromFile;
        std::function<void()> cancel;
        std::function<void()> clear;
        std::function<std::vector<aubrevane::offline::SavedTarget>()> savedTargets;
        std::function<std::vector<aubrevane::offline::SavedTarget>()> factoryTargets;
        std::function<std::string()> defaultTargetName;
        std::function<void(const aubrevane::offline::SavedTarget&)> loadTarget;
        std::function<void(const std::string&)> saveTarget;
        std::function<void(const aubrevane::offline::SavedTarget&)> removeTarget;
    };

    // Tags of the learn menu's target items are base + list index, with the bases 1, 2 and 3 times the stride.
    static constexpr int kLoadTagBase = 10000;
    static constexpr int kDeleteTagBase = 20000;
    static constexpr int kFactoryTagBase = 30000;

    static constexpr int kNameEntryLength = 80;
    static constexpr float kNameEntryWidth = 300.0f;

    LearnPillControl(const iplug::igraphics::IRECT& bounds, const iplug::igraphics::IText& labelStyle,
                     const iplug::igraphics::IText& entryStyle, const iplug::igraphics::IColor& accent,
                     Actions actions);

    // The framework calls these on the user-interface thread.
    void OnMouseDown(float x, float y, const iplug::igraphics::IMouseMod& mod) override;
    void OnPopupMenuSelection(iplug::igraphics::IPopupMenu* menu, int valIdx) override;
    void OnTextEntryCompletion(const char* text, int valIdx) override;
    void Draw(iplug::igraphics::IGraphics& g) override;
    /** Always true: the state is polled every frame, never pushed. */
    bool IsDirty() override { return true; }

    /** The pill's text for a state: "LEARNING 42%", "ANALYSING", "LEARNED" or "LEARN TARGET". */
    static std::string labelFor(const State& state);
    /** "LEARNING 42%": the progress as a whole percentage; a progress that is not finite reads as 0. The tone
     *  display's status shows the same text. */
    static std::string learningLabel(float progress);
    /** The dot's alpha while learning: 110 at the start, 255 when done. */
    static int learningDotAlpha(float progress);

private:
    State currentState() const;
    void buildMenu();
    void openNameEntry();

    iplug::igraphics::IText labelStyle;
    iplug::igraphics::IText entryStyle;
    iplug::igraphics::IColor accent;
    Actions actions;
    iplug::igraphics::IPopupMenu menu;
    std::vector<aubrevane::offline::SavedTarget> savedList;
    std::vector<aubrevane::offline::SavedTarget> factoryList;
    // The tag bases are multiples of this; it grows by tens when a list would reach into the next range, so the
    // load, delete and factory tags of one opening never meet.
    int tagStride = kLoadTagBase;

    iplug::igraphics::IColor fillColor{255, 20, 20, 20};
    iplug::igraphics::IColor idleBorderColor{56, 250, 250, 250};
    iplug::igraphics::IColor activeBorderColor{107, 250, 250, 250};
    iplug::igraphics::IColor idleDotColor{56, 250, 250, 250};
};
