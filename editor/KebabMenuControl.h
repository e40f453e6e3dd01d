#pragma once

#include "framework/igraphics/IControl.h"
#include "framework/igraphics/IPopupMenu.h"

#include <array>
#include <functional>

/**
 * Owns the editor's settings menu (accent colour, window size, clearing the learned target, the update-check
 * switch, the version line). Invisible and deaf to the mouse: the preset bar's menu button opens it with OpenAt.
 * Everything it reads or changes goes through its Actions.
 */
class KebabMenuControl : public iplug::igraphics::IControl
{
public:
    /** The menu's roads into the plug-in; any member may be empty, and an empty one is never called. */
    struct Actions
    {
        std::function<float()> currentScale;
        std::function<void(float)> setScale;
        std::function<int()> currentAccent;
        std::function<void(int)> setAccent;
        std::function<bool()> hasLearnedTarget;
        std::function<void()> clearLearnedTarget;
        /** Appends the update-check items; the menu expects two (the switch and a separator). */
        std::function<void(iplug::igraphics::IPopupMenu&)> addUpdateItems;
        /** One of those items was chosen; the index counts from 0 among them. */
        std::function<void(int)> updateItemChosen;
    };

    struct WindowSize
    {
        const char* label;
        float scale;
    };

    static constexpr std::array<WindowSize, 4> kSizes{{
        {"Window 0.75x", 0.75f},
        {"Window 1x", 1.0f},
        {"Window 1.5x", 1.5f},
        {"Window 2x", 2.0f},
    }};

    // Item positions of the built menu.
    static constexpr int kFirstAccentItem = 0;
    static constexpr int kFirstSizeItem = 7;
    static constexpr int kClearItem = 12;
    static constexpr int kFirstUpdateItem = 14;

    /** `version` is kept as a pointer, so it must outlive the control; null reads as "". */
    KebabMenuControl(Actions actions, const char* version);

    /** Builds the menu from the current state and opens it at `anchor`. */
    void OpenAt(const iplug::igraphics::IRECT& anchor);

    // The framework calls these on the user-interface thread.
    void OnPopupMenuSelection(iplug::igraphics::IPopupMenu* menu, int valIdx) override;
    void Draw(iplug::igraphics::IGraphics&) override {}

private:
    void buildMenu();

    Actions actions;
    const char* version;
    iplug::igraphics::IPopupMenu menu;
    int updateItemCount = 0; // how many items addUpdateItems appended at the last opening
};
