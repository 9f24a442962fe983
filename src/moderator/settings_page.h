#pragma once
// The Settings tab's pages as data: the controls of each page and Display group in their order,
// the setting each one edits (named by its layout.ini key), the sliders' ranges and value labels,
// and what a change does to the settings. The window builds, lays out, fills and reads its controls
// by walking these rows, so a new control is one new row here.
//
// A change writes back only the setting of the control that changed: the wall server may have
// changed other settings since the controls were filled (the switches and the theme a DJ sets on
// the browser's moderator page), and reading every control back would undo that.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "moderator/post_actions.h"
#include "settings/settings.h"

namespace lumvo {

// The Settings sub-pages that hold settings (the Blocked and setup pages follow them).
enum class SettingsPage : std::uint8_t { display = 0, guests, tips, album, brand };
inline constexpr int kSettingsRowPages = 5;
// The Display page shows one group at a time.
enum class DisplayGroup : std::uint8_t { tv = 0, highlight, hot, look };

enum class SettingsRowKind : std::uint8_t {
    heading,
    hint,        // a grey line (or lines) of explanation
    label,       // a plain line of text
    check,       // an automatic check box over a switch
    slider,      // a slider with its value label to the right
    themeList,   // the theme's drop-down list
    colour,      // a chat colour swatch (saved, never pushed)
    edit,        // a one-line edit box over a text setting; `text` is its grey cue
    button,      // a push button running `command`; buttons in a row share one line
    albumPath,   // the guest album's folder, sunken, shortened in the middle
    logoState,   // whether the venue logo is ours or the DJ's
    lookList,    // the guest looks from the moderation document
    lookStatus,  // the server's guest look status
};

enum class SettingsCommand : std::uint8_t {
    none,
    chooseFolder,
    openFolder,
    clearAlbum,
    choosePng,
    removeLogo,
    editLooks
};

// How a slider's position and its setting meet.
enum class SliderRule : std::uint8_t {
    highlightSeconds,  // the 0..1 duration, as whole seconds
    wholeNumber,       // the setting is the position
    percent,           // a 0..1 fraction, as a percentage
};

struct SliderRange {
    SliderRule rule;
    int low, high;
    int pageStep;        // 0: the control's own
    const char* format;  // the value label: one %d
    int fallback;        // the position read for a slider that does not exist
};

struct SettingsRow {
    SettingsPage page;
    DisplayGroup group;  // on the Display page only
    SettingsRowKind kind;
    const char* text = "";          // label, heading, hint or caption (UTF-8)
    const char* setting = nullptr;  // the layout.ini key it edits
    SliderRange slider{};           // sliders only
    SettingsCommand command = SettingsCommand::none;
};

// Every row of every page, page by page, each page (and Display group) in its order. A row's
// place in this table is its control's identifier offset.
std::span<const SettingsRow> settingsRows();
// The place of the control that edits `setting`, or -1.
int settingsRowOf(std::string_view setting);
// The place of the first row of `kind` (the special labels, the look list), or -1.
int settingsRowOf(SettingsRowKind kind);
// The place of the button that runs `command`, or -1.
int settingsRowOf(SettingsCommand command);

// Values between controls and settings. Each reads or writes only the row's own setting; values
// out of range are clamped, never refused.
bool checkValue(const SettingsRow& row, const WallSettings& s);
void setCheckValue(const SettingsRow& row, WallSettings& s, bool on);
int sliderPosition(const SettingsRow& row, const WallSettings& s);
void setSliderPosition(const SettingsRow& row, WallSettings& s, int position);
// The value label for a position ("7s", "8", "100%").
std::string sliderLabel(const SettingsRow& row, int position);
// The theme list's entry for a theme setting (an unknown theme shows the first), and back.
int themeChoice(const WallSettings& s);
void setThemeChoice(WallSettings& s, int choice);
// The theme list's entries, in the order of the themes.
std::vector<std::string> themeChoiceNames();
// The text an edit box shows, and its text (UTF-8, cut at kSettingsEditMax bytes on a character
// boundary) taken the way layout.ini takes it: a website link is normalised.
std::string editValue(const SettingsRow& row, const WallSettings& s);
void setEditValue(const SettingsRow& row, WallSettings& s, std::string_view text);
inline constexpr std::size_t kSettingsEditMax = 511;
// A chat colour as 0xRRGGBB for the colour dialog, and the chosen 0xRRGGBB back: stored with the
// top byte set, so black stays black and never reads as "the default colour".
std::uint32_t colourValue(const SettingsRow& row, const WallSettings& s);
void setColourValue(const SettingsRow& row, WallSettings& s, std::uint32_t rgb);
// The settings as the window shows them after the wall server may have changed some: true when a
// control would show something else now (the window refills them then).
bool settingsShowDifferently(const WallSettings& shown, const WallSettings& now);

// The guest looks of the moderation document: items without an id are left out, a look without a
// name is shown by its id, and none means the one built-in look.
std::vector<GuestLook> guestLooksOf(const std::vector<GuestLook>& fromServer);

// What the look list does with a reply: rebuild with `names` when the ids changed (store `ids`),
// else only select. `select` is the active look's place (the first when none is active).
struct LookListPlan {
    bool rebuild = false;
    std::vector<std::string> ids;
    std::vector<std::string> names;
    int select = 0;
};
LookListPlan planLookList(const std::vector<std::string>& shownIds, const std::vector<GuestLook>& looks,
                          std::string_view activeId);

// The wall server's requests of the tab.
WallRequest settingsPushRequest(const WallSettings& s, std::string_view defaultMediaFolder);
WallRequest applyLookRequest(std::string_view lookId);
WallRequest clearAlbumRequest();
// The status line after Clear album: the count the server says it deleted, or that it failed.
std::string clearAlbumStatus(bool requestOk, std::string_view reply);

// The Brand page's logo line.
std::string logoStateText(bool customLogo);

}  // namespace lumvo
