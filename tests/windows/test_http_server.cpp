#include "test_http_server.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace lumvo::test {
namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

}  // namespace

std::optional<std::string> HttpRequestRecord::header(const std::string& name) const {
    const std::string wanted = lower(name) + ":";
    size_t start = 0;
    while (start < headers.size()) {
        size_t end = headers.find("\r\n", start);
        if (end == std::string::npos) end = headers.size();
        const std::string line = headers.substr(start, end - start);
        if (lower(line.substr(0, wanted.size())) == wanted) {
            std::string value = line.substr(wanted.size());
            while (!value.empty() && value.front() == ' ') value.erase(value.begin());
            return value;
        }
        start = end + 2;
    }
    return std::nullopt;
}

TestHttpServer::TestHttpServer(Handler handler, bool keepOpen) : handler_(std::move(handler)), keepOpen_(keepOpen) {
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;  // any free port
    int length = sizeof address;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(s, 16) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closesocket(s);
        return;
    }
    listener_ = s;
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

TestHttpServer::~TestHttpServer() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    if (listener_ != INVALID_SOCKET) closesocket(listener_);
    for (SOCKET s : held_) closesocket(s);
    WSACleanup();
}

std::vector<HttpRequestRecord> TestHttpServer::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::string TestHttpServer::response(int status, const std::string& reason, const std::string& body,
                                     const std::string& extraHeaders) {
    return "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
}

void TestHttpServer::serve() {
    while (!stopping_) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(listener_, &readable);
        timeval wait{0, 20000};
        if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
        SOCKET connection = accept(listener_, nullptr, nullptr);
        if (connection != INVALID_SOCKET) handle(connection);
    }
}

void TestHttpServer::handle(SOCKET connection) {
    DWORD readTimeout = 5000;
    setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&readTimeout), sizeof readTimeout);
    std::string data;
    char buffer[4096];
    size_t headerEnd;
    while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos) {
        const int got = recv(connection, buffer, sizeof buffer, 0);
        if (got <= 0) {
            closesocket(connection);
            return;
        }
        data.append(buffer, got);
    }
    HttpRequestRecord request;
    const size_t lineEnd = data.find("\r\n");
    const std::string requestLine = data.substr(0, lineEnd);
    const size_t space1 = requestLine.find(' ');
    const size_t space2 = requestLine.find(' ', space1 + 1);
    request.method = requestLine.substr(0, space1);
    request.target = requestLine.substr(space1 + 1, space2 - space1 - 1);
    request.headers = data.substr(lineEnd + 2, headerEnd - lineEnd - 2);
    const size_t length = std::strtoul(request.header("Content-Length").value_or("0").c_str(), nullptr, 10);
    request.body = data.substr(headerEnd + 4);
    while (request.body.size() < length) {
        const int got = recv(connection, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        request.body.append(buffer, got);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
    }
    const std::optional<std::string> reply = handler_(request);
    if (!reply) {
        held_.push_back(connection);  // never answered; closed when the server goes
        return;
    }
    size_t sent = 0;
    while (sent < reply->size()) {
        const int n = send(connection, reply->data() + sent, static_cast<int>(reply->size() - sent), 0);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
    }
    if (keepOpen_) {
        held_.push_back(connection);
        return;
    }
    shutdown(connection, SD_SEND);
    closesocket(connection);
}

}  // namespace lumvo::test
