#pragma once

#include <cstdlib>
#include <filesystem>

namespace aubrevane::test
{

/** The temporary folder the test main made for the running test; it is removed when the test ends. */
inline std::filesystem::path testFolder()
{
    const char* folder = std::getenv("AUBREVANE_TEST_FOLDER");
    return folder ? std::filesystem::path(folder) : std::filesystem::temp_directory_path();
}

/** While it lives, the working folder is a fresh, empty one in the test's folder, so what a relative name reaches
 *  shows up there rather than wherever the test program was started. */
class FreshWorkingFolder
{
public:
    FreshWorkingFolder() : previous(std::filesystem::current_path()), folder(testFolder() / "working-folder")
    {
        std::filesystem::create_directories(folder);
        std::filesystem::current_path(folder);
    }
    ~FreshWorkingFolder() { std::filesystem::current_path(previous); }
    FreshWorkingFolder(const FreshWorkingFolder&) = delete;
    FreshWorkingFolder& operator=(const FreshWorkingFolder&) = delete;

    bool empty() const { return std::filesystem::is_empty(folder); }

private:
    std::filesystem::path previous, folder;
};

} // namespace aubrevane::test
