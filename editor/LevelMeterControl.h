#pragma once

#include "framework/igraphics/IVMeterControl.h"

/**
 * A vertical IN or OUT level meter: the peak-and-average bar over -54..+6 dB on a faint track, a peak line, a dB
 * scale on one side and the peak readout above. Fed by the plug-in's idle tick through its control tag.
 */
class LevelMeterControl : public iplug::igraphics::IVPeakAvgMeterControl<1>
{
public:
    static constexpr float kLowDecibels = -54.0f;
    static constexpr float kHighDecibels = 6.0f;

    enum ScaleSide
    {
        kNoScale = 0,
        kScaleLeft = 1,
        kScaleRight = 2
    };

    LevelMeterControl(const iplug::igraphics::IRECT& bounds, const iplug::igraphics::IVStyle& style,
                      const iplug::igraphics::IColor& peakColor, const iplug::igraphics::IColor& clipColor,
                      const iplug::igraphics::IColor& trackColor, const iplug::igraphics::IColor& tickColor,
                      float readoutHeight, float trackWidth, const iplug::igraphics::IText& readoutText,
                      const iplug::igraphics::IText& scaleText, int scaleSide);

    void Draw(iplug::igraphics::IGraphics& g) override;

    /** The peak level the readout shows, in dB: the last peak limited to the range, the low end when none. */
    float readoutDecibels() const;
    /** "-inf" at or below -53.5 dB, else the level as "%.1f dB". */
    std::string readoutText() const;

protected:
    void DrawPeak(iplug::igraphics::IGraphics& g, const iplug::igraphics::IRECT& r, int chIdx,
                  bool aboveBaseValue) override;
    void MakeTrackRects(const iplug::igraphics::IRECT& bounds) override;

private:
    void drawScale(iplug::igraphics::IGraphics& g, const iplug::igraphics::IRECT& track);

    iplug::igraphics::IColor peakColor;
    iplug::igraphics::IColor clipColor;
    iplug::igraphics::IColor trackColor;
    iplug::igraphics::IColor tickColor;
    float readoutHeight;
    float trackWidth;
    iplug::igraphics::IText readoutStyle;
    iplug::igraphics::IText scaleStyle;
    int scaleSide;
};
