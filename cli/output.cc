#include "cli/output.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "cli/command.h"
#include "picdex/host_paths.h"

namespace cli {

namespace {
std::mutex g_stderrLock;

std::int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

void PrintError(const std::string& message) {
    std::lock_guard<std::mutex> lock(g_stderrLock);
    std::fprintf(stderr, "picdex: %s\n", message.c_str());
}

int UsageError(const std::string& command, const std::string& message) {
    std::lock_guard<std::mutex> lock(g_stderrLock);
    std::string name = command.empty() ? "picdex" : "picdex " + command;
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", name.c_str(),
                 message.c_str(), name.c_str());
    return kExitUsage;
}

bool StderrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

bool UseColour() {
    const char* noColour = std::getenv("NO_COLOR");
    return StderrIsTerminal() && !(noColour && *noColour);
}

bool UseProgressDisplay() {
    return UseColour();
}

int TerminalWidth() {
    if (const char* cols = std::getenv("COLUMNS")) {
        long width = std::strtol(cols, nullptr, 10);
        if (width > 1 && width < 10000) return int(width);
    }
    struct winsize ws {};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 1) return ws.ws_col;
    return 80;
}

std::string WithCommas(long long n) {
    std::string s = std::to_string(n < 0 ? -n : n);
    for (int i = int(s.size()) - 3; i > 0; i -= 3)
        s.insert(size_t(i), ",");
    return n < 0 ? "-" + s : s;
}

std::string HumanBytes(long long bytes) {
    static const char* kUnits[] = {"bytes", "KiB", "MiB", "GiB", "TiB", "PiB"};
    if (bytes < 1024) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    double v = double(bytes);
    int unit = 0;
    while (v >= 1024 && unit < 5) {
        v /= 1024;
        ++unit;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, v < 10 ? "%.1f %s" : "%.0f %s", v, kUnits[unit]);
    return buf;
}

std::string HumanDuration(double seconds) {
    char buf[48];
    if (seconds < 60) {
        std::snprintf(buf, sizeof buf, "%.1f s", seconds);
    } else if (seconds < 3600) {
        long s = long(seconds);
        std::snprintf(buf, sizeof buf, "%ld min %02ld s", s / 60, s % 60);
    } else {
        long s = long(seconds);
        std::snprintf(buf, sizeof buf, "%ld h %02ld min", s / 3600, (s / 60) % 60);
    }
    return buf;
}

std::string JsonString(const std::string& s) {
    std::string out;
    out.reserve(s.size() + 2);
    out += '"';
    for (unsigned char c : s) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += char(c);
                }
        }
    }
    out += '"';
    return out;
}

void JsonLine::Key(const std::string& key) {
    if (body_.size() > 1) body_ += ',';
    body_ += JsonString(key);
    body_ += ':';
}

JsonLine& JsonLine::Add(const std::string& key, const std::string& value) {
    Key(key);
    body_ += JsonString(value);
    return *this;
}

JsonLine& JsonLine::Add(const std::string& key, const char* value) {
    return Add(key, std::string(value ? value : ""));
}

JsonLine& JsonLine::Add(const std::string& key, std::int64_t value) {
    Key(key);
    body_ += std::to_string(value);
    return *this;
}

JsonLine& JsonLine::Add(const std::string& key, double value) {
    Key(key);
    if (!std::isfinite(value)) {
        body_ += "null";
    } else {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.17g", value);
        body_ += buf;
    }
    return *this;
}

JsonLine& JsonLine::AddBool(const std::string& key, bool value) {
    Key(key);
    body_ += value ? "true" : "false";
    return *this;
}

JsonLine& JsonLine::AddNull(const std::string& key) {
    Key(key);
    body_ += "null";
    return *this;
}

JsonLine& JsonLine::AddRaw(const std::string& key, const std::string& json) {
    Key(key);
    body_ += json;
    return *this;
}

void JsonLine::Print() const {
    std::string line = Text();
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
}

ProgressLine::ProgressLine() : active_(UseProgressDisplay()) {}

ProgressLine::~ProgressLine() {
    Clear();
}

void ProgressLine::Update(const std::string& text, bool force) {
    if (!active_) return;
    std::lock_guard<std::mutex> lock(g_stderrLock);
    std::int64_t now = NowMs();
    if (!force && now - lastDrawMs_ < 100) return;
    lastDrawMs_ = now;
    // Keep the line within the terminal's width so that it never wraps (counting
    // characters, not the bytes of their UTF-8 form).
    std::string line = text;
    size_t width = size_t(TerminalWidth() - 1), chars = 0, cut = line.size();
    for (size_t i = 0; i < line.size(); ++i) {
        if ((static_cast<unsigned char>(line[i]) & 0xC0) == 0x80) continue;
        if (chars++ == width) {
            cut = i;
            break;
        }
    }
    line.resize(cut);
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
    shown_ = line;
}

void ProgressLine::Log(const std::string& line) {
    std::lock_guard<std::mutex> lock(g_stderrLock);
    if (active_ && !shown_.empty()) {
        std::fprintf(stderr, "\r\033[K%s\n%s", line.c_str(), shown_.c_str());
    } else {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
    std::fflush(stderr);
}

void ProgressLine::Clear() {
    if (!active_) return;
    std::lock_guard<std::mutex> lock(g_stderrLock);
    if (!shown_.empty()) std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    shown_.clear();
}

std::string AbsoluteHostPath(const std::string& operand) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(operand, ec);
    if (ec) p = operand;
    std::string s = p.lexically_normal().string();
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

bool ToLibrary(const std::string& operand, CString* path, std::string* error) {
    std::string host = AbsoluteHostPath(operand);
    if (picdex::HostToLibraryPath(host, path)) return true;
    if (error)
        *error = "'" + operand +
                 "' is on no mapped drive (see PICDEX_DRIVES) or has a name the index "
                 "cannot hold (a backslash, or bytes that are not UTF-8)";
    return false;
}

std::string ShowPath(const CString& path, bool libraryForm) {
    std::string host;
    if (!libraryForm && picdex::LibraryToHostPath(path, &host)) {
        while (host.size() > 1 && host.back() == '/')
            host.pop_back();
        return host;
    }
    return picdex::TextToUtf8(path);
}

bool ToLibraryFolder(const std::string& operand, CString* path, std::string* error) {
    if (!ToLibrary(operand, path, error)) return false;
    if (path->empty() || path->back() != L'\\') path->push_back(L'\\');
    return true;
}

std::string DefaultDbPath(const std::string& dbOption) {
    if (!dbOption.empty()) return dbOption;
    if (const char* env = std::getenv("PICDEX_DB"); env && *env) return env;
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::string(home) + "/.local/share";
    } else {
        base = ".";
    }
    return base + "/picdex/index.db";
}

}  // namespace cli
