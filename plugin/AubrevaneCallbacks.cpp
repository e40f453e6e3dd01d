#include "plugin/AubrevaneCallbacks.h"

#include "offline/FactoryTargets.h"
#include "plugin/Aubrevane.h"
#include "wendlebrak/controls/UpdatePillControl.h"
#include "wendlebrak/updates/UpdateCheck.h"

namespace aubrevane::plugin
{

using aubrevane::offline::SavedTarget;
using iplug::igraphics::IRECT;

KebabMenuControl::Actions settingsMenuActions(Aubrevane* plugin, wendlebrak::controls::UpdatePillControl* updatePill)
{
    KebabMenuControl::Actions actions;
    actions.currentScale = [plugin] { return plugin->currentEditorScale(); };
    actions.setScale = [plugin](float scale) { plugin->applyWindowScale(scale); };
    actions.currentAccent = [plugin] { return plugin->currentAccentIndex(); };
    actions.setAccent = [plugin](int index) { plugin->chooseAccent(index); };
    actions.hasLearnedTarget = [plugin] { return plugin->hasLearnedTarget(); };
    actions.clearLearnedTarget = [plugin] { plugin->onClearLearnedTarget(); };
    if (updatePill != nullptr)
    {
        actions.addUpdateItems = [updatePill](iplug::igraphics::IPopupMenu& menu)
        { addUpdateMenuItems(updatePill, menu); };
        actions.updateItemChosen = [updatePill](int index) { onUpdateMenuItem(updatePill, index); };
    }
    return actions;
}

wendlebrak::controls::PresetHooks presetHooks(Aubrevane* plugin)
{
    wendlebrak::controls::PresetHooks hooks;
    hooks.listNames = [plugin] { return plugin->listPresetNames(); };
    hooks.currentName = [plugin] { return plugin->currentPresetName(); };
    hooks.load = [plugin](const std::string& name) { plugin->loadPresetNamed(name); };
    hooks.save = [plugin](const std::string& name) { plugin->savePresetNamed(name); };
    hooks.remove = [plugin](const std::string& name) { plugin->removePresetNamed(name); };
    hooks.modified = [plugin] { return plugin->presetIsModified(); };
    return hooks;
}

LearnPillControl::Actions learnPillActions(Aubrevane* plugin)
{
    LearnPillControl::Actions actions;
    actions.state = [plugin] { return plugin->learnPillState<LearnPillControl::State>(); };
    actions.learnFromInput = [plugin] { plugin->onLearnFromInput(); };
    actions.learnFromFile = [plugin] { plugin->onLearnFromFile(); };
    actions.cancel = [plugin] { plugin->onCancelLearning(); };
    actions.clear = [plugin] { plugin->onClearLearnedTarget(); };
    actions.savedTargets = [plugin] { return plugin->listSavedTargets(); };
    actions.factoryTargets = listFactoryTargets;
    actions.defaultTargetName = [plugin] { return plugin->suggestTargetName(); };
    actions.loadTarget = [plugin](const SavedTarget& target) { plugin->onLoadTarget(target); };
    actions.saveTarget = [plugin](const std::string& name) { plugin->onSaveTarget(name); };
    actions.removeTarget = [plugin](const SavedTarget& target) { plugin->onDeleteTarget(target); };
    return actions;
}

ToneDisplayControl::ReadingProvider toneDisplayReading(const Aubrevane* plugin)
{
    return [plugin] { return plugin->toneDisplayReading<ToneDisplayControl::Reading>(); };
}

RectCallback openKebabMenu(KebabMenuControl* menu)
{
    return [menu](const IRECT& anchor)
    {
        // A menu already detached by a rebuild that runs inside this very click opens nothing.
        if (menu->GetUI() != nullptr)
            menu->OpenAt(anchor);
    };
}

RectCallback updatePillResized(Aubrevane* plugin)
{
    return [plugin](const IRECT& pill) { plugin->onUpdatePillResized(pill); };
}

void addUpdateMenuItems(wendlebrak::controls::UpdatePillControl* updatePill, iplug::igraphics::IPopupMenu& menu)
{
    updatePill->addMenuItems(menu);
}

void onUpdateMenuItem(wendlebrak::controls::UpdatePillControl* updatePill, int index)
{
    wendlebrak::updates::UpdateCheck* updates = updatePill->updateCheck();
    if (index != 0 || updates == nullptr)
        return;
    const bool enabled = updates->state().enabled; // copied under the check's mutex, released before setEnabled
    updates->setEnabled(!enabled);
    updatePill->SetDirty(false);
}

std::vector<SavedTarget> listFactoryTargets()
{
    return aubrevane::offline::factoryTargets();
}

} // namespace aubrevane::plugin
