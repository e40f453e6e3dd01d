#pragma once

#include "dsp/Bands.h"
#include "dsp/Biquad.h"
#include "editor/ToneDisplayGeometry.h"
#include "framework/igraphics/IControl.h"

#include <array>
#include <functional>
#include <string>

namespace iplug
{
class IParam;
}

/**
 * The editor's large frequency display: input spectrum, applied correction, target curve, corrected range and
 * pre-EQ, with the region handles, range edges and pre-EQ nodes dragged directly on it. It never talks to the
 * engine: what the user edits it reads from and sends to host parameters; what the engine measures it takes from a
 * Reading built once per drawn frame. User-interface thread only.
 */
class ToneDisplayControl : public iplug::igraphics::IControl
{
public:
    /** What the engine measured, filled once per frame by the plug-in. The defaults are the reading drawn when no
     *  provider is given: nothing measured, no target, 48 kHz. */
    struct Reading
    {
        std::array<float, aubrevane::dsp::kNumBands>
            gainDecibels{}; // the gains last designed into the 12 correction filters
        std::array<float, aubrevane::dsp::kNumBands> bandDecibels{}; // the 12 analysis band levels
        bool aboveThreshold = false;
        bool idle = false; // Amount at 0
        bool bypassed = false;
        bool learning = false;
        bool targetValid = false;
        bool analysingFile = false;
        float learnProgress = 0.0f; // 0..1
        std::string targetName;     // empty for a target learned from the input
        std::string message;        // why the last reference analysis failed, else empty
        double sampleRate = 48000.0;
        bool highPassOn = false;
        bool lowPassOn = false;
        double highPassHertz = 20.0;
        double lowPassHertz = 20000.0;
    };
    using ReadingProvider = std::function<Reading()>;

    static constexpr std::array<const char*, 4> kNames = {"LOW", "BODY", "PRESENCE", "AIR"};

    /** `regionBase` and `preEqBase` are the first of 4 x 3 region parameters (Target, Freq, On) and of 4 x 4 node
     *  parameters (Gain, Freq, Q, On); the shelf switches belong to the first and last node. `reading` may be
     *  empty. */
    ToneDisplayControl(const iplug::igraphics::IRECT& bounds, int regionBase, int tiltParam, int rangeLowParam,
                       int rangeHighParam, int preEqBase, int preEq1ShelfParam, int preEq4ShelfParam,
                       const iplug::igraphics::IColor& accent, const iplug::igraphics::IText& labelText,
                       const iplug::igraphics::IText& smallText, ReadingProvider reading);

    // Called by IGraphics on the user-interface thread.
    void OnMouseDown(float x, float y, const iplug::igraphics::IMouseMod& mod) override;
    void OnMouseUp(float x, float y, const iplug::igraphics::IMouseMod& mod) override;
    void OnMouseDrag(float x, float y, float dX, float dY, const iplug::igraphics::IMouseMod& mod) override;
    void OnMouseDblClick(float x, float y, const iplug::igraphics::IMouseMod& mod) override;
    void OnMouseWheel(float x, float y, const iplug::igraphics::IMouseMod& mod, float d) override;
    void OnTextEntryCompletion(const char* str, int valIdx) override;
    void Draw(iplug::igraphics::IGraphics& g) override;
    /** The spectrum moves all the time, so the display draws every frame. */
    bool IsDirty() override { return true; }
    /** An open popover counts as part of the display: near the middle it may reach past the top edge. */
    bool IsHit(float x, float y) const override;

    // Each returns an index, or -1 when nothing is there.
    int nodeAt(float x, float y) const;
    int handleAt(float x, float y) const;
    int regionLabelAt(float x, float y) const;
    int edgeAt(float x, float y) const;

    /** Empty when no popover is open. */
    iplug::igraphics::IRECT popoverRect() const;
    /** The open popover's value of `field` (0 Freq, 1 Gain, 2 Q): bare for a text entry, else with its unit. */
    std::string popoverText(int field, bool bare) const;
    void popoverPress(float x, float y);
    /** The section the engine's pre-EQ would use for node `node`, designed straight from the parameters. */
    aubrevane::dsp::BiquadCoefficients nodeDesign(int node, double sampleRate) const;
    /** "12.5k" style: no decimals from 9950 Hz, one from 1 kHz, whole hertz below. */
    static std::string hertzLabel(double hertz);

    enum View : unsigned char
    {
        kMatchView = 0,
        kPreEqView = 1
    };
    View currentView() const { return view; }
    int selected() const { return selectedNode; }

private:
    struct Palette
    {
        using IColor = iplug::igraphics::IColor;
        IColor background{255, 14, 14, 14};
        IColor frame{15, 250, 250, 250};
        IColor gridLine{13, 250, 250, 250};
        IColor gridLabel{71, 250, 250, 250};
        IColor zeroLine{41, 250, 250, 250};
        IColor spectrumFill{9, 250, 250, 250};
        IColor cutFill{41, 250, 250, 250};
        IColor correctionLine{209, 250, 250, 250};
        IColor targetLine{140, 250, 250, 250};
        IColor handleRing{255, 250, 250, 250};
        IColor dimOutline{102, 250, 250, 250};
        IColor handleLabel{204, 250, 250, 250};
        IColor statusDotIdle{56, 250, 250, 250};
        IColor textBright{255, 250, 250, 250};
        IColor textDim{107, 250, 250, 250};
        IColor errorText{255, 235, 64, 52};
        IColor outsideShade{140, 0, 0, 0};
        IColor preEqColour{255, 240, 163, 58};
        IColor preEqDim{225, 14, 14, 14};
        IColor nodeCaption{230, 240, 205, 150};
        IColor popoverFill{250, 24, 24, 24};
    };

    /** The correction curve is the costliest thing drawn, so it is kept until its inputs change. */
    struct CorrectionCache
    {
        std::array<float, aubrevane::dsp::kNumBands> gainDecibels{};
        double sampleRate = 0.0;
        double highPassHertz = 0.0; // 0 while the filter is off
        double lowPassHertz = 0.0;
        std::array<double, tonecurves::kNumPoints> decibels{};
    };

    struct Point
    {
        float x, y;
    };

    // Parameters, as plain values; 0 (and no change sent) while the control is not attached.
    const iplug::IParam* param(int paramIdx) const;
    double paramValue(int paramIdx) const;
    bool switchOn(int paramIdx) const { return paramValue(paramIdx) >= 0.5; }
    double paramMin(int paramIdx) const;
    double paramMax(int paramIdx) const;
    double clampToParam(int paramIdx, double value) const;
    void beginChange(int paramIdx);
    void sendPlain(int paramIdx, double value);
    void sendNormalized(int paramIdx, double normalized);
    void endChange(int paramIdx);
    /** One complete host change: begin, send, end. */
    void changeOnce(int paramIdx, double value);
    void changeOnceNormalized(int paramIdx, double normalized);
    void resetToDefault(int paramIdx);
    void toggleSwitch(int paramIdx);

    int regionTarget(int region) const { return regionBase + 3 * region; }
    int regionFreq(int region) const { return regionBase + 3 * region + 1; }
    int regionOn(int region) const { return regionBase + 3 * region + 2; }
    int nodeGain(int node) const { return preEqBase + 4 * node; }
    int nodeFreq(int node) const { return preEqBase + 4 * node + 1; }
    int nodeQ(int node) const { return preEqBase + 4 * node + 2; }
    int nodeOn(int node) const { return preEqBase + 4 * node + 3; }
    /** The node's shelf switch, or -1 for the middle nodes that have none. */
    int nodeShelf(int node) const;
    int edgeParam(int edge) const { return edge == 0 ? rangeLowParam : rangeHighParam; }

    ToneDisplayGeometry geometry() const { return ToneDisplayGeometry(rect); }
    double regionLevel(int region) const;
    Point handlePosition(int region) const;
    Point nodePosition(int node) const;
    float edgeX(int edge) const;
    bool edgeMoved(int edge) const;
    bool regionActive(int region) const;
    PopoverLayout popoverLayout() const;

    void toggleView();
    void openTextEntry(int paramIdx, const iplug::igraphics::IRECT& box, const std::string& text);
    void setQFromSlider(float x);
    void endDrags();

    // Drawing (ToneDisplayDrawing.cpp).
    void drawGrid(iplug::igraphics::IGraphics& g);
    void drawSpectrum(iplug::igraphics::IGraphics& g, const Reading& reading);
    void drawCorrection(iplug::igraphics::IGraphics& g, const Reading& reading);
    void drawTargetOffset(iplug::igraphics::IGraphics& g);
    void drawRange(iplug::igraphics::IGraphics& g);
    void drawPreEqCurve(iplug::igraphics::IGraphics& g, double sampleRate, bool editable);
    void drawHandles(iplug::igraphics::IGraphics& g);
    void drawPreEqNodes(iplug::igraphics::IGraphics& g);
    void drawChips(iplug::igraphics::IGraphics& g, const Reading& reading);
    void drawViewSwitch(iplug::igraphics::IGraphics& g);
    void drawPopover(iplug::igraphics::IGraphics& g);
    void drawShapeIcon(iplug::igraphics::IGraphics& g, bool shelf, bool high, float x, float y,
                       const iplug::igraphics::IColor& colour);
    void updateCorrectionCache(const Reading& reading);
    /** Fills the area between the 0 dB line and `decibels` (already limited to one side of it). */
    void fillToZero(iplug::igraphics::IGraphics& g, const std::array<double, tonecurves::kNumPoints>& decibels,
                    const iplug::igraphics::IColor& colour);

    const int regionBase, tiltParam, rangeLowParam, rangeHighParam, preEqBase, preEq1ShelfParam, preEq4ShelfParam;
    const iplug::igraphics::IColor accent;
    const iplug::igraphics::IText labelText, smallText;
    ReadingProvider provider;
    const Palette palette;

    View view = kMatchView;
    int dragRegion = -1;
    int dragEdge = -1;
    int dragNode = -1;
    int selectedNode = -1;
    int popoverNode = -1;
    int qDragNode = -1;
    int entryParam = -1;
    bool dragMoved = false;
    float pressX = 0.0f, pressY = 0.0f;
    float grabDX = 0.0f, grabDY = 0.0f;
    CorrectionCache correction;
};
