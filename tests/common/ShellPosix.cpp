#include "common/TestPaths.h"

#include <cstdlib>
#include <sys/wait.h>

namespace vyn::test {

int runShell(const std::string& script, const std::string&) {
    const int status = std::system(script.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace vyn::test
