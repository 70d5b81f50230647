// CDbSearch: the database search worker. A quick or field search request becomes one
// SQL statement over the index; the worker (one thread, priority -1) runs it once,
// optionally checks the found files on disk, and hands the matching full paths to its
// result sink.
//
// Life of a search: a start function copies the request and builds the statement
// while no search runs, then starts the worker paused; its owner resumes it. The
// first step runs the statement; each later step either drops a leading stale entry
// (with verification) or delivers everything left, in one call of the sink; the step
// that finds nothing left ends the worker. A cancel empties the results, so nothing
// more is delivered; a statement the database rejects (or one that is not a single
// read-only statement) ends the search without results.
//
// Threads: the start functions and the setters on the owner's thread while the worker
// is not running; the steps and OnCancel on the worker thread. The statement runs
// under the database manager's lock. The statement builders are pure and re-entrant.
// Failures: nothing is thrown out of the worker; database errors end the search.
#pragma once

#include <string>

#include "engine/search_sink.h"
#include "picdex/long_thread.h"
#include "picdex/search_types.h"

class CDbFacade;

class CDbSearch : public CLongThread {
public:
    explicit CDbSearch(CDbFacade* db = nullptr, ISearchResultSink* sink = nullptr);
    ~CDbSearch() override;

    // The database layer the statement runs on (its manager) and whose search history
    // records quick-search texts.
    void SetFacade(CDbFacade* db) { m_pDb = db; }
    // Where results are handed (null: they are dropped).
    void SetResultSink(ISearchResultSink* sink) { m_pSink = sink; }

    // 1 when the worker was started (paused), 0 when it is still running or no
    // statement could be built. The quick start converts the text's wildcards first.
    int StartQuickSearch(const _tagQuickSearch& request);
    int StartFieldSearch(const _tagFieldSearch& request);

    // '?' and '*' become LIKE's '_' and '%'; a '_' or '%' already in the text gets a
    // backslash before it (which LIKE then matches as an ordinary character, since the
    // statements carry no ESCAPE clause).
    static CString ConvertWildcards(const CString& text);
    // The part of a search statement after its FROM keyword; never empty.
    static std::string BuildQuickSql(const _tagQuickSearch& request);
    static std::string BuildFieldSql(const _tagFieldSearch& request);
    // The statement the worker runs for a tail.
    static std::string BuildResultSql(const std::string& tail);

    // Empties the results so that a cancelled search delivers nothing more.
    void OnCancel() override;

    // The tail built by the last start (for the owner's diagnostics and tests).
    const std::string& GetSqlTail() const { return m_strSqlTail; }

private:
    static DWORD QuickStep(void* pParam, unsigned int nIndex);
    static DWORD FieldStep(void* pParam, unsigned int nIndex);
    DWORD CommonStep();
    // Runs the statement into m_mapResults; stops early on a cancel. Whether the
    // statement gave any row (also one skipped for its short path).
    bool RunQuery();
    // Whether the file is on disk with exactly the stored size and modification time.
    static bool IsUnchangedOnDisk(const CString& path, const std::pair<LONGLONG, CTime>& stored);
    int Begin(ThreadFunc step);

    int m_bVerify = 0;
    int m_bQueried = 0;
    std::string m_strSqlTail;
    CSearchResultMap m_mapResults;
    _tagQuickSearch m_quickRequest;
    _tagFieldSearch m_fieldRequest;
    CDbFacade* m_pDb;
    ISearchResultSink* m_pSink;
};
