// The in-memory records of the six data tables, one field per column, with the
// defaults of a record that has not been read or filled yet.
//
// Times are CTime values (0 = no time known); strings are wide; sizes are 64-bit byte
// counts; ids are 32-bit row ids (0 = no row yet). In a file record the metadata links
// iIptcID, iExifID and iGpsID are -1 when the picture has no block of that kind, 0
// when a block was found whose row is not written yet, and the row id above 0.
// Plain values: copy freely, no thread rules of their own.
#pragma once

#include "picdex/ctime.h"
#include "picdex/types.h"

// One tb_file_info row.
struct _tagFileInfo {
    int iFileID = 0;
    int iPathID = 0;
    int iHeight = 0;
    int iWidth = 0;
    int iBPP = 0;
    int iPageCount = 1;
    int iIptcID = -1;
    int iExifID = -1;
    int iGpsID = -1;
    LONGLONG iFileSize = 0;
    CTime tSnapTime;
    CTime tFileCreate;
    CTime tFileModify;
    CTime tFileSearch;
    CString strFileName;
    CString strExt;
    // "" = analyse again, "0" = analysed without a digest, else 32 upper-case hex digits.
    CString strMD5;
};

// One tb_exif_info row. Each L/R pair is a numerator and a denominator.
struct _tagExifInfo {
    int iExifID = 0;
    int iExposureTimeL = 0;
    int iExposureTimeR = 1;
    int iApertureL = 0;
    int iApertureR = 1;
    int iISO = 0;
    int iFocalLenL = 0;
    int iFocalLenR = 1;
    int iExposureCompL = 0;
    int iExposureCompR = 1;
    int iWTL = 0;
    int iWTR = 1;
    CTime tDititalTime;
    CString strManufacturer;
    CString strModel;
};

// One tb_iptc_info row (the record holds strLocation before strCity; the table the
// other way round).
struct _tagIptcInfo {
    int iIptcID = 0;
    CString strMemoInfo;
    CString strKeyWord;
    CString strTitle;
    CString strClass;
    CString strLocation;
    CString strCity;
    CString strCountry;
    CString strCopyRight;
    CString strWriter;
};

// One tb_gps_info row.
struct _tagGpsInfo {
    int iGpsID = 0;
    int iLatitude = 0;
    int iLongitute = 0;
    int iAltitute = 0;
    int iGpsSpeed = 0;
    CTime tGpsTime;
};

// One tb_path_info row: a folder, its full path ending in a backslash.
struct _tagPathInfo {
    int iPathID = 0;
    int iParentID = 0;
    int iPicCount = 0;
    LONGLONG iPicSize = 0;
    CTime tPathCreate;
    CTime tPathModify;
    CTime tPathSearch;
    CString strPathName;
    CString strFullPath;
};

// One tb_time_path_info row: a folder's pictures taken in one month (tPathPicTime is
// the first second of that month, local time). strFullPath is no column of the table:
// the month lookups join the folder row and carry its full path here, so that a host
// reading a list of months knows each one's folder; it is empty otherwise.
struct _tagTimePath {
    int iTimePathID = 0;
    int iPathID = 0;
    CTime tPathPicTime;
    int iPicCountT = 0;
    LONGLONG iPicSizeT = 0;
    CString strFullPath;
};

// The file-detail record: one analysed picture with its metadata blocks and folder,
// the payload of a CSaveFileDetail task. Defaults as the records above.
struct _tagFileDetail {
    _tagFileInfo fileInfo;
    _tagExifInfo exifInfo;
    _tagIptcInfo iptcInfo;
    _tagGpsInfo gpsInfo;
    CString strFolder;
};
