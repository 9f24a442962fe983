// The data folders and layout.ini on disk under a test LOCALAPPDATA: the folders made, the "."
// stand-in, the brand-image search, the media folder chosen, the photo lookup, and layout.ini
// written, read back and kept when a write fails. (Which names and folders count is tested natively.)
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "base/win/data_folders.h"
#include "settings/win/settings_store.h"
#include "settings/settings_file.h"
#include "base/win/wide_text.h"
#include "test_support.h"

namespace {

using namespace lumvo;
using namespace lumvo::test;

class DataFolders : public ::testing::Test {
protected:
    TempFolder data_;
    ScopedEnvironment localAppData_{"LOCALAPPDATA", data_.path().c_str()};
    const std::string wall_ = data_ / "LUMVO\\video-wall";
};

TEST_F(DataFolders, BrandImagesAreSoughtInTheBrandFolderFirst) {
    // (The folders load makes below LOCALAPPDATA are checked through the DLL in plugin_abi_test.)
    makeFolders(wall_ + "\\brand");
    makeFolders(wall_ + "\\web\\brand");
    EXPECT_TRUE(findAsset(L"lumvo-mark.png").empty());
    writeBytes(wall_ + "\\web\\brand\\lumvo-mark.png", "shipped");
    EXPECT_EQ(findAsset(L"lumvo-mark.png"), utf8ToWide(wall_ + "\\web\\brand\\lumvo-mark.png"));
    writeBytes(wall_ + "\\brand\\lumvo-mark.png", "own");
    EXPECT_EQ(findAsset(L"lumvo-mark.png"), utf8ToWide(wall_ + "\\brand\\lumvo-mark.png"));
}

TEST(DataFoldersWithoutLocalAppData, TheCurrentFolderStandsIn) {
    TempFolder cwd;
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, previous);
    SetCurrentDirectoryA(cwd.path().c_str());
    {
        ScopedEnvironment unset("LOCALAPPDATA", nullptr);
        EXPECT_EQ(wallFolder(), ".\\LUMVO\\video-wall");
        EXPECT_TRUE(saveSettings(WallSettings{}));
        EXPECT_TRUE(fileExists(cwd / "LUMVO\\video-wall\\layout.ini"));
    }
    // 260 bytes or more do not fit the buffer the variable is read into.
    const std::string tooLong = "C:\\" + std::string(257, 'x');
    ScopedEnvironment longValue("LOCALAPPDATA", tooLong.c_str());
    EXPECT_EQ(wallFolder(), ".\\LUMVO\\video-wall");
    SetCurrentDirectoryA(previous);
}

TEST_F(DataFolders, AChosenMediaFolderIsMadeWholeAndPhotosAreReadFromItFirst) {
    // A nested folder with a non-ASCII name: UTF-8 in the settings, UTF-16 at the file system.
    std::string media = "kept";
    setMediaFolder(media, "");
    EXPECT_EQ(media, "kept");
    const std::string chosen = data_.path() + "\\Fotos \xC3\xA9t\xC3\xA9\\night 1";
    setMediaFolder(media, chosen + "\\/\\");
    EXPECT_EQ(media, chosen);
    const DWORD attributes = GetFileAttributesW(utf8ToWide(chosen).c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));

    ensureDataFolders();
    writeBytes(uploadsFolder() + "\\p1.jpg", "from uploads");
    writeBytes(wall_ + "\\p2.jpg", "from the wall folder");
    EXPECT_EQ(readPhotoFromDisk("/uploads/p1.jpg?v=3", media).value_or("none"), "from uploads");
    EXPECT_EQ(readPhotoFromDisk("p2.jpg", media).value_or("none"), "from the wall folder");
    const std::string jpeg("\xFF\xD8\xFF\x00media", 9);
    std::ofstream(std::filesystem::path(utf8ToWide(chosen + "\\p1.jpg")), std::ios::binary) << jpeg;
    EXPECT_EQ(readPhotoFromDisk("/uploads/p1.jpg", media).value_or("none"), jpeg);
    // A reference cannot climb out of the searched folders.
    writeBytes(data_ / "secret.jpg", "secret");
    EXPECT_FALSE(readPhotoFromDisk("/uploads/..\\..\\..\\secret.jpg", media).has_value());

    setMediaFolder(media, "\\\\//");
    EXPECT_EQ(media, defaultMediaFolder());
}

TEST_F(DataFolders, LayoutIniIsReadBackWholeAndAWriteThatFailsLeavesThePreviousFile) {
    WallSettings loaded, expected;
    loadSettings(loaded);
    expected.mediaDir = defaultMediaFolder();
    EXPECT_EQ(formatSettingsFile(loaded), formatSettingsFile(expected)) << "no file: the defaults";
    EXPECT_TRUE(folderExists(defaultMediaFolder())) << "loading makes the media folder";

    WallSettings saved;
    saved.enable = 0;
    saved.theme = "lounge";
    saved.chat = {0.60f, 0.10f, 0.30f, 0.70f};
    saved.tipLink = "https://pay.example/dj?amount=5%25";
    saved.mediaDir = "D:\\Photos\\Night \xC3\xA9t\xC3\xA9";  // last line: its CR LF must not stick
    ASSERT_TRUE(saveSettings(saved));
    EXPECT_EQ(settingsFilePath(), wall_ + "\\layout.ini");
    const std::string before = readBytes(settingsFilePath());
    EXPECT_NE(before.find("theme=lounge\r\nduration="), std::string::npos) << "CR LF lines";
    EXPECT_FALSE(fileExists(settingsFilePath() + ".new"));
    loadSettings(loaded);
    EXPECT_EQ(formatSettingsFile(loaded), formatSettingsFile(saved));

    // The side file cannot be made (a folder has its name): nothing is written, nothing is lost.
    ASSERT_TRUE(CreateDirectoryA((settingsFilePath() + ".new").c_str(), nullptr));
    saved.theme = "garden";
    EXPECT_FALSE(saveSettings(saved));
    EXPECT_EQ(readBytes(settingsFilePath()), before);
}

}  // namespace
