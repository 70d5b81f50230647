// Every SQL text the database layer runs, grouped by the table it is about, so that
// each table's statements can be read in one place. Texts are exact: where a text
// holds a line feed it is written \n, and doubled or missing blanks are deliberate
// (the stored schema's texts are compared by SQLite when an index or table already
// exists, and other code matches statements by their text).
//
// Statements built from values are split into the pieces that surround each value:
// a piece named ...Head comes first, the value follows, then the next piece. Values
// are written by the literal rules of sql_literal.h.
#pragma once

namespace sqltext {

// ---------------------------------------------------------------- transactions
inline constexpr char kBeginTransaction[] = "begin  transaction;";
inline constexpr char kCommitTransaction[] = "commit transaction;";

// ---------------------------------------------------------------- tb_config_info
inline constexpr char kConfigCreateTable[] =
    "CREATE TABLE IF NOT EXISTS [tb_config_info] (\n  [strCfgKey] CHAR(32) NOT NULL PRIMARY KEY "
    "ON CONFLICT REPLACE COLLATE NOCASE, \n  [strCfgValue] VARCHAR(32) COLLATE NOCASE); \n";
inline constexpr char kConfigCreateIndex[] =
    "CREATE UNIQUE INDEX IF NOT EXISTS[idx_config_key] ON [tb_config_info] ([strCfgKey]);\n";
// + key + kConfigSelectTail (no blank before LIMIT)
inline constexpr char kConfigSelectHead[] =
    "select strCfgValue from tb_config_info where strCfgKey = ";
inline constexpr char kConfigSelectTail[] = "LIMIT 1;";
// + key + "," + value + ");"
inline constexpr char kConfigReplaceHead[] =
    "Replace into tb_config_info(strCfgKey, strCfgValue) values(";

// ---------------------------------------------------------------- tb_search_history
inline constexpr char kHistoryCreateTable[] =
    "CREATE TABLE IF NOT EXISTS [tb_search_history] ( \n  [strKey] VARCHAR(32) NOT NULL PRIMARY "
    "KEY ON CONFLICT REPLACE, \n  [iSearchTimes] INT DEFAULT 0);\n";
inline constexpr char kHistorySelectAll[] = "SELECT * from tb_search_history;";
// + key + "," + count + ");"
inline constexpr char kHistoryReplaceHead[] =
    "Replace into tb_search_history(strKey, iSearchTimes) values (";
// The unconditional delete of every search text.
inline constexpr char kHistoryDeleteAll[] = "delete from tb_search_history ;";

// ---------------------------------------------------------------- tb_path_task
inline constexpr char kPathTaskCreateTable[] =
    "CREATE TABLE IF NOT EXISTS [tb_path_task] ([strPathToSearch] VARCHAR(256) NOT NULL PRIMARY "
    "KEY ON CONFLICT REPLACE COLLATE NOCASE);\n";
inline constexpr char kPathTaskCreateIndex[] =
    "CREATE UNIQUE INDEX IF NOT EXISTS[idx_path_task_path] ON [tb_path_task] "
    "([strPathToSearch]);\n";
// + path + ");"
inline constexpr char kPathTaskReplaceHead[] = "Replace into tb_path_task(strPathToSearch) values(";
// + path + ";"
inline constexpr char kPathTaskDeleteHead[] = "delete from tb_path_task where strPathToSearch = ";
inline constexpr char kPathTaskDeleteAll[] = "delete from tb_path_task ;";
inline constexpr char kPathTaskSelectAll[] =
    "select strPathToSearch from tb_path_task order by strPathToSearch ; ";

// ---------------------------------------------------------------- tb_ntfs_path_task
inline constexpr char kNtfsTaskCreateTable[] =
    "CREATE TABLE IF NOT EXISTS [tb_ntfs_path_task] ([strPathToSearch] VARCHAR(256) NOT NULL "
    "PRIMARY KEY ON CONFLICT REPLACE COLLATE NOCASE);\n";
inline constexpr char kNtfsTaskCreateIndex[] =
    "CREATE UNIQUE INDEX IF NOT EXISTS[idx_path_ntfs_task_path] ON [tb_ntfs_path_task] "
    "([strPathToSearch]);\n";
// + root + ");"
inline constexpr char kNtfsTaskReplaceHead[] =
    "Replace into tb_ntfs_path_task(strPathToSearch) values(";
// + root + ";"
inline constexpr char kNtfsTaskDeleteHead[] =
    "delete from tb_ntfs_path_task where strPathToSearch = ";
inline constexpr char kNtfsTaskDeleteAll[] = "delete from tb_ntfs_path_task ;";
inline constexpr char kNtfsTaskSelectAll[] =
    "select strPathToSearch from tb_ntfs_path_task order by strPathToSearch ; ";

// ---------------------------------------------------------------- tb_exif_info
inline constexpr char kExifCreateTable[] =
    "CREATE TABLE IF NOT EXISTS [tb_exif_info] (\n  [iExifID] integer NOT NULL PRIMARY KEY ON "
    "CONFLICT REPLACE AUTOINCREMENT, \n  [iExposureTimeL] INT DEFAULT 0, \n  [iExposureTimeR] INT "
    "DEFAULT 1, \n  [iApertureL] INT DEFAULT 0, \n  [iApertureR] INT DEFAULT 1, \n  [iISO] INT, \n "
    " "
    "[tDititalTime] DATETIME, \n  [iFocalLenL] INT, \n  [iFocalLenR] INT DEFAULT 1, \n  "
    "[strManufacturer] VARCHAR(128) COLLATE NOCASE, \n  [strModel] VARCHAR(64) COLLATE NOCASE, \n  "
    "[iExposureCompL] INT DEFAULT 0, \n  [iExposureCompR] INT DEFAULT 1, \n  [iWTL] INT DEFAULT 0, "
    "\n  [iWTR] INT DEFAULT 1);";
inline constexpr char kExifIndexId[] =
    "CREATE UNIQUE INDEX IF NOT EXISTS[ind_exif_info_id] ON [tb_exif_info] ([iExifID]);";
inline constexpr char kExifIndexModel[] =
    "CREATE INDEX IF NOT EXISTS[ind_exif_info_cam_model] ON [tb_exif_info] ([strModel]);";
inline constexpr char kExifIndexMaker[] =
    "CREATE INDEX IF NOT EXISTS[ind_exif_info_cam] ON [tb_exif_info] ([strManufacturer]);";
inline constexpr char kExifIndexTime[] =
    "CREATE INDEX IF NOT EXISTS[ind_exif_info_data] ON [tb_exif_info] ([tDititalTime]);";
inline constexpr char kExifReplaceHead[] =
    "Replace into tb_exif_info(iExifID, iExposureTimeL, iExposureTimeR, iApertureL, iApertureR, "
    "iISO, iFocalLenL, iFocalLenR, tDititalTime, strManufacturer, strModel, iExposureCompL, "
    "iExposureCompR, iWTL, iWTR)values(";
inline constexpr char kExifInsertHead[] =
    "Insert into tb_exif_info(iExposureTimeL, iExposureTimeR, iApertureL, iApertureR, iISO, "
    "iFocalLenL, iFocalLenR, tDititalTime, strManufacturer, strModel, iExposureCompL, "
    "iExposureCompR, iWTL, iWTR)values(";
// Rows of the pictures not seen since the run began; + time + "); "
inline constexpr char kExifDeleteStaleHead[] =
    "delete from tb_exif_info where iExifID IN (select DISTINCT iExifID from tb_file_info where "
    "tFileSearch < ";
// Rows of the pictures under a folder; + escaped folder + kTreeDeleteMetaTail
inline constexpr char kExifDeleteTreeHead[] =
    "delete from tb_exif_info where iExifID IN (select iExifID from tb_file_info where iPathID IN "
    "(select iPathID from tb_path_info where strFullPath Like '";

// ---------------------------------------------------------------- tb_time_path_info
inline constexpr char kMonthCreateTable[] =
    "CREATE TABLE IF NOT EXISTS [tb_time_path_info] (\n  [iTimePathID] integer NOT NULL PRIMARY "
    "KEY AUTOINCREMENT, \n  [tPathPicTime] DATETIME NOT NULL, \n  [iPathID] INT NOT NULL, \n  "
    "[iPicCountT] INT, \n  [iPicSizeT] INT64, \n  [tPathTSearch] DATETIME);\n";
inline constexpr char kMonthCreateIndexTime[] =
    "CREATE INDEX IF NOT EXISTS[idx_time_path_info_time] ON [tb_time_path_info] ([tPathPicTime]);";
inline constexpr char kMonthCreateIndexPath[] =
    "CREATE INDEX IF NOT EXISTS[idx_time_path_info_path] ON [tb_time_path_info] ([iPathID]);";
inline constexpr char kMonthCreateIndexPathTime[] =
    "CREATE UNIQUE INDEX IF NOT EXISTS[idx_time_path_info_path_time] ON [tb_time_path_info] "
    "([iPathID], [tPathPicTime]);";
inline constexpr char kMonthIndexId[] =
    "CREATE UNIQUE INDEX IF NOT EXISTS[ind_time_path_id] ON [tb_time_path_info] ([iTimePathID]);";
inline constexpr char kMonthReplaceHead[] =
    "Replace into tb_time_path_info(iTimePathID, iPathID, tPathPicTime, iPicCountT, "
    "iPicSizeT)values(";
inline constexpr char kMonthInsertHead[] =
    "Insert into tb_time_path_info(iPathID, tPathPicTime, iPicCountT, iPicSizeT)values(";
// + count + kMonthAddSizeMid + size + kMonthAddPathMid + pathID + kMonthAddTimeMid + month + ";"
inline constexpr char kMonthAddHead[] = "update tb_time_path_info set iPicCountT = iPicCountT + ";
inline constexpr char kMonthAddSizeMid[] = " , iPicSizeT = iPicSizeT + ";
inline constexpr char kMonthAddPathMid[] = " where iPathID = ";
inline constexpr char kMonthAddTimeMid[] = " AND tPathPicTime = ";
// + pathID + kMonthExistsTimeMid + month + kMonthExistsTail
inline constexpr char kMonthExistsHead[] =
    "Select iTimePathID from tb_time_path_info where iPathID = ";
inline constexpr char kMonthExistsTimeMid[] = " AND tPathPicTime = ";
inline constexpr char kMonthExistsTail[] = " LIMIT 1; ";
// The month rows of one folder; + folder + ";"
inline constexpr char kMonthRowsOfFolderHead[] =
    "select * from  tb_time_path_info left join tb_path_info on tb_path_info.iPathID = "
    "tb_time_path_info.iPathID  where iPicCountT > 0 AND tb_path_info.strFullPath = ";
// Recount of one folder: + pathID + kMonthRebuildFolderTimeMid + T + kMonthRebuildTail
inline constexpr char kMonthRebuildFolderHead[] =
    "replace into tb_time_path_info (iPathID, tPathPicTime, iPicCountT, iPicSizeT, tPathTSearch)  "
    "select iPathID, datetime(tSnapTime, 'start of month') as tPathPicTime, count(iPathID), "
    "SUM(iFileSize), datetime(CURRENT_TIMESTAMP, 'localtime') from tb_file_info where  strMD5 >= "
    "'0' AND tSnapTime > '1970-02-01 00:00:00' AND  iPathID = ";
inline constexpr char kMonthRebuildFolderTimeMid[] = " AND tFileSearch >= ";
// Recount of every folder: + T + kMonthRebuildTail
inline constexpr char kMonthRebuildAllHead[] =
    "replace into tb_time_path_info (iPathID, tPathPicTime, iPicCountT, iPicSizeT, tPathTSearch)  "
    "select iPathID, datetime(tSnapTime, 'start of month') as tPathPicTime, count(iPathID), "
    "SUM(iFileSize), datetime(CURRENT_TIMESTAMP, 'localtime') from tb_file_info where  strMD5 >= "
    "'0' AND tSnapTime > '1970-02-01 00:00:00' AND  tFileSearch >= ";
inline constexpr char kMonthRebuildTail[] = " group by iPathID, tPathPicTime;";
// + pathID + kMonthDeleteOldFolderTimeMid + t + " ;"
inline constexpr char kMonthDeleteOldFolderHead[] =
    "delete from tb_time_path_info where iPathID = ";
inline constexpr char kMonthDeleteOldFolderTimeMid[] = " AND tPathTSearch < ";
// + t + " ;"
inline constexpr char kMonthDeleteOldHead[] = "delete from tb_time_path_info where tPathTSearch < ";
// + t + kMonthDeleteStaleTail
inline constexpr char kMonthDeleteStaleTail[] = "  OR tPathPicTime < '1970-02-01 00:00:00';";
// + escaped folder + kTreeDeleteRowsTail
inline constexpr char kMonthDeleteTreeHead[] =
    "delete from tb_time_path_info where iPathID IN (select iPathID from tb_path_info where "
    "strFullPath Like '";

// ---------------------------------------------------------------- tb_file_info
inline constexpr char kFileCreateTable[] =
    "CREATE TABLE IF NOT EXISTS [tb_file_info] (\n  [iFileID] integer NOT NULL PRIMARY KEY "
    "AUTOINCREMENT, \n  [iPathID] INT DEFAULT 0, \n  [iHeight] INT DEFAULT 0, \n  [iWidth] INT "
    "DEFAULT 0, \n  [iBPP] INT DEFAULT 0, \n  [iPageCount] INT DEFAULT 1, \n  [iIptcID] INT, \n  "
    "[iExifID] INT, \n  [iGpsID] INT, \n  [iFileSize] INT64, \n  [strFileName] VARCHAR(256) "
    "COLLATE NOCASE, \n  [tSnapTime] DATETIME, \n  [tFileCreate] DATETIME, \n  [tFileModify] "
    "DATETIME, \n  [tFileSearch] DATETIME, \n  [strExt] CHAR(8) COLLATE NOCASE, \n  [strMD5] "
    "CHAR(32) COLLATE NOCASE ); \n";
inline constexpr char kFileCreateIndexPathName[] =
    "CREATE UNIQUE INDEX IF NOT EXISTS[idx_file_info_pid_name] ON [tb_file_info] ([iPathID], "
    "[strFileName]);";
inline constexpr char kFileCreateIndexExif[] =
    "CREATE INDEX IF NOT EXISTS[idx_file_exif] ON [tb_file_info] ([iExifID]);";
inline constexpr char kFileCreateIndexGps[] =
    "CREATE INDEX IF NOT EXISTS[idx_file_gps] ON [tb_file_info] ([iGpsID]);";
inline constexpr char kFileCreateIndexIptc[] =
    "CREATE INDEX IF NOT EXISTS[idx_file_iptc] ON [tb_file_info] ([iIptcID]);";
inline constexpr char kFileCreateIndexMd5[] =
    "CREATE INDEX IF NOT EXISTS[idx_file_MD5] ON [tb_file_info] ([strMD5]);";
inline constexpr char kFileCreateIndexModify[] =
    "CREATE INDEX IF NOT EXISTS[idx_file_modify] ON [tb_file_info] ([tFileModify]);";
inline constexpr char kFileCreateIndexPath[] =
    "CREATE INDEX IF NOT EXISTS[idx_file_path] ON [tb_file_info] ([iPathID]);";
inline constexpr char kFileCreateIndexName[] =
    "CREATE INDEX IF NOT EXISTS[idx_file_name] ON [tb_file_info] ([strFileName]);";
inline constexpr char kFileCreateIndexSnap[] =
    "CREATE INDEX IF NOT EXISTS[idx_file_snap_time] ON [tb_file_info] ([tSnapTime]);";
inline constexpr char kFileIndexId[] =
    "CREATE UNIQUE INDEX IF NOT EXISTS[ind_file_info_id] ON [tb_file_info] ([iFileID]);";
inline constexpr char kFileIndexPathId[] =
    "CREATE INDEX IF NOT EXISTS[ind_file_info_path_id] ON [tb_file_info] ([iPathID]);";
inline constexpr char kFileIndexExt[] =
    "CREATE INDEX IF NOT EXISTS[ind_file_info_ext_name] ON [tb_file_info] ([strExt]);";
inline constexpr char kFileIndexSize[] =
    "CREATE INDEX IF NOT EXISTS[ind_file_info_file_size] ON [tb_file_info] ([iFileSize]);";
inline constexpr char kFileReplaceWithIdHead[] =
    "Replace into tb_file_info(iFileID, iPathID, strFileName, strExt, iFileSize, tSnapTime, "
    "tFileCreate, tFileModify, tFileSearch, strMD5, iIptcID, iExifID, iGpsID, iHeight, iWidth, "
    "iBPP, iPageCount )values(";
inline constexpr char kFileReplaceNewHead[] =
    "Replace into tb_file_info(iPathID, strFileName, strExt, iFileSize, tSnapTime, tFileCreate, "
    "tFileModify, tFileSearch, strMD5, iIptcID, iExifID, iGpsID, iHeight, iWidth, iBPP, "
    "iPageCount )values(";
// + pathID + kFileByNameMid + name + kFileByNameTail
inline constexpr char kFileByNameHead[] = "Select * from tb_file_info where iPathID = ";
inline constexpr char kFileByNameMid[] = " and strFileName = ";
inline constexpr char kFileByNameTail[] = " LIMIT 1;";
// Files of a folder not seen since the run began: + pathID + kFileDeleteOldTimeMid + t + " ;"
inline constexpr char kFileDeleteOldFolderHead[] = "delete from tb_file_info where iPathID = ";
inline constexpr char kFileDeleteOldTimeMid[] = " AND tFileSearch < ";
// Files of every folder not seen since the run began: + t + " ;"
inline constexpr char kFileDeleteOldHead[] = "delete from tb_file_info where tFileSearch < ";
// + escaped folder + kTreeDeleteRowsTail
inline constexpr char kFileDeleteTreeHead[] =
    "delete from tb_file_info where iPathID IN (select iPathID from tb_path_info where strFullPath "
    "Like '";
// The next folder to analyse: + T + kFileToAnalyseTail
inline constexpr char kFileToAnalyseHead[] =
    "select tb_path_info.iPathID, strFullPath from  tb_file_info left join tb_path_info on "
    "tb_path_info.iPathID = tb_file_info.iPathID  where (strMD5 < '0' OR tFileSearch < ";
inline constexpr char kFileToAnalyseTail[] = ") LIMIT 1;";
// Its files: + T + kFileNamesToAnalyseMid + pathID (no closing semicolon)
inline constexpr char kFileNamesToAnalyseHead[] =
    "select strFileName from tb_file_info  where (strMD5 < '0' OR  tFileSearch < ";
inline constexpr char kFileNamesToAnalyseMid[] = ") AND iPathID = ";
// + pathID + kFileNameMid + escaped name + kFileNameTail
inline constexpr char kFileMarkChangedHead[] =
    "update tb_file_info Set strMD5 = '' where iPathID = ";
inline constexpr char kFileNameMid[] = " AND strFileName = '";
inline constexpr char kFileNameTail[] = "' ;";
// + new name + kFileRenamePathMid + old folder id + kFileNameMid + old name + kFileNameTail
inline constexpr char kFileRenameHead[] = "update tb_file_info Set strFileName = '";
inline constexpr char kFileRenamePathMid[] = "' where iPathID = ";
// + new folder id + kFileMovePathMid + old folder id + kFileNameMid + new name + kFileNameTail
inline constexpr char kFileMoveHead[] = "update tb_file_info Set iPathID = ";
inline constexpr char kFileMovePathMid[] = " where iPathID = ";

// ---------------------------------------------------------------- tb_gps_info
inline constexpr char kGpsCreateTable[] =
    "CREATE TABLE IF NOT EXISTS [tb_gps_info] (\n  [iGpsID] integer NOT NULL PRIMARY KEY "
    "AUTOINCREMENT, \n  [iLatitude] INT, \n  [iLongitute] INT, \n  [iAltitute] INT, \n  "
    "[iGpsSpeed] INT, \n  [tGpsTime] DATETIME);";
inline constexpr char kGpsIndexId[] =
    "CREATE UNIQUE INDEX IF NOT EXISTS[ind_gps_info_id] ON [tb_gps_info] ([iGpsID]);";
inline constexpr char kGpsIndexLongitude[] =
    "CREATE INDEX IF NOT EXISTS[ind_gps_info_longi] ON [tb_gps_info] ([iLongitute]);";
inline constexpr char kGpsIndexLatitude[] =
    "CREATE INDEX IF NOT EXISTS[ind_gps_info_lati] ON [tb_gps_info] ([iLatitude]);";
inline constexpr char kGpsReplaceHead[] =
    "Replace into tb_gps_info(iGpsID, iLatitude, iLongitute, iAltitute, iGpsSpeed, "
    "tGpsTime)values(";
inline constexpr char kGpsInsertHead[] =
    "Insert into tb_gps_info(iLatitude, iLongitute, iAltitute, iGpsSpeed, tGpsTime)values(";
inline constexpr char kGpsDeleteStaleHead[] =
    "delete from tb_gps_info where iGpsID IN (select DISTINCT iGpsID from tb_file_info where "
    "tFileSearch < ";
inline constexpr char kGpsDeleteTreeHead[] =
    "delete from tb_gps_info where iGpsID IN (select iGpsID from tb_file_info where iPathID IN "
    "(select iPathID from tb_path_info where strFullPath Like '";

// ---------------------------------------------------------------- tb_iptc_info
inline constexpr char kIptcCreateTable[] =
    "CREATE TABLE IF NOT EXISTS [tb_iptc_info] (\n  [iIptcID] integer NOT NULL PRIMARY KEY "
    "AUTOINCREMENT, \n  [strMemoInfo] VARCHAR(256) COLLATE NOCASE, \n  [strKeyWord] VARCHAR(128) "
    "COLLATE NOCASE, \n  [strTitle] VARCHAR(128) COLLATE NOCASE, \n  [strClass] VARCHAR(32) "
    "COLLATE NOCASE, \n  [strCity] VARCHAR(32) COLLATE NOCASE, \n  [strLocation] VARCHAR(128) "
    "COLLATE NOCASE, \n  [strCountry] VARCHAR(32) COLLATE NOCASE, \n  [strCopyRight] VARCHAR(128) "
    "COLLATE NOCASE, \n  [strWriter] VARCHAR(32) COLLATE NOCASE);";
inline constexpr char kIptcIndexId[] =
    "CREATE UNIQUE INDEX IF NOT EXISTS[ind_iptc_info_id] ON [tb_iptc_info] ([iIptcID]);";
inline constexpr char kIptcIndexCity[] =
    "CREATE INDEX IF NOT EXISTS[ind_iptc_info_city] ON [tb_iptc_info] ([strCity]);";
inline constexpr char kIptcIndexTitle[] =
    "CREATE INDEX IF NOT EXISTS[ind_iptc_info_title] ON [tb_iptc_info] ([strTitle]);";
inline constexpr char kIptcIndexClass[] =
    "CREATE INDEX IF NOT EXISTS[ind_iptc_info_class] ON [tb_iptc_info] ([strClass]);";
inline constexpr char kIptcIndexWriter[] =
    "CREATE INDEX IF NOT EXISTS[ind_iptc_info_writer] ON [tb_iptc_info] ([strWriter]);";
inline constexpr char kIptcReplaceHead[] =
    "Replace into tb_iptc_info(iIptcID, strMemoInfo, strKeyWord, strTitle, strClass, strCity, "
    "strLocation, strCountry, strCopyRight, strWriter)values(";
inline constexpr char kIptcInsertHead[] =
    "Insert into tb_iptc_info(strMemoInfo, strKeyWord, strTitle, strClass, strCity, strLocation, "
    "strCountry, strCopyRight, strWriter)values(";
inline constexpr char kIptcDeleteStaleHead[] =
    "delete from tb_iptc_info where iIptcID IN (select DISTINCT iIptcID from tb_file_info where "
    "tFileSearch < ";
inline constexpr char kIptcDeleteTreeHead[] =
    "delete from tb_iptc_info where iIptcID IN (select iIptcID from tb_file_info where iPathID IN "
    "(select iPathID from tb_path_info where strFullPath Like '";

// ---------------------------------------------------------------- tb_path_filter
inline constexpr char kFilterCreateTable[] =
    "CREATE TABLE IF NOT EXISTS [tb_path_filter] (\n  [iFilterID] integer NOT NULL PRIMARY KEY "
    "AUTOINCREMENT, \n  [strFullPath] VARCHAR(256) NOT NULL ON CONFLICT REPLACE COLLATE NOCASE, \n "
    " "
    "[iFilterType] INT);";
inline constexpr char kFilterCreateIndexPath[] =
    "CREATE UNIQUE INDEX IF NOT EXISTS[idx_path_filter_path] ON [tb_path_filter] ([strFullPath]);";
inline constexpr char kFilterCreateIndexType[] =
    "CREATE INDEX IF NOT EXISTS[idx_path_filter_type] ON [tb_path_filter] ([iFilterType]);";
inline constexpr char kFilterIndexId[] =
    "CREATE UNIQUE INDEX IF NOT EXISTS[ind_filter_id] ON [tb_path_filter] ([iFilterID]);";
inline constexpr char kFilterSelectAll[] = "Select * from tb_path_filter;";
// + path + "," + type + ");"
inline constexpr char kFilterReplaceHead[] =
    "replace into tb_path_filter(strFullPath, iFilterType) values (";
// + path + ";"
inline constexpr char kFilterDeleteHead[] = "delete from tb_path_filter where strFullPath = ";

// ---------------------------------------------------------------- tb_path_info
inline constexpr char kPathCreateTable[] =
    "CREATE TABLE IF NOT EXISTS [tb_path_info] (\n  [iPathID] integer NOT NULL PRIMARY KEY "
    "AUTOINCREMENT, \n  [iParentID] INT DEFAULT 0, \n  [strPathName] VARCHAR(256) COLLATE NOCASE, "
    "\n  [strFullPath] VARCHAR(256) COLLATE NOCASE, \n  [iPicCount] INT, \n  [iPicSize] INT64, \n  "
    "[tPathCreate] DATETIME, \n  [tPathModify] DATETIME, \n  [tPathSearch] DATETIME);\n";
inline constexpr char kPathCreateIndexParentName[] =
    "CREATE UNIQUE INDEX IF NOT EXISTS[idx_path_parent_id_name] ON [tb_path_info] ([iParentID], "
    "[strPathName]);";
inline constexpr char kPathCreateIndexParent[] =
    "CREATE INDEX IF NOT EXISTS[idx_path_parent_id] ON [tb_path_info] ([iParentID]);";
inline constexpr char kPathCreateIndexModify[] =
    "CREATE INDEX IF NOT EXISTS[idx_path_modify] ON [tb_path_info] ([tPathModify]);";
inline constexpr char kPathCreateIndexSearch[] =
    "CREATE INDEX IF NOT EXISTS[idx_path_search] ON [tb_path_info] ([tPathSearch]);";
inline constexpr char kPathCreateIndexFullPath[] =
    "CREATE INDEX IF NOT EXISTS[idx_path_full_path] ON [tb_path_info] ([strFullPath]);";
inline constexpr char kPathIndexId[] =
    "CREATE UNIQUE INDEX IF NOT EXISTS[ind_path_info_id] ON [tb_path_info] ([iPathID]);";
inline constexpr char kPathReplaceWithIdHead[] =
    "Replace into tb_path_info(iPathID, iParentID, strPathName, strFullPath, iPicCount, iPicSize, "
    "tPathCreate, tPathModify, tPathSearch)values(";
inline constexpr char kPathReplaceNewHead[] =
    "Replace into tb_path_info(iParentID, strPathName, strFullPath, iPicCount, iPicSize, "
    "tPathCreate, tPathModify, tPathSearch)values(";
// + path + kPathByFullPathTail
inline constexpr char kPathByFullPathHead[] = "Select * from tb_path_info where strFullPath = ";
inline constexpr char kPathByFullPathTail[] = " LIMIT 1;";
// + escaped path + kPathBelowTail
inline constexpr char kPathBelowHead[] = "Select * from tb_path_info where strFullPath LIKE '";
inline constexpr char kPathBelowTail[] = "_%' LIMIT 1;";
// + count + kPathAddSizeMid + size + kPathAddIdMid + pathID + ";"
inline constexpr char kPathAddHead[] = "update tb_path_info set iPicCount = iPicCount + ";
inline constexpr char kPathAddSizeMid[] = " , iPicSize = iPicSize + ";
inline constexpr char kPathAddIdMid[] = " where iPathID = ";
// Recount: + T + kPathRecountSizeMid + T + kPathRecountFolderTail + pathID + ";"
//          + T + kPathRecountSizeMid + T + kPathRecountAllTail
inline constexpr char kPathRecountHead[] =
    "update tb_path_info set iPicCount = (select count(*) from tb_file_info where "
    "tb_file_info.iPathID = tb_path_info.iPathID AND tb_file_info.tFileSearch >= ";
inline constexpr char kPathRecountSizeMid[] =
    ") , iPicSize = (select SUM(tb_file_info.iFileSize) from tb_file_info where "
    "tb_file_info.iPathID = tb_path_info.iPathID AND tb_file_info.tFileSearch >= ";
inline constexpr char kPathRecountFolderTail[] =
    ") , tPathSearch = datetime(CURRENT_TIMESTAMP, 'localtime') where iPathID = ";
inline constexpr char kPathRecountAllTail[] =
    ") , tPathSearch = datetime(CURRENT_TIMESTAMP, 'localtime') ;";
// + t + " ;"
inline constexpr char kPathZeroStaleHead[] =
    "update tb_path_info set iPicCount = 0, iPicSize = 0 where tPathSearch < ";
inline constexpr char kPathSelectParents[] =
    "select iPathID, iParentID, iPicCount from tb_path_info;";
// + pathID + ";"
inline constexpr char kPathDeleteByIdHead[] = "delete from tb_path_info where iPathID = ";
// + escaped folder + kPathDeleteTreeTail
inline constexpr char kPathDeleteTreeHead[] = "delete from tb_path_info where strFullPath Like '";
inline constexpr char kPathDeleteTreeTail[] = "%'; ";
// + new name + kPathRenameParentMid + old parent + kPathNameMid + old name + kPathNameTail
inline constexpr char kPathRenameHead[] = "update tb_path_info Set strPathName = '";
inline constexpr char kPathRenameParentMid[] = "' where iParentID = ";
inline constexpr char kPathNameMid[] = " AND strPathName = '";
inline constexpr char kPathNameTail[] = "' ;";
// + new parent + kPathMoveParentMid + old parent + kPathNameMid + new name + kPathNameTail
inline constexpr char kPathMoveHead[] = "update tb_path_info Set iParentID = ";
inline constexpr char kPathMoveParentMid[] = " where iParentID = ";
// + escaped new prefix + kPathPrefixCutMid + n + kPathPrefixLikeMid + escaped old prefix
// + kPathPrefixTail
inline constexpr char kPathPrefixHead[] = "update tb_path_info set strFullPath = '";
inline constexpr char kPathPrefixCutMid[] = "' || substr(strFullPath, ";
inline constexpr char kPathPrefixLikeMid[] = ") where strFullPath like '";
inline constexpr char kPathPrefixTail[] = "%';";

// ---------------------------------------------------------------- shared tails
// The deletes of everything under a folder end so: metadata rows, then the others.
inline constexpr char kTreeDeleteMetaTail[] = "%') ); ";
inline constexpr char kTreeDeleteRowsTail[] = "%'); ";
// The deletes of metadata rows not seen since the run began end so.
inline constexpr char kStaleDeleteMetaTail[] = "); ";

// ---------------------------------------------------------------- generic mapper
// "Delete from " + table + " where " + id column + " = " + id + " ;"
inline constexpr char kDeleteByIdHead[] = "Delete from ";
// "Select * from  " + table + " where " + id column + " = " + id + " LIMIT 1;"
inline constexpr char kSelectByIdHead[] = "Select * from  ";
inline constexpr char kWhere[] = " where ";
inline constexpr char kEquals[] = " = ";
inline constexpr char kDeleteByIdTail[] = " ;";
inline constexpr char kSelectByIdTail[] = " LIMIT 1;";

}  // namespace sqltext
