#include "cli/cli_run.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

extern char** environ;

namespace clitest {

Process Start(const std::vector<std::string>& args, const std::string& home) {
    static int serial = 0;
    std::string stem = home + "/.run-" + std::to_string(++serial);
    Process p{-1, stem + ".out", stem + ".err"};
    // The arguments and the environment are made before the fork.
    std::vector<std::string> store = {PICDEX_CLI};
    store.insert(store.end(), args.begin(), args.end());
    const size_t argc = store.size();
    for (char** e = environ; *e; ++e) {
        std::string name = std::string(*e).substr(0, std::string(*e).find('='));
        if (name != "NO_COLOR" && name != "PICDEX_DRIVES" && name != "COLUMNS" &&
            name != "PICDEX_REGISTRY" && name != "XDG_DATA_HOME" && name != "PICDEX_DB")
            store.push_back(*e);
    }
    store.push_back("XDG_DATA_HOME=" + home + "/data");
    store.push_back("PICDEX_DB=" + home + "/index.db");
    std::vector<char*> ptrs;
    for (std::string& s : store)
        ptrs.push_back(s.data());
    ptrs.insert(ptrs.begin() + argc, nullptr);  // the arguments end here, the environment follows
    ptrs.push_back(nullptr);
    p.pid = fork();
    if (p.pid == 0) {
        int in = open("/dev/null", O_RDONLY);
        int out = open(p.outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(p.errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0) _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        // Its own process group, so that a test can signal it like a terminal would.
        setpgid(0, 0);
        execve(ptrs[0], ptrs.data(), ptrs.data() + argc + 1);
        _exit(127);
    }
    return p;
}

Result Process::Wait(int timeoutSeconds) {
    Result r;
    int status = 0;
    bool ended = WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, timeoutSeconds);
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = testutil::ReadFile(outFile);
    r.err = testutil::ReadFile(errFile);
    unlink(outFile.c_str());
    unlink(errFile.c_str());
    return r;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream ss(text);
    std::string line;
    while (std::getline(ss, line))
        lines.push_back(line);
    return lines;
}

std::vector<std::string> QueryIndex(const std::string& dbPath, const std::string& sql) {
    // Through the sqlite3 shell, read-only, waiting for a writer's lock like the program;
    // the statements as a here-document (the tests' paths hold no single quote).
    return Lines(ShellOutput("sqlite3 -readonly -cmd '.timeout 30000' '" + dbPath +
                             "' 2>/dev/null <<'SQL'\n" + sql + "\nSQL\n"));
}

std::string ShellOutput(const std::string& command) {
    std::string text;
    if (FILE* f = popen(command.c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = fread(buf, 1, sizeof buf, f)) > 0;)
            text.append(buf, n);
        pclose(f);
    }
    return text;
}

}  // namespace clitest
