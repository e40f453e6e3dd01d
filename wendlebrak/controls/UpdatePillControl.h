#pragma once

#include "framework/igraphics/IControl.h"
#include "framework/igraphics/IPopupMenu.h"

#include <cstdint>
#include <functional>
#include <string>

namespace wendlebrak::updates
{
class UpdateCheck;
}

namespace wendlebrak::controls
{

/**
 * The editor's update notice: a pill reading "<version> AVAILABLE", right-aligned in its bounds, that opens the
 * update's page when clicked. Without a notice it draws nothing and lets clicks through. It polls the update check's
 * generation every frame; nothing in the check calls it. Also supplies the settings menu's update items.
 */
class UpdatePillControl : public iplug::igraphics::IControl
{
public:
    /** `check` is not owned and must outlive the control; `onResize` hears every change of the pill's rectangle,
     *  the empty rectangle included. */
    UpdatePillControl(const iplug::igraphics::IRECT& bounds, wendlebrak::updates::UpdateCheck* check,
                      const iplug::igraphics::IText& style,
                      std::function<void(const iplug::igraphics::IRECT&)> onResize);

    /** Recomputes label, link and pill from the check. */
    void relayout();
    /** Appends "Check for updates" (ticked while the check is enabled) and a separator. */
    void addMenuItems(iplug::igraphics::IPopupMenu& menu) const;

    const iplug::igraphics::IRECT& pillRect() const { return pill; }
    const std::string& labelText() const { return label; }
    bool isHovered() const { return hovered; }
    /** The update check the pill follows (not owned; may be null). */
    wendlebrak::updates::UpdateCheck* updateCheck() const { return check; }

    // The framework calls these on the user-interface thread.
    void OnMouseDown(float x, float y, const iplug::igraphics::IMouseMod& mod) override;
    void OnMouseOver(float x, float y, const iplug::igraphics::IMouseMod& mod) override;
    void OnMouseOut() override;
    void OnResize() override;
    void Draw(iplug::igraphics::IGraphics& g) override;
    void SetText(const iplug::igraphics::IText& text) override;
    bool IsHit(float x, float y) const override;
    bool IsDirty() override;

private:
    void setHovered(bool inside);

    iplug::igraphics::IColor fillColor{255, 252, 120, 92};
    iplug::igraphics::IColor hoverColor{255, 253, 146, 124};
    iplug::igraphics::IColor textColor{255, 10, 10, 10};
    wendlebrak::updates::UpdateCheck* check;
    std::function<void(const iplug::igraphics::IRECT&)> onResize;
    uint32_t seenGeneration = UINT32_MAX; // no generation seen yet, so the first poll lays out
    iplug::igraphics::IRECT pill;         // empty while nothing is shown or a layout is pending
    std::string label;
    std::string url; // empty while nothing is shown
    bool hovered = false;
};

} // namespace wendlebrak::controls
