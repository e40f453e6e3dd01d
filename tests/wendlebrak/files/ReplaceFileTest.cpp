#include "wendlebrak/files/Files.h"
#include "wendlebrak/files/SystemCalls.h"

#include "support/FileBytes.h"
#include "support/TestFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fstream>
#include <iterator>
#include <optional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using aubrevane::test::readFileBytes;
using aubrevane::test::writeFileBytes;
using wendlebrak::files::replaceFile;
using wendlebrak::files::SystemCalls;
using wendlebrak::files::systemCalls;

namespace
{

/** The literal's bytes, embedded zeros included. */
template <std::size_t N> std::string bytesOf(const char (&literal)[N])
{
    return std::string(literal, N - 1);
}

const std::string kOldBytes = bytesOf("Aubrevane preset 1\nname=Old\r\nstate=AAEC\n\0\xFF");
const std::string kNewBytes = bytesOf("Aubrevane preset 1\nname=New\nstate=\0\x80\r\n") + std::string(5000, 'z');

std::vector<std::string> folderEntries(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class ReplaceFile : public testing::Test
{
protected:
    const fs::path folder = aubrevane::test::testFolder() / "data" / "Aubrevane" / "Presets";
    const fs::path file = folder / "Vocal.avpreset";

    void SetUp() override { fs::create_directories(folder); }

    void expectFailureLeftOldFile(bool written, const std::string& message, const std::string& reason)
    {
        EXPECT_FALSE(written);
        EXPECT_EQ(message, "could not write " + file.string() + ": " + reason);
        EXPECT_EQ(readFileBytes(file), kOldBytes);
        EXPECT_THAT(folderEntries(folder), testing::ElementsAre("Vocal.avpreset"));
    }
};

TEST_F(ReplaceFile, WritesTheTextByteForByteAndCreatesMissingFolders)
{
    const fs::path deep = aubrevane::test::testFolder() / "new" / "a" / "b" / "Fresh.avtarget";
    std::string message;
    ASSERT_TRUE(replaceFile(deep, kNewBytes, message)) << message;
    EXPECT_EQ(readFileBytes(deep), kNewBytes);
    EXPECT_THAT(folderEntries(deep.parent_path()), testing::ElementsAre("Fresh.avtarget"));
}

TEST_F(ReplaceFile, ReplacesTheOldContents)
{
    writeFileBytes(file, kOldBytes);
    std::string message;
    ASSERT_TRUE(replaceFile(file, kNewBytes, message)) << message;
    EXPECT_EQ(readFileBytes(file), kNewBytes);
    ASSERT_TRUE(replaceFile(file, "", message)) << message;
    EXPECT_EQ(readFileBytes(file), "");
    EXPECT_THAT(folderEntries(folder), testing::ElementsAre("Vocal.avpreset"));
}

TEST_F(ReplaceFile, NeverWritesThroughALinkPlantedAsTheTemporaryFile)
{
    const fs::path victim = aubrevane::test::testFolder() / "victim";
    writeFileBytes(victim, "precious");
    writeFileBytes(file, kOldBytes);
    fs::create_symlink(victim, file.string() + ".partial");
    std::string message;
    ASSERT_TRUE(replaceFile(file, kNewBytes, message)) << message;
    EXPECT_EQ(readFileBytes(victim), "precious");
    EXPECT_EQ(readFileBytes(file), kNewBytes);
    EXPECT_THAT(folderEntries(folder), testing::ElementsAre("Vocal.avpreset"));
}

TEST_F(ReplaceFile, ALeftoverTemporaryFileDoesNotBlockTheSave)
{
    writeFileBytes(file.string() + ".partial", "half a preset from a crash");
    std::string message;
    ASSERT_TRUE(replaceFile(file, kNewBytes, message)) << message;
    EXPECT_EQ(readFileBytes(file), kNewBytes);
    EXPECT_THAT(folderEntries(folder), testing::ElementsAre("Vocal.avpreset"));
}

TEST_F(ReplaceFile, ARelativePathIsNeverWritten)
{
    const fs::path previous = fs::current_path();
    fs::current_path(folder);
    std::string message;
    const bool written = replaceFile(fs::path("Aubrevane") / "x.avpreset", kNewBytes, message);
    const bool writtenWithoutFolder = replaceFile("y.avpreset", kNewBytes, message);
    fs::current_path(previous);
    EXPECT_FALSE(written);
    EXPECT_FALSE(writtenWithoutFolder);
    EXPECT_EQ(message, "could not write y.avpreset");
    EXPECT_TRUE(fs::is_empty(folder));
}

TEST_F(ReplaceFile, AFolderThatIsARegularFileFails)
{
    writeFileBytes(aubrevane::test::testFolder() / "blocker", "not a folder");
    const fs::path inside = aubrevane::test::testFolder() / "blocker" / "Presets" / "x.avpreset";
    std::string message;
    EXPECT_FALSE(replaceFile(inside, kNewBytes, message));
    EXPECT_EQ(message, "could not write " + inside.string() + ": not a directory");
    EXPECT_EQ(readFileBytes(aubrevane::test::testFolder() / "blocker"), "not a folder");
}

TEST_F(ReplaceFile, ADestinationThatIsAFolderIsLeftAlone)
{
    fs::create_directory(file);
    writeFileBytes(file / "inside", "keep");
    std::string message;
    EXPECT_FALSE(replaceFile(file, kNewBytes, message));
    EXPECT_EQ(message, "could not write " + file.string() + ": is a directory");
    EXPECT_EQ(readFileBytes(file / "inside"), "keep");
    EXPECT_THAT(folderEntries(folder), testing::ElementsAre("Vocal.avpreset"));
}

TEST_F(ReplaceFile, AFileSizeLimitHitMidWriteLeavesTheOldFile)
{
    writeFileBytes(file, kOldBytes);
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
    {
        // With SIGXFSZ ignored, a write past the limit fails with EFBIG instead of killing the process.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{100, 100};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::string message;
        const bool written = replaceFile(file, kNewBytes, message);
        const std::string report = (written ? "1" : "0") + message;
        [[maybe_unused]] const auto sent = write(pipeEnds[1], report.data(), report.size());
        _exit(0);
    }
    close(pipeEnds[1]);
    std::string report;
    char buffer[512];
    for (ssize_t count; (count = read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, static_cast<std::size_t>(count));
    close(pipeEnds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_FALSE(report.empty());
    expectFailureLeftOldFile(report[0] == '1', report.substr(1), "file too large");
}

/** Swaps the system calls replaceFile uses, recording each and failing the ones a test names. */
class ReplaceFileWithInjectedCalls : public ReplaceFile
{
protected:
    struct Injection
    {
        std::string failing;
        std::size_t maxWriteBytes = 0; // 0: whole writes
        bool interruptEveryOtherWrite = false;
        int writes = 0;
        std::vector<std::string> trace;
    };
    static Injection& injection()
    {
        static Injection state;
        return state;
    }
    static bool fails(const char* call)
    {
        injection().trace.push_back(call);
        return injection().failing == call;
    }

    void SetUp() override
    {
        ReplaceFile::SetUp();
        saved = systemCalls();
        injection() = Injection{};
        const SystemCalls& real = wendlebrak::files::realSystemCalls();
        static const SystemCalls* realCalls = &real;
        systemCalls() = SystemCalls{
            [](const char* path, int flags, mode_t mode)
            {
                if (fails("open"))
                    return errno = EACCES, -1;
                return realCalls->open(path, flags, mode);
            },
            [](int descriptor, const void* data, size_t size) -> ssize_t
            {
                if (fails("write"))
                    return errno = ENOSPC, -1;
                if (injection().interruptEveryOtherWrite && injection().writes++ % 2 == 0)
                    return errno = EINTR, -1;
                if (injection().maxWriteBytes > 0)
                    size = std::min(size, injection().maxWriteBytes);
                return realCalls->write(descriptor, data, size);
            },
            [](int descriptor)
            {
                if (fails("fsync"))
                    return errno = EIO, -1;
                return realCalls->fsync(descriptor);
            },
            [](int descriptor)
            {
                const int closed = realCalls->close(descriptor);
                if (fails("close"))
                    return errno = EIO, -1;
                return closed;
            },
            [](const char* from, const char* to)
            {
                if (fails("rename"))
                    return errno = EXDEV, -1;
                return realCalls->rename(from, to);
            },
            [](const char* path)
            {
                injection().trace.push_back("unlink");
                return realCalls->unlink(path);
            },
        };
    }
    void TearDown() override { systemCalls() = saved; }

private:
    SystemCalls saved{};
};

TEST_F(ReplaceFileWithInjectedCalls, SyncsTheFileBeforeTheRenameAndTheFolderAfterIt)
{
    std::string message;
    ASSERT_TRUE(replaceFile(file, kNewBytes, message)) << message;
    EXPECT_THAT(injection().trace,
                testing::ElementsAre("unlink", "open", "write", "fsync", "close", "rename", "open", "fsync", "close"));
    EXPECT_EQ(readFileBytes(file), kNewBytes);
}

TEST_F(ReplaceFileWithInjectedCalls, ShortAndInterruptedWritesStillWriteEverything)
{
    injection().maxWriteBytes = 7;
    injection().interruptEveryOtherWrite = true;
    std::string message;
    ASSERT_TRUE(replaceFile(file, kNewBytes, message)) << message;
    EXPECT_EQ(readFileBytes(file), kNewBytes);
    EXPECT_GT(injection().writes, 1000);
}

struct FailingStep
{
    const char* call;
    const char* reason; // the errno the injected call sets, as the message reads it
    friend void PrintTo(const FailingStep& step, std::ostream* os) { *os << step.call; }
};

class EachStepFailing : public ReplaceFileWithInjectedCalls, public testing::WithParamInterface<FailingStep>
{
};

TEST_P(EachStepFailing, LeavesTheOldFileAndNoTemporaryFile)
{
    writeFileBytes(file, kOldBytes);
    injection().failing = GetParam().call;
    std::string message;
    const bool written = replaceFile(file, kNewBytes, message);
    expectFailureLeftOldFile(written, message, GetParam().reason);
    EXPECT_EQ(std::count(injection().trace.begin(), injection().trace.end(), "rename"),
              std::string(GetParam().call) == "rename" ? 1 : 0);
}

TEST_P(EachStepFailing, WritesNothingWhenThereWasNoFile)
{
    injection().failing = GetParam().call;
    std::string message;
    EXPECT_FALSE(replaceFile(file, kNewBytes, message));
    EXPECT_EQ(message, "could not write " + file.string() + ": " + GetParam().reason);
    EXPECT_TRUE(fs::is_empty(folder));
}

INSTANTIATE_TEST_SUITE_P(Steps, EachStepFailing,
                         testing::Values(FailingStep{"open", "permission denied"},
                                         FailingStep{"write", "no space left on device"},
                                         FailingStep{"fsync", "input/output error"},
                                         FailingStep{"close", "input/output error"},
                                         FailingStep{"rename", "invalid cross-device link"}),
                         [](const auto& info) { return std::string(info.param.call); });

} // namespace
