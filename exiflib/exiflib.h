// The metadata reader of JPEG files, in one include: byte streams, marker segments and
// their manager, TIFF/EXIF directories, IPTC datasets and the vendor maker segment.
// Call InitExifLib() once before the first CAppSegMgr::Parse.
#pragma once

#include "exiflib/appsegmgr.h"
#include "exiflib/ifd.h"
#include "exiflib/ifd_entry.h"
#include "exiflib/ifd_reader.h"
#include "exiflib/ifd_seg.h"
#include "exiflib/io.h"
#include "exiflib/iptc.h"
#include "exiflib/jfif.h"
#include "exiflib/memio.h"
#include "exiflib/qv.h"
#include "exiflib/registry.h"
#include "exiflib/segment.h"
