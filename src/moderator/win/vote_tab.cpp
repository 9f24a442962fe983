#include "moderator/win/vote_tab.h"

#include <algorithm>
#include <optional>

#include "base/win/data_folders.h"
#include "base/win/wide_text.h"
#include "moderator/win/moderator_parts.h"

// The Vote tab's controls and what its buttons do.

namespace lumvo {

using moderator_parts::place;
namespace kit = control_kit;

namespace {

constexpr int kTitleChars = 95;
constexpr int kAnswerChars = 47;
constexpr const wchar_t* kAnswerLabels[4] = {L"1", L"2", L"3  optional", L"4  optional"};
constexpr const wchar_t* kAnswerStarts[4] = {L"Yes", L"No", L"", L""};
constexpr const wchar_t* kLengthUnits[3] = {L"H", L"M", L"S"};
constexpr const wchar_t* kEndAtUnits[3] = {L"Hr", L"Min", L"Sec"};
// A start that copies a picture the server then checks gets longer than a button's usual wait.
constexpr int kStartTimeoutMs = 8000;

std::wstring readCapped(HWND box, int chars) {
    std::wstring text = kit::text(box);
    if (text.size() > static_cast<std::size_t>(chars)) text.resize(static_cast<std::size_t>(chars));
    return text;
}

}  // namespace

void VoteTab::build(DeskPartHost host) {
    host_ = std::move(host);
    const kit::Maker& m = host_.maker;
    labels_.push_back(kit::heading(m, L"Start a vote"));
    labels_.push_back(kit::hint(m, L"Title and two to four answers. Guests vote on Live."));
    labels_.push_back(kit::label(m, L"Title"));
    title_ = kit::editBox(m, vote_ids::kTitle);
    SendMessageW(title_, EM_SETLIMITTEXT, kTitleChars, 0);
    kit::setText(title_, L"Who is having the best night?");
    labels_.push_back(kit::label(m, L"Answers"));
    for (int i = 0; i < 4; ++i) {
        labels_.push_back(kit::label(m, kAnswerLabels[i]));
        answers_[i] = kit::editBox(m, vote_ids::kAnswer + i);
        SendMessageW(answers_[i], EM_SETLIMITTEXT, kAnswerChars, 0);
        kit::setText(answers_[i], kAnswerStarts[i]);
    }
    labels_.push_back(kit::label(m, L"Picture (optional)"));
    pictureName_ = kit::label(m, utf8ToWide(vote_text::kNoPicture).c_str(), vote_ids::kPictureName);
    kit::button(m, L"Add picture", vote_ids::kAddPicture);
    kit::button(m, L"Remove", vote_ids::kRemovePicture);
    labels_.push_back(kit::label(m, L"When it ends"));
    modeButtons_[0] = kit::ownerButton(m, L"Length", vote_ids::kLength);
    modeButtons_[1] = kit::ownerButton(m, L"End at local time", vote_ids::kEndAt);
    modeHint_ = kit::hint(m, L"", vote_ids::kModeHint);
    for (int f = 0; f < 3; ++f) {
        kit::button(m, L"+", vote_ids::kPlus + f);
        fields_[f] = kit::editBox(m, vote_ids::kField + f, ES_CENTER | ES_NUMBER);
        SendMessageW(fields_[f], EM_SETLIMITTEXT, 2, 0);
        kit::button(m, L"-", vote_ids::kMinus + f);
        units_[f] = kit::label(m, L"", vote_ids::kUnit + f);
        if (f < 2) labels_.push_back(kit::label(m, L":"));
    }
    unlimited_ = kit::checkBox(m, L"Guests can vote more than once", vote_ids::kUnlimited);
    kit::button(m, L"Start vote", vote_ids::kStart);
    kit::button(m, L"Stop vote", vote_ids::kStop);
    showFields(clock_.choose(VoteTimeMode::length, {0, 1, 0}, {}));
    showMode();
    refreshSetting();
}

int VoteTab::layout(int width) {
    const HWND page = host_.maker.parent;
    if (!page || labels_.size() < 12) return 0;
    const int w = std::clamp(width, 300, 480);
    const auto item = [page](int id) { return GetDlgItem(page, id); };
    place(labels_[0], 0, 0, w, 22);   // heading
    place(labels_[1], 0, 26, w, 18);  // hint
    place(labels_[2], 0, 54, 90, 20);
    place(title_, 90, 50, w - 90, 24);
    place(labels_[3], 0, 84, w, 18);
    for (int i = 0; i < 4; ++i) {
        place(labels_[4 + i], 0, 110 + i * 28, 90, 20);
        place(answers_[i], 90, 106 + i * 28, w - 90, 24);
    }
    place(labels_[8], 0, 228, 150, 20);
    place(pictureName_, 150, 228, w - 150 - 196, 20);
    place(item(vote_ids::kAddPicture), w - 190, 222, 110, 28);
    place(item(vote_ids::kRemovePicture), w - 74, 222, 74, 28);
    place(labels_[9], 0, 262, w, 18);
    place(modeButtons_[0], 0, 284, 150, 30);
    place(modeButtons_[1], 158, 284, 190, 30);
    place(modeHint_, 0, 320, w, 34);
    for (int f = 0; f < 3; ++f) {
        const int x = f * 112;
        place(item(vote_ids::kPlus + f), x, 358, 28, 26);
        place(fields_[f], x + 30, 358, 36, 26);
        place(item(vote_ids::kMinus + f), x + 68, 358, 28, 26);
        place(units_[f], x + 30, 388, 40, 18);
        if (f < 2) place(labels_[10 + f], x + 100, 362, 10, 20);
    }
    place(unlimited_, 0, 414, w, 22);
    place(item(vote_ids::kStart), 0, 446, 150, 34);
    place(item(vote_ids::kStop), 158, 446, 150, 34);
    return 492;
}

bool VoteTab::onCommand(int id, int code) {
    if (id < vote_ids::kTitle || id > vote_ids::kStop) return false;
    if (code != BN_CLICKED) return true;
    if (id >= vote_ids::kPlus && id < vote_ids::kMinus + 3) {
        const bool plus = id < vote_ids::kMinus;
        const int f = id - (plus ? vote_ids::kPlus : vote_ids::kMinus);
        const int shown = fieldNumber(wideToUtf8(kit::text(fields_[f])));
        kit::setText(fields_[f], utf8ToWide(twoDigits(stepField(static_cast<ClockField>(f), shown, plus ? 1 : -1))));
        return true;
    }
    switch (id) {
        case vote_ids::kAddPicture: choosePicture(); break;
        case vote_ids::kRemovePicture:
            picture_.clear();
            kit::setText(pictureName_, utf8ToWide(vote_text::kNoPicture));
            break;
        case vote_ids::kLength:
        case vote_ids::kEndAt: {
            SYSTEMTIME now{};
            GetLocalTime(&now);
            const auto next = id == vote_ids::kLength ? VoteTimeMode::length : VoteTimeMode::endAt;
            showFields(clock_.choose(next, shownFields(), {now.wHour, now.wMinute, now.wSecond}));
            showMode();
            break;
        }
        case vote_ids::kUnlimited:
            if (host_.changeSettings) {
                const std::int32_t on = kit::checked(unlimited_) ? 1 : 0;
                host_.changeSettings([on](WallSettings& s) { s.allowUnlimitedVoting = on; });
            }
            break;
        case vote_ids::kStart: start(); break;
        case vote_ids::kStop: stop(); break;
        default: break;
    }
    return true;
}

bool VoteTab::modeSelected(int id) const { return (id == vote_ids::kEndAt) == (clock_.mode() == VoteTimeMode::endAt); }

void VoteTab::refreshSetting() {
    if (unlimited_ && host_.settings) kit::setChecked(unlimited_, host_.settings().allowUnlimitedVoting != 0);
}

ClockFields VoteTab::shownFields() const {
    const auto read = [this](int f) { return fieldNumber(wideToUtf8(kit::text(fields_[f]))); };
    return clampFields({read(0), read(1), read(2)});
}

void VoteTab::showFields(ClockFields fields) {
    const int values[3] = {fields.h, fields.m, fields.s};
    for (int f = 0; f < 3; ++f) kit::setText(fields_[f], utf8ToWide(twoDigits(values[f])));
}

void VoteTab::showMode() {
    const bool endAt = clock_.mode() == VoteTimeMode::endAt;
    kit::setText(modeHint_, utf8ToWide(endAt ? vote_text::kEndAtHint : vote_text::kLengthHint));
    for (int f = 0; f < 3; ++f) kit::setText(units_[f], (endAt ? kEndAtUnits : kLengthUnits)[f]);
    for (HWND button : modeButtons_) InvalidateRect(button, nullptr, FALSE);
}

void VoteTab::choosePicture() {
    // The dialog's loop may see the window closed: then the path is empty and nothing is touched.
    const auto choose = host_.choosePicture;
    const std::wstring path = choose ? choose(L"Choose a poll picture") : std::wstring();
    if (path.empty()) return;
    const long long size = fileSizeOf(path);
    if (size < 0 || !pollPictureSizeOk(static_cast<std::uint64_t>(size))) {
        if (host_.tell) host_.tell(vote_text::kPictureTooBig, true);
        return;
    }
    picture_ = path;
    kit::setText(pictureName_, fileNameOf(path));
}

std::optional<std::string> VoteTab::copiedPicture() {
    if (picture_.empty()) return std::string();
    // A box's loop may see the window closed: the copy of the hook outlives this object then.
    const auto tell = host_.tell;
    const long long size = fileSizeOf(picture_);
    if (size < 0 || !pollPictureSizeOk(static_cast<std::uint64_t>(size))) {
        if (tell && !tell(vote_text::kPictureTooBig, true)) return std::nullopt;
        return std::string();
    }
    ensureDataFolders();
    const std::string name = pollPictureFileName(GetTickCount64(), wideToUtf8(fileNameOf(picture_)));
    const std::wstring target = wallFolderWide() + L"\\uploads\\" + utf8ToWide(name);
    if (!CopyFileW(picture_.c_str(), target.c_str(), FALSE)) {
        if (tell && !tell(vote_text::kPictureNotCopied, true)) return std::nullopt;
        return std::string();
    }
    return "/uploads/" + name;
}

void VoteTab::start() {
    if (ticket_ != 0 || !host_.submit) return;
    VoteForm form;
    form.title = wideToUtf8(readCapped(title_, kTitleChars));
    for (int i = 0; i < 4; ++i) form.answers[i] = wideToUtf8(readCapped(answers_[i], kAnswerChars));
    form.mode = clock_.mode();
    form.time = shownFields();
    showFields(form.time);
    const std::optional<std::string> picture = copiedPicture();
    if (!picture) return;  // the window was closed under a box: nothing of ours is left
    form.picture = *picture;
    DeskJob job{voteStartRequest(form), false};
    job.timeoutMs = kStartTimeoutMs;
    ticket_ = host_.submit(std::move(job));
    stopping_ = false;
    if (ticket_ == 0 && host_.setStatus) host_.setStatus(utf8ToWide(voteStartStatus(false, {})));
}

void VoteTab::stop() {
    if (ticket_ != 0 || !host_.submit) return;
    ticket_ = host_.submit({voteStopRequest(), false});
    stopping_ = true;
    if (ticket_ == 0 && host_.setStatus) host_.setStatus(utf8ToWide(voteStopStatus(false, {})));
}

bool VoteTab::take(const DeskResult& result) {
    if (ticket_ == 0 || result.ticket != ticket_) return false;
    ticket_ = 0;
    const std::string status =
        stopping_ ? voteStopStatus(result.requestOk, result.reply) : voteStartStatus(result.requestOk, result.reply);
    if (host_.setStatus) host_.setStatus(utf8ToWide(status));
    return true;
}

}  // namespace lumvo
