// The JSON readers on arbitrary documents and keys: no crash, no hang, no read out of bounds, and
// the escapers' output always decodes back to what they were given.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "moderator/post_record.h"
#include "base/json.h"

using namespace lumvo;

namespace {
void check(bool ok) {
    if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // The first byte tells how many of the next bytes are the key; the rest is the document.
    const std::size_t keyLength = size == 0 ? 0 : std::min<std::size_t>(data[0] % 32, size - 1);
    const std::string_view key = input.substr(size == 0 ? 0 : 1, keyLength);
    const std::string_view json = input.substr(size == 0 ? 0 : 1 + keyLength);

    (void)jsonGetString(json, key);
    (void)jsonGetBool(json, key, true);
    (void)jsonGetNumber(json, key, 0.0);
    for (const std::string& object : jsonGetArrayObjects(json, key)) {
        check(object.size() >= 2 && object.front() == '{' && object.back() == '}');
        check(json.find(object) != std::string_view::npos);
    }
    // The moderator reads whole documents into its post lists from the same bytes.
    const ModerationDocument moderation = readModerationDocument(json);
    for (const auto& list : moderation.lists)
        for (const PostRecord& post : list) check(post.count >= 1);
    (void)jsonUnescape(json);

    std::string withoutControls, textForm;
    for (const char c : json) {
        if (static_cast<unsigned char>(c) >= 0x20) withoutControls += c;
        textForm += c == '\n' || static_cast<unsigned char>(c) >= 0x20 ? c : ' ';
    }
    check(jsonUnescape(jsonEscapeDropControls(json)) == withoutControls);
    check(jsonUnescape(jsonEscapeControlsAsSpaces(json)) == textForm);
    check(jsonGetString("{\"k\":\"" + jsonEscapeDropControls(json) + "\"}", "k") == withoutControls);
    return 0;
}
