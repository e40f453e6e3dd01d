#pragma once

#include "framework/igraphics/IControl.h"

/**
 * The strip at the editor's foot that sets the high-pass and low-pass frequencies with two round handles: the left
 * half is the high-pass range, the right half the low-pass range, each logarithmic; the passband between the
 * handles is drawn in the accent. Value 0 is the high-pass frequency, value 1 the low-pass frequency; the on
 * switches are read from their parameters, so the strip follows toggles that other controls change.
 */
class BandStripControl : public iplug::igraphics::IControl
{
public:
    BandStripControl(const iplug::igraphics::IRECT& bounds, int highPassFreqParam, int lowPassFreqParam,
                     int highPassOnParam, int lowPassOnParam, float scale, const iplug::igraphics::IColor& accent);
    ~BandStripControl() override = default;

    void OnMouseDown(float x, float y, const iplug::igraphics::IMouseMod& mod) override;
    void OnMouseUp(float x, float y, const iplug::igraphics::IMouseMod& mod) override;
    void OnMouseDrag(float x, float y, float dX, float dY, const iplug::igraphics::IMouseMod& mod) override;
    void Draw(iplug::igraphics::IGraphics& g) override;
    /** Also true when an on switch changed since the last frame. */
    bool IsDirty() override;

    /** 1 (low-pass) when `x` is strictly nearer the low-pass handle, else 0 (high-pass). */
    int nearestHandle(float x);

private:
    static constexpr int kNoHandle = -1;

    float spanLeft() const;
    float spanRight() const;
    float spanFraction(float x) const;
    /** Where handle `handle` sits along the span, 0..1, from its frequency value. */
    float handlePosition(int handle) const;
    bool switchOn(int paramIdx) const;
    void fillOverTrack(iplug::igraphics::IGraphics& g, const iplug::igraphics::IColor& color, float x0, float x1);

    iplug::igraphics::IColor trackColor{18, 250, 250, 250};
    iplug::igraphics::IColor passbandColor;
    iplug::igraphics::IColor handleOnColor{255, 250, 250, 250};
    iplug::igraphics::IColor handleOffColor{56, 250, 250, 250};
    int highPassOnParam;
    int lowPassOnParam;
    float scale;
    int draggedHandle = kNoHandle;
    bool highPassOnDrawn = false;
    bool lowPassOnDrawn = false;
};
