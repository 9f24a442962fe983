#include <atomic>
#include <memory>

#include "base/win/wide_text.h"
#include "moderator/win/moderator_parts.h"
#include "moderator/win/moderator_window.h"
#include "base/win/data_folders.h"
#include "base/win/module_pin.h"
#include "settings/settings_file.h"
#include "settings/shared_settings.h"
#include "moderator/win/window_proc.h"

// The window's side of the desk's thread (queueing requests, applying what comes back on the
// window's thread) and closing the window from whatever thread the host releases the plug-in on.

namespace lumvo {
namespace {

// How long close() on another thread waits for the window's thread to take the request.
constexpr UINT kCloseWaitMs = 2000;

// A close asked of the window's thread. Whoever moves it out of `asked` first decides: the
// window's thread to close (the asker then waits until it is done), or the asker to give up (the
// window's thread then leaves the object alone, which may be gone by the time it looks).
struct CloseTicket {
    enum State { asked, closing, closed, abandoned };
    std::atomic<int> state{asked};
    ModeratorWindow* window = nullptr;
};

}  // namespace

std::uint64_t ModeratorWindow::submitDesk(DeskJob job) {
    if (!main_) return 0;
    // The result is announced by a message to the window, so it is applied on the window's thread;
    // a window closed meanwhile has stopped the desk's thread first.
    return desk_.submit(services_.http, std::move(job), [window = main_] { PostMessageW(window, kDeskMessage, 0, 0); });
}

void ModeratorWindow::takeDeskResults() {
    for (const DeskResult& result : desk_.takeResults()) {
        if (!main_) return;
        if (result.polled && (result.state ? model_.pollAnswered() : model_.pollFailed()))
            setTextIfChanged(status_, utf8ToWide(model_.statusLine()));
        if (result.state) {
            applyUpdate(model_.apply(*result.state));
            settingsTab_.refreshLooks(model_);
            settingsTab_.refreshIfChanged();
        }
        if (result.ticket == pollTicket_) pollTicket_ = 0;
        if (result.ticket == infoTicket_) takeInfoText(result);
        if (settingsTab_.takeResult(result)) continue;
        const std::shared_ptr<bool> alive = alive_;
        if (voteTab_.take(result) || booth_.take(result)) {
            if (!alive || !*alive) return;  // closed under a box the part showed
            continue;
        }
        if (result.ticket != actionTicket_) continue;
        actionTicket_ = 0;
        inAction_ = false;
        const std::string after = actionStatusAfter(actionPlan_, result.requestOk, result.reply);
        if (!after.empty()) setStatus(utf8ToWide(after));
    }
}

DeskPartHost ModeratorWindow::partHost(HWND page) {
    DeskPartHost host;
    host.maker = {page, module_, look_.normal, look_.bold};
    host.submit = [this](DeskJob job) { return submitDesk(std::move(job)); };
    host.tell = [this](const std::string& text, bool warning) { return tellBox(text, warning); };
    host.setStatus = [this](const std::wstring& text) { setStatus(text); };
    host.pollState = [this] { pollState(); };
    host.choosePicture = [this](const wchar_t* title) -> std::wstring {
        if (services_.choosePicture) return services_.choosePicture(title);
        // The dialog's loop is a box's: the window may be closed under it.
        ModulePin pin;
        const std::shared_ptr<bool> alive = alive_;
        ++boxesUp_;
        std::wstring path = openPictureDialog(main_, title);
        if (!alive || !*alive) {
            pin.releaseAfterUnwinding();
            return {};
        }
        --boxesUp_;
        return path;
    };
    host.settings = [this] { return services_.settings ? services_.settings->copy() : WallSettings(); };
    host.changeSettings = [this](const std::function<void(WallSettings&)>& edit) { changeSettings(edit); };
    return host;
}

bool ModeratorWindow::tellBox(const std::string& utf8, bool warning) {
    // As with a confirmation: the pin keeps the code under this frame mapped, the token copy says
    // whether this object still exists when the box ends.
    ModulePin pin;
    const std::shared_ptr<bool> alive = alive_;
    ++boxesUp_;
    MessageBoxW(main_, utf8ToWide(utf8).c_str(), L"LUMVO", MB_OK | (warning ? MB_ICONWARNING : MB_ICONINFORMATION));
    if (alive && *alive) {
        --boxesUp_;
        return true;
    }
    pin.releaseAfterUnwinding();
    return false;
}

void ModeratorWindow::changeSettings(const std::function<void(WallSettings&)>& edit) {
    // One way to save and push, whichever page changed a setting.
    settingsTab_.changeElsewhere(edit);
}

void ModeratorWindow::endBoxes() {
    if (boxesUp_ == 0 || !main_) return;
    // The boxes are ours when they belong to our window; destroying it takes them with it, and
    // ending them first lets their loops return as if the DJ had said "No".
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND candidate, LPARAM owner) -> BOOL {
            wchar_t name[16] = {};
            if (GetWindow(candidate, GW_OWNER) == reinterpret_cast<HWND>(owner) && GetClassNameW(candidate, name, 16) &&
                lstrcmpW(name, L"#32770") == 0) {
                EndDialog(candidate, IDNO);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(main_));
}

void ModeratorWindow::close() {
    // Windows destroys a window only on its own thread; a host may release us on any.
    if (main_ && thread_ != 0 && thread_ != GetCurrentThreadId() && IsWindow(main_)) {
        if (closeOnWindowThread()) return;
        // The window's thread does not answer. Its windows cannot be destroyed from here: they are
        // left to the default procedure with our code kept mapped.
        if (IsWindow(main_)) abandonWindows();
    }
    closeHere();
}

bool ModeratorWindow::closeOnWindowThread() {
    std::shared_ptr<CloseTicket> ticket;
    std::shared_ptr<CloseTicket>* carried = nullptr;
    try {
        ticket = std::make_shared<CloseTicket>();
        ticket->window = this;
        carried = new std::shared_ptr<CloseTicket>(ticket);  // the window's thread frees it
    } catch (...) {
        return false;
    }
    const HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, thread_);
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(main_, kCloseMessage, 0, reinterpret_cast<LPARAM>(carried), SMTO_NORMAL | SMTO_ABORTIFHUNG,
                        kCloseWaitMs, &answer);
    int expected = CloseTicket::asked;
    if (ticket->state.compare_exchange_strong(expected, CloseTicket::abandoned)) {
        if (thread) CloseHandle(thread);
        return false;  // never taken (and now never will be)
    }
    // Taken: the window's thread is closing, which the desk's short time-outs keep short; this
    // object must outlive that, so wait for it unless that thread ends.
    while (ticket->state.load() != CloseTicket::closed) {
        if (thread && WaitForSingleObject(thread, 5) == WAIT_OBJECT_0) break;
        if (!thread) Sleep(5);
    }
    if (thread) CloseHandle(thread);
    return ticket->state.load() == CloseTicket::closed;
}

void ModeratorWindow::abandonWindows() {
    pinModuleForGood();
    removeTrayIcon();
    const auto forget = [](HWND window) {
        if (window) SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    };
    forget(toast_);
    forget(main_);
    EnumChildWindows(
        main_,
        [](HWND child, LPARAM) -> BOOL {
            wchar_t name[32] = {};
            GetClassNameW(child, name, 32);
            // (The text views own their state and reach nothing of ours: they are left as they are.)
            if (lstrcmpW(name, moderator_parts::kPageClass) == 0) SetWindowLongPtrW(child, GWLP_USERDATA, 0);
            return TRUE;
        },
        0);
    main_ = nullptr;
    toast_ = nullptr;
    rowHeight_ = nullptr;  // the list views still use it
}

LRESULT CALLBACK ModeratorWindow::mainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kCloseMessage)
        return windowProc<ModeratorWindow, &ModeratorWindow::handleMain>(window, message, wParam, lParam);
    std::unique_ptr<std::shared_ptr<CloseTicket>> carried(reinterpret_cast<std::shared_ptr<CloseTicket>*>(lParam));
    if (!carried || !*carried) return 0;
    CloseTicket& ticket = **carried;
    int expected = CloseTicket::asked;
    if (!ticket.state.compare_exchange_strong(expected, CloseTicket::closing)) return 0;  // the asker gave up
    try {
        ticket.window->closeHere();
    } catch (...) {}
    ticket.state = CloseTicket::closed;
    return 1;
}

}  // namespace lumvo
