#include "framework/IGEditorDelegate.h"

#include "framework/igraphics/IGraphics.h"

#include <algorithm>
#include <utility>

namespace iplug
{
namespace igraphics
{
namespace
{

/** Counts a host dialog as up for as long as the scope lives. */
struct DialogScope
{
    explicit DialogScope(int& depth) : depth(depth) { ++depth; }
    ~DialogScope() { --depth; }
    int& depth;
};

} // namespace

IGEditorDelegate::IGEditorDelegate(int nParams) : IEditorDelegate(nParams) {}

IGEditorDelegate::~IGEditorDelegate()
{
    CloseWindow();
}

void IGEditorDelegate::LayoutUI(IGraphics* target)
{
    if (layoutFunc && target != nullptr)
        layoutFunc(target);
}

void* IGEditorDelegate::OpenWindow(void* /*parent*/)
{
    if (graphics != nullptr)
        return graphics;
    if (!makeGraphicsFunc)
        return nullptr;
    IGraphics* made = makeGraphicsFunc();
    if (made == nullptr)
        return nullptr;
    graphics = made;
    try
    {
        LayoutUI(graphics);
        for (int i = 0; i < NParams(); ++i)
            SendParameterValueFromDelegate(i, GetParam(i)->GetNormalized(), true);
    }
    catch (...)
    {
        CloseWindow();
        throw;
    }
    return graphics;
}

void IGEditorDelegate::CloseWindow()
{
    IGraphics* closing = std::exchange(graphics, nullptr);
    delete closing;
}

void IGEditorDelegate::SendControlMsgFromDelegate(int ctrlTag, int msgTag, int dataSize, const void* data)
{
    if (graphics != nullptr)
        graphics->SendControlMsgFromDelegate(ctrlTag, msgTag, dataSize, data);
}

void IGEditorDelegate::SendParameterValueFromUI(int paramIdx, double normalized)
{
    IEditorDelegate::SendParameterValueFromUI(paramIdx, normalized);
    if (const IParam* param = GetParam(paramIdx))
        showValueInEditor(paramIdx, param->GetNormalized());
}

void IGEditorDelegate::SendParameterValueFromDelegate(int paramIdx, double value, bool normalized)
{
    if (const IParam* param = GetParam(paramIdx))
        showValueInEditor(paramIdx, normalized ? std::clamp(value, 0.0, 1.0) : param->ToNormalized(value));
    IEditorDelegate::SendParameterValueFromDelegate(paramIdx, value, normalized);
}

void IGEditorDelegate::showValueInEditor(int paramIdx, double normalized)
{
    if (graphics != nullptr)
        graphics->UpdateControlsForParam(paramIdx, normalized);
}

EMsgBoxResult IGEditorDelegate::AskHostMessageBox(const char* text, const char* title, EMsgBoxType type)
{
    if (!messageBoxHook)
        return kNoResult;
    const DialogScope scope{dialogDepth};
    return messageBoxHook(text ? text : "", title ? title : "", type);
}

bool IGEditorDelegate::AskHostFileDialog(EFileAction action, const char* extensions, std::string& path, bool& answered)
{
    answered = false;
    if (!fileDialogHook)
        return false;
    const DialogScope scope{dialogDepth};
    path.clear();
    answered = fileDialogHook(action, extensions ? extensions : "", path);
    if (!answered)
        path.clear();
    return true;
}

} // namespace igraphics
} // namespace iplug
