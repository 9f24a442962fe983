#pragma once
// An HTTP/1.1 server on 127.0.0.1 run by a test, one thread per connection: it records every
// request and answers it with the raw bytes its handler returns. A handler that returns nothing
// leaves the request unanswered and the connection open, as a hung server does. After a reply the
// connection is closed, kept for the next request (as Node.js keeps it), or held open without
// another byte (a reply cut short then stalls).
#include <winsock2.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace lumvo::test {

struct Request {
    std::string method, target, headers, body;
    // A header's value, if present (WinHTTP writes the names as the client gave them).
    std::optional<std::string> header(const std::string& name) const {
        const std::string all = "\r\n" + headers + "\r\n";
        const size_t at = all.find("\r\n" + name + ": ");
        if (at == std::string::npos) return std::nullopt;
        const size_t start = at + name.size() + 4;
        return all.substr(start, all.find("\r\n", start) - start);
    }
};

class LocalHttpServer {
public:
    using Handler = std::function<std::optional<std::string>(const Request&)>;
    enum class After { close, keepAlive, hold };

    // Listens on `port` (0: any free one).
    explicit LocalHttpServer(Handler handler, After after = After::close, std::uint16_t port = 0)
        : handler_(std::move(handler)), after_(after) {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener_, 16) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            return;
        }
        port_ = ntohs(address.sin_port);
        accepting_ = std::thread([this] {
            while (!stopping_) {
                if (!readable(listener_)) continue;
                const SOCKET connection = accept(listener_, nullptr, nullptr);
                if (connection != INVALID_SOCKET) connections_.emplace_back([this, connection] { serve(connection); });
            }
        });
    }
    ~LocalHttpServer() {
        stopping_ = true;
        if (accepting_.joinable()) accepting_.join();
        for (std::thread& connection : connections_) connection.join();
        closesocket(listener_);
        for (SOCKET s : held_) closesocket(s);
        WSACleanup();
    }
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    std::uint16_t port() const { return port_; }  // 0 when it could not listen
    std::vector<Request> requests() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

private:
    bool readable(SOCKET socket) const {
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(socket, &ready);
        timeval wait{0, 20000};
        return select(0, &ready, nullptr, nullptr, &wait) > 0;
    }

    void serve(SOCKET connection) {
        std::string data;
        char buffer[4096];
        // Reads until `data` holds `size` bytes; false when the client closed or the server stops.
        auto fill = [&](size_t size) {
            while (data.size() < size && !stopping_) {
                if (!readable(connection)) continue;
                const int got = recv(connection, buffer, sizeof buffer, 0);
                if (got <= 0) return false;
                data.append(buffer, got);
            }
            return data.size() >= size;
        };
        for (;;) {
            size_t headerEnd;
            while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos) {
                if (!fill(data.size() + 1)) return (void)closesocket(connection);
            }
            Request request;
            const size_t lineEnd = data.find("\r\n");
            const size_t space1 = data.find(' ');
            const size_t space2 = data.find(' ', space1 + 1);
            request.method = data.substr(0, space1);
            request.target = data.substr(space1 + 1, space2 - space1 - 1);
            request.headers = data.substr(lineEnd + 2, headerEnd - lineEnd - 2);
            const size_t end = headerEnd + 4 + std::stoul(request.header("Content-Length").value_or("0"));
            if (!fill(end)) return (void)closesocket(connection);
            request.body = data.substr(headerEnd + 4, end - headerEnd - 4);
            data.erase(0, end);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.push_back(request);
            }
            const std::optional<std::string> answer = handler_(request);
            for (size_t sent = 0; answer && sent < answer->size();) {
                const int n = send(connection, answer->data() + sent, static_cast<int>(answer->size() - sent), 0);
                if (n <= 0) break;
                sent += static_cast<size_t>(n);
            }
            if (!answer || after_ == After::hold) {
                std::lock_guard<std::mutex> lock(mutex_);
                return held_.push_back(connection);  // closed when the server goes
            }
            if (after_ == After::close) {
                shutdown(connection, SD_SEND);
                return (void)closesocket(connection);
            }
        }
    }

    Handler handler_;
    After after_;
    SOCKET listener_ = INVALID_SOCKET;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::thread accepting_;
    std::vector<std::thread> connections_;  // the accepting thread's
    std::vector<Request> requests_;
    std::vector<SOCKET> held_;
};

}  // namespace lumvo::test
