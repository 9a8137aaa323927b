#pragma once
// A real HTTPS peer for tests: a certificate authority and a server certificate for 127.0.0.1
// made with the openssl tool at test time, and a small OpenSSL server on a free loopback port
// that records each request and answers with the reply set for its path.

#include "common/TestCertificates.h"
#include "common/TestPaths.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vyn::test {

class TestHttpsServer {
public:
    struct Request {
        std::string method, path, headers, body;
    };
    struct Reply {
        int status = 200;
        std::string body;
    };

    explicit TestHttpsServer(const TestCertificates& certs) {
        // A client that gives up mid-reply (an untrusted certificate) must not end the test.
        std::signal(SIGPIPE, SIG_IGN);
        ctx_ = SSL_CTX_new(TLS_server_method());
        if (!ctx_ || SSL_CTX_use_certificate_chain_file(ctx_, certs.certFile.c_str()) != 1 ||
            SSL_CTX_use_PrivateKey_file(ctx_, certs.keyFile.c_str(), SSL_FILETYPE_PEM) != 1)
            return;
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(listener_, 8) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            return;
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~TestHttpsServer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (listener_ >= 0) ::close(listener_);
        if (ctx_) SSL_CTX_free(ctx_);
    }

    int port() const { return port_; }
    std::string url(const std::string& path) const {
        return "https://127.0.0.1:" + std::to_string(port_) + path;
    }
    void reply(const std::string& path, Reply r) {
        std::lock_guard<std::mutex> lock(mutex_);
        replies_[path] = std::move(r);
    }
    std::vector<Request> requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

private:
    void serve() {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const int s = ::accept(listener_, nullptr, nullptr);
            if (s < 0) continue;
            SSL* ssl = SSL_new(ctx_);
            SSL_set_fd(ssl, s);
            if (SSL_accept(ssl) == 1) answer(ssl);
            SSL_shutdown(ssl);
            SSL_free(ssl);
            ::close(s);
        }
    }
    void answer(SSL* ssl) {
        std::string in;
        char buffer[4096];
        std::size_t headerEnd = std::string::npos;
        std::size_t length = 0;
        while (true) {
            if (headerEnd == std::string::npos) {
                headerEnd = in.find("\r\n\r\n");
                if (headerEnd != std::string::npos) {
                    const std::size_t at = in.find("Content-Length: ");
                    if (at != std::string::npos && at < headerEnd)
                        length = std::stoul(in.substr(at + 16));
                }
            }
            if (headerEnd != std::string::npos && in.size() >= headerEnd + 4 + length) break;
            const int n = SSL_read(ssl, buffer, sizeof buffer);
            if (n <= 0) return;
            in.append(buffer, static_cast<std::size_t>(n));
        }
        Request r;
        const std::size_t sp1 = in.find(' '), sp2 = in.find(' ', sp1 + 1);
        r.method = in.substr(0, sp1);
        r.path = in.substr(sp1 + 1, sp2 - sp1 - 1);
        r.headers = in.substr(0, headerEnd + 2);
        r.body = in.substr(headerEnd + 4, length);
        Reply reply{404, "not here"};
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(r);
            if (auto it = replies_.find(r.path); it != replies_.end()) reply = it->second;
        }
        const std::string out = "HTTP/1.1 " + std::to_string(reply.status) +
                                " X\r\nContent-Type: application/json\r\nContent-Length: " +
                                std::to_string(reply.body.size()) +
                                "\r\nConnection: close\r\n\r\n" + reply.body;
        SSL_write(ssl, out.data(), static_cast<int>(out.size()));
    }

    SSL_CTX* ctx_ = nullptr;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::map<std::string, Reply> replies_;
    std::vector<Request> requests_;
};

} // namespace vyn::test
