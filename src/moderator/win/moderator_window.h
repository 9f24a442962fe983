#pragma once
// The DJ's moderator window: eight tabs of pages over the wall server's moderation document. It
// lives on the host thread that first opens it and has no message loop of its own; its one-second
// timer polls GET /api/state, and every action on a post is one POST followed by a poll. The
// requests run on the desk's own thread (DeskRequests), whose results come back as a posted
// message, so the host's thread never waits on the network. What the lists hold, which alert
// fires, what the captions, title and status line say and which request an action sends are
// decided by the portable model in src/moderator/; this class only shows those decisions and turns
// clicks into them.
#include <windows.h>
#include <commctrl.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "moderator/desk_requests.h"
#include "moderator/moderation_model.h"
#include "moderator/win/photo_preview.h"
#include "moderator/post_actions.h"
#include "moderator/post_record.h"
#include "moderator/update_page.h"
#include "moderator/win/booth_composer.h"
#include "moderator/win/moderator_look.h"
#include "moderator/win/vote_tab.h"
#include "moderator/win/settings_tab.h"

namespace lumvo {

class HttpClient;
class SharedSettings;

// What the window reaches outside itself. Every member may be empty (a test can leave out what it
// does not need): an empty hook answers "no" or does nothing.
struct ModeratorServices {
    HttpClient* http = nullptr;          // the wall server's client (every request)
    SharedSettings* settings = nullptr;  // every setting the Settings tab shows and edits
    // Writes layout.ini (on the desk's thread); the folder the push announces while the media
    // folder setting is empty.
    std::function<bool(const WallSettings&)> saveSettings;
    std::string defaultMediaFolder;
    std::function<bool()> wallFilesPresent;
    std::function<bool()> nodePresent;
    std::function<void()> ensureServer;                 // start the wall server unless it runs
    std::function<bool(std::string_view)> searchSongs;  // the host's song search
    std::function<HWND()> askHostWindow;                // the host's "get hwnd", null when none
    std::function<bool()> linkStopped;                  // the wall link is stopped: no polls
    PhotoReader readPhoto;                              // a guest photo's bytes from disk
    std::function<std::wstring()> infoFolder;           // the help texts' folder, ending in "\"
    // The update jobs. Each runs on a thread of its own and reports to the window it is given by
    // posting it the messages below; a start answers false when no thread could be made.
    std::function<UpdateCheckFacts()> lastUpdateCheck;
    std::function<bool(HWND)> startUpdateCheck;  // kUpdateCheckedMessage (kUpdateNewerMessage too when newer)
    std::function<bool(HWND)> startWallUpdate;   // kUpdateProgressMessage while it runs, kUpdateDoneMessage
    std::function<bool(HWND)> startNodeInstall;  // kNodeInstalledMessage
    std::function<bool()> restartNeeded;         // an update staged a new plug-in DLL
    // Stands in for the open-file dialog of a picture (tests): the path, empty for none. When
    // empty, the system's dialog opens.
    std::function<std::wstring(const wchar_t* title)> choosePicture;
};

// Control identifiers (the tests click the window through them).
namespace moderator_ids {
inline constexpr int kTab = 1000;           // + main tab 0..7
inline constexpr int kSettingsPage = 1100;  // + Settings sub-page 0..6
inline constexpr int kDisplayGroup = 1120;  // + Display group 0..3
inline constexpr int kInfoPage = 1140;      // + Info sub-page 0..7
inline constexpr int kList = 1200;          // + PostList
inline constexpr int kDetail = 1210;        // + PostList (not Blocked)
inline constexpr int kAction = 1300;        // + PostList * 16 + the button's place on its page
inline constexpr int kShowNext = 1400;
inline constexpr int kSkip = 1401;
inline constexpr int kClearChat = 1402;
inline constexpr int kBrowserMod = 1403;
inline constexpr int kInstallNode = 1500;        // the setup page's
inline constexpr int kUpdateInstallNode = 1501;  // the Update page's
inline constexpr int kUpdateButton = 1502;
inline constexpr int kUpdateVersion = 1503;
inline constexpr int kUpdateLatest = 1504;
inline constexpr int kUpdateStatus = 1505;
inline constexpr int kUpdateProgress = 1506;
inline constexpr int kUpdatePercent = 1507;
inline constexpr int kUpdateNodeNote = 1508;
inline constexpr int kChangelogView = 1509;
inline constexpr int kPinLine = 1600;
inline constexpr int kStatusLine = 1601;
inline constexpr int kVoteStatus = 1602;
inline constexpr int kInfoView = 1603;
inline constexpr int actionId(PostList list, int place) { return kAction + listIndex(list) * 16 + place; }
}  // namespace moderator_ids

// The main tabs, their pages in the same order.
enum class MainTab { messages = 0, requests, tips, rejected, live, vote, settings, info };
inline constexpr int kMainTabCount = 8;
inline constexpr int kSettingsPageCount = 7;
inline constexpr int kSetupSettingsPage = 6;
inline constexpr int kDisplayGroupCount = 4;
inline constexpr int kInfoPageCount = 8;
inline constexpr int kUpdateInfoPage = 7;

// Window messages posted to the main window.
inline constexpr UINT kTrayMessage = WM_APP + 7;
inline constexpr UINT kDeskMessage = WM_APP + 8;   // the desk's thread has results
inline constexpr UINT kCloseMessage = WM_APP + 9;  // close(), asked from another thread
// From the update jobs' threads.
inline constexpr UINT kNodeInstalledMessage = WM_APP + 21;   // wParam: 1 on success
inline constexpr UINT kUpdateProgressMessage = WM_APP + 22;  // wParam: percent
inline constexpr UINT kUpdateDoneMessage = WM_APP + 23;      // wParam: 1 on success
inline constexpr UINT kUpdateCheckedMessage = WM_APP + 24;
inline constexpr UINT kUpdateNewerMessage = WM_APP + 25;  // the check found a newer version
inline constexpr UINT_PTR kPollTimer = 1;

class ModeratorWindow {
public:
    ModeratorWindow() = default;
    ~ModeratorWindow() { close(); }
    ModeratorWindow(const ModeratorWindow&) = delete;
    ModeratorWindow& operator=(const ModeratorWindow&) = delete;

    // Set once by the plug-in before the first open.
    void connect(ModeratorServices services) { services_ = std::move(services); }

    // Creates the window on the first call (a failed creation is tried again next time), then
    // refreshes the setup state, shows it in front and polls once. `hostWindow` is the host's main
    // window (null: unknown), where toasts go.
    void open(HMODULE module, HWND hostWindow);
    // Registers the classes and builds the window with all its pages; false when that failed
    // (nothing is left behind then).
    bool create(HMODULE module, HWND hostWindow);
    // Removes the tray icon, destroys the toast and the window, unregisters the classes and
    // deletes the fonts and brushes. Safe to call again, from any thread: another thread asks the
    // window's own thread to do it and waits (bounded). While a confirmation box is up it ends the
    // box, and the frame that asked never touches this object again.
    void close();

    void showTab(int index);
    void showSettingsPage(int index);
    void showDisplayGroup(int index);
    void showInfoPage(int index);
    // Shows a help text in the Info tab's text view: the info folder's file of that name when it
    // reads, else the wall server's copy (GET /web/info/<name>, on the desk's thread; the view is
    // empty until it comes), else the fixed text that says the page could not be loaded.
    void loadInfoPage(std::string_view fileName);
    void refreshSetupState(bool navigate);
    // The Update page from the last check, what is installed and what runs; the Node.js pairs too.
    struct InstalledParts {
        bool node = false;
        bool wallFiles = false;
    };
    void refreshUpdatePage(std::optional<InstalledParts> known = std::nullopt);
    void refreshNodeStatus();
    // The Update button: starts the wall-file update when there is something to install.
    void startWallUpdate();
    // Either "Install Node" button: starts the install unless Node.js is there or one runs.
    void startNodeInstall();
    // The alert: toast, tray balloon, blinking tabs. `force` shows it even over our own window.
    void ping(std::string_view label, std::string_view message, bool force);
    void layout();

    // Queues a poll of GET /api/state on the desk's thread (nothing without the wall files, while
    // the wall link is stopped or while a poll is under way); the reply is applied when it comes.
    void pollState();
    // A request queued or under way, or a result not yet applied (tests wait for this to end).
    bool deskBusy() const {
        return pollTicket_ != 0 || actionTicket_ != 0 || infoTicket_ != 0 || voteTab_.busy() || booth_.busy() ||
               settingsTab_.busy() || desk_.busy();
    }
    // A copy of the post behind the list's selected row; none when no row is selected.
    std::optional<PostRecord> selectedRecord(PostList list) const { return model_.selectedRecord(list); }
    void showDetail(PostList list);

    // What the last open was given; the window and its state, for tests and the benchmark.
    HMODULE module() const { return module_; }
    HWND owner() const { return hostWindow_; }
    HWND handle() const { return main_; }
    DWORD windowThread() const { return thread_; }
    HWND control(int id) const;
    HWND toastWindow() const { return toast_; }
    bool setupMode() const { return setupMode_; }
    bool alertOn() const { return model_.alertOn(); }
    int selectedTab() const { return tab_; }
    const ModerationModel& model() const { return model_; }
    // How many times each list view was refilled since creation (no refill: no flicker).
    int refills(PostList list) const { return refills_[listIndex(list)]; }
    bool trayIconAdded() const { return trayAdded_; }
    bool updateRunning() const { return updateRunning_; }
    bool installRunning() const { return installRunning_; }

private:
    friend class SettingsTab;  // the settings pages' controls, in settings_tab_*.cpp

    // The window's life, its messages, the poll and the actions (moderator_window.cpp). Each
    // window procedure is windowProc (window_proc.h) over one of the handle* members.
    LRESULT handleMain(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handlePage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool registerClasses();
    void unregisterClasses();
    void onTimer();
    void onCommand(int id, int code, HWND from);
    LRESULT onNotify(NMHDR* header);
    void setTextIfChanged(HWND window, const std::wstring& text);
    void repaintAlertButtons();
    void setStatus(const std::wstring& text);
    void runAction(PostAction action, std::optional<PostList> list);
    int askYesNo(const Confirmation& confirm);

    // The desk's requests and their results, and closing from any thread (desk_link.cpp).
    std::uint64_t submitDesk(DeskJob job);
    void takeDeskResults();
    void closeHere();
    // What the Vote tab and the booth composer reach of the window, on `page`.
    DeskPartHost partHost(HWND page);
    // A box titled "LUMVO" with the words; false when the window was closed while it was up.
    bool tellBox(const std::string& utf8, bool warning);
    // Changes the shared settings, saves them and pushes them to the wall server (on the desk's
    // thread).
    void changeSettings(const std::function<void(WallSettings&)>& edit);
    bool closeOnWindowThread();
    void abandonWindows();
    void endBoxes();
    static LRESULT CALLBACK mainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void applyUpdate(const ModerationUpdate& update);
    void refreshActionButtons(PostList list);
    void openInBrowser(const std::string& url);

    // Building the pages, laying them out and switching between them; the owner-drawn tab buttons
    // and the controls' colours (moderator_pages.cpp). A tab with more than a list or a line builds
    // and lays out its own controls in a file of its own, called from buildControls and layout: the
    // Settings tab in settings_tab.cpp.
    void buildControls();
    void placeControls();
    void holdDrawing();
    void releaseDrawing();
    HWND makePage(HWND parent);
    HWND makeButton(HWND parent, const wchar_t* text, int id, bool ownerDrawn);
    HWND makeLabel(HWND parent, const wchar_t* text, int id = 0);
    void buildListPage(PostList list, HWND page);
    void buildVoteTab();
    void layoutListPage(PostList list, HWND page, bool withDetail);
    void layoutVoteTab();
    void onDrawItem(const DRAWITEMSTRUCT& item);
    LRESULT onControlColour(HDC dc, HWND control, bool edit);

    // The Settings tab's sub-pages and the buttons under them (settings_tab.cpp).
    void buildSettingsTab();
    void layoutSettingsTab();

    // The Info tab: its sub-page buttons, the text view and the help texts in it, the Update page
    // (info_tab.cpp).
    void buildInfoTab();
    void layoutInfoTab();
    void setInfoText(std::string_view utf8);
    void takeInfoText(const DeskResult& result);

    // The Update page and the update jobs' messages (update_tab.cpp).
    void buildUpdatePage();
    void layoutUpdatePage();
    UpdatePageInput updatePageInput(std::optional<InstalledParts> known = std::nullopt);
    void showNodeControls(const UpdatePageView& view);
    void onUpdateJobMessage(UINT message, WPARAM wParam);
    void onUpdateDone(bool ok);

    // The post lists' rows: filling a list view from the model and drawing each row
    // (post_list_rows.cpp).
    void refillList(PostList list);
    void fitColumn(HWND view, int width);
    LRESULT drawRow(PostList list, NMLVCUSTOMDRAW& draw);

    // The tray icon and its balloon (tray_icon.cpp).
    void addTrayIcon();
    void removeTrayIcon();
    void showTrayBalloon();

    // The toast over the host's window (toast_window.cpp).
    LRESULT handleToast(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void showToast();
    void placeToast();
    void destroyToast();
    void paintToast(HDC dc, const RECT& client);
    void loadMark();
    HWND hostTopWindow();

    ModeratorServices services_;
    HMODULE module_ = nullptr;
    HWND hostWindow_ = nullptr;
    bool classesRegistered_ = false;
    bool toastClassRegistered_ = false;
    moderator_look::Look look_;
    HIMAGELIST rowHeight_ = nullptr;
    HBITMAP mark_ = nullptr;  // the brand mark for the toast, 64 by 64 on the bar colour

    HWND main_ = nullptr;
    HWND toast_ = nullptr;
    std::array<HWND, kMainTabCount> tabButtons_{};
    std::array<HWND, kMainTabCount> pages_{};
    HWND pinLine_ = nullptr;
    HWND status_ = nullptr;
    std::array<HWND, kSettingsPageCount> settingsButtons_{};
    std::array<HWND, kSettingsPageCount> settingsPages_{};
    std::array<HWND, kDisplayGroupCount> displayButtons_{};
    std::array<HWND, kInfoPageCount> infoButtons_{};
    HWND infoView_ = nullptr;
    HWND updatePage_ = nullptr;
    HWND changelogView_ = nullptr;
    HWND voteStatus_ = nullptr;
    std::vector<HWND> settingsBottom_;  // the four buttons and the note under the sub-pages
    std::vector<HWND> setupOnly_;       // shown only in setup mode
    std::array<HWND, kPostListCount> listViews_{};
    std::array<HWND, kPostListCount> details_{};
    std::array<std::vector<HWND>, kPostListCount> actionButtons_{};

    int tab_ = 0;
    int settingsPage_ = 0;
    int displayGroup_ = 0;
    int infoPage_ = 0;
    bool setupMode_ = false;
    bool blinkOn_ = false;
    bool trayAdded_ = false;
    bool inAction_ = false;   // an action is running (its box, or its request until its result)
    int boxesUp_ = 0;         // confirmation boxes on screen (their loops run on our stack)
    bool refilling_ = false;  // a list view is being refilled: its selection notices are ours
    bool updateRunning_ = false;
    bool installRunning_ = false;
    bool updateAlertShown_ = false;  // the "New Update Available" alert, once per window life
    int drawingHeld_ = 0;            // holdDrawing() depth
    bool redrawAfterHold_ = false;
    ChatColours colours_;  // the DJ's chat colours, read once per list paint

    ModerationModel model_;
    VoteTab voteTab_;
    BoothComposer booth_;
    std::array<int, kPostListCount> refills_{};
    SettingsTab settingsTab_{*this};

    // The desk's thread and what is expected back from it. `alive_` is false from the moment the
    // window is closed; a frame that waited in a box holds a copy and looks at it, not at us.
    DeskRequests desk_;
    std::shared_ptr<bool> alive_;
    DWORD thread_ = 0;
    std::uint64_t pollTicket_ = 0;    // the timer's poll under way
    std::uint64_t actionTicket_ = 0;  // the running action's request under way
    std::uint64_t infoTicket_ = 0;    // the shown help page's text coming from the wall server
    ActionPlan actionPlan_;

    std::wstring toastLabel_;
    std::wstring toastMessage_;
    std::uint64_t toastDeadline_ = 0;
    HFONT toastLabelFont_ = nullptr;  // remade only when the toast's height changes
    HFONT toastMessageFont_ = nullptr;
    int toastFontsFor_ = 0;
};

}  // namespace lumvo
