// The database search: the field table, the statement builders, searches on a real
// index filled through the save queue, and the worker's life (paused start, one
// delivery, verification one entry per step, cancel, rejected statements).
#include <gtest/gtest.h>

#include <future>
#include <mutex>

#include "common/photo_index.h"
#include "engine/db_search.h"

namespace {

using testutil::WaitUntil;

const std::string kFrom =
    "tb_file_info left join tb_path_info on tb_path_info.iPathID = tb_file_info.iPathID ";
const std::string kExif = " left join tb_exif_info on tb_exif_info.iExifID = tb_file_info.iExifID ";
const std::string kIptc = " left join tb_iptc_info on tb_iptc_info.iIptcID = tb_file_info.iIptcID ";
const std::string kGps = " left join tb_gps_info on tb_gps_info.iGpsID = tb_file_info.iGpsID ";

_tagQuickSearch Quick(const CString& text, int scope, int verify = 0) {
    return testutil::QuickRequest(text, scope, verify);
}

_tagFieldSearch Field(std::list<_tagSearchCondition> conditions, std::set<CString> paths = {}) {
    _tagFieldSearch f;
    f.lstConditions = std::move(conditions);
    f.setPathTexts = std::move(paths);
    return f;
}

TEST(FieldTable, LooksUpByIdAndLeavesMissesUntouched) {
    _tagFieldInfo info;
    ASSERT_EQ(1, CCommonFunc::GetFieldInfo(-14, info));
    EXPECT_EQ(8, info.iType);
    EXPECT_EQ(L"快速匹配", info.strName);
    EXPECT_EQ(L"strFileName", info.strField);
    EXPECT_EQ(0, info.iFlag);
    info.strName = L"kept";
    EXPECT_EQ(0, CCommonFunc::GetFieldInfo(1, info));
    EXPECT_EQ(L"kept", info.strName);
    int found = 0;
    for (int id = -100; id <= 40000; ++id) {
        if (!CCommonFunc::GetFieldInfo(id, info)) continue;
        ++found;
        EXPECT_EQ(id == -14 ? 0 : 1, info.iFlag) << id;
    }
    EXPECT_EQ(37, found);
}

TEST(SearchStatements, QuickAndFieldTailsAreExact) {
    std::string like2008 = "'%2008%'";
    struct Case {
        std::string built, expected;
    } cases[] = {
        {CDbSearch::BuildQuickSql(Quick(L"x", 0)), kFrom + " where  0 = 1 "},
        {CDbSearch::BuildQuickSql(Quick(CDbSearch::ConvertWildcards(L"IMG*01"), 1)),
         kFrom + " where  0 = 1  OR strFullPath like '%IMG%01%' OR strFileName like  '%IMG%01%'"},
        {CDbSearch::BuildQuickSql(Quick(CDbSearch::ConvertWildcards(L" \ta_b"), 1)),
         kFrom + " where  0 = 1  OR strFullPath like '%a\\_b%' OR strFileName like  '%a\\_b%'"},
        {CDbSearch::BuildQuickSql(Quick(L"O'Brien", 6)),
         kFrom + kIptc + kExif +
             " where  0 = 1  OR strTitle like  '%O''Brien%' OR strKeyWord like  '%O''Brien%' OR "
             "strCountry like  '%O''Brien%' OR strCity like  '%O''Brien%' OR strManufacturer like "
             " '%O''Brien%' OR strModel like  '%O''Brien%'"},
        {CDbSearch::BuildQuickSql(Quick(L"2008", 9)),
         kFrom + kGps + " where  0 = 1  OR strFullPath like " + like2008 +
             " OR strFileName like  " + like2008 +
             " OR (tFileCreate >=  '2008-01-01 00:00:00' AND tFileCreate <  '2008-12-31 "
             "23:59:59') OR (tSnapTime >=  '2008-01-01 00:00:00' AND tSnapTime <  '2008-12-31 "
             "23:59:59') OR iLatitude =  2008 OR iLongitute =  2008 OR iAltitute =  2008"},
        {CDbSearch::BuildFieldSql(Field({{34855, 3, L"400"}})),
         kFrom + kExif + " where iISO >= 400"},
        {CDbSearch::BuildFieldSql(Field({}, {L"holiday"})),
         kFrom + " where ( strFullPath || strFileName like '%holiday%')"},
        {CDbSearch::BuildFieldSql(Field({{537, 4, L"beach"}})),
         kFrom + kIptc + " where strKeyWord =  'beach' "},
        // An unknown id drops its condition; an unknown operator keeps only the join.
        {CDbSearch::BuildFieldSql(Field({{1, 4, L"x"}, {2, 9, L"1"}})), kFrom + kGps},
        {CDbSearch::BuildFieldSql(
             Field({{-13, 6, L"2020"}, {37386, 2, L"50/1"}, {-12, 7, L"a'b"}}, {L"b", L"a"})),
         kFrom + kExif +
             " where ( strFullPath || strFileName like '%a%' OR  strFullPath || strFileName like "
             "'%b%') AND tSnapTime <  '2020'  AND iFocalLenL / iFocalLenR > 50/1 AND strFileName "
             "LIKE '%a'b%' "},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, c.built);
    EXPECT_EQ(L"a\\_b\\%c_d%", CDbSearch::ConvertWildcards(L"a_b%c?d*"));
}

// Records what the search hands over.
class Sink : public ISearchResultSink {
public:
    void RecordResults(const CSearchResultMap& results) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_deliveries.push_back(results);
    }
    std::vector<CSearchResultMap> Deliveries() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_deliveries;
    }
    std::set<CString> Paths() {
        std::set<CString> out;
        for (const auto& d : Deliveries())
            for (const auto& [path, facts] : d)
                out.insert(path);
        return out;
    }

private:
    std::mutex m_mutex;
    std::vector<CSearchResultMap> m_deliveries;
};

class DbSearchTest : public ::testing::Test {
protected:
    // Runs a search to its end; false when it did not start.
    template <typename Request>
    bool Run(const Request& request) {
        sink = std::make_unique<Sink>();
        search.SetResultSink(sink.get());
        int started;
        if constexpr (std::is_same_v<Request, _tagQuickSearch>)
            started = search.StartQuickSearch(request);
        else
            started = search.StartFieldSearch(request);
        if (!started) return false;
        search.Resume();
        EXPECT_TRUE(WaitUntil([&] { return search.IsFinish() != 0; }));
        return true;
    }
    std::set<CString> Paths(std::initializer_list<const wchar_t*> names) {
        std::set<CString> out;
        for (const auto& p : index.pictures)
            for (const wchar_t* n : names)
                if (p.name == n) out.insert(p.FullPath());
        return out;
    }
    int HistoryCount(const CString& key) {
        std::map<CString, int> out;
        index.db.GetSearchHistory(key, out, 100);
        return out.count(key) ? out[key] : 0;
    }

    testutil::PhotoIndex index;
    CDbSearch search{&index.db};
    std::unique_ptr<Sink> sink;
};

TEST_F(DbSearchTest, QuickSearchesCoverEachScope) {
    struct Case {
        const wchar_t* text;
        int scope;
        std::set<CString> found;
    } cases[] = {
        {L"IMG*01", 1, Paths({L"IMG_0001.JPG"})},
        // The backslash before "_" is matched as itself: only paths holding it match.
        {L"x_y", 1, {}},
        {L"s_0", 1, Paths({L"IMG_0001.JPG", L"IMG_0002.JPG", L"x_y.jpg"})},
        {L"2019", 1, Paths({L"a.jpg"})},
        {L"2020", 1, Paths({L"b.jpg", L"IMG_0001.JPG", L"IMG_0002.JPG", L"x_y.jpg", L"c.jpg"})},
        {L"o'brien", 1, Paths({L"pic'1.jpg"})},
        {L"BEACH", 2, Paths({L"a.jpg", L"IMG_0001.JPG"})},
        {L"France", 1, {}},
        {L"canon", 4, Paths({L"a.jpg", L"IMG_0001.JPG"})},
        {L"2008", 8, Paths({L"a.jpg"})},
        {L"121", 8, Paths({L"IMG_0002.JPG"})},
        {L"Paris", 15, Paths({L"IMG_0001.JPG"})},
        {L"a", 0, {}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(Run(Quick(c.text, c.scope)));
        EXPECT_EQ(c.found, sink->Paths()) << WideToUtf8(c.text) << " scope " << c.scope;
        EXPECT_EQ(c.found.empty() ? 0u : 1u, sink->Deliveries().size());
    }
    // The stored size and modification time travel with each path.
    ASSERT_TRUE(Run(Quick(L"pic'1", 1)));
    auto facts = sink->Deliveries().at(0).at(L"C:\\Photos\\O'Brien\\pic'1.jpg");
    EXPECT_EQ(6000, facts.first);
    EXPECT_EQ(testutil::SampleModifyTime(), facts.second);
}

TEST_F(DbSearchTest, FieldSearchesCoverEachOperatorAndType) {
    struct Case {
        _tagFieldSearch request;
        std::set<CString> found;
    } cases[] = {
        {Field({{271, 1, L"Can"}}), Paths({L"a.jpg", L"IMG_0001.JPG"})},
        {Field({{272, 7, L"eos"}}), Paths({L"a.jpg", L"IMG_0001.JPG"})},
        {Field({{34855, 2, L"400"}}), Paths({L"IMG_0001.JPG"})},
        {Field({{34855, 3, L"400"}}), Paths({L"a.jpg", L"IMG_0001.JPG"})},
        {Field({{34855, 4, L"400"}}), Paths({L"a.jpg"})},
        {Field({{34855, 5, L"400"}}), Paths({L"a.jpg", L"b.jpg"})},
        {Field({{34855, 6, L"400"}, {271, 4, L"nikon"}}), Paths({L"b.jpg"})},
        {Field({{-2, 6, L"1500"}}), Paths({L"n1.jpg", L"n2.jpg", L"undated.png", L"a.jpg"})},
        {Field({{-13, 3, L"2020-02-01 00:00:00"}}),
         Paths({L"IMG_0001.JPG", L"IMG_0002.JPG", L"x_y.jpg", L"c.jpg"})},
        {Field({{37386, 3, L"50/1"}}), Paths({L"a.jpg", L"IMG_0001.JPG"})},
        // Fractions divide as integers: 1/100 s and 1/100 both read 0, as do 0/1 rows.
        {Field({{33434, 4, L"1/100"}}), Paths({L"a.jpg", L"b.jpg", L"IMG_0001.JPG"})},
        {Field({{-12, 4, L"x_y.jpg"}}), Paths({L"x_y.jpg"})},
        {Field({{602, 4, L"paris"}, {2, 4, L"31"}}), {}},
        {Field({{2, 4, L"31"}}), Paths({L"IMG_0002.JPG"})},
        {Field({}, {L"2020"}), Paths({L"IMG_0001.JPG", L"IMG_0002.JPG", L"x_y.jpg"})},
        {Field({}, {L"Photos2", L"Other"}), Paths({L"c.jpg", L"undated.png"})},
        {Field({{1, 4, L"x"}, {34855, 0, L"1"}}),
         Paths({L"n1.jpg", L"n2.jpg", L"undated.png", L"a.jpg", L"b.jpg", L"IMG_0001.JPG",
                L"IMG_0002.JPG", L"x_y.jpg", L"pic'1.jpg", L"c.jpg"})},
        // Rejected: a quote in a value, a column the schema does not have, and anything
        // that is not one read-only statement.
        {Field({{-1, 1, L"O'Brien"}}), {}},
        {Field({{36867, 4, L"2020"}}), {}},
        {Field({{34855, 3, L"0; delete from tb_file_info"}}), {}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(Run(c.request)) << search.GetSqlTail();
        EXPECT_EQ(c.found, sink->Paths()) << search.GetSqlTail();
    }
    EXPECT_EQ(10, index.db.GetDbMng().QueryScalar("select count(*) from tb_file_info"));
}

TEST_F(DbSearchTest, OnlyOneReadOnlyStatementRuns) {
    CDBMng& db = index.db.GetDbMng();
    for (const char* sql : {"delete from tb_file_info", "select 1; delete from tb_file_info;", "",
                            "pragma user_version = 3"}) {
        try {
            db.QueryReadOnly(sql);
            ADD_FAILURE() << sql;
        } catch (const CppSQLite3Exception& e) {
            EXPECT_EQ(CPPSQLITE_ERROR, e.ErrorCode()) << sql;
        }
    }
    EXPECT_FALSE(db.QueryReadOnly("select count(*) from tb_file_info ; \n").IsEnd());
    EXPECT_EQ(10, db.QueryScalar("select count(*) from tb_file_info"));
}

TEST_F(DbSearchTest, StartsPausedAndDeliversOnceAfterTheQuery) {
    std::vector<std::string> seen;
    index.db.GetDbMng().SetStatementObserver([&](const char* sql) { seen.push_back(sql); });
    ASSERT_EQ(1, search.StartQuickSearch(Quick(L"IMG", 1)));
    EXPECT_EQ(1, search.IsPause());
    EXPECT_EQ(0, search.StartQuickSearch(Quick(L"IMG", 1)));  // still running
    EXPECT_TRUE(seen.empty());
    Sink local;
    search.SetResultSink(&local);
    search.Resume();
    ASSERT_TRUE(WaitUntil([&] { return search.IsFinish() != 0; }));
    index.db.GetDbMng().SetStatementObserver(nullptr);
    EXPECT_EQ(1u, local.Deliveries().size());
    EXPECT_EQ(Paths({L"IMG_0001.JPG", L"IMG_0002.JPG"}), local.Paths());
    // Query, delivery, the empty step: the text was counted at each of the three steps.
    EXPECT_EQ(3, HistoryCount(L"IMG"));
    ASSERT_EQ(4u, seen.size());  // three history writes and the one query
    EXPECT_EQ("select strFullPath || strFileName as strFullPathName, iFileSize, tFileModify from " +
                  CDbSearch::BuildQuickSql(Quick(L"IMG", 1)),
              seen[1]);
    ASSERT_TRUE(Run(Quick(L"nothing-like-this", 1)));  // no rows: one step, no delivery
    EXPECT_EQ(1, HistoryCount(L"nothing-like-this"));
    EXPECT_TRUE(sink->Deliveries().empty());
}

TEST_F(DbSearchTest, VerifyDropsLeadingStaleEntriesOnePerStep) {
    // In path order the results run c.jpg (Photos2 sorts first), IMG_0001, IMG_0002, ...
    std::remove(index.HostPath(L"C:\\Photos2\\c.jpg").c_str());
    index.WriteFile(L"C:\\Photos\\2020\\IMG_0001.JPG", 3001);
    index.SetModifyTime(L"C:\\Photos\\b.jpg", CTime(2022, 1, 1, 0, 0, 0));  // not leading
    ASSERT_TRUE(Run(Quick(L"Photos", 1, 1)));
    ASSERT_EQ(1u, sink->Deliveries().size());
    EXPECT_EQ(Paths({L"IMG_0002.JPG", L"x_y.jpg", L"pic'1.jpg", L"a.jpg", L"b.jpg"}),
              sink->Paths());
    EXPECT_EQ(5, HistoryCount(L"Photos"));  // query, two drops, delivery, empty step

    std::remove(index.HostPath(L"C:\\Other\\undated.png").c_str());
    ASSERT_TRUE(Run(Quick(L"undated", 1, 1)));
    EXPECT_TRUE(sink->Deliveries().empty());
}

TEST_F(DbSearchTest, CancelDuringTheQueryDeliversNothing) {
    std::promise<void> inQuery, release;
    std::shared_future<void> go = release.get_future().share();
    index.db.GetDbMng().SetStatementObserver([&](const char* sql) {
        if (std::string(sql).rfind("select", 0) == 0) {
            inQuery.set_value();
            go.wait();
        }
    });
    Sink local;
    search.SetResultSink(&local);
    ASSERT_EQ(1, search.StartQuickSearch(Quick(L"jpg", 1)));
    search.Resume();
    inQuery.get_future().wait();
    search.Cancel(FALSE);
    release.set_value();
    ASSERT_TRUE(WaitUntil([&] { return search.IsFinish() != 0; }));
    index.db.GetDbMng().SetStatementObserver(nullptr);
    EXPECT_TRUE(local.Deliveries().empty());
    // A finished search can be followed by a new one.
    ASSERT_TRUE(Run(Quick(L"jpg", 1)));
    EXPECT_EQ(1u, sink->Deliveries().size());
}

TEST_F(DbSearchTest, ClosedDatabaseEndsTheSearchWithoutResults) {
    index.db.Close();
    ASSERT_TRUE(Run(Field({{34855, 3, L"0"}})));
    EXPECT_TRUE(sink->Deliveries().empty());
}

// Found paths read as the general UTF-8 conversion reads them, whatever the bytes:
// plain ASCII, two-, three- and four-byte characters, and malformed sequences.
TEST_F(DbSearchTest, FoundPathsDecodeAsTheTextConversionDoes) {
    const char* names[] = {"plain.jpg",
                           "\xC3\xA9t\xC3\xA9.jpg",
                           "\xE7\x85\xA7\xE7\x89\x87.jpg",
                           "\xF0\x9F\x93\xB7.jpg",
                           "bad\xC3(.jpg",
                           "cut\xE6\x97",
                           "\xFF"};
    for (const char* name : names) {
        std::string hex;
        for (const char* p = name; *p; ++p) {
            char byte[3];
            std::snprintf(byte, sizeof byte, "%02X", static_cast<unsigned char>(*p));
            hex += byte;
        }
        index.db.GetDbMng().Execute(("update tb_file_info set strFileName = CAST(X'" + hex +
                                     "' AS TEXT) where iFileSize = 2000;")
                                        .c_str());
        ASSERT_TRUE(Run(Field({{-2, 4, L"2000"}})));
        EXPECT_EQ((std::set<CString>{Utf8ToWide(std::string("C:\\Photos\\") + name)}),
                  sink->Paths())
            << hex;
    }
}

// Rows that come back without a usable path still count as found: the query's step
// reports work and the search ends one step later, so a quick text is counted twice.
TEST_F(DbSearchTest, RowsWithoutAPathCountAsFound) {
    index.db.GetDbMng().Execute("delete from tb_path_info where strFullPath = 'C:\\New\\';");
    ASSERT_TRUE(Run(Quick(L"n1", 1)));
    EXPECT_TRUE(sink->Deliveries().empty());
    EXPECT_EQ(2, HistoryCount(L"n1"));
    ASSERT_TRUE(Run(Quick(L"no-such-name", 1)));
    EXPECT_EQ(1, HistoryCount(L"no-such-name"));
}

// A quick search whose history write fails ends there, without results; a field search
// writes nothing and still finds its files.
TEST_F(DbSearchTest, FailedHistoryWriteEndsAQuickSearch) {
    index.db.GetDbMng().Execute("PRAGMA query_only = 1;");
    ASSERT_TRUE(Run(Quick(L"IMG", 1)));
    EXPECT_TRUE(sink->Deliveries().empty());
    ASSERT_TRUE(Run(Field({{-12, 1, L"IMG"}})));
    EXPECT_EQ(Paths({L"IMG_0001.JPG", L"IMG_0002.JPG"}), sink->Paths());
    index.db.GetDbMng().Execute("PRAGMA query_only = 0;");
    ASSERT_TRUE(Run(Quick(L"IMG", 1)));
    EXPECT_EQ(Paths({L"IMG_0001.JPG", L"IMG_0002.JPG"}), sink->Paths());
}

}  // namespace
