// The APP13 "Photoshop 3.0" segment: its image resources are searched for the IPTC-NAA
// resource (id 0x0404), whose IIM datasets are kept in a map from the 2-byte key
// (record number, dataset number) to the dataset's bytes, iterated in key order.
//
// The factory always yields a CIptc (empty when there is no readable IPTC resource) and
// null only when memory runs out. Datasets of length 0 are not kept; a repeated key keeps
// its last dataset. Nothing here throws.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "exiflib/segment.h"

namespace ExifLib {

// Finds the IPTC resource among the resource blocks of a body of `bodyLength` bytes that
// starts at the stream's position. 0: found (the stream stands at its data and `size` is
// its length); 3: not found; -2: a read failed or a length runs past the body.
int FindIptcResource(IIO* io, int bodyLength, unsigned int& size);

class CIptc : public CSpecAppSeg {
public:
    // Keys are two bytes: record number, dataset number (compared as unsigned bytes).
    using DatasetMap = std::map<std::string, std::string>;

    CIptc() = default;
    ~CIptc() override = default;

    static IMarkerSegment* Create(IIO* io, unsigned short bodyLength);

    BYTE GetMarker() override { return 0xED; }
    // The size of the IPTC data + 30.
    int GetLength() override { return m_nLength; }
    // The identifier, one resource block 0x0404 with an empty name, the datasets in key
    // order (zero-padded to the size of the IPTC data) and two zero bytes. False when the
    // segment would not fit its 16-bit length.
    bool Write(IIO* out) override;
    void GetIdentifier(std::vector<BYTE>& out) override;

    // Reads the datasets of `size` bytes of IIM data at the stream's position, and takes
    // `size` as the size of the IPTC data. False when a read failed; the datasets read
    // until then are kept.
    bool ParseDatasets(IIO* io, unsigned int size);

    const DatasetMap& GetDatasets() const { return m_mapDatasets; }
    // The bytes of a dataset, or null.
    const std::string* GetDataset(BYTE record, BYTE dataset) const;
    // Sets (or with empty data removes) a dataset; the size of the IPTC data becomes the
    // bytes the datasets take.
    void SetDataset(BYTE record, BYTE dataset, const std::string& data);
    static std::string MakeKey(BYTE record, BYTE dataset);

    // The size of the IPTC data: as found in the file for a segment that was read (which
    // may hold more than the datasets kept), else the bytes the datasets take (each 5
    // header bytes and its data). 0 when no IPTC data was found.
    DWORD GetDataSize() const { return m_dwSize; }

private:
    void SetSize(std::uint64_t size);
    std::uint64_t GetDatasetBytes() const;
    void UpdateSizes();

    DatasetMap m_mapDatasets;
    DWORD m_dwSize = 0;
    int m_nLength = 30;
};

}  // namespace ExifLib
