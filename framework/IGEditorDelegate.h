#pragma once

#include "framework/IEditorDelegate.h"
#include "framework/igraphics/IGraphicsStructs.h"

#include <functional>
#include <string>

namespace iplug
{
namespace igraphics
{
class IGraphics;

/**
 * The editor delegate of a plug-in whose editor is an IGraphics: opening the editor calls the make-graphics
 * function, then the layout function, then shows every parameter's value; closing deletes the graphics. Values and
 * messages for the editor go to the open graphics object and are dropped while none is open.
 *
 * The host may answer the editor's message boxes and file dialogs itself (installed with SetMessageBoxHook and
 * SetFileDialogHook); the graphics object asks AskHostMessageBox / AskHostFileDialog before its own platform.
 * Main thread only.
 */
class IGEditorDelegate : public IEditorDelegate
{
public:
    using MakeGraphicsFunc = std::function<IGraphics*()>;
    using LayoutFunc = std::function<void(IGraphics*)>;
    using MessageBoxHook = std::function<EMsgBoxResult(const char* text, const char* title, EMsgBoxType type)>;
    /** Fills `path` and returns true, or returns false for a cancelled dialog. */
    using FileDialogHook = std::function<bool(EFileAction action, const char* extensions, std::string& path)>;

    explicit IGEditorDelegate(int nParams);
    /** Closes an editor that is still open. */
    ~IGEditorDelegate() override;

    void SetMakeGraphicsFunc(MakeGraphicsFunc func) { makeGraphicsFunc = std::move(func); }
    void SetLayoutFunc(LayoutFunc func) { layoutFunc = std::move(func); }
    /** Returns the graphics object, or null when there is no make-graphics function or it made nothing. */
    void* OpenWindow(void* parent) override;
    void CloseWindow() override;
    /** The open editor's graphics, or null. */
    IGraphics* GetUI() const { return graphics; }

    /** Sets the parameter as the base does; then every control bound to it, the sending one included, shows it. */
    void SendParameterValueFromUI(int paramIdx, double normalized) override;
    void SendControlMsgFromDelegate(int ctrlTag, int msgTag, int dataSize, const void* data) override;
    void SendParameterValueFromDelegate(int paramIdx, double value, bool normalized) override;

    void SetMessageBoxHook(MessageBoxHook hook) { messageBoxHook = std::move(hook); }
    void SetFileDialogHook(FileDialogHook hook) { fileDialogHook = std::move(hook); }
    /** The host's answer, or kNoResult when the host left message boxes to the platform. */
    EMsgBoxResult AskHostMessageBox(const char* text, const char* title, EMsgBoxType type);
    /** True when the host answered; `answered` then tells whether a path was chosen (false: cancelled). */
    bool AskHostFileDialog(EFileAction action, const char* extensions, std::string& path, bool& answered);
    /** True while a message box or file dialog of the host is up; no idle tick runs then. */
    bool IsInPlatformDialog() const { return dialogDepth > 0; }

private:
    /** Every control of the open editor bound to the parameter takes `normalized` and redraws; a value set from
     *  the editor and one set by the host both arrive here. */
    void showValueInEditor(int paramIdx, double normalized);
    void LayoutUI(IGraphics* target);

    MakeGraphicsFunc makeGraphicsFunc;
    LayoutFunc layoutFunc;
    MessageBoxHook messageBoxHook;
    FileDialogHook fileDialogHook;
    IGraphics* graphics = nullptr;
    int dialogDepth = 0;
};

} // namespace igraphics
} // namespace iplug
