#include "editor/ValueCaptionControl.h"
#include "GraphicsControlParams.h"

#include <gtest/gtest.h>

using namespace iplug::igraphics;
using namespace aubrevane::test;
using aubrevane::plugin::ValueCaptionControl;

namespace
{
const IText kValueStyle(11.5f, IColor(107, 250, 250, 250), "Roboto-Regular");

class ValueCaption : public testing::Test
{
protected:
    ValueCaptionControl* attach(int paramIdx, const IRECT& bounds = {616, 498, 706, 512})
    {
        return static_cast<ValueCaptionControl*>(
            editor.graphics->AttachControl(new ValueCaptionControl(bounds, paramIdx, kValueStyle)));
    }
    /** Clicks the caption and types `text`; the click's own gesture is left out of the log. */
    void type(ValueCaptionControl* caption, const char* text)
    {
        editor.click(caption->GetRECT().MW(), caption->GetRECT().MH());
        ASSERT_TRUE(editor.graphics->HasPendingTextEntry());
        editor.delegate.calls.clear();
        editor.graphics->CommitTextEntry(text);
    }

    ControlHarness editor;
};
} // namespace

TEST_F(ValueCaption, LeftClickOpensTheEntryWithTheValueOverTheCaption)
{
    ValueCaptionControl* caption = attach(kLowPassFreqParam);
    editor.setPlain(kLowPassFreqParam, 12000);
    editor.click(650, 505);
    ASSERT_TRUE(editor.graphics->HasPendingTextEntry());
    EXPECT_EQ(editor.graphics->GetPendingTextEntryText(), "12000.0");
    EXPECT_EQ(editor.graphics->GetPendingTextEntryBounds(), caption->GetRECT());
    EXPECT_EQ(editor.graphics->GetPendingTextEntryLength(), 16);
    EXPECT_EQ(editor.graphics->GetPendingTextEntryStyle().size, kValueStyle.size);
    EXPECT_STREQ(caption->GetTooltip(), "Click to type a value");
}

TEST_F(ValueCaption, RightClickOpensNothing)
{
    attach(kLowPassFreqParam);
    editor.click(650, 505, IMouseMod(false, true));
    EXPECT_FALSE(editor.graphics->HasPendingTextEntry());
}

TEST_F(ValueCaption, TypedNumbersAreClampedAndSentAsOneChange)
{
    ValueCaptionControl* caption = attach(kLowPassFreqParam);
    editor.setPlain(kLowPassFreqParam, 5000);
    type(caption, "20k");
    EXPECT_DOUBLE_EQ(editor.delegate.plain(kLowPassFreqParam), 20000);
    EXPECT_EQ(editor.delegate.calls.size(), 3u);
    EXPECT_TRUE(editor.delegate.gesturesBalanced());

    editor.setPlain(kLowPassFreqParam, 5000);
    type(caption, "25k");
    EXPECT_DOUBLE_EQ(editor.delegate.plain(kLowPassFreqParam), 20000);

    type(caption, "1.2k");
    EXPECT_NEAR(editor.delegate.plain(kLowPassFreqParam), 1200, 0.05);
    type(caption, "50");
    EXPECT_DOUBLE_EQ(editor.delegate.plain(kLowPassFreqParam), 1000);
}

TEST_F(ValueCaption, TextWithoutANumberChangesNothingAndOpensNoGesture)
{
    ValueCaptionControl* caption = attach(kOutputParam);
    editor.setPlain(kOutputParam, 3);
    for (const char* typed : {"abc", ""})
    {
        type(caption, typed);
        EXPECT_DOUBLE_EQ(editor.delegate.plain(kOutputParam), 3) << typed;
        EXPECT_TRUE(editor.delegate.calls.empty()) << typed;
    }
}

TEST_F(ValueCaption, InfinitiesSetTheRangeEndsAndNanChangesNothing)
{
    ValueCaptionControl* caption = attach(kLowPassFreqParam);
    const struct
    {
        const char* typed;
        double expected;
        std::size_t calls; // begin, send, end; none for text that is ignored
    } cases[] = {{"1e999", 20000, 3}, {"-inf", 1000, 3}, {"1e308k", 20000, 3}, {"-1e999", 1000, 3}, {"nan", 5000, 0}};
    for (const auto& c : cases)
    {
        editor.setPlain(kLowPassFreqParam, 5000);
        type(caption, c.typed);
        EXPECT_EQ(editor.delegate.plain(kLowPassFreqParam), c.expected) << c.typed;
        EXPECT_EQ(editor.delegate.calls.size(), c.calls) << c.typed;
        EXPECT_TRUE(editor.delegate.gesturesBalanced()) << c.typed;
    }
}

TEST_F(ValueCaption, SteppedParameterRoundsHalvesAwayFromZero)
{
    ValueCaptionControl* caption = attach(kStepsParam);
    type(caption, "2.5");
    EXPECT_DOUBLE_EQ(editor.delegate.plain(kStepsParam), 3);
    type(caption, "-2.5");
    EXPECT_DOUBLE_EQ(editor.delegate.plain(kStepsParam), -3);
    type(caption, "-99");
    EXPECT_DOUBLE_EQ(editor.delegate.plain(kStepsParam), -10);
}

TEST_F(ValueCaption, ShowsTheValueWithItsUnit)
{
    attach(kOutputParam);
    editor.setPlain(kOutputParam, -6.5);
    editor.draw();
    EXPECT_EQ(editor.texts(), (std::vector<std::string>{"-6.5 dB"}));
}
