#pragma once

#include "framework/igraphics/IControl.h"
#include "framework/igraphics/IGraphicsStructs.h"
#include "framework/igraphics/IPopupMenu.h"

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class WDL_String;

namespace iplug
{
class IEditorDelegate;

namespace igraphics
{

/** A loaded SVG image; cheap to copy. Invalid when loading failed. */
class ISVG
{
public:
    struct Image; // the parsed document, private to the drawing back end

    ISVG() = default;
    explicit ISVG(std::shared_ptr<Image> image) : image(std::move(image)) {}

    bool IsValid() const { return image != nullptr; }
    /** Intrinsic size in editor units; 0 when invalid. */
    float W() const;
    float H() const;
    Image* GetImage() const { return image.get(); }

private:
    std::shared_ptr<Image> image;
};

/** What one drawing call was, for tests that check a frame without comparing whole images. */
struct DrawRecord
{
    enum class Kind
    {
        FillRect,
        DrawRect,
        FillRoundRect,
        DrawRoundRect,
        FillCircle,
        DrawCircle,
        FillEllipse,
        FillTriangle,
        Line,
        DottedLine,
        Arc,
        Text,
        SVG,
        PathFill,
        PathStroke
    };
    Kind kind;
    IColor color;
    IRECT rect;       // the bounds; for lines and arcs (x1, y1, x2, y2) and (cx - r, cy - r, cx + r, cy + r)
    std::string text; // Text only: the string as drawn (valid UTF-8)
};

/** A message box that was shown, with the answer it got. */
struct MessageBoxRecord
{
    std::string text;
    std::string title;
    EMsgBoxType type;
    EMsgBoxResult result;
};

/** A file dialog that was shown, with the path it answered (empty: cancelled). */
struct FileDialogRecord
{
    EFileAction action;
    std::string extensions;
    std::string answer;
};

using IMsgBoxCompletionHandlerFunc = std::function<void(EMsgBoxResult)>;
using IFileDialogCompletionHandlerFunc = std::function<void(const WDL_String& fileName, const WDL_String& path)>;

/**
 * The editor's graphics object: owns the controls, draws them with cairo into an ARGB32 image of
 * lround(width x scale) x lround(height x scale) pixels (everything in editor units under the scale), dispatches
 * mouse events, and holds a headless platform: popup menus and text entries stay pending until the host or a test
 * resolves them, message boxes and file dialogs take queued answers, and opened links, cursors and resizes are
 * recorded. Main (user-interface) thread only.
 */
class IGraphics
{
public:
    /** `dlg` must outlive the graphics object; parameters and gestures go through it. */
    IGraphics(IEditorDelegate& dlg, int width, int height, int fps, float scale);
    ~IGraphics();

    IGraphics(const IGraphics&) = delete;
    IGraphics& operator=(const IGraphics&) = delete;

    IEditorDelegate* GetDelegate() const { return &delegate; }

    // Controls, in attach order: drawn in this order, the last one hit gets the mouse first.
    /** Takes ownership of `control`. */
    IControl* AttachControl(IControl* control, int tag = kNoTag, const char* group = "");
    void AttachPanelBackground(const IPattern& pattern);
    IControl* GetControl(int index) const;
    IControl* GetControlWithTag(int tag) const;
    int NControls() const { return static_cast<int>(controls.size()); }
    /** Ends a mouse capture (closing its gesture) and drops a pending menu or text entry without calling back,
     *  then detaches and deletes every control. Safe from inside a control's handler: the controls die after it
     *  returns, and until then GetUI() is null for them. */
    void RemoveAllControls();
    void SetAllControlsDirty();
    /** Every control bound to `paramIdx` takes the new value (without sending it back). */
    void UpdateControlsForParam(int paramIdx, double normalized);
    /** Delivers a message from the plug-in to the control with `ctrlTag`; nothing when no control has it. */
    void SendControlMsgFromDelegate(int ctrlTag, int msgTag, int dataSize, const void* data);

    void EnableMouseOver(bool enable) { mouseOverEnabled = enable; }
    /** Only false is supported: a resize rescales the drawing and never runs the layout again. */
    void SetLayoutOnResize(bool layout) { layoutOnResize = layout; }

    // Size and scale.
    int Width() const { return width; }
    int Height() const { return height; }
    IRECT GetBounds() const { return {0.0f, 0.0f, static_cast<float>(width), static_cast<float>(height)}; }
    int FPS() const { return fps; }
    float GetDrawScale() const { return drawScale; }
    float GetPlatformWindowScale() const { return platformScale; }
    void SetPlatformWindowScale(float scale);
    /** Image size in pixels. */
    int PixelWidth() const;
    int PixelHeight() const;
    /** Passes the logical size through the delegate's constraint, clamps the scale to 0.5..4, rebuilds the image
     *  and redraws everything; with `needsPlatformResize` the window follows (recorded) and its new size reaches
     *  the delegate through OnParentWindowResize, as a host reports it. */
    void Resize(int width, int height, float scale, bool needsPlatformResize = true);

    // Resources: names are looked up in the resource folder (see SetResourcePath); a path with '/' is used as is.
    bool LoadFont(const char* fontID, const char* fileNameOrPath);
    ISVG LoadSVG(const char* fileNameOrPath, const char* units = "px", float dpi = 72.0f);
    /** The resource folder; by default $AUBREVANE_RESOURCE_DIR, else "resources" beside the loaded library, else
     *  the build's resource folder. Never a system-wide font. */
    static void SetResourcePath(const std::string& path);
    static std::string GetResourcePath();

    // Drawing, in editor units; call only from Draw. A primitive with a non-finite coordinate is skipped.
    // Angles are in degrees, 0 at twelve o'clock, growing clockwise.
    void FillRect(const IColor& color, const IRECT& bounds, const IBlend* blend = nullptr);
    void DrawRect(const IColor& color, const IRECT& bounds, const IBlend* blend = nullptr, float thickness = 1.0f);
    void FillRoundRect(const IColor& color, const IRECT& bounds, float cornerRadius, const IBlend* blend = nullptr);
    void DrawRoundRect(const IColor& color, const IRECT& bounds, float cornerRadius, const IBlend* blend = nullptr,
                       float thickness = 1.0f);
    void FillCircle(const IColor& color, float cx, float cy, float r, const IBlend* blend = nullptr);
    void DrawCircle(const IColor& color, float cx, float cy, float r, const IBlend* blend = nullptr,
                    float thickness = 1.0f);
    void FillEllipse(const IColor& color, const IRECT& bounds, const IBlend* blend = nullptr);
    void FillTriangle(const IColor& color, float x1, float y1, float x2, float y2, float x3, float y3,
                      const IBlend* blend = nullptr);
    void DrawLine(const IColor& color, float x1, float y1, float x2, float y2, const IBlend* blend = nullptr,
                  float thickness = 1.0f);
    void DrawDottedLine(const IColor& color, float x1, float y1, float x2, float y2, const IBlend* blend = nullptr,
                        float thickness = 1.0f, float dashLen = 2.0f);
    void DrawArc(const IColor& color, float cx, float cy, float r, float a1, float a2, const IBlend* blend = nullptr,
                 float thickness = 1.0f);
    /** Draws `str` (made valid UTF-8 first) aligned in `bounds` by the style; never clipped to them. */
    void DrawText(const IText& text, const char* str, const IRECT& bounds, const IBlend* blend = nullptr);
    /** The advance width of `str` in editor units (the same at every scale); `bounds` becomes the text's box as
     *  DrawText would place it. */
    float MeasureText(const IText& text, const char* str, IRECT& bounds) const;
    /** Draws the image fitted into `bounds`, keeping its aspect ratio, centred. */
    void DrawSVG(const ISVG& svg, const IRECT& bounds, const IBlend* blend = nullptr);

    void PathClear();
    void PathMoveTo(float x, float y);
    void PathLineTo(float x, float y);
    void PathCubicBezierTo(float c1x, float c1y, float c2x, float c2y, float x2, float y2);
    void PathClose();
    /** Fill and stroke consume the path. */
    void PathFill(const IPattern& pattern, const IBlend* blend = nullptr);
    void PathStroke(const IPattern& pattern, float thickness, const IBlend* blend = nullptr);

    // Platform services.
    /** Shows a box and answers at once: the host's answer when the delegate's host answers message boxes, else
     *  the next queued answer, else OK for an OK box, Cancel for OK/Cancel and No for the others. */
    EMsgBoxResult ShowMessageBox(const char* text, const char* title, EMsgBoxType type,
                                 IMsgBoxCompletionHandlerFunc completion = nullptr);
    /** Answers with the host's choice when the delegate's host answers file dialogs, else the next queued path,
     *  else cancelled (empty): fills `fileName` (the full path) and `path` (its folder), then calls `completion`
     *  (also when cancelled). */
    void PromptForFile(WDL_String& fileName, WDL_String& path, EFileAction action = EFileAction::Open,
                       const char* extensions = "", IFileDialogCompletionHandlerFunc completion = nullptr);
    /** Records the link; it is never handed to a shell. */
    bool OpenURL(const char* url, const char* msgWindowTitle = nullptr, const char* confirmMsg = nullptr,
                 const char* errMsgOnFailure = nullptr);
    /** Returns the previous cursor. */
    ECursor SetMouseCursor(ECursor cursor);
    void HideMouseCursor(bool hide) { cursorHidden = hide; }
    /** Opens `menu` for `control` over `bounds`; it stays pending until resolved. Replaces a pending one. */
    void CreatePopupMenu(IControl& control, IPopupMenu& menu, const IRECT& bounds, int valIdx = 0);
    /** Opens a text entry box for `control`; it stays pending until committed or cancelled. */
    void CreateTextEntry(IControl& control, const IText& text, const IRECT& bounds, const char* str = "",
                         int valIdx = 0);

    // Events from the host window or a test, in editor units.
    void OnMouseDown(float x, float y, const IMouseMod& mod);
    void OnMouseUp(float x, float y, const IMouseMod& mod);
    void OnMouseDrag(float x, float y, float dX, float dY, const IMouseMod& mod);
    /** The second press of a double-click: goes only to the control's double-click handler, never as a press. */
    void OnMouseDblClick(float x, float y, const IMouseMod& mod);
    void OnMouseWheel(float x, float y, const IMouseMod& mod, float delta);
    /** The pointer moved without a button held. */
    void OnMouseOver(float x, float y, const IMouseMod& mod);
    /** The pointer left the window. */
    void OnMouseOut();
    IControl* GetCapturedControl() const { return captured; }

    // The headless platform's pending menu and text entry.
    bool HasPendingPopupMenu() const { return pendingMenu.control != nullptr; }
    const IPopupMenu* GetPendingPopupMenu() const { return pendingMenu.menu; }
    IRECT GetPendingPopupBounds() const { return pendingMenu.bounds; }
    /** Chooses an item by its position at each level ({4, 2}: item 2 of the submenu of item 4). False, and the
     *  menu stays open, when the path names no enabled item. */
    bool SelectPopupItem(const std::vector<int>& path);
    /** The same by item texts. */
    bool SelectPopupItemByText(const std::vector<std::string>& path);
    /** Closes the menu without a choice: the control hears OnPopupMenuSelection(nullptr, ...). */
    void DismissPopupMenu();

    bool HasPendingTextEntry() const { return pendingEntry.control != nullptr; }
    const std::string& GetPendingTextEntryText() const { return pendingEntry.text; }
    IRECT GetPendingTextEntryBounds() const { return pendingEntry.bounds; }
    const IText& GetPendingTextEntryStyle() const { return pendingEntry.style; }
    int GetPendingTextEntryLength() const { return pendingEntry.maxLength; }
    /** Confirms typed text (cut to the entry's length in characters, made valid UTF-8) and calls back. */
    void CommitTextEntry(const char* typed);
    /** Closes the entry without calling back. */
    void CancelTextEntry();
    /** Paints the pending text entry with its text over the image as the X11 window shows it, so a picture taken
     *  now shows it too; it stays there until the next frame is drawn. Nothing without a pending entry. */
    void DrawPendingTextEntry();

    // Queued answers and records of the headless platform.
    void QueueMessageBoxAnswer(EMsgBoxResult result) { messageBoxAnswers.push_back(result); }
    void QueueFileDialogAnswer(const std::string& path) { fileDialogAnswers.push_back(path); }
    const std::vector<MessageBoxRecord>& GetMessageBoxes() const { return messageBoxes; }
    const std::vector<FileDialogRecord>& GetFileDialogs() const { return fileDialogs; }
    const std::vector<std::string>& GetOpenedURLs() const { return openedURLs; }
    ECursor GetMouseCursor() const { return cursor; }
    bool IsMouseCursorHidden() const { return cursorHidden; }
    /** Window sizes in pixels requested by resizes that needed the platform window to follow. */
    const std::vector<std::pair<int, int>>& GetWindowResizes() const { return windowResizes; }

    // Frames.
    /** Polls IsDirty() on every control in attach order; when any is dirty (or `force`), draws every visible
     *  control in attach order into a cleared image. Returns whether it drew. */
    bool DrawFrame(bool force = false);
    /** The image as the bytes of a PNG file, for the caller to write as it writes any file. */
    [[nodiscard]] bool EncodePNG(std::string& bytes) const;
    /** The pixel at image coordinates (x, y), not premultiplied; transparent outside the image. */
    IColor GetPixel(int x, int y) const;
    /** Copies the whole image as premultiplied 32-bit ARGB rows (alpha in the top byte), `stride` bytes apart,
     *  into `destination`, which holds PixelHeight() rows of at least 4 x PixelWidth() bytes. */
    void CopyPixels(unsigned char* destination, int stride) const;
    void EnableDrawLog(bool enable) { drawLogEnabled = enable; }
    const std::vector<DrawRecord>& GetDrawLog() const { return drawLog; }
    void ClearDrawLog() { drawLog.clear(); }

private:
    struct Backend; // cairo surface, context and fonts

    struct PendingMenu
    {
        IControl* control = nullptr;
        IPopupMenu* menu = nullptr;
        IRECT bounds;
        int valIdx = 0;
    };
    struct PendingEntry
    {
        IControl* control = nullptr;
        IText style;
        IRECT bounds;
        std::string text;
        int maxLength = 0;
        int valIdx = 0;
    };

    friend class IControl;

    /** Counts nested calls into controls, so controls removed by a handler are deleted once it has returned. */
    class DispatchScope
    {
    public:
        explicit DispatchScope(IGraphics& graphics) : graphics(graphics) { ++graphics.dispatchDepth; }
        ~DispatchScope()
        {
            if (--graphics.dispatchDepth == 0)
                graphics.retired.clear();
        }
        DispatchScope(const DispatchScope&) = delete;
        DispatchScope& operator=(const DispatchScope&) = delete;

    private:
        IGraphics& graphics;
    };

    IControl* controlAt(float x, float y) const;
    bool isAttached(const IControl* control) const;
    /** Sends a value for `control`: inside the open gesture of a capture, else inside a gesture of its own. */
    void sendParameterValue(IControl& control, int paramIdx, double normalized);
    void capture(IControl& control);
    /** Closes what a press closes and captures the control hit at (x, y), if any. */
    IControl* press(float x, float y);
    /** Ends the capture and closes the gestures it opened. */
    void releaseCapture();
    /** A press closes a pending text entry (without calling back) and dismisses a pending menu. */
    void closeTransientUI();
    /** True when the primitive may be drawn (all finite); logs it when the draw log is on. */
    bool accept(DrawRecord::Kind kind, const IColor& color, const IRECT& bounds, const char* text = nullptr);
    void rebuildSurface();

    IEditorDelegate& delegate;
    int width;
    int height;
    int fps;
    float drawScale;
    float platformScale = 1.0f;
    bool mouseOverEnabled = false;
    bool layoutOnResize = false;
    bool fullRedraw = true;

    std::vector<std::unique_ptr<IControl>> controls;
    std::vector<std::unique_ptr<IControl>> retired; // removed while a handler ran; deleted after it returns
    int dispatchDepth = 0;
    IControl* captured = nullptr;
    std::vector<int> capturedGestures;
    IControl* mouseOver = nullptr;

    PendingMenu pendingMenu;
    PendingEntry pendingEntry;
    std::deque<EMsgBoxResult> messageBoxAnswers;
    std::deque<std::string> fileDialogAnswers;
    std::vector<MessageBoxRecord> messageBoxes;
    std::vector<FileDialogRecord> fileDialogs;
    std::vector<std::string> openedURLs;
    std::vector<std::pair<int, int>> windowResizes;
    ECursor cursor = ECursor::ARROW;
    bool cursorHidden = false;

    bool drawLogEnabled = false;
    std::vector<DrawRecord> drawLog;

    std::unique_ptr<Backend> backend;
};

/** Makes the editor's graphics object of `width` x `height` units at `scale`. */
IGraphics* MakeGraphics(IEditorDelegate& dlg, int width, int height, int fps, float scale);

/** `str` with every invalid UTF-8 sequence replaced by U+FFFD; null gives the empty string. */
std::string makeValidUtf8(const char* str);

} // namespace igraphics
} // namespace iplug
