#pragma once
// Loader for classic pcap files: a 24-byte global header followed by records of a
// record header and the captured bytes. Both byte orders, micro- and nanosecond time
// stamps and the "modified" layout with 24-byte record headers are read.
#include <cstdint>
#include <optional>
#include <string>

#include "loader/traceloader.h"

namespace morwick {

class tPCAPLoader : public tTraceLoader {
public:
    static constexpr int64_t GlobalHeaderSize = 24;
    static constexpr int64_t RecordHeaderSize = 16;
    static constexpr int64_t ModifiedRecordHeaderSize = 24;

    tPCAPLoader(std::string Filename, int32_t FileIndex, bool OwnsInterfacelist);

    tCaptureFileType FileFormat() const override { return cfPCAP; }
    std::optional<tRawFrame> ParseFrameFromOffset(int64_t FrameIndex, int64_t& FileOffset) override;
    void readTraceFileheader() override;
    void readBatchFromDisk() override;
    std::optional<tRawFrame> readSingleFrameFromDisk(int64_t FrameIndex) override;
    std::optional<tRawFrame> readSingleFrameByOffset(int64_t Offset, int64_t FrameIndex) override;

    uint16_t MajorVersion() const { return wMajorVersion; }
    uint16_t MinorVersion() const { return wMinorVersion; }
    uint32_t SnapLength() const { return lSnapLength; }
    uint32_t NetworkType() const { return lNetworkType; }
    bool ModifiedFileFormat() const { return boModifiedFileFormat; }
    bool ByteSwappedFile() const { return boByteSwappedFile; }
    bool AIXFile() const { return boAIXFile; }
    const tGUID& PacketLinkID() const { return priv_PacketLinkID; }

    // Link type of a header network type: version 2.2 files use their own numbering.
    static uint32_t LinkTypeOfNetworkType(uint32_t NetworkType, bool AIXFile);

private:
    int64_t priv_RecordHeaderSize() const {
        return boModifiedFileFormat ? ModifiedRecordHeaderSize : RecordHeaderSize;
    }
    uint32_t priv_Read32(const uint8_t* p) const;
    uint16_t priv_Read16(const uint8_t* p) const;

    uint16_t wMajorVersion = 0;
    uint16_t wMinorVersion = 0;
    uint32_t lSnapLength = 0;
    uint32_t lNetworkType = 0;
    bool boModifiedFileFormat = false;
    bool boByteSwappedFile = false;
    bool boAIXFile = false;
    tGUID priv_PacketLinkID;
    // Captured length as the last parsed record states it: the bytes that follow its
    // record header in the file, also when the frame was given fewer.
    uint32_t priv_StoredCaptureSize = 0;
};

}  // namespace morwick
