#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace aubrevane::test
{

/** What a program printed and how it ended. */
struct ProgramRun
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

/** `text` quoted for the shell. */
inline std::string shellQuoted(const std::string& text)
{
    std::string result = "'";
    for (const char c : text)
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

inline std::string readText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/** Runs `program` with `args` to its end; its output passes through files in `folder`. */
inline ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                             const std::filesystem::path& folder)
{
    std::string command = shellQuoted(program);
    for (const auto& arg : args)
        command += " " + shellQuoted(arg);
    const auto outFile = folder / "program-stdout.txt", errFile = folder / "program-stderr.txt";
    command += " >" + shellQuoted(outFile.string()) + " 2>" + shellQuoted(errFile.string());
    const int status = std::system(command.c_str());
    ProgramRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = readText(outFile);
    run.err = readText(errFile);
    std::filesystem::remove(outFile);
    std::filesystem::remove(errFile);
    return run;
}

} // namespace aubrevane::test
