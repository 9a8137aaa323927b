#pragma once
// The subcommands of vyn-tool. Each takes the arguments after its name and returns the exit code.

namespace vyn::tool {

int runRender(int argc, char** argv);
int runDecode(int argc, char** argv);
int runWaveform(int argc, char** argv);
int runLibrary(int argc, char** argv);
int runAnlz(int argc, char** argv);
int runLink(int argc, char** argv);
int runMidi(int argc, char** argv);
int runStems(int argc, char** argv);

} // namespace vyn::tool
