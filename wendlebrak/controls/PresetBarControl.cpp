#include "wendlebrak/controls/PresetBarControl.h"

#include "framework/igraphics/IGraphics.h"

#include <algorithm>
#include <cmath>

using namespace iplug::igraphics;

namespace wendlebrak::controls
{

namespace
{

constexpr const char* kEllipsis = "\u2026";

bool isContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

std::string trimSpacesAndTabs(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

float measure(IGraphics& g, const IText& style, const std::string& text)
{
    IRECT ignored;
    return g.MeasureText(style, text.c_str(), ignored);
}

} // namespace

PresetBarControl::PresetBarControl(const IRECT& bounds, Style style, PresetHooks hooks,
                                   std::function<void(const IRECT&)> onMenu)
    : IControl(bounds), style(std::move(style)), hooks(std::move(hooks)), onMenu(std::move(onMenu))
{
    SetTextEntryLength(kNameEntryLength);
}

float PresetBarControl::pad() const
{
    return std::max(2.0f, 0.18f * GetRECT().H());
}

PresetBarControl::Regions PresetBarControl::layout() const
{
    const IRECT& bounds = GetRECT();
    const float top = bounds.T + pad();
    const float bottom = bounds.B - pad();
    const float h = bottom - top;

    Regions regions;
    float right = bounds.R - style.rightInset;
    if (onMenu)
    {
        regions.menu = IRECT(right - 0.73f * h, top, right + 0.27f * h, bottom);
        right = regions.menu.L - 0.5f * h;
    }

    float x0 = bounds.L + style.leftInset - 0.28f * h;
    if (!style.label.empty())
        x0 += 120.0f * style.scale;

    // Two arrows, a gap, three buttons and the two gaps between them.
    const float fixedRoom = 2.0f * h + 0.5f * h + 3.0f * 3.4f * h + 2.0f * 0.16f * h;
    const float nameWidth = std::max(h, std::min(210.0f * style.scale + fixedRoom, right - x0) - fixedRoom);

    regions.prev = IRECT(x0, top, x0 + h, bottom);
    regions.name = IRECT(regions.prev.R, top, regions.prev.R + nameWidth, bottom);
    regions.next = IRECT(regions.name.R, top, regions.name.R + h, bottom);
    const float buttonWidth = 3.4f * h;
    regions.save = IRECT(regions.next.R + 0.5f * h, top, regions.next.R + 0.5f * h + buttonWidth, bottom);
    regions.saveAs = IRECT(regions.save.R + 0.16f * h, top, regions.save.R + 0.16f * h + buttonWidth, bottom);
    regions.remove = IRECT(regions.saveAs.R + 0.16f * h, top, regions.saveAs.R + 0.16f * h + buttonWidth, bottom);
    return regions;
}

int PresetBarControl::regionAt(float x, float y) const
{
    const Regions regions = layout();
    const IRECT* ordered[] = {&regions.prev, &regions.name,   &regions.next,
                              &regions.save, &regions.saveAs, &regions.remove};
    for (int i = 0; i < 6; ++i)
    {
        if (ordered[i]->Contains(x, y))
            return kPrevRegion + i;
    }
    if (onMenu && regions.menu.Contains(x, y))
        return kMenuRegion;
    return kNoRegion;
}

void PresetBarControl::refreshNames()
{
    names = hooks.listNames ? hooks.listNames() : std::vector<std::string>{};
    hasNames = !names.empty();
    namesFetched = true;
}

std::string PresetBarControl::currentPreset() const
{
    return hooks.currentName ? hooks.currentName() : std::string();
}

void PresetBarControl::OnMouseDown(float x, float y, const IMouseMod&)
{
    const int region = regionAt(x, y);
    const std::string cur = currentPreset();

    if (region == kRemoveRegion)
    {
        if (cur.empty())
            return;
        if (armedName != cur)
        {
            armedName = cur; // the button now reads "Sure?"
        }
        else
        {
            armedName.clear();
            if (hooks.remove)
                hooks.remove(cur);
            refreshNames();
        }
        markDirty();
        return;
    }

    if (!armedName.empty())
    {
        armedName.clear();
        markDirty();
    }
    switch (region)
    {
    case kPrevRegion:
        step(-1);
        break;
    case kNameRegion:
        openList();
        break;
    case kNextRegion:
        step(+1);
        break;
    case kSaveRegion:
        if (!cur.empty() && hooks.save)
            hooks.save(cur);
        markDirty();
        break;
    case kSaveAsRegion:
        promptForName();
        break;
    case kMenuRegion:
        if (onMenu)
            onMenu(layout().menu);
        break;
    default:
        break;
    }
}

void PresetBarControl::OnMouseOver(float x, float y, const IMouseMod& mod)
{
    IControl::OnMouseOver(x, y, mod);
    const int region = regionAt(x, y);
    if (region == hoveredRegion)
        return;
    if (hoveredRegion == kNoRegion)
        refreshNames(); // coming from outside every region: the list may have changed elsewhere
    if (hoveredRegion == kRemoveRegion)
        armedName.clear();
    hoveredRegion = region;
    markDirty();
}

void PresetBarControl::OnMouseOut()
{
    IControl::OnMouseOut();
    if (hoveredRegion != kNoRegion || !armedName.empty())
    {
        hoveredRegion = kNoRegion;
        armedName.clear();
        markDirty();
    }
}

void PresetBarControl::step(int dir)
{
    refreshNames();
    const std::vector<std::string> list = names; // the load hook may change the list under us
    if (list.empty())
        return;
    const std::string cur = currentPreset();
    const auto n = static_cast<long long>(list.size());
    const auto found = std::find(list.begin(), list.end(), cur);
    long long index;
    if (found == list.end())
        index = dir < 0 ? n - 1 : 0;
    else
        index = ((found - list.begin()) + (dir < 0 ? -1 : 1) + n) % n;
    if (hooks.load)
        hooks.load(list[static_cast<std::size_t>(index)]);
    markDirty();
}

void PresetBarControl::openList()
{
    refreshNames();
    shownNames = names;
    if (shownNames.empty())
        return;
    menu.Clear(true);
    const std::string cur = currentPreset();
    for (const std::string& name : shownNames)
        menu.AddItem(name.c_str(), -1, name == cur ? IPopupMenu::Item::kChecked : IPopupMenu::Item::kNoFlags);
    if (IGraphics* ui = GetUI())
        ui->CreatePopupMenu(*this, menu, layout().name);
}

void PresetBarControl::OnPopupMenuSelection(IPopupMenu* chosenMenu, int)
{
    if (chosenMenu == nullptr)
        return;
    const int chosen = chosenMenu->GetChosenItemIdx();
    if (chosen < 0 || static_cast<std::size_t>(chosen) >= shownNames.size())
        return;
    if (hooks.load)
        hooks.load(shownNames[static_cast<std::size_t>(chosen)]);
    markDirty();
}

void PresetBarControl::promptForName()
{
    IGraphics* ui = GetUI();
    if (ui == nullptr || !hooks.save) // without a save hook a typed name could go nowhere
        return;
    const IRECT field = layout().name;
    const float width = std::max(220.0f * style.scale, field.W());
    const IRECT entry{field.MW() - 0.5f * width, field.T, field.MW() + 0.5f * width, field.B};
    const std::string initial = currentPreset();
    SetTextEntryLength(kNameEntryLength);
    ui->CreateTextEntry(*this, style.text, entry, initial.c_str());
}

void PresetBarControl::OnTextEntryCompletion(const char* text, int)
{
    if (text == nullptr || !hooks.save)
        return;
    const std::string name = trimSpacesAndTabs(text);
    if (name.empty())
        return;
    hooks.save(name);
    refreshNames();
    markDirty();
}

const std::string& PresetBarControl::fitted(IGraphics& g, const IText& textStyle, const std::string& text, float width)
{
    if (text == fitSource && std::fabs(width - fitWidth) < 0.5f)
        return fitResult;
    fitSource = text;
    fitWidth = width;
    if (width >= measure(g, textStyle, text))
    {
        fitResult = text;
        return fitResult;
    }

    // Candidates end where a character starts, longest first; the width grows with the prefix, so a binary
    // search finds the longest one that fits with "…" after it, measuring only log(n) of them.
    std::vector<std::size_t> ends;
    for (std::size_t at = 1; at < text.size(); ++at)
    {
        if (!isContinuationByte(text[at]))
            ends.push_back(at);
    }
    std::size_t fits = 0; // how many of the shortest candidates fit
    std::size_t low = 0, high = ends.size();
    while (low < high)
    {
        const std::size_t mid = low + (high - low) / 2;
        if (measure(g, textStyle, text.substr(0, ends[mid]) + kEllipsis) <= width)
        {
            fits = mid + 1;
            low = mid + 1;
        }
        else
        {
            high = mid;
        }
    }
    fitResult = (fits == 0 ? std::string() : text.substr(0, ends[fits - 1])) + kEllipsis;
    return fitResult;
}

void PresetBarControl::drawHamburger(IGraphics& g, const IRECT& bounds, bool hovered)
{
    const float w = bounds.W(), h = bounds.H();
    const float cx = bounds.MW(), cy = bounds.MH();
    if (hovered)
        g.FillRoundRect(style.hoverColor, bounds, 0.25f * h, &GetBlend());
    const IColor& barColor = hovered ? style.textColor : style.dimColor;
    const float thickness = std::max(1.0f, 0.085f * h);
    for (const float y : {cy - 0.21f * h, cy, cy + 0.21f * h})
    {
        const IRECT bar{cx - 0.23f * w, y - 0.5f * thickness, cx + 0.23f * w, y + 0.5f * thickness};
        g.FillRoundRect(barColor, bar, 0.5f * thickness, &GetBlend());
    }
}

void PresetBarControl::Draw(IGraphics& g)
{
    if (!namesFetched)
        refreshNames();
    const std::string cur = currentPreset();
    const Regions regions = layout();
    const IRECT& bounds = GetRECT();
    const IBlend* blend = &GetBlend();
    const auto radius = [](const IRECT& r) { return 0.25f * r.H(); };
    const auto hovered = [this](int region) { return hoveredRegion == region; };

    g.FillRect(style.barColor, bounds, blend);
    g.FillRect(style.lineColor, IRECT(bounds.L, bounds.B - 1.0f, bounds.R, bounds.B), blend);

    if (!style.label.empty())
    {
        const IRECT labelArea{bounds.L + style.leftInset, bounds.T, regions.prev.L - pad(), bounds.B};
        if (labelArea.W() > 0.0f && !labelArea.Empty())
            g.DrawText(style.text.WithAlign(EAlign::Near).WithFGColor(style.dimColor), style.label.c_str(), labelArea,
                       blend);
    }

    // The name field, with the modified mark kept whole after a shortened name.
    g.FillRoundRect(style.fieldColor, regions.name, radius(regions.name), blend);
    if (hovered(kNameRegion))
        g.FillRoundRect(style.hoverColor, regions.name, radius(regions.name), blend);
    g.DrawRoundRect(style.outlineColor, regions.name, radius(regions.name), blend, 1.0f);
    const IRECT textArea = regions.name.GetPadded(pad(), 0.0f, -pad(), 0.0f);
    const IText nameStyle = style.text.WithAlign(EAlign::Center);
    std::string shown = "no preset";
    if (!cur.empty())
    {
        const std::string mark = hooks.modified && hooks.modified() ? "*" : "";
        const float markWidth = mark.empty() ? 0.0f : measure(g, nameStyle, mark);
        shown = fitted(g, nameStyle, cur, textArea.W() - markWidth) + mark;
    }
    g.DrawText(nameStyle.WithFGColor(cur.empty() ? style.dimColor : style.textColor), shown.c_str(), textArea, blend);

    // The arrows.
    const IColor& arrowColor = hasNames ? style.textColor : style.dimColor;
    for (const int region : {kPrevRegion, kNextRegion})
    {
        const IRECT& r = region == kPrevRegion ? regions.prev : regions.next;
        if (hovered(region) && hasNames)
            g.FillRoundRect(style.hoverColor, r, radius(r), blend);
        const float cx = r.MW(), cy = r.MH();
        const float side = region == kPrevRegion ? 1.0f : -1.0f; // where the flat side lies
        g.FillTriangle(arrowColor, cx + side * 0.22f * r.W(), cy - 0.26f * r.H(), cx + side * 0.22f * r.W(),
                       cy + 0.26f * r.H(), cx - side * 0.22f * r.W(), cy, blend);
    }

    const bool armed = !cur.empty() && armedName == cur;
    const auto drawButton =
        [&](const IRECT& r, bool hoverShows, const IColor& outline, const char* label, const IColor& labelColor)
    {
        g.FillRoundRect(style.fieldColor, r, radius(r), blend);
        if (hoverShows)
            g.FillRoundRect(style.hoverColor, r, radius(r), blend);
        g.DrawRoundRect(outline, r, radius(r), blend, 1.0f);
        g.DrawText(style.text.WithAlign(EAlign::Center).WithFGColor(labelColor), label, r, blend);
    };
    const IColor& activeOrDim = cur.empty() ? style.dimColor : style.textColor;
    drawButton(regions.save, hovered(kSaveRegion) && !cur.empty(), style.outlineColor, "Save", activeOrDim);
    drawButton(regions.saveAs, hovered(kSaveAsRegion), style.outlineColor, "Save as", style.textColor);
    drawButton(regions.remove, hovered(kRemoveRegion) && !cur.empty(), armed ? style.armedColor : style.outlineColor,
               armed ? "Sure?" : "Delete", armed ? style.armedColor : activeOrDim);

    if (onMenu)
        drawHamburger(g, regions.menu, hovered(kMenuRegion));
}

} // namespace wendlebrak::controls
