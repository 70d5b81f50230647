// Running the built host program from the tests: its output, messages and exit status,
// with a time limit, in an environment of the test's own (its index and data folder in
// a temporary folder, never the user's).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "common/temp_dir.h"

namespace clitest {

struct Result {
    int status = -1;  // exit status, or 128 + signal
    std::string out;  // standard output
    std::string err;  // standard error
};

// A running `picdex args...` in an environment of the test's own: its index and data
// folder in `home` (never the user's), NO_COLOR, PICDEX_DRIVES, COLUMNS and
// PICDEX_REGISTRY unset (C: = /), its output going to files in `home`.
struct Process {
    pid_t pid = -1;
    std::string outFile, errFile;
    // Waits for the end (SIGKILL after the time limit); the result with both outputs.
    Result Wait(int timeoutSeconds = 300);
};
Process Start(const std::vector<std::string>& args, const std::string& home);

// Waits up to `seconds` for `condition`, checking every 20 ms (a condition may start a
// process).
template <typename F>
bool WaitFor(F condition, double seconds) {
    return testutil::WaitUntil(
        [&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            return condition();
        },
        seconds);
}

// The lines of a text, without their line feeds.
std::vector<std::string> Lines(const std::string& text);

// Rows of a query on an index file (a path without single quotes), each row's columns
// joined by '|'.
std::vector<std::string> QueryIndex(const std::string& dbPath, const std::string& sql);

// What a shell command writes to its standard output.
std::string ShellOutput(const std::string& command);

}  // namespace clitest
