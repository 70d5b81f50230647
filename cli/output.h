// What every subcommand prints, and how: results one per line on standard output
// (plain text, or one JSON object per line with --json), messages and progress on
// standard error, paths in the host's form unless --library-paths asks for the
// library's. Not thread-safe except where a function says so.
#pragma once

#include <cstdint>
#include <string>

#include "picdex/types.h"

namespace cli {

// "picdex: <message>" on standard error, one line.
void PrintError(const std::string& message);
// "picdex <command>: <message>" and a hint to --help, on standard error; returns
// kExitUsage so that callers can `return UsageError(...)`.
int UsageError(const std::string& command, const std::string& message);

// True when standard error is a terminal (progress is drawn only then).
bool StderrIsTerminal();
// True when colour may be used on standard error: a terminal and NO_COLOR unset.
bool UseColour();
// True when a progress display may be drawn on standard error: a terminal, and
// NO_COLOR unset (a user who asks for plain output gets the plain log).
bool UseProgressDisplay();
// Columns of the terminal on standard error (COLUMNS, else the terminal's own size,
// else 80).
int TerminalWidth();

// Numbers for people: "12,345"; "3.4 MiB"; "2 min 05 s".
std::string WithCommas(long long n);
std::string HumanBytes(long long bytes);
std::string HumanDuration(double seconds);

// One JSON object on one line, built member by member.
class JsonLine {
public:
    JsonLine& Add(const std::string& key, const std::string& value);
    JsonLine& Add(const std::string& key, const char* value);
    JsonLine& Add(const std::string& key, std::int64_t value);
    JsonLine& Add(const std::string& key, int value) { return Add(key, std::int64_t(value)); }
    JsonLine& Add(const std::string& key, double value);
    JsonLine& AddBool(const std::string& key, bool value);
    JsonLine& AddNull(const std::string& key);
    // A value that is already JSON (an array or an object built elsewhere).
    JsonLine& AddRaw(const std::string& key, const std::string& json);
    std::string Text() const { return body_ + "}"; }
    // Writes the object and a line feed to standard output.
    void Print() const;

private:
    void Key(const std::string& key);
    std::string body_ = "{";
};

// The JSON string literal of a UTF-8 text (quotes included).
std::string JsonString(const std::string& utf8);

// A status line on standard error, redrawn in place when UseProgressDisplay() and
// silent otherwise.
// Update is cheap to call often: it redraws at most ten times a second. Log prints a
// permanent line (above the status line on a terminal). Thread-safe.
class ProgressLine {
public:
    ProgressLine();
    ~ProgressLine();  // clears the line
    bool Active() const { return active_; }
    void Update(const std::string& text, bool force = false);
    void Log(const std::string& line);
    void Clear();

private:
    bool active_;
    std::string shown_;
    std::int64_t lastDrawMs_ = 0;
};

// Paths at the command line.
// An operand as an absolute, normalised host path (relative to the working folder;
// "." and ".." resolved lexically, a trailing '/' dropped).
std::string AbsoluteHostPath(const std::string& operand);
// The library's form of a host path operand; false with *error (one line naming the
// operand) when no drive holds it or it cannot be written in that form.
bool ToLibrary(const std::string& operand, CString* path, std::string* error);
// How a library path is shown: its host form, or the library's own with
// libraryForm set (and when no drive maps it any more). Folders lose their trailing
// separator in the host form ("/home/ann/Pictures"), except the root.
std::string ShowPath(const CString& path, bool libraryForm);
// The library path of a host folder operand with its trailing backslash.
bool ToLibraryFolder(const std::string& operand, CString* path, std::string* error);

// The index database: --db when given, else PICDEX_DB, else
// $XDG_DATA_HOME/picdex/index.db (~/.local/share/picdex/index.db).
std::string DefaultDbPath(const std::string& dbOption);

}  // namespace cli
