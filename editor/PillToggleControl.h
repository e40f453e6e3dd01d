#pragma once

#include "framework/igraphics/IControl.h"

#include <string>

/**
 * A rounded on/off button bound to a switch parameter: a lit or dim border and dot show the state, the label reads
 * the low text at values up to 0.5 and the high text above. `invert` lights the pill while the value is low (the
 * Bypass pill is lit and reads "ACTIVE" while bypass is off).
 */
class PillToggleControl : public iplug::igraphics::IControl
{
public:
    PillToggleControl(const iplug::igraphics::IRECT& bounds, int paramIdx, const char* lowText, const char* highText,
                      const iplug::igraphics::IText& text, float scale, const iplug::igraphics::IColor& accent,
                      bool invert);
    ~PillToggleControl() override = default;

    /** Any button flips the switch. */
    void OnMouseDown(float x, float y, const iplug::igraphics::IMouseMod& mod) override;
    /** The framework hands the second of two quick presses over as a double-click; it flips the switch again. */
    void OnMouseDblClick(float x, float y, const iplug::igraphics::IMouseMod& mod) override;
    void Draw(iplug::igraphics::IGraphics& g) override;

private:
    iplug::igraphics::IColor fillColor{255, 20, 20, 20};
    iplug::igraphics::IColor borderUnlitColor{56, 250, 250, 250};
    iplug::igraphics::IColor borderLitColor{107, 250, 250, 250};
    iplug::igraphics::IColor dotLitColor;
    iplug::igraphics::IColor dotUnlitColor{56, 250, 250, 250};
    std::string lowText;
    std::string highText;
    iplug::igraphics::IText textStyle;
    float scale;
    bool invert;
};
