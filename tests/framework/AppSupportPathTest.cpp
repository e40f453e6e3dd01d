#include "framework/AppSupportPath.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace
{

/** Sets an environment variable for one test and puts the old value back. */
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const char* value) : name(name)
    {
        if (const char* old = std::getenv(name))
            previous = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (previous)
            setenv(name, previous->c_str(), 1);
        else
            unsetenv(name);
    }

private:
    const char* name;
    std::optional<std::string> previous;
};

struct PathCase
{
    const char* dataHome;
    const char* home;
    const char* expected;
};

class AppSupportPathCases : public testing::TestWithParam<PathCase>
{
};

TEST_P(AppSupportPathCases, NamesAnAbsoluteFolderOrNone)
{
    ScopedEnv dataHome("XDG_DATA_HOME", GetParam().dataHome);
    ScopedEnv home("HOME", GetParam().home);
    WDL_String path("stale");
    iplug::AppSupportPath(path);
    EXPECT_STREQ(path.Get(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Environment, AppSupportPathCases,
                         testing::Values(PathCase{"/data", "/home/u", "/data"},
                                         PathCase{"relative/data", "/home/u", "/home/u/.local/share"},
                                         PathCase{"", "/home/u", "/home/u/.local/share"},
                                         PathCase{nullptr, "/home/u", "/home/u/.local/share"},
                                         PathCase{nullptr, "relative", ""}, PathCase{nullptr, nullptr, ""}));

} // namespace
