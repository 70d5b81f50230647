// The SQL texts of the statistics and lookups (folder, tree, year and month counts,
// month rows, folder lists, file lists, digests). Texts are exact, doubled and missing
// blanks included; they are split around their values as in sql_texts.h: a piece named
// ...Head comes first, the value follows, then the next piece.
#pragma once

namespace sqltext {

// ---------------------------------------------------------------- counts
// + folder + ";"
inline constexpr char kStatFolderCountHead[] =
    "select iPicCount, iPicSize from tb_path_info where strFullPath = ";
// + P + kStatSubtreeMid + U + kStatTreeCountTail
inline constexpr char kStatTreeCountHead[] =
    "select SUM(iPicCount) as iPicCountR, SUM(iPicSize) as iPicSizeR from tb_path_info where ";
inline constexpr char kStatTreeCountTail[] = " ; ";
// The subtree bounds P and U of a folder: " strFullPath >= " + P + " AND strFullPath < " + U
inline constexpr char kStatSubtreeHead[] = " strFullPath >= ";
inline constexpr char kStatSubtreeMid[] = " AND strFullPath < ";
// + January 1 of the year + ";"
inline constexpr char kStatYearCountHead[] =
    "select SUM(iPicCountT) as iPicCountTR, SUM(iPicSizeT) as iPicSizeTR from tb_time_path_info "
    "where datetime(tPathPicTime, 'start of year') = ";
// + day 1 of the month + ";"
inline constexpr char kStatMonthCountHead[] =
    "select SUM(iPicCountT) as iPicCountTR, SUM(iPicSizeT) as iPicSizeTR from tb_time_path_info "
    "where datetime(tPathPicTime, 'start of month') = ";

// ---------------------------------------------------------------- calendar totals
inline constexpr char kStatYearTotals[] =
    "select datetime(tPathPicTime, 'start of year') as tPathPicTimeY, SUM(iPicCountT) as "
    "iPicCountTR, SUM(iPicSizeT) as iPicSizeTR from  tb_time_path_info where iPicCountT > 0 "
    "group by tPathPicTimeY; ";
// + January 1 of the year + kStatMonthTotalsTail
inline constexpr char kStatMonthTotalsHead[] =
    "select datetime(tPathPicTime, 'start of month') as tPathPicTimeYM, SUM(iPicCountT) as "
    "iPicCountTR, SUM(iPicSizeT) as iPicSizeTR from  tb_time_path_info where iPicCountT > 0 AND "
    "datetime(tPathPicTime, 'start of year') = ";
inline constexpr char kStatMonthTotalsTail[] = " group by tPathPicTimeYM;";

// ---------------------------------------------------------------- month rows
// + from + kStatMonthFoldersMid + to + ";" (no blank before AND)
inline constexpr char kStatMonthFoldersHead[] =
    "select * from  tb_time_path_info left join tb_path_info on tb_path_info.iPathID = "
    "tb_time_path_info.iPathID  where iPicCountT > 0 AND tPathPicTime >= ";
inline constexpr char kStatMonthFoldersMid[] = "AND tPathPicTime <= ";
inline constexpr char kStatAllMonthFolders[] =
    "select * from  tb_time_path_info left join tb_path_info on tb_path_info.iPathID = "
    "tb_time_path_info.iPathID where iPicCountT > 0 ;";
// The month rows of one folder are sqltext::kMonthRowsOfFolderHead + folder + ";".

// ---------------------------------------------------------------- folders
// + one of the three endings below, or nothing for every folder
inline constexpr char kStatFoldersHead[] = "select * from tb_path_info ";
// + escaped folder + "%'"
inline constexpr char kStatFoldersBelowHead[] = " where  strFullPath LIKE '";
inline constexpr char kStatFoldersBelowTail[] = "%'";
// + folder id
inline constexpr char kStatFoldersChildrenHead[] = " where  iParentID = ";
inline constexpr char kStatFoldersTop[] = " where  iParentID = 0";

// ---------------------------------------------------------------- files
// The files with their full paths; every file statement begins so.
inline constexpr char kStatFilesHead[] =
    "select strFullPath || strFileName as strFullPathName from  tb_file_info left join "
    "tb_path_info on tb_path_info.iPathID = tb_file_info.iPathID  where ";
// By capture time: kStatFilesHead + kStatSnapFromHead + from + kStatSnapToMid + to, then
// kStatAnd + the subtree bounds, or kStatFolderIs + folder, or nothing; then ";"
inline constexpr char kStatSnapFromHead[] = "tSnapTime >= ";
inline constexpr char kStatSnapToMid[] = " AND tSnapTime <= ";
inline constexpr char kStatAnd[] = " AND";
inline constexpr char kStatFolderIs[] = " AND strFullPath = ";
// In a folder: kStatFilesHead + the subtree bounds, or kStatFolderOnly + folder; then ";"
inline constexpr char kStatFolderOnly[] = " strFullPath = ";
// By digest: kStatFilesHead + kStatMd5Head + md5 + ";"
inline constexpr char kStatMd5Head[] = "strMD5 = ";
inline constexpr char kStatDuplicateDigests[] =
    "select strMD5 from tb_file_info group by strMD5 having count(iFileID) > 1;";

// ---------------------------------------------------------------- quick-search count
// + the quick-search tail
inline constexpr char kStatCountHead[] = "select count(*) from ";

}  // namespace sqltext
