#include "framework/igraphics/LinkOpener.h"

#include "support/StubXdgOpen.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cerrno>
#include <filesystem>
#include <string>

using aubrevane::test::stubXdgOpenFolder;
using aubrevane::test::xdgOpenArguments;
using iplug::igraphics::LinkOpening;
using iplug::igraphics::openLink;

TEST(LinkOpener, StartsXdgOpenFromTheSearchPathWithTheLinkAsItsOnlyArgumentAndLeavesNoChild)
{
    const std::string link = "https://example.invalid/page?q=$(touch%20x)&r=`id`;x";
    const std::filesystem::path bin = stubXdgOpenFolder();
    EXPECT_EQ(openLink(link, "/nonexistent:" + bin.string()), LinkOpening::kStarted);
    EXPECT_EQ(xdgOpenArguments(), "1\n" + link + "\n");
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(LinkOpener, OnlyWebLinksGoOut)
{
    const std::string path = stubXdgOpenFolder().string();
    for (const char* link : {"file:///etc/passwd", "javascript:alert(1)", "ftp://example.invalid/",
                             "https:", "https://example.invalid/a b", "https://example.invalid/\nopen: elsewhere"})
        EXPECT_EQ(openLink(link, path), LinkOpening::kRefused) << link;
    EXPECT_EQ(openLink("HTTP://example.invalid/", "/nonexistent"), LinkOpening::kNoOpener);
}

TEST(LinkOpener, NeverRunsAnOpenerFromTheWorkingFolder)
{
    const std::filesystem::path bin = stubXdgOpenFolder();
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(bin);
    for (const char* path : {"", ":", ".", "../bin", "/nonexistent:", ":/nonexistent"})
        EXPECT_EQ(openLink("https://example.invalid/", path), LinkOpening::kNoOpener) << '"' << path << '"';
    std::filesystem::current_path(before);
    EXPECT_FALSE(std::filesystem::exists(bin.parent_path() / "xdg-open-args.txt"));
}
