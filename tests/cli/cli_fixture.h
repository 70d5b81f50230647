// A test's own little photo collection and index, and shortcuts to run the program on
// them.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "cli/pictures.h"
#include "common/temp_dir.h"

namespace clitest {

// Makes the temporary folders of the test land on a disk (see PICDEX_TEST_TMP); a base
// class, so that it runs before the members are made.
struct TempOnDisk {
    TempOnDisk() {
        std::filesystem::create_directories(PICDEX_TEST_TMP);
        setenv("TMPDIR", PICDEX_TEST_TMP, 1);
    }
};

// pics/2019/may:  a1 (Canon, 2019-05-01, ISO 400, GPS, keyword beach, Nice)
//                 a2 (Canon, 2019-05-20, ISO 1600)
// pics/2019/june: b1 (NIKON, 2019-06-10, ISO 200)
// pics/2020:      c1 (SONY, 2020-01-02, ISO 100), c1_copy (the same bytes), IMG_0042
//                 (FUJIFILM, 2020-03-03, ISO 800, another size than the others), and
//                 notes.txt (MakeCollection)
inline const std::pair<const char*, pictures::Shot> kCollection[] = {
    {"2019/may/a1.jpg", {.seed = 1, .gps = true, .keywords = "beach", .city = "Nice"}},
    {"2019/may/a2.jpg", {.seed = 2, .taken = "2019:05:20 08:00:00", .iso = 1600}},
    {"2019/june/b1.jpg", {.seed = 3, .make = "NIKON", .taken = "2019:06:10 12:00:00", .iso = 200}},
    {"2020/c1.jpg", {.seed = 4, .make = "SONY", .taken = "2020:01:02 17:30:00", .iso = 100}},
    {"2020/c1_copy.jpg", {.seed = 4, .make = "SONY", .taken = "2020:01:02 17:30:00", .iso = 100}},
    {"2020/IMG_0042.jpg",
     {.width = 96, .seed = 5, .make = "FUJIFILM", .taken = "2020:03:03 09:00:00", .iso = 800}},
};

class CliTest : public ::testing::Test, private TempOnDisk {
protected:
    std::string MakeCollection() {
        for (const auto& [name, shot] : kCollection)
            Put(std::string("pics/") + name, shot);
        home_.WriteFile("pics/2020/notes.txt", "not a picture");
        return Pics();
    }

    std::string Pics() const { return home_ / "pics"; }
    std::string Home() const { return home_.path(); }
    std::string Db() const { return home_ / "index.db"; }

    void Put(const std::string& rel, const pictures::Shot& shot) {
        ASSERT_TRUE(pictures::WriteFile(home_ / rel, pictures::Jpeg(shot))) << rel;
    }

    Result Picdex(const std::vector<std::string>& args, int timeoutSeconds = 300) {
        return Start(args, home_.path()).Wait(timeoutSeconds);
    }

    // Runs `picdex index --json FOLDER...`, expecting it to finish; its counts from
    // "pictures" on as "name:value ..." (without the time taken and the index's path).
    std::string Index(const std::vector<std::string>& folders = {}) {
        std::vector<std::string> args = {"index", "--json"};
        args.insert(args.end(), folders.begin(), folders.end());
        Result r = Picdex(args);
        EXPECT_EQ(r.status, 0) << r.err;
        std::string json = r.out.substr(0, r.out.find(",\"seconds\""));
        std::string counts;
        for (char c : json.substr(std::min(json.size(), json.find("\"pictures\""))))
            if (c != '"') counts += c == ',' ? ' ' : c;
        return counts;
    }

    // The paths printed by a command, one per line, as a set.
    std::set<std::string> PathsOf(const Result& r) {
        std::vector<std::string> lines = Lines(r.out);
        return std::set<std::string>(lines.begin(), lines.end());
    }

    // Search results as names relative to pics/.
    std::set<std::string> Found(const std::vector<std::string>& args) {
        std::vector<std::string> full = {"search"};
        full.insert(full.end(), args.begin(), args.end());
        Result r = Picdex(full);
        EXPECT_EQ(r.status, 0) << r.err;
        std::set<std::string> names;
        for (const std::string& p : PathsOf(r))
            names.insert(p.rfind(Pics() + "/", 0) == 0 ? p.substr(Pics().size() + 1) : p);
        return names;
    }

    testutil::TempDir home_;
};

}  // namespace clitest
