#include "cli/args.h"

#include <cstdio>

#include "cli/command.h"
#include "cli/output.h"

namespace cli {

std::string ParsedArgs::Value(const std::string& name, const std::string& fallback) const {
    auto it = options.find(name);
    if (it == options.end() || it->second.empty()) return fallback;
    return it->second.back();
}

const std::vector<std::string>& ParsedArgs::Values(const std::string& name) const {
    static const std::vector<std::string> kNone;
    auto it = options.find(name);
    return it == options.end() ? kNone : it->second;
}

namespace {

const OptionSpec* FindLong(const std::vector<OptionSpec>& specs, const std::string& name) {
    for (const OptionSpec& s : specs)
        if (name == s.name) return &s;
    return nullptr;
}

const OptionSpec* FindShort(const std::vector<OptionSpec>& specs, char c) {
    for (const OptionSpec& s : specs)
        if (s.shortName != 0 && s.shortName == c) return &s;
    return nullptr;
}

}  // namespace

bool ParseArgs(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
               ParsedArgs* out, std::string* error) {
    ParsedArgs parsed;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.size() < 2 || a[0] != '-') {
            parsed.operands.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        const OptionSpec* spec = nullptr;
        std::string value;
        bool haveValue = false;
        std::string shown;
        if (a[1] == '-') {
            std::string name = a.substr(2);
            size_t eq = name.find('=');
            if (eq != std::string::npos) {
                value = name.substr(eq + 1);
                haveValue = true;
                name.resize(eq);
            }
            shown = "--" + name;
            spec = FindLong(specs, name);
        } else {
            // A single dash and one letter; "-xVALUE" gives the value attached.
            shown = a.substr(0, 2);
            spec = FindShort(specs, a[1]);
            if (spec && a.size() > 2) {
                if (!spec->takesValue) {
                    *error = "option '" + shown + "' takes no value";
                    return false;
                }
                value = a.substr(2);
                haveValue = true;
            }
        }
        if (!spec) {
            *error = "unknown option '" + shown + "'";
            return false;
        }
        if (spec->takesValue && !haveValue) {
            if (i + 1 >= args.size()) {
                *error = "option '" + shown + "' needs a value";
                return false;
            }
            value = args[++i];
        } else if (!spec->takesValue && haveValue) {
            *error = "option '" + shown + "' takes no value";
            return false;
        }
        parsed.options[spec->name].push_back(value);
    }
    *out = std::move(parsed);
    return true;
}

bool ParseCommandArgs(const char* command, const char* help, const std::vector<std::string>& args,
                      const std::vector<OptionSpec>& specs, ParsedArgs* out, int* status) {
    std::string error;
    if (!ParseArgs(args, specs, out, &error)) {
        *status = UsageError(command, error);
        return false;
    }
    if (out->Has("help")) {
        std::fputs(help, stdout);
        *status = kExitOk;
        return false;
    }
    return true;
}

}  // namespace cli
