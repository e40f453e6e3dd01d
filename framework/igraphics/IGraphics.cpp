#include "framework/igraphics/IGraphics.h"

#include "framework/IEditorDelegate.h"
#include "framework/IGEditorDelegate.h"
#include "framework/IParam.h"
#include "framework/WDL_String.h"
#include "framework/igraphics/IPanelControl.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace iplug
{
namespace igraphics
{
namespace
{
bool finitePoint(float x, float y)
{
    return std::isfinite(x) && std::isfinite(y);
}
} // namespace

IControl* IGraphics::AttachControl(IControl* control, int tag, const char* group)
{
    if (control == nullptr)
        return nullptr;
    controls.emplace_back(control);
    control->ui = this;
    control->tag = tag;
    control->group = group ? group : "";
    for (int i = 0; i < control->NVals(); ++i)
        if (const IParam* param = control->GetParam(i))
            control->SetValue(param->GetNormalized(), i);
    DispatchScope scope(*this);
    control->OnAttached();
    control->SetDirty(false);
    return control;
}

void IGraphics::AttachPanelBackground(const IPattern& pattern)
{
    auto panel = std::make_unique<IPanelControl>(GetBounds(), pattern);
    panel->ui = this;
    panel->SetIgnoreMouse(true);
    controls.insert(controls.begin(), std::move(panel));
}

IControl* IGraphics::GetControl(int index) const
{
    return index >= 0 && index < NControls() ? controls[static_cast<size_t>(index)].get() : nullptr;
}

IControl* IGraphics::GetControlWithTag(int tag) const
{
    if (tag == kNoTag)
        return nullptr;
    for (const auto& control : controls)
        if (control->GetTag() == tag)
            return control.get();
    return nullptr;
}

void IGraphics::RemoveAllControls()
{
    releaseCapture();
    pendingMenu = {};
    pendingEntry = {};
    mouseOver = nullptr;
    for (auto& control : controls)
    {
        control->ui = nullptr; // a removed control no longer reaches the host, even from its running handler
        retired.push_back(std::move(control));
    }
    controls.clear();
    if (dispatchDepth == 0)
        retired.clear();
    fullRedraw = true;
}

void IGraphics::SetAllControlsDirty()
{
    for (const auto& control : controls)
        control->SetDirty(false);
}

void IGraphics::UpdateControlsForParam(int paramIdx, double normalized)
{
    if (paramIdx == kNoParameter)
        return;
    DispatchScope scope(*this);
    for (const auto& control : controls)
        for (int i = 0; i < control->NVals(); ++i)
            if (control->GetParamIdx(i) == paramIdx)
                control->SetValueFromDelegate(normalized, i);
}

void IGraphics::SendControlMsgFromDelegate(int ctrlTag, int msgTag, int dataSize, const void* data)
{
    DispatchScope scope(*this);
    if (IControl* control = GetControlWithTag(ctrlTag))
        control->OnMsgFromDelegate(msgTag, dataSize, data);
}

void IGraphics::sendParameterValue(IControl& control, int paramIdx, double normalized)
{
    const bool gestureOpen =
        std::find(capturedGestures.begin(), capturedGestures.end(), paramIdx) != capturedGestures.end();
    if (gestureOpen)
    {
        delegate.SendParameterValueFromUI(paramIdx, normalized);
        return;
    }
    delegate.BeginInformHostOfParamChangeFromUI(paramIdx);
    delegate.SendParameterValueFromUI(paramIdx, normalized);
    if (&control == captured)
        capturedGestures.push_back(paramIdx); // a control of several parameters opens each at its first change
    else
        delegate.EndInformHostOfParamChangeFromUI(paramIdx);
}

IControl* IGraphics::controlAt(float x, float y) const
{
    for (auto it = controls.rbegin(); it != controls.rend(); ++it)
    {
        IControl& control = **it;
        if (!control.IsHidden() && !control.GetIgnoreMouse() && control.IsHit(x, y))
            return &control;
    }
    return nullptr;
}

bool IGraphics::isAttached(const IControl* control) const
{
    return std::any_of(controls.begin(), controls.end(), [control](const auto& c) { return c.get() == control; });
}

void IGraphics::capture(IControl& control)
{
    captured = &control;
    capturedGestures.clear();
    // A control of one parameter has its gesture open from press to release even when it sends nothing.
    if (control.NVals() == 1 && control.GetParamIdx(0) != kNoParameter)
    {
        delegate.BeginInformHostOfParamChangeFromUI(control.GetParamIdx(0));
        capturedGestures.push_back(control.GetParamIdx(0));
    }
}

void IGraphics::releaseCapture()
{
    captured = nullptr;
    for (int paramIdx : capturedGestures)
        delegate.EndInformHostOfParamChangeFromUI(paramIdx);
    capturedGestures.clear();
}

void IGraphics::closeTransientUI()
{
    if (pendingEntry.control != nullptr)
        CancelTextEntry();
    if (pendingMenu.control != nullptr)
        DismissPopupMenu();
}

IControl* IGraphics::press(float x, float y)
{
    closeTransientUI();
    releaseCapture();
    IControl* control = controlAt(x, y);
    if (control != nullptr)
        capture(*control);
    return control;
}

void IGraphics::OnMouseDown(float x, float y, const IMouseMod& mod)
{
    if (!finitePoint(x, y))
        return;
    DispatchScope scope(*this);
    if (IControl* control = press(x, y))
        control->OnMouseDown(x, y, mod);
}

void IGraphics::OnMouseUp(float x, float y, const IMouseMod& mod)
{
    if (!finitePoint(x, y) || captured == nullptr)
        return;
    DispatchScope scope(*this);
    IControl* control = captured;
    control->OnMouseUp(x, y, mod);
    if (captured == control)
        releaseCapture();
}

void IGraphics::OnMouseDrag(float x, float y, float dX, float dY, const IMouseMod& mod)
{
    if (!finitePoint(x, y) || !finitePoint(dX, dY) || captured == nullptr)
        return;
    DispatchScope scope(*this);
    captured->OnMouseDrag(x, y, dX, dY, mod);
}

void IGraphics::OnMouseDblClick(float x, float y, const IMouseMod& mod)
{
    if (!finitePoint(x, y))
        return;
    DispatchScope scope(*this);
    IControl* control = press(x, y);
    if (control == nullptr)
        return;
    // The double-click is one complete change: its gesture closes before this returns.
    control->OnMouseDblClick(x, y, mod);
    if (captured == control)
        releaseCapture();
}

void IGraphics::OnMouseWheel(float x, float y, const IMouseMod& mod, float delta)
{
    if (!finitePoint(x, y) || !std::isfinite(delta))
        return;
    DispatchScope scope(*this);
    if (IControl* control = controlAt(x, y))
        control->OnMouseWheel(x, y, mod, delta);
}

void IGraphics::OnMouseOver(float x, float y, const IMouseMod& mod)
{
    if (!mouseOverEnabled || !finitePoint(x, y))
        return;
    DispatchScope scope(*this);
    IControl* control = controlAt(x, y);
    if (control != mouseOver && mouseOver != nullptr)
    {
        IControl* left = mouseOver;
        mouseOver = nullptr;
        left->OnMouseOut();
    }
    // The control that was left may have rebuilt the editor, taking the one under the pointer with it.
    if (control == nullptr || !isAttached(control))
        return;
    mouseOver = control;
    control->OnMouseOver(x, y, mod);
}

void IGraphics::OnMouseOut()
{
    if (mouseOver == nullptr)
        return;
    DispatchScope scope(*this);
    IControl* left = mouseOver;
    mouseOver = nullptr;
    left->OnMouseOut();
}

EMsgBoxResult IGraphics::ShowMessageBox(const char* text, const char* title, EMsgBoxType type,
                                        IMsgBoxCompletionHandlerFunc completion)
{
    EMsgBoxResult result = type == kMB_OK ? kOK : type == kMB_OKCANCEL ? kCANCEL : kNO;
    auto* host = dynamic_cast<IGEditorDelegate*>(&delegate);
    if (const EMsgBoxResult hostAnswer = host ? host->AskHostMessageBox(text, title, type) : kNoResult;
        hostAnswer != kNoResult)
        result = hostAnswer;
    else if (!messageBoxAnswers.empty())
    {
        result = messageBoxAnswers.front();
        messageBoxAnswers.pop_front();
    }
    messageBoxes.push_back({makeValidUtf8(text), makeValidUtf8(title), type, result});
    if (completion)
    {
        DispatchScope scope(*this);
        completion(result);
    }
    return result;
}

void IGraphics::PromptForFile(WDL_String& fileName, WDL_String& path, EFileAction action, const char* extensions,
                              IFileDialogCompletionHandlerFunc completion)
{
    std::string answer;
    bool answered = false;
    auto* host = dynamic_cast<IGEditorDelegate*>(&delegate);
    if (host && host->AskHostFileDialog(action, extensions ? extensions : "", answer, answered))
    {
        if (!answered)
            answer.clear();
    }
    else if (!fileDialogAnswers.empty())
    {
        answer = fileDialogAnswers.front();
        fileDialogAnswers.pop_front();
    }
    fileDialogs.push_back({action, extensions ? extensions : "", answer});
    fileName.Set(answer.c_str());
    path.Set(answer.empty() ? "" : std::filesystem::path(answer).parent_path().string().c_str());
    if (completion)
    {
        DispatchScope scope(*this);
        completion(fileName, path);
    }
}

bool IGraphics::OpenURL(const char* url, const char*, const char*, const char*)
{
    if (url == nullptr || *url == '\0')
        return false;
    openedURLs.emplace_back(url);
    return true;
}

ECursor IGraphics::SetMouseCursor(ECursor newCursor)
{
    const ECursor previous = cursor;
    cursor = newCursor;
    return previous;
}

void IGraphics::CreatePopupMenu(IControl& control, IPopupMenu& menu, const IRECT& bounds, int valIdx)
{
    menu.SetChosenItemIdx(-1);
    pendingMenu = {&control, &menu, bounds, valIdx};
}

void IGraphics::CreateTextEntry(IControl& control, const IText& text, const IRECT& bounds, const char* str, int valIdx)
{
    pendingEntry = {&control, text, bounds, makeValidUtf8(str), control.GetTextEntryLength(), valIdx};
}

bool IGraphics::SelectPopupItem(const std::vector<int>& path)
{
    if (pendingMenu.control == nullptr || path.empty())
        return false;
    IPopupMenu* menu = pendingMenu.menu;
    for (size_t level = 0; level < path.size(); ++level)
    {
        IPopupMenu::Item* item = menu->GetItem(path[level]);
        if (item == nullptr || !item->GetEnabled() || item->GetIsSeparator() || item->GetIsTitle())
            return false;
        const bool last = level + 1 == path.size();
        if (last != (item->GetSubmenu() == nullptr))
            return false; // a submenu entry is not a choice, and only a submenu entry leads further
        if (!last)
            menu = item->GetSubmenu();
    }
    // Mark the chosen entry on every level, so the opener can follow the path from the top.
    IPopupMenu* level = pendingMenu.menu;
    for (int index : path)
    {
        level->SetChosenItemIdx(index);
        if (IPopupMenu::Item* item = level->GetItem(index); item->GetSubmenu() != nullptr)
            level = item->GetSubmenu();
    }
    const PendingMenu chosen = pendingMenu;
    pendingMenu = {};
    DispatchScope scope(*this);
    chosen.control->OnPopupMenuSelection(menu, chosen.valIdx);
    return true;
}

bool IGraphics::SelectPopupItemByText(const std::vector<std::string>& path)
{
    if (pendingMenu.control == nullptr)
        return false;
    std::vector<int> indices;
    const IPopupMenu* menu = pendingMenu.menu;
    for (const std::string& text : path)
    {
        if (menu == nullptr)
            return false;
        int found = -1;
        for (int i = 0; i < menu->NItems() && found < 0; ++i)
            if (text == menu->GetItem(i)->GetText() && !menu->GetItem(i)->GetIsSeparator())
                found = i;
        if (found < 0)
            return false;
        indices.push_back(found);
        menu = menu->GetItem(found)->GetSubmenu();
    }
    return SelectPopupItem(indices);
}

void IGraphics::DismissPopupMenu()
{
    if (pendingMenu.control == nullptr)
        return;
    const PendingMenu dismissed = pendingMenu;
    pendingMenu = {};
    DispatchScope scope(*this);
    dismissed.control->OnPopupMenuSelection(nullptr, dismissed.valIdx);
}

void IGraphics::CommitTextEntry(const char* typed)
{
    if (pendingEntry.control == nullptr)
        return;
    std::string text = makeValidUtf8(typed);
    // Cut to the entry's length in characters: count the bytes that start a character.
    int characters = 0;
    for (size_t i = 0; i < text.size(); ++i)
    {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && characters++ == pendingEntry.maxLength)
        {
            text.resize(i);
            break;
        }
    }
    const PendingEntry entry = pendingEntry;
    pendingEntry = {};
    DispatchScope scope(*this);
    entry.control->OnTextEntryCompletion(text.c_str(), entry.valIdx);
}

void IGraphics::CancelTextEntry()
{
    pendingEntry = {};
}

std::string makeValidUtf8(const char* str)
{
    static const char replacement[] = "\xEF\xBF\xBD";
    std::string out;
    if (str == nullptr)
        return out;
    const auto* bytes = reinterpret_cast<const unsigned char*>(str);
    for (size_t i = 0; bytes[i] != 0;)
    {
        const unsigned char lead = bytes[i];
        size_t length = 0;
        unsigned int codePoint = 0;
        if (lead < 0x80)
            length = 1, codePoint = lead;
        else if (lead >= 0xC2 && lead <= 0xDF)
            length = 2, codePoint = lead & 0x1Fu;
        else if (lead >= 0xE0 && lead <= 0xEF)
            length = 3, codePoint = lead & 0x0Fu;
        else if (lead >= 0xF0 && lead <= 0xF4)
            length = 4, codePoint = lead & 0x07u;
        bool valid = length > 0;
        for (size_t k = 1; valid && k < length; ++k)
        {
            const unsigned char next = bytes[i + k]; // a terminating 0 fails the test, so we never read past it
            valid = (next & 0xC0) == 0x80;
            codePoint = (codePoint << 6) | (next & 0x3Fu);
        }
        // Reject overlong forms, surrogates and code points above U+10FFFF.
        if (valid && ((length == 3 && (codePoint < 0x800 || (codePoint >= 0xD800 && codePoint <= 0xDFFF))) ||
                      (length == 4 && (codePoint < 0x10000 || codePoint > 0x10FFFF))))
            valid = false;
        if (valid)
        {
            out.append(str + i, length);
            i += length;
        }
        else
        {
            out += replacement;
            ++i;
        }
    }
    return out;
}

} // namespace igraphics
} // namespace iplug
