// CFileDao: the mapper of tb_file_info rows, with the lookup of a file by its folder
// and name. Same rules as obj_dao: false without an open manager; statement failures
// are thrown.
#pragma once

#include "db/obj_dao.h"

class CFileDao : public obj_dao<_tagFileInfo> {
public:
    // Reads the row of (rec.iPathID, rec.strFileName) into `rec`; false when none.
    bool GetByName(_tagFileInfo& rec);
};
