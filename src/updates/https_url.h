#pragma once
// The addresses the plug-in downloads from. Every download is HTTPS: an address that is anything
// else is refused before a request is made, whatever document named it.
#include <optional>
#include <string>
#include <string_view>

namespace lumvo {

struct HttpsUrl {
    std::string host;
    int port = 443;
    std::string path;  // from the first '/', with any query; "/" when the address has none
};

// The parts of "https://host[:port][/path]"; nothing for another scheme (plain "http://" among
// them, the scheme compared exactly), an empty host (a literal IPv6 host among them), a user name ("user@host"), a port
// that is not 1..65535, or a blank or control byte anywhere.
std::optional<HttpsUrl> parseHttpsUrl(std::string_view url);

}  // namespace lumvo
