#pragma once
// The process entry shared by the `vyn` executable and its test-build variant: parses the command
// line, then runs the window or the command-line host. Returns the exit status.

namespace vyn {

int vynMain(int argc, char** argv);

} // namespace vyn
