#include "cli/cli_run.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

namespace clitest {

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string TempFile(const std::string& dir, const char* stem) {
    std::string tmpl = dir + "/" + stem + "-XXXXXX";
    int fd = mkstemp(tmpl.data());
    if (fd >= 0) close(fd);
    return tmpl;
}

pid_t Spawn(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
            const std::string& outFile, const std::string& errFile) {
    std::vector<std::string> argStore = {PICDEX_CLI};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<std::string> envStore;
    for (const auto& [k, v] : env)
        envStore.push_back(k + "=" + v);
    std::vector<char*> argv, envp;
    for (std::string& s : argStore)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    for (std::string& s : envStore)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int in = open("/dev/null", O_RDONLY);
        int out = open(outFile.c_str(), O_WRONLY | O_TRUNC);
        int err = open(errFile.c_str(), O_WRONLY | O_TRUNC);
        if (in < 0 || out < 0 || err < 0) _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        // Its own process group, so that a test can signal it like a terminal would.
        setpgid(0, 0);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    return pid;
}

}  // namespace

std::map<std::string, std::string> BaseEnv(const std::string& home) {
    std::map<std::string, std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string kv = *e;
        size_t eq = kv.find('=');
        if (eq == std::string::npos) continue;
        env[kv.substr(0, eq)] = kv.substr(eq + 1);
    }
    for (const char* name : {"NO_COLOR", "PICDEX_DRIVES", "COLUMNS", "PICDEX_REGISTRY"})
        env.erase(name);
    env["XDG_DATA_HOME"] = home + "/data";
    env["PICDEX_DB"] = home + "/index.db";
    return env;
}

Process Start(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
              const std::string& logDir) {
    Process p;
    p.outFile = TempFile(logDir, "out");
    p.errFile = TempFile(logDir, "err");
    p.pid = Spawn(args, env, p.outFile, p.errFile);
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
    r.out = ReadAll(outFile);
    r.err = ReadAll(errFile);
    unlink(outFile.c_str());
    unlink(errFile.c_str());
    return r;
}

Result Run(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
           int timeoutSeconds) {
    const char* tmp = std::getenv("TMPDIR");
    return Start(args, env, tmp && *tmp ? tmp : "/tmp").Wait(timeoutSeconds);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream ss(text);
    std::string line;
    while (std::getline(ss, line))
        lines.push_back(line);
    return lines;
}

namespace {

// A JSON string at s[*i] (on its opening quote), unescaped.
bool JsonText(const std::string& s, size_t* i, std::string* out) {
    if (s[*i] != '"') return false;
    out->clear();
    for (++*i; *i < s.size(); ++*i) {
        char c = s[*i];
        if (c == '"') {
            ++*i;
            return true;
        }
        if (c != '\\') {
            *out += c;
            continue;
        }
        if (++*i >= s.size()) return false;
        char e = s[*i];  // (the program writes \u only for control characters)
        *out += e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e;
    }
    return false;
}

}  // namespace

bool ParseJsonObject(const std::string& line, std::map<std::string, std::string>* out) {
    out->clear();
    size_t i = 0;
    if (line.empty() || line[0] != '{') return false;
    ++i;
    if (i < line.size() && line[i] == '}') return i + 1 == line.size();
    while (i < line.size()) {
        std::string key, value;
        if (!JsonText(line, &i, &key) || i >= line.size() || line[i++] != ':') return false;
        if (i >= line.size()) return false;
        if (line[i] == '"') {
            if (!JsonText(line, &i, &value)) return false;
        } else if (line[i] == '[') {
            ++i;
            while (i < line.size() && line[i] != ']') {
                std::string item;
                if (!JsonText(line, &i, &item)) return false;
                value += (value.empty() ? "" : "\n") + item;
                if (i < line.size() && line[i] == ',') ++i;
            }
            if (i >= line.size()) return false;
            ++i;
        } else {
            size_t end = line.find_first_of(",}", i);
            if (end == std::string::npos) return false;
            value = line.substr(i, end - i);
            i = end;
        }
        (*out)[key] = value;
        if (i >= line.size()) return false;
        if (line[i] == '}') return i + 1 == line.size();
        if (line[i++] != ',') return false;
    }
    return false;
}

std::vector<std::string> QueryIndex(const std::string& dbPath, const std::string& sql) {
    // Through the sqlite3 shell, read-only, waiting for a writer's lock like the program.
    auto quoted = [](const std::string& text) {
        std::string q = "'";
        for (char c : text)
            q += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return q + "'";
    };
    return Lines(ShellOutput("sqlite3 -readonly -cmd '.timeout 30000' " + quoted(dbPath) + " " +
                             quoted(sql) + " 2>/dev/null"));
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
