#include "plugin/Aubrevane.h"

#include "editor/BandStripControl.h"
#include "editor/CornerScaleControl.h"
#include "editor/KebabMenuControl.h"
#include "editor/LearnPillControl.h"
#include "editor/LevelMeterControl.h"
#include "editor/PillToggleControl.h"
#include "editor/RingKnobControl.h"
#include "editor/ThresholdHandle.h"
#include "editor/ToneDisplayControl.h"
#include "editor/ValueCaptionControl.h"
#include "framework/igraphics/IGraphics.h"
#include "framework/igraphics/IPanelControl.h"
#include "framework/igraphics/ISVGControl.h"
#include "framework/igraphics/ITextControl.h"
#include "plugin/AubrevaneCallbacks.h"
#include "plugin/Version.h"
#include "wendlebrak/controls/PresetBarControl.h"
#include "wendlebrak/controls/UpdatePillControl.h"

using namespace iplug::igraphics;
using namespace aubrevane::plugin;

namespace
{

// The editor is one fixed design of 720 x 532 units; the framework scales it for larger windows.
const IColor kWindowColour{255, 10, 10, 10};
const IColor kPanelColour{255, 20, 20, 20};
const IColor kDividerColour{18, 250, 250, 250};
const IColor kBrightText{255, 250, 250, 250};
const IColor kDimText{107, 250, 250, 250};
const IColor kFaintText{77, 250, 250, 250};
const IColor kKnobRing{41, 250, 250, 250};
const IColor kEntryBackground{255, 30, 30, 30};

const char* const kRegularFont = "Roboto-Regular";
const char* const kCondensedFont = "RobotoCondensed-Bold";

constexpr float kLogoHeight = 18.0f;
const IRECT kTitleRect{28.0f, 48.0f, 428.0f, 82.0f};
const IRECT kInputMeterRect{18.0f, 328.0f, 92.0f, 436.0f};
const IRECT kOutputMeterRect{640.0f, 328.0f, 704.0f, 436.0f};
constexpr float kMeterReadoutHeight = 16.0f;
constexpr float kMeterTrackWidth = 14.0f;
constexpr float kMeterScaleRoom = 20.0f; // the scale labels beside the track

IText style(float size, const IColor& colour, const char* font = kRegularFont, EAlign align = EAlign::Center)
{
    return IText(size, colour, font, align, EVAlign::Middle);
}

IText entryStyle(float size, EAlign align)
{
    return IText(size, kBrightText, kRegularFont, align, EVAlign::Middle, 0.0f, kEntryBackground, kBrightText);
}

/** Everything one layout run draws with; the accent is read once, so a changed accent needs a rebuild. */
struct Look
{
    explicit Look(const IColor& accent) : accent(accent) {}

    IColor accent;
    IText title = style(25.0f, kBrightText, kCondensedFont, EAlign::Near);
    IText pill = style(11.5f, kBrightText);
    IText meterLabel = style(10.5f, kDimText);
    IText knobCaption = style(13.5f, kBrightText);
    IText value = style(11.5f, kDimText);
    IText displayLabel = style(10.0f, kDimText, kRegularFont, EAlign::Near);
    IText displayText = style(10.0f, kBrightText);
    IText logo = style(15.0f, kDimText, kCondensedFont);
    IText status = style(10.0f, kFaintText);
    IText presetBar = entryStyle(11.0f, EAlign::Center);
    IText nameEntry = entryStyle(13.0f, EAlign::Near);
    IText meterReadout = style(11.5f, kBrightText);
    IText meterScale = style(8.5f, kFaintText, kRegularFont, EAlign::Near);
    IText threshold = style(11.5f, accent);

    IVStyle knob = DEFAULT_STYLE.WithHideCursor(false)
                       .WithShowLabel(false)
                       .WithShowValue(false)
                       .WithDrawFrame(false)
                       .WithDrawShadows(false)
                       .WithColor(kBG, COLOR_TRANSPARENT)
                       .WithColor(kFG, {255, 30, 30, 30})
                       .WithColor(kPR, {255, 34, 34, 34})
                       .WithColor(kFR, kBrightText)
                       .WithColor(kX1, accent);
    IVStyle meter = DEFAULT_STYLE.WithShowLabel(false)
                        .WithShowValue(false)
                        .WithDrawFrame(false)
                        .WithDrawShadows(false)
                        .WithColor(kBG, COLOR_TRANSPARENT)
                        .WithColor(kFG, accent)
                        .WithColor(kFR, kBrightText)
                        .WithColor(kHL, {18, 250, 250, 250});
};

void attachText(IGraphics& graphics, const IRECT& bounds, const char* text, const IText& textStyle, int tag = kNoTag)
{
    graphics.AttachControl(new ITextControl(bounds, text, textStyle, COLOR_TRANSPARENT), tag);
}

void attachMeter(IGraphics& graphics, const Look& look, const IRECT& bounds, int tag, int scaleSide)
{
    auto* meter = new LevelMeterControl(bounds, look.meter, {209, 250, 250, 250}, {255, 235, 64, 52},
                                        {18, 250, 250, 250}, {33, 250, 250, 250}, kMeterReadoutHeight, kMeterTrackWidth,
                                        look.meterReadout, look.meterScale, scaleSide);
    meter->SetIgnoreMouse(true); // the threshold handle lies over the input meter and takes its clicks
    graphics.AttachControl(meter, tag);
}

/** A knob with its name below and its value caption below that; the knob's square is centred at (cx, cy + 32). */
void makeKnob(IGraphics& graphics, const Look& look, int paramIdx, float cx, float cy, float size, const char* label,
              bool centred)
{
    const float half = 0.5f * size;
    const IRECT square{cx - half, cy + 32.0f - half, cx + half, cy + 32.0f + half};
    // Centred knobs grow their value arc from twelve o'clock, the others from the start of the sweep.
    graphics.AttachControl(new RingKnobControl(square, paramIdx, kKnobRing, "", look.knob, false, false, -135.0f,
                                               135.0f, centred ? 0.0f : -135.0f, EDirection::Vertical, 4.0, 2.0f));
    attachText(graphics, {cx - 55.0f, 406.0f, cx + 55.0f, 421.0f}, label, look.knobCaption);
    graphics.AttachControl(new ValueCaptionControl({cx - 55.0f, 423.0f, cx + 55.0f, 437.0f}, paramIdx, look.value));
}

} // namespace

void Aubrevane::layout(IGraphics* graphics)
{
    IGraphics& g = *graphics;
    g.LoadFont(kRegularFont, "Roboto-Regular.ttf");
    g.LoadFont(kCondensedFont, "RobotoCondensed-Bold.ttf");
    g.SetLayoutOnResize(false);
    const Look look(resolvedAccent(255));

    g.AttachPanelBackground(IPattern(kWindowColour));
    g.EnableMouseOver(true);
    g.AttachControl(new IPanelControl({14.0f, 96.0f, 706.0f, 456.0f}, IPattern(kPanelColour), false));
    attachText(g, kTitleRect, titleText.GetLength() > 0 ? titleText.Get() : "AUBREVANE", look.title, kTitleTag);

    // The settings menu's update items act on the update pill, so the pill exists before the menu; it is attached
    // later, where it belongs in the drawing order.
    auto* updatePill = new wendlebrak::controls::UpdatePillControl({300.0f, 49.0f, 460.0f, 79.0f}, updateCheck.get(),
                                                                   look.pill, updatePillResized(this));
    auto* settingsMenu = new KebabMenuControl(settingsMenuActions(this, updatePill), kVersionText);
    g.AttachControl(settingsMenu);

    const wendlebrak::controls::PresetBarControl::Style barStyle{{255, 20, 20, 20},
                                                                 {77, 250, 250, 250},
                                                                 {255, 250, 250, 250},
                                                                 {107, 250, 250, 250},
                                                                 {20, 250, 250, 250},
                                                                 {255, 255, 157, 46},
                                                                 look.presetBar,
                                                                 1.0f,
                                                                 "",
                                                                 {255, 17, 17, 17},
                                                                 {26, 250, 250, 250},
                                                                 28.0f,
                                                                 24.0f};
    g.AttachControl(new wendlebrak::controls::PresetBarControl({0.0f, 0.0f, 720.0f, 32.0f}, barStyle, presetHooks(this),
                                                               openKebabMenu(settingsMenu)),
                    kPresetBarTag);

    g.AttachControl(new LearnPillControl({470.0f, 49.0f, 582.0f, 79.0f}, look.pill, look.nameEntry, look.accent,
                                         learnPillActions(this)));
    g.AttachControl(new PillToggleControl({592.0f, 49.0f, 696.0f, 79.0f}, kBypass, "ACTIVE", "BYPASSED", look.pill,
                                          1.0f, look.accent, true));
    g.AttachControl(updatePill);

    g.AttachControl(new ToneDisplayControl({30.0f, 112.0f, 690.0f, 308.0f}, kRegionFirst, kTilt, kRangeLow, kRangeHigh,
                                           kPreEqFirst, kPreEq1Shelf, kPreEq4Shelf, look.accent, look.displayLabel,
                                           look.displayText, aubrevane::plugin::toneDisplayReading(this)));

    attachText(g, {10.0f, 314.0f, 120.0f, 329.0f}, "IN", look.meterLabel);
    attachMeter(g, look, kInputMeterRect, kInputMeterTag, LevelMeterControl::kScaleLeft);
    const float trackX = 0.5f * (kInputMeterRect.L + kMeterScaleRoom + kInputMeterRect.R);
    const IRECT thresholdTrack{trackX - 0.5f * kMeterTrackWidth, kInputMeterRect.T + kMeterReadoutHeight,
                               trackX + 0.5f * kMeterTrackWidth, kInputMeterRect.B};
    g.AttachControl(new ThresholdHandle(kInputMeterRect, kThreshold, thresholdTrack, LevelMeterControl::kLowDecibels,
                                        LevelMeterControl::kHighDecibels, look.threshold, look.accent, kPanelColour));
    g.AttachControl(new IPanelControl({106.0f, 332.0f, 107.0f, 442.0f}, IPattern(kDividerColour), false));

    makeKnob(g, look, kAmount, 172.0f, 334.0f, 76.0f, "AMOUNT", false);
    makeKnob(g, look, kTilt, 272.0f, 342.0f, 56.0f, "TILT", true);
    makeKnob(g, look, kSpeed, 360.0f, 342.0f, 56.0f, "SPEED", false);
    makeKnob(g, look, kMaxBoost, 448.0f, 342.0f, 56.0f, "BOOST", false);
    makeKnob(g, look, kMaxCut, 536.0f, 342.0f, 56.0f, "CUT", false);
    g.AttachControl(new IPanelControl({576.0f, 332.0f, 577.0f, 442.0f}, IPattern(kDividerColour), false));
    makeKnob(g, look, kOutput, 618.0f, 342.0f, 56.0f, "OUTPUT", true);

    attachText(g, {607.0f, 314.0f, 717.0f, 329.0f}, "OUT", look.meterLabel);
    attachMeter(g, look, kOutputMeterRect, kOutputMeterTag, LevelMeterControl::kScaleRight);

    g.AttachControl(new PillToggleControl({28.0f, 468.0f, 90.0f, 494.0f}, kHighPassOn, "HP", "HP", look.pill, 1.0f,
                                          look.accent, false));
    g.AttachControl(new PillToggleControl({630.0f, 468.0f, 692.0f, 494.0f}, kLowPassOn, "LP", "LP", look.pill, 1.0f,
                                          look.accent, false));
    g.AttachControl(new BandStripControl({112.0f, 471.0f, 608.0f, 491.0f}, kHighPassFreq, kLowPassFreq, kHighPassOn,
                                         kLowPassOn, 1.0f, look.accent));
    g.AttachControl(new ValueCaptionControl({14.0f, 498.0f, 104.0f, 512.0f}, kHighPassFreq, look.value));
    g.AttachControl(new ValueCaptionControl({616.0f, 498.0f, 706.0f, 512.0f}, kLowPassFreq, look.value));

    // The logo keeps its own proportions at 18 units high, centred under the strip; without it, the name in text.
    const ISVG logo = g.LoadSVG("aubrevane-lockup.svg", "px", 72.0f);
    if (logo.IsValid() && logo.W() > 0.0f && logo.H() > 0.0f)
    {
        const float halfWidth = 0.5f * kLogoHeight * logo.W() / logo.H();
        g.AttachControl(new ISVGControl({360.0f - halfWidth, 496.0f, 360.0f + halfWidth, 514.0f}, logo, false));
    }
    else
        attachText(g, {220.0f, 496.0f, 500.0f, 514.0f}, "AUBREVANE", look.logo);

    attachText(g, {14.0f, 516.0f, 706.0f, 530.0f}, "", look.status, kStatusTag);
    statusText.clear(); // the next idle tick fills the new status line even when its text did not change

    g.AttachControl(new CornerScaleControl({706.0f, 518.0f, 718.0f, 530.0f}, 720.0f, 0.75f, 2.0f, {36, 250, 250, 250},
                                           {90, 250, 250, 250}));
}
