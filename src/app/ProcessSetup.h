#pragma once
// What the platform needs before the process does anything else, undone at exit: on Windows the
// main thread joins a single-threaded COM apartment, the arguments are read as UTF-8 from the
// wide command line, and standard output and error are unbuffered byte streams (the same bytes as
// on Linux: line ends stay "\n"); elsewhere the arguments are taken as they are. One implementation
// per platform (ProcessSetupPosix.cpp, ProcessSetupWindows.cpp).
//
// Threading: create one on the main thread at the top of main().

#include <string>
#include <vector>

namespace vyn {

class ProcessSetup {
public:
    ProcessSetup(int argc, char** argv);
    ~ProcessSetup();
    ProcessSetup(const ProcessSetup&) = delete;
    ProcessSetup& operator=(const ProcessSetup&) = delete;

    // False when the platform could not be prepared (the process exits with 1, silently).
    bool ok() const { return ok_; }
    // The arguments as UTF-8, program name first, as argc/argv.
    int argc() const { return static_cast<int>(arguments_.size()); }
    char** argv() { return pointers_.data(); }

private:
    bool ok_ = true;
    bool comJoined_ = false;
    std::vector<std::string> arguments_;
    std::vector<char*> pointers_; // into arguments_, then a null
};

} // namespace vyn
