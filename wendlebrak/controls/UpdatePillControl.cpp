#include "wendlebrak/controls/UpdatePillControl.h"

#include "framework/igraphics/IGraphics.h"
#include "wendlebrak/updates/UpdateCheck.h"

#include <algorithm>
#include <mutex>

using namespace iplug::igraphics;

namespace wendlebrak::controls
{

UpdatePillControl::UpdatePillControl(const IRECT& bounds, updates::UpdateCheck* check, const IText& style,
                                     std::function<void(const IRECT&)> onResize)
    : IControl(bounds), check(check), onResize(std::move(onResize))
{
    IControl::SetText(style);
}

void UpdatePillControl::relayout()
{
    // Only a copy of the check's state leaves its lock.
    const updates::UpdateCheck::State state = check ? check->state() : updates::UpdateCheck::State{};

    label.clear();
    url.clear();
    IRECT fresh;
    IGraphics* ui = GetUI();
    if (state.notice && ui != nullptr)
    {
        label = state.notice->version + " AVAILABLE";
        url = state.notice->url;
        const IRECT& bounds = GetRECT();
        IRECT textBox;
        const float textWidth = ui->MeasureText(GetText(), label.c_str(), textBox);
        const float width = std::min(2.0f * bounds.H() / 3.0f + textWidth, bounds.W());
        fresh = IRECT(bounds.R - width, bounds.T, bounds.R, bounds.B);
    }
    if (fresh != pill)
    {
        pill = fresh;
        // The pointer may no longer be over the pill (it may be gone): drop the hover and the hand until the
        // next mouse-over says otherwise.
        setHovered(false);
        if (onResize)
            onResize(pill);
    }
}

bool UpdatePillControl::IsDirty()
{
    uint32_t generation = 0;
    if (check != nullptr)
    {
        const std::lock_guard lock(check->mutex);
        generation = check->generation;
    }
    if (generation != seenGeneration)
    {
        seenGeneration = generation;
        relayout();
        return true;
    }
    return IControl::IsDirty();
}

void UpdatePillControl::addMenuItems(IPopupMenu& menu) const
{
    bool enabled = false;
    if (check != nullptr)
    {
        const std::lock_guard lock(check->mutex);
        enabled = check->enabled;
    }
    menu.AddItem("Check for updates", -1, enabled ? IPopupMenu::Item::kChecked : IPopupMenu::Item::kNoFlags);
    menu.AddSeparator();
}

void UpdatePillControl::OnResize()
{
    pill = IRECT();
    relayout();
}

void UpdatePillControl::SetText(const IText& text)
{
    IControl::SetText(text);
    pill = IRECT();
    relayout();
}

bool UpdatePillControl::IsHit(float x, float y) const
{
    return pill.Contains(x, y);
}

void UpdatePillControl::setHovered(bool inside)
{
    if (inside == hovered)
        return;
    hovered = inside;
    if (IGraphics* ui = GetUI())
        ui->SetMouseCursor(inside ? ECursor::HAND : ECursor::ARROW);
    SetDirty(false);
}

void UpdatePillControl::OnMouseOver(float x, float y, const IMouseMod& mod)
{
    setHovered(pill.Contains(x, y));
    IControl::OnMouseOver(x, y, mod);
}

void UpdatePillControl::OnMouseOut()
{
    if (hovered)
    {
        if (IGraphics* ui = GetUI())
            ui->SetMouseCursor(ECursor::ARROW);
    }
    hovered = false;
    SetDirty(false);
    IControl::OnMouseOut();
}

void UpdatePillControl::OnMouseDown(float, float, const IMouseMod&)
{
    // Only the graphics layer opens links; the link is never handed to a shell.
    if (IGraphics* ui = GetUI(); ui != nullptr && !url.empty())
        ui->OpenURL(url.c_str(), nullptr, nullptr, nullptr);
}

void UpdatePillControl::Draw(IGraphics& g)
{
    if (pill.Empty())
        relayout();
    if (pill.Empty())
        return;
    const float inset = 0.1f * pill.H();
    const IRECT drawn{pill.L, pill.T + inset, pill.R, pill.B - inset};
    g.FillRoundRect(hovered ? hoverColor : fillColor, drawn, drawn.H() / 6.0f, &GetBlend());
    g.DrawText(GetText().WithFGColor(textColor).WithAlign(EAlign::Center), label.c_str(), drawn, &GetBlend());
}

} // namespace wendlebrak::controls
