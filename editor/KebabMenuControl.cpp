#include "editor/KebabMenuControl.h"

#include "framework/igraphics/IGraphics.h"
#include "plugin/Accents.h"

#include <cmath>
#include <string>

using namespace iplug::igraphics;

namespace
{

constexpr const char* kClearTarget = "Clear learned target (use the balanced target)";
// A scale this close to a listed factor ticks its window item (the corner handle scales freely).
constexpr float kScaleTolerance = 0.02f;

} // namespace

KebabMenuControl::KebabMenuControl(Actions actions, const char* version)
    : IControl(IRECT()), actions(std::move(actions)), version(version ? version : "")
{
    Hide(true);
    SetIgnoreMouse(true);
}

void KebabMenuControl::OpenAt(const IRECT& anchor)
{
    buildMenu();
    if (IGraphics* ui = GetUI())
        ui->CreatePopupMenu(*this, menu, anchor);
}

void KebabMenuControl::buildMenu()
{
    menu.Clear(true);

    // An accent index outside the table ticks nothing; the items are the table's rows, so position = index.
    const int accent = actions.currentAccent ? actions.currentAccent() : 0;
    for (int i = 0; i < aubrevane::plugin::kNumAccents; ++i)
        menu.AddItem(aubrevane::plugin::kAccents[i].name, -1, i == accent ? IPopupMenu::Item::kChecked : 0);
    menu.AddSeparator();

    const float scale = actions.currentScale ? actions.currentScale() : 1.0f;
    for (const WindowSize& size : kSizes)
        menu.AddItem(size.label, -1, std::fabs(scale - size.scale) < kScaleTolerance ? IPopupMenu::Item::kChecked : 0);
    menu.AddSeparator();

    const bool hasTarget = actions.hasLearnedTarget && actions.hasLearnedTarget();
    menu.AddItem(kClearTarget, -1, hasTarget ? 0 : IPopupMenu::Item::kDisabled);
    menu.AddSeparator();

    if (actions.addUpdateItems)
        actions.addUpdateItems(menu);
    updateItemCount = menu.NItems() - kFirstUpdateItem;

    menu.AddItem((std::string("Aubrevane ") + version).c_str(), -1, IPopupMenu::Item::kDisabled);
}

void KebabMenuControl::OnPopupMenuSelection(IPopupMenu* chosenMenu, int)
{
    if (chosenMenu == nullptr)
        return;
    const int p = chosenMenu->GetChosenItemIdx();
    if (p >= kFirstAccentItem && p < kFirstAccentItem + aubrevane::plugin::kNumAccents)
    {
        if (actions.setAccent)
            actions.setAccent(p - kFirstAccentItem);
    }
    else if (p >= kFirstSizeItem && p < kFirstSizeItem + static_cast<int>(kSizes.size()))
    {
        if (actions.setScale)
            actions.setScale(kSizes[static_cast<std::size_t>(p - kFirstSizeItem)].scale);
    }
    else if (p == kClearItem)
    {
        if (actions.clearLearnedTarget)
            actions.clearLearnedTarget();
    }
    else if (p >= kFirstUpdateItem && p < kFirstUpdateItem + updateItemCount)
    {
        // Counted from what addUpdateItems really appended, so the version line is never taken for one of them.
        if (actions.updateItemChosen)
            actions.updateItemChosen(p - kFirstUpdateItem);
    }
}
