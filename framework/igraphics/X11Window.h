#pragma once

#include "framework/igraphics/IGraphicsStructs.h"

#include <functional>
#include <memory>
#include <string>

namespace iplug
{
namespace igraphics
{
class IGraphics;

/**
 * A top-level X11 window showing an editor's graphics: each frame the editor's image is copied into the window
 * through cairo on Xlib. Pointer and wheel events reach the graphics object in editor units; a second press within
 * the double-click time arrives as a double-click. The graphics object's pending popup menu and text entry are
 * drawn over the editor as simple overlays that take the pointer and the keyboard while they are up, and message
 * boxes and file prompts run as modal overlays. The window follows the graphics object's pixel size, so the
 * editor's corner control resizes it. Links the editor opens go to xdg-open, or are printed as "open: URL" on
 * stdout when there is none. Main thread only; X11 types stay out of this header.
 */
class X11Window
{
public:
    /** Opens the window on $DISPLAY, or returns null with a one-line reason (no display, no usable visual). The
     *  graphics object must outlive the window. */
    [[nodiscard]] static std::unique_ptr<X11Window> open(IGraphics& graphics, const std::string& title,
                                                         std::string& error);
    ~X11Window();
    X11Window(const X11Window&) = delete;
    X11Window& operator=(const X11Window&) = delete;

    /** Handles events, calls `idle` every `idleIntervalMs` and draws at the editor's frame rate until the window is
     *  closed by the window manager's close button. */
    void run(const std::function<void()>& idle, int idleIntervalMs);
    /** One pass of the loop: waits up to `timeoutMs` for an event, handles every queued one and presents a frame
     *  when something changed. False once the window has been closed. */
    bool step(int timeoutMs);
    bool isClosed() const;

    /** Shows a modal box over the editor until a button is clicked (Escape answers Cancel, or No without a Cancel
     *  button; Return answers the first button). Closing the window meanwhile answers as Escape does. */
    EMsgBoxResult runMessageBox(const char* text, const char* title, EMsgBoxType type);
    /** Asks for a path in a modal one-line entry; false when cancelled. */
    bool runFilePrompt(EFileAction action, const char* extensions, std::string& path);

    /** The X window id, for tests that send events to it. */
    unsigned long windowId() const;

private:
    struct Impl;
    explicit X11Window(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl;
};

} // namespace igraphics
} // namespace iplug
