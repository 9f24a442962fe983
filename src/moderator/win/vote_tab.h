#pragma once
// The Vote tab: title, two to four answers, the picture, the time modes with their spinners, the
// unlimited-voting switch, Start vote and Stop vote. What it sends and says is decided in
// moderator/vote_form.h; the status box under it is the window's (the running vote, from the poll).
#include <windows.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "moderator/vote_form.h"
#include "moderator/win/desk_part.h"

namespace lumvo {

// 2300..2349: the Vote tab and the booth composer (the Settings tab has 1800..2199).
namespace vote_ids {
inline constexpr int kTitle = 2300;
inline constexpr int kAnswer = 2301;  // + 0..3
inline constexpr int kPictureName = 2305;
inline constexpr int kAddPicture = 2306;
inline constexpr int kRemovePicture = 2307;
inline constexpr int kLength = 2308;  // the two owner-drawn mode buttons
inline constexpr int kEndAt = 2309;
inline constexpr int kModeHint = 2310;
inline constexpr int kField = 2311;  // + hours, minutes, seconds
inline constexpr int kPlus = 2314;   // + the field
inline constexpr int kMinus = 2317;  // + the field
inline constexpr int kUnit = 2320;   // + the field
inline constexpr int kUnlimited = 2323;
inline constexpr int kStart = 2324;
inline constexpr int kStop = 2325;
}  // namespace vote_ids

class VoteTab {
public:
    // Makes the controls on `host.maker.parent`.
    void build(DeskPartHost host);
    // Lays them out in a column `width` wide from the top; the y below the last.
    int layout(int width);
    // A command from one of its controls: handled (true) or not its own.
    bool onCommand(int id, int code);
    // A desk result: taken (true) when it answers one of its requests.
    bool take(const DeskResult& result);
    bool busy() const { return ticket_ != 0; }
    // Shows the unlimited-voting setting as it is now (it is shared with the Settings tab).
    void refreshSetting();
    // For the window's painting of the two mode buttons.
    bool isModeButton(int id) const { return id == vote_ids::kLength || id == vote_ids::kEndAt; }
    bool modeSelected(int id) const;
    // Forgets the controls (the window is gone).
    void reset() { *this = VoteTab(); }

private:
    ClockFields shownFields() const;
    void showFields(ClockFields fields);
    void showMode();
    void choosePicture();
    // The picture's server path (empty when none or not copied); nothing when the window was
    // closed under a box.
    std::optional<std::string> copiedPicture();
    void start();
    void stop();

    DeskPartHost host_;
    HWND title_ = nullptr;
    std::array<HWND, 4> answers_{};
    HWND pictureName_ = nullptr;
    std::array<HWND, 3> fields_{};
    std::array<HWND, 3> units_{};
    HWND modeHint_ = nullptr;
    HWND unlimited_ = nullptr;
    std::array<HWND, 2> modeButtons_{};
    std::vector<HWND> labels_;  // the fixed texts, in the order the layout places them
    VoteClock clock_;
    std::wstring picture_;
    std::uint64_t ticket_ = 0;
    bool stopping_ = false;  // the request under way is a stop
};

}  // namespace lumvo
