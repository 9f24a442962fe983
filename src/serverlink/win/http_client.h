#pragma once
// The one synchronous HTTP client of the plug-in, on WinHTTP: the wall server on 127.0.0.1:8787
// and the maker's site. Each call opens and closes its own connection, sends at most one body,
// reads the whole reply into `out` (also for an error status) and answers true only for 2xx
// with the whole body read (a body cut off mid-way is a failure; `out` keeps what arrived).
// Safe to call from several threads at once. Never throws.
#include <cstdint>
#include <string>

namespace lumvo {

inline constexpr const wchar_t* kWallServerHost = L"127.0.0.1";
inline constexpr std::uint16_t kWallServerPort = 8787;

// body == nullptr sends no body; any body (also an empty one) goes with the JSON content type.
// timeoutMs >= 1 applies to every phase; otherwise the defaults (8 s, or 20 s to send and receive
// when longReceive).
bool HttpRequest(const std::wstring& method, const std::wstring& host, std::uint16_t port, const std::wstring& path,
                 const std::string* body, std::string& out, bool longReceive, bool secure, int timeoutMs);

bool httpGet(const std::wstring& host, std::uint16_t port, const std::wstring& path, std::string& out,
             bool longReceive, int timeoutMs);
bool httpGetEx(const std::wstring& host, std::uint16_t port, bool secure, const std::wstring& path, std::string& out,
               bool longReceive, int timeoutMs);
bool httpPost(const std::wstring& host, std::uint16_t port, const std::wstring& path, const std::string& body,
              std::string& out, int timeoutMs);
// For the maker's site: a time-out below 1 becomes 8 s.
bool httpPostEx(const std::wstring& host, std::uint16_t port, bool secure, const std::wstring& path,
                const std::string& body, std::string& out, int timeoutMs);

}  // namespace lumvo
