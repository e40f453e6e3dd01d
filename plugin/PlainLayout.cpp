#include "plugin/Aubrevane.h"

#include "framework/igraphics/IGraphics.h"
#include "framework/igraphics/ITextControl.h"

// The editor until the full layout is built: the title and the status line, the two controls the idle tick
// reaches by tag.
void Aubrevane::layout(iplug::igraphics::IGraphics* graphics)
{
    using iplug::igraphics::ITextControl;
    graphics->AttachControl(
        new ITextControl({28.0f, 48.0f, 428.0f, 82.0f}, titleText.GetLength() > 0 ? titleText.Get() : "AUBREVANE"),
        kTitleTag);
    graphics->AttachControl(new ITextControl({14.0f, 516.0f, 706.0f, 530.0f}, ""), kStatusTag);
    statusText.clear();
}
