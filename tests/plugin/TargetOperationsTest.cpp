#include "OperationsSupport.h"
#include "StateBuilder.h"

#include "support/Signals.h"
#include "support/SoundFiles.h"
#include "support/TestFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include <sys/stat.h>

namespace
{

namespace fs = std::filesystem;
using aubrevane::offline::SavedTarget;
using namespace aubrevane::test;
using testing::ElementsAre;

/** The tone display's reading, with the field names the plug-in fills. */
struct Reading
{
    double sampleRate = 0.0;
    double highPassHertz = 0.0;
    double lowPassHertz = 0.0;
    std::array<float, 12> gainDecibels{};
    std::array<float, 12> bandDecibels{};
    bool aboveThreshold = false, idle = false, bypassed = false, learning = false, targetValid = false;
    bool analysingFile = false, highPassOn = false, lowPassOn = false;
    float learnProgress = 0.0f;
    std::string targetName;
    std::string message;
};

class TargetOperations : public testing::Test
{
protected:
    std::unique_ptr<Aubrevane> plugin = preparedPlugin();
    const fs::path folder = fs::path(std::getenv("XDG_DATA_HOME")) / "Aubrevane" / "Targets";
    const fs::path music = testFolder() / "music";

    void SetUp() override { fs::create_directories(music); }

    Reading reading() const { return plugin->toneDisplayReading<Reading>(); }

    aubrevane::plugin::TargetValues published()
    {
        aubrevane::plugin::TargetValues values;
        EXPECT_TRUE(AubrevaneProbe::published(*plugin).read(values, 100));
        return values;
    }

    SavedTarget savedTarget(const std::string& name)
    {
        for (const auto& target : plugin->savedTargets())
            if (target.name == name)
                return target;
        ADD_FAILURE() << "no saved target " << name;
        return {};
    }
};

TEST_F(TargetOperations, TheFolderIsUnderTheUsersDataFolderAndListingCreatesNothing)
{
    EXPECT_EQ(plugin->targetDirectory(), folder);
    EXPECT_TRUE(plugin->savedTargets().empty());
    EXPECT_FALSE(fs::exists(folder));
}

double distance(const std::array<double, 12>& a, const std::array<double, 12>& b)
{
    double sum = 0.0;
    for (int k = 1; k <= 10; ++k)
        sum += std::fabs(a[k] - b[k]);
    return sum / 10.0;
}

TEST_F(TargetOperations, LearningFromAReferenceFileSteersTheSoundTowardIt)
{
    const double rate = 48000.0;
    const Colour referenceColour = [](double hertz)
    { return peakDecibels(hertz, 400.0, 8.0, 0.7) + peakDecibels(hertz, 6400.0, -8.0, 0.7); };
    const auto reference = pinkNoise(6 * 48000, rate, 3, referenceColour);
    ASSERT_TRUE(writeMonoWav(music / "song.wav", reference, 48000));
    const auto referenceBalance = measureBalance(reference.data(), reference.size(), rate);

    plugin->learnFromFile((music / "song.wav").string());
    ASSERT_TRUE(workerFinished(*plugin));
    ASSERT_EQ(plugin->learningState(), Aubrevane::kLearnIdle) << reading().message;
    EXPECT_EQ(plugin->referenceName(), "song.wav");
    EXPECT_EQ(plugin->defaultTargetName(), "song");
    EXPECT_TRUE(AubrevaneProbe::fileBalancePending(*plugin).load());

    plugin->GetParam(kAmount)->Set(100.0);
    plugin->GetParam(kSpeed)->Set(100.0);
    plugin->GetParam(kMaxBoost)->Set(12.0);
    plugin->GetParam(kMaxCut)->Set(18.0);
    const Colour inputColour = [](double hertz)
    { return peakDecibels(hertz, 400.0, -6.0, 0.7) + peakDecibels(hertz, 6400.0, 6.0, 0.7); };
    const std::size_t total = 24 * 48000, frames = 256;
    const auto input = pinkNoise(total, rate, 11, inputColour);
    std::vector<double> output(total), right(frames), outRight(frames);
    for (std::size_t start = 0; start + frames <= total; start += frames)
    {
        std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(start), frames, right.begin());
        double* inputs[2] = {const_cast<double*>(input.data() + start), right.data()};
        double* outputs[2] = {output.data() + start, outRight.data()};
        plugin->ProcessBlock(inputs, outputs, static_cast<int>(frames));
    }

    // The learned target is the reference's balance, as an independent measurement sees it.
    const auto learned = published();
    ASSERT_TRUE(learned.valid);
    for (int k = 1; k <= 10; ++k)
        EXPECT_NEAR(learned.balance[k], referenceBalance[k], 1.5) << "band " << k;

    const std::size_t settled = 6 * 65536;
    const auto before = measureBalance(input.data() + total - settled, settled, rate);
    const auto after = measureBalance(output.data() + total - settled, settled, rate);
    EXPECT_LT(distance(after, referenceBalance), 0.5 * distance(before, referenceBalance))
        << "input " << distance(before, referenceBalance) << " dB, output " << distance(after, referenceBalance);
}

TEST_F(TargetOperations, AStateSavedAsAnAnalysisEndsPairsTheReferenceNameWithItsTarget)
{
    ASSERT_TRUE(writeMonoWav(music / "song.wav", pinkNoise(3 * 16000, 16000.0, 5), 16000));
    plugin->GetParam(kTilt)->Set(-2.0); // the offsets depend on the parameters the worker reads
    runBlocks(*plugin);
    plugin->learnFromFile((music / "song.wav").string());
    ASSERT_TRUE(workerFinished(*plugin));
    ASSERT_EQ(plugin->learningState(), Aubrevane::kLearnIdle) << reading().message;

    const auto beforeBlock = stateBytes(*plugin);
    EXPECT_TRUE(plugin->hasLearnedTarget());
    runBlocks(*plugin);
    EXPECT_EQ(stateBytes(*plugin), beforeBlock);
}

TEST_F(TargetOperations, AFailedAnalysisShowsItsReasonUntilATargetIsLoaded)
{
    writeFileBytes(music / "notes.txt", "not audio");
    plugin->learnFromFile((music / "notes.txt").string());
    ASSERT_TRUE(workerFinished(*plugin));
    EXPECT_EQ(plugin->learningState(), Aubrevane::kLearnFailed);
    EXPECT_EQ(reading().message, "COULD NOT LEARN: unsupported file type .txt (WAV, AIFF, MP3 or FLAC)");

    plugin->loadTarget(factoryTarget("Female speech"));
    EXPECT_EQ(plugin->learningState(), Aubrevane::kLearnIdle);
    EXPECT_EQ(reading().message, "");
    EXPECT_EQ(plugin->referenceName(), "Female speech");
    EXPECT_EQ(plugin->defaultTargetName(), "Female speech");

    // A short file, and a FIFO that must not hold the worker.
    ASSERT_TRUE(writeMonoWav(music / "short.wav", pinkNoise(48000, 48000.0, 5), 48000));
    plugin->learnFromFile((music / "short.wav").string());
    ASSERT_TRUE(workerFinished(*plugin));
    EXPECT_EQ(reading().message, "COULD NOT LEARN: the file is too short to learn from");
    ASSERT_EQ(mkfifo((music / "pipe.wav").c_str(), 0600), 0);
    plugin->learnFromFile((music / "pipe.wav").string());
    ASSERT_TRUE(workerFinished(*plugin));
    EXPECT_EQ(reading().message, "COULD NOT LEARN: could not read pipe.wav");
    EXPECT_EQ(plugin->referenceName(), "Female speech");
}

TEST_F(TargetOperations, TheFileChooserStartsAnAnalysisOnlyWithAnEditorAndAChosenFile)
{
    plugin->promptForReference(); // no editor: nothing happens
    EXPECT_EQ(plugin->learningState(), Aubrevane::kLearnIdle);

    auto& graphics = openEditor(*plugin);
    graphics.QueueFileDialogAnswer("");
    plugin->promptForReference();
    EXPECT_EQ(plugin->learningState(), Aubrevane::kLearnIdle);
    graphics.QueueFileDialogAnswer((music / "missing.flac").string());
    plugin->promptForReference();
    ASSERT_TRUE(workerFinished(*plugin));
    EXPECT_EQ(reading().message, "COULD NOT LEARN: could not read missing.flac: no such file or directory");
    ASSERT_EQ(graphics.GetFileDialogs().size(), 2u);
    EXPECT_EQ(graphics.GetFileDialogs()[0].extensions, "wav wave aif aiff aifc mp3 flac");
}

TEST_F(TargetOperations, ProposedNamesComeFromTheReference)
{
    EXPECT_EQ(plugin->defaultTargetName(), "Learned target");
    AubrevaneProbe::setReferenceName(*plugin, "take 2.final.AIFF");
    EXPECT_EQ(plugin->defaultTargetName(), "take 2.final");
    AubrevaneProbe::setReferenceName(*plugin, "Voice");
    EXPECT_EQ(plugin->defaultTargetName(), "Voice");
}

TEST_F(TargetOperations, SavingNeedsATargetAndANameAndWritesItsSource)
{
    openEditor(*plugin);
    plugin->saveTarget("  \t ");
    plugin->saveTarget("Voice");
    EXPECT_THAT(boxesShown(*plugin), ElementsAre("Save target: There is no learned target to save. Learn one from the "
                                                 "input or a reference file first."));
    EXPECT_FALSE(fs::exists(folder));

    plugin->loadTarget(factoryTarget("Male speech"));
    runBlocks(*plugin);
    plugin->saveTarget(" Voice\t");
    SavedTarget saved = savedTarget("Voice");
    EXPECT_EQ(saved.source, "Male speech");
    EXPECT_EQ(saved.balance, factoryTarget("Male speech").balance);
    EXPECT_EQ(saved.path, folder / "Voice.avtarget");

    AubrevaneProbe::setReferenceName(*plugin, "");
    plugin->saveTarget("From input");
    EXPECT_EQ(savedTarget("From input").source, "input");
    EXPECT_EQ(boxesShown(*plugin).size(), 1u);

    // A source of 70 KB makes a file that could never be read back.
    AubrevaneProbe::setReferenceName(*plugin, std::string(70'000, 'r'));
    plugin->saveTarget("Wide");
    EXPECT_FALSE(fs::exists(folder / "Wide.avtarget"));
    EXPECT_EQ(boxesShown(*plugin).back(), "Save target: Could not save the target: could not write " +
                                              (folder / "Wide.avtarget").string() +
                                              ": the file would be too large to read back");
}

TEST_F(TargetOperations, ReplacingASavedTargetNeedsAYes)
{
    plugin->loadTarget(factoryTarget("Male speech"));
    runBlocks(*plugin);
    plugin->saveTarget("Voice");
    const auto before = readFileBytes(folder / "Voice.avtarget");
    plugin->loadTarget(factoryTarget("Female speech"));
    runBlocks(*plugin);

    plugin->saveTarget("Voice"); // no editor: counts as no
    EXPECT_EQ(readFileBytes(folder / "Voice.avtarget"), before);
    auto& graphics = openEditor(*plugin);
    graphics.QueueMessageBoxAnswer(iplug::igraphics::kNO);
    plugin->saveTarget("Voice");
    EXPECT_EQ(readFileBytes(folder / "Voice.avtarget"), before);
    graphics.QueueMessageBoxAnswer(iplug::igraphics::kYES);
    plugin->saveTarget("Voice");
    EXPECT_EQ(savedTarget("Voice").balance, factoryTarget("Female speech").balance);

    const std::string question = "Save target: A target named \"Voice\" already exists. Replace it?";
    EXPECT_THAT(boxesShown(*plugin), ElementsAre(question, question));
}

TEST_F(TargetOperations, AnotherNameForTheSameFileNeitherAsksNorOverwrites)
{
    plugin->loadTarget(factoryTarget("Male speech"));
    runBlocks(*plugin);
    openEditor(*plugin);
    plugin->saveTarget("My/voice");
    plugin->saveTarget("My:voice");
    EXPECT_TRUE(boxesShown(*plugin).empty());
    EXPECT_EQ(savedTarget("My/voice").path, folder / "My-voice.avtarget");
    EXPECT_EQ(savedTarget("My:voice").path, folder / "My-voice-1.avtarget");
}

TEST_F(TargetOperations, LoadingRereadsTheFileAndAMissingFileKeepsTheCurrentTarget)
{
    plugin->loadTarget(factoryTarget("Male speech"));
    runBlocks(*plugin);
    plugin->saveTarget("Voice");
    SavedTarget listed = savedTarget("Voice");

    // Changed on disk after listing: the file's name and numbers count.
    writeFileBytes(listed.path, "Aubrevane target 1\nname=Voice two\nbalance=1 2 3 4 5 6 7 8 9 10 11 12\n");
    plugin->loadTarget(listed);
    runBlocks(*plugin);
    EXPECT_EQ(plugin->referenceName(), "Voice two");
    EXPECT_EQ(published().balance[11], 12.0);

    fs::remove(listed.path);
    openEditor(*plugin);
    plugin->loadTarget(listed);
    runBlocks(*plugin);
    EXPECT_THAT(boxesShown(*plugin),
                ElementsAre("Load target: Could not load the target: not an Aubrevane target: Voice"));
    EXPECT_EQ(plugin->referenceName(), "Voice two");
    EXPECT_EQ(published().balance[11], 12.0);
}

TEST_F(TargetOperations, DeletingAsksFirst)
{
    plugin->loadTarget(factoryTarget("Male speech"));
    runBlocks(*plugin);
    plugin->saveTarget("Voice");
    const SavedTarget listed = savedTarget("Voice");

    plugin->removeTarget(listed); // no editor: no
    EXPECT_TRUE(fs::exists(listed.path));
    auto& graphics = openEditor(*plugin);
    graphics.QueueMessageBoxAnswer(iplug::igraphics::kNO);
    plugin->removeTarget(listed);
    EXPECT_TRUE(fs::exists(listed.path));
    graphics.QueueMessageBoxAnswer(iplug::igraphics::kYES);
    plugin->removeTarget(listed);
    EXPECT_FALSE(fs::exists(listed.path));
    graphics.QueueMessageBoxAnswer(iplug::igraphics::kYES);
    plugin->removeTarget(listed);

    const std::string question = "Delete target: Delete the target \"Voice\"? This cannot be undone.";
    EXPECT_THAT(boxesShown(*plugin),
                ElementsAre(question, question, question,
                            "Delete target: Could not delete the target: could not delete Voice.avtarget"));
}

TEST_F(TargetOperations, RequestsWithNoBlockBetweenThemEndAsIfOneHadRun)
{
    // A preset's state that holds a target and its reference name; the parameters are the plug-in's defaults.
    StateSpec preset;
    for (int k = 0; k < 12; ++k)
        preset.headTarget[k] = preset.balance[k] = 0.5 * k - 3.0;
    for (int index = 0; index < aubrevane::plugin::kHeadParamCount; ++index)
        preset.headParams[static_cast<std::size_t>(index)] = plugin->GetParam(index)->GetDefault();
    for (int index = aubrevane::plugin::kHeadParamCount; index < kNumParams; ++index)
        preset.tailParams.push_back(plugin->GetParam(index)->GetDefault());
    const auto presetBytes = aubrevane::test::stateBytes(preset);

    using Action = std::function<void(Aubrevane&)>;
    const Action clear = [](Aubrevane& p) { p.onClearLearnedTarget(); };
    const Action factory = [](Aubrevane& p) { p.loadTarget(factoryTarget("Male speech")); };
    const Action restore = [&](Aubrevane& p) { ASSERT_GT(restoreState(p, presetBytes), 0); };
    struct Sequence
    {
        const char* name;
        std::vector<Action> actions;
    };
    const std::vector<Sequence> sequences = {
        {"clear, preset", {clear, restore}},  {"factory, preset", {factory, restore}},
        {"factory, clear", {factory, clear}}, {"preset, clear", {restore, clear}},
        {"clear, factory", {clear, factory}}, {"learn, clear", {[](Aubrevane& p) { p.onLearnFromInput(); }, clear}}};
    for (const auto& sequence : sequences)
    {
        const auto stepwise = preparedPlugin();
        const auto together = preparedPlugin();
        for (auto* p : {stepwise.get(), together.get()})
        {
            p->loadTarget(factoryTarget("Female speech")); // something to replace
            runBlocks(*p);
        }
        for (const auto& action : sequence.actions)
        {
            action(*stepwise);
            runBlocks(*stepwise);
            action(*together);
        }
        runBlocks(*together);

        const auto& expected = AubrevaneProbe::engine(*stepwise);
        const auto& engine = AubrevaneProbe::engine(*together);
        EXPECT_EQ(engine.targetValid, expected.targetValid) << sequence.name;
        EXPECT_EQ(engine.learning, expected.learning) << sequence.name;
        EXPECT_EQ(engine.targetBalance, expected.targetBalance) << sequence.name;
        EXPECT_EQ(together->referenceName(), stepwise->referenceName()) << sequence.name;
        aubrevane::plugin::TargetValues shown;
        ASSERT_TRUE(AubrevaneProbe::published(*together).read(shown, 100));
        EXPECT_EQ(shown.valid, expected.targetValid) << sequence.name;
        EXPECT_EQ(shown.balance, expected.targetBalance) << sequence.name;
    }
}

TEST_F(TargetOperations, ASettingChangedBeforeTheFirstBlockAppliesOnTopOfEveryRequest)
{
    ASSERT_TRUE(writeMonoWav(music / "song.wav", pinkNoise(3 * 16000, 16000.0, 5), 16000));
    StateSpec oldState; // a version-1 state with its own tilt, so its balance is learned with it
    oldState.version = 1;
    for (int k = 0; k < 12; ++k)
        oldState.headTarget[k] = 0.5 * k - 3.0;
    for (int index = 0; index < aubrevane::plugin::kHeadParamCount; ++index)
        oldState.headParams[static_cast<std::size_t>(index)] = plugin->GetParam(index)->GetDefault();
    oldState.headParams[kTilt] = 1.5;
    StateSpec newState = oldState;
    newState.version = 5;
    for (int k = 0; k < 12; ++k)
        newState.balance[k] = newState.headTarget[k] + 1.0;
    for (int index = aubrevane::plugin::kHeadParamCount; index < kNumParams; ++index)
        newState.tailParams.push_back(plugin->GetParam(index)->GetDefault());

    using Action = std::function<void(Aubrevane&)>;
    const auto restore = [](const StateSpec& spec) -> Action
    { return [bytes = aubrevane::test::stateBytes(spec)](Aubrevane& p) { ASSERT_GT(restoreState(p, bytes), 0); }; };
    const std::vector<std::pair<const char*, Action>> requests = {
        {"version-1 state", restore(oldState)},
        {"version-5 state", restore(newState)},
        {"factory target", [](Aubrevane& p) { p.loadTarget(factoryTarget("Male speech")); }},
        {"reference file",
         [this](Aubrevane& p)
         {
             p.learnFromFile((music / "song.wav").string());
             ASSERT_TRUE(workerFinished(p));
         }},
        {"clear", [](Aubrevane& p)
         {
             p.loadTarget(factoryTarget("Male speech"));
             p.onClearLearnedTarget();
         }}};
    const std::vector<std::pair<const char*, Action>> changes = {
        {"tilt", [](Aubrevane& p) { p.GetParam(kTilt)->Set(6.0); }},
        {"low target", [](Aubrevane& p) { p.GetParam(aubrevane::plugin::regionTargetParam(0))->Set(12.0); }}};

    const auto input = pinkNoise(48000, 48000.0, 9);
    const auto render = [&input](Aubrevane& p)
    {
        std::vector<double> output(input.size()), right(256), outRight(256);
        for (std::size_t start = 0; start + 256 <= input.size(); start += 256)
        {
            std::copy_n(input.begin() + static_cast<std::ptrdiff_t>(start), 256, right.begin());
            double* inputs[2] = {const_cast<double*>(input.data() + start), right.data()};
            double* outputs[2] = {output.data() + start, outRight.data()};
            p.ProcessBlock(inputs, outputs, 256);
        }
        return output;
    };

    for (const auto& [requestName, request] : requests)
        for (const auto& [changeName, change] : changes)
        {
            SCOPED_TRACE(std::string(requestName) + ", then " + changeName);
            // Two renders: the request and a block, its state saved; a new instance restores it, then the change.
            const auto first = preparedPlugin();
            request(*first);
            runBlocks(*first);
            const auto second = preparedPlugin();
            ASSERT_GT(restoreState(*second, stateBytes(*first)), 0);
            change(*second);
            const auto stepwise = render(*second);

            // One render: the request and the change with no block between them.
            const auto together = preparedPlugin();
            request(*together);
            change(*together);
            const auto savedBeforeAudio = stateBytes(*together);
            EXPECT_EQ(render(*together), stepwise);
            EXPECT_EQ(stateBytes(*together), savedBeforeAudio);
            EXPECT_EQ(savedBeforeAudio, stateBytes(*second));
        }
}

} // namespace
