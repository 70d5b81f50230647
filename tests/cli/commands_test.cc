// Every subcommand run as a user would: the built program on a folder of real pictures.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "cli/cli_fixture.h"
#include "cli/output.h"

namespace clitest {
namespace {

using Names = std::set<std::string>;

TEST_F(CliTest, IndexFindsNewChangedAndRemovedPictures) {
    std::string pics = MakeCollection();
    auto first = Index({pics});
    EXPECT_EQ(first["pictures"], "6");
    EXPECT_EQ(first["folders"], "3");
    EXPECT_EQ(first["new"], "6");

    // The stored scope is used without folders.
    Put("pics/2019/june/b1.jpg", {.seed = 9, .iso = 3200});
    std::filesystem::remove(pics + "/2019/may/a2.jpg");
    Put("pics/2021/d1.jpg", pictures::Shot());
    auto third = Index();
    EXPECT_EQ(third["pictures"], "6");
    EXPECT_EQ(third["new"], "1");
    EXPECT_EQ(third["changed"], "1");
    EXPECT_EQ(third["removed"], "1");
    EXPECT_EQ(Found({"--where", "iso=3200"}), (Names{"2019/june/b1.jpg"}));
    EXPECT_EQ(Found({"a2"}), Names{});
}

TEST_F(CliTest, SearchesFindWhatTheyDescribe) {
    Index({MakeCollection()});
    struct Case {
        std::vector<std::string> args;
        Names names;
    } cases[] = {
        {{"c1"}, {"2020/c1.jpg", "2020/c1_copy.jpg"}},
        {{"IMG_0042"}, {"2020/IMG_0042.jpg"}},  // an underscore in the text
        {{"a?.jpg"}, {"2019/may/a1.jpg", "2019/may/a2.jpg"}},
        {{"nikon"}, {"2019/june/b1.jpg"}},
        {{"--in", "names", "nikon"}, {}},
        {{"--in", "iptc", "nice"}, {"2019/may/a1.jpg"}},
        {{"2019-06"}, {"2019/june/b1.jpg"}},
        {{"--where", "iso>=800"}, {"2019/may/a2.jpg", "2020/IMG_0042.jpg"}},
        {{"--where", "make~canon", "taken=2019-05-20"}, {"2019/may/a2.jpg"}},
        {{"--where", "taken>=2019-06", "taken<2020-03"},
         {"2019/june/b1.jpg", "2020/c1.jpg", "2020/c1_copy.jpg"}},
        {{"--where", "keyword=beach"}, {"2019/may/a1.jpg"}},
        {{"--where", "lat>48", "lat<49"}, {"2019/may/a1.jpg"}},
        {{"--where", "width>64"}, {"2020/IMG_0042.jpg"}},
        {{"--where", "iso<=200", "--path", "2020"}, {"2020/c1.jpg", "2020/c1_copy.jpg"}},
        {{"--path", "may", "--path", "june"},
         {"2019/may/a1.jpg", "2019/may/a2.jpg", "2019/june/b1.jpg"}},
        {{"--where", "ext=txt"}, {}},
    };
    for (const Case& c : cases) {
        const std::string& shown = c.args.back();
        EXPECT_EQ(Found(c.args), c.names) << shown;
        // The count agrees with the list.
        std::vector<std::string> count = {"search", "--count"};
        count.insert(count.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(Picdex(count).out, std::to_string(c.names.size()) + "\n") << shown;
    }
    EXPECT_EQ(Picdex({"search", "--json", "IMG_0042"}).out,
              "{\"path\":" + cli::JsonString(Pics() + "/2020/IMG_0042.jpg") + "}\n");
    // --library-paths shows the index's own form; --verify leaves out what is gone.
    Result lib = Picdex({"search", "--library-paths", "IMG_0042"});
    std::string expected = "C:" + Pics() + "/2020/IMG_0042.jpg";
    for (char& ch : expected)
        if (ch == '/') ch = '\\';
    EXPECT_EQ(lib.out, expected + "\n");
    std::filesystem::remove(Pics() + "/2020/c1_copy.jpg");
    EXPECT_EQ(Found({"--verify", "c1"}), (Names{"2020/c1.jpg"}));
    EXPECT_EQ(Found({"c1"}).size(), 2u);

    std::string fields = Picdex({"search", "--fields", "--json"}).out;
    for (const char* n : {"iso", "make", "taken", "keyword", "lat", "size"})
        EXPECT_NE(fields.find("{\"name\":\"" + std::string(n) + "\","), std::string::npos) << n;
}

TEST_F(CliTest, StatsCountByPeriodAndFolderAndListThePicturesBehind) {
    std::string p = MakeCollection();
    Index({p});
    std::string may = p + "/2019/may/", june = p + "/2019/june", y20 = p + "/2020";
    std::string mayFiles = may + "a1.jpg\n" + may + "a2.jpg\n";
    struct Case {
        std::vector<std::string> args;
        std::string out;
        int status = 0;
    } cases[] = {
        {{}, "3\t2019\n3\t2020\n6\ttotal\n"},
        {{"2019"}, "2\t2019-05\n1\t2019-06\n3\ttotal\n"},
        {{"2019-05"}, "2\t" + p + "/2019/may\n2\ttotal\n"},
        {{"1999"}, "0\ttotal\n"},
        {{"2019-05..2020-01"},
         "2\t2019-05\t" + p + "/2019/may\n1\t2019-06\t" + june + "\n2\t2020-01\t" + y20 +
             "\n5\ttotal\n"},
        {{"--months", "2020"}, "2\t2020-01\t" + y20 + "\n1\t2020-03\t" + y20 + "\n3\ttotal\n"},
        {{"2020-02.."}, "1\t2020-03\t" + y20 + "\n1\ttotal\n"},
        {{"--months"},
         "2\t2019-05\t" + p + "/2019/may\n1\t2019-06\t" + june + "\n2\t2020-01\t" + y20 +
             "\n1\t2020-03\t" + y20 + "\n6\ttotal\n"},
        {{y20}, "2\t2020-01\n1\t2020-03\n3\ttotal\n"},
        {{p + "/2019"}, "3\twith subfolders\n0\ttotal\n"},
        {{"2019-05", "--files"}, mayFiles},
        {{"--files", "2019-05", may}, mayFiles},
        {{"--files", "2019-05", p + "/2019"}, ""},  // that folder alone holds none
        {{"--files", p + "/2019", "2019-05", "--tree"}, mayFiles},
        {{"--files", "2019-05-01..2019-05-10"}, may + "a1.jpg\n"},
        {{"--files", "2019-05-01 10:20:31..2019-05-20 08:00"}, may + "a2.jpg\n"},
        {{"--files", "2019-05-20..2020-01"},
         june + "/b1.jpg\n" + may + "a2.jpg\n" + y20 + "/c1.jpg\n" + y20 + "/c1_copy.jpg\n"},
        {{"--files", y20}, y20 + "/IMG_0042.jpg\n" + y20 + "/c1.jpg\n" + y20 + "/c1_copy.jpg\n"},
        {{"--files", p + "/2019", "--tree"}, june + "/b1.jpg\n" + mayFiles},
        {{"--folders", "/nowhere"}, "", 1},  // "... is not in the index"
        {{p + "/nowhere"}, "", 1},
        {{"--files", "2019", p + "/2019/may/a1.jpg"}, "", 1},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"stats"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Result r = Picdex(args);
        EXPECT_EQ(r.status, c.status) << args.back() << ": " << r.err;
        EXPECT_EQ(r.err.find("' is not in the index") != std::string::npos, c.status == 1);
        EXPECT_EQ(r.out, c.out) << args.back();
        // As JSON: one object per line, the same paths and the same total (a folder's
        // total with its subfolders is a member of the total's object).
        args.push_back("--json");
        std::vector<std::string> plain, json = Lines(Picdex(args).out);
        for (const std::string& line : Lines(c.out))
            if (line.find("\twith subfolders") == std::string::npos) plain.push_back(line);
        ASSERT_EQ(json.size(), plain.size()) << args[1];
        for (size_t i = 0; i < json.size(); ++i) {
            std::map<std::string, std::string> o;
            ASSERT_TRUE(ParseJsonObject(json[i], &o)) << json[i];
            std::string first = o.count("total")      ? o["total"]
                                : o.count("pictures") ? o["pictures"]
                                                      : o["path"];
            EXPECT_EQ(first, plain[i].substr(0, plain[i].find('\t'))) << json[i];
        }
    }
    EXPECT_EQ(Picdex({"stats", "--json", p + "/2019"}).out,
              "{\"subfolders\":true,\"tree_total\":3,\"total\":0}\n");

    // Per folder, as lines (with sizes between count and path) and as a tree.
    std::vector<std::string> lines = Lines(Picdex({"stats", "--folders"}).out);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].substr(0, 2) + lines[0].substr(lines[0].rfind('\t') + 1), "1\t" + june);
    EXPECT_EQ(lines[2].substr(0, 2) + lines.back(), "3\t6\ttotal");
    std::string top = Lines(Picdex({"stats", "--folders", "--tree", "--json"}).out).at(0);
    EXPECT_EQ(
        top.rfind("{\"path\":" + cli::JsonString(p) + ",\"pictures\":0,\"tree_pictures\":6,", 0),
        0u)
        << top;
    EXPECT_EQ(Lines(Picdex({"stats", "--folders", p + "/2019"}).out).back(), "3\ttotal");
}

TEST_F(CliTest, HistoryListsPastSearchesInAnyLetterCaseAndForgetsThem) {
    Index({MakeCollection()});
    for (const char* text : {"nikon", "NIKON", "nikon", "IMG_0042", "a*.jpg", "a?.jpg"})
        Found({text});
    auto history = [&](std::vector<std::string> args) {
        args.insert(args.begin(), "history");
        std::map<std::string, int> texts;  // "COUNT<tab>TEXT" lines
        for (const std::string& line : Lines(Picdex(args).out))
            texts[line.substr(line.find('\t') + 1)] = std::stoi(line);
        return texts;
    };
    auto all = history({});
    EXPECT_GE(all["NIKON"], 1);
    EXPECT_EQ(all["nikon"], 2 * all["NIKON"]);  // searched twice, with the same results
    EXPECT_EQ(Picdex({"history", "--json", "img"}).out,
              "{\"text\":\"IMG_0042\",\"count\":" + std::to_string(all["IMG_0042"]) + "}\n");
    struct Case {
        std::vector<std::string> args;
        std::set<std::string> texts;
    } cases[] = {
        {{}, {"IMG_0042", "NIKON", "a*.jpg", "a_.jpg", "nikon"}},  // '?' is shown as '_'
        {{"ni"}, {"NIKON", "nikon"}},
        {{"img_"}, {"IMG_0042"}},
        {{"A?"}, {"a_.jpg"}},
        {{"a*"}, {"a*.jpg"}},
        {{"x"}, {}},
        {{"--limit", "2"}, {"IMG_0042", "NIKON"}},
    };
    for (const Case& c : cases) {
        std::set<std::string> texts;
        for (const auto& [text, count] : history(c.args))
            texts.insert(text);
        EXPECT_EQ(texts, c.texts) << (c.args.empty() ? "" : c.args.back());
    }
    ASSERT_EQ(Picdex({"history", "--clear"}).status, 0);
    EXPECT_TRUE(history({}).empty());
    EXPECT_EQ(Found({"nikon"}).size(), 1u);
    EXPECT_EQ(history({}).size(), 1u);
}

TEST_F(CliTest, RefreshHasPicturesAnalysedAgainByTheNextRun) {
    std::string pics = MakeCollection();
    Index({pics});
    // An edit that keeps the file's size and time: a run alone cannot see it.
    std::string a2 = pics + "/2019/may/a2.jpg";
    auto time = std::filesystem::last_write_time(a2);
    auto size = std::filesystem::file_size(a2);
    Put("pics/2019/may/a2.jpg", {.seed = 2, .taken = "2019:05:20 08:00:00", .iso = 3200});
    ASSERT_EQ(std::filesystem::file_size(a2), size);
    std::filesystem::last_write_time(a2, time);
    EXPECT_EQ(Index()["analysed"], "0");
    EXPECT_EQ(Found({"--where", "iso=3200"}), Names{});

    // A path the index does not hold is named; the others are marked all the same.
    Result r = Picdex({"refresh", a2, pics + "/nothing.jpg", pics + "/2020"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("'" + pics + "/nothing.jpg' is not in the index"), std::string::npos);
    EXPECT_NE(r.err.find("4 pictures will be analysed again"), std::string::npos) << r.err;
    EXPECT_EQ(Index()["analysed"], "4");
    EXPECT_EQ(Found({"--where", "iso=3200"}), (Names{"2019/may/a2.jpg"}));
    EXPECT_EQ(Index()["analysed"], "0");
}

TEST_F(CliTest, DupesGroupIdenticalFilesAndKeepTheirDigests) {
    std::string pics = MakeCollection();
    // Two more files of one size but different bytes: digested, never grouped.
    std::string bytes = pictures::Jpeg(pictures::Shot());
    std::string other = bytes;
    other[other.size() - 3] ^= 1;
    home_.WriteFile("pics/2021/x.jpg", bytes);
    home_.WriteFile("pics/2021/y.jpg", other);
    Index({pics});
    Result r = Picdex({"dupes", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> groups = Lines(r.out);
    ASSERT_EQ(groups.size(), 1u) << r.out;
    std::map<std::string, std::string> g;
    ASSERT_TRUE(ParseJsonObject(groups[0], &g));
    EXPECT_EQ(g["count"], "2");
    EXPECT_EQ(g["paths"], pics + "/2020/c1.jpg\n" + pics + "/2020/c1_copy.jpg");
    long long size = (long long)std::filesystem::file_size(pics + "/2020/c1.jpg");
    EXPECT_EQ(g["size"], std::to_string(size));

    // The digests stay in the index; the other files keep the no-digest marker, which
    // groups nothing although every one of them carries it.
    EXPECT_EQ(QueryIndex(Db(),
                         "select group_concat(strFileName, ' ') from (select strFileName "
                         "from tb_file_info where length(strMD5) = 32 order by 1);"),
              std::vector<std::string>{"c1.jpg c1_copy.jpg x.jpg y.jpg"});
    EXPECT_EQ(QueryIndex(Db(), "select count(*) from tb_file_info where strMD5 = '0';"),
              std::vector<std::string>{"4"});
    Result plain = Picdex({"dupes"});
    EXPECT_EQ(Lines(plain.out).size(), 4u) << plain.out;  // header, two paths, blank
    EXPECT_NE(plain.err.find("1 groups, 2 files"), std::string::npos) << plain.err;
}

TEST_F(CliTest, ForgetAndMoveChangeTheIndexWithTheDisk) {
    std::string pics = MakeCollection();
    Index({pics});
    // A file moved into another indexed folder keeps its analysis.
    ASSERT_EQ(Picdex({"mv", pics + "/2020/IMG_0042.jpg", pics + "/2019/june/"}).status, 0);
    EXPECT_TRUE(std::filesystem::exists(pics + "/2019/june/IMG_0042.jpg"));
    EXPECT_EQ(Found({"--where", "make~fuji"}), (Names{"2019/june/IMG_0042.jpg"}));
    // A folder renamed.
    ASSERT_EQ(Picdex({"mv", pics + "/2019/may", pics + "/2019/spring"}).status, 0);
    EXPECT_EQ(Found({"--where", "make~canon"}),
              (Names{"2019/spring/a1.jpg", "2019/spring/a2.jpg"}));
    EXPECT_EQ(Picdex({"stats", "2019-05"}).out, "2\t" + pics + "/2019/spring\n2\ttotal\n");
    // Into a folder the index does not hold: forgotten, with a note.
    std::filesystem::create_directories(pics + "/new");
    Result away = Picdex({"mv", pics + "/2020/c1_copy.jpg", pics + "/new/"});
    EXPECT_EQ(away.status, 0);
    EXPECT_NE(away.err.find("not in the index yet"), std::string::npos) << away.err;
    EXPECT_EQ(Found({"c1"}), (Names{"2020/c1.jpg"}));
    // Never over an existing file.
    Result over = Picdex({"mv", pics + "/2020/c1.jpg", pics + "/2019/june/b1.jpg"});
    EXPECT_EQ(over.status, 1);
    EXPECT_TRUE(std::filesystem::exists(pics + "/2020/c1.jpg"));
    EXPECT_EQ(Picdex({"mv", pics + "/nothing.jpg", pics + "/x.jpg"}).status, 1);

    ASSERT_EQ(Picdex({"forget", pics + "/2020/c1.jpg"}).status, 0);
    EXPECT_EQ(Found({"c1"}), Names{});
    EXPECT_TRUE(std::filesystem::exists(pics + "/2020/c1.jpg"));  // the disk is untouched
    ASSERT_EQ(Picdex({"forget", pics + "/2019"}).status, 0);
    EXPECT_EQ(Picdex({"stats"}).out.find("2019"), std::string::npos);
    Result missing = Picdex({"forget", pics + "/2019"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("not in the index"), std::string::npos);
}

TEST_F(CliTest, TreeEditsNeverReachFoldersTheirNamesOnlyResemble) {
    // '_' is a one-character wildcard in the library's tree statements, so its tree
    // delete and rename of "a_b" would also reach "aXb" and "a-b".
    for (const char* folder : {"a_b", "aXb", "a-b", "a_b2"})
        Put(std::string("lib/") + folder + "/sub/p.jpg", pictures::Shot());
    std::string lib = home_ / "lib";
    Index({lib});
    ASSERT_EQ(Picdex({"forget", lib + "/a_b"}).status, 0);
    EXPECT_EQ(PathsOf(Picdex({"search", "p.jpg"})),
              (Names{lib + "/aXb/sub/p.jpg", lib + "/a-b/sub/p.jpg", lib + "/a_b2/sub/p.jpg"}));
    ASSERT_EQ(Picdex({"mv", lib + "/a-b", lib + "/moved"}).status, 0);
    EXPECT_EQ(PathsOf(Picdex({"search", "p.jpg"})),
              (Names{lib + "/aXb/sub/p.jpg", lib + "/moved/sub/p.jpg", lib + "/a_b2/sub/p.jpg"}));
    auto again = Index();
    EXPECT_EQ(again["pictures"], "4");  // a_b comes back: it is still in the scope
    EXPECT_EQ(again["new"], "1");
}

TEST_F(CliTest, ScopeListsAndEditsTheIndexedFolders) {
    std::string pics = MakeCollection();
    Index({pics + "/2019"});
    auto settings = [&] {
        std::map<std::string, std::string> out;
        for (const std::string& line : Lines(Picdex({"scope", "--json"}).out)) {
            std::map<std::string, std::string> o;
            EXPECT_TRUE(ParseJsonObject(line, &o)) << line;
            if (o["fixed"] == "false") out[o["path"]] = o["setting"];
        }
        return out;
    };
    auto s = settings();
    EXPECT_EQ(s[pics + "/2019"], "included");
    EXPECT_EQ(s["/"], "excluded");  // the rest of the drive
    EXPECT_EQ(Found({"--where", "iso>0"}).size(), 3u);

    ASSERT_EQ(Picdex({"scope", "add", pics + "/2020"}).status, 0);
    ASSERT_EQ(Picdex({"scope", "exclude", pics + "/2019/june"}).status, 0);
    // Excluding removes what the index held there at once.
    EXPECT_EQ(Found({"nikon"}), Names{});
    Index();
    EXPECT_EQ(Found({"--where", "iso>0"}).size(), 5u);
    ASSERT_EQ(Picdex({"scope", "remove", pics + "/2019/june"}).status, 0);
    s = settings();
    EXPECT_EQ(s.count(pics + "/2019/june"), 0u);
    EXPECT_EQ(s[pics + "/2020"], "included");
    EXPECT_EQ(Picdex({"scope", "remove", pics + "/2019/june"}).status, 1);
    EXPECT_EQ(Picdex({"scope", "add", pics + "/nothing"}).status, 1);

    // Giving folders to index replaces the scope; reset brings the default back.
    Index({pics + "/2020"});
    s = settings();
    EXPECT_EQ(s.count(pics + "/2019"), 0u);
    EXPECT_EQ(s[pics + "/2020"], "included");
    ASSERT_EQ(Picdex({"scope", "reset"}).status, 0);
    s = settings();
    EXPECT_EQ(s.count(pics + "/2020"), 0u);
    EXPECT_EQ(s.count("/"), 0u);  // the whole drive again
}

TEST_F(CliTest, BadInputGetsAMessageAndAnExitStatusNeverACrash) {
    std::string pics = MakeCollection();

    // A file that is no index, or a damaged one, is reported and left as it is.
    struct Damage {
        const char* name;
        std::string bytes;
    } damages[] = {
        {"text", "these are my notes, not an index\n"},
        {"cut", std::string("SQLite format 3\0", 16) + std::string(84, '\x01')},
        {"torn", std::string("SQLite format 3\0", 16) + std::string(4080, '\x7f')},
    };
    for (const Damage& d : damages) {
        std::string path = home_.WriteFile(std::string("bad-") + d.name + ".db", d.bytes);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"index", "--db", path, pics},
              {"search", "--db", path, "x"},
              {"stats", "--db", path}}) {
            Result r = Picdex(args);
            EXPECT_EQ(r.status, 1) << d.name << " " << args[0] << ": " << r.err;
            EXPECT_NE(r.err.find(path), std::string::npos) << r.err;
            EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
        }
        EXPECT_EQ(ShellOutput("cat '" + path + "'"), d.bytes) << d.name;
    }

    // Usage errors and values the index cannot search for are refused before the index
    // is opened, with the reason; read commands without an index say so and make none.
    struct Usage {
        std::vector<std::string> args;
        int status;
        const char* reason;
    } usage[] = {
        {{}, 2, "Usage: picdex COMMAND"},
        {{"frobnicate"}, 2, "unknown command"},
        {{"--frobnicate"}, 2, "unknown option"},
        {{"index", "--bogus"}, 2, "--bogus"},
        {{"index", pics + "/nothing"}, 1, "nothing"},
        {{"index", pics + "/2020/notes.txt"}, 1, "notes.txt"},
        {{"search", "--db"}, 2, "--db"},
        {{"search", "o'clock"}, 2, "single quote"},
        {{"search", "--path", "o'clock"}, 2, "single quote"},
        {{"search", "--where", "make~o'neil"}, 2, "single quote"},
        {{"search", "--where", "colour=red"}, 2, "not a field"},
        {{"search", "--where", "original>=2019"}, 2, "not a field"},
        {{"search", "--where", "iso>=fast"}, 2, "not a whole number"},
        {{"search", "--where", "iso>=4e2"}, 2, "not a whole number"},
        {{"search", "--where", "iso>=99999999999999999999"}, 2, "not a whole number"},
        {{"search", "--where", "size>2T"}, 2, "not a size"},
        {{"search", "--where", "exposure<1/250"}, 2, "whole units"},
        {{"search", "--where", "aperture>=2.8"}, 2, "not a whole number or a fraction"},
        {{"search", "--where", "exposure>1/0"}, 2, "not a whole number or a fraction"},
        {{"search", "--where", "taken>=2019-13"}, 2, "not a date"},
        {{"search", "--where", "taken>=2019-02-30"}, 2, "not a date"},
        {{"search", "--where", "taken>=19-05-01"}, 2, "not a date"},
        {{"search", "--where", "taken>=2019-5-1"}, 2, "not a date"},
        {{"search", "--where", "taken>=2019-05-01x"}, 2, "not a date"},
        {{"search", "--where", "taken>=2019-05-01 24:00"}, 2, "not a date"},
        {{"search", "--where", "lat>91"}, 2, "latitude"},
        {{"search", "--where", "iso~400"}, 2, "compares texts"},
        {{"search", "--where", "iso!=400"}, 2, "inequality"},
        {{"search", "--where", "iso"}, 2, "not a condition"},
        {{"search", "--where", "iso>="}, 2, "value is missing"},
        {{"search", "--where", ">=400"}, 2, "not a condition"},
        {{"search", "--in", "faces", "x"}, 2, "unknown part"},
        {{"search"}, 2, "nothing to search for"},
        {{"search", "--where"}, 2, "at least one condition"},
        {{"stats", "1899"}, 2, "not a period"},
        {{"stats", "2019-13"}, 2, "not a period"},
        {{"stats", "--files", "2019-02-29"}, 2, "not a period"},
        {{"stats", "--files", "2019-05-01 10:20..x"}, 2, "not a period"},
        {{"stats", "2019-05-01"}, 2, "whole months"},
        {{"stats", "2020..2019-05"}, 2, "ends before it begins"},
        {{"stats", "--files"}, 2, "PERIOD or a FOLDER"},
        {{"stats", "--files", "2019", "2020"}, 2, "too many"},
        {{"stats", "2019", "2020"}, 2, "too many"},
        {{"stats", "--tree"}, 2, "--tree goes"},
        {{"stats", "--tree", "--files", "2019"}, 2, "--tree goes"},
        {{"stats", "--folders", "--months"}, 2, "choose one"},
        {{"history", "--clear", "ni"}, 2, "no PREFIX"},
        {{"history", "--limit", "0"}, 2, "not a count"},
        {{"history", "a", "b"}, 2, "one PREFIX"},
        {{"dupes", "extra"}, 2, "no arguments"},
        {{"search", "x"}, 1, "no index"},
        {{"stats"}, 1, "no index"},
        {{"dupes"}, 1, "no index"},
        {{"forget", pics}, 1, "no index"},
        {{"history"}, 1, "no index"},
        {{"refresh", pics}, 1, "no index"},
        {{"scope"}, 1, "no index"},
        {{"forget"}, 2, "no PATH"},
        {{"mv", pics}, 2, "NEW"},
        {{"scope", "rename", pics}, 2, "unknown action"},
        {{"scope", "add"}, 2, "needs a FOLDER"},
        {{"refresh"}, 2, "no PATH"},
        {{"--version"}, 0, ""},
        {{"help", "index"}, 0, ""},
    };
    for (const Usage& u : usage) {
        Result r = Picdex(u.args);
        std::string shown = u.args.empty() ? "" : u.args[0] + " " + u.args.back();
        EXPECT_EQ(r.status, u.status) << shown << ": " << r.err;
        EXPECT_NE(r.err.find(u.reason), std::string::npos) << shown << ": " << r.err;
        EXPECT_EQ(r.out.empty(), u.status != 0) << shown;  // results only on success
    }
    EXPECT_FALSE(std::filesystem::exists(Db()));
}

}  // namespace
}  // namespace clitest
