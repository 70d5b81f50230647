// DriveLister (picdex/drive_list.h): a drive's pictures through the NTFS reader when
// the drive is an NTFS volume with a readable device, through the folder listing
// otherwise, as the background scan chooses.
#include <cerrno>
#include <cstring>
#include <set>
#include <vector>

#include "picdex/drive_list.h"
#include "picdex/sync.h"
#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/raw_volume.h"
#include "scan/common_func.h"
#include "scan/ntfs_reader.h"

namespace picdex {

namespace {

constexpr ULONGLONG kFileTimeTicksPerSecond = 10000000;
constexpr std::int64_t kFileTimeEpochSeconds = 11644473600;  // 1601-01-01 to 1970-01-01

bool IsNtfsDriverName(const std::string& fs) {
    return fs == "ntfs" || fs == "ntfs3" || fs == "ntfs-3g" || fs == "fuse.ntfs-3g" ||
           fs == "fuseblk";
}

std::string DriveName(wchar_t letter) {
    return std::string(1, char(letter)) + ":";
}

}  // namespace

struct DriveLister::Impl {
    wchar_t letter = 0;
    bool opened = false;
    DriveRoute route = DriveRoute::kFolderWalk;
    std::string note;
    CNtfsReader reader;
    std::atomic<bool> stopped{false};
    CEvent stopEvent;
    InterlockedLong foldersWalked{0};
    InterlockedLong picturesListed{0};
    FoundFn found = nullptr;
    void* context = nullptr;
    CString folder;  // scratch for the callback
    CString name;

    static void OnEntry(_tagMftEntry* e, int, void* p) {
        Impl* self = static_cast<Impl*>(p);
        if (self->stopped) {
            self->reader.m_bKeepReading = 0;
            return;
        }
        self->folder = e->szFolderPath;
        if (self->folder.empty() || self->folder.back() != L'\\') self->folder += L'\\';
        self->name = e->szName;
        // FILETIME counts 100 ns from 1601; a time before 1970 gives a negative count.
        std::int64_t seconds =
            std::int64_t(e->nLastModifyTime / kFileTimeTicksPerSecond) - kFileTimeEpochSeconds;
        DrivePicture pic{&self->folder, &self->name, e->nFileSize, seconds};
        self->picturesListed.fetch_add(1, std::memory_order_relaxed);
        self->found(pic, self->context);
    }

    // Between reads: a stop that came before the reader began is honoured here too.
    static void OnChunk(void* p) {
        Impl* self = static_cast<Impl*>(p);
        if (self->stopped) self->reader.m_bKeepReading = 0;
    }

    void Walk() {
        // Depth first, each folder's sub-folders in name order.
        std::vector<CString> pending{CString(1, letter) + L":\\"};
        while (!pending.empty() && !stopped) {
            CString current = std::move(pending.back());
            pending.pop_back();
            std::set<_tagSimpleFileInfo> pictures;
            std::set<CString> subFolders;
            CCommonFunc::EnumFolderChild(current, pictures, subFolders, stopEvent);
            foldersWalked.fetch_add(1, std::memory_order_relaxed);
            for (const _tagSimpleFileInfo& f : pictures) {
                if (stopped) return;
                DrivePicture pic{&current, &f.strFileName, f.iFileSize, f.tFileModify.GetTime()};
                picturesListed.fetch_add(1, std::memory_order_relaxed);
                found(pic, context);
            }
            for (auto it = subFolders.rbegin(); it != subFolders.rend(); ++it) {
                CString sub = *it;
                CCommonFunc::CheckFolderName(sub);
                pending.push_back(std::move(sub));
            }
        }
    }
};

DriveLister::DriveLister() : m_impl(new Impl) {}

DriveLister::~DriveLister() = default;

bool DriveLister::Open(wchar_t letter, std::string* error, DriveListError* code) {
    Impl& m = *m_impl;
    m.opened = false;
    m.note.clear();
    m.route = DriveRoute::kFolderWalk;
    auto fail = [&](DriveListError kind, const std::string& text) {
        if (error) *error = text;
        if (code) *code = kind;
        return false;
    };
    if (letter >= L'a' && letter <= L'z') letter = wchar_t(letter - 32);
    plat::DriveInfo drive;
    if (letter < L'A' || letter > L'Z' || !plat::FindDrive(letter, drive))
        return fail(DriveListError::kUnknownDrive,
                    "drive " + DriveName(letter) + " is not in the drive table (PICDEX_DRIVES)");
    m.letter = letter;
    const wchar_t root[4] = {letter, L':', L'\\', 0};
    if (GetDriveTypeW(root) == DRIVE_NO_ROOT_DIR)
        return fail(DriveListError::kMissingFolder, "drive " + DriveName(letter) + " its folder " +
                                                        drive.hostFolder + " does not exist");
    wchar_t fsName[64] = {};
    std::string fs;
    if (GetVolumeInformationW(root, fsName, 64)) fs = plat::WideToMultiByte(CP_UTF8, fsName);

    std::string device;
    if (fs == "NTFS") {
        int err = plat::ProbeRawVolume(letter, &device);
        if (err == ENODEV)
            return fail(DriveListError::kDeviceUnreadable,
                        "drive " + DriveName(letter) +
                            " is NTFS but has no device to read: give it device= in the drive "
                            "table, or map it to the folder where the volume is mounted");
        if (err == EACCES || err == EPERM)
            return fail(DriveListError::kDeviceUnreadable,
                        "drive " + DriveName(letter) + " you have no right to read its device " +
                            device + " (reading an NTFS volume directly needs read access to it)");
        if (err != 0)
            return fail(DriveListError::kDeviceUnreadable, "drive " + DriveName(letter) +
                                                               " cannot read its device " + device +
                                                               ": " + std::strerror(err));
        if (!m.reader.OpenVolume(char(letter)) || !m.reader.ReadBoot())
            return fail(DriveListError::kNotNtfs, "drive " + DriveName(letter) + " its device " +
                                                      device + " holds no readable NTFS volume");
        m.route = DriveRoute::kMasterFileTable;
    } else if (IsNtfsDriverName(fs)) {
        // The volume query calls such a drive NTFS only when its device can be read;
        // otherwise it is walked, and the user learns why.
        int err = plat::ProbeRawVolume(letter, &device);
        if (err == EACCES || err == EPERM)
            m.note = "drive " + DriveName(letter) +
                     " is an NTFS volume, but you have no right to read its device " + device +
                     "; it is listed folder by folder instead";
        else if (err != 0 && !device.empty())
            m.note = "drive " + DriveName(letter) + " is an NTFS volume, but its device " + device +
                     " cannot be read (" + std::strerror(err) + "); it is listed folder by folder";
    }
    m.opened = true;
    if (code) *code = DriveListError::kNone;
    return true;
}

DriveRoute DriveLister::Route() const {
    return m_impl->route;
}

const std::string& DriveLister::Note() const {
    return m_impl->note;
}

bool DriveLister::Run(FoundFn found, void* context) {
    Impl& m = *m_impl;
    if (!m.opened || !found) return false;
    m.opened = false;  // one run per Open: the reader's boot sector is used up
    if (CCommonFunc::GetPicExtFilter().empty()) CCommonFunc::InitPicExt({});
    m.found = found;
    m.context = context;
    m.foldersWalked = 0;
    m.picturesListed = 0;
    if (m.stopped) return false;
    if (m.route == DriveRoute::kMasterFileTable) {
        m.reader.m_pfnFound = &Impl::OnEntry;
        m.reader.m_pContext = &m;
        m.reader.m_pfnChunk = &Impl::OnChunk;
        m.reader.ReadAll();
    } else {
        m.Walk();
    }
    return !m.stopped;
}

void DriveLister::Stop() {
    Impl& m = *m_impl;
    m.stopped = true;
    m.reader.m_bKeepReading = 0;
    m.stopEvent.SetEvent();
}

DriveListProgress DriveLister::Progress() const {
    const Impl& m = *m_impl;
    DriveListProgress p;
    p.route = m.route;
    if (m.route == DriveRoute::kMasterFileTable) {
        p.buildingPaths = m.reader.m_bSecondPass != 0;
        p.recordsSeen = m.reader.m_nRecordsSeen;
        p.picturesFound = p.buildingPaths ? long(m.picturesListed) : long(m.reader.m_nPictureCount);
    } else {
        p.picturesFound = m.picturesListed;
    }
    p.foldersWalked = m.foldersWalked;
    return p;
}

}  // namespace picdex
