#pragma once

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace aubrevane::test
{

/** A program run in the background with stdout silenced and stderr sent to a file; stopped when the test ends. */
class ChildProcess
{
public:
    /** `prepare` runs in the child before the program starts (environment and signal changes). */
    ChildProcess(const std::vector<std::string>& argv, const std::filesystem::path& errors,
                 const std::function<void()>& prepare = nullptr)
    {
        pid = fork();
        if (pid != 0)
            return;
        prctl(PR_SET_PDEATHSIG, SIGTERM); // a crashed test leaves no program behind
        if (prepare)
            prepare();
        dup2(open("/dev/null", O_WRONLY), STDOUT_FILENO);
        dup2(open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
        std::vector<char*> pointers;
        for (const std::string& argument : argv)
            pointers.push_back(const_cast<char*>(argument.c_str()));
        pointers.push_back(nullptr);
        execv(pointers[0], pointers.data());
        _exit(127);
    }
    ~ChildProcess()
    {
        if (pid > 0)
        {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    void sendSignal(int number) const { kill(pid, number); }

    /** Waits until the program holds open a new file in `folder` that has no name yet; false when it never did. */
    bool awaitUnnamedFileIn(const std::filesystem::path& folder) const
    {
        for (int i = 0; i < kAwaitPolls && !writesUnnamedFileIn(folder); ++i)
            usleep(kPollMilliseconds * 1000);
        return writesUnnamedFileIn(folder);
    }

    /** Whether the program holds open a new file in `folder` that has no name yet: an output under way. */
    bool writesUnnamedFileIn(const std::filesystem::path& folder) const
    {
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ignored))
        {
            const std::string target = std::filesystem::read_symlink(entry.path(), ignored).string();
            if (target.starts_with((folder / "#").string()) && target.ends_with(" (deleted)"))
                return true;
        }
        return false;
    }

    /** The exit code once the program has ended within `milliseconds` (-1 when it did not end normally); nothing
     *  while it still runs. */
    std::optional<int> waitUpTo(int milliseconds)
    {
        for (int waited = 0;; waited += kPollMilliseconds)
        {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid)
            {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            if (waited >= milliseconds)
                return std::nullopt;
            usleep(kPollMilliseconds * 1000);
        }
    }

    /** The exit code, or -1 when it did not end normally. */
    int wait()
    {
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    static constexpr int kPollMilliseconds = 5, kAwaitPolls = 2000;
    pid_t pid = -1;
};

/** Copies of the host program and of its plug-in bundle, side by side. */
struct HostCopy
{
    std::filesystem::path program, bundle;
};

/** Copies the host program `host` and the plug-in bundle beside it into a new folder `folder`, all open to every user,
 *  so that a user who cannot reach the build folder (a checkout in a private folder) can run the host. */
inline HostCopy hostCopyForEveryUser(const std::filesystem::path& host, const std::filesystem::path& folder)
{
    namespace fs = std::filesystem;
    constexpr auto kOpenToAll = fs::perms(0755);
    const HostCopy copy{folder / host.filename(), folder / "Aubrevane.so"};
    fs::create_directories(folder);
    fs::permissions(folder, kOpenToAll);
    for (const auto& [from, to] :
         {std::pair{host, copy.program}, std::pair{host.parent_path() / "Aubrevane.so", copy.bundle}})
    {
        fs::copy_file(from, to);
        fs::permissions(to, kOpenToAll);
    }
    return copy;
}

/** A `prepare` for ChildProcess: run as nobody, in no group of root's, when started as root, whom no permission
 *  check stops. */
inline void runAsNobodyUnderRoot()
{
    constexpr uid_t kNobody = 65534;
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0))
        _exit(126);
}

/** A `prepare` for ChildProcess: the program may write no file beyond `bytes` bytes. */
inline std::function<void()> limitFileSize(rlim_t bytes)
{
    return [bytes]
    {
        const rlimit limit{bytes, bytes};
        setrlimit(RLIMIT_FSIZE, &limit);
    };
}

} // namespace aubrevane::test
