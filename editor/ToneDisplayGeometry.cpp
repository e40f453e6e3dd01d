#include "editor/ToneDisplayGeometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

using iplug::igraphics::IRECT;

ToneDisplayGeometry::ToneDisplayGeometry(const IRECT& bounds)
    : r(bounds), mid((bounds.T + bounds.B) / 2.0f), span(bounds.H() / 2.0f - 6.0f)
{
}

float ToneDisplayGeometry::xOfHertz(double hertz) const
{
    return static_cast<float>(r.L + r.W() * std::log10(hertz / 20.0) / 3.0);
}

double ToneDisplayGeometry::hertzOfX(float x) const
{
    const double u = r.W() > 0.0f ? std::clamp((x - r.L) / static_cast<double>(r.W()), 0.0, 1.0) : 0.0;
    return 20.0 * std::pow(1000.0, u);
}

float ToneDisplayGeometry::yOfDecibels(double decibels) const
{
    return static_cast<float>(mid - decibels / 20.0 * span);
}

double ToneDisplayGeometry::decibelsOfY(float y) const
{
    return span != 0.0f ? (mid - static_cast<double>(y)) / span * 20.0 : 0.0;
}

IRECT ToneDisplayGeometry::edgeChip(float edgeX) const
{
    const float centre = std::clamp(edgeX, r.L + 21.0f, std::max(r.L + 21.0f, r.R - 21.0f));
    return {centre - 19.0f, r.B - 35.0f, centre + 19.0f, r.B - 19.0f};
}

IRECT ToneDisplayGeometry::viewSwitch() const
{
    return {r.MW() - 62.0f, r.T + 5.0f, r.MW() + 62.0f, r.T + 21.0f};
}

float ToneDisplayGeometry::captionTop(float y, float above, float below) const
{
    return y - above < r.T + 22.0f ? y + below : y - above;
}

IRECT ToneDisplayGeometry::labelBox(float handleX, float handleY, float halfWidth) const
{
    const float top = captionTop(handleY, 25.0f, 11.0f);
    return {handleX - halfWidth, top, handleX + halfWidth, top + 14.0f};
}

PopoverLayout PopoverLayout::forNode(const ToneDisplayGeometry& geometry, int node, float nodeX, float nodeY)
{
    const IRECT& display = geometry.bounds();
    PopoverLayout p;
    p.hasShapeRow = node == 0 || node == 3;
    const float height = p.hasShapeRow ? 92.0f : 68.0f;
    const float centre = std::clamp(nodeX, display.L + 84.0f, std::max(display.L + 84.0f, display.R - 84.0f));
    float top = nodeY + 14.0f;
    if (top + height > display.B - 4.0f)
        top = nodeY - 14.0f - height;
    p.bounds = {centre - kWidth / 2.0f, top, centre + kWidth / 2.0f, top + height};

    const float l = p.bounds.L, t = p.bounds.T, r = p.bounds.R;
    if (p.hasShapeRow)
    {
        p.bellButton = {l + 10.0f, t + 8.0f, l + 44.0f, t + 26.0f};
        p.shelfButton = {l + 50.0f, t + 8.0f, l + 84.0f, t + 26.0f};
    }
    const float firstRow = t + (p.hasShapeRow ? 32.0f : 8.0f);
    for (int field = 0; field < kNumFields; ++field)
    {
        const float rowTop = firstRow + 18.0f * field;
        const float fieldWidth = field == kQField ? 38.0f : 66.0f;
        p.rows[field] = {l + 10.0f, rowTop, r - 8.0f, rowTop + 16.0f};
        p.fields[field] = {r - 8.0f - fieldWidth, rowTop, r - 8.0f, rowTop + 16.0f};
    }
    const float qMiddle = p.rows[kQField].T + 8.0f;
    p.qTrack = {l + 26.0f, qMiddle - 1.5f, r - 54.0f, qMiddle + 1.5f};
    p.qTrackHit = {l + 20.0f, qMiddle - 9.0f, r - 48.0f, qMiddle + 9.0f};
    return p;
}

namespace tonecurves
{
double pointHertz(int i)
{
    return 20.0 * std::pow(1000.0, i / static_cast<double>(kNumPoints - 1));
}

double curveAngle(double hertz, double sampleRate)
{
    return 2.0 * std::numbers::pi * std::min(0.49 * sampleRate, hertz) / sampleRate;
}

double qOfPosition(double u)
{
    return kMinQ * std::pow(kMaxQ / kMinQ, std::clamp(u, 0.0, 1.0));
}

double positionOfQ(double q)
{
    return std::clamp(std::log(q / kMinQ) / std::log(kMaxQ / kMinQ), 0.0, 1.0);
}
} // namespace tonecurves
