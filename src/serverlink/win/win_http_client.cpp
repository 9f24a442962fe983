#include "serverlink/win/win_http_client.h"

#include <windows.h>
#include <winhttp.h>

#include <cwchar>
#include <limits>

#include "base/win/wide_text.h"
#include "base/http_timeouts.h"

namespace lumvo {
namespace {

// The process-wide session, opened on first use and kept until the DLL goes away.
INIT_ONCE rootOnce = INIT_ONCE_STATIC_INIT;
HINTERNET rootHandle = nullptr;

constexpr DWORD kSecureProtocolsOption = 84;  // WINHTTP_OPTION_SECURE_PROTOCOLS
constexpr DWORD kTls12AndTls13 = 0x00000800 | 0x00002000;

HINTERNET openRoot() {
    HINTERNET root =
        WinHttpOpen(L"LUMVO/1.0", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
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
    InternetHandle(InternetHandle&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
    ~InternetHandle() {
        if (handle_) WinHttpCloseHandle(handle_);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    InternetHandle& operator=(InternetHandle&&) = delete;
    HINTERNET get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    HINTERNET handle_;
};

// The body of one reply; owns the exchange's handles (the request is closed before its connection).
class WinHttpBody final : public HttpBodySource {
public:
    WinHttpBody(InternetHandle connection, InternetHandle request)
        : connection_(std::move(connection)), request_(std::move(request)) {}

    std::optional<std::size_t> read(char* buffer, std::size_t capacity) override {
        DWORD got = 0;
        const DWORD asked = capacity > MAXDWORD ? MAXDWORD : static_cast<DWORD>(capacity);
        if (!WinHttpReadData(request_.get(), buffer, asked, &got)) return std::nullopt;
        return got;
    }

private:
    InternetHandle connection_;
    InternetHandle request_;
};

std::optional<DWORD> queryNumber(HINTERNET request, DWORD header) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (!WinHttpQueryHeaders(request, header | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX, &value, &size,
                             WINHTTP_NO_HEADER_INDEX)) {
        return std::nullopt;
    }
    return value;
}

// Content-Length as sent, when it is a plain decimal number (a download may pass 4 GB).
std::optional<std::uint64_t> contentLength(HINTERNET request) {
    wchar_t text[32] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
                             WINHTTP_NO_HEADER_INDEX) ||
        text[0] == L'\0') {
        return std::nullopt;
    }
    std::uint64_t length = 0;
    for (const wchar_t* c = text; *c; ++c) {
        if (*c < L'0' || *c > L'9' || length > std::numeric_limits<std::uint64_t>::max() / 10 - 1) return std::nullopt;
        length = length * 10 + static_cast<std::uint64_t>(*c - L'0');
    }
    return length;
}

HttpReply exchange(const HttpRequest& r) {
    HINTERNET root = sharedRoot();
    if (!root) return {};
    InternetHandle connection(WinHttpConnect(root, utf8ToWide(r.options.host).c_str(), r.options.port, 0));
    if (!connection) return {};
    InternetHandle request(WinHttpOpenRequest(
        connection.get(), utf8ToWide(r.method).c_str(), utf8ToWide(r.path).c_str(), nullptr, WINHTTP_NO_REFERER,
        WINHTTP_DEFAULT_ACCEPT_TYPES, r.options.secure ? WINHTTP_FLAG_SECURE : 0));
    if (!request) return {};

    const HttpTimeouts t = requestTimeouts(r.options.timeoutMs, r.options.longReceive);
    WinHttpSetTimeouts(request.get(), t.resolve, t.connect, t.send, t.receive);
    // The wait for the reply's headers has a time-out of its own (90 s by default; Wine's WinHTTP
    // waits there without the receive time-out): a server that takes the request and never
    // answers must cost no more than `receive`.
    DWORD headerWait = static_cast<DWORD>(t.receive);
    WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headerWait, sizeof headerWait);

    BOOL sent;
    if (r.body) {
        if (r.body->size() > MAXDWORD) return {};
        const DWORD length = static_cast<DWORD>(r.body->size());
        sent =
            WinHttpSendRequest(request.get(), L"Content-Type: application/json\r\n", static_cast<DWORD>(-1),
                               length ? const_cast<char*>(r.body->data()) : WINHTTP_NO_REQUEST_DATA, length, length, 0);
    } else {
        sent = WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0);
    }
    if (!sent || !WinHttpReceiveResponse(request.get(), nullptr)) return {};

    const std::optional<DWORD> status = queryNumber(request.get(), WINHTTP_QUERY_STATUS_CODE);
    if (!status || *status < 100 || *status > 999) return {};
    // A reply to HEAD, and 204 and 304, carry no body whatever Content-Length says.
    const bool bodyless = r.method == "HEAD" || *status == 204 || *status == 304;
    const std::optional<std::uint64_t> length =
        bodyless ? std::optional<std::uint64_t>() : contentLength(request.get());
    return HttpReply(static_cast<int>(*status), length,
                     std::make_unique<WinHttpBody>(std::move(connection), std::move(request)));
}

}  // namespace

HttpReply WinHttpClient::send(const HttpRequest& request) noexcept {
    try {
        return exchange(request);
    } catch (...) {  // std::bad_alloc converting the texts or making the body
        return {};
    }
}

}  // namespace lumvo
