// Where the database search hands its results: the service object implements this
// interface and gives it to the search (CDbSearch::SetResultSink); the search never
// depends on the service itself.
//
// The call is made on the search's worker thread, once per delivery, with every path
// of that delivery; the implementation takes its own lock, copies what it needs (the
// map belongs to the search and is emptied after the call) and must not wait for the
// search thread.
#pragma once

#include <map>
#include <utility>

#include "platform/ctime.h"
#include "platform/types.h"

// A matching file's full path -> (its stored size in bytes, its stored modification
// time), ordered by path.
using CSearchResultMap = std::map<CString, std::pair<LONGLONG, CTime>>;

class ISearchResultSink {
public:
    virtual ~ISearchResultSink() = default;

    // The service's record-results step: every path of `results` joins the pending
    // result set that the host is offered.
    virtual void RecordResults(const CSearchResultMap& results) = 0;
};
