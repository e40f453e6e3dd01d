#pragma once

#include <memory>
#include <string>
#include <vector>

namespace iplug
{
namespace igraphics
{
/** A popup menu: items with flags and tags, each optionally owning a submenu. Owned by the control that opens it. */
class IPopupMenu
{
public:
    class Item
    {
    public:
        enum Flags
        {
            kNoFlags = 0,
            kDisabled = 1 << 0,
            kTitle = 1 << 1,
            kChecked = 1 << 2,
            kSeparator = 1 << 3
        };

        Item(const char* text, int flags = kNoFlags, int tag = -1);
        Item(const char* text, IPopupMenu* submenu); // takes the submenu

        const char* GetText() const { return text.c_str(); }
        bool GetEnabled() const { return !(flags & kDisabled); }
        bool GetChecked() const { return (flags & kChecked) != 0; }
        bool GetIsTitle() const { return (flags & kTitle) != 0; }
        bool GetIsSeparator() const { return (flags & kSeparator) != 0; }
        int GetTag() const { return tag; }
        IPopupMenu* GetSubmenu() const { return submenu.get(); }

        void SetEnabled(bool enabled) { setFlag(kDisabled, !enabled); }
        void SetChecked(bool checked) { setFlag(kChecked, checked); }
        void SetTag(int value) { tag = value; }

    private:
        void setFlag(int flag, bool on) { flags = on ? (flags | flag) : (flags & ~flag); }

        std::string text;
        int flags = kNoFlags;
        int tag = -1;
        std::unique_ptr<IPopupMenu> submenu;
    };

    /** Appends an item (or inserts it at `index` when that is 0..NItems()); returns it, owned by the menu. */
    Item* AddItem(const char* text, int index = -1, int itemFlags = Item::kNoFlags);
    /** Appends an entry that opens `submenu`; the menu takes ownership of it. */
    Item* AddItem(const char* text, IPopupMenu* submenu, int itemFlags = Item::kNoFlags);
    Item* AddSeparator(int index = -1);

    /** Removes every item; with `resetEverything` also forgets the chosen item. */
    void Clear(bool resetEverything = true);

    int NItems() const { return static_cast<int>(items.size()); }
    Item* GetItem(int index);
    const Item* GetItem(int index) const;

    int GetChosenItemIdx() const { return chosenItemIdx; }
    void SetChosenItemIdx(int index) { chosenItemIdx = index; }
    /** The chosen item, or null when none is chosen. */
    Item* GetChosenItem();

private:
    std::vector<std::unique_ptr<Item>> items;
    int chosenItemIdx = -1;
};

} // namespace igraphics
} // namespace iplug
