// CCommonFunc as the rest of the library sees it (declared in picdex/common_func.h),
// and _tagSimpleFileInfo, one picture found in a folder by the folder walk or the
// NTFS reader. A set of _tagSimpleFileInfo is ordered by file name, case-sensitively.
#pragma once

#include <set>

#include "picdex/common_func.h"
#include "platform/ctime.h"
#include "platform/types.h"

struct _tagSimpleFileInfo {
    CString strFileName;      // the name only, without folder
    ULONGLONG iFileSize = 0;  // bytes
    CTime tFileModify;        // last-write time

    bool operator<(const _tagSimpleFileInfo& other) const {
        return strFileName.compare(other.strFileName) < 0;
    }
};
