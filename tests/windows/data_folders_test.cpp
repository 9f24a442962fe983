// The data folders and layout.ini under a test LOCALAPPDATA: where everything lives, what is
// created, the "." stand-in, the brand-image search, the photo lookup on disk, and layout.ini
// written, read back and kept when a write fails.
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

TEST_F(DataFolders, EverythingLivesBelowLocalAppDataAndEnsureCreatesTheWallFolders) {
    EXPECT_EQ(wallFolder(), wall_);
    EXPECT_EQ(uploadsFolder(), wall_ + "\\uploads");
    EXPECT_EQ(brandLogoPath(), utf8ToWide(wall_ + "\\brand-logo.png"));
    ensureDataFolders();
    ensureDataFolders();  // again: existing folders are fine
    for (const char* folder : {"", "\\server", "\\web", "\\uploads"}) {
        EXPECT_TRUE(folderExists(wall_ + folder)) << wall_ + folder;
    }
}

TEST(DataFoldersWithoutLocalAppData, TheCurrentFolderStandsInForReadingAndWriting) {
    TempFolder cwd;
    ScopedCurrentFolder inside(cwd.path());
    {
        ScopedEnvironment unset("LOCALAPPDATA", nullptr);
        EXPECT_EQ(wallFolder(), ".\\LUMVO\\video-wall");
        WallSettings saved;
        saved.theme = "event";
        ASSERT_TRUE(saveSettings(saved));
        EXPECT_TRUE(fileExists(cwd / "LUMVO\\video-wall\\layout.ini"));
        EXPECT_TRUE(folderExists(cwd / "LUMVO\\video-wall\\uploads"));
        WallSettings loaded;
        loadSettings(loaded);
        EXPECT_EQ(loaded.theme, "event");
        EXPECT_TRUE(findAsset(L"lumvo-mark.png").empty());
    }
    // 260 bytes or more do not fit the buffer the path is read into.
    const std::string tooLong = "C:\\" + std::string(257, 'x');
    ScopedEnvironment longValue("LOCALAPPDATA", tooLong.c_str());
    EXPECT_EQ(wallFolder(), ".\\LUMVO\\video-wall");
}

TEST_F(DataFolders, FindAssetPrefersTheBrandFolderOverTheWallFilesBrandFolder) {
    makeFolders(wall_ + "\\brand");
    makeFolders(wall_ + "\\web\\brand");
    EXPECT_TRUE(findAsset(L"lumvo-mark.png").empty());
    writeBytes(wall_ + "\\web\\brand\\lumvo-mark.png", "shipped");
    EXPECT_EQ(findAsset(L"lumvo-mark.png"), utf8ToWide(wall_ + "\\web\\brand\\lumvo-mark.png"));
    writeBytes(wall_ + "\\brand\\lumvo-mark.png", "own");
    EXPECT_EQ(findAsset(L"lumvo-mark.png"), utf8ToWide(wall_ + "\\brand\\lumvo-mark.png"));
    EXPECT_TRUE(findAsset(L"other.png").empty());
}

TEST_F(DataFolders, SetMediaFolderTrimsSlashesCreatesTheWholePathAndIgnoresNothing) {
    WallSettings settings;
    settings.mediaDir = "kept";
    setMediaFolder(settings.mediaDir, "");
    EXPECT_EQ(settings.mediaDir, "kept");

    // A nested folder with a non-ASCII name: UTF-8 in the settings, UTF-16 at the file system.
    const std::string chosen = data_.path() + "\\Fotos \xC3\xA9t\xC3\xA9\\night 1";
    setMediaFolder(settings.mediaDir, chosen + "\\/\\");
    EXPECT_EQ(settings.mediaDir, chosen);
    const DWORD attributes = GetFileAttributesW(utf8ToWide(chosen).c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));

    setMediaFolder(settings.mediaDir, "\\\\//");
    EXPECT_EQ(settings.mediaDir, defaultMediaFolder());
    EXPECT_NE(GetFileAttributesW(utf8ToWide(defaultMediaFolder()).c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(DataFolders, ThePhotoLookupSearchesTheMediaFolderFirstAndNeverFollowsDotDot) {
    ensureDataFolders();
    TempFolder media;
    writeBytes(uploadsFolder() + "\\p1.jpg", "from uploads");
    writeBytes(wall_ + "\\p2.jpg", "from the wall folder");
    EXPECT_EQ(readPhotoFromDisk("/uploads/p1.jpg?v=3", media.path()).value_or("none"), "from uploads");
    EXPECT_EQ(readPhotoFromDisk("p2.jpg", media.path()).value_or("none"), "from the wall folder");
    const std::string jpeg("\xFF\xD8\xFF\x00media", 9);
    writeBytes(media / "p1.jpg", jpeg);
    EXPECT_EQ(readPhotoFromDisk("/uploads/p1.jpg", media.path()).value_or("none"), jpeg);

    // Only the name counts, so a reference cannot climb out of the searched folders, and a name
    // with ".." is refused even where such a file exists.
    writeBytes(data_ / "secret.jpg", "secret");
    EXPECT_FALSE(readPhotoFromDisk("/uploads/..\\..\\..\\secret.jpg", media.path()).has_value());
    writeBytes(uploadsFolder() + "\\..p3.jpg", "dots");
    EXPECT_FALSE(readPhotoFromDisk("/uploads/..p3.jpg", media.path()).has_value());
    EXPECT_FALSE(readPhotoFromDisk("/uploads/missing.jpg", media.path()).has_value());
}

TEST_F(DataFolders, LayoutIniIsReadBackWholeAndWithoutOneTheDefaultsStay) {
    WallSettings loaded, expected;
    loadSettings(loaded);
    expected.mediaDir = defaultMediaFolder();
    EXPECT_EQ(formatSettingsFile(loaded), formatSettingsFile(expected));
    EXPECT_TRUE(folderExists(defaultMediaFolder())) << "loading makes the media folder";

    WallSettings saved;
    saved.enable = 0;
    saved.hotNeed = 17;
    saved.theme = "lounge";
    saved.chat = {0.60f, 0.10f, 0.30f, 0.70f};
    saved.tipLink = "https://pay.example/dj?amount=5%25";
    saved.mediaDir = "D:\\Photos\\Night \xC3\xA9t\xC3\xA9";  // last line: its CR LF must not stick
    ASSERT_TRUE(saveSettings(saved));
    EXPECT_EQ(settingsFilePath(), wall_ + "\\layout.ini");
    EXPECT_NE(readBytes(settingsFilePath()).find("theme=lounge\r\nduration="), std::string::npos) << "CR LF lines";
    EXPECT_FALSE(fileExists(settingsFilePath() + ".new"));
    loadSettings(loaded);
    EXPECT_EQ(formatSettingsFile(loaded), formatSettingsFile(saved));
}

TEST_F(DataFolders, ALayoutIniWriteThatFailsLeavesThePreviousFileAsItWas) {
    WallSettings first;
    first.theme = "wedding";
    ASSERT_TRUE(saveSettings(first));
    const std::string before = readBytes(settingsFilePath());

    // The side file cannot be made (a folder has its name): nothing is written, nothing is lost.
    ASSERT_TRUE(CreateDirectoryA((settingsFilePath() + ".new").c_str(), nullptr));
    WallSettings second;
    second.theme = "garden";
    EXPECT_FALSE(saveSettings(second));
    EXPECT_EQ(readBytes(settingsFilePath()), before);
}

}  // namespace
