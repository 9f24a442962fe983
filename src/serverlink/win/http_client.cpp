#include "serverlink/win/http_client.h"

#include <windows.h>
#include <winhttp.h>

#include "serverlink/http_timeouts.h"

namespace lumvo {
namespace {

// The process-wide session, opened on first use and kept until the DLL goes away.
INIT_ONCE rootOnce = INIT_ONCE_STATIC_INIT;
HINTERNET rootHandle = nullptr;

constexpr DWORD kSecureProtocolsOption = 84;         // WINHTTP_OPTION_SECURE_PROTOCOLS
constexpr DWORD kTls12AndTls13 = 0x00000800 | 0x00002000;

HINTERNET openRoot() {
    HINTERNET root = WinHttpOpen(L"LUMVO/1.0", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                 WINHTTP_NO_PROXY_BYPASS, 0);
    if (!root) return nullptr;
    const HttpTimeouts t = kHttpRootTimeouts;
    WinHttpSetTimeouts(root, t.resolve, t.connect, t.send, t.receive);
    DWORD protocols = kTls12AndTls13;
    WinHttpSetOption(root, kSecureProtocolsOption, &protocols, sizeof protocols);
    return root;
}

// The first caller opens the session; callers arriving meanwhile wait for it. A failure to open
// leaves no session for the life of the process. Should the guard itself fail, this one request
// fails rather than the host process.
HINTERNET sharedRoot() {
    BOOL pending = FALSE;
    if (!InitOnceBeginInitialize(&rootOnce, 0, &pending, nullptr)) return nullptr;
    if (pending) {
        rootHandle = openRoot();
        InitOnceComplete(&rootOnce, 0, nullptr);
    }
    return rootHandle;
}

class InternetHandle {
public:
    explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
    ~InternetHandle() {
        if (handle_) WinHttpCloseHandle(handle_);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    HINTERNET get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    HINTERNET handle_;
};

bool exchange(const std::wstring& method, const std::wstring& host, std::uint16_t port, const std::wstring& path,
              const std::string* body, std::string& out, bool longReceive, bool secure, int timeoutMs) {
    HINTERNET root = sharedRoot();
    if (!root) return false;
    InternetHandle connection(WinHttpConnect(root, host.c_str(), port, 0));
    if (!connection) return false;
    InternetHandle request(WinHttpOpenRequest(connection.get(), method.c_str(), path.c_str(), nullptr,
                                              WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                              secure ? WINHTTP_FLAG_SECURE : 0));
    if (!request) return false;

    const HttpTimeouts t = requestTimeouts(timeoutMs, longReceive);
    WinHttpSetTimeouts(request.get(), t.resolve, t.connect, t.send, t.receive);
    // The wait for the reply's headers has a time-out of its own (90 s by default; Wine's WinHTTP
    // waits there without the receive time-out): a server that takes the request and never
    // answers must cost no more than `receive`.
    DWORD headerWait = static_cast<DWORD>(t.receive);
    WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headerWait, sizeof headerWait);

    BOOL sent;
    if (body) {
        if (body->size() > MAXDWORD) return false;
        const DWORD length = static_cast<DWORD>(body->size());
        sent = WinHttpSendRequest(request.get(), L"Content-Type: application/json\r\n", static_cast<DWORD>(-1),
                                  length ? const_cast<char*>(body->data()) : WINHTTP_NO_REQUEST_DATA, length, length,
                                  0);
    } else {
        sent = WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0);
    }
    if (!sent || !WinHttpReceiveResponse(request.get(), nullptr)) return false;

    DWORD status = 0;
    DWORD statusSize = sizeof status;
    const bool haveStatus = WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                                WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize,
                                                WINHTTP_NO_HEADER_INDEX);
    // The body is read whatever the status, so a caller can look at an error reply. A read that
    // fails (the connection dropped or timed out mid-body) leaves a cut-off body: that is a failed
    // exchange, never a success with half a document or half a photo.
    char buffer[16384];
    for (;;) {
        DWORD got = 0;
        if (!WinHttpReadData(request.get(), buffer, sizeof buffer, &got)) return false;
        if (got == 0) break;
        out.append(buffer, got);
    }
    return !haveStatus || (status >= 200 && status <= 299);
}

}  // namespace

bool HttpRequest(const std::wstring& method, const std::wstring& host, std::uint16_t port, const std::wstring& path,
                 const std::string* body, std::string& out, bool longReceive, bool secure, int timeoutMs) {
    out.clear();
    try {
        return exchange(method, host, port, path, body, out, longReceive, secure, timeoutMs);
    } catch (...) {  // only std::bad_alloc from growing `out`
        return false;
    }
}

bool httpGet(const std::wstring& host, std::uint16_t port, const std::wstring& path, std::string& out,
             bool longReceive, int timeoutMs) {
    return HttpRequest(L"GET", host, port, path, nullptr, out, longReceive, false, timeoutMs);
}

bool httpGetEx(const std::wstring& host, std::uint16_t port, bool secure, const std::wstring& path, std::string& out,
               bool longReceive, int timeoutMs) {
    return HttpRequest(L"GET", host, port, path, nullptr, out, longReceive, secure, timeoutMs);
}

bool httpPost(const std::wstring& host, std::uint16_t port, const std::wstring& path, const std::string& body,
              std::string& out, int timeoutMs) {
    return HttpRequest(L"POST", host, port, path, &body, out, false, false, timeoutMs);
}

bool httpPostEx(const std::wstring& host, std::uint16_t port, bool secure, const std::wstring& path,
                const std::string& body, std::string& out, int timeoutMs) {
    return HttpRequest(L"POST", host, port, path, &body, out, false, secure, secureRequestTimeout(timeoutMs));
}

}  // namespace lumvo
