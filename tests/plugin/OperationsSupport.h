#pragma once

#include "PluginProbe.h"
#include "support/FileBytes.h"

#include "framework/igraphics/IGraphics.h"
#include "offline/FactoryTargets.h"

#include <chrono>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// What the preset and target operation tests share: a plug-in with or without an open editor, audio blocks to let
// the audio thread take its requests, and the message boxes the editor showed.
namespace aubrevane::test
{

/** Runs `blocks` blocks of quiet stereo noise through the plug-in, as the host's audio thread would. */
inline void runBlocks(Aubrevane& plugin, int blocks = 1, int frames = 256)
{
    std::vector<double> left(static_cast<std::size_t>(frames)), right(left), outLeft(left), outRight(left);
    double* inputs[2] = {left.data(), right.data()};
    double* outputs[2] = {outLeft.data(), outRight.data()};
    unsigned seed = 12345;
    for (int b = 0; b < blocks; ++b)
    {
        for (int i = 0; i < frames; ++i)
        {
            seed = seed * 1664525u + 1013904223u;
            left[static_cast<std::size_t>(i)] = right[static_cast<std::size_t>(i)] = (seed >> 8) * 1e-9 - 0.008;
        }
        plugin.ProcessBlock(inputs, outputs, frames);
    }
}

/** Waits for the reference worker to finish; false when it is still analysing after a minute. */
inline bool workerFinished(const Aubrevane& plugin)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (plugin.learningState() == Aubrevane::kLearnAnalysing)
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

/** The factory target of that name. */
inline offline::SavedTarget factoryTarget(const std::string& name)
{
    for (const auto& target : offline::factoryTargets())
        if (target.name == name)
            return target;
    ADD_FAILURE() << "no factory target " << name;
    return {};
}

/** Opens the editor; its message boxes then answer with whatever the test queued (OK or No when nothing was). */
inline iplug::igraphics::IGraphics& openEditor(Aubrevane& plugin)
{
    plugin.OpenWindow(nullptr);
    auto* graphics = plugin.GetUI();
    if (graphics == nullptr)
        throw std::runtime_error("the editor did not open");
    return *graphics;
}

/** The texts of the message boxes shown so far, each as "title: text". */
inline std::vector<std::string> boxesShown(Aubrevane& plugin)
{
    std::vector<std::string> shown;
    if (const auto* graphics = plugin.GetUI())
        for (const auto& box : graphics->GetMessageBoxes())
            shown.push_back(box.title + ": " + box.text);
    return shown;
}

} // namespace aubrevane::test
