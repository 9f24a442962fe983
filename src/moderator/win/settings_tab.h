#pragma once
// The Settings tab's settings pages (Display with its four groups, Guests, Tips, Album, Brand):
// their controls made, laid out, filled and read by walking the rows of settings_page.h. A change
// writes its own setting into the shared settings at once; writing layout.ini and pushing to the
// wall server run on the desk's thread, so a click costs the host's thread no file or network
// work. When the wall server changes settings (the worker takes them from the display document),
// the next timer tick shows them in the controls.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "moderator/desk_requests.h"
#include "moderator/moderation_model.h"
#include "moderator/settings_page.h"

namespace lumvo {

class ModeratorWindow;

// The identifiers of the rows' controls and the sliders' value labels: the base plus the row's
// place in settingsRows().
namespace settings_ids {
inline constexpr int kControl = 1800;
inline constexpr int kValueLabel = 2000;
}  // namespace settings_ids

class SettingsTab {
public:
    explicit SettingsTab(ModeratorWindow& window) : window_(window) {}
    SettingsTab(const SettingsTab&) = delete;
    SettingsTab& operator=(const SettingsTab&) = delete;

    // Makes every row's control on its page (the window's Settings pages 0..4), then fills them.
    void build();
    void layout();
    // Sets every control from the settings (fillSettingsControls). The "Go hot after" and "They
    // have" sliders, the theme list and an edit box are left alone while they have the focus.
    void fill();
    // Fills again when the settings changed since the last fill (the wall server's decisions).
    void refreshIfChanged();
    // A control's notice; false when it is none of this tab's.
    bool onCommand(int id, int code, HWND from);
    void onSlider(HWND slider);
    // A setting changed on another page (the Vote tab's "Guests can vote more than once"): saved
    // and pushed like this tab's own, and shown in its control at the next refresh.
    void changeElsewhere(const std::function<void(WallSettings&)>& edit);
    // Paints a chat colour swatch; false when the item is none of them.
    bool drawItem(const DRAWITEMSTRUCT& item);
    // The look list and the status label from the last moderation document (refreshLookList).
    void refreshLooks(const ModerationModel& model);
    // A desk result of this tab's (Clear album); false when it is none of them.
    bool takeResult(const DeskResult& result);
    bool busy() const { return clearTicket_ != 0 || lookTicket_ != 0; }

    HWND control(int row) const;

private:
    HWND pageOf(const SettingsRow& row) const;
    void placeRows(SettingsPage page, int group, int top);
    void changeSetting(int row, bool push);
    // Saves (and pushes) `now`, the settings right after the DJ's change, on the desk's thread.
    void queueSave(const WallSettings& now, bool push);
    void refreshLabels();
    void chooseColour(int row);
    void chooseFolder();
    void openFolder();
    void clearAlbum();
    void chooseLogo();
    void removeLogo();
    void applyLook();

    ModeratorWindow& window_;
    std::vector<HWND> controls_;     // one per row (null for rows of no control)
    std::vector<HWND> valueLabels_;  // the sliders' value labels, per row
    std::uint64_t seen_ = 0;         // the settings generation the controls show
    std::vector<std::string> lookIds_;
    // The settings a queued save job is to write (and push): a later change before the job runs
    // replaces them, so a drag queues one job, not one per step. They are the settings as the DJ's
    // change left them, not as they are when the job runs: a display reply the worker read before
    // the push reached the server must not bring the old value back into the push.
    struct PendingSave {
        std::mutex mutex;
        std::optional<WallSettings> settings;
        bool push = false;
    };
    std::shared_ptr<PendingSave> pending_ = std::make_shared<PendingSave>();
    std::uint64_t clearTicket_ = 0;
    std::uint64_t lookTicket_ = 0;
    bool filling_ = false;  // our own changes to the controls: their notices are ours
};

}  // namespace lumvo
