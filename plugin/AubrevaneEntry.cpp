#include "plugin/Aubrevane.h"

#include "framework/AUTypes.h"
#include "framework/IPlugAU.h"

// The bundle's two entry points, found by name: the product name followed by "_Entry" and "_Factory".
extern "C"
{

    __attribute__((visibility("default"))) iplug::OSStatus Aubrevane_Entry(iplug::ComponentParameters* params,
                                                                           void* instance)
    {
        return iplug::IPlugAU::IPlugAUEntry(params, instance);
    }

    __attribute__((visibility("default"))) iplug::AudioComponentPlugInInterface*
    Aubrevane_Factory(const iplug::AudioComponentDescription* description)
    {
        return iplug::IPlugAUFactory<Aubrevane, false>::Factory(description, iplug::InstanceInfo{"Aubrevane_View"});
    }

} // extern "C"
