#include "plugin/data_paths.h"

#include <gtest/gtest.h>

namespace lumvo {
namespace {

TEST(DataPaths, BaseFolderTakesLocalAppDataOnlyWhenItFitsTheBuffer) {
    EXPECT_EQ(dataBaseFolder(std::nullopt), ".");
    EXPECT_EQ(dataBaseFolder(""), ".");
    const std::string longest(259, 'a');  // 259 bytes and the terminator fill the 260-byte buffer
    EXPECT_EQ(dataBaseFolder(longest), longest);
    EXPECT_EQ(dataBaseFolder(longest + "a"), ".");
    EXPECT_EQ(wallFolderUnder(dataBaseFolder(std::nullopt)), ".\\LUMVO\\video-wall");
}

TEST(DataPaths, FolderOfPath) {
    EXPECT_EQ(folderOfPath("C:\\Program Files\\Host\\Plugins64\\wall.dll"), "C:\\Program Files\\Host\\Plugins64");
    EXPECT_EQ(folderOfPath("C:/a\\b/c.dll"), "C:/a\\b");
    EXPECT_EQ(folderOfPath("wall.dll"), "wall.dll");
}

TEST(DataPaths, PhotoFileNameRefusesAnythingThatCouldLeaveTheFolder) {
    EXPECT_EQ(photoFileName("/uploads/a1b2.jpg?v=2"), "a1b2.jpg");
    EXPECT_EQ(photoFileName("C:\\album\\night.png"), "night.png");
    EXPECT_EQ(photoFileName("plain.webp"), "plain.webp");
    EXPECT_EQ(photoFileName("/uploads/"), "");
    EXPECT_EQ(photoFileName("/uploads/?v=1"), "");
    EXPECT_EQ(photoFileName(""), "");
    EXPECT_EQ(photoFileName("/uploads/..jpg"), "");
    EXPECT_EQ(photoFileName(".."), "");
    EXPECT_EQ(photoFileName("/uploads/x..y.png?v=1"), "");
}

TEST(DataPaths, PhotoSearchFoldersKeepTheirOrderWithoutEmptyOnes) {
    EXPECT_EQ(photoSearchFolders("D:\\media", "", "W\\uploads", "W"),
              (std::vector<std::string>{"D:\\media", "W\\uploads", "W"}));
    EXPECT_TRUE(photoSearchFolders("", "", "", "").empty());
}

}  // namespace
}  // namespace lumvo
