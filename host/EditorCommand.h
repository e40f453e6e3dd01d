#pragma once

#include <optional>
#include <string>
#include <vector>

namespace aubrevane::host
{

/** One scripted user action on the open editor, in editor units. */
struct EditorStep
{
    enum class Kind
    {
        Click,  // press and release at (x, y)
        Drag,   // press at (x, y), move by (dx, dy), release
        Choose, // the first item of the pending menu (or its open submenu) whose text starts with `text`
        Type,   // commit `text` into the pending text entry
        File    // the path the next file dialog answers
    };
    Kind kind = Kind::Click;
    float x = 0.0f, y = 0.0f, dx = 0.0f, dy = 0.0f;
    std::string text;
};

/** `aubrevane-host editor` and its options. */
struct EditorOptions
{
    std::optional<std::string> png;
    std::optional<float> scale; // without it the editor opens at the size the state holds
    std::optional<std::string> stateIn, stateOut, play, bundle;
    std::vector<EditorStep> steps;
    bool yes = false;
    bool window = false;
    bool help = false; // --help or -h: the usage, and nothing else
};

/** The arguments after "editor"; nothing, with a lower-case message, when they are not valid. */
[[nodiscard]] std::optional<EditorOptions> parseEditorOptions(const std::vector<std::string>& arguments,
                                                              std::string& error);

/**
 * `aubrevane-host editor`: opens the real editor headless, performs the steps in order, waits for a reference
 * analysis they started, plays a file through the plug-in, saves the state if asked, writes the editor's picture
 * and prints the status line, then the message boxes and links the steps opened, then any pending text entry and
 * menu on stdout. `argv0` finds the bundle. Returns the process's exit code; problems go to stderr.
 */
int runEditorCommand(const std::vector<std::string>& arguments, const char* argv0);

/** `editor --window`: the real editor in a window of its own until the user closes it. Returns the exit code. */
int runEditorWindow(const EditorOptions& options, const char* argv0);

} // namespace aubrevane::host
