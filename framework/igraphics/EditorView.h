#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace iplug
{
namespace igraphics
{

/**
 * The editor in a window of its own, made by IEditorView::openWindow; destroying it closes the window. It draws the
 * graphics object that was open when it was made and runs the plug-in's code: destroy it before the editor closes
 * and before the instance is closed.
 */
class IEditorWindow
{
public:
    virtual ~IEditorWindow() = default;
    /** Handles events, calls `idle` every `idleIntervalMs` and draws until the user closes the window. */
    virtual void run(void (*idle)(void* context), void* context, int idleIntervalMs) = 0;
};

/**
 * The open editor as a host drives it from outside the plug-in's code: scripted pointer actions, the pending menu
 * and text entry, the picture, and a window around it. Every function is virtual and runs inside the plug-in, so a
 * host reaches it with no symbol of the plug-in's; only standard types cross. Positions are in editor units.
 * Each call acts on the editor open at that moment; without one, calls do nothing and answer false or empty.
 * Main thread only.
 */
class IEditorView
{
public:
    struct MenuItem
    {
        std::string text;
        bool separator = false;
        bool checked = false;
        bool enabled = true;
        bool hasSubmenu = false;
        std::vector<MenuItem> submenu;
    };

    virtual bool isOpen() const = 0;
    /** Redraws the editor at `scale` times its design size, the window following. */
    virtual void setScale(float scale) = 0;
    /** Draws what changed since the last frame. */
    virtual void drawFrame() = 0;

    // The left button, as the pointer's events arrive from a platform.
    virtual void mouseOver(float x, float y) = 0;
    virtual void mouseDown(float x, float y) = 0;
    virtual void mouseDrag(float x, float y, float dx, float dy) = 0;
    virtual void mouseUp(float x, float y) = 0;

    /** The items of the menu a control opened and waits on; nothing when none is open. */
    virtual std::optional<std::vector<MenuItem>> pendingMenu() const = 0;
    /** Chooses the item at `path` (an index per menu level); false when it cannot be chosen. */
    virtual bool selectMenuItem(const std::vector<int>& path) = 0;
    /** The text of the text entry a control opened; nothing when none is open. */
    virtual std::optional<std::string> pendingTextEntry() const = 0;
    virtual void commitTextEntry(const std::string& text) = 0;
    /** The links the editor opened, oldest first. */
    virtual std::vector<std::string> openedLinks() const = 0;

    /** Draws the whole editor, with a pending text entry over it, and encodes it as a PNG; false when it cannot. */
    virtual bool picturePNG(std::string& bytes) = 0;

    /** Shows the editor in a window of its own on $DISPLAY, which also answers the editor's message boxes and file
     *  dialogs until it is destroyed; null with a one-line reason when it cannot open. The window must go before
     *  the editor closes. */
    virtual std::unique_ptr<IEditorWindow> openWindow(const std::string& title, std::string& error) = 0;

protected:
    ~IEditorView() = default;
};

} // namespace igraphics
} // namespace iplug
