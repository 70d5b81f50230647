// picdex: the command-line host of the picture index library.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/output.h"
#include "picdex/host_index.h"
#include "picdex/version.h"

namespace cli {

namespace {
std::map<std::string, Command>& Registry() {
    static std::map<std::string, Command> commands;
    return commands;
}
}  // namespace

bool RegisterCommand(const Command& command) {
    Registry()[command.name] = command;
    return true;
}

std::vector<Command> Commands() {
    std::vector<Command> out;
    for (const auto& [name, command] : Registry())
        out.push_back(command);
    return out;
}

}  // namespace cli

namespace {

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "Usage: picdex COMMAND [OPTIONS] [ARGS...]\n"
                 "       picdex --help | --version\n"
                 "\n"
                 "Keeps an index of the pictures on this machine and searches it.\n"
                 "\n"
                 "Commands:\n");
    for (const cli::Command& c : cli::Commands())
        std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
    std::fprintf(out,
                 "\n"
                 "Start with 'picdex index ~/Pictures', then 'picdex search beach',\n"
                 "'picdex stats' or 'picdex dupes'; 'picdex stats 2019-05 --files' lists\n"
                 "what was taken in May 2019. 'picdex COMMAND --help' describes a command.\n"
                 "\n"
                 "The index is $XDG_DATA_HOME/picdex/index.db (~/.local/share/picdex/index.db)\n"
                 "unless --db PATH or PICDEX_DB names another. PICDEX_DRIVES maps drive\n"
                 "letters to folders, for a USB disk or a network share, for example\n"
                 "  PICDEX_DRIVES='C=/;E=/media/ann/CARD'\n"
                 "\n"
                 "Results go to standard output, one per line (--json: one JSON object per\n"
                 "line); messages and progress to standard error. Exit status: 0 on\n"
                 "success, 1 on failure, 2 on a usage error.\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
        std::strcmp(argv[1], "help") == 0) {
        if (argc >= 3 && std::strcmp(argv[1], "help") == 0) {
            // "picdex help COMMAND" is "picdex COMMAND --help".
            for (const cli::Command& c : cli::Commands())
                if (std::strcmp(c.name, argv[2]) == 0) return c.run({"--help"});
            return cli::UsageError("", std::string("unknown command '") + argv[2] + "'");
        }
        PrintUsage(argc < 2 ? stderr : stdout);
        return argc < 2 ? cli::kExitUsage : cli::kExitOk;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("picdex %s\n", picdex::GetVersion());
        return cli::kExitOk;
    }
    for (const cli::Command& c : cli::Commands()) {
        if (std::strcmp(c.name, argv[1]) == 0) {
            std::vector<std::string> args(argv + 2, argv + argc);
            // The library's lookups throw when the index cannot answer (a damaged
            // file, a full disk, a file locked for too long): one line, never a raw
            // exception.
            try {
                return c.run(args);
            } catch (...) {
                cli::PrintError("the index could not answer: " +
                                picdex::DescribeCurrentException());
                return cli::kExitFailure;
            }
        }
    }
    if (argv[1][0] == '-')
        return cli::UsageError("", std::string("unknown option '") + argv[1] + "'");
    return cli::UsageError("", std::string("unknown command '") + argv[1] + "'");
}
