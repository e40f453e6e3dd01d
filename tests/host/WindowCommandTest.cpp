#include "ChildProcess.h"
#include "editor/CornerScaleControl.h"
#include "editor/PillToggleControl.h"
#include "framework/igraphics/IGraphics.h"
#include "framework/igraphics/IPopupMenu.h"
#include "framework/igraphics/X11Window.h"
#include "support/GraphicsTestDelegate.h"
#include "support/LoopbackHttpServer.h"
#include "support/RunProgram.h"
#include "support/StubXdgOpen.h"
#include "support/TestFolder.h"

#include <gtest/gtest.h> // before Xlib, whose None macro breaks it

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo.h>
#include <poll.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace
{

using namespace iplug::igraphics;
namespace fs = std::filesystem;
using aubrevane::test::ChildProcess;
using aubrevane::test::readText;

/** A private X server on a display number it picks itself (-displayfd), stopped when the test ends. */
class Xvfb
{
public:
    Xvfb()
    {
        const char* program = access("/usr/bin/Xvfb", X_OK) == 0 ? "/usr/bin/Xvfb" : nullptr;
        int fds[2];
        if (program == nullptr || pipe(fds) != 0)
            return;
        server =
            std::make_unique<ChildProcess>(std::vector<std::string>{program, "-displayfd", std::to_string(fds[1]),
                                                                    "-nolisten", "tcp", "-screen", "0", "1600x1200x24"},
                                           "/dev/null", [&] { close(fds[0]); });
        close(fds[1]);
        // the server writes its display number once it accepts clients
        std::string number;
        pollfd ready{fds[0], POLLIN, 0};
        char c = 0;
        while (poll(&ready, 1, 20000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (!number.empty())
            name = ":" + number;
    }

    bool running() const { return !name.empty(); }
    const std::string& display() const { return name; }

private:
    std::unique_ptr<ChildProcess> server;
    std::string name;
};

/** A client connection of the test's own: it sends synthetic events and reads the window's pixels. */
class TestClient
{
public:
    explicit TestClient(const std::string& name) : display(XOpenDisplay(name.c_str())) {}
    ~TestClient()
    {
        if (display != nullptr)
            XCloseDisplay(display);
    }
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    void button(Window window, int type, unsigned button, int x, int y, Time time = CurrentTime)
    {
        XEvent event{};
        event.xbutton.type = type;
        event.xbutton.window = window;
        event.xbutton.root = DefaultRootWindow(display);
        event.xbutton.x = x;
        event.xbutton.y = y;
        event.xbutton.button = button;
        event.xbutton.time = time;
        event.xbutton.same_screen = True;
        send(window, type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, event);
    }
    void click(Window window, int x, int y, Time time = CurrentTime)
    {
        button(window, ButtonPress, Button1, x, y, time);
        button(window, ButtonRelease, Button1, x, y, time);
    }
    void motion(Window window, int x, int y, unsigned state)
    {
        XEvent event{};
        event.xmotion.type = MotionNotify;
        event.xmotion.window = window;
        event.xmotion.root = DefaultRootWindow(display);
        event.xmotion.x = x;
        event.xmotion.y = y;
        event.xmotion.state = state;
        event.xmotion.same_screen = True;
        send(window, PointerMotionMask, event);
    }
    void key(Window window, KeySym symbol)
    {
        XEvent event{};
        event.xkey.type = KeyPress;
        event.xkey.window = window;
        event.xkey.root = DefaultRootWindow(display);
        event.xkey.keycode = XKeysymToKeycode(display, symbol);
        event.xkey.same_screen = True;
        send(window, KeyPressMask, event);
    }
    void closeWindow(Window window)
    {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
        send(window, NoEventMask, event);
    }

    /** The window's pixels as (R, G, B). */
    std::vector<IColor> screenshot(Window window, int& width, int& height)
    {
        XWindowAttributes attributes{};
        XGetWindowAttributes(display, window, &attributes);
        width = attributes.width;
        height = attributes.height;
        XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                                  AllPlanes, ZPixmap);
        std::vector<IColor> pixels;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
            {
                const unsigned long pixel = XGetPixel(image, x, y);
                pixels.push_back({255, static_cast<int>((pixel & image->red_mask) >> 16),
                                  static_cast<int>((pixel & image->green_mask) >> 8),
                                  static_cast<int>(pixel & image->blue_mask)});
            }
        XDestroyImage(image);
        return pixels;
    }

    /** A top-level window with this name, or 0. */
    Window findWindow(const char* name)
    {
        Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        Window found = 0;
        XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
        for (unsigned i = 0; i < count && found == 0; ++i)
        {
            char* title = nullptr;
            XWindowAttributes attributes{};
            if (XFetchName(display, children[i], &title) && title != nullptr && std::string(title) == name &&
                XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable)
                found = children[i];
            if (title != nullptr)
                XFree(title);
        }
        if (children != nullptr)
            XFree(children);
        return found;
    }

    Display* display;

private:
    void send(Window window, long mask, XEvent& event)
    {
        event.xany.display = display;
        XSendEvent(display, window, False, mask, &event);
        XSync(display, False);
    }
};

/** Opens a menu of three items on a press and remembers the chosen item's text. */
class MenuButton : public IControl
{
public:
    explicit MenuButton(const IRECT& bounds) : IControl(bounds)
    {
        menu.AddItem("First");
        menu.AddSeparator();
        menu.AddItem("Second");
        menu.AddItem("Third");
    }
    void OnMouseDown(float, float, const IMouseMod&) override { GetUI()->CreatePopupMenu(*this, menu, GetRECT()); }
    void OnPopupMenuSelection(IPopupMenu* chosen, int) override
    {
        choice = chosen != nullptr && chosen->GetChosenItem() != nullptr ? chosen->GetChosenItem()->GetText()
                                                                         : "(dismissed)";
    }
    void Draw(IGraphics& g) override { g.FillRect({255, 60, 90, 160}, GetRECT()); }

    IPopupMenu menu;
    std::string choice;
};

/** Opens a text entry on a press and remembers what was committed; counts double-clicks and wheel steps. */
class EntryBox : public IControl
{
public:
    explicit EntryBox(const IRECT& bounds) : IControl(bounds) {}
    void OnMouseDown(float, float, const IMouseMod&) override
    {
        GetUI()->CreateTextEntry(*this, IText(12.0f, COLOR_BLACK), GetRECT(), "7");
    }
    void OnMouseDblClick(float, float, const IMouseMod&) override { ++doubleClicks; }
    void OnMouseWheel(float, float, const IMouseMod&, float d) override { wheel += d; }
    void OnTextEntryCompletion(const char* str, int) override { committed = str; }
    void Draw(IGraphics& g) override { g.FillRect({255, 200, 120, 40}, GetRECT()); }

    std::string committed;
    int doubleClicks = 0;
    float wheel = 0.0f;
};

/** Opens its link on a press, as the update pill does. */
class LinkButton : public IControl
{
public:
    explicit LinkButton(const IRECT& bounds) : IControl(bounds) {}
    void OnMouseDown(float, float, const IMouseMod&) override { GetUI()->OpenURL(link.c_str()); }
    void Draw(IGraphics& g) override { g.FillRect({255, 90, 160, 60}, GetRECT()); }

    std::string link;
};

constexpr float kScale = 1.5f;

class X11WindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!server.running())
            GTEST_SKIP() << "Xvfb is not available";
        setenv("DISPLAY", server.display().c_str(), 1);
        harness.delegate.GetParam(0)->InitBool("Bypass", false);
        IGraphics& g = *harness.graphics;
        g.LoadFont("Roboto-Regular", "Roboto-Regular.ttf");
        g.AttachPanelBackground(IPattern(IColor{255, 10, 10, 10}));
        const IText pillText(11.5f, IColor{255, 250, 250, 250});
        pill = static_cast<PillToggleControl*>(g.AttachControl(new PillToggleControl(
            {20, 20, 120, 50}, 0, "ACTIVE", "BYPASSED", pillText, 1.0f, {255, 21, 232, 121}, true)));
        menuButton = static_cast<MenuButton*>(g.AttachControl(new MenuButton({140, 20, 220, 50})));
        entry = static_cast<EntryBox*>(g.AttachControl(new EntryBox({20, 100, 120, 130})));
        g.AttachControl(new CornerScaleControl({706, 518, 718, 530}, 720.0f, 0.75f, 2.0f, {36, 250, 250, 250},
                                               {90, 250, 250, 250}));
        std::string error;
        window = X11Window::open(g, "X11WindowTest", error);
        ASSERT_NE(window, nullptr) << error;
        client = std::make_unique<TestClient>(server.display());
        ASSERT_NE(client->display, nullptr);
        id = window->windowId();
    }

    /** Runs the window's loop until `done` holds; false when it never did. */
    bool pumpUntil(const std::function<bool()>& done)
    {
        for (int i = 0; i < 300 && !done(); ++i)
            window->step(10);
        return done();
    }
    void pump()
    {
        for (int i = 0; i < 5; ++i)
            window->step(5);
    }
    int px(float units) const { return static_cast<int>(std::lround(units * harness.graphics->GetDrawScale())); }

    Xvfb server;
    aubrevane::test::EditorHarness harness{1, kScale};
    PillToggleControl* pill = nullptr;
    MenuButton* menuButton = nullptr;
    EntryBox* entry = nullptr;
    std::unique_ptr<X11Window> window;
    std::unique_ptr<TestClient> client;
    Window id = 0;
};

TEST_F(X11WindowTest, ClickOnPillTogglesItsParameterAndTheWindowShowsTheHeadlessPicture)
{
    client->click(id, px(70), px(35));
    ASSERT_TRUE(pumpUntil([&] { return harness.delegate.plain(0) > 0.5; }));
    EXPECT_TRUE(harness.delegate.gesturesBalanced());
    pump();

    int width = 0, height = 0;
    const std::vector<IColor> shot = client->screenshot(id, width, height);
    ASSERT_EQ(width, harness.graphics->PixelWidth());
    ASSERT_EQ(height, harness.graphics->PixelHeight());
    int worst = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            const IColor headless = harness.graphics->GetPixel(x, y);
            const IColor& shown = shot[static_cast<std::size_t>(y * width + x)];
            for (const auto& [a, b] :
                 {std::pair{headless.R * headless.A / 255, shown.R}, std::pair{headless.G * headless.A / 255, shown.G},
                  std::pair{headless.B * headless.A / 255, shown.B}})
                worst = std::max(worst, std::abs(a - b));
        }
    EXPECT_LE(worst, 2);
}

TEST_F(X11WindowTest, OpenedLinksGoToXdgOpenOnThePathOrArePrintedWithoutIt)
{
    auto* button = static_cast<LinkButton*>(harness.graphics->AttachControl(new LinkButton({240, 20, 300, 50})));
    const std::string userPath = std::getenv("PATH");
    const fs::path empty = aubrevane::test::testFolder() / "empty";
    fs::create_directories(empty);
    Time pressTime = 0;
    const auto openFromWindow = [&](const std::string& link)
    {
        button->link = link;
        const std::size_t before = harness.graphics->GetOpenedURLs().size();
        pressTime += 10000; // far apart, so the second press is no double-click
        client->click(id, px(270), px(35), pressTime);
        return pumpUntil([&] { return harness.graphics->GetOpenedURLs().size() > before; });
    };

    setenv("PATH", empty.c_str(), 1);
    testing::internal::CaptureStdout();
    const bool printedOpened = openFromWindow("https://example.invalid/printed");
    const std::string printed = testing::internal::GetCapturedStdout();
    setenv("PATH", aubrevane::test::stubXdgOpenFolder().c_str(), 1);
    const bool handedOpened = openFromWindow("https://example.invalid/handed");
    setenv("PATH", userPath.c_str(), 1);

    ASSERT_TRUE(printedOpened && handedOpened);
    EXPECT_EQ(printed, "open: https://example.invalid/printed\n");
    EXPECT_EQ(aubrevane::test::xdgOpenArguments(), "1\nhttps://example.invalid/handed\n");
}

TEST_F(X11WindowTest, PopupMenuOverlayChoosesTheClickedItemAndEscapeDismisses)
{
    client->click(id, px(180), px(35));
    ASSERT_TRUE(pumpUntil([&] { return harness.graphics->HasPendingPopupMenu(); }));
    pump();
    int width = 0, height = 0;
    const std::vector<IColor> shot = client->screenshot(id, width, height);
    const IColor underMenu = shot[static_cast<std::size_t>(px(62) * width + px(160))];
    EXPECT_NE(underMenu, (IColor{255, 10, 10, 10})) << "the menu is drawn over the editor";

    // items are 20 units high below a 4-unit margin, the separator 9: "Second" spans 78 to 98 below the button
    client->click(id, px(170), px(50 + 4 + 20 + 9 + 10));
    ASSERT_TRUE(pumpUntil([&] { return !harness.graphics->HasPendingPopupMenu(); }));
    EXPECT_EQ(menuButton->choice, "Second");

    client->click(id, px(180), px(35));
    ASSERT_TRUE(pumpUntil([&] { return harness.graphics->HasPendingPopupMenu(); }));
    client->key(id, XK_Escape);
    ASSERT_TRUE(pumpUntil([&] { return !harness.graphics->HasPendingPopupMenu(); }));
    EXPECT_EQ(menuButton->choice, "(dismissed)");
}

TEST_F(X11WindowTest, TextEntryOverlayTakesTypedKeys)
{
    client->click(id, px(70), px(115));
    ASSERT_TRUE(pumpUntil([&] { return harness.graphics->HasPendingTextEntry(); }));
    for (const KeySym key : {XK_BackSpace, XK_4, XK_2, XK_period, XK_5, XK_Return})
        client->key(id, key);
    ASSERT_TRUE(pumpUntil([&] { return !harness.graphics->HasPendingTextEntry(); }));
    EXPECT_EQ(entry->committed, "42.5");
}

TEST_F(X11WindowTest, SecondQuickPressIsADoubleClickAndWheelStepsArrive)
{
    client->click(id, px(70), px(115), 1000);
    client->click(id, px(71), px(115), 1200);
    client->click(id, px(71), px(115), 5000); // long after: a plain press again
    client->button(id, ButtonPress, Button4, px(70), px(115));
    client->button(id, ButtonPress, Button4, px(70), px(115));
    client->button(id, ButtonPress, Button5, px(70), px(115));
    EXPECT_TRUE(pumpUntil([&] { return entry->wheel != 0.0f; }));
    pump();
    EXPECT_EQ(entry->doubleClicks, 1);
    EXPECT_EQ(entry->wheel, 1.0f);

    // two quick presses on a pill: the second arrives as a double-click and flips it back
    using aubrevane::test::GestureCall;
    client->click(id, px(70), px(35), 7000);
    client->click(id, px(70), px(35), 7200);
    EXPECT_TRUE(pumpUntil([&] { return harness.delegate.count(GestureCall::End, 0) == 2; }));
    EXPECT_EQ(harness.delegate.plain(0), 0.0);
    EXPECT_TRUE(harness.delegate.gesturesBalanced());
}

TEST_F(X11WindowTest, WindowFollowsTheCornerControlPixelForPixel)
{
    const int before = harness.graphics->PixelWidth();
    const int x = px(712), y = px(524);
    client->button(id, ButtonPress, Button1, x, y);
    client->motion(id, x + 60, y + 60, Button1Mask);
    ASSERT_TRUE(pumpUntil([&] { return harness.graphics->PixelWidth() > before; }));
    client->motion(id, x + 120, y + 120, Button1Mask); // measured from where the pointer was, not in rescaled units
    client->button(id, ButtonRelease, Button1, x + 120, y + 120);
    ASSERT_TRUE(pumpUntil([&] { return harness.graphics->PixelWidth() >= before + 120; }));
    pump();
    EXPECT_EQ(harness.graphics->PixelWidth(), before + 120);
    XWindowAttributes attributes{};
    XGetWindowAttributes(client->display, id, &attributes);
    EXPECT_EQ(attributes.width, harness.graphics->PixelWidth());
    EXPECT_EQ(attributes.height, harness.graphics->PixelHeight());
}

TEST_F(X11WindowTest, MessageBoxOverlayAnswersFromTheKeyboard)
{
    client->key(id, XK_Escape);
    EXPECT_EQ(window->runMessageBox("Overwrite the preset?", "Aubrevane", kMB_YESNO), kNO);
    client->key(id, XK_Return);
    EXPECT_EQ(window->runMessageBox("Overwrite the preset?", "Aubrevane", kMB_YESNOCANCEL), kYES);
    client->closeWindow(id);
    EXPECT_EQ(window->runMessageBox("Discard?", "Aubrevane", kMB_OKCANCEL), kCANCEL);
    EXPECT_TRUE(window->isClosed());
}

TEST_F(X11WindowTest, FilePromptReturnsTheTypedPath)
{
    for (const KeySym key : {XK_slash, XK_a, XK_period, XK_w, XK_a, XK_v, XK_Return})
        client->key(id, key);
    std::string path;
    ASSERT_TRUE(window->runFilePrompt(EFileAction::Open, "wav aif", path));
    EXPECT_EQ(path, "/a.wav");
    client->key(id, XK_Escape);
    EXPECT_FALSE(window->runFilePrompt(EFileAction::Save, "", path));
}

TEST_F(X11WindowTest, WindowManagerCloseEndsTheLoop)
{
    client->closeWindow(id);
    window->run(nullptr, 20); // returns once the close arrives
    EXPECT_TRUE(window->isClosed());
}

#ifdef AUBREVANE_HOST_EXE

std::vector<std::string> hostCommand(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), AUBREVANE_HOST_EXE);
    return arguments;
}

TEST(WindowCommand, WithoutADisplayFailsWithOneLine)
{
    const fs::path errors = aubrevane::test::testFolder() / "errors.txt";
    ChildProcess host(hostCommand({"editor", "--window"}), errors, [] { unsetenv("DISPLAY"); });
    EXPECT_NE(host.wait(), 0);
    const std::string text = readText(errors);
    EXPECT_NE(text.find("display"), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
}

/** The feed's answer: 200 with `body`. */
aubrevane::test::HttpReply feedReply(const std::string& body)
{
    aubrevane::test::HttpReply reply;
    reply.bytes = aubrevane::test::LoopbackHttpServer::response(200, body);
    return reply;
}

/** The host's editor window on a private X server, with its update check asking a loopback feed. */
class HostWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!server.running())
            GTEST_SKIP() << "Xvfb is not available";
        client = std::make_unique<TestClient>(server.display());
        ASSERT_NE(client->display, nullptr);
    }

    /** Starts `aubrevane-host editor --window` with `arguments` and waits for its window to show. */
    Window start(const std::vector<std::string>& arguments)
    {
        std::vector<std::string> command = hostCommand({"editor", "--window"});
        command.insert(command.end(), arguments.begin(), arguments.end());
        host = std::make_unique<ChildProcess>(command, folder / "errors.txt",
                                              [this]
                                              {
                                                  setenv("DISPLAY", server.display().c_str(), 1);
                                                  setenv("WENDLEBRAK_UPDATES_URL", feed->url().c_str(), 1);
                                              });
        Window window = 0;
        for (int i = 0; i < 400 && window == 0; ++i)
        {
            usleep(25000);
            window = client->findWindow("Aubrevane");
        }
        return window;
    }
    std::string errors() const { return readText(folder / "errors.txt"); }

    Xvfb server;
    std::unique_ptr<TestClient> client;
    std::unique_ptr<aubrevane::test::LoopbackHttpServer> feed =
        std::make_unique<aubrevane::test::LoopbackHttpServer>(feedReply("{}")); // nothing newer
    std::unique_ptr<ChildProcess> host;
    const fs::path folder = aubrevane::test::testFolder();
};

/** The PNG's pixels as opaque (R, G, B) over black, the way the window shows them. */
std::vector<IColor> readPng(const fs::path& path, int& width, int& height)
{
    cairo_surface_t* image = cairo_image_surface_create_from_png(path.c_str());
    std::vector<IColor> pixels;
    width = cairo_image_surface_get_width(image);
    height = cairo_image_surface_get_height(image);
    const unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    for (int y = 0; y < height && data != nullptr; ++y)
        for (int x = 0; x < width; ++x)
        {
            const auto pixel = reinterpret_cast<const std::uint32_t*>(data + y * stride)[x]; // premultiplied
            pixels.push_back({255, static_cast<int>(pixel >> 16 & 0xff), static_cast<int>(pixel >> 8 & 0xff),
                              static_cast<int>(pixel & 0xff)});
        }
    cairo_surface_destroy(image);
    return pixels;
}

/** The share of pixels whose channels differ by more than `tolerance`. */
double differingShare(const std::vector<IColor>& a, const std::vector<IColor>& b, int tolerance)
{
    std::size_t differing = 0;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (std::abs(a[i].R - b[i].R) > tolerance || std::abs(a[i].G - b[i].G) > tolerance ||
            std::abs(a[i].B - b[i].B) > tolerance)
            ++differing;
    return static_cast<double>(differing) / static_cast<double>(std::max<std::size_t>(1, a.size()));
}

TEST_F(HostWindowTest, ClickOnBypassPillShowsTheHeadlessPictureAndClosingExitsWithZero)
{
    const Window window = start({});
    ASSERT_NE(window, 0u) << errors();

    // waits until the picture holds still (the status line arrives with the first idle ticks)
    int width = 0, height = 0;
    const auto settled = [&]
    {
        std::vector<IColor> last = client->screenshot(window, width, height), next;
        for (int i = 0; i < 200; ++i, last = next)
        {
            usleep(50000);
            next = client->screenshot(window, width, height);
            if (next == last && differingShare(next, std::vector<IColor>(next.size()), 0) > 0.5)
                break;
        }
        return last;
    };
    const std::vector<IColor> before = settled();
    client->click(window, 644, 64); // the bypass pill, in editor units at the stored scale of 1
    for (int i = 0; i < 200 && client->screenshot(window, width, height) == before; ++i)
        usleep(25000);
    const std::vector<IColor> after = settled();
    client->closeWindow(window);
    EXPECT_EQ(host->wait(), 0) << errors();

    const fs::path png = folder / "headless.png", headlessErrors = folder / "headless-errors.txt";
    ChildProcess headlessRun(hostCommand({"editor", "--png", png, "--click", "644,64"}), headlessErrors);
    ASSERT_EQ(headlessRun.wait(), 0) << readText(headlessErrors);
    int pngWidth = 0, pngHeight = 0;
    const std::vector<IColor> headless = readPng(png, pngWidth, pngHeight);
    ASSERT_EQ(pngWidth, width);
    ASSERT_EQ(pngHeight, height);
    EXPECT_LT(differingShare(after, headless, 8), 0.001) << "the window shows what the headless editor draws";
    EXPECT_GT(differingShare(before, headless, 8), 0.002) << "and the click changed the picture";
}

/** The share of differing pixels inside the editor-unit rectangle `area` of a picture at scale 1. */
double differingShareIn(const std::vector<IColor>& a, const std::vector<IColor>& b, int width, const IRECT& area)
{
    std::vector<IColor> cutA, cutB;
    for (int y = static_cast<int>(area.T); y < static_cast<int>(area.B); ++y)
        for (int x = static_cast<int>(area.L); x < static_cast<int>(area.R); ++x)
        {
            cutA.push_back(a[static_cast<std::size_t>(y * width + x)]);
            cutB.push_back(b[static_cast<std::size_t>(y * width + x)]);
        }
    return differingShare(cutA, cutB, 8);
}

TEST_F(HostWindowTest, PlayingMovesTheInputMeterUntilTheWindowCloses)
{
    const fs::path noise = folder / "noise.wav";
    {
        SF_INFO info{};
        info.channels = 2;
        info.samplerate = 48000;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* file = sf_open(noise.c_str(), SFM_WRITE, &info);
        ASSERT_NE(file, nullptr);
        std::vector<double> samples(2 * 24000);
        std::uint32_t seed = 12345;
        for (double& sample : samples)
        {
            seed = seed * 1664525u + 1013904223u;
            sample = 0.5 * (static_cast<double>(seed >> 8) / 8388608.0 - 1.0);
        }
        sf_writef_double(file, samples.data(), 24000);
        sf_close(file);
    }

    const Window window = start({"--play", noise.string()});
    ASSERT_NE(window, 0u) << errors();
    int width = 0, height = 0;
    const std::vector<IColor> first = client->screenshot(window, width, height);
    const IRECT inputMeter(18, 328, 92, 436);
    bool moved = false;
    for (int i = 0; i < 200 && !moved; ++i)
    {
        usleep(25000);
        moved = differingShareIn(first, client->screenshot(window, width, height), width, inputMeter) > 0.05;
    }
    EXPECT_TRUE(moved) << "the input meter shows the playing file";
    client->closeWindow(window);
    EXPECT_EQ(host->wait(), 0) << errors();
}

TEST_F(HostWindowTest, OpeningRunsThePlugInsUpdateCheckOnceAndThePillShowsTheNewerVersion)
{
    feed = std::make_unique<aubrevane::test::LoopbackHttpServer>(
        feedReply(R"({"aubrevane":{"version":"1.0.0","page":"/aubrevane/download"}})"));
    const Window window = start({});
    ASSERT_NE(window, 0u) << errors();

    // the pill's rest colour inside its bounds in the header, at the stored scale of 1
    const auto pillPixels = [&]
    {
        int width = 0, height = 0;
        const std::vector<IColor> shot = client->screenshot(window, width, height);
        int count = 0;
        for (int y = 49; y < 79 && y < height; ++y)
            for (int x = 300; x < 460 && x < width; ++x)
                count += shot[static_cast<std::size_t>(y * width + x)] == IColor{255, 252, 120, 92} ? 1 : 0;
        return count;
    };
    bool shown = false;
    for (int i = 0; i < 400 && !shown; ++i)
    {
        usleep(25000);
        shown = pillPixels() > 500;
    }
    EXPECT_TRUE(shown) << "the update pill shows while the window is open";
    client->closeWindow(window);
    EXPECT_EQ(host->wait(), 0) << errors();
    EXPECT_EQ(feed->requests(), 1);

    // the headless picture never asks, even where a check would be due
    const fs::path png = folder / "headless.png", fresh = folder / "fresh",
                   headlessErrors = folder / "headless-errors.txt";
    const std::string url = feed->url();
    ChildProcess headlessRun(hostCommand({"editor", "--png", png}), headlessErrors,
                             [&]
                             {
                                 setenv("WENDLEBRAK_DATA_DIR", fresh.c_str(), 1);
                                 setenv("WENDLEBRAK_UPDATES_URL", url.c_str(), 1);
                             });
    ASSERT_EQ(headlessRun.wait(), 0) << readText(headlessErrors);
    feed->stop();
    EXPECT_EQ(feed->requests(), 1);
}

TEST_F(HostWindowTest, ClosingWhileTheFeedHangsEndsTheTransferAndExitsCleanly)
{
    aubrevane::test::HttpReply silent;
    silent.mode = aubrevane::test::HttpReply::Mode::Silent;
    feed = std::make_unique<aubrevane::test::LoopbackHttpServer>(silent);
    const Window window = start({});
    ASSERT_NE(window, 0u) << errors();
    for (int i = 0; i < 400 && feed->requests() == 0; ++i)
        usleep(25000);
    ASSERT_EQ(feed->requests(), 1);
    client->closeWindow(window); // the request is still waiting for an answer
    EXPECT_EQ(host->wait(), 0) << errors();
    EXPECT_EQ(errors(), "");
}

#endif

} // namespace
