// What a host needs from the index beyond ISearchBuss: counts for progress and
// summaries, the files that are candidates for duplicates, storing the digests the host
// computed for them, and the text of an error the library threw.
//
// Every function works on the index the service object has open (ISearchBuss::
// Initialize) and runs on the caller's thread under the database layer's lock, like the
// statistics operations; with no index open they report failure (-1 or false). They
// never throw: a statement the database rejects is reported as failure too.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "picdex/export.h"
#include "picdex/types.h"

namespace picdex {

// Rows of tb_file_info: every indexed file. -1 with no index open or on an error.
PICDEX_API int CountIndexedFiles();

// Indexed files that the scan still has to analyse (their digest is the empty text).
// -1 with no index open or on an error.
PICDEX_API int CountFilesToAnalyse();

// One indexed file as the duplicate finder needs it.
struct IndexedFile {
    CString path;       // full library path
    LONGLONG size = 0;  // bytes, as indexed
    CString md5;        // "" analyse again, "0" no digest, else 32 upper-case hex digits
};

// Every indexed file of more than 0 bytes whose size at least one other indexed file
// shares, ordered by size (largest first), then path. False (out unchanged) with no
// index open or on an error.
PICDEX_API bool GetFilesOfSharedSize(std::vector<IndexedFile>& out);

// Stores digests (full library path, 32 hexadecimal digits) for indexed files, in one
// transaction. A path the index does not hold and a digest that is not 32 hexadecimal
// digits are skipped; digits are stored upper case. Returns the number of files whose
// digest was stored, -1 with no index open or when the database refused the writes.
PICDEX_API int SetFileDigests(const std::vector<std::pair<CString, CString>>& digests);

// What a scan did to the index since StartRunCounts, counted as it writes.
struct RunCounts {
    int added = 0;     // files new to the index
    int changed = 0;   // indexed files found changed (to be analysed again)
    int analysed = 0;  // files analysed
};

// Starts counting (again from 0) on the open index's connection; the counting ends
// when the index is closed. Other connections to the file are not affected. False
// with no index open or when the database refused.
PICDEX_API bool StartRunCounts();
// The counts so far; false (out unchanged) when StartRunCounts has not run on this
// connection or the database refused.
PICDEX_API bool GetRunCounts(RunCounts& out);

// Inside a catch block: a one-line description of the exception being handled (the
// database layer's message, or an exception's what()); "unknown error" otherwise.
PICDEX_API std::string DescribeCurrentException();

}  // namespace picdex
