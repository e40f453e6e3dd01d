#pragma once

// The platform's look of an open text entry and the fonts cairo draws with, shared by the editor's picture and the
// X11 window so both show the same box in the same font. It speaks cairo, so only the graphics layer's own sources
// include it.
#include "framework/igraphics/IGraphicsStructs.h"

#include <cairo.h>

#include <string>

namespace iplug
{
namespace igraphics
{

/** A cairo face for the font file at `path`, read through FreeType; null when it cannot be read. The caller destroys
 *  it. Main thread. */
cairo_font_face_t* loadFontFace(const std::string& path);

/** The font the platform's overlays (menus, text entries, message boxes) set their text in, from the resource folder;
 *  null when it cannot be read. The caller destroys it. Main thread. */
cairo_font_face_t* loadPlatformFontFace();

/**
 * Paints an open text entry over `bounds` (editor units): the box in the style's entry background, then `text` and
 * a caret in its entry foreground, at the style's size and alignment, in `face` (cairo's sans-serif when null).
 * `cr` draws in pixels; `scale` is pixels per editor unit. Leaves the context's state as it found it.
 */
void paintTextEntry(cairo_t* cr, cairo_font_face_t* face, double scale, const IText& style, const IRECT& bounds,
                    const std::string& text);

} // namespace igraphics
} // namespace iplug
