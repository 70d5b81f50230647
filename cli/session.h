// The index a command works on: where it is, opening it through the service object
// (and closing it again), and the lock that lets one `picdex index` run at a time.
#pragma once

#include <string>

#include "picdex/search_buss.h"

namespace cli {

enum class IndexUse {
    kRead,    // the index must exist already (search, stats, dupes, forget, mv)
    kCreate,  // a missing index is created, with its folder (index, scope)
};

// An open index. Open prints its own one-line error; the destructor shuts the service
// down (which commits and closes the database).
class Session {
public:
    Session() = default;
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // `dbOption` is the --db value ("" when not given). False after printing why: a
    // missing index for kRead, a folder that cannot be made, a file that is not an
    // index (it is left as it is), an index the library cannot open.
    bool Open(const std::string& dbOption, IndexUse use);
    // True when the index file did not exist before Open made it.
    bool Created() const { return created_; }
    const std::string& Path() const { return path_; }
    ISearchBuss* operator->() const { return service_; }
    ISearchBuss* Service() const { return service_; }

private:
    std::string path_;
    ISearchBuss* service_ = nullptr;
    bool created_ = false;
};

// Checks, without opening it through SQLite, that an existing file can be an index: it
// is a regular file that is empty or starts with the SQLite header. False with *why.
bool LooksLikeIndex(const std::string& path, std::string* why);

// The lock that one running `picdex index` holds on an index (a lock file beside it,
// released by the system when the process ends, also when it is killed).
class IndexLock {
public:
    IndexLock() = default;
    ~IndexLock();
    IndexLock(const IndexLock&) = delete;
    IndexLock& operator=(const IndexLock&) = delete;
    // False when another process holds it (*busy set) or the lock file cannot be made
    // (*busy clear, *error set).
    bool TryLock(const std::string& dbPath, bool* busy, std::string* error);

private:
    int fd_ = -1;
};

}  // namespace cli
