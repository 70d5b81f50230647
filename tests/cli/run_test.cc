// picdex index as a long-running process: stopped by Ctrl-C, killed or by a full disk and
// continued, searches beside it, and its progress display in a real terminal.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "cli/cli_fixture.h"

namespace clitest {
namespace {

class CliRunTest : public CliTest {
protected:
    // `count` pictures in folders of 50, with differing cameras, dates and settings.
    std::string MakeTree(int count) {
        for (int i = 0; i < count; ++i) {
            char taken[32], rel[64];
            std::snprintf(taken, sizeof taken, "%04d:%02d:%02d 12:00:00", 2010 + i % 7, 1 + i % 12,
                          1 + i % 28);
            std::snprintf(rel, sizeof rel, "tree/f%03d/p%05d.jpg", i / 50, i);
            Put(rel, {.seed = i, .taken = taken, .iso = 100 << (i % 5)});
        }
        return home_ / "tree";
    }

    // What an index says about its pictures, folders and months, without the times
    // that depend on when it ran.
    std::vector<std::string> Contents(const std::string& db) {
        return QueryIndex(
            db,
            "select strFullPath || strFileName, iFileSize, tSnapTime, tFileModify, iWidth, "
            "iHeight, strMD5, strManufacturer, strModel, iISO from tb_file_info left join "
            "tb_path_info on tb_path_info.iPathID = tb_file_info.iPathID left join "
            "tb_exif_info on tb_exif_info.iExifID = tb_file_info.iExifID order by 1;"
            "select strFullPath, iPicCount, iPicSize from tb_path_info order by 1;"
            "select strFullPath, tPathPicTime, iPicCountT, iPicSizeT from tb_time_path_info "
            "left join tb_path_info on tb_path_info.iPathID = tb_time_path_info.iPathID "
            "order by 1, 2;"
            "select count(*) from tb_path_task;");
    }

    int Rows(const std::string& db, const char* where) {
        std::vector<std::string> r =
            QueryIndex(db, std::string("select count(*) from tb_file_info where ") + where);
        return r.empty() ? 0 : std::stoi(r[0]);
    }
};

// A run stopped by Ctrl-C says how to go on; one killed or stopped at any stage is
// continued by the next run to the index an uninterrupted run makes, row for row.
TEST_F(CliRunTest, AStoppedOrKilledRunContinuesToTheSameIndex) {
    std::string tree = MakeTree(1500);
    Result ref = Picdex({"index", "--db", home_ / "ref.db", tree});
    ASSERT_EQ(ref.status, 0) << ref.err;
    std::vector<std::string> expected = Contents(home_ / "ref.db");
    ASSERT_GT(expected.size(), 1500u);

    struct Case {
        const char* name;
        int signal;
        const char* when;  // rows that must exist before the signal
    } cases[] = {
        {"killed after the walk", SIGKILL, "1"},
        {"killed while analysing", SIGKILL, "strMD5 = '0'"},
        {"Ctrl-C while analysing", SIGINT, "strMD5 = '0'"},
    };
    for (const Case& c : cases) {
        std::string db = home_ / (std::string(c.name) + ".db");
        Process p = Start({"index", "--db", db, tree}, Home());
        bool reached = WaitFor([&] { return Rows(db, c.when) > 0; }, 120);
        kill(p.pid, c.signal);
        Result stopped = p.Wait();
        // (A run that ended before the signal came exits 0; nothing is left to continue.)
        if (c.signal == SIGINT && stopped.status != 0) {
            EXPECT_EQ(stopped.status, 1) << c.name;
            EXPECT_NE(stopped.err.find("continues where this run stopped"), std::string::npos)
                << stopped.err;
        }
        Result again = Picdex({"index", "--db", db, "--json"});
        ASSERT_EQ(again.status, 0) << c.name << ": " << again.err;
        bool continued = reached && stopped.status != 0;
        EXPECT_EQ(again.out.substr(0, again.out.find(",\"pictures\"")),
                  std::string("{\"finished\":true,\"continued\":") + (continued ? "true" : "false"))
            << c.name;
        EXPECT_EQ(Contents(db), expected) << c.name;
    }
}

TEST_F(CliRunTest, AFullDiskStopsTheRunWhichContinuesOnceThereIsRoom) {
    std::string tree = MakeTree(4000);
    // A small file system of its own for the index (needs the right to mount one).
    std::string disk = home_.MakeDir("disk");
    if (std::system(("mount -t tmpfs -o size=2560k tmpfs '" + disk + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "cannot mount a small file system here";
    struct Unmount {
        std::string at;
        ~Unmount() { std::system(("umount '" + at + "' 2>/dev/null").c_str()); }
    } unmount{disk};
    std::string db = disk + "/index.db";
    Result full = Picdex({"index", "--db", db, tree});
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("disk holding the index is full"), std::string::npos) << full.err;
    EXPECT_NE(full.err.find("make room"), std::string::npos) << full.err;

    ASSERT_EQ(std::system(("mount -o remount,size=64m '" + disk + "'").c_str()), 0);
    Result again = Picdex({"index", "--db", db, "--json"});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out.substr(0, again.out.find(",\"folders\"")),
              "{\"finished\":true,\"continued\":true,\"pictures\":4000");
    EXPECT_EQ(Rows(db, "strMD5 = ''"), 0);
}

// (Links are never followed: the platform's listing tests show them as files.)
TEST_F(CliRunTest, ARunSurvivesUnreadableAndVanishingFoldersWhileSearchesGoOn) {
    std::string tree = MakeTree(1500);
    Put("tree/locked/l.jpg", pictures::Shot());
    std::filesystem::permissions(tree + "/locked", std::filesystem::perms::none);
    Process p = Start({"index", tree}, Home());
    // Once the walk has saved its lists, searches and statistics answer while the run
    // writes, and half of the folders go before they are analysed.
    ASSERT_TRUE(WaitFor([&] { return Rows(Db(), "1") > 0; }, 120));
    EXPECT_EQ(Picdex({"search", "--count", "p0"}).status, 0);
    EXPECT_EQ(Picdex({"stats"}).status, 0);
    for (int f = 0; f < 30; f += 2) {
        char name[16];
        std::snprintf(name, sizeof name, "/f%03d", f);
        std::filesystem::remove_all(tree + name);
    }
    Result r = p.Wait();
    EXPECT_EQ(r.status, 0) << r.err;
    std::string pictures = Index();
    std::filesystem::permissions(tree + "/locked", std::filesystem::perms::owner_all);
    // The locked folder's picture is found only where the permissions are not bypassed.
    std::string count = geteuid() == 0 ? "751" : "750";
    EXPECT_EQ(pictures.substr(0, pictures.find(' ')), "pictures:" + count);
    EXPECT_EQ(Lines(Picdex({"stats"}).out).back(), count + "\ttotal");
}

TEST_F(CliRunTest, ProgressIsDrawnOnATerminalAndLoggedOtherwise) {
    std::string tree = MakeTree(2000);
    // Not a terminal: a plain log, no redrawn line.
    Result plain = Picdex({"index", "--db", home_ / "plain.db", tree});
    ASSERT_EQ(plain.status, 0);
    EXPECT_EQ(plain.err.find('\r'), std::string::npos);
    EXPECT_NE(plain.err.find("folders walked: 2,000 pictures found"), std::string::npos)
        << plain.err;
    EXPECT_NE(plain.err.find("files analysed: 2,000"), std::string::npos) << plain.err;

    if (std::system("tmux -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "no tmux";
    std::string socket = "picdex-test-" + std::to_string(getpid());
    std::string tmux = "tmux -L " + socket + " ";
    std::string script =
        home_.WriteFile("run.sh", "#!/bin/sh\nunset NO_COLOR\nexport PICDEX_DB='" +
                                      home_ / "tty.db" + "'\n'" + std::string(PICDEX_CLI) +
                                      "' index '" + tree + "'\necho \"EXIT=$?\"\nsleep 600\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    if (std::system((tmux + "new-session -d -s t -x 150 -y 20 '" + script + "'").c_str()) != 0) {
        std::system((tmux + "kill-server 2>/dev/null").c_str());
        GTEST_SKIP() << "tmux cannot start a terminal here";
    }
    // The redrawn line shows the analysis with its counts ("analysing  N of 2,000").
    bool sawAnalysis = false;
    std::string last;
    bool done = WaitFor(
        [&] {
            last = ShellOutput(tmux + "capture-pane -p -t t");
            sawAnalysis = sawAnalysis || last.find("analysing  ") != std::string::npos;
            return last.find("EXIT=") != std::string::npos;
        },
        180);
    std::system((tmux + "kill-server 2>/dev/null").c_str());
    ASSERT_TRUE(done) << last;
    EXPECT_NE(last.find("EXIT=0"), std::string::npos) << last;
    EXPECT_NE(last.find("Indexed 2,000 pictures in 40 folders"), std::string::npos) << last;
    EXPECT_TRUE(sawAnalysis) << last;
}

}  // namespace
}  // namespace clitest
