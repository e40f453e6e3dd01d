#include "framework/igraphics/GraphicsEditorView.h"

#include "framework/IGEditorDelegate.h"
#include "framework/igraphics/IGraphics.h"
#include "framework/igraphics/IPopupMenu.h"
#include "framework/igraphics/X11Window.h"

namespace iplug
{
namespace igraphics
{
namespace
{

std::vector<IEditorView::MenuItem> itemsOf(const IPopupMenu& menu)
{
    std::vector<IEditorView::MenuItem> items;
    for (int i = 0; i < menu.NItems(); ++i)
    {
        const IPopupMenu::Item* item = menu.GetItem(i);
        IEditorView::MenuItem copy;
        copy.text = item->GetText();
        copy.separator = item->GetIsSeparator();
        copy.checked = item->GetChecked();
        copy.enabled = item->GetEnabled();
        copy.hasSubmenu = item->GetSubmenu() != nullptr;
        if (copy.hasSubmenu)
            copy.submenu = itemsOf(*item->GetSubmenu());
        items.push_back(std::move(copy));
    }
    return items;
}

/** The X11 window, answering the editor's message boxes and file dialogs while it is up. */
class DelegateWindow final : public IEditorWindow
{
public:
    DelegateWindow(IGEditorDelegate& delegate, std::unique_ptr<X11Window> window)
        : delegate(delegate), window(std::move(window))
    {
        X11Window* shown = this->window.get();
        delegate.SetMessageBoxHook([shown](const char* text, const char* title, EMsgBoxType type)
                                   { return shown->runMessageBox(text, title, type); });
        delegate.SetFileDialogHook([shown](EFileAction action, const char* extensions, std::string& path)
                                   { return shown->runFilePrompt(action, extensions, path); });
    }

    ~DelegateWindow() override
    {
        delegate.SetMessageBoxHook(nullptr);
        delegate.SetFileDialogHook(nullptr);
    }

    void run(void (*idle)(void* context), void* context, int idleIntervalMs) override
    {
        window->run([idle, context] { idle(context); }, idleIntervalMs);
    }

private:
    IGEditorDelegate& delegate;
    std::unique_ptr<X11Window> window;
};

} // namespace

bool GraphicsEditorView::isOpen() const
{
    return delegate.GetUI() != nullptr;
}

void GraphicsEditorView::setScale(float scale)
{
    if (IGraphics* g = delegate.GetUI())
        g->Resize(g->Width(), g->Height(), scale, true);
}

void GraphicsEditorView::drawFrame()
{
    if (IGraphics* g = delegate.GetUI())
        g->DrawFrame();
}

void GraphicsEditorView::mouseOver(float x, float y)
{
    if (IGraphics* g = delegate.GetUI())
        g->OnMouseOver(x, y, IMouseMod());
}

void GraphicsEditorView::mouseDown(float x, float y)
{
    if (IGraphics* g = delegate.GetUI())
        g->OnMouseDown(x, y, IMouseMod(true));
}

void GraphicsEditorView::mouseDrag(float x, float y, float dx, float dy)
{
    if (IGraphics* g = delegate.GetUI())
        g->OnMouseDrag(x, y, dx, dy, IMouseMod(true));
}

void GraphicsEditorView::mouseUp(float x, float y)
{
    if (IGraphics* g = delegate.GetUI())
        g->OnMouseUp(x, y, IMouseMod(true));
}

std::optional<std::vector<IEditorView::MenuItem>> GraphicsEditorView::pendingMenu() const
{
    const IGraphics* g = delegate.GetUI();
    if (g == nullptr || !g->HasPendingPopupMenu())
        return std::nullopt;
    return itemsOf(*g->GetPendingPopupMenu());
}

bool GraphicsEditorView::selectMenuItem(const std::vector<int>& path)
{
    IGraphics* g = delegate.GetUI();
    return g != nullptr && g->SelectPopupItem(path);
}

std::optional<std::string> GraphicsEditorView::pendingTextEntry() const
{
    const IGraphics* g = delegate.GetUI();
    if (g == nullptr || !g->HasPendingTextEntry())
        return std::nullopt;
    return g->GetPendingTextEntryText();
}

void GraphicsEditorView::commitTextEntry(const std::string& text)
{
    if (IGraphics* g = delegate.GetUI())
        g->CommitTextEntry(text.c_str());
}

std::vector<std::string> GraphicsEditorView::openedLinks() const
{
    const IGraphics* g = delegate.GetUI();
    return g != nullptr ? g->GetOpenedURLs() : std::vector<std::string>();
}

bool GraphicsEditorView::picturePNG(std::string& bytes)
{
    IGraphics* g = delegate.GetUI();
    if (g == nullptr)
        return false;
    g->DrawFrame(true);
    g->DrawPendingTextEntry();
    return g->EncodePNG(bytes);
}

std::unique_ptr<IEditorWindow> GraphicsEditorView::openWindow(const std::string& title, std::string& error)
{
    IGraphics* g = delegate.GetUI();
    if (g == nullptr)
    {
        error = "the editor is not open";
        return nullptr;
    }
    auto window = X11Window::open(*g, title, error);
    if (!window)
        return nullptr;
    return std::make_unique<DelegateWindow>(delegate, std::move(window));
}

} // namespace igraphics
} // namespace iplug
