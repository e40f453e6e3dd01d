// How the tone display draws itself; its model and mouse handling live in ToneDisplayControl.cpp.
#include "editor/ToneDisplayControl.h"

#include "dsp/Bands.h"
#include "dsp/FilterDesign.h"
#include "editor/LearnPillControl.h"
#include "framework/igraphics/IGraphics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

using iplug::igraphics::EAlign;
using iplug::igraphics::IColor;
using iplug::igraphics::IGraphics;
using iplug::igraphics::IRECT;

namespace
{
constexpr double kCurveFloorDecibels = -23.0;
constexpr double kPreEqLimitDecibels = 23.0;
// Q = 2.1449 gives each correction band a width of two thirds of an octave; alpha = sin(w0) / (2 Q).
constexpr double kTwiceBandQ = 4.289815435887515;
// The tone regions shape the target as Gaussians in octaves, 0.7 octave wide.
constexpr double kRegionSpreadOctaves = 0.7;
constexpr int kGridHertz[] = {50, 100, 200, 500, 1000, 2000, 5000, 10000};
constexpr int kGridDecibels[] = {12, 6, -6, -12};

/** A nonsensical rate from a reading must not turn every curve into NaN; draw as if at 48 kHz then. */
double usableRate(double sampleRate)
{
    return std::isfinite(sampleRate) && sampleRate > 0.0 ? sampleRate : 48000.0;
}

/** The section of a high-pass or low-pass as the engine designs it. */
aubrevane::dsp::BiquadCoefficients frontFilter(bool high, double hertz, double sampleRate)
{
    const double limited = aubrevane::dsp::designHertz(hertz, sampleRate);
    return high ? aubrevane::dsp::highPass(limited, sampleRate) : aubrevane::dsp::lowPass(limited, sampleRate);
}
} // namespace

void ToneDisplayControl::Draw(IGraphics& g)
{
    const Reading reading = provider ? provider() : Reading{};
    const double sampleRate = usableRate(reading.sampleRate);

    g.FillRect(palette.background, rect);
    g.DrawRect(palette.frame, rect, nullptr, 1.0f);
    drawGrid(g);
    drawSpectrum(g, reading);
    drawCorrection(g, reading);
    drawTargetOffset(g);
    drawRange(g);
    if (view == kMatchView)
        drawPreEqCurve(g, sampleRate, false);
    drawHandles(g);
    if (view == kPreEqView)
    {
        g.FillRect(palette.preEqDim, rect.GetPadded(-1.0f));
        drawPreEqCurve(g, sampleRate, true);
        drawPreEqNodes(g);
    }
    drawChips(g, reading);
    drawViewSwitch(g);
    if (popoverNode >= 0)
        drawPopover(g);
}

void ToneDisplayControl::drawGrid(IGraphics& g)
{
    const ToneDisplayGeometry geo = geometry();
    const auto gridText = labelText.WithFGColor(palette.gridLabel);
    char text[16];
    for (int hertz : kGridHertz)
    {
        const float x = geo.xOfHertz(hertz);
        g.DrawLine(palette.gridLine, x, rect.T, x, rect.B, nullptr, 1.0f);
        if (hertz >= 1000)
            std::snprintf(text, sizeof text, "%dk", hertz / 1000);
        else
            std::snprintf(text, sizeof text, "%d", hertz);
        g.DrawText(gridText.WithAlign(EAlign::Near), text, IRECT(x + 3.0f, rect.B - 16.0f, x + 40.0f, rect.B - 3.0f));
    }
    for (int decibels : kGridDecibels)
    {
        const float y = geo.yOfDecibels(decibels);
        g.DrawDottedLine(palette.gridLine, rect.L, y, rect.R, y, nullptr, 1.0f, 3.0f);
        std::snprintf(text, sizeof text, "%+d", decibels);
        g.DrawText(gridText.WithAlign(EAlign::Far), text, IRECT(rect.R - 40.0f, y - 7.0f, rect.R - 6.0f, y + 7.0f));
    }
    g.DrawLine(palette.zeroLine, rect.L, geo.midY(), rect.R, geo.midY(), nullptr, 1.0f);
}

void ToneDisplayControl::drawSpectrum(IGraphics& g, const Reading& reading)
{
    const ToneDisplayGeometry geo = geometry();
    const auto levelY = [&](int band)
    {
        // -80 dB lies on the bottom edge; -10 dB and above 8 units below the top.
        const float u = std::clamp((reading.bandDecibels[band] + 80.0f) / 70.0f, 0.0f, 1.0f);
        return rect.B - (std::isnan(u) ? 0.0f : u) * (rect.H() - 8.0f);
    };
    g.PathClear();
    g.PathMoveTo(rect.L, rect.B);
    g.PathLineTo(rect.L, levelY(0));
    for (int band = 0; band < aubrevane::dsp::kNumBands; ++band)
        g.PathLineTo(geo.xOfHertz(aubrevane::dsp::kBandHertz[band]), levelY(band));
    g.PathLineTo(rect.R, levelY(aubrevane::dsp::kNumBands - 1));
    g.PathLineTo(rect.R, rect.B);
    g.PathClose();
    g.PathFill(palette.spectrumFill);
}

void ToneDisplayControl::updateCorrectionCache(const Reading& reading)
{
    const double sampleRate = usableRate(reading.sampleRate);
    const double highPass = reading.highPassOn ? reading.highPassHertz : 0.0;
    const double lowPass = reading.lowPassOn ? reading.lowPassHertz : 0.0;
    if (reading.gainDecibels == correction.gainDecibels && sampleRate == correction.sampleRate &&
        highPass == correction.highPassHertz && lowPass == correction.lowPassHertz)
        return;
    correction.gainDecibels = reading.gainDecibels;
    correction.sampleRate = sampleRate;
    correction.highPassHertz = highPass;
    correction.lowPassHertz = lowPass;

    // Bands at or above 0.45 of the rate are switched off in the engine, so they are left out here as well.
    std::array<aubrevane::dsp::BiquadCoefficients, aubrevane::dsp::kNumBands + 2> sections;
    int count = 0;
    for (int band = 0; band < aubrevane::dsp::kNumBands; ++band)
    {
        const double centre = aubrevane::dsp::kBandHertz[band];
        const double gain = reading.gainDecibels[band];
        if (gain == 0.0 || !std::isfinite(gain) || centre >= 0.45 * sampleRate)
            continue;
        const double w0 = 2.0 * std::numbers::pi * centre / sampleRate;
        sections[count++] = aubrevane::dsp::peaking(gain, std::cos(w0), std::sin(w0) / kTwiceBandQ);
    }
    if (reading.highPassOn)
        sections[count++] = frontFilter(true, reading.highPassHertz, sampleRate);
    if (reading.lowPassOn)
        sections[count++] = frontFilter(false, reading.lowPassHertz, sampleRate);

    for (int i = 0; i < tonecurves::kNumPoints; ++i)
    {
        const double w = tonecurves::curveAngle(tonecurves::pointHertz(i), sampleRate);
        double sum = 0.0;
        for (int s = 0; s < count; ++s)
            sum += aubrevane::dsp::decibelResponse(sections[s], w);
        correction.decibels[i] = std::isnan(sum) ? 0.0 : std::max(kCurveFloorDecibels, sum);
    }
}

void ToneDisplayControl::fillToZero(IGraphics& g, const std::array<double, tonecurves::kNumPoints>& decibels,
                                    const IColor& colour)
{
    if (std::all_of(decibels.begin(), decibels.end(), [](double v) { return v == 0.0; }))
        return;
    const ToneDisplayGeometry geo = geometry();
    g.PathClear();
    g.PathMoveTo(rect.L, geo.midY());
    for (int i = 0; i < tonecurves::kNumPoints; ++i)
        g.PathLineTo(geo.xOfHertz(tonecurves::pointHertz(i)), geo.yOfDecibels(decibels[i]));
    g.PathLineTo(rect.R, geo.midY());
    g.PathClose();
    g.PathFill(colour);
}

void ToneDisplayControl::drawCorrection(IGraphics& g, const Reading& reading)
{
    updateCorrectionCache(reading);
    std::array<double, tonecurves::kNumPoints> boost, cut;
    for (int i = 0; i < tonecurves::kNumPoints; ++i)
    {
        boost[i] = std::max(correction.decibels[i], 0.0);
        cut[i] = std::min(correction.decibels[i], 0.0);
    }
    fillToZero(g, boost, accent.WithAlpha(71));
    fillToZero(g, cut, palette.cutFill);

    const ToneDisplayGeometry geo = geometry();
    g.PathClear();
    for (int i = 0; i < tonecurves::kNumPoints; ++i)
    {
        const float x = geo.xOfHertz(tonecurves::pointHertz(i)), y = geo.yOfDecibels(correction.decibels[i]);
        if (i == 0)
            g.PathMoveTo(x, y);
        else
            g.PathLineTo(x, y);
    }
    g.PathStroke(palette.correctionLine, 1.5f);
}

void ToneDisplayControl::drawTargetOffset(IGraphics& g)
{
    const ToneDisplayGeometry geo = geometry();
    const double tilt = paramValue(tiltParam);
    const double spread = 2.0 * kRegionSpreadOctaves * kRegionSpreadOctaves;
    float lastX = 0.0f, lastY = 0.0f;
    for (int i = 0; i < tonecurves::kNumPoints; ++i)
    {
        const double hertz = tonecurves::pointHertz(i);
        double decibels = tilt * std::log2(hertz / 1000.0);
        for (int region = 0; region < 4; ++region)
        {
            if (!switchOn(regionOn(region)))
                continue;
            const double octaves = std::log2(hertz / paramValue(regionFreq(region)));
            decibels += paramValue(regionTarget(region)) * std::exp(-(octaves * octaves) / spread);
        }
        const float x = geo.xOfHertz(hertz), y = geo.yOfDecibels(decibels);
        if (i > 0)
            g.DrawDottedLine(palette.targetLine, lastX, lastY, x, y, nullptr, 1.0f, 3.0f);
        lastX = x;
        lastY = y;
    }
}

void ToneDisplayControl::drawRange(IGraphics& g)
{
    const ToneDisplayGeometry geo = geometry();
    const auto untouched = labelText.WithFGColor(palette.textDim).WithAlign(EAlign::Center);
    const float xLow = edgeX(0), xHigh = edgeX(1);
    if (xLow - rect.L >= 1.0f)
    {
        g.FillRect(palette.outsideShade, IRECT(rect.L, rect.T + 1.0f, xLow, rect.B - 1.0f));
        if (xLow - rect.L > 90.0f)
            g.DrawText(untouched, "UNTOUCHED", IRECT(rect.L, geo.midY() + 30.0f, xLow, geo.midY() + 44.0f));
    }
    if (rect.R - xHigh >= 1.0f)
    {
        g.FillRect(palette.outsideShade, IRECT(xHigh, rect.T + 1.0f, rect.R, rect.B - 1.0f));
        if (rect.R - xHigh > 90.0f)
            g.DrawText(untouched, "UNTOUCHED", IRECT(xHigh, geo.midY() + 30.0f, rect.R, geo.midY() + 44.0f));
    }
    for (int edge = 0; edge < 2; ++edge)
    {
        const bool moved = edgeMoved(edge);
        const float x = edgeX(edge);
        if (moved)
            g.DrawLine(accent, x, rect.T + 24.0f, x, rect.B, nullptr, 1.5f);
        const IRECT chip = geo.edgeChip(x);
        g.FillRoundRect(palette.background, chip, 8.0f);
        g.DrawRoundRect(moved ? accent : palette.dimOutline, chip, 8.0f, nullptr, 1.5f);
        g.DrawText(smallText.WithFGColor(moved ? palette.textBright : palette.dimOutline),
                   hertzLabel(paramValue(edgeParam(edge))).c_str(), chip);
    }
}

void ToneDisplayControl::drawPreEqCurve(IGraphics& g, double sampleRate, bool editable)
{
    std::array<aubrevane::dsp::BiquadCoefficients, 4> sections;
    int count = 0;
    for (int node = 0; node < 4; ++node)
        if (switchOn(nodeOn(node)) && paramValue(nodeGain(node)) != 0.0)
            sections[count++] = nodeDesign(node, sampleRate);
    if (count == 0 && !editable)
        return;

    const ToneDisplayGeometry geo = geometry();
    std::array<Point, tonecurves::kNumPoints> points;
    for (int i = 0; i < tonecurves::kNumPoints; ++i)
    {
        const double hertz = tonecurves::pointHertz(i), w = tonecurves::curveAngle(hertz, sampleRate);
        double sum = 0.0;
        for (int s = 0; s < count; ++s)
            sum += aubrevane::dsp::decibelResponse(sections[s], w);
        points[i] = {geo.xOfHertz(hertz), geo.yOfDecibels(std::clamp(sum, -kPreEqLimitDecibels, kPreEqLimitDecibels))};
    }
    if (editable)
    {
        g.PathClear();
        g.PathMoveTo(rect.L, geo.midY());
        for (const Point& p : points)
            g.PathLineTo(p.x, p.y);
        g.PathLineTo(rect.R, geo.midY());
        g.PathClose();
        g.PathFill(palette.preEqColour.WithAlpha(45));
    }
    g.PathClear();
    g.PathMoveTo(points[0].x, points[0].y);
    for (int i = 1; i < tonecurves::kNumPoints; ++i)
        g.PathLineTo(points[i].x, points[i].y);
    if (editable)
        g.PathStroke(palette.preEqColour, 2.0f);
    else
        g.PathStroke(palette.preEqColour.WithAlpha(114), 1.5f);
}

void ToneDisplayControl::drawHandles(IGraphics& g)
{
    const ToneDisplayGeometry geo = geometry();
    for (int region = 0; region < 4; ++region)
    {
        const Point at = handlePosition(region);
        const bool active = regionActive(region);
        g.FillCircle(active ? accent : palette.background, at.x, at.y, 7.0f);
        g.DrawCircle(active ? palette.handleRing : palette.dimOutline, at.x, at.y, 7.0f, nullptr, 2.0f);
        if (view != kMatchView)
            continue;
        char text[48];
        const double target = paramValue(regionTarget(region));
        if (active)
            std::snprintf(text, sizeof text, "%s  %s%.1f", kNames[region], target > 0.0 ? "+" : "", target);
        else
            std::snprintf(text, sizeof text, "%s  %s", kNames[region], switchOn(regionOn(region)) ? "OUTSIDE" : "OFF");
        g.DrawText(smallText.WithFGColor(active ? palette.handleLabel : palette.dimOutline), text,
                   geo.labelBox(at.x, at.y, 60.0f));
    }
}

void ToneDisplayControl::drawPreEqNodes(IGraphics& g)
{
    const ToneDisplayGeometry geo = geometry();
    for (int node = 0; node < 4; ++node)
    {
        const Point at = nodePosition(node);
        const bool on = switchOn(nodeOn(node));
        const bool lit = on && node == selectedNode;
        const IColor ring = on ? palette.preEqColour : palette.dimOutline;
        g.FillCircle(lit ? palette.preEqColour : palette.background, at.x, at.y, 8.0f);
        g.DrawCircle(ring, at.x, at.y, 8.0f, nullptr, 2.0f);
        const char number[2] = {static_cast<char>('1' + node), '\0'};
        g.DrawText(smallText.WithFGColor(lit ? palette.background : ring), number,
                   IRECT(at.x - 8.0f, at.y - 8.0f, at.x + 8.0f, at.y + 8.0f));

        std::string caption = "OFF";
        if (on)
        {
            const double gain = paramValue(nodeGain(node));
            char value[24];
            std::snprintf(value, sizeof value, "%s%.1f", gain > 0.0 ? "+" : "", gain);
            caption = hertzLabel(paramValue(nodeFreq(node))) + "  " + value;
        }
        const auto captionText = smallText.WithFGColor(on ? palette.nodeCaption : palette.dimOutline);
        IRECT measured;
        const float width = g.MeasureText(captionText, caption.c_str(), measured);
        const float top = geo.captionTop(at.y, 26.0f, 12.0f);
        const float iconX = at.x - (width + 16.0f) / 2.0f;
        const int shelf = nodeShelf(node);
        drawShapeIcon(g, shelf >= 0 && switchOn(shelf), node == 3, iconX, top + 7.0f, captionText.fgColor);
        g.DrawText(captionText, caption.c_str(), IRECT(iconX + 16.0f, top, iconX + 16.0f + width + 2.0f, top + 14.0f));
    }
}

void ToneDisplayControl::drawChips(IGraphics& g, const Reading& reading)
{
    const bool adapting = !reading.bypassed && !reading.idle && reading.aboveThreshold;
    const char* status = reading.bypassed         ? "BYPASSED"
                         : reading.idle           ? "IDLE"
                         : reading.aboveThreshold ? "ADAPTING"
                                                  : "HOLDING \xC2\xB7 BELOW THRESHOLD";
    g.FillCircle(adapting ? accent : palette.statusDotIdle, rect.L + 13.0f, rect.T + 13.0f, 3.0f);
    g.DrawText(labelText.WithFGColor(adapting ? palette.textBright : palette.textDim).WithAlign(EAlign::Near), status,
               IRECT(rect.L + 22.0f, rect.T + 6.0f, rect.L + 300.0f, rect.T + 20.0f));

    std::string target;
    IColor colour = palette.textDim;
    if (reading.learning)
        target = LearnPillControl::learningLabel(reading.learnProgress);
    else if (reading.analysingFile)
        target = "ANALYSING REFERENCE FILE\xE2\x80\xA6";
    else if (!reading.message.empty())
    {
        target = reading.message;
        colour = palette.errorText;
    }
    else if (!reading.targetValid)
        target = "TARGET \xC2\xB7 BALANCED";
    else
    {
        target =
            "TARGET \xC2\xB7 " + (reading.targetName.empty() ? std::string("LEARNED FROM INPUT") : reading.targetName);
        colour = accent;
    }
    g.DrawText(labelText.WithFGColor(colour).WithAlign(EAlign::Far), target.c_str(),
               IRECT(rect.R - 420.0f, rect.T + 6.0f, rect.R - 10.0f, rect.T + 20.0f));
}

void ToneDisplayControl::drawViewSwitch(IGraphics& g)
{
    const IRECT box = geometry().viewSwitch();
    const IRECT halves[2] = {IRECT(box.L, box.T, box.MW(), box.B), IRECT(box.MW(), box.T, box.R, box.B)};
    const char* names[2] = {"MATCH", "PRE-EQ"};
    g.FillRoundRect(palette.background, box, 8.0f);
    g.DrawRoundRect(palette.dimOutline, box, 8.0f, nullptr, 1.0f);
    g.FillRoundRect(view == kMatchView ? accent : palette.preEqColour, halves[view], 8.0f);
    for (int half = 0; half < 2; ++half)
        g.DrawText(labelText.WithAlign(EAlign::Center).WithFGColor(half == view ? palette.background : palette.textDim),
                   names[half], halves[half]);
}

void ToneDisplayControl::drawPopover(IGraphics& g)
{
    const PopoverLayout p = popoverLayout();
    g.FillRoundRect(palette.popoverFill, p.bounds, 6.0f);
    g.DrawRoundRect(palette.preEqColour.WithAlpha(153), p.bounds, 6.0f, nullptr, 1.0f);
    if (p.hasShapeRow)
    {
        const bool shelfOn = switchOn(nodeShelf(popoverNode));
        for (const bool shelfButton : {false, true})
        {
            const IRECT& button = shelfButton ? p.shelfButton : p.bellButton;
            const bool chosen = shelfButton == shelfOn;
            g.FillRoundRect(chosen ? palette.preEqColour : palette.background, button, 4.0f);
            g.DrawRoundRect(chosen ? palette.preEqColour : palette.dimOutline, button, 4.0f, nullptr, 1.0f);
            drawShapeIcon(g, shelfButton, popoverNode == 3, button.MW() - 6.0f, button.MH(),
                          chosen ? palette.background : palette.nodeCaption);
        }
    }
    const char* names[PopoverLayout::kNumFields] = {"Freq", "Gain", "Q"};
    const auto text = smallText.WithFGColor(palette.nodeCaption);
    for (int field = 0; field < PopoverLayout::kNumFields; ++field)
    {
        g.DrawText(text.WithAlign(EAlign::Near), names[field], p.rows[field]);
        g.DrawRoundRect(palette.dimOutline.WithAlpha(153), p.fields[field], 3.0f, nullptr, 1.0f);
        g.DrawText(text.WithAlign(EAlign::Center), popoverText(field, false).c_str(), p.fields[field]);
    }
    const IRECT& track = p.qTrack;
    const float thumbX =
        track.L + static_cast<float>(tonecurves::positionOfQ(paramValue(nodeQ(popoverNode)))) * track.W();
    g.FillRoundRect(palette.dimOutline, track, 1.5f);
    g.FillRoundRect(palette.preEqColour, IRECT(track.L, track.T, thumbX, track.B), 1.5f);
    g.FillCircle(palette.preEqColour, thumbX, track.MH(), 5.0f);
}

void ToneDisplayControl::drawShapeIcon(IGraphics& g, bool shelf, bool high, float x, float y, const IColor& colour)
{
    g.PathClear();
    if (shelf)
    {
        const float a = high ? y + 3.5f : y - 3.5f, b = high ? y - 3.5f : y + 3.5f;
        g.PathMoveTo(x, a);
        g.PathLineTo(x + 3.5f, a);
        g.PathCubicBezierTo(x + 6.0f, a, x + 6.0f, b, x + 8.5f, b);
        g.PathLineTo(x + 12.0f, b);
    }
    else
    {
        g.PathMoveTo(x, y + 3.5f);
        g.PathLineTo(x + 3.0f, y + 3.5f);
        g.PathCubicBezierTo(x + 5.0f, y + 3.5f, x + 4.5f, y - 3.5f, x + 6.0f, y - 3.5f);
        g.PathCubicBezierTo(x + 7.5f, y - 3.5f, x + 7.0f, y + 3.5f, x + 9.0f, y + 3.5f);
        g.PathLineTo(x + 12.0f, y + 3.5f);
    }
    g.PathStroke(colour, 1.4f);
}
