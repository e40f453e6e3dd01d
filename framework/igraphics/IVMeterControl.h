#pragma once

#include "framework/IPeakAvgSender.h"
#include "framework/igraphics/IControl.h"
#include "framework/igraphics/IVectorBase.h"

#include <array>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace iplug
{
namespace igraphics
{
/**
 * A row (or column) of value tracks sharing the vector look: background, one bar per track filled from its base up
 * to the value, label and frame. Subclasses lay out the tracks and add a peak mark per track.
 */
class IVTrackControlBase : public IControl, public IVectorBase
{
public:
    IVTrackControlBase(const IRECT& bounds, const char* label, const IVStyle& style, int nTracks, EDirection direction,
                       float trackPadding = 0.0f);

    /** Draws the background, every track with its bar (calling DrawPeak), the label and the frame. */
    void Draw(IGraphics& g) override;
    void OnResize() override;
    void OnAttached() override;

    int NTracks() const { return static_cast<int>(trackBounds.size()); }

protected:
    virtual void DrawTrack(IGraphics& g, const IRECT& r, int chIdx);
    /** The mark of the channel's last peak; `aboveBaseValue` is true when the bar grows from the track's base. */
    virtual void DrawPeak(IGraphics& g, const IRECT& r, int chIdx, bool aboveBaseValue);
    /** Lays the tracks out in `bounds`: side by side for a vertical meter, stacked for a horizontal one. */
    virtual void MakeTrackRects(const IRECT& bounds);

    std::vector<IRECT> trackBounds;
    EDirection direction;
    float trackPadding;
};

/** Draws a thin line across the tracks at each marker's level (dB over the range low..high). */
void drawMeterMarkers(IGraphics& g, const std::vector<IRECT>& tracks, EDirection direction,
                      const std::vector<int>& markers, float lowRangeDB, float highRangeDB, const IColor& color);

enum class EResponse
{
    Linear,
    Log
};

/**
 * The peak-and-average meter: each track's bar shows the average level, and the last peak is kept per channel as
 * a normalised value p = (peak dB - low) / (high - low), which may lie outside 0..1 and is -infinity for silence.
 */
template <int MAXNC = 1> class IVPeakAvgMeterControl : public IVTrackControlBase
{
public:
    IVPeakAvgMeterControl(const IRECT& bounds, const char* label = "", const IVStyle& style = DEFAULT_STYLE,
                          EDirection direction = EDirection::Vertical,
                          std::initializer_list<const char*> trackNames = {}, int totalNSegs = 0,
                          EResponse response = EResponse::Log, float lowRangeDB = -72.0f, float highRangeDB = 12.0f,
                          std::initializer_list<int> markers = {0, -6, -12, -24, -48})
        : IVTrackControlBase(bounds, label, style, MAXNC, direction), lowRangeDB(lowRangeDB), highRangeDB(highRangeDB),
          response(response), markers(markers)
    {
        (void)trackNames;
        (void)totalNSegs;
        peakValues.fill(-INFINITY);
    }

    void Draw(IGraphics& g) override
    {
        IVTrackControlBase::Draw(g);
        drawMeterMarkers(g, trackBounds, direction, markers, lowRangeDB, highRangeDB, GetColor(kFR));
    }

    /** Takes a PeakAvgData<MAXNC> reading; messages of another size are ignored. A NaN peak counts as silence. */
    void OnMsgFromDelegate(int msgTag, int dataSize, const void* data) override
    {
        (void)msgTag;
        if (data == nullptr || dataSize != static_cast<int>(sizeof(PeakAvgData<MAXNC>)))
            return;
        PeakAvgData<MAXNC> reading;
        std::memcpy(&reading, data, sizeof reading);
        for (int ch = 0; ch < MAXNC && ch < reading.nChans; ++ch)
        {
            const auto index = static_cast<size_t>(ch);
            SetValue(normalizedLevel(reading.vals[index]), ch);
            const double peak = std::isnan(reading.peaks[index]) ? 0.0 : std::fabs(reading.peaks[index]);
            peakValues[index] = response == EResponse::Log ? (toDecibels(peak) - lowRangeDB) / rangeDB() : peak;
        }
        SetDirty(false);
    }

protected:
    /** The channel's last peak, normalised over the range (not limited to 0..1). */
    double peakValue(int chIdx) const
    {
        return chIdx >= 0 && chIdx < MAXNC ? peakValues[static_cast<size_t>(chIdx)] : -INFINITY;
    }
    double rangeDB() const { return highRangeDB > lowRangeDB ? highRangeDB - lowRangeDB : 1.0; }

    float lowRangeDB;
    float highRangeDB;

private:
    static double toDecibels(double amplitude) { return amplitude > 0.0 ? 20.0 * std::log10(amplitude) : -INFINITY; }

    double normalizedLevel(float amplitude) const
    {
        const double level = std::isfinite(amplitude) ? std::fabs(amplitude) : 0.0;
        const double value = response == EResponse::Log ? (toDecibels(level) - lowRangeDB) / rangeDB() : level;
        return std::isfinite(value) ? std::fmin(1.0, std::fmax(0.0, value)) : 0.0;
    }

    EResponse response;
    std::vector<int> markers;
    std::array<double, MAXNC> peakValues;
};

} // namespace igraphics
} // namespace iplug
