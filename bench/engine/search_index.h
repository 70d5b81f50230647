// A generated photo index for the search and statistics benchmarks: by default
// 1,000,000 files in 20,000 event folders (C:\Photos\<year>\<date> Event <n>\) over the
// 15 years 2008 to 2022, 50 files per folder, one camera per event. 90% of the events
// carry EXIF (8 cameras, ISO 100 to 3200), 10% IPTC (keywords, title, city, country),
// 20% GPS; every 100th file repeats the digest of the file before it (10,000 duplicate
// pairs). The schema is the library's own; the folder counters and the month rows are
// computed by the library's own maintenance statements.
//
// Rows are written with bound statements in one transaction (the save queue would take
// hours for a million files); the file is kept and reused while its marker matches.
#pragma once

#include <string>

namespace benchindex {

struct Options {
    int files = 1000000;
    int folders = 20000;
    int firstYear = 2008;
    int years = 15;
};

// $TMPDIR/picdex-search-bench/index-<files>.db (or /tmp/...).
std::string DefaultPath(const Options& options);

// Makes sure the index exists at `path` with these options, generating it when it is
// missing or was made with other options. Progress goes to standard error. False on
// failure (with a message on standard error).
bool EnsureIndex(const std::string& path, const Options& options);

}  // namespace benchindex
