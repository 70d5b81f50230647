// The searchable-field table entry and the two search requests a host hands to the
// library: a quick search (one text looked for in names, paths, dates, captions, camera
// names and GPS numbers at once) and a field search (conditions on fields of the field
// table, plus texts that must occur in the file's full path).
//
// Plain values: copy freely. A request is copied by the library when a search starts,
// so the host may reuse or free its own afterwards.
#pragma once

#include <list>
#include <set>

#include "picdex/types.h"

// Value types of a searchable field.
enum : int {
    kFieldInteger = 1,
    kFieldFraction = 2,  // numerator and denominator columns, compared as their quotient
    kFieldTime = 4,
    kFieldText = 8,
};

// Scope bits of a quick search.
enum : int {
    kScopeNames = 1,   // file names, folder paths and dates
    kScopeIptc = 2,    // IPTC title, keywords, country and city
    kScopeCamera = 4,  // camera maker and model
    kScopeGps = 8,     // GPS latitude, longitude and altitude
    kScopeAll = 15,
};

// Operators of a field-search condition; any other value drops the condition.
enum : int {
    kOpContains = 1,
    kOpGreater = 2,
    kOpGreaterEqual = 3,
    kOpEqual = 4,
    kOpLessEqual = 5,
    kOpLess = 6,
    kOpContainsToo = 7,  // the same as kOpContains
};

// One entry of the searchable-field table (CCommonFunc::GetFieldInfo).
struct _tagFieldInfo {
    int iFieldID = 0;  // the key: file facts negative, EXIF/GPS tag numbers, IPTC 512 + dataset
    int iType = 0;     // kFieldInteger, kFieldFraction, kFieldTime or kFieldText
    CString strName;   // display name
    CString strTable;  // the table that holds the column
    CString strField;  // the column expression used in SQL
    int iFlag = 0;     // 1 for every field but the quick-match entry (0)
};

// A quick search request.
struct _tagQuickSearch {
    CString strText;             // the text looked for; '*' and '?' are wildcards
    CString strText2;            // carried with the request, not used by the search
    std::set<CString> setPaths;  // carried with the request, not used by the search
    int iReserved = 0;           // not used
    HWND hWnd = nullptr;         // the window that receives the results
    int bVerify = 0;             // non-zero: check found files on disk before delivering
    int iScope = 0;              // kScope... bits
};

// One condition of a field search: field `iFieldID` compared by `iOperator` with
// `strValue`, which is written into the statement as it is (a text value is quoted,
// its single quotes are not doubled: a value holding one makes the search find nothing).
struct _tagSearchCondition {
    int iFieldID = 0;
    int iOperator = 0;
    CString strValue;
};

// A field search request: every condition must hold, and when `setPathTexts` is not
// empty at least one of its texts must occur in the file's full path and name.
struct _tagFieldSearch {
    int iReserved = 0;  // not used
    std::set<CString> setPathTexts;
    std::list<_tagSearchCondition> lstConditions;
    int bVerify = 0;      // as in the quick request
    HWND hWnd = nullptr;  // the window that receives the results
};
