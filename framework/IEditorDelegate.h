#pragma once

#include "framework/IParam.h"
#include "framework/IPlugConstants.h"

#include <memory>
#include <vector>

namespace iplug
{

/**
 * What an editor talks to: the parameter list, the editor's stored size and limits, the three calls that carry
 * a user's parameter change to the plug-in, and the calls that carry values and messages back to the editor.
 * Everything here runs on the main thread, except that parameter values may be read anywhere.
 */
class IEditorDelegate
{
public:
    explicit IEditorDelegate(int nParams);
    virtual ~IEditorDelegate();
    IEditorDelegate(const IEditorDelegate&) = delete;
    IEditorDelegate& operator=(const IEditorDelegate&) = delete;

    int NParams() const { return static_cast<int>(params.size()); }
    /** Null when `paramIdx` is out of range. */
    IParam* GetParam(int paramIdx);
    const IParam* GetParam(int paramIdx) const;

    // The editor size the host window last accepted; it outlives the editor.
    int GetEditorWidth() const { return editorWidth; }
    int GetEditorHeight() const { return editorHeight; }
    void SetEditorSize(int width, int height);
    /** Corrects a proposed window size in place; true when it needed no correction. */
    virtual bool ConstrainEditorResize(int& width, int& height) const;
    /** The host resized the editor's window; the default stores the size. */
    virtual void OnParentWindowResize(int width, int height);

    // From the editor to the plug-in: a gesture opens, values arrive (normalised), the gesture closes.
    virtual void BeginInformHostOfParamChangeFromUI(int paramIdx);
    /** Sets the parameter from `normalized` and tells the plug-in; ignored for an index out of range. */
    virtual void SendParameterValueFromUI(int paramIdx, double normalized);
    virtual void EndInformHostOfParamChangeFromUI(int paramIdx);

    // From the plug-in to the editor; each does nothing while no editor is open.
    virtual void SendControlMsgFromDelegate(int ctrlTag, int msgTag, int dataSize, const void* data);
    /** Every control bound to the parameter shows `value` (plain unless `normalized`). */
    virtual void SendParameterValueFromDelegate(int paramIdx, double value, bool normalized);
    /** A parameter changed and the editor side may want to know; the default does nothing. */
    virtual void OnParamChangeUI(int paramIdx, EParamSource source = kUnknown);

    // The editor's life: the host opens and closes it any number of times.
    virtual void* OpenWindow(void* parent);
    virtual void CloseWindow();

private:
    std::vector<std::unique_ptr<IParam>> params;
    int editorWidth = 0;
    int editorHeight = 0;
};

} // namespace iplug
