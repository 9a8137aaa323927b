// `vyn` with the real-time guard linked in: the window runs as it always does, and at exit the
// audio thread's allocations, frees and locks are reported on standard error for the window test.

#include "app/ProcessSetup.h"
#include "app/window/VynMain.h"
#include "common/RealtimeGuard.h"

#include <cstdio>

int main(int argc, char** argv) {
    vyn::ProcessSetup process(argc, argv);
    if (!process.ok()) return 1;
    vyn::test::resetRealtimeViolations();
    const int status = vyn::vynMain(process.argc(), process.argv());
    std::fprintf(stderr, "realtime violations: %s\n",
                 vyn::test::realtimeViolations().text().c_str());
    return status;
}
