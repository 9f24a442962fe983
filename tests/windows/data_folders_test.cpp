// The data folders under a test LOCALAPPDATA: where everything lives, what is created, the "."
// stand-in, the brand-image search and the photo lookup on disk.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "plugin/win/data_folders.h"
#include "plugin/win/wide_text.h"
#include "test_support.h"

namespace {

using namespace lumvo;
using test::TempFolder;

std::wstring wide(const std::string& s) { return utf8ToWide(s); }

TEST(DataFolders, EverythingLivesBelowLocalAppDataAndEnsureCreatesTheWallFolders) {
    TempFolder data;
    test::ScopedEnvironment env("LOCALAPPDATA", data.path().c_str());
    const std::string wall = data / "LUMVO\\video-wall";
    EXPECT_EQ(wallFolder(), wall);
    EXPECT_EQ(uploadsFolder(), wall + "\\uploads");
    EXPECT_EQ(brandLogoPath(), wide(wall + "\\brand-logo.png"));

    ensureDataFolders();
    for (const std::string& folder : {data / "LUMVO", wall, wall + "\\server", wall + "\\web", wall + "\\uploads"}) {
        EXPECT_TRUE(test::folderExists(folder)) << folder;
    }
    ensureDataFolders();  // again: existing folders are fine
    EXPECT_TRUE(test::folderExists(wall + "\\uploads"));
}

TEST(DataFolders, WithoutAUsableLocalAppDataTheCurrentFolderStandsIn) {
    TempFolder cwd;
    test::ScopedCurrentFolder inside(cwd.path());
    {
        test::ScopedEnvironment unset("LOCALAPPDATA", nullptr);
        EXPECT_EQ(wallFolder(), ".\\LUMVO\\video-wall");
        ensureDataFolders();
        EXPECT_TRUE(test::folderExists(cwd / "LUMVO\\video-wall\\uploads"));
        EXPECT_TRUE(findAsset(L"lumvo-mark.png").empty());
    }
    {
        // 260 bytes or more do not fit the buffer the path is read into.
        const std::string tooLong = "C:\\" + std::string(257, 'x');
        test::ScopedEnvironment longValue("LOCALAPPDATA", tooLong.c_str());
        EXPECT_EQ(wallFolder(), ".\\LUMVO\\video-wall");
    }
}

TEST(DataFolders, FindAssetPrefersTheBrandFolderOverTheWallFilesBrandFolder) {
    TempFolder data;
    test::ScopedEnvironment env("LOCALAPPDATA", data.path().c_str());
    const std::string own = data / "LUMVO\\video-wall\\brand";
    const std::string shipped = data / "LUMVO\\video-wall\\web\\brand";
    test::makeFolders(own);
    test::makeFolders(shipped);

    EXPECT_TRUE(findAsset(L"lumvo-mark.png").empty());
    test::writeBytes(shipped + "\\lumvo-mark.png", "shipped");
    EXPECT_EQ(findAsset(L"lumvo-mark.png"), wide(shipped + "\\lumvo-mark.png"));
    test::writeBytes(own + "\\lumvo-mark.png", "own");
    EXPECT_EQ(findAsset(L"lumvo-mark.png"), wide(own + "\\lumvo-mark.png"));
    EXPECT_TRUE(findAsset(L"other.png").empty());
}

TEST(DataFolders, SetMediaFolderTrimsSlashesCreatesTheWholePathAndIgnoresNothing) {
    TempFolder data;
    test::ScopedEnvironment env("LOCALAPPDATA", data.path().c_str());
    WallSettings settings;
    settings.mediaDir = "kept";
    setMediaFolder(settings, "");
    EXPECT_EQ(settings.mediaDir, "kept");

    // A nested folder with a non-ASCII name: UTF-8 in the settings, UTF-16 at the file system.
    const std::string chosen = data.path() + "\\Fotos \xC3\xA9t\xC3\xA9\\night 1";
    setMediaFolder(settings, chosen + "\\/\\");
    EXPECT_EQ(settings.mediaDir, chosen);
    const DWORD attributes = GetFileAttributesW(wide(chosen).c_str());
    EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);

    setMediaFolder(settings, "\\\\//");
    EXPECT_EQ(settings.mediaDir, defaultMediaFolder());
    EXPECT_NE(GetFileAttributesW(wide(defaultMediaFolder()).c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(DataFolders, ThePhotoLookupSearchesTheMediaFolderFirstAndNeverFollowsDotDot) {
    TempFolder data;
    test::ScopedEnvironment env("LOCALAPPDATA", data.path().c_str());
    ensureDataFolders();
    TempFolder media;
    const std::string wall = wallFolder();
    test::writeBytes(uploadsFolder() + "\\p1.jpg", "from uploads");
    test::writeBytes(wall + "\\p2.jpg", "from the wall folder");

    auto found = readPhotoFromDisk("/uploads/p1.jpg?v=3", media.path());
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found, "from uploads");
    EXPECT_EQ(readPhotoFromDisk("p2.jpg", media.path()).value_or(""), "from the wall folder");

    test::writeBytes(media / "p1.jpg", std::string("\xFF\xD8\xFF\x00media", 9));
    EXPECT_EQ(readPhotoFromDisk("/uploads/p1.jpg", media.path()).value_or(""), std::string("\xFF\xD8\xFF\x00media", 9));

    // Only the name counts, so a reference cannot climb out of the searched folders ...
    test::writeBytes(data / "secret.jpg", "secret");
    EXPECT_FALSE(readPhotoFromDisk("/uploads/..\\..\\..\\secret.jpg", media.path()).has_value());
    // ... and a name with ".." is refused even where such a file exists.
    test::writeBytes(uploadsFolder() + "\\..p3.jpg", "dots");
    EXPECT_FALSE(readPhotoFromDisk("/uploads/..p3.jpg", media.path()).has_value());
    EXPECT_FALSE(readPhotoFromDisk("/uploads/..", media.path()).has_value());
    EXPECT_FALSE(readPhotoFromDisk("/uploads/missing.jpg", media.path()).has_value());
    EXPECT_FALSE(readPhotoFromDisk("", media.path()).has_value());
}

TEST(DataFolders, TheModuleFolderIsWhereTheCodeWasLoadedFrom) {
    // Linked into this test program, the shell's module is the program itself.
    EXPECT_EQ(ownModuleHandle(), GetModuleHandleA(nullptr));
    EXPECT_EQ(moduleFolder(), test::programFolder());
}

}  // namespace
