#include "moderator/vote_form.h"

#include <algorithm>
#include <cctype>

#include "base/json.h"

namespace lumvo {
namespace {

bool endsWithNoCase(std::string_view text, std::string_view end) {
    if (text.size() < end.size()) return false;
    return std::equal(end.begin(), end.end(), text.end() - static_cast<std::ptrdiff_t>(end.size()),
                      [](char lower, char c) { return std::tolower(static_cast<unsigned char>(c)) == lower; });
}

std::string quoted(std::string_view text) {
    std::string out(1, '"');
    out += jsonEscapeControlsAsSpaces(text);
    out += '"';
    return out;
}

// The server's sentence in a refusal, else `fallback`.
std::string serverSentence(std::string_view reply, const char* fallback) {
    std::string error = jsonGetString(reply, "error");
    return error.empty() ? std::string(fallback) : error;
}

}  // namespace

int fieldNumber(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && text[at] == ' ') ++at;
    int value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
        value = std::min(value * 10 + (text[at] - '0'), 999);
    return value;
}

int stepField(ClockField field, int value, int step) {
    const int top = fieldTop(field);
    const int next = value + step;
    if (next > top) return 0;
    if (next < 0) return top;
    return next;
}

ClockFields clampFields(ClockFields f) {
    return {std::clamp(f.h, 0, 23), std::clamp(f.m, 0, 59), std::clamp(f.s, 0, 59)};
}

std::string twoDigits(int value) {
    const int v = std::clamp(value, 0, 99);
    const char digits[2] = {static_cast<char>('0' + v / 10), static_cast<char>('0' + v % 10)};
    return std::string(digits, 2);
}

ClockFields VoteClock::choose(VoteTimeMode next, ClockFields shown, ClockFields now) {
    (mode_ == VoteTimeMode::length ? length_ : endAt_) = clampFields(shown);
    mode_ = next;
    if (mode_ == VoteTimeMode::length) return length_;
    if (endAt_.h < 0) endAt_ = clampFields(now);
    return endAt_;
}

int voteSeconds(ClockFields length) {
    const ClockFields f = clampFields(length);
    return std::max((f.h * 60 + f.m) * 60 + f.s, kShortestVoteSeconds);
}

WallRequest voteStartRequest(const VoteForm& form) {
    std::string body = "{\"title\":" + quoted(form.title);
    if (form.mode == VoteTimeMode::length) {
        body += ",\"duration\":" + std::to_string(voteSeconds(form.time));
    } else {
        const ClockFields f = clampFields(form.time);
        body += ",\"endAt\":\"";
        body += twoDigits(f.h);
        body += ':';
        body += twoDigits(f.m);
        body += ':';
        body += twoDigits(f.s);
        body += '"';
    }
    if (!form.picture.empty()) body += ",\"photo\":" + quoted(form.picture);
    body += ",\"options\":[";
    bool first = true;
    for (const std::string& answer : form.answers) {
        if (answer.empty()) continue;
        if (!first) body += ',';
        body += quoted(answer);
        first = false;
    }
    body += "]}";
    return {"POST", "/api/vote-start", std::move(body)};
}

WallRequest voteStopRequest() { return {"POST", "/api/vote-stop", "{}"}; }

std::string voteStartStatus(bool succeeded, std::string_view reply) {
    return succeeded ? vote_text::kStarted : serverSentence(reply, vote_text::kStartFailed);
}

std::string voteStopStatus(bool succeeded, std::string_view reply) {
    return succeeded ? vote_text::kStopped : serverSentence(reply, vote_text::kStopFailed);
}

std::string pollPictureExtension(std::string_view sourceName) {
    if (endsWithNoCase(sourceName, ".png")) return ".png";
    if (endsWithNoCase(sourceName, ".webp")) return ".webp";
    return ".jpg";
}

std::string pollPictureFileName(std::uint64_t tick, std::string_view sourceName) {
    return "LUMVO_poll_" + std::to_string(tick) + pollPictureExtension(sourceName);
}

}  // namespace lumvo
