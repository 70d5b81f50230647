// The field search at the command line: English names for the library's searchable
// fields, and "NAME OP VALUE" expressions turned into search conditions after checking
// that the library can search for the value (the library writes values into its SQL as
// they are, so a value it cannot search for would silently find nothing).
#pragma once

#include <list>
#include <string>
#include <vector>

#include "picdex/search_types.h"
#include "picdex/types.h"

namespace cli {

// How a field's value is written at the command line.
enum class FieldKind {
    kText,      // any text without a single quote
    kInteger,   // a whole number
    kBytes,     // a whole number of bytes, with an optional K, M or G (1024-based)
    kFraction,  // compared as a whole number: N, or A/B that divides evenly
    kTime,      // YYYY, YYYY-MM, YYYY-MM-DD or YYYY-MM-DD HH:MM[:SS], local time
    kDegrees,   // decimal degrees, north and east positive (stored in arc seconds)
};

struct FieldName {
    const char* name;  // as typed, lower case
    int id;            // the library's field id
    FieldKind kind;
    const char* what;  // one line for --fields
};

// Every field that can be searched from the command line, in listing order.
const std::vector<FieldName>& FieldNames();
// The field of that name (any letter case), or null.
const FieldName* FindField(const std::string& name);
// The word shown for a kind in --fields ("text", "number", ...).
const char* KindWord(FieldKind kind);

// One expression such as "iso>=400", "make~canon", "taken>=2019-05-01" or
// "keyword=beach" as conditions appended to `out` (a time compared with = or ~ becomes
// two: from the first to the last second the value covers). Operators: = ~ (contains)
// > >= < <=. False with *error saying what is wrong and why.
bool ParseWhere(const std::string& expression, std::list<_tagSearchCondition>* out,
                std::string* error);

// False with *error when `text` holds a single quote: the index puts texts into its
// statements as they are, and a quote would end them early.
bool QuoteFree(const std::string& text, std::string* error);

// A --path text as the library compares it with full paths: host paths ("/...", "~/",
// "./", "../") become library paths, other '/' become '\'. False with *error when the
// text holds a single quote or a host path lies on no drive.
bool PathText(const std::string& text, CString* out, std::string* error);

// The first and last second that a date text covers, as the index writes times
// ("2019-05-01 00:00:00"). False when the text is not a valid date of one of the
// forms of FieldKind::kTime.
bool DateRange(const std::string& text, std::string* first, std::string* last);

}  // namespace cli
