#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "base/win/data_folders.h"
#include "base/win/wide_text.h"
#include "moderator/win/control_kit.h"
#include "moderator/win/moderator_parts.h"
#include "moderator/win/moderator_window.h"
#include "moderator/win/settings_tab.h"
#include "settings/shared_settings.h"

// The Settings tab's settings pages: their controls made from the rows, laid out in one column,
// filled from the settings and read back one control at a time.

namespace lumvo {

namespace kit = control_kit;
using K = SettingsRowKind;
using moderator_parts::place;
using moderator_parts::show;

namespace {

// The column every page's controls sit in.
constexpr int kLeft = 8;
constexpr int kColumn = 480;
constexpr int kSecondColumn = 250;
constexpr int kHalf = 230;

bool hasFocus(HWND control) { return control && GetFocus() == control; }

bool customLogo() {
    const DWORD attributes = GetFileAttributesW(brandLogoPath().c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

HWND SettingsTab::pageOf(const SettingsRow& row) const { return window_.settingsPages_[static_cast<int>(row.page)]; }

HWND SettingsTab::control(int row) const {
    return row >= 0 && row < static_cast<int>(controls_.size()) ? controls_[row] : nullptr;
}

void SettingsTab::build() {
    const auto rows = settingsRows();
    controls_.assign(rows.size(), nullptr);
    valueLabels_.assign(rows.size(), nullptr);
    std::vector<std::wstring> themes;
    for (const std::string& name : themeChoiceNames()) themes.push_back(utf8ToWide(name));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const SettingsRow& row = rows[i];
        const kit::Maker m{pageOf(row), window_.module_, window_.look_.normal, window_.look_.bold};
        const int id = settings_ids::kControl + static_cast<int>(i);
        const std::wstring text = utf8ToWide(row.text);
        HWND& c = controls_[i];
        switch (row.kind) {
            case K::heading: c = kit::heading(m, text.c_str(), id); break;
            case K::hint: c = kit::hint(m, text.c_str(), id); break;
            case K::label:
            case K::logoState:
            case K::lookStatus: c = kit::label(m, text.c_str(), id); break;
            case K::check: c = kit::checkBox(m, text.c_str(), id); break;
            case K::slider:
                c = kit::slider(m, id, row.slider.low, row.slider.high);
                if (row.slider.pageStep > 0) SendMessageW(c, TBM_SETPAGESIZE, 0, row.slider.pageStep);
                // The caption before the slider, the value after it.
                kit::label(m, text.c_str(), settings_ids::kValueLabel + 100 + static_cast<int>(i));
                valueLabels_[i] = kit::label(m, L"", settings_ids::kValueLabel + static_cast<int>(i));
                kit::setText(valueLabels_[i], utf8ToWide(sliderLabel(row, row.slider.fallback)));
                break;
            case K::themeList:
                c = kit::dropList(m, id, {});
                kit::setChoices(c, themes);
                break;
            case K::colour: c = kit::swatch(m, text.c_str(), id); break;
            case K::edit:
                c = kit::editBox(m, id, 0, text.c_str());
                SendMessageW(c, EM_SETLIMITTEXT, kSettingsEditMax, 0);
                break;
            case K::button: c = kit::button(m, text.c_str(), id); break;
            case K::albumPath: c = kit::pathLabel(m, id); break;
            case K::lookList: c = kit::dropList(m, id, {}); break;
        }
    }
    refreshLooks(window_.model_);
    fill();
}

void SettingsTab::layout() {
    if (controls_.empty()) return;
    for (int page = 1; page < kSettingsRowPages; ++page) placeRows(static_cast<SettingsPage>(page), 0, 0);
    placeRows(SettingsPage::display, window_.displayGroup_, 40);
}

void SettingsTab::placeRows(SettingsPage page, int group, int top) {
    const auto rows = settingsRows();
    int y = top;
    bool first = true;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const SettingsRow& row = rows[i];
        if (row.page != page) continue;
        HWND c = controls_[i];
        HWND caption = row.kind == K::slider
                           ? GetDlgItem(pageOf(row), settings_ids::kValueLabel + 100 + static_cast<int>(i))
                           : nullptr;
        const bool shown = page != SettingsPage::display || static_cast<int>(row.group) == group;
        show(c, shown);
        show(caption, shown);
        show(valueLabels_[i], shown);
        if (!shown) continue;
        // Runs of check boxes fill two columns, runs of swatches and of buttons share a line.
        int runIndex = 0, runLength = 1;
        if (row.kind == K::check || row.kind == K::colour || row.kind == K::button) {
            std::size_t start = i;
            while (start > 0 && rows[start - 1].page == page && rows[start - 1].group == row.group &&
                   rows[start - 1].kind == row.kind)
                --start;
            std::size_t end = i + 1;
            while (end < rows.size() && rows[end].page == page && rows[end].group == row.group &&
                   rows[end].kind == row.kind)
                ++end;
            runIndex = static_cast<int>(i - start);
            runLength = static_cast<int>(end - start);
        }
        switch (row.kind) {
            case K::heading:
                if (!first) y += 8;
                place(c, kLeft, y, kColumn, 18);
                y += 24;
                break;
            case K::hint: {
                const int h = std::max(kit::wrappedHeight(c, kColumn), 16);
                place(c, kLeft, y, kColumn, h);
                y += h + 8;
                break;
            }
            case K::label:
            case K::logoState:
            case K::lookStatus:
                place(c, kLeft, y, kColumn, 22);
                y += 28;
                break;
            case K::check:
                // A check box on its own takes the whole column.
                place(c, runIndex % 2 == 0 ? kLeft : kSecondColumn, y, runLength == 1 ? kColumn : kHalf, 24);
                if (runIndex % 2 == 1 || runIndex == runLength - 1) y += 28;
                break;
            case K::slider:
                // Room for the longest caption, "Auto approve after".
                place(caption, kLeft, y + 4, 150, 22);
                place(c, kLeft + 154, y, kColumn - 154 - 68, 30);
                place(valueLabels_[i], kLeft + kColumn - 60, y + 4, 60, 22);
                y += 36;
                break;
            case K::themeList:
            case K::lookList:
                place(c, kLeft, y, kHalf, 200);  // the open list's height
                y += 34;
                break;
            case K::colour:
            case K::button: {
                const int gap = 8;
                const int w = runLength == 1 ? kHalf : (kColumn - gap * (runLength - 1)) / runLength;
                place(c, kLeft + runIndex * (w + gap), y, w, 36);
                if (runIndex == runLength - 1) y += 44;
                break;
            }
            case K::edit:
            case K::albumPath:
                place(c, kLeft, y, kColumn, 28);
                y += 36;
                break;
        }
        first = false;
    }
}

void SettingsTab::fill() {
    SharedSettings* shared = window_.services_.settings;
    if (!shared || controls_.empty()) return;
    moderator_parts::FlagScope ours(filling_);
    seen_ = shared->generation();
    const WallSettings s = shared->copy();
    const auto rows = settingsRows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const SettingsRow& row = rows[i];
        HWND c = controls_[i];
        if (!c) continue;
        switch (row.kind) {
            case K::check: kit::setChecked(c, checkValue(row, s)); break;
            case K::slider:
                // The DJ may be dragging the hot post's sliders while the server changes them.
                if (row.slider.rule == SliderRule::wholeNumber && hasFocus(c)) break;
                kit::setSliderPos(c, sliderPosition(row, s));
                break;
            case K::themeList:
                if (!hasFocus(c)) kit::setChoice(c, themeChoice(s));
                break;
            case K::edit:
                if (!hasFocus(c)) kit::setText(c, utf8ToWide(editValue(row, s)));
                break;
            case K::colour: InvalidateRect(c, nullptr, FALSE); break;
            case K::albumPath: kit::setText(c, utf8ToWide(s.mediaDir)); break;
            case K::logoState: kit::setText(c, utf8ToWide(logoStateText(customLogo()))); break;
            default: break;
        }
    }
    refreshLabels();
}

void SettingsTab::refreshIfChanged() {
    if (window_.services_.settings && window_.services_.settings->generation() != seen_) fill();
}

void SettingsTab::refreshLabels() {
    const auto rows = settingsRows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].kind != K::slider || !controls_[i]) continue;
        kit::setText(valueLabels_[i], utf8ToWide(sliderLabel(rows[i], kit::sliderPos(controls_[i]))));
    }
}

bool SettingsTab::onCommand(int id, int code, HWND) {
    const int i = id - settings_ids::kControl;
    if (i < 0 || i >= static_cast<int>(controls_.size())) return false;
    if (filling_) return true;  // our own setting of the control
    const SettingsRow& row = settingsRows()[i];
    switch (row.kind) {
        case K::check:
            if (code == BN_CLICKED) changeSetting(i, true);
            return true;
        case K::themeList:
            if (code == CBN_SELCHANGE) changeSetting(i, true);
            return true;
        case K::edit:
            if (code == EN_KILLFOCUS) changeSetting(i, true);
            return true;
        case K::colour:
            if (code == BN_CLICKED) chooseColour(i);
            return true;
        case K::lookList:
            if (code == CBN_SELCHANGE) applyLook();
            return true;
        case K::button:
            if (code != BN_CLICKED) return true;
            switch (row.command) {
                case SettingsCommand::chooseFolder: chooseFolder(); break;
                case SettingsCommand::openFolder: openFolder(); break;
                case SettingsCommand::clearAlbum: clearAlbum(); break;
                case SettingsCommand::choosePng: chooseLogo(); break;
                case SettingsCommand::removeLogo: removeLogo(); break;
                case SettingsCommand::editLooks: window_.openInBrowser("http://127.0.0.1:8787/bg"); break;
                case SettingsCommand::none: break;
            }
            return true;
        default: return true;
    }
}

void SettingsTab::onSlider(HWND slider) {
    if (filling_) return;
    const int i = GetDlgCtrlID(slider) - settings_ids::kControl;
    if (i < 0 || i >= static_cast<int>(controls_.size()) || controls_[i] != slider) return;
    changeSetting(i, true);
}

void SettingsTab::changeSetting(int i, bool push) {
    SharedSettings* shared = window_.services_.settings;
    if (!shared) return;
    const SettingsRow& row = settingsRows()[i];
    HWND c = controls_[i];
    // Only this control's setting is written: the others may show what the server has changed since.
    std::string text;
    if (row.kind == K::edit) text = wideToUtf8(kit::text(c));
    const bool on = row.kind == K::check && kit::checked(c);
    const int position = row.kind == K::slider ? kit::sliderPos(c) : 0;
    const int choice = row.kind == K::themeList ? kit::choice(c) : 0;
    const WallSettings now = shared->change([&](WallSettings& s) {
        switch (row.kind) {
            case K::check: setCheckValue(row, s, on); break;
            case K::slider: setSliderPosition(row, s, position); break;
            case K::themeList: setThemeChoice(s, choice); break;
            case K::edit: setEditValue(row, s, text); break;
            default: break;
        }
    });
    // seen_ stays: a change the server made before this one still has to show at the next tick.
    if (row.kind == K::slider) refreshLabels();
    if (row.kind == K::edit && !hasFocus(c)) {
        moderator_parts::FlagScope ours(filling_);
        kit::setText(c, utf8ToWide(editValue(row, now)));  // a website link as it was taken
    }
    if (row.setting && std::string_view(row.setting) == "notify" && now.notify == 0) window_.destroyToast();
    queueSave(now, push);
}

void SettingsTab::changeElsewhere(const std::function<void(WallSettings&)>& edit) {
    SharedSettings* shared = window_.services_.settings;
    if (!shared) return;
    queueSave(shared->change(edit), true);
}

void SettingsTab::queueSave(const WallSettings& now, bool push) {
    bool queued = false;
    {
        std::lock_guard<std::mutex> lock(pending_->mutex);
        queued = pending_->settings.has_value();
        pending_->settings = now;
        pending_->push = pending_->push || push;
    }
    if (queued) return;  // the job on its way takes these
    DeskJob job;
    job.prepare = [pending = pending_, save = window_.services_.saveSettings,
                   media = window_.services_.defaultMediaFolder]() -> std::optional<WallRequest> {
        std::optional<WallSettings> settings;
        bool push = false;
        {
            std::lock_guard<std::mutex> lock(pending->mutex);
            settings.swap(pending->settings);
            push = std::exchange(pending->push, false);
        }
        if (!settings) return std::nullopt;
        if (save) save(*settings);
        if (!push) return std::nullopt;
        return settingsPushRequest(*settings, media);
    };
    if (window_.submitDesk(std::move(job)) != 0) return;
    // No desk (no wall server client): layout.ini is still written.
    std::optional<WallSettings> settings;
    {
        std::lock_guard<std::mutex> lock(pending_->mutex);
        settings.swap(pending_->settings);
        pending_->push = false;
    }
    if (settings && window_.services_.saveSettings) window_.services_.saveSettings(*settings);
}

bool SettingsTab::drawItem(const DRAWITEMSTRUCT& item) {
    const int i = static_cast<int>(item.CtlID) - settings_ids::kControl;
    if (i < 0 || i >= static_cast<int>(controls_.size()) || settingsRows()[i].kind != K::colour) return false;
    const WallSettings s = window_.services_.settings ? window_.services_.settings->copy() : WallSettings{};
    kit::paintSwatch(item, colourValue(settingsRows()[i], s), window_.look_.bold);
    return true;
}

void SettingsTab::refreshLooks(const ModerationModel& model) {
    const int i = settingsRowOf(K::lookList);
    HWND list = control(i);
    if (!list) return;
    kit::setText(control(settingsRowOf(K::lookStatus)), utf8ToWide(model.guestBgStatus()));
    if (hasFocus(list)) return;  // the DJ is choosing
    const LookListPlan plan = planLookList(lookIds_, guestLooksOf(model.guestLooks()), model.guestLookActive());
    moderator_parts::FlagScope ours(filling_);
    if (plan.rebuild) {
        lookIds_ = plan.ids;
        std::vector<std::wstring> names;
        for (const std::string& name : plan.names) names.push_back(utf8ToWide(name));
        kit::setChoices(list, names);
    }
    kit::setChoice(list, plan.select);
}

}  // namespace lumvo
