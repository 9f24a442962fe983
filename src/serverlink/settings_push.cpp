#include "serverlink/settings_push.h"

#include <string>

#include "settings/settings_file.h"

namespace lumvo {

bool pushSettings(HttpClient& http, const WallSettings& settings, std::string_view defaultMediaFolder,
                  const HttpOptions& options) {
    const std::string body = settingsPushBody(
        settings, settings.mediaDir.empty() ? defaultMediaFolder : std::string_view(settings.mediaDir));
    std::string reply;
    return httpPost(http, "/api/settings", body, reply, options);
}

}  // namespace lumvo
