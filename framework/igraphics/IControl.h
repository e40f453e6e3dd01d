#pragma once

#include "framework/igraphics/IGraphicsStructs.h"

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace iplug
{
class IParam;
class IEditorDelegate;

namespace igraphics
{
class IGraphics;
class IPopupMenu;
class IControl;

using IActionFunction = std::function<void(IControl*)>;

/**
 * The base of every editor control: a rectangle, one or more normalised values (each optionally bound to a host
 * parameter), a text style, and the mouse, menu, text entry and message handlers the graphics object calls.
 * All of it runs on the user-interface thread.
 */
class IControl
{
public:
    explicit IControl(const IRECT& bounds, int paramIdx = kNoParameter, IActionFunction actionFunc = nullptr);
    /** One value per parameter index, in the given order. */
    IControl(const IRECT& bounds, std::initializer_list<int> params, IActionFunction actionFunc = nullptr);
    virtual ~IControl() = default;

    IControl(const IControl&) = delete;
    IControl& operator=(const IControl&) = delete;

    virtual void OnMouseDown(float x, float y, const IMouseMod& mod);
    virtual void OnMouseUp(float x, float y, const IMouseMod& mod);
    virtual void OnMouseDrag(float x, float y, float dX, float dY, const IMouseMod& mod);
    virtual void OnMouseDblClick(float x, float y, const IMouseMod& mod);
    virtual void OnMouseWheel(float x, float y, const IMouseMod& mod, float d);
    /** The mouse moves over the control without a button held; the default marks it hovered and redraws. */
    virtual void OnMouseOver(float x, float y, const IMouseMod& mod);
    virtual void OnMouseOut();
    /** `menu` is the (sub)menu whose item was chosen, or null when the menu was dismissed. */
    virtual void OnPopupMenuSelection(IPopupMenu* menu, int valIdx);
    virtual void OnTextEntryCompletion(const char* str, int valIdx);
    virtual void OnMsgFromDelegate(int msgTag, int dataSize, const void* data);
    /** Called after the rectangles changed. */
    virtual void OnResize();
    /** Called once the control belongs to a graphics object. */
    virtual void OnAttached();

    virtual void Draw(IGraphics& g) = 0;
    virtual bool IsHit(float x, float y) const { return rect.Contains(x, y); }
    /** Polled once per frame; the control is drawn when any control answers true. */
    virtual bool IsDirty() { return dirty; }
    virtual void SetText(const IText& text) { this->text = text; }

    /** Marks the control for redrawing; with `triggerAction`, also sends the value(s) to the parameter(s), whose
     *  delegate shows them in every control of the same parameter, and calls the action function. `valIdx` kNoValIdx
     * means every value. While the control holds the mouse the value goes into the press's open gesture (opened at the
     * press for a control of one parameter, at the first change for each parameter of a control of several, closed at
     * the release); any other send is a gesture of its own, opened and closed at once. */
    virtual void SetDirty(bool triggerAction = true, int valIdx = kNoValIdx);
    void ClearDirty() { dirty = false; }

    /** The parameter's new normalised value arrived from the plug-in: stores it and redraws when it changed. */
    virtual void SetValueFromDelegate(double normalized, int valIdx = 0);
    /** Sets the value of a parameter-bound slot to the parameter's default and sends it. */
    void SetValueToDefault(int valIdx = kNoValIdx);

    double GetValue(int valIdx = 0) const;
    void SetValue(double normalized, int valIdx = 0);
    int NVals() const { return static_cast<int>(vals.size()); }
    int GetParamIdx(int valIdx = 0) const;
    /** The bound parameter, or null when the slot is unbound or the control is not attached. */
    const IParam* GetParam(int valIdx = 0) const;

    const IRECT& GetRECT() const { return rect; }
    /** The control is drawn in and hit over the same rectangle. */
    void SetTargetAndDrawRECTs(const IRECT& bounds) { rect = bounds; }

    const IText& GetText() const { return text; }
    const IBlend& GetBlend() const { return blend; }

    int GetTag() const { return tag; }
    const char* GetGroup() const { return group.c_str(); }
    void Hide(bool hide);
    bool IsHidden() const { return hidden; }
    void SetIgnoreMouse(bool ignore) { ignoreMouse = ignore; }
    bool GetIgnoreMouse() const { return ignoreMouse; }
    void SetMouseIsOver(bool over) { mouseIsOver = over; }

    void SetTooltip(const char* tooltip) { this->tooltip = tooltip ? tooltip : ""; }
    const char* GetTooltip() const { return tooltip.c_str(); }
    /** The most characters a text entry opened for this control accepts. */
    void SetTextEntryLength(int length) { textEntryLength = length; }
    int GetTextEntryLength() const { return textEntryLength; }

    /** Null until attached. */
    IGraphics* GetUI() const { return ui; }
    IEditorDelegate* GetDelegate() const;

protected:
    /** Gives the control `count` unbound values (controls whose number of values is known only at run time). */
    void SetNVals(int count);
    /** Binds value `valIdx` to `paramIdx` (before the control is attached). */
    void SetParamIdx(int paramIdx, int valIdx = 0);

    IRECT rect;
    IText text;
    IBlend blend;
    bool mouseIsOver = false;

private:
    friend class IGraphics;

    struct Val
    {
        int paramIdx = kNoParameter;
        double value = 0.0;
    };

    std::vector<Val> vals;
    IActionFunction actionFunc;
    IGraphics* ui = nullptr;
    int tag = kNoTag;
    std::string group;
    std::string tooltip;
    int textEntryLength = 256;
    bool hidden = false;
    bool ignoreMouse = false;
    bool dirty = true;
};

} // namespace igraphics
} // namespace iplug
