// The fields of a file-detail record as picdex info shows them: in record order (the
// file, EXIF, IPTC and GPS parts, then the folder), named as the records name them.
#pragma once

#include <vector>

#include "db/records.h"
#include "picdex/file_info.h"

void ListRecordFields(const _tagFileDetail& detail, std::vector<picdex::FileField>& fields);
