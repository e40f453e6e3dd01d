// The drawing half of IGraphics: a cairo image surface, FreeType fonts through cairo-ft, SVG through librsvg.
#include "framework/igraphics/IGraphics.h"

#include "framework/IEditorDelegate.h"
#include "framework/igraphics/TextEntryPaint.h"

#include <cairo.h>
#include <dlfcn.h>
#include <librsvg/rsvg.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>

namespace iplug
{
namespace igraphics
{
namespace
{
constexpr float kMinDrawScale = 0.5f;
constexpr float kMaxDrawScale = 4.0f;
constexpr double kPi = 3.14159265358979323846;

std::mutex resourcePathMutex;
std::string resourcePathOverride;

bool allFinite(std::initializer_list<float> values)
{
    return std::all_of(values.begin(), values.end(), [](float v) { return std::isfinite(v); });
}

/** Degrees clockwise from twelve o'clock to cairo's radians clockwise from three o'clock. */
double toCairoAngle(float degrees)
{
    return (degrees - 90.0) * kPi / 180.0;
}

std::string locateResource(const char* fileNameOrPath)
{
    if (fileNameOrPath == nullptr || *fileNameOrPath == '\0')
        return {};
    const std::string name(fileNameOrPath);
    if (name.find('/') != std::string::npos)
        return name;
    return (std::filesystem::path(IGraphics::GetResourcePath()) / name).string();
}
} // namespace

struct ISVG::Image
{
    RsvgHandle* handle = nullptr;
    double width = 0.0;
    double height = 0.0;

    ~Image()
    {
        if (handle != nullptr)
            g_object_unref(handle);
    }
};

float ISVG::W() const
{
    return image ? static_cast<float>(image->width) : 0.0f;
}

float ISVG::H() const
{
    return image ? static_cast<float>(image->height) : 0.0f;
}

struct IGraphics::Backend
{
    cairo_surface_t* surface = nullptr;
    cairo_t* cr = nullptr;
    // A 1x1 surface at scale 1 on which text is measured, so widths never depend on the draw scale.
    cairo_surface_t* measureSurface = nullptr;
    cairo_t* measure = nullptr;
    cairo_font_options_t* fontOptions = nullptr;
    std::map<std::string, cairo_font_face_t*> fonts;
    cairo_font_face_t* platformFace = nullptr; // loaded when a text entry is first painted
    bool pathValid = true;

    Backend()
    {
        measureSurface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
        measure = cairo_create(measureSurface);
        // Unhinted outlines and unrounded advances: a measured width is the same at every scale.
        fontOptions = cairo_font_options_create();
        cairo_font_options_set_hint_metrics(fontOptions, CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_hint_style(fontOptions, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_antialias(fontOptions, CAIRO_ANTIALIAS_GRAY);
        cairo_set_font_options(measure, fontOptions);
    }

    ~Backend()
    {
        destroySurface();
        for (auto& [name, face] : fonts)
            cairo_font_face_destroy(face);
        if (platformFace != nullptr)
            cairo_font_face_destroy(platformFace);
        cairo_font_options_destroy(fontOptions);
        cairo_destroy(measure);
        cairo_surface_destroy(measureSurface);
    }

    Backend(const Backend&) = delete;
    Backend& operator=(const Backend&) = delete;

    void destroySurface()
    {
        if (cr != nullptr)
            cairo_destroy(cr);
        if (surface != nullptr)
            cairo_surface_destroy(surface);
        cr = nullptr;
        surface = nullptr;
    }

    void makeContext(float scale)
    {
        if (cr != nullptr)
            cairo_destroy(cr);
        cr = cairo_create(surface);
        cairo_scale(cr, scale, scale);
        cairo_set_font_options(cr, fontOptions);
    }

    /** Selects the style's font at its size on `context`; false when the font cannot be had. */
    bool selectFont(cairo_t* context, const IText& text)
    {
        auto found = fonts.find(text.font);
        if (found == fonts.end())
        {
            // A style may name a font nobody loaded: take it from the resource folder, never from the system.
            cairo_font_face_t* face = loadFontFace(locateResource((text.font + ".ttf").c_str()));
            if (face == nullptr)
                return false;
            found = fonts.emplace(text.font, face).first;
        }
        if (!std::isfinite(text.size) || text.size <= 0.0f)
            return false;
        cairo_set_font_face(context, found->second);
        cairo_set_font_size(context, text.size);
        return true;
    }

    /** Turns `bounds` into the box `valid` (valid UTF-8) takes when aligned in it by the style, measured at scale 1,
     *  and returns its advance width; 0, leaving `bounds`, for empty text or a font that cannot be had. */
    float placeText(const IText& text, const std::string& valid, IRECT& bounds)
    {
        if (valid.empty() || !selectFont(measure, text))
            return 0.0f;
        cairo_text_extents_t extents{};
        cairo_font_extents_t font{};
        cairo_text_extents(measure, valid.c_str(), &extents);
        cairo_font_extents(measure, &font);
        const auto textWidth = static_cast<float>(extents.x_advance);
        const auto textHeight = static_cast<float>(font.ascent + font.descent);
        float left = bounds.L;
        if (text.align == EAlign::Center)
            left = bounds.MW() - 0.5f * textWidth;
        else if (text.align == EAlign::Far)
            left = bounds.R - textWidth;
        float top = bounds.T;
        if (text.vAlign == EVAlign::Middle)
            top = bounds.MH() - 0.5f * textHeight;
        else if (text.vAlign == EVAlign::Bottom)
            top = bounds.B - textHeight;
        bounds = {left, top, left + textWidth, top + textHeight};
        return textWidth;
    }

    void setSource(const IColor& color, const IBlend* blend)
    {
        const double weight = blend ? std::clamp(static_cast<double>(blend->weight), 0.0, 1.0) : 1.0;
        cairo_set_operator(cr, blend && blend->method == EBlend::Add ? CAIRO_OPERATOR_ADD : CAIRO_OPERATOR_OVER);
        cairo_set_source_rgba(cr, color.R / 255.0, color.G / 255.0, color.B / 255.0,
                              std::clamp(color.A, 0, 255) / 255.0 * weight);
    }
};

IGraphics::IGraphics(IEditorDelegate& dlg, int width, int height, int fps, float scale)
    : delegate(dlg), width(std::max(1, width)), height(std::max(1, height)), fps(fps),
      drawScale(std::isfinite(scale) ? std::clamp(scale, kMinDrawScale, kMaxDrawScale) : 1.0f),
      backend(std::make_unique<Backend>())
{
    rebuildSurface();
}

IGraphics::~IGraphics()
{
    // Controls may touch the graphics object while they are destroyed, so they go first.
    pendingMenu = {};
    pendingEntry = {};
    captured = nullptr;
    mouseOver = nullptr;
    controls.clear();
    retired.clear();
}

IGraphics* MakeGraphics(IEditorDelegate& dlg, int width, int height, int fps, float scale)
{
    return new IGraphics(dlg, width, height, fps, scale);
}

int IGraphics::PixelWidth() const
{
    return static_cast<int>(std::lround(width * drawScale));
}

int IGraphics::PixelHeight() const
{
    return static_cast<int>(std::lround(height * drawScale));
}

void IGraphics::SetPlatformWindowScale(float scale)
{
    if (std::isfinite(scale) && scale > 0.0f)
        platformScale = scale;
}

void IGraphics::rebuildSurface()
{
    backend->destroySurface();
    backend->surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, PixelWidth(), PixelHeight());
    backend->makeContext(drawScale);
    fullRedraw = true;
}

void IGraphics::Resize(int newWidth, int newHeight, float scale, bool needsPlatformResize)
{
    if (!std::isfinite(scale) || newWidth <= 0 || newHeight <= 0)
        return;
    delegate.ConstrainEditorResize(newWidth, newHeight);
    width = std::max(1, newWidth);
    height = std::max(1, newHeight);
    drawScale = std::clamp(scale, kMinDrawScale, kMaxDrawScale);
    rebuildSurface();
    SetAllControlsDirty();
    if (needsPlatformResize)
    {
        // The window follows: logical size times draw scale times the platform's scale, in whole pixels. The
        // host then reports the new window size to the delegate, which stores it.
        const int windowWidth = static_cast<int>(width * drawScale * platformScale);
        const int windowHeight = static_cast<int>(height * drawScale * platformScale);
        windowResizes.emplace_back(windowWidth, windowHeight);
        delegate.OnParentWindowResize(windowWidth, windowHeight);
    }
}

void IGraphics::SetResourcePath(const std::string& path)
{
    std::lock_guard lock(resourcePathMutex);
    resourcePathOverride = path;
}

std::string IGraphics::GetResourcePath()
{
    {
        std::lock_guard lock(resourcePathMutex);
        if (!resourcePathOverride.empty())
            return resourcePathOverride;
    }
    if (const char* fromEnvironment = std::getenv("AUBREVANE_RESOURCE_DIR"); fromEnvironment && *fromEnvironment)
        return fromEnvironment;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&IGraphics::GetResourcePath), &info) != 0 && info.dli_fname != nullptr)
    {
        const auto beside = std::filesystem::path(info.dli_fname).parent_path() / "resources";
        std::error_code error;
        if (std::filesystem::is_directory(beside, error))
            return beside.string();
    }
    return AUBREVANE_BUILD_RESOURCE_DIR;
}

bool IGraphics::LoadFont(const char* fontID, const char* fileNameOrPath)
{
    if (fontID == nullptr || *fontID == '\0')
        return false;
    cairo_font_face_t* face = loadFontFace(locateResource(fileNameOrPath));
    if (face == nullptr)
        return false;
    auto [slot, inserted] = backend->fonts.emplace(fontID, face);
    if (!inserted)
    {
        cairo_font_face_destroy(slot->second);
        slot->second = face;
    }
    return true;
}

namespace
{

/** librsvg registers GObject types that outlive it: unloaded with a plug-in bundle and loaded again, it would
 *  register them a second time and abort the process, and the libraries below it keep state of their own for the
 *  process's lifetime. So they stay loaded from the moment this code is loaded, as GObject itself does; a bundle
 *  that carries this code still unloads. */
const bool svgLibraryKept = []
{
    Dl_info info{};
    return dladdr(reinterpret_cast<void*>(&rsvg_handle_new_from_file), &info) != 0 && info.dli_fname != nullptr &&
           dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE) != nullptr;
}();

} // namespace

ISVG IGraphics::LoadSVG(const char* fileNameOrPath, const char* units, float dpi)
{
    (void)units; // sizes are read in pixels at `dpi`, which is what every caller asks for
    const std::string path = locateResource(fileNameOrPath);
    if (path.empty())
        return {};
    GError* error = nullptr;
    RsvgHandle* handle = rsvg_handle_new_from_file(path.c_str(), &error);
    if (handle == nullptr)
    {
        if (error != nullptr)
            g_error_free(error);
        return {};
    }
    auto image = std::make_shared<ISVG::Image>();
    image->handle = handle;
    rsvg_handle_set_dpi(handle, std::isfinite(dpi) && dpi > 0.0f ? dpi : 72.0);
    gdouble w = 0.0, h = 0.0;
    if (!rsvg_handle_get_intrinsic_size_in_pixels(handle, &w, &h))
    {
        RsvgRectangle ink{}, logical{};
        if (!rsvg_handle_get_geometry_for_layer(handle, nullptr, nullptr, &ink, &logical, nullptr))
            return {};
        w = logical.width;
        h = logical.height;
    }
    if (!(w > 0.0) || !(h > 0.0))
        return {};
    image->width = w;
    image->height = h;
    return ISVG(std::move(image));
}

bool IGraphics::accept(DrawRecord::Kind kind, const IColor& color, const IRECT& bounds, const char* text)
{
    if (!bounds.AllFinite())
        return false;
    if (drawLogEnabled)
        drawLog.push_back({kind, color, bounds, text ? text : ""});
    return true;
}

void IGraphics::FillRect(const IColor& color, const IRECT& bounds, const IBlend* blend)
{
    if (!accept(DrawRecord::Kind::FillRect, color, bounds))
        return;
    backend->setSource(color, blend);
    cairo_rectangle(backend->cr, bounds.L, bounds.T, bounds.W(), bounds.H());
    cairo_fill(backend->cr);
}

void IGraphics::DrawRect(const IColor& color, const IRECT& bounds, const IBlend* blend, float thickness)
{
    if (!std::isfinite(thickness) || !accept(DrawRecord::Kind::DrawRect, color, bounds))
        return;
    backend->setSource(color, blend);
    cairo_set_line_width(backend->cr, thickness);
    cairo_rectangle(backend->cr, bounds.L, bounds.T, bounds.W(), bounds.H());
    cairo_stroke(backend->cr);
}

namespace
{
void roundRectPath(cairo_t* cr, const IRECT& r, float radius)
{
    const double rad = std::clamp(static_cast<double>(radius), 0.0, 0.5 * std::min(r.W(), r.H()));
    cairo_new_sub_path(cr);
    cairo_arc(cr, r.R - rad, r.T + rad, rad, -kPi / 2.0, 0.0);
    cairo_arc(cr, r.R - rad, r.B - rad, rad, 0.0, kPi / 2.0);
    cairo_arc(cr, r.L + rad, r.B - rad, rad, kPi / 2.0, kPi);
    cairo_arc(cr, r.L + rad, r.T + rad, rad, kPi, 1.5 * kPi);
    cairo_close_path(cr);
}
} // namespace

void IGraphics::FillRoundRect(const IColor& color, const IRECT& bounds, float cornerRadius, const IBlend* blend)
{
    if (!std::isfinite(cornerRadius) || !accept(DrawRecord::Kind::FillRoundRect, color, bounds))
        return;
    backend->setSource(color, blend);
    roundRectPath(backend->cr, bounds, cornerRadius);
    cairo_fill(backend->cr);
}

void IGraphics::DrawRoundRect(const IColor& color, const IRECT& bounds, float cornerRadius, const IBlend* blend,
                              float thickness)
{
    if (!allFinite({cornerRadius, thickness}) || !accept(DrawRecord::Kind::DrawRoundRect, color, bounds))
        return;
    backend->setSource(color, blend);
    cairo_set_line_width(backend->cr, thickness);
    roundRectPath(backend->cr, bounds, cornerRadius);
    cairo_stroke(backend->cr);
}

void IGraphics::FillCircle(const IColor& color, float cx, float cy, float r, const IBlend* blend)
{
    if (!(r >= 0.0f) || !accept(DrawRecord::Kind::FillCircle, color, {cx - r, cy - r, cx + r, cy + r}))
        return;
    backend->setSource(color, blend);
    cairo_new_sub_path(backend->cr);
    cairo_arc(backend->cr, cx, cy, r, 0.0, 2.0 * kPi);
    cairo_fill(backend->cr);
}

void IGraphics::DrawCircle(const IColor& color, float cx, float cy, float r, const IBlend* blend, float thickness)
{
    if (!(r >= 0.0f) || !std::isfinite(thickness) ||
        !accept(DrawRecord::Kind::DrawCircle, color, {cx - r, cy - r, cx + r, cy + r}))
        return;
    backend->setSource(color, blend);
    cairo_set_line_width(backend->cr, thickness);
    cairo_new_sub_path(backend->cr);
    cairo_arc(backend->cr, cx, cy, r, 0.0, 2.0 * kPi);
    cairo_stroke(backend->cr);
}

void IGraphics::FillEllipse(const IColor& color, const IRECT& bounds, const IBlend* blend)
{
    if (!accept(DrawRecord::Kind::FillEllipse, color, bounds) || bounds.W() <= 0.0f || bounds.H() <= 0.0f)
        return;
    cairo_t* cr = backend->cr;
    backend->setSource(color, blend);
    cairo_save(cr);
    cairo_translate(cr, bounds.MW(), bounds.MH());
    cairo_scale(cr, 0.5 * bounds.W(), 0.5 * bounds.H());
    cairo_new_sub_path(cr);
    cairo_arc(cr, 0.0, 0.0, 1.0, 0.0, 2.0 * kPi);
    cairo_restore(cr);
    cairo_fill(cr);
}

void IGraphics::FillTriangle(const IColor& color, float x1, float y1, float x2, float y2, float x3, float y3,
                             const IBlend* blend)
{
    const IRECT box{std::min({x1, x2, x3}), std::min({y1, y2, y3}), std::max({x1, x2, x3}), std::max({y1, y2, y3})};
    if (!allFinite({x1, y1, x2, y2, x3, y3}) || !accept(DrawRecord::Kind::FillTriangle, color, box))
        return;
    backend->setSource(color, blend);
    cairo_move_to(backend->cr, x1, y1);
    cairo_line_to(backend->cr, x2, y2);
    cairo_line_to(backend->cr, x3, y3);
    cairo_close_path(backend->cr);
    cairo_fill(backend->cr);
}

void IGraphics::DrawLine(const IColor& color, float x1, float y1, float x2, float y2, const IBlend* blend,
                         float thickness)
{
    if (!std::isfinite(thickness) || !accept(DrawRecord::Kind::Line, color, {x1, y1, x2, y2}))
        return;
    backend->setSource(color, blend);
    cairo_set_line_width(backend->cr, thickness);
    cairo_move_to(backend->cr, x1, y1);
    cairo_line_to(backend->cr, x2, y2);
    cairo_stroke(backend->cr);
}

void IGraphics::DrawDottedLine(const IColor& color, float x1, float y1, float x2, float y2, const IBlend* blend,
                               float thickness, float dashLen)
{
    if (!allFinite({thickness, dashLen}) || dashLen <= 0.0f ||
        !accept(DrawRecord::Kind::DottedLine, color, {x1, y1, x2, y2}))
        return;
    cairo_t* cr = backend->cr;
    const double dash = dashLen;
    backend->setSource(color, blend);
    cairo_set_line_width(cr, thickness);
    cairo_set_dash(cr, &dash, 1, 0.0);
    cairo_move_to(cr, x1, y1);
    cairo_line_to(cr, x2, y2);
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0.0);
}

void IGraphics::DrawArc(const IColor& color, float cx, float cy, float r, float a1, float a2, const IBlend* blend,
                        float thickness)
{
    if (!allFinite({a1, a2, thickness}) || !(r >= 0.0f) ||
        !accept(DrawRecord::Kind::Arc, color, {cx - r, cy - r, cx + r, cy + r}))
        return;
    backend->setSource(color, blend);
    cairo_set_line_width(backend->cr, thickness);
    cairo_new_sub_path(backend->cr);
    cairo_arc(backend->cr, cx, cy, r, toCairoAngle(std::min(a1, a2)), toCairoAngle(std::max(a1, a2)));
    cairo_stroke(backend->cr);
}

float IGraphics::MeasureText(const IText& text, const char* str, IRECT& bounds) const
{
    return backend->placeText(text, makeValidUtf8(str), bounds);
}

void IGraphics::DrawText(const IText& text, const char* str, const IRECT& bounds, const IBlend* blend)
{
    const std::string valid = makeValidUtf8(str);
    if (valid.empty() || !accept(DrawRecord::Kind::Text, text.fgColor, bounds, valid.c_str()))
        return;
    IRECT box = bounds;
    backend->placeText(text, valid, box);
    cairo_t* cr = backend->cr;
    if (!backend->selectFont(cr, text))
        return;
    cairo_font_extents_t font{};
    cairo_font_extents(cr, &font);
    backend->setSource(text.fgColor, blend);
    cairo_save(cr);
    cairo_translate(cr, box.L, box.T + font.ascent);
    if (text.angle != 0.0f && std::isfinite(text.angle))
        cairo_rotate(cr, text.angle * kPi / 180.0);
    cairo_move_to(cr, 0.0, 0.0);
    cairo_show_text(cr, valid.c_str());
    cairo_restore(cr);
}

void IGraphics::DrawSVG(const ISVG& svg, const IRECT& bounds, const IBlend* blend)
{
    if (!svg.IsValid() || !accept(DrawRecord::Kind::SVG, COLOR_TRANSPARENT, bounds))
        return;
    // Fit the image into the bounds keeping its aspect ratio, centred.
    const double fit = std::min(bounds.W() / svg.W(), bounds.H() / svg.H());
    if (!(fit > 0.0))
        return;
    const double w = svg.W() * fit, h = svg.H() * fit;
    const RsvgRectangle viewport{bounds.MW() - 0.5 * w, bounds.MH() - 0.5 * h, w, h};
    cairo_t* cr = backend->cr;
    const double weight = blend ? std::clamp(static_cast<double>(blend->weight), 0.0, 1.0) : 1.0;
    cairo_push_group(cr);
    GError* error = nullptr;
    if (!rsvg_handle_render_document(svg.GetImage()->handle, cr, &viewport, &error) && error != nullptr)
        g_error_free(error);
    cairo_pop_group_to_source(cr);
    cairo_paint_with_alpha(cr, weight);
}

void IGraphics::PathClear()
{
    cairo_new_path(backend->cr);
    backend->pathValid = true;
}

void IGraphics::PathMoveTo(float x, float y)
{
    if (allFinite({x, y}))
        cairo_move_to(backend->cr, x, y);
    else
        backend->pathValid = false;
}

void IGraphics::PathLineTo(float x, float y)
{
    if (allFinite({x, y}))
        cairo_line_to(backend->cr, x, y);
    else
        backend->pathValid = false;
}

void IGraphics::PathCubicBezierTo(float c1x, float c1y, float c2x, float c2y, float x2, float y2)
{
    if (allFinite({c1x, c1y, c2x, c2y, x2, y2}))
        cairo_curve_to(backend->cr, c1x, c1y, c2x, c2y, x2, y2);
    else
        backend->pathValid = false;
}

void IGraphics::PathClose()
{
    cairo_close_path(backend->cr);
}

namespace
{
IRECT pathExtents(cairo_t* cr)
{
    double x1 = 0.0, y1 = 0.0, x2 = 0.0, y2 = 0.0;
    cairo_path_extents(cr, &x1, &y1, &x2, &y2);
    return {static_cast<float>(x1), static_cast<float>(y1), static_cast<float>(x2), static_cast<float>(y2)};
}
} // namespace

void IGraphics::PathFill(const IPattern& pattern, const IBlend* blend)
{
    cairo_t* cr = backend->cr;
    // A path with a non-finite point is dropped whole: drawing part of it would draw a wrong shape.
    if (backend->pathValid && accept(DrawRecord::Kind::PathFill, pattern.color, pathExtents(cr)))
    {
        backend->setSource(pattern.color, blend);
        cairo_fill(cr);
    }
    PathClear();
}

void IGraphics::PathStroke(const IPattern& pattern, float thickness, const IBlend* blend)
{
    cairo_t* cr = backend->cr;
    if (backend->pathValid && std::isfinite(thickness) &&
        accept(DrawRecord::Kind::PathStroke, pattern.color, pathExtents(cr)))
    {
        backend->setSource(pattern.color, blend);
        cairo_set_line_width(cr, thickness);
        cairo_stroke(cr);
    }
    PathClear();
}

bool IGraphics::DrawFrame(bool force)
{
    DispatchScope scope(*this);
    bool anyDirty = false;
    for (size_t i = 0; i < controls.size(); ++i)
        anyDirty = controls[i]->IsDirty() || anyDirty; // every control is asked, in attach order
    if (!anyDirty && !force && !fullRedraw)
        return false;
    fullRedraw = false;
    cairo_t* cr = backend->cr;
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_restore(cr);
    for (size_t i = 0; i < controls.size(); ++i)
    {
        IControl& control = *controls[i];
        control.ClearDirty();
        if (control.IsHidden())
            continue;
        cairo_save(cr);
        PathClear();
        control.Draw(*this);
        cairo_restore(cr);
        // Whatever one control did wrong, the next starts on a sound context.
        if (cairo_status(cr) != CAIRO_STATUS_SUCCESS)
        {
            backend->makeContext(drawScale);
            cr = backend->cr;
        }
    }
    cairo_surface_flush(backend->surface);
    return true;
}

void IGraphics::DrawPendingTextEntry()
{
    if (pendingEntry.control == nullptr)
        return;
    if (backend->platformFace == nullptr)
        backend->platformFace = loadPlatformFontFace();
    cairo_t* cr = cairo_create(backend->surface); // in pixels, as the window paints its overlays
    paintTextEntry(cr, backend->platformFace, drawScale, pendingEntry.style, pendingEntry.bounds, pendingEntry.text);
    cairo_destroy(cr);
    cairo_surface_flush(backend->surface);
}

bool IGraphics::EncodePNG(std::string& bytes) const
{
    bytes.clear();
    cairo_surface_flush(backend->surface);
    const auto append = [](void* closure, const unsigned char* data, unsigned int length)
    {
        static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
        return CAIRO_STATUS_SUCCESS;
    };
    return cairo_surface_write_to_png_stream(backend->surface, append, &bytes) == CAIRO_STATUS_SUCCESS;
}

void IGraphics::CopyPixels(unsigned char* destination, int stride) const
{
    cairo_surface_t* surface = backend->surface;
    cairo_surface_flush(surface);
    const unsigned char* source = cairo_image_surface_get_data(surface);
    const int sourceStride = cairo_image_surface_get_stride(surface);
    const int width = cairo_image_surface_get_width(surface);
    for (int y = 0; y < cairo_image_surface_get_height(surface); ++y)
        std::memcpy(destination + static_cast<ptrdiff_t>(y) * stride, source + static_cast<ptrdiff_t>(y) * sourceStride,
                    4 * static_cast<size_t>(width));
}

IColor IGraphics::GetPixel(int x, int y) const
{
    cairo_surface_t* surface = backend->surface;
    if (x < 0 || y < 0 || x >= cairo_image_surface_get_width(surface) || y >= cairo_image_surface_get_height(surface))
        return COLOR_TRANSPARENT;
    cairo_surface_flush(surface);
    const unsigned char* row =
        cairo_image_surface_get_data(surface) + static_cast<ptrdiff_t>(y) * cairo_image_surface_get_stride(surface);
    uint32_t pixel = 0;
    std::memcpy(&pixel, row + 4 * x, sizeof pixel);
    const int a = static_cast<int>(pixel >> 24);
    if (a == 0)
        return COLOR_TRANSPARENT;
    // Stored premultiplied: undo it, rounding to the nearest channel value.
    auto channel = [a](uint32_t premultiplied) { return static_cast<int>((premultiplied * 255 + a / 2) / a); };
    return {a, channel((pixel >> 16) & 0xFF), channel((pixel >> 8) & 0xFF), channel(pixel & 0xFF)};
}

} // namespace igraphics
} // namespace iplug
