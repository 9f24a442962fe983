// The photo preview for real: a PNG read from the media folders opens a window of the fitted
// size that paints the picture, Escape closes it, a photo that does not decode opens nothing, and
// closing the moderator's previews leaves no window class behind.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "moderator/photo_fit.h"
#include "moderator/win/photo_preview.h"
#include "moderator_support.h"
#include "test_pictures.h"
#include "test_support.h"

namespace lumvo {
namespace {

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void pumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

TEST(PhotoPreview, OpensAPhotoFromDiskFittedAndCloses) {
    test::TempFolder folder;
    // An 840 by 420 picture: left half red, right half transparent (shows the background).
    const std::string png = folder / "guest.png";
    ASSERT_TRUE(test::writeTestPng(png, 840, 420, Gdiplus::Rect(0, 0, 420, 420), 0xFFE02020));
    test::GdiplusSession gdiplus;
    std::vector<std::string> asked;
    const PhotoReader disk = [&](std::string_view path) -> std::optional<std::string> {
        asked.emplace_back(path);
        if (path == "/uploads/guest.png") return test::readBytes(png);
        if (path == "/uploads/broken.jpg") return std::string("\xFF\xD8\xFF\xE0 not a jpeg", 15);
        return std::nullopt;
    };

    HINSTANCE instance = GetModuleHandleW(nullptr);
    ASSERT_TRUE(showPhotoPreview(instance, nullptr, disk, "/uploads/guest.png"));
    HWND window = photoPreviewWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_TRUE(test::eventually([] {
        pumpMessages();
        return photoPreviewShowsPicture();
    })) << "the picture arrives from its decoding thread";
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 444);
    EXPECT_EQ(client.bottom, 282);
    EXPECT_EQ(asked, std::vector<std::string>{"/uploads/guest.png"});

    SetWindowPos(window, HWND_TOPMOST, 40, 40, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    pumpMessages();
    // What the screen shows of the client area, children included (Wine on Xvfb keeps it).
    RECT area{};
    GetClientRect(window, &area);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&area), 2);
    const test::ScreenPixels shot = test::captureScreen(area);
    test::makeFolders(test::repoPath("test-output\\windows"));
    EXPECT_TRUE(test::saveWindowPicture(window, test::repoPath("test-output\\windows\\photo-preview.png")));
    const FitRect picture = previewPictureRect(444, 282, 840, 420);
    EXPECT_EQ(shot.rgb(picture.x + picture.width / 4, picture.y + picture.height / 2), 0xE02020u) << "the red half";
    EXPECT_EQ(shot.rgb(picture.x + 3 * picture.width / 4, picture.y + picture.height / 2), 0x101016u)
        << "the transparent half over the background";
    EXPECT_EQ(shot.rgb(2, 2), 0x101016u);

    // The focus is on "Close"; Escape there closes the window.
    HWND close = GetDlgItem(window, IDOK);
    ASSERT_NE(close, nullptr);
    SendMessageW(close, WM_KEYDOWN, VK_ESCAPE, 0);
    pumpMessages();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(photoPreviewWindow(), nullptr);

    // A photo that does not decode and one missing from disk open nothing.
    EXPECT_FALSE(showPhotoPreview(instance, nullptr, disk, "/uploads/broken.jpg"));
    EXPECT_FALSE(showPhotoPreview(instance, nullptr, disk, "/uploads/gone.jpg"));

    // A second preview replaces the first; the class goes with the moderator.
    const std::string bytes = test::readBytes(png);
    ASSERT_TRUE(showPhotoPreviewBytes(instance, nullptr, bytes));
    HWND first = photoPreviewWindow();
    ASSERT_TRUE(showPhotoPreviewBytes(instance, nullptr, bytes));
    EXPECT_FALSE(IsWindow(first));

    // A large photo: the window opens at once, the picture follows from its thread.
    const std::string large = test::quartersJpeg(8000, 6000);
    const auto opening = std::chrono::steady_clock::now();
    ASSERT_TRUE(showPhotoPreviewBytes(instance, nullptr, large));
    const double openMs = msSince(opening);
    EXPECT_FALSE(IsWindow(first));
    bool arrived = false;
    for (int i = 0; i < 3000 && !arrived; ++i, Sleep(2)) {
        pumpMessages();
        arrived = photoPreviewShowsPicture();
    }
    EXPECT_TRUE(arrived);
    const double arrivedMs = msSince(opening);
    std::printf(
        "measured: photo preview of an 8000x6000 JPEG under Wine: the window opened in %.0f ms on the "
        "host's thread, the picture arrived from its decoding thread after %.0f ms\n",
        openMs, arrivedMs);
    EXPECT_LT(openMs, 250);

    // Closed while the large picture is still decoding (as on release): nothing waits for it.
    ASSERT_TRUE(showPhotoPreviewBytes(instance, nullptr, large));
    const auto closing = std::chrono::steady_clock::now();
    closePhotoPreview(instance);
    const double closeMs = msSince(closing);
    EXPECT_LT(closeMs, 0.5 * arrivedMs) << "close waited for the decoding thread";
    std::printf("measured: photo preview closed while decoding the 8000x6000 JPEG: %.0f ms\n", closeMs);
    EXPECT_EQ(photoPreviewWindow(), nullptr);
    WNDCLASSEXW info{};
    info.cbSize = sizeof info;
    EXPECT_FALSE(GetClassInfoExW(instance, kPhotoPreviewClass, &info)) << "the class is unregistered";
}

}  // namespace
}  // namespace lumvo
