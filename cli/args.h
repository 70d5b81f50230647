// Command-line words to options and operands, in the usual Linux manner: "--name",
// "--name=value", "--name value", "-x", "-x value", "--" ending the options; options and
// operands may be mixed. Repeated options keep every value in order.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace cli {

struct OptionSpec {
    const char* name;  // long name without "--"
    char shortName;    // 0 when there is none
    bool takesValue;
};

struct ParsedArgs {
    std::vector<std::string> operands;
    std::map<std::string, std::vector<std::string>> options;  // long name -> values

    bool Has(const std::string& name) const { return options.count(name) != 0; }
    // The last value given, or `fallback`.
    std::string Value(const std::string& name, const std::string& fallback = "") const;
    const std::vector<std::string>& Values(const std::string& name) const;
};

// False with *error set (one line, no prefix) on an unknown option or a missing value.
bool ParseArgs(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
               ParsedArgs* out, std::string* error);

// The start every subcommand shares: parses `args`; on a usage error prints it for
// `command` and gives 2 in *status, on --help prints `help` and gives 0 in *status, and
// returns false in both cases (the command is done). True: go on with *out.
bool ParseCommandArgs(const char* command, const char* help, const std::vector<std::string>& args,
                      const std::vector<OptionSpec>& specs, ParsedArgs* out, int* status);

}  // namespace cli
