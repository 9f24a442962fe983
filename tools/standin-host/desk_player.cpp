#include "desk_player.h"

#include <cstdio>
#include <cwchar>
#include <initializer_list>
#include <string>
#include <string_view>

#include "moderator/win/moderator_window.h"
#include "options.h"
#include "standin_host.h"

namespace standin {
namespace {

namespace ids = lumvo::moderator_ids;
namespace vote = lumvo::vote_ids;
namespace booth = lumvo::booth_ids;

constexpr int kVoteTab = 5;
constexpr int kMessagesTab = 0;
// How long a step may take to show on the desk: a vote's request waits at most 8 s, a booth
// post's a few stages of 8 s.
constexpr ULONGLONG kVoteStepMs = 15000;
constexpr ULONGLONG kBoothStepMs = 40000;

// The text of the last "LUMVO" box the desk opened, read before the box was closed.
std::string g_boxText;

std::wstring widen(const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), w.data(), n);
    return w;
}

std::wstring textOf(HWND window) {
    wchar_t text[2048] = {};
    if (window) GetWindowTextW(window, text, 2048);
    return text;
}

void type(HWND box, const std::wstring& text) {
    SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void press(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }

// The boxes of this thread (MessageBox's dialog class) titled "LUMVO": each one's message is kept
// in g_boxText and printed, and the box is answered with OK. A thread timer, so that it also runs
// inside the box's own message loop.
BOOL CALLBACK closeDeskBox(HWND window, LPARAM) {
    wchar_t kind[16] = {};
    GetClassNameW(window, kind, 16);
    if (std::wcscmp(kind, L"#32770") != 0 || textOf(window) != L"LUMVO" || !IsWindowVisible(window)) return TRUE;
    std::wstring message;
    EnumChildWindows(
        window,
        [](HWND child, LPARAM out) {
            wchar_t childKind[16] = {};
            GetClassNameW(child, childKind, 16);
            const std::wstring text = textOf(child);
            if (_wcsicmp(childKind, L"Static") == 0 && !text.empty()) *reinterpret_cast<std::wstring*>(out) = text;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&message));
    g_boxText = narrow(message);
    std::printf("desk: the desk showed a box: \"%s\"; closed it\n", g_boxText.c_str());
    PostMessageW(window, WM_COMMAND, IDOK, 0);
    return TRUE;
}

void CALLBACK watchForBoxes(HWND, UINT, UINT_PTR, DWORD) { EnumThreadWindows(GetCurrentThreadId(), closeDeskBox, 0); }

// The parts one after another (appended, which keeps GCC 12's -Wrestrict quiet about operator+).
std::string cat(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (std::string_view part : parts) out.append(part);
    return out;
}

std::string joined(const std::vector<std::wstring>& fields, size_t from, const char* between) {
    std::string out;
    for (size_t i = from; i < fields.size(); ++i) out.append(i > from ? between : "").append(narrow(fields[i]));
    return out;
}

}  // namespace

DeskPlayer::~DeskPlayer() {
    if (boxTimer_) KillTimer(nullptr, boxTimer_);
}

HWND DeskPlayer::control(int id) const {
    struct Search {
        int id;
        HWND found;
    } search{id, nullptr};
    if (window_) {
        EnumChildWindows(
            window_,
            [](HWND child, LPARAM lp) {
                auto* s = reinterpret_cast<Search*>(lp);
                if (GetDlgCtrlID(child) != s->id) return TRUE;
                s->found = child;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&search));
    }
    return search.found;
}

bool DeskPlayer::open(vdj::VideoFxPlugin& effect, int parameterId) {
    if (parameterId < 0) {
        fail("the plug-in declared no \"Open moderator\" parameter");
        return false;
    }
    checkSlot("parameterChanged (Open moderator)", effect.parameterChanged(parameterId));
    HWND found = FindWindowW(L"LUMVOModeratorWnd", nullptr);
    DWORD process = 0;
    if (found) GetWindowThreadProcessId(found, &process);
    if (!found || process != GetCurrentProcessId() || !IsWindowVisible(found)) {
        fail("\"Open moderator\" showed no moderator window");
        return false;
    }
    window_ = found;
    boxTimer_ = SetTimer(nullptr, 0, 250, watchForBoxes);
    std::printf("desk: opened the moderator window with \"Open moderator\"; cues from %s\n", narrow(cueFile_).c_str());
    return true;
}

void DeskPlayer::fail(const std::string& what) {
    std::printf("desk: error: %s\n", what.c_str());
    ok_ = false;
}

void DeskPlayer::readCues() {
    HANDLE file = CreateFileW(cueFile_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;  // nothing cued yet
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(readUpTo_);
    char buffer[4096];
    DWORD got = 0;
    if (SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) {
        while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
            partial_.append(buffer, got);
            readUpTo_ += got;
        }
    }
    CloseHandle(file);
    for (size_t end; (end = partial_.find('\n')) != std::string::npos; partial_.erase(0, end + 1)) {
        std::string line = partial_.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        Step cue;
        for (size_t start = 0;;) {
            const size_t tab = line.find('\t', start);
            cue.fields.push_back(widen(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start)));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        cues_.push_back(std::move(cue));
    }
}

void DeskPlayer::begin(Step& cue) {
    const std::vector<std::wstring>& f = cue.fields;
    std::string missing;  // controls the desk does not have
    const auto control = [this, &missing](int id) {
        HWND found = DeskPlayer::control(id);
        if (!found) missing.append(" ").append(std::to_string(id));
        return found;
    };
    const std::wstring& kind = f[0];
    if (kind == L"vote") {
        wchar_t* end = nullptr;
        const long seconds = f.size() > 1 ? std::wcstol(f[1].c_str(), &end, 10) : 0;
        if (f.size() < 5 || f.size() > 7 || *end != L'\0' || seconds < 5 || seconds >= 24 * 3600) {
            fail(cat({"bad vote cue (seconds from 5 to 86399, a title, two to four answers): ", joined(f, 0, " | ")}));
            cues_.pop_front();
            return;
        }
        press(control(ids::kTab + kVoteTab));
        press(control(vote::kLength));
        type(control(vote::kTitle), f[2]);
        for (int i = 0; i < 4; ++i)
            type(control(vote::kAnswer + i), 3 + static_cast<size_t>(i) < f.size() ? f[3 + i] : L"");
        const long parts[3] = {seconds / 3600, seconds / 60 % 60, seconds % 60};
        for (int i = 0; i < 3; ++i) {
            wchar_t two[4];
            std::swprintf(two, 4, L"%02ld", parts[i]);
            type(control(vote::kField + i), two);
        }
        press(control(vote::kStart));
        title_ = f[2];
        cue.deadline = GetTickCount64() + kVoteStepMs;
    } else if (kind == L"stop-vote" && f.size() == 1) {
        press(control(ids::kTab + kVoteTab));
        press(control(vote::kStop));
        cue.deadline = GetTickCount64() + kVoteStepMs;
    } else if (kind == L"booth" && f.size() == 3) {
        press(control(ids::kTab + kMessagesTab));
        type(control(booth::kName), f[1]);
        type(control(booth::kMessage), f[2]);
        g_boxText.clear();
        press(control(booth::kShow));
        cue.deadline = GetTickCount64() + kBoothStepMs;
    } else {
        fail(cat({"unknown cue: ", joined(f, 0, " | ")}));
        cues_.pop_front();
        return;
    }
    if (!missing.empty()) {
        fail(cat({"the moderator window has no control with the id", missing, " for \"", joined(f, 0, " | "), "\""}));
        cues_.pop_front();
        return;
    }
    busy_ = true;
}

bool DeskPlayer::taken(const Step& cue, std::string& detail) const {
    const std::wstring& kind = cue.fields[0];
    const std::wstring status = textOf(control(ids::kStatusLine));
    detail = cat({"the status line says \"", narrow(status), "\""});
    if (kind == L"vote" || kind == L"stop-vote") {
        const bool start = kind == L"vote";
        if (status == (start ? L"Vote started" : L"Vote stopped")) return true;
        // The status line says so only until the next poll's reply replaces it, which can come in
        // the same frame's messages. The vote box (the running vote, from the polls) stays: the
        // title on its first line, then the time left while the vote runs, none once it closed.
        // (The vote title is the last one the desk started: nothing else starts votes here.)
        std::wstring box = textOf(control(ids::kVoteStatus));
        const bool titled = !title_.empty() && box.rfind(title_ + L"\r\n", 0) == 0;
        const bool left = box.find(L" left\r\n") != std::wstring::npos;
        for (wchar_t& c : box)
            if (c == L'\r' || c == L'\n') c = L' ';
        detail = cat({"the vote box says \"", narrow(box), "\""});
        if (titled && left == start) return true;
        detail = cat({"the status line says \"", narrow(status), "\", the vote box \"", narrow(box), "\""});
        return false;
    }
    if (!g_boxText.empty()) detail = cat({"the desk's box said \"", g_boxText, "\""});
    return g_boxText.empty() && textOf(control(booth::kMessage)).empty();
}

void DeskPlayer::step() {
    if (!window_) return;
    readCues();
    while (!cues_.empty()) {
        Step& cue = cues_.front();
        if (!busy_) {
            begin(cue);
            if (!busy_) continue;  // a bad cue, dropped
        }
        std::string detail;
        const bool took = taken(cue, detail);
        const bool boxed = cue.fields[0] == L"booth" && !g_boxText.empty();
        if (!took && !boxed && GetTickCount64() < cue.deadline) return;  // still under way
        const std::vector<std::wstring>& f = cue.fields;
        if (!took) {
            fail(cat({"\"", joined(f, 0, " | "), "\" did not take: ", detail}));
        } else if (f[0] == L"vote") {
            const long seconds = std::wcstol(f[1].c_str(), nullptr, 10);
            std::printf(
                "desk: Vote tab: title \"%s\", answers \"%s\", length %ld:%02ld:%02ld, pressed Start vote: %s\n",
                narrow(f[2]).c_str(), joined(f, 3, "\", \"").c_str(), seconds / 3600, seconds / 60 % 60, seconds % 60,
                detail.c_str());
        } else if (f[0] == L"stop-vote") {
            std::printf("desk: Vote tab: pressed Stop vote: %s\n", detail.c_str());
        } else {
            std::printf(
                "desk: Messages tab: booth post as \"%s\": \"%s\", pressed Show on wall: the message box emptied\n",
                narrow(f[1]).c_str(), narrow(f[2]).c_str());
        }
        busy_ = false;
        cues_.pop_front();
    }
}

bool DeskPlayer::finish() {
    if (window_) {
        readCues();
        if (busy_)
            fail(cat({"the frames ended before \"", joined(cues_.front().fields, 0, " | "), "\" showed on the desk"}));
        for (size_t i = busy_ ? 1 : 0; i < cues_.size(); ++i)
            fail(cat({"the frames ended before the desk acted on \"", joined(cues_[i].fields, 0, " | "), "\""}));
    }
    if (boxTimer_) KillTimer(nullptr, boxTimer_);
    boxTimer_ = 0;
    return ok_;
}

}  // namespace standin
