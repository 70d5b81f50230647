// Questions and edits about single paths in the index, for forget and mv: is a path an
// indexed file or folder, and removing or renaming one without touching its neighbours.
//
// The library's folder-tree edits select the folders below a folder with a LIKE
// pattern, in which '_' and '%' in names are wildcards and letters match in either
// case; on a case-sensitive file system that can reach other folders ("a_b" also
// matches "aXb", "Photos" also "photos"). These helpers look for such neighbours first
// and, when there are any, take a way that cannot reach them.
#pragma once

#include <string>

#include "picdex/search_buss.h"
#include "picdex/types.h"

namespace cli {

// `folder` ends with a backslash.
bool IsIndexedFolder(ISearchBuss* s, const CString& folder);
bool IsIndexedFile(ISearchBuss* s, const CString& path);

// True when SQL's LIKE would match `text` against `pattern` ('%' any run, '_' any one
// character, ASCII letters in either case).
bool LikeMatches(const CString& pattern, const CString& text);

// Indexed folders outside `folder` that a LIKE over `folder` followed by '%' reaches.
bool HasLikeNeighbours(ISearchBuss* s, const CString& folder);

// Removes what the index holds at or below `folder`. Where the library's tree delete
// would reach neighbours, every file below is removed one by one instead (the empty
// folder rows go with the next index run). False when the library refused.
bool ForgetFolder(ISearchBuss* s, const CString& folder);

// Whether the library's folder rename can move the rows of `from` to `to` (both with
// trailing backslashes): the parent of `to` is indexed, `to` is not, and the rename
// would reach no neighbours of `from`.
bool CanRenameFolder(ISearchBuss* s, const CString& from, const CString& to);

}  // namespace cli
