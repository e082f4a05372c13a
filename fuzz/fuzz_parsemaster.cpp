// Fuzz target: one frame through the conversation store's frame intake (full parse) and
// through a parse master that stops after layer 4.
// Input: a 4-byte little-endian link type, then the captured bytes. A link type the
// parse master does not start from is mapped onto one it does, so every input reaches a
// parser.
#include <cstddef>
#include <cstdint>
#include <span>

#include "base/errors.h"
#include "base/rawframe.h"
#include "fuzz_common.h"
#include "parser/parsemaster.h"
#include "storage/conversationstorage.h"

namespace {

// The link types with a first header of their own, and one (0) that leaves the whole
// frame as payload.
constexpr uint32_t kLinkTypes[] = {1, 101, 113, 127, 178, 228, 0};

uint32_t ChooseLinkType(uint32_t Raw) {
    for (uint32_t t : kLinkTypes)
        if (t == Raw) return t;
    return kLinkTypes[Raw % (sizeof(kLinkTypes) / sizeof(kLinkTypes[0]))];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    using namespace morwick;
    if (Size < 4) return 0;
    const uint32_t raw = static_cast<uint32_t>(Data[0]) | static_cast<uint32_t>(Data[1]) << 8 |
                         static_cast<uint32_t>(Data[2]) << 16 | static_cast<uint32_t>(Data[3]) << 24;
    const std::span<const uint8_t> bytes(Data + 4, Size - 4);
    if (bytes.size() > MaxFrameCaptureSize) return 0;

    tTimingDetails timing;
    timing.AbsoluteTime = tDateTime::FromUnixSeconds(1'600'000'000);
    timing.TraceTicks = 12'345'678;
    tWireDetails wire;
    wire.LinkType = ChooseLinkType(raw);
    wire.CaptureSize = static_cast<uint32_t>(bytes.size());
    // Let the high bits of the link-type word also decide whether the frame was cut.
    wire.WireSize = wire.CaptureSize + ((raw >> 24) & 0x80 ? (raw >> 8) & 0xFFFF : 0);
    wire.FrameType = tftPCAP;
    tFileFrameLocation where;
    where.initialize(1, 1, 24);
    const tRawFrame frame(timing, wire, where, bytes);

    volatile uint64_t sink = 0;
    try {
        tConversationStorage store;
        store.AddFrame(frame);
        // The same frame again: merging into existing records takes other paths.
        store.AddFrame(frame);
        sink = sink + store.TCPConversations().size() + store.UDPConversations().size() +
               store.NameResolutions().size() + store.MACConversations().size();
    } catch (const tMorwickError&) {
        // The store may refuse a frame; the parse master itself must contain its errors.
    }

    tParseMaster master(frame, ppmUpToLayer4);
    for (int32_t i = 1; i <= master.ParserCount() + 1; ++i) {
        sink = sink + static_cast<uint64_t>(master.getParserTypeByIndex(i));
        sink = sink + static_cast<uint64_t>(master.getParserCRCOkayByIndex(i));
    }
    sink = sink + static_cast<uint64_t>(master.RemainingPayloadLen() + master.PaddingByteCount() +
                                        master.getDiagnosticMsgCount() + master.ComplexityRating());
    sink = sink + master.VLANIDsAsString().size();
    return 0;
}
