#pragma once

#include "framework/igraphics/IControl.h"
#include "framework/igraphics/IVectorBase.h"

namespace iplug
{
namespace igraphics
{
/**
 * A round knob: a value arc from the anchor angle to the current angle, a body and a pointer. Angles are degrees,
 * 0 at twelve o'clock, clockwise. A drag in `direction` of 50 x `gearing` units sweeps the whole travel (shift
 * makes it ten times finer); a double-click restores the parameter's default.
 */
class IVKnobControl : public IControl, public IVectorBase
{
public:
    IVKnobControl(const IRECT& bounds, int paramIdx, const char* label = "", const IVStyle& style = DEFAULT_STYLE,
                  bool valueIsEditable = false, bool valueInWidget = false, float a1 = -135.0f, float a2 = 135.0f,
                  float aAnchor = -135.0f, EDirection direction = EDirection::Vertical, double gearing = 4.0,
                  float trackSize = 2.0f);

    void Draw(IGraphics& g) override;
    void OnMouseDown(float x, float y, const IMouseMod& mod) override;
    void OnMouseUp(float x, float y, const IMouseMod& mod) override;
    void OnMouseDrag(float x, float y, float dX, float dY, const IMouseMod& mod) override;
    void OnMouseDblClick(float x, float y, const IMouseMod& mod) override;
    void OnMouseWheel(float x, float y, const IMouseMod& mod, float d) override;

protected:
    /** Draws the value arc from the anchor to `angle` around (cx, cy). */
    virtual void DrawIndicatorTrack(IGraphics& g, float angle, float cx, float cy, float radius);
    virtual void DrawWidget(IGraphics& g);

    float angle1;
    float angle2;
    float anchorAngle;
    float trackSize;
    EDirection direction;
    double gearing;
    bool valueIsEditable;
    bool valueInWidget;
    bool pressed = false;
    double dragValue = 0.0; // unsnapped value while dragging, so small steps add up
};

} // namespace igraphics
} // namespace iplug
