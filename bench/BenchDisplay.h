#pragma once
// For the window benchmarks: an Xvfb of their own when no display is set.

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vyn::bench {

// An Xvfb of our own when no display is set; stopped by its process id.
class OwnDisplay {
public:
    OwnDisplay() {
        if (std::getenv("DISPLAY")) return;
        const std::string display = ":" + std::to_string(150 + getpid() % 80);
        pid_ = fork();
        if (pid_ == 0) {
            std::freopen("/dev/null", "w", stderr);
            execlp("Xvfb", "Xvfb", display.c_str(), "-screen", "0", "1600x1000x24", "-nolisten",
                   "tcp", static_cast<char*>(nullptr));
            _exit(127);
        }
        const std::string socket = "/tmp/.X11-unix/X" + display.substr(1);
        for (int i = 0; i < 100 && !std::filesystem::exists(socket); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        setenv("DISPLAY", display.c_str(), 1);
    }
    ~OwnDisplay() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }

private:
    pid_t pid_ = -1;
};

} // namespace vyn::bench
