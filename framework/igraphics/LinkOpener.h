#pragma once

#include <string>

namespace iplug
{
namespace igraphics
{

/** What became of a link handed to the desktop's browser. */
enum class LinkOpening
{
    kStarted,  // xdg-open runs with the link
    kNoOpener, // no executable xdg-open on the search path
    kRefused,  // not an http or https link
    kFailed    // xdg-open was found but could not be started
};

/**
 * Hands `url` to the first executable `xdg-open` in an absolute folder of `searchPath` (a PATH-style list; an empty
 * one has no opener), as its only argument and without a shell. Only http and https links go out; a file, script or
 * other link could make the desktop run something. xdg-open is started detached: it outlives the caller and leaves no
 * child behind to reap. Main thread; safe while other threads run, since the forked children only exec or exit.
 */
[[nodiscard]] LinkOpening openLink(const std::string& url, const std::string& searchPath);

} // namespace igraphics
} // namespace iplug
