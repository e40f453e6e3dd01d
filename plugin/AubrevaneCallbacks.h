#pragma once

#include "editor/KebabMenuControl.h"
#include "editor/LearnPillControl.h"
#include "editor/ToneDisplayControl.h"
#include "framework/igraphics/IGraphicsStructs.h"
#include "wendlebrak/controls/PresetHooks.h"

#include <functional>
#include <vector>

class Aubrevane;

namespace wendlebrak::controls
{
class UpdatePillControl;
}

namespace aubrevane::plugin
{

using RectCallback = std::function<void(const iplug::igraphics::IRECT&)>;

// The editor's roads into the plug-in, built by the layout and copied into the controls. Each callback captures the
// plug-in, or the one control it acts on; those controls are made and destroyed in the same layout run as the
// controls that hold the callbacks. All run on the main thread.

/** The settings menu's actions; `updatePill` serves only the update-check items. */
KebabMenuControl::Actions settingsMenuActions(Aubrevane* plugin, wendlebrak::controls::UpdatePillControl* updatePill);
wendlebrak::controls::PresetHooks presetHooks(Aubrevane* plugin);
LearnPillControl::Actions learnPillActions(Aubrevane* plugin);
ToneDisplayControl::ReadingProvider toneDisplayReading(const Aubrevane* plugin);

/** The preset bar's menu button: opens the settings menu at the rectangle given. */
RectCallback openKebabMenu(KebabMenuControl* menu);
/** The update pill's onResize: narrows the title so it ends 10 units left of the pill. */
RectCallback updatePillResized(Aubrevane* plugin);

/** The settings menu's update items, as the update pill offers them. */
void addUpdateMenuItems(wendlebrak::controls::UpdatePillControl* updatePill, iplug::igraphics::IPopupMenu& menu);
/** Item `index` of the settings menu's update items: item 0 flips the pill's update check on or off. */
void onUpdateMenuItem(wendlebrak::controls::UpdatePillControl* updatePill, int index);
/** The six factory targets for the learn menu; they need nothing of the plug-in. */
std::vector<aubrevane::offline::SavedTarget> listFactoryTargets();

} // namespace aubrevane::plugin
