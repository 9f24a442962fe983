#include "base/win/win_http_client.h"

#include <windows.h>
#include <winhttp.h>

#include <cwchar>
#include <limits>
#include <memory>
#include <mutex>

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

// The request handle of one exchange, which a cancel may close from another thread: that wakes a
// call waiting in it on Windows (Wine 8 lets the call run to its time-out, which is why every
// time-out is kept short where a stop must not wait). The handle is closed exactly once: by the
// abort only while the exchange is inside a call, otherwise by the exchange itself, and no call
// starts once the abort has run. (An abort landing just as a call is entered closes the handle
// under it; that call then fails on the closed handle.)
class RequestHandle {
public:
    explicit RequestHandle(HINTERNET handle) : handle_(handle) {}
    ~RequestHandle() {
        if (!closed_) WinHttpCloseHandle(handle_);
    }
    RequestHandle(const RequestHandle&) = delete;
    RequestHandle& operator=(const RequestHandle&) = delete;

    // Runs one WinHTTP call on the handle; false when it failed or the exchange was aborted.
    template <typename Call>
    bool call(Call&& run) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (aborted_) return false;
            inCall_ = true;
        }
        const BOOL ok = run(handle_);
        std::lock_guard<std::mutex> lock(mutex_);
        inCall_ = false;
        return ok && !aborted_;
    }

    // On the cancelling thread.
    void abort() {
        std::lock_guard<std::mutex> lock(mutex_);
        aborted_ = true;
        if (inCall_ && !closed_) {
            closed_ = true;
            WinHttpCloseHandle(handle_);
        }
    }

private:
    std::mutex mutex_;
    HINTERNET handle_;
    bool aborted_ = false;
    bool inCall_ = false;
    bool closed_ = false;
};

// An exchange's place on its cancel token, for as long as it may wait on the network.
class CancelRegistration {
public:
    CancelRegistration(HttpCancel* cancel, RequestHandle& request) : cancel_(cancel) {
        if (cancel_) ticket_ = cancel_->enter([&request] { request.abort(); });
    }
    ~CancelRegistration() {
        if (cancel_ && ticket_) cancel_->leave(ticket_);  // after this no abort can run
    }
    CancelRegistration(const CancelRegistration&) = delete;
    CancelRegistration& operator=(const CancelRegistration&) = delete;
    // False when the token was cancelled before the exchange began.
    bool admitted() const { return !cancel_ || ticket_ != 0; }

private:
    HttpCancel* cancel_;
    std::uint64_t ticket_ = 0;
};

// Everything one exchange holds, in the order it lets go: its place on the token, then the request,
// then the connection.
struct ExchangeHandles {
    InternetHandle connection;
    std::unique_ptr<RequestHandle> request;
    CancelRegistration registration;
    HttpTimeouts timeouts;
    HttpBounds bounds;
};

// The body of one reply. Each read first asks how much has arrived (which waits for at least one
// byte, at most the receive time-out shrunk to what is left of the total), then takes that much:
// Wine's WinHttpReadData would otherwise wait to fill the whole buffer, however slowly it comes.
class WinHttpBody final : public HttpBodySource {
public:
    explicit WinHttpBody(std::unique_ptr<ExchangeHandles> handles) : h_(std::move(handles)) {}

    std::optional<std::size_t> read(char* buffer, std::size_t capacity) override {
        const int wait = h_->bounds.phaseMs(h_->timeouts.receive);
        if (wait <= 0) return std::nullopt;
        const HttpTimeouts& t = h_->timeouts;
        DWORD available = 0;
        const bool asked = h_->request->call([&](HINTERNET request) {
            return WinHttpSetTimeouts(request, t.resolve, t.connect, t.send, wait) &&
                   WinHttpQueryDataAvailable(request, &available);
        });
        if (!asked) return std::nullopt;
        if (available == 0) return 0;  // the end of the body
        DWORD got = 0;
        const DWORD wanted =
            available < capacity ? available : static_cast<DWORD>(capacity < MAXDWORD ? capacity : MAXDWORD);
        if (!h_->request->call([&](HINTERNET request) { return WinHttpReadData(request, buffer, wanted, &got); })) {
            return std::nullopt;
        }
        return got;
    }

private:
    std::unique_ptr<ExchangeHandles> h_;
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
    const HttpBounds bounds(r.options);
    HINTERNET root = sharedRoot();
    if (!root) return {};
    InternetHandle connection(WinHttpConnect(root, utf8ToWide(r.options.host).c_str(), r.options.port, 0));
    if (!connection) return {};
    HINTERNET opened = WinHttpOpenRequest(connection.get(), utf8ToWide(r.method).c_str(), utf8ToWide(r.path).c_str(),
                                          nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                          r.options.secure ? WINHTTP_FLAG_SECURE : 0);
    if (!opened) return {};
    auto request = std::make_unique<RequestHandle>(opened);
    RequestHandle& h = *request;
    const HttpTimeouts full = requestTimeouts(r.options.timeoutMs, r.options.longReceive);
    std::unique_ptr<ExchangeHandles> handles(new ExchangeHandles{
        std::move(connection), std::move(request), CancelRegistration(r.options.cancel, h), full, bounds});
    if (!handles->registration.admitted()) return {};

    // Every phase within what is left of the total.
    const HttpTimeouts t{bounds.phaseMs(full.resolve), bounds.phaseMs(full.connect), bounds.phaseMs(full.send),
                         bounds.phaseMs(full.receive)};
    if (t.resolve <= 0 || t.connect <= 0 || t.send <= 0 || t.receive <= 0) return {};
    handles->timeouts = t;
    // The wait for the reply's headers has a time-out of its own (90 s by default; Wine's WinHTTP
    // waits there without the receive time-out): a server that takes the request and never
    // answers must cost no more than `receive`.
    DWORD headerWait = static_cast<DWORD>(t.receive);
    h.call([&](HINTERNET request) {
        WinHttpSetTimeouts(request, t.resolve, t.connect, t.send, t.receive);
        return WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headerWait, sizeof headerWait);
    });

    bool sent;
    if (r.body) {
        if (r.body->size() > MAXDWORD) return {};
        const DWORD length = static_cast<DWORD>(r.body->size());
        sent = h.call([&](HINTERNET request) {
            return WinHttpSendRequest(request, L"Content-Type: application/json\r\n", static_cast<DWORD>(-1),
                                      length ? const_cast<char*>(r.body->data()) : WINHTTP_NO_REQUEST_DATA, length,
                                      length, 0);
        });
    } else {
        sent = h.call([](HINTERNET request) {
            return WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0);
        });
    }
    if (!sent || !h.call([](HINTERNET request) { return WinHttpReceiveResponse(request, nullptr); })) return {};

    std::optional<DWORD> status;
    std::optional<std::uint64_t> length;
    h.call([&](HINTERNET request) {
        status = queryNumber(request, WINHTTP_QUERY_STATUS_CODE);
        // A reply to HEAD, and 204 and 304, carry no body whatever Content-Length says.
        const bool bodyless = !status || r.method == "HEAD" || *status == 204 || *status == 304;
        if (!bodyless) length = contentLength(request);
        return TRUE;
    });
    if (!status || *status < 100 || *status > 999) return {};
    return HttpReply(static_cast<int>(*status), length, std::make_unique<WinHttpBody>(std::move(handles)), bounds);
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
