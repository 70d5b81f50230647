// Running the built host program from the tests: its output, messages and exit status,
// with a time limit, in an environment of the test's own (its index and data folder in
// a temporary folder, never the user's).
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace clitest {

struct Result {
    int status = -1;  // exit status, or 128 + signal
    std::string out;  // standard output
    std::string err;  // standard error
};

// The environment every run gets: XDG_DATA_HOME and PICDEX_DB pointing into `home`,
// NO_COLOR unset, PICDEX_DRIVES unset (C: = /).
std::map<std::string, std::string> BaseEnv(const std::string& home);

// Runs `picdex args...` to its end (killed after `timeoutSeconds`).
Result Run(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
           int timeoutSeconds = 300);

// A running `picdex args...` whose output goes to files in `logDir`.
struct Process {
    pid_t pid = -1;
    std::string outFile, errFile;
    // Waits for the end (SIGKILL after the time limit); the result with both outputs.
    Result Wait(int timeoutSeconds = 300);
};
Process Start(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
              const std::string& logDir);

// Waits up to `seconds` for `condition`, checking every 20 ms.
template <typename F>
bool WaitFor(F condition, double seconds);

// The lines of a text, without their line feeds.
std::vector<std::string> Lines(const std::string& text);

// A flat JSON object: member name -> value as text (strings unquoted and unescaped,
// arrays of strings joined by '\n', other values as written). False when `line` is not
// one JSON object.
bool ParseJsonObject(const std::string& line, std::map<std::string, std::string>* out);

// Rows of a query on an index file, each row's columns joined by '|'.
std::vector<std::string> QueryIndex(const std::string& dbPath, const std::string& sql);

// What a shell command writes to its standard output.
std::string ShellOutput(const std::string& command);

}  // namespace clitest

#include <chrono>
#include <thread>

template <typename F>
bool clitest::WaitFor(F condition, double seconds) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}
