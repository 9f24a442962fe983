#pragma once
// The DJ's settings to the wall server (POST /api/settings), from the display poll and, later, the
// moderator window.
#include <string_view>

#include "settings/settings.h"
#include "base/http_client.h"

namespace lumvo {

// True when the server took them. An empty media folder setting announces `defaultMediaFolder`.
bool pushSettings(HttpClient& http, const WallSettings& settings, std::string_view defaultMediaFolder,
                  const HttpOptions& options = {});

}  // namespace lumvo
