#include "ProbePlug.h"

#include "framework/igraphics/IControl.h"
#include "framework/igraphics/IGraphics.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

using namespace iplug;
using namespace iplug::igraphics;
using aubrevane::test::OpenedProbe;
using aubrevane::test::ProbePlug;

/** A control bound to one parameter that notes when it is destroyed. */
class BoundControl : public IControl
{
public:
    BoundControl(int paramIdx, std::vector<std::string>& events)
        : IControl(IRECT(0, 0, 10, 10), paramIdx), events(events)
    {
    }
    ~BoundControl() override { events.push_back("control destroyed"); }
    void Draw(IGraphics&) override {}

private:
    std::vector<std::string>& events;
};

/** Gives the probe an editor: one control per parameter, tag = parameter index. */
void giveEditor(ProbePlug& plug, std::vector<std::string>& events)
{
    plug.SetMakeGraphicsFunc(
        [&plug, &events]
        {
            events.push_back("make graphics");
            return MakeGraphics(plug, 720, 532, 60, 1.0f);
        });
    plug.SetLayoutFunc(
        [&plug, &events](IGraphics* graphics)
        {
            events.push_back("layout");
            for (int i = 0; i < plug.NParams(); ++i)
                graphics->AttachControl(new BoundControl(i, events), i);
        });
}

/** One gesture of a control: begin, a normalised value, end. */
void moveFromControl(IEditorDelegate& delegate, int paramIdx, double normalized)
{
    delegate.BeginInformHostOfParamChangeFromUI(paramIdx);
    delegate.SendParameterValueFromUI(paramIdx, normalized);
    delegate.EndInformHostOfParamChangeFromUI(paramIdx);
}

TEST(IGEditorDelegate, OpeningMakesGraphicsThenLayoutThenShowsEveryValue)
{
    std::vector<std::string> events; // outlives the editor's controls
    OpenedProbe probe;
    giveEditor(probe.plug(), events);
    probe.plug().GetParam(1)->Set(20000.0);
    ASSERT_EQ(probe.proc<AUOpenEditorProc>(kAUOpenEditorSelect)(probe.record, nullptr), kAUNoErr);
    ASSERT_NE(probe.plug().GetUI(), nullptr);
    EXPECT_EQ(events, (std::vector<std::string>{"make graphics", "layout"}));
    EXPECT_EQ(probe.plug().GetUI()->GetControlWithTag(1)->GetValue(), 1.0);
    EXPECT_EQ(probe.plug().GetUI()->GetControlWithTag(0)->GetValue(), 0.5);

    ASSERT_EQ(probe.proc<AUCloseEditorProc>(kAUCloseEditorSelect)(probe.record), kAUNoErr);
    EXPECT_EQ(probe.plug().GetUI(), nullptr);
    EXPECT_EQ(std::count(events.begin(), events.end(), "control destroyed"), 3);
}

TEST(IGEditorDelegate, HostStateRestoreWithTheEditorOpenUpdatesEveryControl)
{
    std::vector<std::string> events; // outlives the editor's controls
    OpenedProbe probe;
    giveEditor(probe.plug(), events);
    ASSERT_EQ(probe.proc<AUOpenEditorProc>(kAUOpenEditorSelect)(probe.record, nullptr), kAUNoErr);

    IByteChunk state;
    for (const double value : {-12.0, 440.0, 1.0})
        state.Put(&value);
    ASSERT_EQ(probe.proc<AUSetStateProc>(kAUSetStateSelect)(probe.record, state.GetData(), state.Size()), kAUNoErr);
    for (int i = 0; i < probe.plug().NParams(); ++i)
        EXPECT_EQ(probe.plug().GetUI()->GetControlWithTag(i)->GetValue(), probe.plug().GetParam(i)->GetNormalized())
            << i;
    EXPECT_EQ(probe.plug().GetUI()->GetControlWithTag(2)->GetValue(), 1.0);
}

TEST(IGEditorDelegate, HostParameterChangesReachTheOpenEditor)
{
    std::vector<std::string> events; // outlives the editor's controls
    OpenedProbe probe;
    giveEditor(probe.plug(), events);
    ASSERT_EQ(probe.proc<AUOpenEditorProc>(kAUOpenEditorSelect)(probe.record, nullptr), kAUNoErr);
    ASSERT_EQ(probe.proc<AUSetParameterProc>(kAUSetParameterSelect)(probe.record, 0, 24.0), kAUNoErr);
    EXPECT_EQ(probe.plug().GetUI()->GetControlWithTag(0)->GetValue(), 1.0);
}

TEST(IGEditorDelegate, ClosingTheInstanceClosesTheEditorFirst)
{
    std::vector<std::string> events;
    {
        OpenedProbe probe;
        giveEditor(probe.plug(), events);
        ASSERT_EQ(probe.proc<AUOpenEditorProc>(kAUOpenEditorSelect)(probe.record, nullptr), kAUNoErr);
        probe.plug().idleHook = [&events] { events.push_back("idle"); };
        const int destroyedBefore = ProbePlug::destroyed;
        probe.plug().SetLayoutFunc(nullptr);
        events.clear();
        probe.record->Close(probe.record);
        probe.record = nullptr;
        EXPECT_EQ(ProbePlug::destroyed, destroyedBefore + 1);
    }
    // every control went before the plug-in's own destructor ran, and no idle tick ran while closing
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(std::count(events.begin(), events.end(), "control destroyed"), 3);
}

TEST(IGEditorDelegate, ControlChangesGoToThePlugInAndTheHost)
{
    std::vector<std::string> events; // outlives the editor's controls
    OpenedProbe probe;
    giveEditor(probe.plug(), events);
    struct Heard
    {
        std::vector<std::string> calls;
    } heard;
    AUHostCallbacks callbacks;
    callbacks.context = &heard;
    callbacks.beginGesture = [](void* c, int i)
    { static_cast<Heard*>(c)->calls.push_back("begin " + std::to_string(i)); };
    callbacks.parameterChanged = [](void* c, int i, double v)
    { static_cast<Heard*>(c)->calls.push_back("value " + std::to_string(i) + " " + std::to_string(v)); };
    callbacks.endGesture = [](void* c, int i) { static_cast<Heard*>(c)->calls.push_back("end " + std::to_string(i)); };
    probe.proc<AUSetHostCallbacksProc>(kAUSetHostCallbacksSelect)(probe.record, &callbacks);
    ASSERT_EQ(probe.proc<AUOpenEditorProc>(kAUOpenEditorSelect)(probe.record, nullptr), kAUNoErr);

    moveFromControl(probe.plug(), 0, 0.75);
    EXPECT_EQ(probe.plug().GetParam(0)->Value(), 12.0);
    EXPECT_EQ(heard.calls, (std::vector<std::string>{"begin 0", "value 0 12.000000", "end 0"}));
    EXPECT_EQ(probe.plug().changes.back(), std::make_pair(0, kUI));
}

TEST(IGEditorDelegate, IdleCalledFromTheHostsParameterCallbacksWaitsForTheEventToEnd)
{
    std::vector<std::string> events;
    OpenedProbe probe;
    giveEditor(probe.plug(), events);
    struct Host
    {
        OpenedProbe* probe;
        std::vector<iplug::OSStatus> idleAnswers;
        void idle() { idleAnswers.push_back(probe->proc<AUIdleProc>(kAUIdleSelect)(probe->record)); }
    } host{&probe, {}};
    AUHostCallbacks callbacks;
    callbacks.context = &host;
    callbacks.beginGesture = [](void* c, int) { static_cast<Host*>(c)->idle(); };
    callbacks.parameterChanged = [](void* c, int, double) { static_cast<Host*>(c)->idle(); };
    callbacks.endGesture = [](void* c, int) { static_cast<Host*>(c)->idle(); };
    probe.proc<AUSetHostCallbacksProc>(kAUSetHostCallbacksSelect)(probe.record, &callbacks);
    ASSERT_EQ(probe.proc<AUOpenEditorProc>(kAUOpenEditorSelect)(probe.record, nullptr), kAUNoErr);

    // a control's gesture, then a host state restore: both call back into the host
    moveFromControl(probe.plug(), 0, 0.75);
    IByteChunk chunk;
    ASSERT_TRUE(probe.plug().SerializeState(chunk));
    ASSERT_EQ(probe.proc<AUSetStateProc>(kAUSetStateSelect)(probe.record, chunk.GetData(), chunk.Size()), kAUNoErr);

    ASSERT_EQ(host.idleAnswers.size(), 3u + static_cast<std::size_t>(probe.plug().NParams()));
    for (const iplug::OSStatus answer : host.idleAnswers)
        EXPECT_EQ(answer, kAUErrBusy);
    EXPECT_EQ(probe.plug().idles, 0);
    EXPECT_EQ(probe.proc<AUIdleProc>(kAUIdleSelect)(probe.record), kAUNoErr); // outside the event it runs
    EXPECT_EQ(probe.plug().idles, 1);
}

TEST(IGEditorDelegate, HostAnswersMessageBoxesAndIdleWaitsOutsideThem)
{
    OpenedProbe probe;
    struct Host
    {
        OpenedProbe* probe;
        iplug::OSStatus idleInsideBox = kAUNoErr;
        std::string text;
    } host{&probe, kAUNoErr, {}};
    AUHostCallbacks callbacks;
    callbacks.context = &host;
    callbacks.messageBox = [](void* c, const char* text, const char*, int type)
    {
        auto* h = static_cast<Host*>(c);
        h->text = text;
        h->idleInsideBox = h->probe->proc<AUIdleProc>(kAUIdleSelect)(h->probe->record);
        return type == kMB_YESNO ? static_cast<int>(kYES) : static_cast<int>(kOK);
    };
    probe.proc<AUSetHostCallbacksProc>(kAUSetHostCallbacksSelect)(probe.record, &callbacks);
    EXPECT_EQ(probe.plug().AskHostMessageBox("Replace it?", "Save preset", kMB_YESNO), kYES);
    EXPECT_EQ(host.text, "Replace it?");
    EXPECT_EQ(host.idleInsideBox, kAUErrBusy);
    EXPECT_EQ(probe.plug().idles, 0);
    EXPECT_FALSE(probe.plug().IsInPlatformDialog());
}

} // namespace
