#include "framework/igraphics/ProbeControl.h"
#include "support/GraphicsTestDelegate.h"
#include "support/TestFolder.h"

#include "framework/WDL_String.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace iplug::igraphics;
using aubrevane::test::EditorHarness;
using aubrevane::test::GestureCall;
using aubrevane::test::ProbeControl;

namespace
{
class IGraphicsEvents : public testing::Test
{
protected:
    IGraphicsEvents() : editor(4)
    {
        for (int i = 0; i < 4; ++i)
            editor.delegate.GetParam(i)->InitDouble("p", 0.0, 0.0, 1.0, 0.01);
        editor.graphics->EnableMouseOver(true);
    }

    ProbeControl* attach(const IRECT& bounds, const char* name, int paramIdx = kNoParameter)
    {
        return static_cast<ProbeControl*>(graphics().AttachControl(new ProbeControl(bounds, name, journal, paramIdx)));
    }
    IGraphics& graphics() { return *editor.graphics; }
    const std::vector<GestureCall>& calls() const { return editor.delegate.calls; }

    std::vector<std::string> journal;
    EditorHarness editor;
};

std::vector<GestureCall::Kind> kinds(const std::vector<GestureCall>& calls)
{
    std::vector<GestureCall::Kind> found;
    for (const GestureCall& call : calls)
        found.push_back(call.kind);
    return found;
}
} // namespace

TEST_F(IGraphicsEvents, TopmostVisibleControlThatTakesTheMouseGetsThePressAndKeepsTheDrag)
{
    attach({0, 0, 100, 100}, "under");
    ProbeControl* hidden = attach({0, 0, 100, 100}, "hidden");
    hidden->Hide(true);
    attach({0, 0, 100, 100}, "deaf")->SetIgnoreMouse(true);
    attach({50, 50, 100, 100}, "corner");

    graphics().OnMouseDown(10, 10, IMouseMod(true));
    graphics().OnMouseDrag(300, 300, 290, 290, IMouseMod(true)); // far outside: the capture keeps it
    graphics().OnMouseUp(300, 300, IMouseMod(true));
    graphics().OnMouseDown(60, 60, IMouseMod(true));
    graphics().OnMouseDrag(61, 61, 1, 1, IMouseMod(true));
    graphics().OnMouseUp(61, 61, IMouseMod(true));
    graphics().OnMouseDrag(10, 10, 1, 1, IMouseMod(true)); // no button held: nobody hears it

    EXPECT_EQ(journal, (std::vector<std::string>{"under down", "under drag", "under up", "corner down", "corner drag",
                                                 "corner up"}));
    EXPECT_EQ(graphics().GetCapturedControl(), nullptr);
}

TEST_F(IGraphicsEvents, PressDragReleaseOfOneParameterIsOneGesture)
{
    ProbeControl* knob = attach({0, 0, 100, 100}, "knob", 1);
    knob->onDrag = [knob] { knob->change(knob->GetValue() + 0.25); };

    graphics().OnMouseDown(10, 10, IMouseMod(true));
    graphics().OnMouseDrag(10, 9, 0, -1, IMouseMod(true));
    graphics().OnMouseDrag(10, 8, 0, -1, IMouseMod(true));
    graphics().OnMouseUp(10, 8, IMouseMod(true));

    EXPECT_EQ(kinds(calls()), (std::vector<GestureCall::Kind>{GestureCall::Begin, GestureCall::Send, GestureCall::Send,
                                                              GestureCall::End}));
    EXPECT_TRUE(editor.delegate.gesturesBalanced());
    EXPECT_DOUBLE_EQ(editor.delegate.plain(1), 0.5);
}

TEST_F(IGraphicsEvents, DoubleClickIsItsOwnClosedGestureAndNeverAPress)
{
    ProbeControl* knob = attach({0, 0, 100, 100}, "knob", 2);
    knob->onDblClick = [knob] { knob->change(0.75); };

    graphics().OnMouseDblClick(10, 10, IMouseMod(true));
    graphics().OnMouseUp(10, 10, IMouseMod(true));

    EXPECT_EQ(journal, (std::vector<std::string>{"knob dblclick"}));
    EXPECT_EQ(kinds(calls()),
              (std::vector<GestureCall::Kind>{GestureCall::Begin, GestureCall::Send, GestureCall::End}));
    EXPECT_DOUBLE_EQ(editor.delegate.plain(2), 0.75);
}

TEST_F(IGraphicsEvents, ControlOfSeveralParametersOpensEachGestureAtItsFirstChange)
{
    auto* strip = static_cast<ProbeControl*>(
        graphics().AttachControl(new ProbeControl({0, 0, 100, 100}, "strip", journal, {1, 3})));
    strip->onDrag = [strip]
    {
        strip->change(0.2, 1);
        strip->change(0.3, 1);
    };

    graphics().OnMouseDown(10, 10, IMouseMod(true));
    EXPECT_TRUE(calls().empty());
    graphics().OnMouseDrag(11, 10, 1, 0, IMouseMod(true));
    graphics().OnMouseUp(11, 10, IMouseMod(true));

    EXPECT_EQ(editor.delegate.count(GestureCall::Begin, 3), 1);
    EXPECT_EQ(editor.delegate.count(GestureCall::Send, 3), 2);
    EXPECT_EQ(editor.delegate.count(GestureCall::Begin, 1), 0);
    EXPECT_TRUE(editor.delegate.gesturesBalanced());
}

TEST_F(IGraphicsEvents, WheelChangeIsClosedAtOnce)
{
    ProbeControl* knob = attach({0, 0, 100, 100}, "knob", 0);
    knob->onWheel = [knob] { knob->change(0.4); };
    graphics().OnMouseWheel(5, 5, IMouseMod(), 1.0f);
    EXPECT_EQ(kinds(calls()),
              (std::vector<GestureCall::Kind>{GestureCall::Begin, GestureCall::Send, GestureCall::End}));
}

TEST_F(IGraphicsEvents, ChangeReachesOtherControlsOfTheSameParameter)
{
    ProbeControl* knob = attach({0, 0, 100, 100}, "knob", 1);
    ProbeControl* caption = attach({0, 200, 100, 220}, "caption", 1);
    knob->change(0.6);
    EXPECT_DOUBLE_EQ(caption->GetValue(), 0.6);
    graphics().UpdateControlsForParam(1, 0.1);
    EXPECT_DOUBLE_EQ(knob->GetValue(), 0.1);
}

TEST_F(IGraphicsEvents, RemovingAllControlsDuringADragEndsTheGestureAndTheCapture)
{
    ProbeControl* knob = attach({0, 0, 100, 100}, "knob", 1);
    knob->onDrag = [this, knob]
    {
        knob->change(0.3);
        graphics().RemoveAllControls(); // an editor rebuild from inside the handler
        knob->change(0.35);             // still safe: the control dies after the handler returns
    };

    graphics().OnMouseDown(10, 10, IMouseMod(true));
    graphics().OnMouseDrag(10, 9, 0, -1, IMouseMod(true));
    graphics().OnMouseDrag(10, 8, 0, -1, IMouseMod(true));
    graphics().OnMouseUp(10, 8, IMouseMod(true));

    EXPECT_EQ(graphics().NControls(), 0);
    EXPECT_EQ(graphics().GetCapturedControl(), nullptr);
    EXPECT_EQ(editor.delegate.count(GestureCall::Begin, 1), 1);
    EXPECT_EQ(editor.delegate.count(GestureCall::End, 1), 1);
    EXPECT_EQ(journal, (std::vector<std::string>{"knob down", "knob drag"}));
}

TEST_F(IGraphicsEvents, RemovingAllControlsDropsPendingMenuAndTextEntryWithoutCallingBack)
{
    ProbeControl* pill = attach({0, 0, 100, 100}, "pill");
    pill->menu.AddItem("One");
    graphics().CreatePopupMenu(*pill, pill->menu, pill->GetRECT());
    graphics().CreateTextEntry(*pill, IText(), pill->GetRECT(), "name");

    graphics().RemoveAllControls();

    EXPECT_FALSE(graphics().HasPendingPopupMenu());
    EXPECT_FALSE(graphics().HasPendingTextEntry());
    EXPECT_FALSE(graphics().SelectPopupItem({0}));
    graphics().CommitTextEntry("late");
    EXPECT_TRUE(journal.empty());
}

TEST_F(IGraphicsEvents, PopupItemsAreChosenByPositionOrTextAndOnlyWhenEnabled)
{
    ProbeControl* pill = attach({0, 0, 100, 100}, "pill");
    pill->menu.AddItem("Load", 0);
    auto* targets = new IPopupMenu();
    targets->AddItem("Warm");
    targets->AddItem("Dark", -1, IPopupMenu::Item::kDisabled);
    pill->menu.AddItem("Targets", targets);
    pill->menu.AddSeparator();

    graphics().CreatePopupMenu(*pill, pill->menu, pill->GetRECT());
    EXPECT_FALSE(graphics().SelectPopupItem({1}));    // a submenu entry is not a choice
    EXPECT_FALSE(graphics().SelectPopupItem({1, 1})); // disabled
    EXPECT_FALSE(graphics().SelectPopupItem({2}));    // separator
    EXPECT_TRUE(graphics().HasPendingPopupMenu());
    EXPECT_TRUE(graphics().SelectPopupItemByText({"Targets", "Warm"}));
    EXPECT_FALSE(graphics().HasPendingPopupMenu());
    EXPECT_EQ(pill->menu.GetChosenItemIdx(), 1);

    graphics().CreatePopupMenu(*pill, pill->menu, pill->GetRECT());
    graphics().OnMouseDown(500, 500, IMouseMod(true)); // a press elsewhere dismisses the menu
    EXPECT_EQ(journal, (std::vector<std::string>{"pill menu Warm", "pill menu none"}));
}

TEST_F(IGraphicsEvents, TextEntryIsCutToItsLengthInCharactersAndMadeValid)
{
    ProbeControl* caption = attach({0, 0, 100, 100}, "caption");
    caption->SetTextEntryLength(4);
    graphics().CreateTextEntry(*caption, IText(), caption->GetRECT(), "12");
    EXPECT_EQ(graphics().GetPendingTextEntryText(), "12");
    graphics().CommitTextEntry("\xC3\xA9t\xC3\xA9s!");
    graphics().CreateTextEntry(*caption, IText(), caption->GetRECT(), "");
    graphics().CommitTextEntry("a\xFF");
    graphics().CreateTextEntry(*caption, IText(), caption->GetRECT(), "");
    graphics().CancelTextEntry();
    EXPECT_EQ(journal, (std::vector<std::string>{"caption text \xC3\xA9t\xC3\xA9s", "caption text a\xEF\xBF\xBD"}));
}

TEST_F(IGraphicsEvents, HoverMovesBetweenControlsAndLeavesWithTheWindow)
{
    attach({0, 0, 100, 100}, "left");
    attach({100, 0, 200, 100}, "right");
    graphics().OnMouseOver(10, 10, IMouseMod());
    graphics().OnMouseOver(20, 10, IMouseMod());
    graphics().OnMouseOver(150, 10, IMouseMod());
    graphics().OnMouseOut();
    EXPECT_EQ(journal, (std::vector<std::string>{"left over", "left over", "left out", "right over", "right out"}));
}

TEST_F(IGraphicsEvents, ControlsRemovedWhenTheMouseLeftOneAreNeverHeardFromAgain)
{
    ProbeControl* left = attach({0, 0, 100, 100}, "left");
    attach({100, 0, 200, 100}, "right");
    left->onOut = [this] { graphics().RemoveAllControls(); }; // an editor rebuild as the pointer leaves
    graphics().OnMouseOver(10, 10, IMouseMod());
    graphics().OnMouseOver(150, 10, IMouseMod());
    graphics().OnMouseOver(10, 10, IMouseMod());
    graphics().OnMouseOut();
    EXPECT_EQ(journal, (std::vector<std::string>{"left over", "left out"}));
}

TEST(IGraphicsPlatform, MessageBoxesTakeQueuedAnswersElseSafeDefaults)
{
    EditorHarness editor(1);
    IGraphics& g = *editor.graphics;
    EXPECT_EQ(g.ShowMessageBox("Saved.", "Preset", kMB_OK), kOK);
    EXPECT_EQ(g.ShowMessageBox("Replace?", "Preset", kMB_YESNO), kNO);
    g.QueueMessageBoxAnswer(kYES);
    EMsgBoxResult heard = kNoResult;
    EXPECT_EQ(g.ShowMessageBox("Replace?", "Preset", kMB_YESNO, [&](EMsgBoxResult r) { heard = r; }), kYES);
    EXPECT_EQ(heard, kYES);
    ASSERT_EQ(g.GetMessageBoxes().size(), 3u);
    EXPECT_EQ(g.GetMessageBoxes()[1].text, "Replace?");
    EXPECT_EQ(g.GetMessageBoxes()[2].result, kYES);
}

TEST(IGraphicsPlatform, FileDialogIsCancelledUnlessAnAnswerIsQueued)
{
    EditorHarness editor(1);
    IGraphics& g = *editor.graphics;
    WDL_String file, folder;
    int completions = 0;
    g.PromptForFile(file, folder, EFileAction::Open, "wav",
                    [&](const WDL_String&, const WDL_String&) { ++completions; });
    EXPECT_STREQ(file.Get(), "");
    g.QueueFileDialogAnswer("/music/mix.wav");
    g.PromptForFile(file, folder, EFileAction::Open, "wav");
    EXPECT_STREQ(file.Get(), "/music/mix.wav");
    EXPECT_STREQ(folder.Get(), "/music");
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(g.GetFileDialogs().size(), 2u);
}

TEST(IGraphicsPlatform, HostHooksAnswerBeforeTheQueue)
{
    EditorHarness editor(1);
    editor.delegate.SetMessageBoxHook([](const char*, const char*, EMsgBoxType) { return kYES; });
    editor.graphics->QueueMessageBoxAnswer(kNO);
    EXPECT_EQ(editor.graphics->ShowMessageBox("Replace?", "Preset", kMB_YESNO), kYES);
}

TEST(IGraphicsPlatform, LinksAndCursorsAreRecordedNeverRun)
{
    EditorHarness editor(1);
    IGraphics& g = *editor.graphics;
    const std::filesystem::path ran = aubrevane::test::testFolder() / "ran";
    const std::string link = "https://example.invalid/$(touch " + ran.string() + ")";
    EXPECT_TRUE(g.OpenURL(link.c_str()));
    EXPECT_FALSE(g.OpenURL(""));
    EXPECT_EQ(g.GetOpenedURLs(), std::vector<std::string>{link});
    EXPECT_FALSE(std::filesystem::exists(ran));
    EXPECT_EQ(g.SetMouseCursor(ECursor::HAND), ECursor::ARROW);
    EXPECT_EQ(g.GetMouseCursor(), ECursor::HAND);
}

TEST(IGraphicsPlatform, ResizeRescalesTheImageAndTheDelegateStoresTheWindow)
{
    EditorHarness editor(1);
    editor.graphics->Resize(720, 532, 1.5f, true);
    EXPECT_EQ(editor.graphics->PixelWidth(), 1080);
    EXPECT_EQ(editor.graphics->PixelHeight(), 798);
    EXPECT_EQ(editor.graphics->GetWindowResizes(), (std::vector<std::pair<int, int>>{{1080, 798}}));
    EXPECT_EQ(editor.delegate.GetEditorWidth(), 1080);
    EXPECT_EQ(editor.delegate.GetEditorHeight(), 798);
    editor.graphics->Resize(720, 532, std::nanf(""), true);
    EXPECT_FLOAT_EQ(editor.graphics->GetDrawScale(), 1.5f);
}
