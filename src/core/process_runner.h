// Runs a helper program without a window and waits for it to end. Its standard input reads
// from /dev/null and its standard output and error go to /dev/null, so a chatty helper can
// never block on a full pipe. It runs in a process group of its own, so a terminal's Ctrl+C
// reaches only the calling program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qp {

// Starts args[0] (searched on PATH when it has no "/") with the given arguments and waits for
// it. 1 when the redirection could be set up, whether or not the program started (a missing
// program returns at once); 0 otherwise. `exitStatus`, when given, receives the program's exit
// code, or -1 when it did not start or ended by a signal.
int32_t ProcessRunner(const std::vector<std::string>& args, int* exitStatus = nullptr);

// The same for one command line (named apart so a braced list of two texts cannot be taken
// for one): words split at blanks, a pair of double quotes groups a
// word that contains blanks (no shell is involved).
int32_t ProcessRunnerLine(const std::string& commandLine, int* exitStatus = nullptr);

}  // namespace qp
