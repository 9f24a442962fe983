#pragma once
// The booth composer at the top of the Messages tab: the poster's name, the message, a photo, and
// "Show on wall", which posts straight to the wall. What it sends and refuses is decided in
// moderator/booth_post.h.
#include <windows.h>

#include <cstdint>
#include <string>

#include "moderator/booth_post.h"
#include "moderator/win/desk_part.h"

namespace lumvo {

namespace booth_ids {
inline constexpr int kName = 2340;
inline constexpr int kMessage = 2341;
inline constexpr int kPhotoButton = 2342;  // "Add photo", "Change photo"
inline constexpr int kShow = 2343;
inline constexpr int kPhotoLabel = 2344;
inline constexpr int kClearPhoto = 2345;
}  // namespace booth_ids

class BoothComposer {
public:
    // The height it takes at the top of its page, the gap under it included.
    static constexpr int kHeight = 76;

    void build(DeskPartHost host);
    void layout(int width);
    bool onCommand(int id, int code);
    bool take(const DeskResult& result);
    bool busy() const { return ticket_ != 0; }
    void reset() { *this = BoothComposer(); }

private:
    void choosePhoto();
    void clearPhoto();
    void show();

    DeskPartHost host_;
    HWND name_ = nullptr;
    HWND message_ = nullptr;
    HWND photoButton_ = nullptr;
    HWND photoLabel_ = nullptr;
    std::wstring photo_;
    std::uint64_t ticket_ = 0;
};

}  // namespace lumvo
