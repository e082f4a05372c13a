#pragma once
// The CRC-32 of the Ethernet frame check sequence and the 16-bit Internet checksums of
// IPv4 headers, TCP, UDP, ICMPv4 and ICMPv6. All routines skip the checksum field of
// the header they cover, so a header is verified by comparing the result with the
// checksum it carries.
#include <cstddef>
#include <cstdint>
#include <span>

#include "base/pseudoheaders.h"

namespace morwick {

// IEEE 802.3 CRC-32, reflected polynomial 0xEDB88320, initial value 0xFFFFFFFF, final
// complement. The CRC of no bytes is 0; "123456789" gives 0xCBF43926.
uint32_t CalculateCRC32(std::span<const uint8_t> bytes);
// Continues a CRC register over more bytes: start with 0xFFFFFFFF, complement at the end.
uint32_t UpdateCRC32Register(uint32_t reg, std::span<const uint8_t> bytes);

using tWordSpan = std::span<const uint16_t>;

// Over the first HeaderLength div 2 header words (at most the words given), skipping
// word 6 (bytes 10-11).
uint16_t IPv4HeaderChecksum(tWordSpan HeaderWords, int32_t HeaderLength);
// Segment words include header, options and payload; word 9 (bytes 16-17) is skipped.
uint16_t TCPv4Checksum(const tIPv4PseudoHeader& Pseudo, tWordSpan SegmentWords);
// The pseudo header's NextHeader is taken as 6 whatever it holds.
uint16_t TCPv6Checksum(const tIPv6PseudoHeader& Pseudo, tWordSpan SegmentWords);
// Word 4 (bytes 6-7) is skipped. A sum that folds to 0xFFFF gives 0xFFFF (a checksum
// of 0 is sent as 0xFFFF), over IPv4 and IPv6 alike.
uint16_t UDPv4Checksum(const tIPv4PseudoHeader& Pseudo, tWordSpan DatagramWords);
// NextHeader is taken as 17.
uint16_t UDPv6Checksum(const tIPv6PseudoHeader& Pseudo, tWordSpan DatagramWords);
// Header words then payload words; word 2 of the header (bytes 2-3) is skipped.
uint16_t ICMPv4Checksum(tWordSpan HeaderWords, tWordSpan PayloadWords);
// With the IPv6 pseudo header, NextHeader taken as 58.
uint16_t ICMPv6Checksum(const tIPv6PseudoHeader& Pseudo, tWordSpan HeaderWords, tWordSpan PayloadWords);

// The same checksums straight over the bytes, read as network-order 16-bit words (an odd
// last byte forms a word with a zero low half), so no word buffer has to be built. Each
// gives exactly what its word form gives over BytesToBufferWords of the same bytes.
using tByteSpan = std::span<const uint8_t>;

// Over the first HeaderLength div 2 * 2 header bytes (at most the bytes given).
uint16_t IPv4HeaderChecksum(tByteSpan HeaderBytes, int32_t HeaderLength);
uint16_t TCPv4Checksum(const tIPv4PseudoHeader& Pseudo, tByteSpan SegmentBytes);
uint16_t TCPv6Checksum(const tIPv6PseudoHeader& Pseudo, tByteSpan SegmentBytes);
uint16_t UDPv4Checksum(const tIPv4PseudoHeader& Pseudo, tByteSpan DatagramBytes);
uint16_t UDPv6Checksum(const tIPv6PseudoHeader& Pseudo, tByteSpan DatagramBytes);
// Header bytes then payload bytes; each part is taken as words on its own (an odd header
// length pads the header's last word with zero).
uint16_t ICMPv4Checksum(tByteSpan HeaderBytes, tByteSpan PayloadBytes);
uint16_t ICMPv6Checksum(const tIPv6PseudoHeader& Pseudo, tByteSpan HeaderBytes, tByteSpan PayloadBytes);

}  // namespace morwick
