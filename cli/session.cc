#include "cli/session.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "cli/output.h"
#include "picdex/host_index.h"
#include "picdex/host_paths.h"

namespace cli {

namespace {

// The first 16 bytes of every SQLite 3 database file.
constexpr char kSqliteHeader[] = "SQLite format 3";  // and its terminating zero

bool MakeFolders(const std::string& folder, std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        *error = "cannot make the folder '" + folder + "': " + ec.message();
        return false;
    }
    return true;
}

}  // namespace

bool LooksLikeIndex(const std::string& path, std::string* why) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        *why = std::strerror(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        *why = "it is a folder";
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *why = "it is not a regular file";
        return false;
    }
    if (st.st_size == 0) return true;  // SQLite makes a database of an empty file
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *why = std::strerror(errno);
        return false;
    }
    char head[16] = {};
    ssize_t got = read(fd, head, sizeof head);
    close(fd);
    if (got != ssize_t(sizeof head) || std::memcmp(head, kSqliteHeader, sizeof head) != 0) {
        *why = "it is not an index file (no SQLite database)";
        return false;
    }
    return true;
}

Session::~Session() {
    if (service_) {
        try {
            service_->Shutdown();
        } catch (...) {
        }
    }
}

bool Session::Open(const std::string& dbOption, IndexUse use) {
    path_ = AbsoluteHostPath(DefaultDbPath(dbOption));
    struct stat st {};
    bool exists = stat(path_.c_str(), &st) == 0;
    if (!exists) {
        if (use == IndexUse::kRead) {
            PrintError("no index at '" + path_ +
                       "' (make one with 'picdex index FOLDER', or name another with --db)");
            return false;
        }
        std::string error;
        std::string folder = std::filesystem::path(path_).parent_path().string();
        if (!folder.empty() && !MakeFolders(folder, &error)) {
            PrintError(error);
            return false;
        }
        created_ = true;
    } else {
        std::string why;
        if (!LooksLikeIndex(path_, &why)) {
            PrintError("cannot use '" + path_ + "' as the index: " + why +
                       "; the file was left as it is");
            return false;
        }
    }
    ISearchBuss* service = ISearchBuss::GetInstance();
    int opened = 0;
    std::string detail;
    try {
        opened = service->Initialize(picdex::Utf8ToText(path_), CString(), CString(), 0);
    } catch (...) {
        detail = picdex::DescribeCurrentException();
    }
    if (!opened) {
        // Whatever the library opened before it failed is closed again.
        try {
            service->Shutdown();
        } catch (...) {
        }
        if (created_) {
            // Only a file this call made (and the library left empty) is taken away.
            struct stat made {};
            if (stat(path_.c_str(), &made) == 0 && made.st_size == 0) unlink(path_.c_str());
        }
        PrintError("cannot open the index '" + path_ + "'" +
                   (detail.empty() ? std::string() : ": " + detail) +
                   (created_ ? "" : "; the file was left as it is (it may be damaged)"));
        return false;
    }
    service_ = service;
    return true;
}

IndexLock::~IndexLock() {
    if (fd_ >= 0) close(fd_);  // closing releases the lock
}

bool IndexLock::TryLock(const std::string& dbPath, bool* busy, std::string* error) {
    *busy = false;
    std::string lockPath = dbPath + ".lock";
    int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = "cannot make the lock file '" + lockPath + "': " + std::strerror(errno);
        return false;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int e = errno;
        close(fd);
        if (e == EWOULDBLOCK) {
            *busy = true;
            return false;
        }
        *error = "cannot lock '" + lockPath + "': " + std::strerror(e);
        return false;
    }
    fd_ = fd;
    return true;
}

}  // namespace cli
