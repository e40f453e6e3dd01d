#include "framework/igraphics/IVMeterControl.h"

#include "framework/igraphics/IGraphics.h"

namespace iplug
{
namespace igraphics
{
IVTrackControlBase::IVTrackControlBase(const IRECT& bounds, const char* label, const IVStyle& style, int nTracks,
                                       EDirection direction, float trackPadding)
    : IControl(bounds), IVectorBase(*this, label, style), trackBounds(static_cast<size_t>(std::max(0, nTracks))),
      direction(direction), trackPadding(trackPadding)
{
    SetNVals(nTracks);
}

void IVTrackControlBase::OnAttached()
{
    MakeTrackRects(widgetBounds());
}

void IVTrackControlBase::OnResize()
{
    MakeTrackRects(widgetBounds());
}

void IVTrackControlBase::Draw(IGraphics& g)
{
    DrawBackground(g, widgetBounds());
    for (int i = 0; i < NTracks(); ++i)
        DrawTrack(g, trackBounds[static_cast<size_t>(i)], i);
    DrawLabel(g);
    DrawFrame(g, widgetBounds());
}

void IVTrackControlBase::DrawTrack(IGraphics& g, const IRECT& r, int chIdx)
{
    const auto v = static_cast<float>(GetValue(chIdx));
    if (v > 0.0f)
    {
        const IRECT bar = direction == EDirection::Vertical ? IRECT(r.L, r.B - r.H() * v, r.R, r.B)
                                                            : IRECT(r.L, r.T, r.L + r.W() * v, r.B);
        g.FillRect(GetColor(kFG), bar, &blend);
    }
    DrawPeak(g, r, chIdx, true);
}

void IVTrackControlBase::DrawPeak(IGraphics&, const IRECT&, int, bool) {}

void IVTrackControlBase::MakeTrackRects(const IRECT& bounds)
{
    const int n = NTracks();
    for (int i = 0; i < n; ++i)
    {
        IRECT& track = trackBounds[static_cast<size_t>(i)];
        if (direction == EDirection::Vertical)
        {
            const float w = bounds.W() / static_cast<float>(n);
            track = {bounds.L + i * w, bounds.T, bounds.L + (i + 1) * w - trackPadding, bounds.B - trackPadding};
        }
        else
        {
            const float h = bounds.H() / static_cast<float>(n);
            track = {bounds.L, bounds.T + i * h + trackPadding, bounds.R, bounds.T + (i + 1) * h - trackPadding};
        }
    }
}

void drawMeterMarkers(IGraphics& g, const std::vector<IRECT>& tracks, EDirection direction,
                      const std::vector<int>& markers, float lowRangeDB, float highRangeDB, const IColor& color)
{
    if (tracks.empty() || !(highRangeDB > lowRangeDB))
        return;
    const IRECT span{tracks.front().L, tracks.front().T, tracks.back().R, tracks.back().B};
    for (int marker : markers)
    {
        const float f = (static_cast<float>(marker) - lowRangeDB) / (highRangeDB - lowRangeDB);
        if (f < 0.0f || f > 1.0f)
            continue;
        if (direction == EDirection::Vertical)
            g.DrawLine(color, span.L, span.B - span.H() * f, span.R, span.B - span.H() * f);
        else
            g.DrawLine(color, span.L + span.W() * f, span.T, span.L + span.W() * f, span.B);
    }
}

} // namespace igraphics
} // namespace iplug
