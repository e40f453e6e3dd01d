// The editor in a real window: Xlib for the window and its events, cairo on Xlib for the pixels. The editor draws
// into its own image; this layer copies that image into the window and paints the platform's overlays (popup
// menus, text entry, message boxes) over it.
#include "framework/igraphics/X11Window.h"

#include "framework/igraphics/IGraphics.h"
#include "framework/igraphics/IPopupMenu.h"
#include "framework/igraphics/LinkOpener.h"
#include "framework/igraphics/TextEntryPaint.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/keysym.h>
#include <cairo-xlib.h>
#include <cairo.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

namespace iplug
{
namespace igraphics
{
namespace
{

constexpr unsigned long kDoubleClickMs = 400;
constexpr int kDoubleClickSlopPixels = 5;

// Overlay geometry in editor units; it scales with the editor.
constexpr double kMenuFontSize = 12.0;
constexpr double kMenuItemHeight = 20.0;
constexpr double kMenuSeparatorHeight = 9.0;
constexpr double kMenuPadding = 10.0;
constexpr double kMenuMarkWidth = 14.0; // the tick column on the left and the submenu arrow on the right
constexpr double kBoxWidth = 400.0;
constexpr double kBoxPadding = 16.0;
constexpr double kBoxFontSize = 12.0;
constexpr double kButtonWidth = 76.0;
constexpr double kButtonHeight = 24.0;

struct Rgb
{
    double r, g, b;
};
constexpr Rgb kOverlayPanel{0.16, 0.16, 0.17};
constexpr Rgb kOverlayBorder{0.36, 0.36, 0.38};
constexpr Rgb kOverlayHighlight{0.27, 0.27, 0.30};
constexpr Rgb kOverlayText{0.96, 0.96, 0.96};
constexpr Rgb kOverlayDimText{0.50, 0.50, 0.52};
constexpr Rgb kOverlayField{0.09, 0.09, 0.09};

void setColor(cairo_t* cr, const Rgb& color, double alpha = 1.0)
{
    cairo_set_source_rgba(cr, color.r, color.g, color.b, alpha);
}

struct PixelRect
{
    double x = 0, y = 0, w = 0, h = 0;
    bool contains(double px, double py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};

/** Latin-1 text from XLookupString as UTF-8. */
std::string latin1ToUtf8(const char* text, int length)
{
    std::string out;
    for (int i = 0; i < length; ++i)
    {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7f)
            continue;
        if (c < 0x80)
            out += static_cast<char>(c);
        else
        {
            out += static_cast<char>(0xc0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3f));
        }
    }
    return out;
}

void eraseLastCharacter(std::string& text)
{
    while (!text.empty())
    {
        const auto c = static_cast<unsigned char>(text.back());
        text.pop_back();
        if ((c & 0xc0) != 0x80) // stop after the lead byte of a UTF-8 sequence
            break;
    }
}

/** One level of an open popup menu as laid out on screen. */
struct MenuPanel
{
    const IPopupMenu* menu = nullptr;
    PixelRect rect;
    std::vector<PixelRect> items; // empty rectangles for separators
};

/** A message box or file prompt waiting for its answer. */
struct Modal
{
    std::string title;
    std::string text;
    std::vector<std::pair<std::string, EMsgBoxResult>> buttons;
    EMsgBoxResult escapeResult = kCANCEL;
    bool hasInput = false;
    std::string input;
    std::optional<EMsgBoxResult> answer;
    std::vector<PixelRect> buttonRects; // filled when drawn
};

} // namespace

struct X11Window::Impl
{
    IGraphics& graphics;
    Display* display = nullptr;
    Window window = 0;
    Colormap colormap = 0;
    Visual* visual = nullptr;
    Atom wmProtocols = 0;
    Atom wmDelete = 0;
    int pixelWidth = 0;
    int pixelHeight = 0;

    cairo_surface_t* editorImage = nullptr; // the editor's last frame, opaque
    cairo_surface_t* canvas = nullptr;      // the frame with the overlays, painted into the window in one go
    cairo_surface_t* windowSurface = nullptr;
    cairo_font_face_t* overlayFace = nullptr; // null: overlays use cairo's own sans-serif

    bool closed = false;
    bool needsPresent = true;
    bool pressForwarded = false; // a press reached the editor, so its drag and release go there too
    // the pointer in pixels: a drag step is measured in pixels, so a drag that rescales the editor stays smooth
    int lastPixelX = 0, lastPixelY = 0;
    Time lastPressTime = 0;
    int lastPressButton = 0, lastPressX = 0, lastPressY = 0;
    std::optional<ECursor> shownCursor;
    bool shownCursorHidden = false;
    Cursor blankCursor = 0;

    const IPopupMenu* shownMenu = nullptr;
    std::vector<int> openPath; // the submenus opened in the shown menu, by item index at each level
    int hoverLevel = -1, hoverItem = -1;

    bool entryShown = false;
    IRECT entryBounds;
    std::string entryInitial;
    std::string entryText;

    std::optional<Modal> modal;
    std::size_t linksHandedOver = 0; // of the graphics object's opened links

    explicit Impl(IGraphics& graphics) : graphics(graphics) {}

    ~Impl()
    {
        destroySurfaces();
        if (overlayFace != nullptr)
            cairo_font_face_destroy(overlayFace);
        if (display != nullptr)
        {
            if (blankCursor != 0)
                XFreeCursor(display, blankCursor);
            if (window != 0)
                XDestroyWindow(display, window);
            if (colormap != 0)
                XFreeColormap(display, colormap);
            XCloseDisplay(display);
        }
    }

    float scale() const { return graphics.GetDrawScale(); }

    void destroySurfaces()
    {
        for (cairo_surface_t** surface : {&editorImage, &canvas, &windowSurface})
            if (*surface != nullptr)
            {
                cairo_surface_destroy(*surface);
                *surface = nullptr;
            }
    }

    void makeSurfaces()
    {
        destroySurfaces();
        pixelWidth = std::max(1, graphics.PixelWidth());
        pixelHeight = std::max(1, graphics.PixelHeight());
        editorImage = cairo_image_surface_create(CAIRO_FORMAT_RGB24, pixelWidth, pixelHeight);
        canvas = cairo_image_surface_create(CAIRO_FORMAT_RGB24, pixelWidth, pixelHeight);
        windowSurface = cairo_xlib_surface_create(display, window, visual, pixelWidth, pixelHeight);
    }

    void setFixedSize()
    {
        XSizeHints* hints = XAllocSizeHints();
        hints->flags = PMinSize | PMaxSize;
        hints->min_width = hints->max_width = pixelWidth;
        hints->min_height = hints->max_height = pixelHeight;
        XSetWMNormalHints(display, window, hints);
        XFree(hints);
    }

    void useOverlayFont(cairo_t* cr, double sizeUnits)
    {
        if (overlayFace != nullptr)
            cairo_set_font_face(cr, overlayFace);
        else
            cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, sizeUnits * scale());
    }

    double textWidth(cairo_t* cr, const std::string& text)
    {
        cairo_text_extents_t extents;
        cairo_text_extents(cr, text.c_str(), &extents);
        return extents.x_advance;
    }

    /** Draws one line of text vertically centred in `box`, at `x`. */
    void drawTextLine(cairo_t* cr, const std::string& text, double x, const PixelRect& box)
    {
        cairo_font_extents_t font;
        cairo_font_extents(cr, &font);
        cairo_move_to(cr, x, box.y + box.h / 2.0 + (font.ascent - font.descent) / 2.0);
        cairo_show_text(cr, text.c_str());
    }

    /** Copies the editor's image; the window shows it opaque, as if composited over black. */
    void copyEditorImage()
    {
        cairo_surface_flush(editorImage);
        unsigned char* data = cairo_image_surface_get_data(editorImage);
        const int stride = cairo_image_surface_get_stride(editorImage);
        // Premultiplied, so each channel already holds its part over black; the window's image ignores alpha.
        graphics.CopyPixels(data, stride);
        cairo_surface_mark_dirty(editorImage);
    }

    /** Follows a new editor size, draws the editor when it changed and presents when anything changed. */
    void refresh(bool drawEditor)
    {
        if (graphics.PixelWidth() != pixelWidth || graphics.PixelHeight() != pixelHeight)
        {
            makeSurfaces();
            setFixedSize();
            XResizeWindow(display, window, static_cast<unsigned>(pixelWidth), static_cast<unsigned>(pixelHeight));
            graphics.SetAllControlsDirty();
            drawEditor = true;
        }
        if (drawEditor && graphics.DrawFrame())
        {
            copyEditorImage();
            needsPresent = true;
        }
        trackPlatformState();
        updateCursor();
        if (needsPresent)
            present();
    }

    /** Notices menus and text entries the editor opened or closed since the last look. */
    void trackPlatformState()
    {
        const IPopupMenu* menu = graphics.HasPendingPopupMenu() ? graphics.GetPendingPopupMenu() : nullptr;
        if (menu != shownMenu)
        {
            shownMenu = menu;
            openPath.clear();
            hoverLevel = hoverItem = -1;
            needsPresent = true;
        }
        const bool entryPending = graphics.HasPendingTextEntry();
        if (entryPending && (!entryShown || graphics.GetPendingTextEntryBounds() != entryBounds ||
                             graphics.GetPendingTextEntryText() != entryInitial))
        {
            entryBounds = graphics.GetPendingTextEntryBounds();
            entryInitial = entryText = graphics.GetPendingTextEntryText();
            needsPresent = true;
        }
        if (entryShown != entryPending)
            needsPresent = true;
        entryShown = entryPending;
    }

    void updateCursor()
    {
        const ECursor cursor = graphics.GetMouseCursor();
        const bool hidden = graphics.IsMouseCursorHidden();
        if (shownCursor == cursor && shownCursorHidden == hidden)
            return;
        shownCursor = cursor;
        shownCursorHidden = hidden;
        if (hidden)
        {
            if (blankCursor == 0)
            {
                static const char empty[1] = {0};
                XColor black{};
                Pixmap pixmap = XCreateBitmapFromData(display, window, empty, 1, 1);
                blankCursor = XCreatePixmapCursor(display, pixmap, pixmap, &black, &black, 0, 0);
                XFreePixmap(display, pixmap);
            }
            XDefineCursor(display, window, blankCursor);
            return;
        }
        const unsigned shape = cursor == ECursor::HAND       ? XC_hand2
                               : cursor == ECursor::SIZENWSE ? XC_bottom_right_corner
                                                             : XC_left_ptr;
        Cursor font = XCreateFontCursor(display, shape);
        XDefineCursor(display, window, font);
        XFreeCursor(display, font);
    }

    void present()
    {
        cairo_t* cr = cairo_create(canvas);
        cairo_set_source_surface(cr, editorImage, 0, 0);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_paint(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
        if (entryShown)
            paintTextEntry(cr, overlayFace, scale(), graphics.GetPendingTextEntryStyle(), entryBounds, entryText);
        if (shownMenu != nullptr)
            drawMenu(cr);
        if (modal)
            drawModal(cr);
        cairo_destroy(cr);
        cairo_surface_flush(canvas);

        cr = cairo_create(windowSurface);
        cairo_set_source_surface(cr, canvas, 0, 0);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_flush(windowSurface);
        XFlush(display);
        needsPresent = false;
    }

    std::vector<MenuPanel> layoutMenu(cairo_t* cr)
    {
        std::vector<MenuPanel> panels;
        const double s = scale();
        useOverlayFont(cr, kMenuFontSize);
        const IRECT anchor = graphics.GetPendingPopupBounds();
        double x = anchor.L * s, y = anchor.B * s;
        const IPopupMenu* menu = shownMenu;
        for (std::size_t level = 0; menu != nullptr; ++level)
        {
            MenuPanel panel;
            panel.menu = menu;
            double widest = 0.0, height = 0.0;
            for (int i = 0; i < menu->NItems(); ++i)
            {
                const IPopupMenu::Item* item = menu->GetItem(i);
                widest = std::max(widest, textWidth(cr, item->GetText()));
                height += (item->GetIsSeparator() ? kMenuSeparatorHeight : kMenuItemHeight) * s;
            }
            const double width = widest + 2.0 * (kMenuPadding + kMenuMarkWidth) * s;
            height += 2.0 * 4.0 * s;
            // keep the panel inside the window: shift it left or up when it would leave it
            x = std::max(0.0, std::min(x, pixelWidth - width));
            y = std::max(0.0, std::min(y, pixelHeight - height));
            panel.rect = {x, y, width, height};
            double itemY = y + 4.0 * s;
            for (int i = 0; i < menu->NItems(); ++i)
            {
                const bool separator = menu->GetItem(i)->GetIsSeparator();
                const double itemHeight = (separator ? kMenuSeparatorHeight : kMenuItemHeight) * s;
                panel.items.push_back({x, itemY, width, itemHeight});
                itemY += itemHeight;
            }
            panels.push_back(panel);
            if (level >= openPath.size() || openPath[level] >= menu->NItems())
                break;
            const PixelRect& opener = panels.back().items[static_cast<std::size_t>(openPath[level])];
            menu = menu->GetItem(openPath[level])->GetSubmenu();
            x = opener.x + opener.w;
            y = opener.y - 4.0 * s;
        }
        return panels;
    }

    void drawMenu(cairo_t* cr)
    {
        const double s = scale();
        const std::vector<MenuPanel> panels = layoutMenu(cr);
        for (std::size_t level = 0; level < panels.size(); ++level)
        {
            const MenuPanel& panel = panels[level];
            setColor(cr, kOverlayPanel);
            cairo_rectangle(cr, panel.rect.x, panel.rect.y, panel.rect.w, panel.rect.h);
            cairo_fill_preserve(cr);
            setColor(cr, kOverlayBorder);
            cairo_set_line_width(cr, std::max(1.0, s));
            cairo_stroke(cr);
            for (int i = 0; i < panel.menu->NItems(); ++i)
            {
                const IPopupMenu::Item* item = panel.menu->GetItem(i);
                const PixelRect& box = panel.items[static_cast<std::size_t>(i)];
                if (item->GetIsSeparator())
                {
                    setColor(cr, kOverlayBorder);
                    cairo_rectangle(cr, box.x + kMenuPadding * s, box.y + box.h / 2.0, box.w - 2 * kMenuPadding * s,
                                    std::max(1.0, s));
                    cairo_fill(cr);
                    continue;
                }
                const bool selectable = item->GetEnabled() && !item->GetIsTitle();
                const bool opened = level < openPath.size() && openPath[level] == i;
                if (selectable && ((static_cast<int>(level) == hoverLevel && i == hoverItem) || opened))
                {
                    setColor(cr, kOverlayHighlight);
                    cairo_rectangle(cr, box.x + 1, box.y, box.w - 2, box.h);
                    cairo_fill(cr);
                }
                setColor(cr, selectable ? kOverlayText : kOverlayDimText);
                drawTextLine(cr, item->GetText(), box.x + (kMenuPadding + kMenuMarkWidth) * s, box);
                // the tick and the submenu arrow are drawn, since the editor's font has no such glyphs
                const double midY = box.y + box.h / 2.0;
                if (item->GetChecked())
                {
                    const double x = box.x + kMenuPadding * s;
                    cairo_move_to(cr, x, midY);
                    cairo_line_to(cr, x + 3.0 * s, midY + 3.5 * s);
                    cairo_line_to(cr, x + 9.0 * s, midY - 4.0 * s);
                    cairo_set_line_width(cr, 1.5 * s);
                    cairo_stroke(cr);
                }
                if (item->GetSubmenu() != nullptr)
                {
                    const double x = box.x + box.w - kMenuPadding * s;
                    cairo_move_to(cr, x - 5.0 * s, midY - 4.0 * s);
                    cairo_line_to(cr, x, midY);
                    cairo_line_to(cr, x - 5.0 * s, midY + 4.0 * s);
                    cairo_close_path(cr);
                    cairo_fill(cr);
                }
            }
        }
    }

    /** The (level, item) under the pointer, or (-1, -1); (-2, -2) when the pointer is on a panel but no item. */
    std::pair<int, int> menuHit(double px, double py)
    {
        cairo_t* cr = cairo_create(canvas);
        const std::vector<MenuPanel> panels = layoutMenu(cr);
        cairo_destroy(cr);
        for (int level = static_cast<int>(panels.size()) - 1; level >= 0; --level)
        {
            const MenuPanel& panel = panels[static_cast<std::size_t>(level)];
            if (!panel.rect.contains(px, py))
                continue;
            for (std::size_t i = 0; i < panel.items.size(); ++i)
                if (panel.items[i].contains(px, py))
                    return {level, static_cast<int>(i)};
            return {-2, -2};
        }
        return {-1, -1};
    }

    const IPopupMenu::Item* menuItem(int level, int index) const
    {
        const IPopupMenu* menu = shownMenu;
        for (int l = 0; l < level && menu != nullptr; ++l)
            menu = menu->GetItem(openPath[static_cast<std::size_t>(l)])->GetSubmenu();
        return menu != nullptr ? menu->GetItem(index) : nullptr;
    }

    void menuPointerMoved(double px, double py)
    {
        const auto [level, index] = menuHit(px, py);
        if (level != hoverLevel || index != hoverItem)
            needsPresent = true;
        hoverLevel = level;
        hoverItem = index;
        if (level < 0)
            return;
        const IPopupMenu::Item* item = menuItem(level, index);
        if (item != nullptr && item->GetSubmenu() != nullptr && item->GetEnabled())
        {
            openPath.resize(static_cast<std::size_t>(level));
            openPath.push_back(index);
            needsPresent = true;
        }
    }

    void menuPressed(double px, double py)
    {
        const auto [level, index] = menuHit(px, py);
        if (level == -1)
        {
            graphics.DismissPopupMenu();
            return;
        }
        if (level < 0)
            return;
        const IPopupMenu::Item* item = menuItem(level, index);
        if (item == nullptr || item->GetIsSeparator() || item->GetIsTitle() || !item->GetEnabled())
            return;
        std::vector<int> path(openPath.begin(), openPath.begin() + level);
        path.push_back(index);
        if (item->GetSubmenu() != nullptr)
            openPath = path;
        else
            graphics.SelectPopupItem(path);
        needsPresent = true;
    }

    void entryKey(KeySym key, const std::string& typed)
    {
        if (key == XK_Return || key == XK_KP_Enter)
            graphics.CommitTextEntry(entryText.c_str());
        else if (key == XK_Escape)
            graphics.CancelTextEntry();
        else if (key == XK_BackSpace)
            eraseLastCharacter(entryText);
        else
            entryText += typed;
        needsPresent = true;
    }

    void drawModal(cairo_t* cr)
    {
        const double s = scale();
        cairo_set_source_rgba(cr, 0.0, 0.0, 0.0, 0.55);
        cairo_paint(cr);

        useOverlayFont(cr, kBoxFontSize);
        const double pad = kBoxPadding * s, lineHeight = kBoxFontSize * 1.5 * s;
        const double width = std::min(kBoxWidth * s, pixelWidth - 2.0 * pad);
        const std::vector<std::string> lines = wrap(cr, modal->text, width - 2.0 * pad);
        const double height = pad + lineHeight * (1 + static_cast<double>(lines.size())) + pad * 0.5 +
                              (modal->hasInput ? lineHeight + pad * 0.5 : 0.0) + kButtonHeight * s + pad;
        const PixelRect box{(pixelWidth - width) / 2.0, std::max(0.0, (pixelHeight - height) / 2.0), width, height};
        setColor(cr, kOverlayPanel);
        cairo_rectangle(cr, box.x, box.y, box.w, box.h);
        cairo_fill_preserve(cr);
        setColor(cr, kOverlayBorder);
        cairo_set_line_width(cr, std::max(1.0, s));
        cairo_stroke(cr);

        double y = box.y + pad;
        setColor(cr, kOverlayText);
        drawTextLine(cr, modal->title, box.x + pad, {box.x, y, box.w, lineHeight});
        y += lineHeight;
        setColor(cr, kOverlayDimText);
        for (const std::string& line : lines)
        {
            drawTextLine(cr, line, box.x + pad, {box.x, y, box.w, lineHeight});
            y += lineHeight;
        }
        y += pad * 0.5;
        if (modal->hasInput)
        {
            const PixelRect field{box.x + pad, y, box.w - 2.0 * pad, lineHeight};
            setColor(cr, kOverlayField);
            cairo_rectangle(cr, field.x, field.y, field.w, field.h);
            cairo_fill(cr);
            setColor(cr, kOverlayText);
            drawTextLine(cr, modal->input + "|", field.x + 4.0 * s, field);
            y += lineHeight + pad * 0.5;
        }
        modal->buttonRects.clear();
        double x = box.x + box.w - pad - kButtonWidth * s * static_cast<double>(modal->buttons.size()) -
                   8.0 * s * static_cast<double>(modal->buttons.size() - 1);
        for (const auto& [label, result] : modal->buttons)
        {
            const PixelRect button{x, y, kButtonWidth * s, kButtonHeight * s};
            modal->buttonRects.push_back(button);
            setColor(cr, kOverlayHighlight);
            cairo_rectangle(cr, button.x, button.y, button.w, button.h);
            cairo_fill(cr);
            setColor(cr, kOverlayText);
            drawTextLine(cr, label, button.x + (button.w - textWidth(cr, label)) / 2.0, button);
            x += button.w + 8.0 * s;
        }
    }

    /** Splits `text` into lines no wider than `width` at spaces and newlines. */
    std::vector<std::string> wrap(cairo_t* cr, const std::string& text, double width)
    {
        std::vector<std::string> lines;
        std::size_t start = 0;
        while (start <= text.size())
        {
            const std::size_t end = std::min(text.find('\n', start), text.size());
            std::string line;
            std::size_t word = start;
            while (word < end)
            {
                std::size_t next = text.find(' ', word);
                next = next == std::string::npos || next > end ? end : next;
                const std::string piece = text.substr(word, next - word);
                const std::string tried = line.empty() ? piece : line + " " + piece;
                if (!line.empty() && textWidth(cr, tried) > width)
                {
                    lines.push_back(line);
                    line = piece;
                }
                else
                    line = tried;
                word = next + 1;
            }
            lines.push_back(line);
            start = end + 1;
        }
        return lines;
    }

    void modalPressed(double px, double py)
    {
        for (std::size_t i = 0; i < modal->buttonRects.size() && i < modal->buttons.size(); ++i)
            if (modal->buttonRects[i].contains(px, py))
                modal->answer = modal->buttons[i].second;
    }

    void modalKey(KeySym key, const std::string& typed)
    {
        if (key == XK_Escape)
            modal->answer = modal->escapeResult;
        else if (key == XK_Return || key == XK_KP_Enter)
            modal->answer = modal->buttons.front().second;
        else if (modal->hasInput && key == XK_BackSpace)
            eraseLastCharacter(modal->input);
        else if (modal->hasInput)
            modal->input += typed;
        needsPresent = true;
    }

    /** Shows `box` until it is answered; the answer and what was typed into it. */
    std::pair<EMsgBoxResult, std::string> runModal(Modal box)
    {
        if (closed || modal)
            return {box.escapeResult, {}};
        modal = std::move(box);
        needsPresent = true;
        // the editor is not redrawn while the box is up: the call that asked is still inside a control's handler
        while (!modal->answer && !closed)
        {
            waitForEvent(-1);
            handleQueuedEvents();
            if (needsPresent)
                present();
        }
        std::pair<EMsgBoxResult, std::string> answer{modal->answer.value_or(modal->escapeResult), modal->input};
        modal.reset();
        needsPresent = true;
        return answer;
    }

    void waitForEvent(int timeoutMs)
    {
        if (XPending(display) > 0)
            return;
        pollfd fd{ConnectionNumber(display), POLLIN, 0};
        poll(&fd, 1, timeoutMs);
    }

    void handleQueuedEvents()
    {
        while (!closed && XPending(display) > 0)
        {
            XEvent event;
            XNextEvent(display, &event);
            handle(event);
        }
        handOverLinks();
    }

    /** Links the editor opened since the last events go to the browser; without one the user gets the link to copy
     *  from the terminal. */
    void handOverLinks()
    {
        const std::vector<std::string>& links = graphics.GetOpenedURLs();
        for (; linksHandedOver < links.size(); ++linksHandedOver)
        {
            const std::string& link = links[linksHandedOver];
            const char* searchPath = std::getenv("PATH");
            const LinkOpening opening = openLink(link, searchPath != nullptr ? searchPath : "");
            if (opening == LinkOpening::kNoOpener || opening == LinkOpening::kFailed)
            {
                std::printf("open: %s\n", link.c_str());
                std::fflush(stdout);
            }
        }
    }

    static IMouseMod modifiers(unsigned state, bool left, bool right)
    {
        return IMouseMod(left, right, (state & ShiftMask) != 0, (state & ControlMask) != 0, (state & Mod1Mask) != 0);
    }

    void handle(XEvent& event)
    {
        trackPlatformState(); // an idle tick may have rebuilt the editor, dropping its menu, since the last event
        const float s = scale();
        switch (event.type)
        {
        case Expose:
            if (event.xexpose.count == 0)
                needsPresent = true;
            break;
        case ClientMessage:
            if (event.xclient.message_type == wmProtocols && static_cast<Atom>(event.xclient.data.l[0]) == wmDelete)
                closed = true;
            break;
        case ButtonPress:
            buttonPressed(event.xbutton);
            break;
        case ButtonRelease:
        {
            const XButtonEvent& button = event.xbutton;
            if (button.button > 3 || !pressForwarded || modal)
                break;
            pressForwarded = false;
            graphics.OnMouseUp(static_cast<float>(button.x) / s, static_cast<float>(button.y) / s,
                               modifiers(button.state, button.button == Button1, button.button == Button3));
            break;
        }
        case MotionNotify:
        {
            const XMotionEvent& motion = event.xmotion;
            const float x = static_cast<float>(motion.x) / s, y = static_cast<float>(motion.y) / s;
            if (modal)
                break;
            if (pressForwarded)
                graphics.OnMouseDrag(
                    x, y, static_cast<float>(motion.x - lastPixelX) / s, static_cast<float>(motion.y - lastPixelY) / s,
                    modifiers(motion.state, (motion.state & Button1Mask) != 0, (motion.state & Button3Mask) != 0));
            else if (shownMenu != nullptr)
                menuPointerMoved(motion.x, motion.y);
            else
                graphics.OnMouseOver(x, y, modifiers(motion.state, false, false));
            lastPixelX = motion.x;
            lastPixelY = motion.y;
            break;
        }
        case LeaveNotify:
            if (!pressForwarded && !modal)
                graphics.OnMouseOut();
            break;
        case KeyPress:
        {
            char buffer[32];
            KeySym key = NoSymbol;
            const int length = XLookupString(&event.xkey, buffer, sizeof buffer, &key, nullptr);
            const std::string typed = latin1ToUtf8(buffer, length);
            if (modal)
                modalKey(key, typed);
            else if (shownMenu != nullptr && key == XK_Escape)
                graphics.DismissPopupMenu();
            else if (graphics.HasPendingTextEntry())
                entryKey(key, typed);
            break;
        }
        default:
            break;
        }
        trackPlatformState();
    }

    void buttonPressed(const XButtonEvent& button)
    {
        if (modal || shownMenu != nullptr)
            lastPressButton = 0; // a press on an overlay ends any double-click
        if (modal)
        {
            if (button.button == Button1)
                modalPressed(button.x, button.y);
            return;
        }
        if (shownMenu != nullptr)
        {
            if (button.button <= Button3)
                menuPressed(button.x, button.y);
            return;
        }
        const float s = scale();
        const float x = static_cast<float>(button.x) / s, y = static_cast<float>(button.y) / s;
        if (button.button == Button4 || button.button == Button5)
        {
            graphics.OnMouseWheel(x, y, modifiers(button.state, false, false), button.button == Button4 ? 1.0f : -1.0f);
            return;
        }
        if (button.button != Button1 && button.button != Button3)
            return;
        const IMouseMod mod = modifiers(button.state, button.button == Button1, button.button == Button3);
        const bool doubleClick = static_cast<int>(button.button) == lastPressButton &&
                                 button.time - lastPressTime <= kDoubleClickMs &&
                                 std::abs(button.x - lastPressX) <= kDoubleClickSlopPixels &&
                                 std::abs(button.y - lastPressY) <= kDoubleClickSlopPixels;
        lastPixelX = button.x;
        lastPixelY = button.y;
        pressForwarded = true;
        if (doubleClick)
        {
            lastPressButton = 0; // a third press starts a new click
            graphics.OnMouseDblClick(x, y, mod);
            return;
        }
        lastPressButton = static_cast<int>(button.button);
        lastPressTime = button.time;
        lastPressX = button.x;
        lastPressY = button.y;
        graphics.OnMouseDown(x, y, mod);
    }
};

X11Window::X11Window(std::unique_ptr<Impl> impl) : impl(std::move(impl)) {}

X11Window::~X11Window() = default;

std::unique_ptr<X11Window> X11Window::open(IGraphics& graphics, const std::string& title, std::string& error)
{
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || name[0] == '\0')
    {
        error = "no X display: DISPLAY is not set";
        return nullptr;
    }
    auto impl = std::make_unique<Impl>(graphics);
    impl->display = XOpenDisplay(name);
    if (impl->display == nullptr)
    {
        error = std::string("cannot open the X display ") + name;
        return nullptr;
    }
    Display* display = impl->display;
    const int screen = DefaultScreen(display);
    XVisualInfo wanted{};
    if (XMatchVisualInfo(display, screen, 24, TrueColor, &wanted) == 0)
    {
        error = std::string("the X display ") + name + " offers no 24-bit true-colour visual";
        return nullptr;
    }
    impl->visual = wanted.visual;
    impl->pixelWidth = std::max(1, graphics.PixelWidth());
    impl->pixelHeight = std::max(1, graphics.PixelHeight());

    XSetWindowAttributes attributes{};
    impl->colormap = XCreateColormap(display, RootWindow(display, screen), wanted.visual, AllocNone);
    attributes.colormap = impl->colormap;
    attributes.background_pixel = 0;
    attributes.border_pixel = 0;
    attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | LeaveWindowMask |
                            KeyPressMask | StructureNotifyMask;
    impl->window = XCreateWindow(display, RootWindow(display, screen), 0, 0, static_cast<unsigned>(impl->pixelWidth),
                                 static_cast<unsigned>(impl->pixelHeight), 0, wanted.depth, InputOutput, wanted.visual,
                                 CWColormap | CWBackPixel | CWBorderPixel | CWEventMask, &attributes);

    XStoreName(display, impl->window, title.c_str());
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    XChangeProperty(display, impl->window, XInternAtom(display, "_NET_WM_NAME", False), utf8, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(title.c_str()), static_cast<int>(title.size()));
    impl->wmProtocols = XInternAtom(display, "WM_PROTOCOLS", False);
    impl->wmDelete = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, impl->window, &impl->wmDelete, 1);

    impl->makeSurfaces();
    impl->setFixedSize();
    impl->overlayFace = loadPlatformFontFace();
    XMapWindow(display, impl->window);
    graphics.SetAllControlsDirty();
    impl->refresh(true);
    return std::unique_ptr<X11Window>(new X11Window(std::move(impl)));
}

bool X11Window::step(int timeoutMs)
{
    if (impl->closed)
        return false;
    impl->waitForEvent(timeoutMs);
    impl->handleQueuedEvents();
    if (!impl->closed)
        impl->refresh(true);
    return !impl->closed;
}

void X11Window::run(const std::function<void()>& idle, int idleIntervalMs)
{
    using Clock = std::chrono::steady_clock;
    const auto frame = std::chrono::milliseconds(1000 / std::max(1, impl->graphics.FPS()));
    const auto idleInterval = std::chrono::milliseconds(std::max(1, idleIntervalMs));
    auto nextIdle = Clock::now() + idleInterval;
    auto nextFrame = Clock::now() + frame;
    while (!impl->closed)
    {
        const auto wake = std::min(nextIdle, nextFrame);
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(wake - Clock::now()).count();
        impl->waitForEvent(static_cast<int>(std::max<long long>(0, wait)));
        impl->handleQueuedEvents();
        if (impl->closed)
            break;
        const auto now = Clock::now();
        if (now >= nextIdle)
        {
            if (idle)
                idle();
            nextIdle = std::max(nextIdle + idleInterval, now);
        }
        // events present their overlays at once; the editor itself is drawn at its frame rate
        const bool frameDue = now >= nextFrame;
        if (frameDue)
            nextFrame = std::max(nextFrame + frame, now);
        impl->refresh(frameDue);
    }
}

bool X11Window::isClosed() const
{
    return impl->closed;
}

EMsgBoxResult X11Window::runMessageBox(const char* text, const char* title, EMsgBoxType type)
{
    Modal box;
    box.title = title != nullptr ? title : "";
    box.text = text != nullptr ? text : "";
    switch (type)
    {
    case kMB_OK:
        box.buttons = {{"OK", kOK}};
        box.escapeResult = kOK;
        break;
    case kMB_OKCANCEL:
        box.buttons = {{"OK", kOK}, {"Cancel", kCANCEL}};
        break;
    case kMB_YESNO:
        box.buttons = {{"Yes", kYES}, {"No", kNO}};
        box.escapeResult = kNO;
        break;
    case kMB_YESNOCANCEL:
        box.buttons = {{"Yes", kYES}, {"No", kNO}, {"Cancel", kCANCEL}};
        break;
    }
    return impl->runModal(std::move(box)).first;
}

bool X11Window::runFilePrompt(EFileAction action, const char* extensions, std::string& path)
{
    Modal box;
    box.title = action == EFileAction::Save ? "Save as" : "Open";
    const std::string types = extensions != nullptr ? extensions : "";
    box.text = "Type the full path of the file" + (types.empty() ? std::string() : " (" + types + ")") + ".";
    box.buttons = {{action == EFileAction::Save ? "Save" : "Open", kOK}, {"Cancel", kCANCEL}};
    box.hasInput = true;
    box.input = path;
    auto [answer, typed] = impl->runModal(std::move(box));
    if (answer != kOK || typed.empty())
        return false;
    path = std::move(typed);
    return true;
}

unsigned long X11Window::windowId() const
{
    return impl->window;
}

} // namespace igraphics
} // namespace iplug
