// Test helpers for the NTFS reader: making real volume images from folder trees (with
// ntfs_make_image.sh, mkntfs and wimlib-imagex) and patching the bytes of an image
// where no tool can make a case (a deleted record, a name in the short namespace, a
// parent that loops, an MFT whose runs go backwards, damaged structures).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ntfstest {

// Runs the image script: a copy of `tree` in a fresh NTFS volume of `sizeMiB` MiB with
// clusters of `cluster` bytes, written to `image`. False (and *log gets the script's
// output) on failure.
bool MakeImage(const std::string& tree, const std::string& image, int sizeMiB, int cluster,
               std::string* log = nullptr);

// Sets a file's last-write time (seconds since 1970, UTC).
void SetModifyTime(const std::string& path, std::int64_t seconds);

// Little-endian fields.
std::uint16_t Get16(const std::uint8_t* p);
std::uint32_t Get32(const std::uint8_t* p);
std::uint64_t Get64(const std::uint8_t* p);
void Put16(std::uint8_t* p, std::uint16_t v);
void Put32(std::uint8_t* p, std::uint32_t v);
void Put64(std::uint8_t* p, std::uint64_t v);

struct MftRun {
    std::int64_t lcn;
    std::uint64_t clusters;
};

// Encodes data runs (each offset relative to the previous run), ending with a zero.
std::vector<std::uint8_t> EncodeRuns(const std::vector<MftRun>& runs);

// An NTFS image in memory. Records are addressed by their MFT index and read and
// written through the MFT's runs, so a record may straddle clusters and runs. Records
// come out fixed up and go back in protected by their update sequence.
class NtfsImage {
public:
    bool Load(const std::string& path);
    bool Save(const std::string& path) const;

    std::vector<std::uint8_t>& bytes() { return m_bytes; }
    std::uint32_t clusterSize() const { return m_cluster; }
    std::uint32_t recordSize() const { return m_record; }
    const std::vector<MftRun>& mftRuns() const { return m_runs; }
    std::uint64_t recordCount() const;

    std::vector<std::uint8_t> Record(std::uint64_t index) const;
    void PutRecord(std::uint64_t index, std::vector<std::uint8_t> record);

    // The index of the in-use record with a $FILE_NAME equal to `utf8`, or -1.
    std::int64_t FindRecord(const std::string& utf8) const;
    // Finds the record named `utf8`, lets `edit` change it (fixed up) and writes it
    // back. Returns its record number (from its header), or -1 when there is none.
    template <typename Edit>
    std::int64_t EditRecord(const std::string& utf8, Edit&& edit) {
        std::int64_t i = FindRecord(utf8);
        if (i < 0) return -1;
        std::vector<std::uint8_t> rec = Record(std::uint64_t(i));
        std::int64_t number = Get32(&rec[0x2C]);
        edit(rec);
        PutRecord(std::uint64_t(i), rec);
        return number;
    }
    // The offset in a fixed-up record of its n-th attribute of `type`, or -1.
    static long FindAttribute(const std::vector<std::uint8_t>& record, std::uint32_t type,
                              int nth = 0);

    // Rewrites record 0's $DATA runs (and the boot sector's MFT cluster when the first
    // run moves). The attribute grows when the new runs need more room.
    bool SetMftRuns(const std::vector<MftRun>& runs);
    // Moves the MFT's clusters so that its first run becomes two: its first `clusters`
    // clusters go to the end of the run's area and the rest to its start. The MFT then
    // begins with a run whose successor lies before it (a negative offset).
    bool SplitFirstRunBackwards(std::uint64_t clusters);
    // Moves the runs of record `index`'s $DATA after its first `keep` ones (all of
    // them and the sizes when `keep` is 0) into a free record, an extension record of
    // `index`, and gives `index` an attribute list naming it. Returns the free record's
    // index, or -1.
    std::int64_t SpillData(std::uint64_t index, std::size_t keep);

private:
    bool Locate(std::uint64_t streamOffset, std::uint64_t* imageOffset,
                std::uint64_t* contiguous) const;
    bool StreamIo(std::uint64_t offset, std::uint8_t* data, std::size_t length, bool write);
    bool ReadRuns();

    std::vector<std::uint8_t> m_bytes;
    std::uint32_t m_cluster = 0;
    std::uint32_t m_record = 0;
    std::uint64_t m_mftBytes = 0;
    std::vector<MftRun> m_runs;
};

}  // namespace ntfstest
