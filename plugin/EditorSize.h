#pragma once

namespace aubrevane::plugin
{

/** The editor's one logical layout, in units; the framework draws it at a scale factor. */
inline constexpr int kEditorWidth = 720;
inline constexpr int kEditorHeight = 532;
inline constexpr float kEditorAspect =
    static_cast<float>(kEditorWidth) /
    static_cast<float>(kEditorHeight); // single precision: every size ratio here is a float

// Window limits at a platform scale of 1; above that scale the largest window grows with it.
inline constexpr int kSmallestEditorWidth = 540;
inline constexpr int kSmallestEditorHeight = 399;
inline constexpr int kLargestEditorWidth = 1440;
inline constexpr int kLargestEditorHeight = 1064;

} // namespace aubrevane::plugin
