#include "db/schema.h"

#include "db/sql_texts.h"

namespace schema {

using namespace sqltext;

const std::array<const char*, 2> kOnOpen = {kConfigCreateTable, kConfigCreateIndex};

const std::array<const char*, 33> kCreateAll = {
    kConfigCreateTable,
    kConfigCreateIndex,
    kHistoryCreateTable,
    kPathTaskCreateTable,
    kPathTaskCreateIndex,
    kNtfsTaskCreateTable,
    kNtfsTaskCreateIndex,
    kExifCreateTable,
    kMonthCreateTable,
    kMonthCreateIndexTime,
    kMonthCreateIndexPath,
    kMonthCreateIndexPathTime,
    kFileCreateTable,
    kFileCreateIndexPathName,
    kFileCreateIndexExif,
    kFileCreateIndexGps,
    kFileCreateIndexIptc,
    kFileCreateIndexMd5,
    kFileCreateIndexModify,
    kFileCreateIndexPath,
    kFileCreateIndexName,
    kFileCreateIndexSnap,
    kGpsCreateTable,
    kIptcCreateTable,
    kFilterCreateTable,
    kFilterCreateIndexPath,
    kFilterCreateIndexType,
    kPathCreateTable,
    kPathCreateIndexParentName,
    kPathCreateIndexParent,
    kPathCreateIndexModify,
    kPathCreateIndexSearch,
    kPathCreateIndexFullPath,
};

const std::array<const char*, 19> kVersion3Indexes = {
    kExifIndexId,       kExifIndexModel,   kExifIndexMaker, kExifIndexTime, kMonthIndexId,
    kFileIndexId,       kFileIndexPathId,  kFileIndexExt,   kFileIndexSize, kGpsIndexId,
    kGpsIndexLongitude, kGpsIndexLatitude, kIptcIndexId,    kIptcIndexCity, kIptcIndexTitle,
    kIptcIndexClass,    kIptcIndexWriter,  kFilterIndexId,  kPathIndexId,
};

}  // namespace schema
