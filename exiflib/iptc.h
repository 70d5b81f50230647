// The APP13 "Photoshop 3.0" segment: its image resources are searched for the IPTC-NAA
// resource (id 0x0404), whose IIM datasets are kept in a map from the 2-byte key
// (record number, dataset number) to the dataset's bytes, iterated in key order.
//
// The factory always yields a CIptc (empty when there is no readable IPTC resource) and
// null only when memory runs out. Datasets of length 0 are not kept; a repeated key keeps
// its last dataset. Nothing here throws.
#pragma once

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
    int GetLength() override { return m_nLength; }
    // The identifier, one resource block 0x0404 with an empty name, the datasets in key
    // order, and two zero bytes that end the block on an even size. False when the segment
    // would not fit its 16-bit length.
    bool Write(IIO* out) override;
    void GetIdentifier(std::vector<BYTE>& out) override;

    // Reads the datasets of `size` bytes of IIM data at the stream's position. False when a
    // read failed; the datasets read until then are kept.
    bool ParseDatasets(IIO* io, unsigned int size);

    const DatasetMap& GetDatasets() const { return m_mapDatasets; }
    // The bytes of a dataset, or null.
    const std::string* GetDataset(BYTE record, BYTE dataset) const;
    // Sets (or with empty data removes) a dataset.
    void SetDataset(BYTE record, BYTE dataset, const std::string& data);
    static std::string MakeKey(BYTE record, BYTE dataset);

    // The bytes the datasets take when written (each 5 header bytes and its data).
    DWORD GetDataSize() const { return m_dwSize; }

private:
    void UpdateSizes();

    DatasetMap m_mapDatasets;
    DWORD m_dwSize = 0;
    int m_nLength = 30;
};

}  // namespace ExifLib
