#pragma once

#include <cmath>
#include <cstdint>
#include <string>

namespace iplug
{
namespace igraphics
{
inline constexpr int kNoParameter = -1;
inline constexpr int kNoTag = -1;
inline constexpr int kNoValIdx = -1;

/** A rectangle in editor units: left and top inclusive, right and bottom exclusive. */
struct IRECT
{
    float L = 0.0f, T = 0.0f, R = 0.0f, B = 0.0f;

    IRECT() = default;
    IRECT(float l, float t, float r, float b) : L(l), T(t), R(r), B(b) {}

    float W() const { return R - L; }
    float H() const { return B - T; }
    float MW() const { return 0.5f * (L + R); }
    float MH() const { return 0.5f * (T + B); }

    /** The all-zero rectangle; it contains nothing. */
    bool Empty() const { return L == 0.0f && T == 0.0f && R == 0.0f && B == 0.0f; }
    bool Contains(float x, float y) const { return !Empty() && x >= L && x < R && y >= T && y < B; }
    bool AllFinite() const { return std::isfinite(L) && std::isfinite(T) && std::isfinite(R) && std::isfinite(B); }

    /** Grows the rectangle by `padding` on every side (shrinks it for a negative value). */
    IRECT GetPadded(float padding) const { return {L - padding, T - padding, R + padding, B + padding}; }
    IRECT GetPadded(float l, float t, float r, float b) const { return {L + l, T + t, R + r, B + b}; }
    /** The largest square centred inside the rectangle. */
    IRECT GetCentredSquare() const
    {
        const float half = 0.5f * std::fmin(W(), H());
        return {MW() - half, MH() - half, MW() + half, MH() + half};
    }

    bool operator==(const IRECT& other) const { return L == other.L && T == other.T && R == other.R && B == other.B; }
    bool operator!=(const IRECT& other) const { return !(*this == other); }
};

/** A copy of `record` with one field replaced: the With... setters of the style records. */
template <typename Record, typename T> Record withField(const Record& record, T Record::*field, const T& value)
{
    Record copy = record;
    copy.*field = value;
    return copy;
}

/** A colour as alpha, red, green, blue, each 0..255 (not premultiplied). */
struct IColor
{
    int A = 255, R = 0, G = 0, B = 0;

    constexpr IColor() = default;
    constexpr IColor(int a, int r, int g, int b) : A(a), R(r), G(g), B(b) {}

    constexpr IColor WithAlpha(int alpha) const { return {alpha, R, G, B}; }

    constexpr bool operator==(const IColor& other) const
    {
        return A == other.A && R == other.R && G == other.G && B == other.B;
    }
    constexpr bool operator!=(const IColor& other) const { return !(*this == other); }
};

inline constexpr IColor COLOR_TRANSPARENT{0, 0, 0, 0};
inline constexpr IColor COLOR_BLACK{255, 0, 0, 0};
inline constexpr IColor COLOR_WHITE{255, 255, 255, 255};

enum class EBlend
{
    Default,
    Add
};

/** How a drawing is combined with what lies under it; `weight` scales its opacity. */
struct IBlend
{
    EBlend method = EBlend::Default;
    float weight = 1.0f;

    IBlend() = default;
    IBlend(EBlend m, float w = 1.0f) : method(m), weight(w) {}
};

/** A fill: only solid colours are used by the editor. */
struct IPattern
{
    IColor color;

    IPattern(const IColor& c) : color(c) {}
};

enum class EAlign
{
    Near,
    Center,
    Far
};

enum class EVAlign
{
    Top,
    Middle,
    Bottom
};

/**
 * A text style. `size` is the font's em size in editor units (the height of the em square, not of the capitals):
 * a size of 10 draws the same glyphs at every draw scale, only with more pixels. `font` is the name given to
 * IGraphics::LoadFont. The text entry colours are used by the box that CreateTextEntry opens.
 */
struct IText
{
    float size = 14.0f;
    IColor fgColor = COLOR_BLACK;
    std::string font = "Roboto-Regular";
    EAlign align = EAlign::Center;
    EVAlign vAlign = EVAlign::Middle;
    float angle = 0.0f;
    IColor textEntryBGColor = COLOR_WHITE;
    IColor textEntryFGColor = COLOR_BLACK;

    IText() = default;
    IText(float sz, const IColor& color, const char* fontName = nullptr, EAlign a = EAlign::Center,
          EVAlign va = EVAlign::Middle, float ang = 0.0f, const IColor& entryBG = COLOR_WHITE,
          const IColor& entryFG = COLOR_BLACK)
        : size(sz), fgColor(color), font(fontName ? fontName : "Roboto-Regular"), align(a), vAlign(va), angle(ang),
          textEntryBGColor(entryBG), textEntryFGColor(entryFG)
    {
    }
    IText(float sz, EVAlign va, const IColor& color = COLOR_BLACK) : size(sz), fgColor(color), vAlign(va) {}

    IText WithFGColor(const IColor& color) const { return withField(*this, &IText::fgColor, color); }
    IText WithAlign(EAlign a) const { return withField(*this, &IText::align, a); }
    IText WithSize(float sz) const { return withField(*this, &IText::size, sz); }
};

inline const IText DEFAULT_TEXT{};

/** Which button and keys were held at a mouse event. */
struct IMouseMod
{
    bool L = false, R = false, S = false, C = false, A = false;

    IMouseMod() = default;
    IMouseMod(bool left, bool right = false, bool shift = false, bool control = false, bool alt = false)
        : L(left), R(right), S(shift), C(control), A(alt)
    {
    }
};

enum class EDirection
{
    Vertical,
    Horizontal
};

/** The slots of a vector style's colour table. */
enum EVColor
{
    kBG, // background
    kFG, // foreground: the knob body, the meter bar
    kPR, // pressed
    kFR, // frame and pointer
    kHL, // highlight
    kSH, // shadow
    kX1, // extra 1: the knob's value arc
    kX2,
    kX3,
    kNumVColors
};

/** The look shared by the vector controls (knob, meter). */
struct IVStyle
{
    bool hideCursor = true;
    bool showLabel = true;
    bool showValue = true;
    bool drawFrame = true;
    bool drawShadows = true;
    float frameThickness = 1.0f;
    float shadowOffset = 3.0f;
    IColor colors[kNumVColors] = {
        COLOR_TRANSPARENT,          // kBG
        IColor(255, 200, 200, 200), // kFG
        IColor(255, 240, 240, 240), // kPR
        IColor(255, 70, 70, 70),    // kFR
        IColor(60, 255, 255, 255),  // kHL
        IColor(60, 0, 0, 0),        // kSH
        IColor(255, 255, 0, 0),     // kX1
        IColor(255, 0, 255, 0),     // kX2
        IColor(255, 0, 0, 255),     // kX3
    };
    IText labelText{14.0f, EVAlign::Top, COLOR_BLACK};
    IText valueText{14.0f, EVAlign::Bottom, COLOR_BLACK};

    IVStyle WithHideCursor(bool hide) const { return withField(*this, &IVStyle::hideCursor, hide); }
    IVStyle WithShowLabel(bool show) const { return withField(*this, &IVStyle::showLabel, show); }
    IVStyle WithShowValue(bool show) const { return withField(*this, &IVStyle::showValue, show); }
    IVStyle WithDrawFrame(bool draw) const { return withField(*this, &IVStyle::drawFrame, draw); }
    IVStyle WithDrawShadows(bool draw) const { return withField(*this, &IVStyle::drawShadows, draw); }
    IVStyle WithColor(EVColor slot, const IColor& color) const
    {
        IVStyle copy = *this;
        copy.colors[slot] = color;
        return copy;
    }
};

inline const IVStyle DEFAULT_STYLE{};

enum EMsgBoxType
{
    kMB_OK,
    kMB_OKCANCEL,
    kMB_YESNO,
    kMB_YESNOCANCEL
};

enum EMsgBoxResult
{
    kNoResult,
    kOK,
    kCANCEL,
    kYES,
    kNO
};

enum class EFileAction
{
    Open,
    Save
};

enum class ECursor
{
    ARROW,
    HAND,
    SIZENWSE
};

} // namespace igraphics
} // namespace iplug
