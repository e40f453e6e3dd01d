#include "framework/igraphics/TextEntryPaint.h"

#include "framework/igraphics/IGraphics.h"

#include <cairo-ft.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>

namespace iplug
{
namespace igraphics
{
namespace
{
constexpr const char* kPlatformFontFile = "Roboto-Regular.ttf";

const cairo_user_data_key_t faceKey{};

/** What cairo calls when it finally drops a font face, which may be long after the editor let it go: FreeType's
 *  own function, as in cairo's documentation, so that the call never reaches into a plug-in bundle that has been
 *  unloaded meanwhile (FreeType is loaded for as long as cairo is, which needs it too). It ends the face's own
 *  FreeType library, and the face with it, so nothing of a face outlives cairo's hold on it. */
const auto releaseFaceLibrary = reinterpret_cast<cairo_destroy_func_t>(reinterpret_cast<void (*)()>(&FT_Done_FreeType));

} // namespace

cairo_font_face_t* loadFontFace(const std::string& path)
{
    FT_Library library = nullptr;
    FT_Face ftFace = nullptr;
    if (path.empty() || FT_Init_FreeType(&library) != 0)
        return nullptr;
    if (FT_New_Face(library, path.c_str(), 0, &ftFace) != 0)
    {
        FT_Done_FreeType(library);
        return nullptr;
    }
    cairo_font_face_t* face = cairo_ft_font_face_create_for_ft_face(ftFace, 0);
    if (cairo_font_face_set_user_data(face, &faceKey, library, releaseFaceLibrary) != CAIRO_STATUS_SUCCESS)
    {
        cairo_font_face_destroy(face);
        FT_Done_FreeType(library);
        return nullptr;
    }
    return face;
}

cairo_font_face_t* loadPlatformFontFace()
{
    return loadFontFace(IGraphics::GetResourcePath() + "/" + kPlatformFontFile);
}

void paintTextEntry(cairo_t* cr, cairo_font_face_t* face, double scale, const IText& style, const IRECT& bounds,
                    const std::string& text)
{
    if (!bounds.AllFinite() || !std::isfinite(scale) || scale <= 0.0)
        return;
    const double boxX = bounds.L * scale, boxY = bounds.T * scale, boxW = bounds.W() * scale, boxH = bounds.H() * scale;
    const auto setSource = [cr](const IColor& color)
    { cairo_set_source_rgba(cr, color.R / 255.0, color.G / 255.0, color.B / 255.0, color.A / 255.0); };

    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    setSource(style.textEntryBGColor);
    cairo_rectangle(cr, boxX, boxY, boxW, boxH);
    cairo_fill(cr);
    if (std::isfinite(style.size) && style.size > 0.0f)
    {
        if (face != nullptr)
            cairo_set_font_face(cr, face);
        else
            cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, style.size * scale);
        // Unhinted, as the editor draws its own text, so the window and the picture place every glyph alike.
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
        cairo_set_font_options(cr, options);
        cairo_font_options_destroy(options);

        cairo_text_extents_t extents{};
        cairo_font_extents_t font{};
        cairo_text_extents(cr, text.c_str(), &extents);
        cairo_font_extents(cr, &font);
        const double width = extents.x_advance, inset = 3.0 * scale;
        double x = boxX + inset;
        if (style.align == EAlign::Center)
            x = boxX + (boxW - width) / 2.0;
        else if (style.align == EAlign::Far)
            x = boxX + boxW - inset - width;
        setSource(style.textEntryFGColor);
        cairo_move_to(cr, x, boxY + boxH / 2.0 + (font.ascent - font.descent) / 2.0);
        cairo_show_text(cr, text.c_str());
        cairo_rectangle(cr, x + width + 1.0, boxY + boxH * 0.2, std::max(1.0, scale), boxH * 0.6);
        cairo_fill(cr);
    }
    cairo_restore(cr);
}

} // namespace igraphics
} // namespace iplug
