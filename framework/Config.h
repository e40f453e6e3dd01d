#pragma once

#include <cstdint>

namespace iplug
{

/** What a plug-in class tells the framework about itself; one constant record per class. */
struct Config
{
    int nParams = 0;
    int nPresets = 0;
    /** Legal channel routes, "in-out" pairs separated by spaces ("1-1 2-2"). */
    const char* channelIOStr = "2-2";
    const char* pluginName = "";
    const char* productName = "";
    const char* mfrName = "";
    /** Major in the upper 16 bits, minor in bits 8-15, patch in bits 0-7. */
    int vendorVersion = 0;
    std::uint32_t uniqueID = 0; // Audio Unit subtype
    std::uint32_t mfrID = 0;
    int latency = 0; // samples
    bool plugDoesMidiIn = false;
    bool plugDoesMidiOut = false;
    bool plugDoesMPE = false;
    bool plugDoesChunks = false;
    int plugType = 0; // 0: an effect
    bool plugHasUI = false;
    int plugWidth = 0;
    int plugHeight = 0;
    int plugMinWidth = 0;
    int plugMaxWidth = 0;
    int plugMinHeight = 0;
    int plugMaxHeight = 0;
    bool plugHostResize = false;
    const char* bundleID = "";
    const char* appGroupID = "";
};

/** What the host's side hands to a new instance. */
struct InstanceInfo
{
    /** The editor view factory class the host asks for the editor ("Aubrevane_View"). */
    const char* cocoaViewFactoryClassName = "";
};

} // namespace iplug
