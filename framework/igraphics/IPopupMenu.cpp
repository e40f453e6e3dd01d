#include "framework/igraphics/IPopupMenu.h"

namespace iplug
{
namespace igraphics
{
IPopupMenu::Item::Item(const char* text, int flags, int tag) : text(text ? text : ""), flags(flags), tag(tag) {}

IPopupMenu::Item::Item(const char* text, IPopupMenu* submenu)
    : text(text ? text : ""), flags(kNoFlags), submenu(submenu)
{
}

IPopupMenu::Item* IPopupMenu::AddItem(const char* text, int index, int itemFlags)
{
    auto item = std::make_unique<Item>(text, itemFlags);
    Item* added = item.get();
    if (index >= 0 && index <= NItems())
        items.insert(items.begin() + index, std::move(item));
    else
        items.push_back(std::move(item));
    return added;
}

IPopupMenu::Item* IPopupMenu::AddItem(const char* text, IPopupMenu* submenu, int itemFlags)
{
    auto item = std::make_unique<Item>(text, submenu);
    if (itemFlags & Item::kDisabled)
        item->SetEnabled(false);
    if (itemFlags & Item::kChecked)
        item->SetChecked(true);
    items.push_back(std::move(item));
    return items.back().get();
}

IPopupMenu::Item* IPopupMenu::AddSeparator(int index)
{
    return AddItem("", index, Item::kSeparator);
}

void IPopupMenu::Clear(bool resetEverything)
{
    items.clear();
    if (resetEverything)
        chosenItemIdx = -1;
}

IPopupMenu::Item* IPopupMenu::GetItem(int index)
{
    return index >= 0 && index < NItems() ? items[static_cast<size_t>(index)].get() : nullptr;
}

const IPopupMenu::Item* IPopupMenu::GetItem(int index) const
{
    return index >= 0 && index < NItems() ? items[static_cast<size_t>(index)].get() : nullptr;
}

IPopupMenu::Item* IPopupMenu::GetChosenItem()
{
    return GetItem(chosenItemIdx);
}

} // namespace igraphics
} // namespace iplug
