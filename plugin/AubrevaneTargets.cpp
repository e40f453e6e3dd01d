#include "plugin/Aubrevane.h"

#include "framework/AppSupportPath.h"
#include "framework/igraphics/IGraphics.h"
#include "offline/BalanceMeasurement.h"
#include "offline/FactoryTargets.h"
#include "offline/ReferenceDecoder.h"
#include "wendlebrak/files/Files.h"

#include <exception>
#include <mutex>

using namespace aubrevane::plugin;
using aubrevane::offline::SavedTarget;

namespace
{

constexpr int kPublishedReadAttempts = 100;
constexpr const char* kReferenceExtensions = "wav wave aif aiff aifc mp3 flac";

} // namespace

void Aubrevane::promptForReference()
{
    iplug::igraphics::IGraphics* graphics = GetUI();
    if (graphics == nullptr)
        return;
    WDL_String fileName;
    WDL_String folder;
    graphics->PromptForFile(fileName, folder, iplug::igraphics::EFileAction::Open, kReferenceExtensions,
                            [this](const WDL_String& chosen, const WDL_String&)
                            {
                                if (chosen.GetLength() > 0)
                                    learnFromFile(chosen.Get());
                            });
}

void Aubrevane::learnFromFile(const std::string& path)
{
    if (learnState.load() == kLearnAnalysing)
        return;
    if (learnThread.joinable())
        learnThread.join();
    {
        std::lock_guard lock(labelMutex);
        learnError.clear();
    }
    learnCancelRequested.store(false);
    learnState.store(kLearnAnalysing);
    try
    {
        learnThread = std::thread(&Aubrevane::learnWorker, this, path);
    }
    catch (const std::exception&)
    {
        // Without a worker nothing would ever leave the analysing state, and every later request would be ignored.
        {
            std::lock_guard lock(labelMutex);
            learnError = "the analysis could not be started";
        }
        learnState.store(kLearnFailed);
    }
}

void Aubrevane::learnWorker(Aubrevane* plugin, std::string path)
{
    // Nothing may escape a worker thread: an exception there would end the host with std::terminate.
    try
    {
        aubrevane::dsp::Balance balance{};
        std::string message;
        bool learned = false;
        try
        {
            aubrevane::offline::DecodedAudio audio;
            learned =
                aubrevane::offline::decodeAudioFile(path, audio, message, aubrevane::offline::kMaxReferenceSeconds,
                                                    &plugin->learnCancelRequested) &&
                aubrevane::offline::measureBalance(audio.samples, audio.sampleRate, balance, message,
                                                   &plugin->learnCancelRequested);
        }
        catch (const std::exception&)
        {
            // A huge or lying file can exhaust memory; to the user it is a file that could not be read.
            learned = false;
            message = "could not read " + std::filesystem::path(path).filename().string();
        }

        if (plugin->learnCancelRequested.load())
        {
            plugin->learnState.store(kLearnIdle); // the instance is closing: publish nothing
            return;
        }
        if (learned)
        {
            const TargetValues shown = plugin->offsetsForBalance(balance);
            plugin->fileBalance.write(shown);
            {
                // The state chunk reads the name and the published target under this lock, so a state saved now
                // pairs the file's name with its target; both change before the request is raised.
                std::lock_guard lock(plugin->labelMutex);
                plugin->referenceLabel = std::filesystem::path(path).filename().string();
                claimAndWrite(plugin->publishedTarget, shown);
            }
            plugin->postTargetRequest(plugin->fileBalancePending);
            plugin->learnState.store(kLearnIdle);
            return;
        }
        {
            std::lock_guard lock(plugin->labelMutex);
            plugin->learnError = message;
        }
        plugin->learnState.store(kLearnFailed);
    }
    catch (...)
    {
        // Only storing the outcome can have thrown (no memory for a string); say so if even that is possible now.
        try
        {
            std::lock_guard lock(plugin->labelMutex);
            plugin->learnError = "the analysis failed";
        }
        catch (...)
        {
        }
        plugin->learnState.store(kLearnFailed);
    }
}

std::filesystem::path Aubrevane::targetDirectory() const
{
    WDL_String base;
    iplug::AppSupportPath(base);
    return aubrevane::offline::userTargetDirectory(base.Get());
}

std::filesystem::path Aubrevane::targetFileForSave(const std::string& name) const
{
    const std::string trimmed = withoutOuterBlanks(name);
    const std::filesystem::path folder = targetDirectory();
    if (trimmed.empty() || !folder.is_absolute())
        return {};
    return aubrevane::offline::targetPathForName(folder, trimmed);
}

std::vector<SavedTarget> Aubrevane::savedTargets() const
{
    try
    {
        return aubrevane::offline::listTargets(targetDirectory());
    }
    catch (const std::exception&)
    {
        return {};
    }
}

std::string Aubrevane::defaultTargetName()
{
    const std::string reference = referenceName();
    if (reference.empty())
        return "Learned target";
    if (aubrevane::offline::isReferenceFileName(reference))
        return std::filesystem::path(reference).stem().string();
    return reference;
}

void Aubrevane::loadTarget(const SavedTarget& target)
{
    try
    {
        loadTargetFile(target);
    }
    catch (const std::exception& error)
    {
        tell(std::string("Could not load the target: ") + error.what(), "Load target");
    }
}

void Aubrevane::saveTarget(const std::string& name)
{
    try
    {
        saveTargetFile(name);
    }
    catch (const std::exception& error)
    {
        tell(std::string("Could not save the target: ") + error.what(), "Save target");
    }
}

void Aubrevane::removeTarget(const SavedTarget& target)
{
    try
    {
        removeTargetFile(target);
    }
    catch (const std::exception& error)
    {
        tell(std::string("Could not delete the target: ") + error.what(), "Delete target");
    }
}

void Aubrevane::loadTargetFile(const SavedTarget& target)
{
    SavedTarget copy = target;
    if (!copy.factory)
    {
        // The file as it is now counts, its name included.
        std::string message;
        if (!aubrevane::offline::readTarget(target.path, copy, message))
        {
            tell("Could not load the target: " + message, "Load target");
            return;
        }
    }
    {
        std::lock_guard lock(labelMutex);
        referenceLabel = copy.name;
    }
    dropLearnFailure();
    // Shown at once, like a restored target. Published before the request is raised, so that the block taking the
    // request publishes last; it installs these same offsets.
    const TargetValues offsets = offsetsForBalance(copy.balance);
    claimAndWrite(publishedTarget, offsets);
    loadedBalance.write(offsets);
    postTargetRequest(loadedTargetPending);
}

void Aubrevane::saveTargetFile(const std::string& name)
{
    const std::string trimmed = withoutOuterBlanks(name);
    if (trimmed.empty())
        return;
    TargetValues target;
    if (!publishedTarget.read(target, kPublishedReadAttempts) || !target.valid)
    {
        tell("There is no learned target to save. Learn one from the input or a reference file first.", "Save target");
        return;
    }

    const std::filesystem::path folder = targetDirectory();
    if (const std::filesystem::path path = targetFileForSave(trimmed); !path.empty())
    {
        // A name whose file holds another target gets a numbered sibling, so only this very name is ever replaced.
        std::error_code error;
        if (std::filesystem::exists(std::filesystem::symlink_status(path, error)) &&
            !ask("A target named \"" + trimmed + "\" already exists. Replace it?", "Save target"))
            return;
    }

    std::string source = referenceName();
    if (source.empty())
        source = "input";
    std::string message;
    if (!aubrevane::offline::writeTarget(folder, trimmed, source, target.balance, message))
        tell("Could not save the target: " + message, "Save target");
}

void Aubrevane::removeTargetFile(const SavedTarget& target)
{
    if (!ask("Delete the target \"" + target.name + "\"? This cannot be undone.", "Delete target"))
        return;
    std::string message;
    if (!wendlebrak::files::deleteNamedFile(target.path, message))
        tell("Could not delete the target: " + message, "Delete target");
}
