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
    actions.currentScale = [plugin] { return plugin->editorScale(); };
    actions.setScale = [plugin](float scale) { plugin->applyEditorScale(scale); };
    actions.currentAccent = [plugin] { return plugin->currentAccentIndex(); };
    actions.setAccent = [plugin](int index) { plugin->setAccentIndex(index); };
    actions.hasLearnedTarget = [plugin] { return plugin->hasLearnedTarget(); };
    actions.clearLearnedTarget = [plugin] { plugin->onClearLearnedTarget(); };
    if (updatePill != nullptr)
    {
        actions.addUpdateItems = [updatePill](iplug::igraphics::IPopupMenu& menu) { updatePill->addMenuItems(menu); };
        actions.updateItemChosen = [updatePill](int index) { onUpdateMenuItem(updatePill, index); };
    }
    return actions;
}

wendlebrak::controls::PresetHooks presetHooks(Aubrevane* plugin)
{
    wendlebrak::controls::PresetHooks hooks;
    hooks.listNames = [plugin] { return plugin->listPresetNames(); };
    hooks.currentName = [plugin] { return plugin->presetName(); };
    hooks.load = [plugin](const std::string& name) { plugin->loadPresetNamed(name); };
    hooks.save = [plugin](const std::string& name) { plugin->savePresetNamed(name); };
    hooks.remove = [plugin](const std::string& name) { plugin->removePresetNamed(name); };
    hooks.modified = [plugin] { return plugin->presetModified(); };
    return hooks;
}

LearnPillControl::Actions learnPillActions(Aubrevane* plugin)
{
    LearnPillControl::Actions actions;
    actions.state = [plugin] { return plugin->learnPillState<LearnPillControl::State>(); };
    actions.learnFromInput = [plugin] { plugin->onLearnFromInput(); };
    actions.learnFromFile = [plugin] { plugin->promptForReference(); };
    actions.cancel = [plugin] { plugin->onCancelLearning(); };
    actions.clear = [plugin] { plugin->onClearLearnedTarget(); };
    actions.savedTargets = [plugin] { return plugin->savedTargets(); };
    actions.factoryTargets = [] { return aubrevane::offline::factoryTargets(); };
    actions.defaultTargetName = [plugin] { return plugin->defaultTargetName(); };
    actions.loadTarget = [plugin](const SavedTarget& target) { plugin->loadTarget(target); };
    actions.saveTarget = [plugin](const std::string& name) { plugin->onSaveTarget(name); };
    actions.removeTarget = [plugin](const SavedTarget& target) { plugin->removeTarget(target); };
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

void onUpdateMenuItem(wendlebrak::controls::UpdatePillControl* updatePill, int index)
{
    wendlebrak::updates::UpdateCheck* updates = updatePill->updateCheck();
    if (index != 0 || updates == nullptr)
        return;
    const bool enabled = updates->state().enabled; // copied under the check's mutex, released before setEnabled
    updates->setEnabled(!enabled);
    updatePill->SetDirty(false);
}

} // namespace aubrevane::plugin
