#include "framework/igraphics/ProbeControl.h"
#include "support/GraphicsTestDelegate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

using namespace iplug::igraphics;
using aubrevane::test::EditorHarness;
using aubrevane::test::ProbeControl;

namespace
{
const IColor kRed{255, 200, 40, 40};

/** Width and height from a PNG file's header. */
std::pair<int, int> pngSize(const std::string& bytes)
{
    unsigned char header[24] = {};
    std::copy_n(bytes.begin(), std::min(bytes.size(), sizeof header), header);
    auto be32 = [&](int at)
    { return (header[at] << 24) | (header[at + 1] << 16) | (header[at + 2] << 8) | header[at + 3]; };
    return {be32(16), be32(20)};
}

/** Runs a drawing function as its Draw, so primitives run inside a frame as controls call them. */
class PaintControl : public IControl
{
public:
    PaintControl(std::function<void(IGraphics&)> paint) : IControl({0, 0, 720, 532}), paint(std::move(paint)) {}
    void Draw(IGraphics& g) override { paint(g); }

private:
    std::function<void(IGraphics&)> paint;
};

void drawOnce(EditorHarness& editor, std::function<void(IGraphics&)> paint)
{
    editor.graphics->RemoveAllControls();
    editor.graphics->AttachControl(new PaintControl(std::move(paint)));
    editor.draw();
}
} // namespace

TEST(IGraphicsDrawing, InvalidUtf8TextDoesNotStopTheRestOfTheFrame)
{
    EditorHarness editor(1);
    editor.graphics->LoadFont("Roboto-Regular", "Roboto-Regular.ttf");
    drawOnce(editor,
             [](IGraphics& g)
             {
                 g.DrawText(IText(12, COLOR_WHITE), "mix\xC0\xAF\xFF\xED\xA0\x80.wav", {0, 0, 200, 20});
                 g.FillRect(kRed, {100, 100, 110, 110});
             });
    EXPECT_EQ(editor.graphics->GetPixel(105, 105), kRed);
    EXPECT_EQ(editor.texts(), (std::vector<std::string>{"mix\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
                                                        "\xEF\xBF\xBD\xEF\xBF\xBD.wav"}));
}

TEST(IGraphicsDrawing, Utf8IsRepairedByteByByte)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"plain", "plain"},
        {"caf\xC3\xA9", "caf\xC3\xA9"},                                           // two-byte
        {"\xF0\x9F\x8E\xB5", "\xF0\x9F\x8E\xB5"},                                 // four-byte
        {"cut\xE2\x82", "cut\xEF\xBF\xBD\xEF\xBF\xBD"},                           // truncated at the end
        {"\xC1\xBF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                                 // overlong
        {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"}, // above U+10FFFF
    };
    for (const auto& [input, expected] : cases)
        EXPECT_EQ(makeValidUtf8(input.c_str()), expected) << input;
    EXPECT_EQ(makeValidUtf8(nullptr), "");
}

TEST(IGraphicsDrawing, PrimitiveWithNonFiniteCoordinateIsSkipped)
{
    EditorHarness editor(1);
    drawOnce(editor,
             [](IGraphics& g)
             {
                 g.FillRect(kRed, {std::nanf(""), 0, 720, 532});
                 g.FillCircle(kRed, 10, 10, INFINITY);
                 g.DrawLine(kRed, 0, 0, 720, std::nanf(""));
                 g.PathMoveTo(0, 0);
                 g.PathLineTo(std::nanf(""), 500);
                 g.PathLineTo(700, 500);
                 g.PathFill(IPattern(kRed));
                 g.FillRect(COLOR_WHITE, {0, 0, 2, 2});
             });
    EXPECT_EQ(editor.graphics->GetDrawLog().size(), 1u);
    EXPECT_EQ(editor.graphics->GetPixel(300, 300), COLOR_TRANSPARENT);
    EXPECT_EQ(editor.graphics->GetPixel(1, 1), COLOR_WHITE);
}

TEST(IGraphicsDrawing, MeasuredTextWidthIsTheSameAtEveryScale)
{
    EditorHarness small(1, 1.0f), large(1, 2.0f);
    const IText style(11.5f, COLOR_WHITE, "Roboto-Regular");
    IRECT a{0, 0, 100, 20}, b{0, 0, 100, 20};
    const float at1 = small.graphics->MeasureText(style, "threshold -40.0 dB", a);
    const float at2 = large.graphics->MeasureText(style, "threshold -40.0 dB", b);
    EXPECT_GT(at1, 50.0f);
    EXPECT_LT(at1, 120.0f);
    EXPECT_EQ(at1, at2);
    EXPECT_EQ(a, b);
    EXPECT_FLOAT_EQ(a.MW(), 50.0f); // centred in the given box
}

TEST(IGraphicsDrawing, TextIsDrawnInItsFontAtEveryScale)
{
    for (float scale : {1.0f, 2.0f})
    {
        EditorHarness editor(1, scale);
        drawOnce(editor, [](IGraphics& g) { g.DrawText(IText(40, COLOR_WHITE), "H", {0, 0, 100, 100}); });
        // The H's left stem crosses the box's middle row; its gap between the stems does not.
        int lit = 0;
        for (int x = 0; x < editor.graphics->PixelWidth() / 7; ++x)
            lit += editor.graphics->GetPixel(x, static_cast<int>(50 * scale)).A > 128;
        EXPECT_GT(lit, static_cast<int>(8 * scale)) << scale;
    }
}

TEST(IGraphicsDrawing, PngOfAFrameAtOneAndAHalfIs1080By798)
{
    EditorHarness editor(1, 1.5f);
    drawOnce(editor, [](IGraphics& g) { g.FillRect(kRed, {0, 0, 720, 532}); });
    std::string bytes;
    ASSERT_TRUE(editor.graphics->EncodePNG(bytes));
    EXPECT_EQ(pngSize(bytes), std::make_pair(1080, 798));
    EXPECT_EQ(editor.graphics->GetPixel(1079, 797), kRed);
}

TEST(IGraphicsDrawing, FramePollsEveryControlThenDrawsInAttachOrder)
{
    EditorHarness editor(1);
    std::vector<std::string> journal;
    auto* back = new ProbeControl({0, 0, 100, 100}, "back", journal);
    auto* front = new ProbeControl({50, 50, 150, 150}, "front", journal);
    front->color = COLOR_WHITE;
    auto* hidden = new ProbeControl({0, 0, 10, 10}, "hidden", journal);
    hidden->Hide(true);
    editor.graphics->AttachControl(back);
    editor.graphics->AttachControl(front);
    editor.graphics->AttachControl(hidden);

    EXPECT_TRUE(editor.graphics->DrawFrame());
    EXPECT_EQ(journal, (std::vector<std::string>{"back poll", "front poll", "hidden poll", "back draw", "front draw"}));
    EXPECT_EQ(editor.graphics->GetPixel(75, 75), COLOR_WHITE); // the later control lies on top
    EXPECT_EQ(editor.graphics->GetPixel(25, 25), kRed);

    journal.clear();
    EXPECT_FALSE(editor.graphics->DrawFrame());
    EXPECT_EQ(journal, (std::vector<std::string>{"back poll", "front poll", "hidden poll"}));
}

TEST(IGraphicsDrawing, ControlsMayPaintBeyondTheirRectangles)
{
    // Some captions are wider than their boxes, so a control's drawing is never clipped to its bounds.
    EditorHarness editor(2);
    struct Spill : IControl
    {
        Spill() : IControl({0, 0, 10, 10}) {}
        void Draw(IGraphics& g) override { g.FillRect(kRed, IRECT(0, 0, 100, 100)); }
    };
    editor.graphics->AttachControl(new Spill);
    editor.draw();
    EXPECT_EQ(editor.graphics->GetPixel(5, 5), kRed);
    EXPECT_EQ(editor.graphics->GetPixel(90, 90), kRed);
}

TEST(IGraphicsDrawing, PanelBackgroundLiesUnderEverything)
{
    EditorHarness editor(1);
    std::vector<std::string> journal;
    editor.graphics->AttachControl(new ProbeControl({0, 0, 10, 10}, "first", journal));
    editor.graphics->AttachPanelBackground(IPattern(IColor(255, 10, 10, 10)));
    editor.draw();
    EXPECT_EQ(editor.graphics->GetPixel(5, 5), kRed);
    EXPECT_EQ(editor.graphics->GetPixel(500, 500), IColor(255, 10, 10, 10));
}

TEST(IGraphicsDrawing, FontsAndLogoComeFromTheResourceFolder)
{
    EditorHarness editor(1);
    EXPECT_TRUE(editor.graphics->LoadFont("RobotoCondensed-Bold", "RobotoCondensed-Bold.ttf"));
    EXPECT_FALSE(editor.graphics->LoadFont("Missing", "NoSuchFont.ttf"));
    EXPECT_FALSE(editor.graphics->LoadSVG("no-such-logo.svg").IsValid());
    const ISVG logo = editor.graphics->LoadSVG("aubrevane-lockup.svg", "px", 72);
    ASSERT_TRUE(logo.IsValid());
    EXPECT_GT(logo.W() / logo.H(), 4.0f); // a wide wordmark
    drawOnce(editor, [&logo](IGraphics& g) { g.DrawSVG(logo, {0, 0, 720, 98}); });
    int lit = 0;
    for (int x = 0; x < 720; ++x)
        lit += editor.graphics->GetPixel(x, 49).A > 0;
    EXPECT_GT(lit, 20);
}

TEST(IGraphicsDrawing, AnOpenTextEntryIsPaintedInItsEntryColoursNotTheTextColour)
{
    const IColor bright{255, 250, 250, 250}, panel{255, 30, 30, 30}, editorBackground{255, 10, 10, 10};
    struct Case
    {
        IText style;
        float scale;
        IColor box;
        bool darkText;
    };
    const Case cases[] = {
        {IText(12.0f, bright), 1.0f, COLOR_WHITE, true}, // the framework's entry colours: black on white
        {IText(12.0f, bright, "Roboto-Regular", EAlign::Near, EVAlign::Middle, 0.0f, panel, bright), 2.0f, panel,
         false},
    };
    const IRECT entryBox{100, 100, 200, 120};
    for (const Case& c : cases)
    {
        EditorHarness editor(1, c.scale);
        drawOnce(editor, [&](IGraphics& g) { g.FillRect(editorBackground, {0, 0, 720, 532}); });
        editor.graphics->CreateTextEntry(*editor.graphics->GetControl(0), c.style, entryBox, "-6.5");
        editor.graphics->DrawPendingTextEntry();

        const auto px = [&](float units) { return static_cast<int>(units * c.scale); };
        EXPECT_EQ(editor.graphics->GetPixel(px(entryBox.L) + 1, px(entryBox.T) + 1), c.box) << c.scale;
        EXPECT_EQ(editor.graphics->GetPixel(px(entryBox.R) + 2, px(entryBox.MH())), editorBackground) << c.scale;
        int textPixels = 0;
        for (int y = px(entryBox.T); y < px(entryBox.B); ++y)
            for (int x = px(entryBox.L); x < px(entryBox.R); ++x)
            {
                const IColor pixel = editor.graphics->GetPixel(x, y);
                const int lightest = std::max({pixel.R, pixel.G, pixel.B}),
                          darkest = std::min({pixel.R, pixel.G, pixel.B});
                textPixels += c.darkText ? lightest < 100 : darkest > 180;
            }
        EXPECT_GT(textPixels, px(20)) << c.scale;
    }
}
