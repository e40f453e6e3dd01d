#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace
{

/** Points the user's data folders at a fresh temporary folder for every test, and removes it afterwards. */
class DataFolderPerTest : public testing::EmptyTestEventListener
{
public:
    void OnTestStart(const testing::TestInfo&) override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "aubrevane-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        folder = pattern;
        setenv("XDG_DATA_HOME", (folder / "data").c_str(), 1);
        setenv("WENDLEBRAK_DATA_DIR", (folder / "wendlebrak").c_str(), 1);
        setenv("AUBREVANE_TEST_FOLDER", folder.c_str(), 1);
        unsetenv("WENDLEBRAK_UPDATES_URL");
        setenv("no_proxy", "*", 1);
        std::filesystem::create_directories(folder / "data");
    }

    void OnTestEnd(const testing::TestInfo&) override
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

private:
    std::filesystem::path folder;
};

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleMock(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new DataFolderPerTest);
    return RUN_ALL_TESTS();
}
