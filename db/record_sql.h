// The SQL mapping of the six records: the insert statement of each record (the form
// with the id first when the record's id is set, the form without it when it is 0)
// and the row readers.
//
// Row readers read the current row of a query by column name. SQL NULL reads as: 0
// for ids and counts, except iPageCount 1 and iIptcID, iExifID, iGpsID -1; "0" for the
// 64-bit columns (read as text); "2000-00-00 01:01:01" for times (read as text and
// parsed as a date; a text that does not parse gives time 0); "" for texts (UTF-8).
// A reader returns false, with the record partly filled, when the query has no current
// row or the row's id reads 0 (and, for a folder, when its name is empty; for a month
// row, when its folder id is 0). Column errors throw CppSQLite3Exception.
// Pure functions over their arguments; the caller holds the manager's lock.
#pragma once

#include <string>

#include "db/cppsqlite3.h"
#include "db/records.h"

std::string BuildInsert(const _tagFileInfo& rec);
std::string BuildInsert(const _tagExifInfo& rec);
std::string BuildInsert(const _tagIptcInfo& rec);
std::string BuildInsert(const _tagGpsInfo& rec);
std::string BuildInsert(const _tagPathInfo& rec);
std::string BuildInsert(const _tagTimePath& rec);

bool ReadRow(const CppSQLite3Query& q, _tagFileInfo& rec);
bool ReadRow(const CppSQLite3Query& q, _tagExifInfo& rec);
bool ReadRow(const CppSQLite3Query& q, _tagIptcInfo& rec);
bool ReadRow(const CppSQLite3Query& q, _tagGpsInfo& rec);
bool ReadRow(const CppSQLite3Query& q, _tagPathInfo& rec);
bool ReadRow(const CppSQLite3Query& q, _tagTimePath& rec);

// Column readers with the null values above.
CString ReadText(const CppSQLite3Query& q, const char* column);
LONGLONG ReadInt64(const CppSQLite3Query& q, const char* column);
CTime ReadTime(const CppSQLite3Query& q, const char* column);
// A stored time text parsed as a date (the first second it covers); 0 when it does not
// parse.
CTime ParseTimeText(const char* text);
