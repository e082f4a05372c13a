#pragma once
// Frames for the conversation store tests: byte images from the parser tests' frame
// builder, turned into raw frames with a number, time stamp, sizes and interface.
#include <cstdint>
#include <span>

#include "base/addresses.h"
#include "base/datetime.h"
#include "base/rawframe.h"
#include "base/timestamps.h"
#include "parser/framebuilder.h"

namespace morwick::test {

// 2024-03-01 12:00:00 plus Seconds, with Nanoseconds.
inline tFrameTimeStamp At(int64_t Seconds, int32_t Nanoseconds = 0) {
    return tFrameTimeStamp{tDateTime::Encode(2024, 3, 1, 12, 0, 0).AddSeconds(Seconds), Nanoseconds};
}

struct tFrameInfo {
    int64_t Number = 1;
    tFrameTimeStamp Time = At(0);
    uint32_t WireSize = 0;  // 0: the captured size
    uint32_t Interface = 0;
    int64_t Offset = 0;     // 0: a made-up offset from the number
    uint32_t LinkType = 1;
};

inline tRawFrame MakeRawFrame(const tBytes& Bytes, const tFrameInfo& Info) {
    tWireDetails wire;
    wire.LinkType = Info.LinkType;
    wire.CaptureSize = static_cast<uint32_t>(Bytes.size());
    wire.WireSize = Info.WireSize != 0 ? Info.WireSize : wire.CaptureSize;
    wire.InterfaceID = Info.Interface;
    tFileFrameLocation where;
    where.initialize(0, Info.Number, Info.Offset != 0 ? Info.Offset : 24 + Info.Number * 100);
    tRawFrame frame(tTimingDetails{}, wire, where, std::span<const uint8_t>(Bytes));
    frame.UpdateTimestamp(Info.Time);
    return frame;
}

inline tIPv4Address V4(std::string_view Text) {
    tIPv4Address a;
    a.initialize(IPv4(Text));
    return a;
}
inline tIPv6Address V6(const tIPv6Bytes& Bytes) {
    tIPv6Address a;
    a.SetValueFromByteStruct(Bytes);
    return a;
}
inline tMACAddress MAC(const tMAC& Bytes) {
    tMACAddress m;
    m.RangeBytes = Bytes;
    return m;
}
inline tIPSocketPair SocketPair(const tIPAddress& A, uint16_t PortA, const tIPAddress& B, uint16_t PortB) {
    tIPSocket a, b;
    a.initialize(A, PortA);
    b.initialize(B, PortB);
    tIPSocketPair p;
    p.initialize(a, b);
    return p;
}
inline tIPAddress IP(const tIPv4Address& A) {
    tIPAddress r;
    r.initialize(A);
    return r;
}
inline tIPAddress IP(const tIPv6Address& A) {
    tIPAddress r;
    r.initialize(A);
    return r;
}

// Offsets in an Ethernet / IPv4 frame of the builder.
inline constexpr size_t kIPv4TTLOffset = 14 + 8;

// An Ethernet / ARP frame with free sender and target hardware addresses.
inline tBytes ARPFrame(uint16_t Operation, const tMAC& EthSrc, const tMAC& EthDst, const tMAC& SenderMAC,
                       std::string_view SenderIP, const tMAC& TargetMAC, std::string_view TargetIP) {
    tFrameBuilder b;
    b.ethernet(0x0806, EthDst, EthSrc);
    b.be16(1).be16(0x0800).raw({6, 4}).be16(Operation);
    b.raw({SenderMAC[0], SenderMAC[1], SenderMAC[2], SenderMAC[3], SenderMAC[4], SenderMAC[5]});
    b.be32(IPv4(SenderIP));
    b.raw({TargetMAC[0], TargetMAC[1], TargetMAC[2], TargetMAC[3], TargetMAC[4], TargetMAC[5]});
    b.be32(IPv4(TargetIP));
    return b.buildPadded(60);
}

}  // namespace morwick::test
