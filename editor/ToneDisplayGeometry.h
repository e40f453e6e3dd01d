#pragma once

#include "framework/igraphics/IGraphicsStructs.h"

#include <array>

/**
 * Where things sit on the tone display: frequency runs over three decades from 20 Hz at the left edge to 20 kHz at
 * the right, level runs linearly with +-20 dB reaching 6 units from the top and bottom edges. Everything is derived
 * from the control's rectangle, so a moved or resized display needs nothing else.
 */
class ToneDisplayGeometry
{
public:
    explicit ToneDisplayGeometry(const iplug::igraphics::IRECT& bounds);

    float xOfHertz(double hertz) const;
    /** The pointer's x is clamped to the display, so the result is always 20..20000 Hz. */
    double hertzOfX(float x) const;
    /** Not clamped: levels beyond +-20 dB land outside the inner band. */
    float yOfDecibels(double decibels) const;
    double decibelsOfY(float y) const;

    float midY() const { return mid; }
    const iplug::igraphics::IRECT& bounds() const { return r; }

    /** The chip under a range edge at `edgeX`: 38 x 16 near the bottom, kept 21 units inside the sides. */
    iplug::igraphics::IRECT edgeChip(float edgeX) const;
    /** The MATCH / PRE-EQ switch at the top centre. */
    iplug::igraphics::IRECT viewSwitch() const;
    /** A region's label box for hit testing (90 wide) or drawing (120 wide): above the handle, or below it when
     *  there is no room under the top strip that holds the status texts. */
    iplug::igraphics::IRECT labelBox(float handleX, float handleY, float halfWidth) const;
    /** The top of a caption of height 14 that sits `above` units over the point, or `below` under it when there is
     *  no room under the top strip. */
    float captionTop(float y, float above, float below) const;

private:
    iplug::igraphics::IRECT r;
    float mid;
    float span;
};

/** The inside of a pre-EQ node's popover: shape buttons (first and last node only), then rows Freq, Gain and Q. */
struct PopoverLayout
{
    enum Field
    {
        kFreqField = 0,
        kGainField,
        kQField,
        kNumFields
    };

    iplug::igraphics::IRECT bounds;
    bool hasShapeRow = false;
    iplug::igraphics::IRECT bellButton, shelfButton;
    std::array<iplug::igraphics::IRECT, kNumFields> rows;   // the name's box, the full row width
    std::array<iplug::igraphics::IRECT, kNumFields> fields; // the value fields at the rows' right end
    iplug::igraphics::IRECT qTrack;                         // 3 high, on the Q row's middle
    iplug::igraphics::IRECT qTrackHit;                      // presses within 6 units of the track

    /** The popover of node `node` at (nodeX, nodeY), opening below the node unless it would pass the display's
     *  bottom. */
    static PopoverLayout forNode(const ToneDisplayGeometry& geometry, int node, float nodeX, float nodeY);
    static constexpr float kWidth = 160.0f;
};

/** Where the display samples its curves (120 log-spaced points) and how its Q slider maps. */
namespace tonecurves
{
inline constexpr int kNumPoints = 120;
inline constexpr double kMinQ = 0.3;
inline constexpr double kMaxQ = 10.0;

/** Point i of every curve, 20 Hz to 20 kHz. */
double pointHertz(int i);

/** The angle of `hertz` at `sampleRate`, kept below 0.49 times the rate so curves stay finite near Nyquist. */
double curveAngle(double hertz, double sampleRate);

/** The Q slider's mapping: position 0..1 to Q 0.3..10 exponentially, and back. */
double qOfPosition(double u);
double positionOfQ(double q);
} // namespace tonecurves
