// picdex info [--json] [--md5] FILE...: analyses each file as the background scan does
// and prints the record the index would store for it.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/args.h"
#include "cli/command.h"
#include "cli/output.h"
#include "picdex/ctime.h"
#include "picdex/file_info.h"

namespace {

const char kHelp[] =
    "Usage: picdex info [--json] [--md5] FILE...\n"
    "\n"
    "Analyses each file as the background scan does and prints its record: the file's\n"
    "facts, pixel size, bits per pixel and page count, and its EXIF, IPTC and GPS values,\n"
    "named as in the index. Times are local, YYYY-MM-DD HH:MM:SS. A file that is not a\n"
    "picture is shown with its facts and zero pixel facts.\n"
    "\n"
    "  --json   one JSON object per file and line, with the file's \"path\"\n"
    "  --md5    compute the file's MD5 digest (strMD5); without it strMD5 is \"0\"\n"
    "\n"
    "Exit status: 0 when every file was read, 1 when one was missing or unreadable\n"
    "(each named on standard error), 2 on a usage error.\n";

std::string LocalTime(std::int64_t seconds) {
    CTime::Fields f = CTime(seconds).GetLocalFields();
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day,
                  f.hour, f.minute, f.second);
    return text;
}

std::string Key(const picdex::FileField& field) {
    return field.part.empty() ? field.name : field.part + "." + field.name;
}

void PrintText(const std::string& path, const std::vector<picdex::FileField>& fields) {
    std::printf("path: %s\n", path.c_str());
    for (const picdex::FileField& f : fields) {
        std::string value = f.kind == picdex::FileField::Number ? std::to_string(f.number)
                            : f.kind == picdex::FileField::Time ? LocalTime(f.number)
                                                                : f.text;
        std::printf("%s: %s\n", Key(f).c_str(), value.c_str());
    }
    std::printf("\n");
}

void PrintJson(const std::string& path, const std::vector<picdex::FileField>& fields) {
    cli::JsonLine line;
    line.Add("path", path);
    // One object per part, so that the link ids of the parts keep their record names.
    std::string part, body;
    auto close = [&] {
        if (!part.empty()) line.AddRaw(part, body + "}");
        body.clear();
    };
    for (const picdex::FileField& f : fields) {
        if (f.part != part) {
            close();
            part = f.part;
            body = "{";
        }
        std::string value = f.kind == picdex::FileField::Number ? std::to_string(f.number)
                            : f.kind == picdex::FileField::Time
                                ? cli::JsonString(LocalTime(f.number))
                                : cli::JsonString(f.text);
        if (part.empty()) {
            line.AddRaw(f.name, value);
            continue;
        }
        body += (body.size() > 1 ? "," : "") + cli::JsonString(f.name) + ":" + value;
    }
    close();
    line.Print();
}

int RunInfo(const std::vector<std::string>& args) {
    cli::ParsedArgs parsed;
    std::string error;
    if (!cli::ParseArgs(args, {{"json", 0, false}, {"md5", 0, false}, {"help", 'h', false}},
                        &parsed, &error))
        return cli::UsageError("info", error);
    if (parsed.Has("help")) {
        std::fputs(kHelp, stdout);
        return cli::kExitOk;
    }
    if (parsed.operands.empty()) return cli::UsageError("info", "no file given");
    const bool json = parsed.Has("json");
    int status = cli::kExitOk;
    for (const std::string& operand : parsed.operands) {
        CString path;
        if (!cli::ToLibrary(operand, &path, &error)) {
            cli::PrintError(error);
            status = cli::kExitFailure;
            continue;
        }
        std::vector<picdex::FileField> fields;
        const std::string host = cli::AbsoluteHostPath(operand);
        switch (picdex::AnalysePictureFile(path, parsed.Has("md5"), &fields)) {
            case picdex::FileStatus::Missing:
                cli::PrintError(operand + ": no such file");
                status = cli::kExitFailure;
                continue;
            case picdex::FileStatus::Unreadable: {
                std::error_code ec;
                bool folder = std::filesystem::is_directory(host, ec);
                cli::PrintError(operand + (folder ? ": is a folder" : ": cannot be read"));
                status = cli::kExitFailure;
                continue;
            }
            case picdex::FileStatus::TooLarge:
                cli::PrintError(operand +
                                ": larger than 100 MiB, so only its file facts are read "
                                "(as the scan stores it)");
                break;
            case picdex::FileStatus::Ok:
                break;
        }
        if (json)
            PrintJson(host, fields);
        else
            PrintText(host, fields);
    }
    std::fflush(stdout);
    return status;
}

}  // namespace

PICDEX_COMMAND("info", "analyse picture files as the scan does and print their records", RunInfo);
