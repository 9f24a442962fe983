#include "base/data_paths.h"

#include <gtest/gtest.h>

namespace lumvo {
namespace {

TEST(DataPaths, LocalAppDataCountsOnlyWhenItFitsTheBufferAndFolderOfPathTakesEitherSlash) {
    EXPECT_EQ(dataBaseFolder(std::nullopt), ".");
    EXPECT_EQ(dataBaseFolder(""), ".");
    const std::string longest(259, 'a');  // 259 bytes and the terminator fill the 260-byte buffer
    EXPECT_EQ(dataBaseFolder(longest), longest);
    EXPECT_EQ(dataBaseFolder(longest + "a"), ".");
    EXPECT_EQ(folderOfPath("C:/a\\b/c.dll"), "C:/a\\b");
    EXPECT_EQ(folderOfPath("wall.dll"), "wall.dll");
}

// That no name leaves its folder or names a device is the names fuzz target's property; here, that
// plain names still pass.
TEST(DataPaths, PhotoNamesArePlainFilesOfTheFolderAndEmptyFoldersAreNotSearched) {
    const std::pair<const char*, const char*> cases[] = {
        {"/uploads/a1b2.jpg?v=2", "a1b2.jpg"},
        {"C:\\album\\night.png", "night.png"},
        {"plain.webp", "plain.webp"},
        {"/uploads/CONSOLE.jpg", "CONSOLE.jpg"},
        {"/uploads/?v=1", ""},
        {"Com7 .jpg?v=1", ""},
        {"/uploads/x..y.png?v=1", ""},
    };
    for (const auto& [reference, name] : cases) EXPECT_EQ(photoFileName(reference), name) << reference;

    EXPECT_EQ(photoSearchFolders("D:\\media", "", "W\\uploads", "W"),
              (std::vector<std::string>{"D:\\media", "W\\uploads", "W"}));
    EXPECT_TRUE(photoSearchFolders("", "", "", "").empty());
}

}  // namespace
}  // namespace lumvo
