#include "editor/ToneDisplayControl.h"

#include "dsp/FilterDesign.h"
#include "editor/ParseTypedValue.h"
#include "framework/IParam.h"
#include "framework/IGEditorDelegate.h"
#include "framework/igraphics/IGraphics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

using iplug::igraphics::IColor;
using iplug::igraphics::IMouseMod;
using iplug::igraphics::IRECT;
using iplug::igraphics::IText;

namespace
{
constexpr float kNodeHitSquared = 14.0f * 14.0f;
constexpr float kHandleHitSquared = 18.0f * 18.0f;
constexpr float kDragStartUnits = 3.0f;
constexpr double kThirdOctave = 1.2599210498948732; // 2^(1/3): the narrowest range the edges allow
constexpr double kWheelQStep = 1.1;

/** The index of the point nearest to (x, y) among those closer than sqrt(limitSquared); the lower index on a tie. */
template <typename PositionOf> int nearestWithin(int count, float x, float y, float limitSquared, PositionOf positionOf)
{
    int best = -1;
    float bestSquared = limitSquared;
    for (int i = 0; i < count; ++i)
    {
        const auto p = positionOf(i);
        const float dx = x - p.x, dy = y - p.y, squared = dx * dx + dy * dy;
        if (squared < bestSquared)
        {
            best = i;
            bestSquared = squared;
        }
    }
    return best;
}

double roundToMultiple(double value, double step)
{
    return std::round(value / step) * step;
}
} // namespace

ToneDisplayControl::ToneDisplayControl(const IRECT& bounds, int regionBase, int tiltParam, int rangeLowParam,
                                       int rangeHighParam, int preEqBase, int preEq1ShelfParam, int preEq4ShelfParam,
                                       const IColor& accent, const IText& labelText, const IText& smallText,
                                       ReadingProvider reading)
    : IControl(bounds, iplug::igraphics::kNoParameter), regionBase(regionBase), tiltParam(tiltParam),
      rangeLowParam(rangeLowParam), rangeHighParam(rangeHighParam), preEqBase(preEqBase),
      preEq1ShelfParam(preEq1ShelfParam), preEq4ShelfParam(preEq4ShelfParam), accent(accent), labelText(labelText),
      smallText(smallText), provider(std::move(reading))
{
    SetTextEntryLength(16);
}

const iplug::IParam* ToneDisplayControl::param(int paramIdx) const
{
    auto* dlg = GetDelegate();
    return dlg ? dlg->GetParam(paramIdx) : nullptr;
}

double ToneDisplayControl::paramValue(int paramIdx) const
{
    const iplug::IParam* p = param(paramIdx);
    return p ? p->Value() : 0.0;
}

double ToneDisplayControl::paramMin(int paramIdx) const
{
    const iplug::IParam* p = param(paramIdx);
    return p ? p->GetMin() : 0.0;
}

double ToneDisplayControl::paramMax(int paramIdx) const
{
    const iplug::IParam* p = param(paramIdx);
    return p ? p->GetMax() : 0.0;
}

double ToneDisplayControl::clampToParam(int paramIdx, double value) const
{
    return std::clamp(value, paramMin(paramIdx), std::max(paramMin(paramIdx), paramMax(paramIdx)));
}

void ToneDisplayControl::beginChange(int paramIdx)
{
    if (auto* dlg = GetDelegate(); dlg && param(paramIdx))
        dlg->BeginInformHostOfParamChangeFromUI(paramIdx);
}

void ToneDisplayControl::sendNormalized(int paramIdx, double normalized)
{
    if (auto* dlg = GetDelegate(); dlg && param(paramIdx))
        dlg->SendParameterValueFromUI(paramIdx, std::clamp(normalized, 0.0, 1.0));
}

void ToneDisplayControl::sendPlain(int paramIdx, double value)
{
    if (const iplug::IParam* p = param(paramIdx))
        sendNormalized(paramIdx, p->ToNormalized(value));
}

void ToneDisplayControl::endChange(int paramIdx)
{
    if (auto* dlg = GetDelegate(); dlg && param(paramIdx))
        dlg->EndInformHostOfParamChangeFromUI(paramIdx);
}

void ToneDisplayControl::changeOnceNormalized(int paramIdx, double normalized)
{
    beginChange(paramIdx);
    sendNormalized(paramIdx, normalized);
    endChange(paramIdx);
}

void ToneDisplayControl::changeOnce(int paramIdx, double value)
{
    if (const iplug::IParam* p = param(paramIdx))
        changeOnceNormalized(paramIdx, p->ToNormalized(value));
}

void ToneDisplayControl::resetToDefault(int paramIdx)
{
    if (const iplug::IParam* p = param(paramIdx))
        changeOnceNormalized(paramIdx, p->GetDefault(true));
}

void ToneDisplayControl::toggleSwitch(int paramIdx)
{
    changeOnce(paramIdx, switchOn(paramIdx) ? 0.0 : 1.0);
}

int ToneDisplayControl::nodeShelf(int node) const
{
    return node == 0 ? preEq1ShelfParam : node == 3 ? preEq4ShelfParam : -1;
}

double ToneDisplayControl::regionLevel(int region) const
{
    return paramValue(regionTarget(region)) +
           paramValue(tiltParam) * std::log2(paramValue(regionFreq(region)) / 1000.0);
}

ToneDisplayControl::Point ToneDisplayControl::handlePosition(int region) const
{
    const ToneDisplayGeometry geo = geometry();
    return {geo.xOfHertz(paramValue(regionFreq(region))), geo.yOfDecibels(regionLevel(region))};
}

ToneDisplayControl::Point ToneDisplayControl::nodePosition(int node) const
{
    const ToneDisplayGeometry geo = geometry();
    return {geo.xOfHertz(paramValue(nodeFreq(node))), geo.yOfDecibels(paramValue(nodeGain(node)))};
}

float ToneDisplayControl::edgeX(int edge) const
{
    return geometry().xOfHertz(paramValue(edgeParam(edge)));
}

bool ToneDisplayControl::edgeMoved(int edge) const
{
    return edge == 0 ? paramValue(rangeLowParam) > paramMin(rangeLowParam) * 1.001
                     : paramValue(rangeHighParam) < paramMax(rangeHighParam) * 0.999;
}

bool ToneDisplayControl::regionActive(int region) const
{
    if (!switchOn(regionOn(region)))
        return false;
    const double low = std::min(paramValue(rangeLowParam), paramValue(rangeHighParam));
    const double high = std::max(paramValue(rangeLowParam), paramValue(rangeHighParam));
    const double hertz = paramValue(regionFreq(region));
    return std::max({std::log2(low / hertz), std::log2(hertz / high), 0.0}) < 1.0 / 3.0;
}

int ToneDisplayControl::nodeAt(float x, float y) const
{
    return nearestWithin(4, x, y, kNodeHitSquared, [this](int node) { return nodePosition(node); });
}

int ToneDisplayControl::handleAt(float x, float y) const
{
    return nearestWithin(4, x, y, kHandleHitSquared, [this](int region) { return handlePosition(region); });
}

int ToneDisplayControl::regionLabelAt(float x, float y) const
{
    const ToneDisplayGeometry geo = geometry();
    for (int region = 0; region < 4; ++region)
    {
        const Point handle = handlePosition(region);
        if (geo.labelBox(handle.x, handle.y, 45.0f).Contains(x, y) && std::fabs(handle.y - y) > 9.0f)
            return region;
    }
    return -1;
}

int ToneDisplayControl::edgeAt(float x, float y) const
{
    const ToneDisplayGeometry geo = geometry();
    for (int edge = 0; edge < 2; ++edge)
        if (geo.edgeChip(edgeX(edge)).Contains(x, y))
            return edge;
    if (y <= rect.T + 22.0f)
        return -1;
    int best = -1;
    float bestDistance = 7.0f;
    for (int edge = 0; edge < 2; ++edge)
    {
        const float distance = std::fabs(x - edgeX(edge));
        if (edgeMoved(edge) && distance < bestDistance)
        {
            best = edge;
            bestDistance = distance;
        }
    }
    return best;
}

PopoverLayout ToneDisplayControl::popoverLayout() const
{
    const Point node = nodePosition(popoverNode);
    return PopoverLayout::forNode(geometry(), popoverNode, node.x, node.y);
}

IRECT ToneDisplayControl::popoverRect() const
{
    return popoverNode < 0 ? IRECT() : popoverLayout().bounds;
}

std::string ToneDisplayControl::popoverText(int field, bool bare) const
{
    if (popoverNode < 0 || field < 0 || field >= PopoverLayout::kNumFields)
        return {};
    char text[24];
    if (field == PopoverLayout::kFreqField)
    {
        const double hertz = paramValue(nodeFreq(popoverNode));
        if (bare)
            std::snprintf(text, sizeof text, "%.0f", hertz);
        else if (hertz >= 1000.0)
            std::snprintf(text, sizeof text, "%.2f kHz", hertz / 1000.0);
        else
            std::snprintf(text, sizeof text, "%.0f Hz", hertz);
    }
    else if (field == PopoverLayout::kGainField)
        std::snprintf(text, sizeof text, bare ? "%.1f" : "%+.1f dB", paramValue(nodeGain(popoverNode)));
    else
        std::snprintf(text, sizeof text, "%.2f", paramValue(nodeQ(popoverNode)));
    return text;
}

std::string ToneDisplayControl::hertzLabel(double hertz)
{
    char text[24];
    if (hertz >= 9950.0)
        std::snprintf(text, sizeof text, "%.0fk", hertz / 1000.0);
    else if (hertz >= 1000.0)
        std::snprintf(text, sizeof text, "%.1fk", hertz / 1000.0);
    else
        std::snprintf(text, sizeof text, "%d", static_cast<int>(std::lround(hertz)));
    return text;
}

aubrevane::dsp::BiquadCoefficients ToneDisplayControl::nodeDesign(int node, double sampleRate) const
{
    const double hertz = aubrevane::dsp::designHertz(paramValue(nodeFreq(node)), sampleRate);
    const int shelf = nodeShelf(node);
    return aubrevane::dsp::preEqSection(shelf >= 0 && switchOn(shelf), node == 3, hertz, paramValue(nodeGain(node)),
                                        paramValue(nodeQ(node)), sampleRate);
}

void ToneDisplayControl::toggleView()
{
    view = view == kMatchView ? kPreEqView : kMatchView;
    popoverNode = -1;
}

void ToneDisplayControl::openTextEntry(int paramIdx, const IRECT& box, const std::string& text)
{
    iplug::igraphics::IGraphics* ui = GetUI();
    if (!ui)
        return;
    const IText style = smallText.WithFGColor(palette.textBright).WithAlign(iplug::igraphics::EAlign::Center);
    entryParam = paramIdx;
    ui->CreateTextEntry(*this, style, box, text.c_str());
}

bool ToneDisplayControl::IsHit(float x, float y) const
{
    return IControl::IsHit(x, y) || popoverRect().Contains(x, y);
}

void ToneDisplayControl::OnMouseDown(float x, float y, const IMouseMod& mod)
{
    endDrags(); // a press whose release never arrived must not leave its gestures open
    if (popoverNode >= 0)
    {
        if (popoverRect().Contains(x, y))
        {
            popoverPress(x, y);
            return;
        }
        popoverNode = -1;
    }
    if (geometry().viewSwitch().Contains(x, y))
    {
        toggleView();
        return;
    }

    if (view == kPreEqView)
    {
        const int node = nodeAt(x, y);
        if (node < 0)
            return;
        if (mod.S)
            toggleSwitch(nodeOn(node));
        else if (mod.R)
            popoverNode = selectedNode = node;
        else
        {
            const Point at = nodePosition(node);
            selectedNode = dragNode = node;
            pressX = x;
            pressY = y;
            dragMoved = false;
            grabDX = x - at.x;
            grabDY = y - at.y;
            beginChange(nodeGain(node));
            beginChange(nodeFreq(node));
        }
        return;
    }

    if (!mod.S)
    {
        if (const int region = regionLabelAt(x, y); region >= 0)
        {
            char text[24];
            std::snprintf(text, sizeof text, "%.1f", paramValue(regionTarget(region)));
            const Point handle = handlePosition(region);
            openTextEntry(regionTarget(region), geometry().labelBox(handle.x, handle.y, 45.0f), text);
            return;
        }
    }
    dragRegion = handleAt(x, y);
    if (dragRegion >= 0)
    {
        if (mod.S)
        {
            toggleSwitch(regionOn(dragRegion));
            dragRegion = -1;
            return;
        }
        const Point at = handlePosition(dragRegion);
        grabDX = x - at.x;
        grabDY = y - at.y;
        beginChange(regionTarget(dragRegion));
        beginChange(regionFreq(dragRegion));
        return;
    }
    dragEdge = edgeAt(x, y);
    if (dragEdge >= 0)
    {
        grabDX = x - edgeX(dragEdge);
        beginChange(edgeParam(dragEdge));
    }
}

void ToneDisplayControl::setQFromSlider(float x)
{
    const IRECT track = popoverLayout().qTrack;
    const double u = (x - track.L) / std::max(1.0f, track.R - track.L);
    sendPlain(nodeQ(qDragNode), tonecurves::qOfPosition(u));
}

void ToneDisplayControl::OnMouseDrag(float x, float y, float, float, const IMouseMod&)
{
    const ToneDisplayGeometry geo = geometry();
    if (qDragNode >= 0)
    {
        setQFromSlider(x);
    }
    else if (dragNode >= 0)
    {
        if (!dragMoved && std::fabs(x - pressX) < kDragStartUnits && std::fabs(y - pressY) < kDragStartUnits)
            return;
        dragMoved = true;
        const double hertz = clampToParam(nodeFreq(dragNode), geo.hertzOfX(x - grabDX));
        const double gain = clampToParam(nodeGain(dragNode), roundToMultiple(geo.decibelsOfY(y - grabDY), 0.1));
        sendPlain(nodeFreq(dragNode), hertz);
        sendPlain(nodeGain(dragNode), gain);
    }
    else if (dragEdge >= 0)
    {
        double hertz = geo.hertzOfX(x - grabDX);
        if (dragEdge == 0)
            hertz = std::min(hertz, paramValue(rangeHighParam) / kThirdOctave);
        else
            hertz = std::max(hertz, paramValue(rangeLowParam) * kThirdOctave);
        sendPlain(edgeParam(dragEdge), clampToParam(edgeParam(dragEdge), hertz));
    }
    else if (dragRegion >= 0)
    {
        const double hertz = clampToParam(regionFreq(dragRegion), geo.hertzOfX(x - grabDX));
        const double level = geo.decibelsOfY(y - grabDY) - paramValue(tiltParam) * std::log2(hertz / 1000.0);
        sendPlain(regionFreq(dragRegion), hertz);
        sendPlain(regionTarget(dragRegion), std::clamp(roundToMultiple(level, 0.5), -18.0, 18.0));
    }
}

void ToneDisplayControl::endDrags()
{
    if (qDragNode >= 0)
        endChange(nodeQ(qDragNode));
    if (dragNode >= 0)
    {
        endChange(nodeGain(dragNode));
        endChange(nodeFreq(dragNode));
    }
    if (dragEdge >= 0)
        endChange(edgeParam(dragEdge));
    if (dragRegion >= 0)
    {
        endChange(regionTarget(dragRegion));
        endChange(regionFreq(dragRegion));
    }
    qDragNode = dragNode = dragEdge = dragRegion = -1;
    dragMoved = false;
}

void ToneDisplayControl::OnMouseUp(float, float, const IMouseMod&)
{
    endDrags();
}

void ToneDisplayControl::OnMouseDblClick(float x, float y, const IMouseMod&)
{
    // Whatever the framework delivered before the second press, a reset leaves no gesture open.
    endDrags();
    if (view == kPreEqView)
    {
        if (const int node = nodeAt(x, y); node >= 0)
        {
            popoverNode = -1;
            resetToDefault(nodeGain(node));
            resetToDefault(nodeFreq(node));
        }
        return;
    }
    if (const int region = handleAt(x, y); region >= 0)
    {
        resetToDefault(regionTarget(region));
        resetToDefault(regionFreq(region));
    }
    else if (const int edge = edgeAt(x, y); edge >= 0)
        changeOnceNormalized(edgeParam(edge), edge == 0 ? 0.0 : 1.0);
}

void ToneDisplayControl::OnMouseWheel(float x, float y, const IMouseMod&, float d)
{
    if (view != kPreEqView)
        return;
    int node = nodeAt(x, y);
    if (node < 0 && popoverRect().Contains(x, y))
        node = popoverNode;
    if (node < 0)
        return;
    const double q = paramValue(nodeQ(node)) * (d > 0.0f ? kWheelQStep : 1.0 / kWheelQStep);
    changeOnce(nodeQ(node), clampToParam(nodeQ(node), q));
}

void ToneDisplayControl::popoverPress(float x, float y)
{
    if (popoverNode < 0)
        return;
    const PopoverLayout p = popoverLayout();
    if (p.hasShapeRow && (p.bellButton.Contains(x, y) || p.shelfButton.Contains(x, y)))
    {
        changeOnceNormalized(nodeShelf(popoverNode), p.shelfButton.Contains(x, y) ? 1.0 : 0.0);
        return;
    }
    const int fieldParams[PopoverLayout::kNumFields] = {nodeFreq(popoverNode), nodeGain(popoverNode),
                                                        nodeQ(popoverNode)};
    for (int field = 0; field < PopoverLayout::kNumFields; ++field)
    {
        if (p.fields[field].Contains(x, y))
        {
            openTextEntry(fieldParams[field], p.fields[field], popoverText(field, true));
            return;
        }
    }
    if (p.qTrackHit.Contains(x, y))
    {
        qDragNode = popoverNode;
        beginChange(nodeQ(qDragNode));
        setQFromSlider(x);
    }
}

void ToneDisplayControl::OnTextEntryCompletion(const char* str, int)
{
    const int paramIdx = entryParam;
    entryParam = -1;
    if (paramIdx < 0)
        return;
    const std::optional<double> typed = aubrevane::plugin::parseTypedValue(str);
    if (typed && !std::isnan(*typed))
        changeOnce(paramIdx, clampToParam(paramIdx, *typed));
}
