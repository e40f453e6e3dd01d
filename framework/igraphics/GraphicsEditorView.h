#pragma once

#include "framework/igraphics/EditorView.h"

namespace iplug
{
namespace igraphics
{
class IGEditorDelegate;

/** The host's view of a delegate's IGraphics editor: each call goes to the graphics object open at that moment. */
class GraphicsEditorView final : public IEditorView
{
public:
    /** `delegate` must outlive the view. */
    explicit GraphicsEditorView(IGEditorDelegate& delegate) : delegate(delegate) {}

    bool isOpen() const override;
    void setScale(float scale) override;
    void drawFrame() override;
    void mouseOver(float x, float y) override;
    void mouseDown(float x, float y) override;
    void mouseDrag(float x, float y, float dx, float dy) override;
    void mouseUp(float x, float y) override;
    std::optional<std::vector<MenuItem>> pendingMenu() const override;
    bool selectMenuItem(const std::vector<int>& path) override;
    std::optional<std::string> pendingTextEntry() const override;
    void commitTextEntry(const std::string& text) override;
    std::vector<std::string> openedLinks() const override;
    bool picturePNG(std::string& bytes) override;
    std::unique_ptr<IEditorWindow> openWindow(const std::string& title, std::string& error) override;

private:
    IGEditorDelegate& delegate;
};

} // namespace igraphics
} // namespace iplug
