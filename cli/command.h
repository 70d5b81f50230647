// The host program's subcommands. Each lives in its own cmd_<name>.cc and registers
// itself with PICDEX_COMMAND, so that main() finds it by name; nothing else lists them.
#pragma once

#include <string>
#include <vector>

namespace cli {

// Exit statuses of every subcommand.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct Command {
    const char* name;     // the word after "picdex"
    const char* summary;  // one line for "picdex --help"
    // Runs the command with the words after its name; returns the exit status.
    int (*run)(const std::vector<std::string>& args);
};

// Registers a command; called from static initialisers through PICDEX_COMMAND.
bool RegisterCommand(const Command& command);
// Every registered command, in name order.
std::vector<Command> Commands();

}  // namespace cli

#define PICDEX_COMMAND_CAT2(a, b) a##b
#define PICDEX_COMMAND_CAT(a, b) PICDEX_COMMAND_CAT2(a, b)
#define PICDEX_COMMAND(name, summary, fn)                                      \
    static const bool PICDEX_COMMAND_CAT(picdexCommandRegistered_, __LINE__) = \
        ::cli::RegisterCommand(::cli::Command{name, summary, fn})
