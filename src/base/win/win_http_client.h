#pragma once
// HttpClient on WinHTTP, for the wall server on 127.0.0.1:8787 and the maker's site. Stateless:
// the WinHTTP session is one for the process, opened on first use; every exchange has its own
// connection and request, closed when its reply is gone. Safe to use from several threads.
#include "base/http_client.h"

namespace lumvo {

class WinHttpClient final : public HttpClient {
public:
    HttpReply send(const HttpRequest& request) noexcept override;
};

}  // namespace lumvo
