// Listing the picture files of one drive by the route the background scan takes: the
// master file table of an NTFS volume whose device can be read, a walk of the folders
// for every other drive. For hosts that want to show what a scan would find.
//
// A DriveLister is used from one thread, except Stop and Progress, which any thread
// may call while Run is going. Nothing here throws or prints.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "picdex/export.h"
#include "picdex/types.h"

namespace picdex {

// One picture file. The texts are valid only during the callback.
struct DrivePicture {
    const CString* folder;   // its folder, in the library's form with a trailing backslash
    const CString* name;     // the file name
    ULONGLONG size;          // bytes
    std::int64_t lastWrite;  // seconds since 1970-01-01 00:00:00 UTC
};

enum class DriveRoute {
    kMasterFileTable,  // the NTFS volume is read directly from its device
    kFolderWalk,       // folder by folder
};

enum class DriveListError {
    kNone,
    kUnknownDrive,      // the letter is not in the drive table
    kMissingFolder,     // the drive's host folder does not exist
    kDeviceUnreadable,  // an NTFS drive whose device is missing or cannot be opened
    kNotNtfs,           // the device opens but holds no usable NTFS volume
};

struct DriveListProgress {
    DriveRoute route = DriveRoute::kFolderWalk;
    bool buildingPaths = false;  // the MFT has been read; folder paths are being built
    long recordsSeen = 0;        // MFT records with a name examined so far
    long picturesFound = 0;      // MFT: pictures kept so far; walk: pictures listed
    long foldersWalked = 0;
};

class PICDEX_API DriveLister {
public:
    DriveLister();
    ~DriveLister();
    DriveLister(const DriveLister&) = delete;
    DriveLister& operator=(const DriveLister&) = delete;

    // Chooses the route for drive `letter` (A-Z) and, for an NTFS drive, opens its device
    // and reads its boot sector. False when the drive cannot be listed: *error gets one
    // line naming the drive and the cause, *code the kind.
    bool Open(wchar_t letter, std::string* error, DriveListError* code = nullptr);
    DriveRoute Route() const;
    // A remark on the route, "" when there is none: set when a drive on an NTFS driver
    // is walked folder by folder because its device cannot be read (the user has no
    // right to read it, for example).
    const std::string& Note() const;

    using FoundFn = void (*)(const DrivePicture& picture, void* context);
    // Lists the drive opened last, calling `found` once per picture on this thread.
    // False when Open failed or Stop was called.
    bool Run(FoundFn found, void* context);
    // Ends Run early; from any thread.
    void Stop();
    DriveListProgress Progress() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace picdex
