// The schema of the index database: the ordered list of creation statements (tables
// and their idx_ indexes), the ordered list of ind_ indexes added by version 3, and
// the versions. The statements themselves live in sql_texts.h, by table.
//
// Every statement uses IF NOT EXISTS, so running a list again on an existing schema
// changes nothing. The lists are constant and may be read from any thread.
#pragma once

#include <array>

namespace schema {

// The version that a database reaches at start-up.
constexpr int kCurrentVersion = 3;
// The configuration key under which the version is stored.
inline constexpr wchar_t kVersionKey[] = L"DbVersion";

// Run on every open, right after the file is opened (the first two of kCreateAll).
extern const std::array<const char*, 2> kOnOpen;
// Run, in order, when the stored version is below 1.
extern const std::array<const char*, 33> kCreateAll;
// Run, in order, when the stored version is below 3.
extern const std::array<const char*, 19> kVersion3Indexes;

}  // namespace schema
