#include "moderator/win/booth_composer.h"

#include <algorithm>
#include <optional>

#include "base/win/wide_text.h"
#include "moderator/win/moderator_parts.h"

// The booth composer's controls and "Show on wall".

namespace lumvo {

using moderator_parts::place;
namespace kit = control_kit;

namespace {

// What is read of the two boxes (they take fewer characters than this).
constexpr std::size_t kNameReadChars = 39;
constexpr std::size_t kMessageReadChars = 199;

std::string readCapped(HWND box, std::size_t chars) {
    std::wstring text = kit::text(box);
    if (text.size() > chars) text.resize(chars);
    return wideToUtf8(text);
}

// The whole file; empty when it cannot be read or is over the photo's bound.
std::string readPhoto(const std::wstring& path) {
    const long long size = fileSizeOf(path);
    if (size < 0 || static_cast<std::uint64_t>(size) > kBoothPhotoMaxBytes) return std::string();
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string bytes(static_cast<std::size_t>(size), '\0');
    DWORD read = 0;
    const BOOL ok = bytes.empty() || ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    bytes.resize(ok ? read : 0);
    return bytes;
}

}  // namespace

void BoothComposer::build(DeskPartHost host) {
    host_ = std::move(host);
    const kit::Maker& m = host_.maker;
    name_ = kit::editBox(m, booth_ids::kName, 0, L"Name");
    SendMessageW(name_, EM_SETLIMITTEXT, kBoothNameChars, 0);
    kit::setText(name_, L"DJ");
    message_ = kit::editBox(m, booth_ids::kMessage, 0, L"Message for the wall");
    SendMessageW(message_, EM_SETLIMITTEXT, kBoothMessageChars, 0);
    photoButton_ = kit::button(m, utf8ToWide(booth_text::kAddPhoto).c_str(), booth_ids::kPhotoButton);
    kit::button(m, L"Show on wall", booth_ids::kShow);
    photoLabel_ = kit::hint(m, utf8ToWide(booth_text::kNoPhotoHint).c_str(), booth_ids::kPhotoLabel);
    kit::button(m, L"Clear photo", booth_ids::kClearPhoto);
}

void BoothComposer::layout(int width) {
    const HWND page = host_.maker.parent;
    if (!page) return;
    const int w = std::max(width, 420);
    place(name_, 0, 0, 150, 26);
    place(message_, 158, 0, w - 158, 26);
    place(photoButton_, 0, 34, 130, 32);
    place(GetDlgItem(page, booth_ids::kShow), 138, 34, 130, 32);
    place(photoLabel_, 280, 41, w - 280 - 124, 20);
    place(GetDlgItem(page, booth_ids::kClearPhoto), w - 116, 34, 116, 32);
}

bool BoothComposer::onCommand(int id, int code) {
    if (id < booth_ids::kName || id > booth_ids::kClearPhoto) return false;
    if (code != BN_CLICKED) return true;
    switch (id) {
        case booth_ids::kPhotoButton: choosePhoto(); break;
        case booth_ids::kClearPhoto: clearPhoto(); break;
        case booth_ids::kShow: show(); break;
        default: break;
    }
    return true;
}

void BoothComposer::choosePhoto() {
    // The dialog's loop may see the window closed: then the path is empty and nothing is touched.
    const auto choose = host_.choosePicture;
    const std::wstring path = choose ? choose(L"Choose a photo for the wall") : std::wstring();
    if (path.empty()) return;
    const long long size = fileSizeOf(path);
    if (size < 0 || !boothPhotoSizeOk(static_cast<std::uint64_t>(size))) {
        if (host_.tell) host_.tell(booth_text::kPhotoTooBig, true);
        return;
    }
    photo_ = path;
    kit::setText(photoLabel_, utf8ToWide(booth_text::kPhotoLabel) + fileNameOf(path));
    kit::setText(photoButton_, utf8ToWide(booth_text::kChangePhoto));
}

void BoothComposer::clearPhoto() {
    photo_.clear();
    kit::setText(photoLabel_, utf8ToWide(booth_text::kNoPhotoHint));
    kit::setText(photoButton_, utf8ToWide(booth_text::kAddPhoto));
}

void BoothComposer::show() {
    if (ticket_ != 0 || !host_.submit) return;
    std::optional<std::string> photo;
    if (!photo_.empty()) photo = readPhoto(photo_);
    const BoothPlan plan =
        planBoothPost(readCapped(name_, kNameReadChars), readCapped(message_, kMessageReadChars), photo);
    if (!plan.refusal.empty()) {
        if (host_.tell) host_.tell(plan.refusal, plan.refusalIsWarning);
        return;
    }
    DeskJob job{plan.request, false};
    job.timeoutMs = plan.timeoutMs;
    ticket_ = host_.submit(std::move(job));
    if (ticket_ == 0 && host_.tell) host_.tell(boothFailureText({}), true);
}

bool BoothComposer::take(const DeskResult& result) {
    if (ticket_ == 0 || result.ticket != ticket_) return false;
    ticket_ = 0;
    if (result.requestOk) {
        kit::setText(message_, L"");
        clearPhoto();
        if (host_.pollState) host_.pollState();
        return true;
    }
    if (host_.tell) host_.tell(boothFailureText(result.reply), true);
    return true;
}

}  // namespace lumvo
