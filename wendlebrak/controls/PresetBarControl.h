#pragma once

#include "framework/igraphics/IControl.h"
#include "framework/igraphics/IPopupMenu.h"
#include "wendlebrak/controls/PresetHooks.h"

#include <functional>
#include <string>
#include <vector>

namespace wendlebrak::controls
{

/**
 * The strip across the top of an editor: steps through, lists, saves, saves under a new name and deletes presets,
 * and opens the product's settings menu. Knows nothing of presets or files: everything goes through its hooks.
 */
class PresetBarControl : public iplug::igraphics::IControl
{
public:
    struct Style
    {
        iplug::igraphics::IColor fieldColor;   // name field and buttons
        iplug::igraphics::IColor outlineColor; // their outline
        iplug::igraphics::IColor textColor;    // active text and arrows, the menu icon under the mouse
        iplug::igraphics::IColor dimColor;     // label, inactive text and arrows, the menu icon at rest
        iplug::igraphics::IColor hoverColor;   // laid over the region under the mouse
        iplug::igraphics::IColor armedColor;   // outline and text of the armed delete button
        iplug::igraphics::IText text;          // every text of the bar and the name entry
        float scale = 1.0f;                    // size factor of the name field, the label's room and the entry
        std::string label;                     // optional caption at the left
        iplug::igraphics::IColor barColor;
        iplug::igraphics::IColor lineColor; // along the bottom edge
        float leftInset = 28.0f;
        float rightInset = 24.0f;
    };

    /** Where each clickable part lies; region numbers in comments, 0 meaning none. */
    struct Regions
    {
        iplug::igraphics::IRECT prev;   // 1
        iplug::igraphics::IRECT name;   // 2
        iplug::igraphics::IRECT next;   // 3
        iplug::igraphics::IRECT save;   // 4
        iplug::igraphics::IRECT saveAs; // 5
        iplug::igraphics::IRECT remove; // 6
        iplug::igraphics::IRECT menu;   // 7; empty without a menu callback
    };

    enum Region
    {
        kNoRegion = 0,
        kPrevRegion,
        kNameRegion,
        kNextRegion,
        kSaveRegion,
        kSaveAsRegion,
        kRemoveRegion,
        kMenuRegion
    };

    static constexpr int kNameEntryLength = 80;

    /** Without `onMenu` the bar has no menu icon. */
    PresetBarControl(const iplug::igraphics::IRECT& bounds, Style style, PresetHooks hooks,
                     std::function<void(const iplug::igraphics::IRECT&)> onMenu);

    Regions layout() const;
    int regionAt(float x, float y) const;

    /** Loads the previous (-1) or next (+1) preset, wrapping at both ends. */
    void step(int dir);
    void openList();
    void promptForName();
    /** `text` shortened by whole UTF-8 characters, with "…" appended, to fit `width`; cached for the last text. */
    const std::string& fitted(iplug::igraphics::IGraphics& g, const iplug::igraphics::IText& style,
                              const std::string& text, float width);
    void drawHamburger(iplug::igraphics::IGraphics& g, const iplug::igraphics::IRECT& bounds, bool hovered);

    // The framework calls these on the user-interface thread.
    void OnMouseDown(float x, float y, const iplug::igraphics::IMouseMod& mod) override;
    void OnMouseOver(float x, float y, const iplug::igraphics::IMouseMod& mod) override;
    void OnMouseOut() override;
    void OnPopupMenuSelection(iplug::igraphics::IPopupMenu* menu, int valIdx) override;
    void OnTextEntryCompletion(const char* text, int valIdx) override;
    void Draw(iplug::igraphics::IGraphics& g) override;

    const std::string& armed() const { return armedName; }

private:
    float pad() const;
    void refreshNames();
    std::string currentPreset() const;
    void markDirty() { SetDirty(false); }

    Style style;
    PresetHooks hooks;
    std::function<void(const iplug::igraphics::IRECT&)> onMenu;
    iplug::igraphics::IPopupMenu menu;
    std::vector<std::string> shownNames; // the open list, in menu order
    std::string armedName;               // the preset armed for deletion; empty when nothing is armed
    std::vector<std::string> names;      // the last fetched list
    bool hasNames = false;
    bool namesFetched = false;
    std::string fitSource;
    std::string fitResult;
    float fitWidth = -1.0f;
    int hoveredRegion = kNoRegion;
};

} // namespace wendlebrak::controls
