#pragma once
// Processes that run beside a test (a recorder, the executable under test): started in the
// background, signalled, and waited for.

#include <string>

namespace vyn::test {

// Runs `/bin/sh -c "exec COMMAND"` as a direct child, so its exit status can be collected.
class ChildProcess {
public:
    explicit ChildProcess(const std::string& command);
    ~ChildProcess(); // kills and reaps a child that is still running
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    void signal(int sig);
    // Waits for the child; its exit code, or -1 when a signal ended it or it never started.
    int wait();

private:
    int pid_ = -1;
};

// Waits until the file at `path` holds `text`, or `timeoutSeconds` passed; returns its content.
std::string waitForText(const std::string& path, const std::string& text,
                        double timeoutSeconds = 60.0);

} // namespace vyn::test
