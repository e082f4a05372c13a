#pragma once
// Loader for pcapng files: a sequence of blocks grouped in sections. Each section opens
// with a Section Header Block and carries Interface Description Blocks, packet blocks
// (enhanced, simple and the obsolete packet block) and the auxiliary name resolution,
// interface statistics and decryption secrets blocks.
//
// Sections written on big-endian machines are decoded: the byte-order magic of every
// section header decides how the fields of that section are read.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "loader/pcapng_structures.h"
#include "loader/traceloader.h"

namespace morwick {

class tPCAPNGLoader : public tTraceLoader {
public:
    // Smallest possible block: type, total length and the trailing length.
    static constexpr int64_t MinBlockSize = 12;
    // Unknown block types in a row that ReadMasterBlocks accepts before it gives up.
    static constexpr int32_t MaxUnknownBlocksInRow = 9;

    tPCAPNGLoader(std::string Filename, int32_t FileIndex, bool OwnsInterfacelist);

    tCaptureFileType FileFormat() const override { return cfPCAPng; }
    // pcapng has no fixed record layout: always tAssertionError "Abstract Error".
    std::optional<tRawFrame> ParseFrameFromOffset(int64_t FrameIndex, int64_t& FileOffset) override;
    // Reads the section header and the interface, name resolution and other blocks that
    // precede the first packet block.
    void readTraceFileheader() override;
    void readBatchFromDisk() override;
    std::optional<tRawFrame> readSingleFrameFromDisk(int64_t FrameIndex) override;
    std::optional<tRawFrame> readSingleFrameByOffset(int64_t Offset, int64_t FrameIndex) override;
    // The last Enhanced Packet Block of the file, found from the end backwards by the
    // trailing block lengths; it gets frame number 1.
    std::optional<tRawFrame> readLastFrameFromDisk();

    // Reads the blocks that precede the packets of a section, starting at the read
    // position.
    void ReadMasterBlocks();
    // Turns a pcapng time stamp of the given interface resolution into frame timing
    // (local time unless UTCDelta or KeepUTCTime says otherwise). tInOutError for an
    // unknown resolution or a time stamp no date can hold.
    tTimingDetails getPCAPNGTiming(uint8_t Resolution, uint64_t Timestamp);

    // ---- properties ----
    bool ByteSwappedFile() const { return priv_ByteSwappedFile; }
    int32_t SectionCount() const { return priv_SecHdrCount; }
    int32_t InterfaceModifier() const { return priv_interfacemodifier; }
    int32_t SectionInterfaceCount() const { return InterfaceCount; }
    uint16_t MajorVersion() const { return priv_majorversion; }
    uint16_t MinorVersion() const { return priv_minorversion; }
    uint32_t ByteOrderMagic() const { return priv_byteordermagic; }
    uint64_t SectionLength() const { return priv_sectionlength; }
    bool SkippingSection() const { return priv_skipsection; }
    bool KeepUTCTime() const { return priv_keepUTCTime; }
    void SetKeepUTCTime(bool value) { priv_keepUTCTime = value; }
    int32_t FramesDropped() const { return iFramesDropped; }
    int32_t TotalFramesDropped() const { return iTotalFramesDropped; }
    const tNGInterfaceResolutionList& InterfaceResolutions() const { return priv_interfaceResList; }
    const tSimpleIPv4NameResolutionList& NameResolutionManagerIPv4() const { return IPv4NameResolutionMgr; }
    const tSimpleIPv6NameResolutionList& NameResolutionManagerIPv6() const { return IPv6NameResolutionMgr; }

private:
    struct tBlockHeader {
        uint32_t Type = 0;
        uint64_t TotalLength = 0;
    };
    enum class tBlockRead : uint8_t { brDone, brIncomplete };

    uint16_t priv_U16(int64_t offset) const;
    uint32_t priv_U32(int64_t offset) const;
    uint64_t priv_U64(int64_t offset) const;
    // Type and total length of the block at offset (8 bytes must be left). A section
    // header's length is read in the byte order its own magic announces.
    tBlockHeader priv_BlockHeaderAt(int64_t offset) const;
    // False (with a message and lsGeneralError) when a block length cannot even hold
    // the block's frame: reading on would not move forward.
    bool priv_CheckBlockLength(const tBlockHeader& header, int64_t offset);
    // Steps over a block that is not read; false (lsIncompleteFile, with a message) when
    // the block runs past the end of the file.
    bool priv_PassOver(const tBlockHeader& header, int64_t offset);
    void priv_Incomplete(std::string_view text, std::string_view location, int64_t frameIndex = 0);
    std::optional<uint64_t> priv_WholePacketBlock(int64_t Offset, uint64_t MinSize, std::string_view ShortText,
                                                  std::string_view Location, int64_t FrameIndex);

    void readSectionBlockHeader();
    void readInterfaceDescriptionHeader();
    tNGNRBParsedValues readNameResolutionBlockHeader();
    std::unique_ptr<tStatisticsRecord> readInterfaceStatisticsBlock();
    tSecretsRecord readDecryptionSecretsBock();
    std::optional<tRawFrame> readEnhancedPacketBlock(int64_t FrameIndex);
    std::optional<tRawFrame> readPacketBlock(int64_t FrameIndex);
    std::optional<tRawFrame> readSimplePacketBlock(int64_t FrameIndex);
    // Reads the packet block at the read position with the reader for its type.
    std::optional<tRawFrame> priv_ReadPacketByType(uint32_t type, int64_t FrameIndex);
    void DoSanityCheck(tWireDetails& wire, int64_t FrameIndex);
    // Times of a statistics option: the halves high then low, else swapped.
    bool priv_StatisticsTime(uint8_t resolution, int64_t offset, tTimingDetails& out, bool start);

    bool priv_ByteSwappedFile = false;
    int32_t priv_SecHdrCount = 0;
    int32_t priv_interfacemodifier = 0;
    int32_t priv_NRHdrCount = 0;
    bool priv_skipsection = false;
    uint16_t priv_majorversion = 0;
    uint16_t priv_minorversion = 0;
    uint32_t priv_byteordermagic = 0;
    uint64_t priv_sectionlength = 0;
    bool priv_keepUTCTime = false;
    tNGInterfaceResolutionList priv_interfaceResList;
    tSimpleIPv4NameResolutionList IPv4NameResolutionMgr;
    tSimpleIPv6NameResolutionList IPv6NameResolutionMgr;
};

// What the loader factory calls for a pcapng file.
std::unique_ptr<tTraceLoader> CreatePCAPNGLoader(const std::string& FileName, int32_t FileIndex,
                                                 bool OwnsInterfacelist);

}  // namespace morwick
