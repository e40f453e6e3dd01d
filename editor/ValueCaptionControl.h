#pragma once

#include "framework/igraphics/ICaptionControl.h"

namespace aubrevane::plugin
{

/**
 * Shows a parameter's value with its unit under a knob or the band strip; a left click opens a small text box in
 * which the user types a new value in the parameter's unit ("1.2k", "-6,5 dB").
 */
class ValueCaptionControl : public iplug::igraphics::ICaptionControl
{
public:
    static constexpr int kEntryLength = 16; // characters

    ValueCaptionControl(const iplug::igraphics::IRECT& bounds, int paramIdx, const iplug::igraphics::IText& text);
    ~ValueCaptionControl() override = default;

    void OnMouseDown(float x, float y, const iplug::igraphics::IMouseMod& mod) override;
    /** Text that holds no number, or a NaN, is ignored; a number, infinities included, is clamped to the range,
     *  snapped to the step and sent as one complete change. */
    void OnTextEntryCompletion(const char* str, int valIdx) override;
};

} // namespace aubrevane::plugin
