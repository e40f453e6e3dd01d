#include "editor/LevelMeterControl.h"

#include "framework/igraphics/IGraphics.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

using namespace iplug::igraphics;

namespace
{
constexpr float kScaleWidth = 20.0f; // taken off the track area on the scale's side
constexpr std::array<int, 5> kScaleDecibels = {0, -12, -24, -36, -48};
} // namespace

LevelMeterControl::LevelMeterControl(const IRECT& bounds, const IVStyle& style, const IColor& peakColor,
                                     const IColor& clipColor, const IColor& trackColor, const IColor& tickColor,
                                     float readoutHeight, float trackWidth, const IText& readoutText,
                                     const IText& scaleText, int scaleSide)
    : IVPeakAvgMeterControl<1>(bounds, "", style, EDirection::Vertical, {}, 0, EResponse::Log, kLowDecibels,
                               kHighDecibels, {}),
      peakColor(peakColor), clipColor(clipColor), trackColor(trackColor), tickColor(tickColor),
      readoutHeight(readoutHeight), trackWidth(trackWidth), readoutStyle(readoutText), scaleStyle(scaleText),
      scaleSide(scaleSide)
{
    SetIgnoreMouse(true);
}

float LevelMeterControl::readoutDecibels() const
{
    // A peak that is not finite (silence, or a broken reading) shows as nothing measured.
    const double p = peakValue(0);
    if (!std::isfinite(p))
        return lowRangeDB;
    return lowRangeDB + (highRangeDB - lowRangeDB) * static_cast<float>(std::clamp(p, 0.0, 1.0));
}

std::string LevelMeterControl::readoutText() const
{
    const float level = readoutDecibels();
    if (level <= lowRangeDB + 0.5f)
        return "-inf";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f dB", level);
    return buffer;
}

void LevelMeterControl::Draw(IGraphics& g)
{
    if (NTracks() > 0)
        g.FillRect(trackColor, trackBounds[0], &blend);
    IVPeakAvgMeterControl<1>::Draw(g);
    if (NTracks() > 0)
        drawScale(g, trackBounds[0]);
    const float level = readoutDecibels();
    const IText style = level >= 0.0f ? readoutStyle.WithFGColor(clipColor) : readoutStyle;
    g.DrawText(style, readoutText().c_str(), {rect.L, rect.T, rect.R, rect.T + readoutHeight}, &blend);
}

void LevelMeterControl::DrawPeak(IGraphics& g, const IRECT&, int chIdx, bool)
{
    double p = peakValue(chIdx);
    if (!std::isfinite(p) || p < 0.0001 || chIdx >= NTracks())
        return;
    p = std::min(p, 1.0);
    const IRECT& track = trackBounds[static_cast<size_t>(chIdx)];
    const float thickness = std::max(1.0f, 0.12f * track.W());
    const float y = track.B - track.H() * static_cast<float>(p);
    g.FillRect(readoutDecibels() >= 0.0f ? clipColor : peakColor,
               {track.L, y - 0.5f * thickness, track.R, y + 0.5f * thickness}, &blend);
}

void LevelMeterControl::MakeTrackRects(const IRECT& bounds)
{
    IRECT area{bounds.L, bounds.T + readoutHeight, bounds.R, bounds.B};
    if (scaleSide == kScaleLeft)
        area.L += kScaleWidth;
    else if (scaleSide == kScaleRight)
        area.R -= kScaleWidth;
    const float cx = area.MW();
    IVPeakAvgMeterControl<1>::MakeTrackRects({cx - 0.5f * trackWidth, area.T, cx + 0.5f * trackWidth, area.B});
}

void LevelMeterControl::drawScale(IGraphics& g, const IRECT& track)
{
    if (scaleSide != kScaleLeft && scaleSide != kScaleRight)
        return;
    const bool left = scaleSide == kScaleLeft;
    const IText labelStyle = scaleStyle.WithAlign(left ? EAlign::Far : EAlign::Near);
    for (int decibels : kScaleDecibels)
    {
        const float y = track.B - track.H() * (decibels - lowRangeDB) / std::max(1.0f, highRangeDB - lowRangeDB);
        const float x0 = left ? track.L - 5.0f : track.R + 1.0f;
        g.DrawLine(tickColor, x0, y, x0 + 4.0f, y, &blend, 1.0f);
        const IRECT box = left ? IRECT(track.L - 22.0f, y - 6.0f, track.L - 6.0f, y + 6.0f)
                               : IRECT(track.R + 6.0f, y - 6.0f, track.R + 22.0f, y + 6.0f);
        g.DrawText(labelStyle, std::to_string(decibels).c_str(), box, &blend);
    }
}
