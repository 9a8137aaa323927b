#pragma once
// A real OSC receiver for tests: oscdump (liblo-tools) on a free loopback UDP port, its lines
// collected by a reader thread. A line reads "<time tag> <address> <types> <args...>"; the
// messages of one bundle share a time tag (liblo shows "immediately" as the time it arrived).

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vyn::test {

class OscDumpPeer {
public:
    OscDumpPeer() {
        port_ = freeUdpPort();
        int fds[2];
        if (::pipe(fds) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        const std::string port = std::to_string(port_);
        char* argv[] = {const_cast<char*>("oscdump"), const_cast<char*>("-L"),
                        const_cast<char*>(port.c_str()), nullptr};
        const int spawned = posix_spawnp(&pid_, "oscdump", &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (spawned != 0) {
            ::close(fds[0]);
            pid_ = -1;
            return;
        }
        pipe_ = fdopen(fds[0], "r");
        if (pipe_) reader_ = std::thread([this] { read(); });
        // oscdump binds as it starts: wait until a probe comes back.
        started_ = waitReady();
    }
    ~OscDumpPeer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        if (reader_.joinable()) reader_.join();
        if (pipe_) std::fclose(pipe_);
    }
    bool started() const { return started_; }
    int port() const { return port_; }

    // The lines received so far (time tags kept), after the readiness probes.
    std::vector<std::string> lines() {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::vector<std::string>(lines_.begin() + static_cast<long>(skip_), lines_.end());
    }
    // Forgets what arrived so far.
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        skip_ = lines_.size();
    }
    // Waits until at least `count` lines arrived (up to 5 s), then a little longer for strays.
    std::vector<std::string> waitForLines(std::size_t count) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (lines().size() < count && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return lines();
    }
    // Lines without their time tags.
    static std::vector<std::string> untagged(const std::vector<std::string>& lines) {
        std::vector<std::string> out;
        for (const std::string& l : lines)
            out.push_back(l.substr(l.find(' ') + 1));
        return out;
    }

private:
    static int freeUdpPort() {
        const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
        ::close(s);
        return ntohs(a.sin_port);
    }
    void read() {
        char buffer[4096];
        while (std::fgets(buffer, sizeof buffer, pipe_)) {
            std::string line(buffer);
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
                line.pop_back();
            std::lock_guard<std::mutex> lock(mutex_);
            lines_.push_back(line);
        }
    }
    bool waitReady() {
        const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<std::uint16_t>(port_));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        // "/ready" with no arguments: address, then the empty type tag ",".
        static const char probe[12] = {'/', 'r', 'e', 'a', 'd', 'y', 0, 0, ',', 0, 0, 0};
        bool ready = false;
        for (int i = 0; i < 100 && !ready && pipe_; ++i) {
            ::sendto(s, probe, sizeof probe, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            std::lock_guard<std::mutex> lock(mutex_);
            ready = !lines_.empty();
        }
        ::close(s);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        clear();
        return ready;
    }

    int port_ = 0;
    pid_t pid_ = -1;
    FILE* pipe_ = nullptr;
    std::thread reader_;
    std::mutex mutex_;
    std::vector<std::string> lines_;
    std::size_t skip_ = 0;
    bool started_ = false;
};

} // namespace vyn::test
