#pragma once
// Link and network address values: MAC, IPv4 and IPv6 addresses, version-neutral IP
// addresses, sockets (address, port, VLAN id), their source/destination pairs, the
// 5-tuple, domain names and name-resolution answers.
//
// The address, socket and pair records are plain, trivially copyable and never allocate;
// their texts are built only when asked for. Their text forms are stored in the meta
// database and read back, so they are exact to the character.
//
// Dictionary keys. Every record that the conversation store files has two keys:
//  - DictionaryKey(): the key text, built from the normalised record, so both directions
//    of a conversation share it. Pair keys never contain a VLAN id.
//  - BinaryKey(): a small fixed-size, trivially copyable struct with == and a std::hash,
//    also built from the normalised record. Two records have equal binary keys exactly
//    when their key texts are equal (masks and prefix lengths, which the key texts leave
//    out, are left out as well; no binary key holds a VLAN id). The store's hash maps are
//    keyed by these; the texts are for display and debugging.
//
// Text parsers raise tAssertionError with the messages quoted at each function.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "base/codes.h"

namespace morwick {

// ---------------------------------------------------------------------------------------
// Binary keys
// ---------------------------------------------------------------------------------------

// 64-bit hash of the raw bytes of a key. Keys have no padding (checked below), so equal
// keys hash equally. One multiply per eight bytes, then a full mix so that the low bits
// used by hash tables depend on every byte.
inline uint64_t HashKeyBytes(const void* data, size_t size) noexcept {
    constexpr uint64_t kMul = 0x9e3779b97f4a7c15ULL;
    const auto* p = static_cast<const unsigned char*>(data);
    uint64_t h = kMul ^ (uint64_t{size} << 56);
    while (size >= 8) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        h = (h ^ w) * kMul;
        h ^= h >> 32;
        p += 8;
        size -= 8;
    }
    if (size > 0) {
        uint64_t w = 0;
        std::memcpy(&w, p, size);
        h = (h ^ w) * kMul;
        h ^= h >> 32;
    }
    h ^= h >> 30;
    h *= 0xbf58476d1ce4e5b9ULL;
    h ^= h >> 27;
    h *= 0x94d049bb133111ebULL;
    h ^= h >> 31;
    return h;
}

// Endpoint keys.
struct tMACAddressKey {
    std::array<uint8_t, 6> Bytes{};
    bool operator==(const tMACAddressKey&) const = default;
};
struct tIPv4AddressKey {
    uint32_t Value = 0;
    bool operator==(const tIPv4AddressKey&) const = default;
};
struct tIPv6AddressKey {
    std::array<uint16_t, 8> Words{};
    bool operator==(const tIPv6AddressKey&) const = default;
};
// Version 6: the eight words; version 4 (and 0, which keys like IPv4): words 6 and 7 hold
// the IPv4 value, high half first.
struct tIPAddressKey {
    std::array<uint16_t, 8> Words{};
    uint16_t Version = 0;
    bool operator==(const tIPAddressKey&) const = default;
};

// Pair keys: source then destination of the normalised pair.
struct tMACAddressPairKey {
    std::array<uint8_t, 12> Bytes{};
    bool operator==(const tMACAddressPairKey&) const = default;
};
struct tIPv4AddressPairKey {
    uint32_t Source = 0;
    uint32_t Destination = 0;
    bool operator==(const tIPv4AddressPairKey&) const = default;
};
struct tIPv6AddressPairKey {
    std::array<uint16_t, 16> Words{};  // source words 0-7, destination words 8-15
    bool operator==(const tIPv6AddressPairKey&) const = default;
};
struct tIPAddressPairKey {
    tIPAddressKey Source;
    tIPAddressKey Destination;
    bool operator==(const tIPAddressPairKey&) const = default;
};
struct tIPv4SocketPairKey {
    uint32_t SourceIP = 0;
    uint32_t DestinationIP = 0;
    uint16_t SourcePort = 0;
    uint16_t DestinationPort = 0;
    bool operator==(const tIPv4SocketPairKey&) const = default;
};
struct tIPv6SocketPairKey {
    std::array<uint16_t, 16> Words{};  // source words 0-7, destination words 8-15
    uint16_t SourcePort = 0;
    uint16_t DestinationPort = 0;
    bool operator==(const tIPv6SocketPairKey&) const = default;
};
// The key of the TCP and UDP conversation dictionaries. Version 4 keeps the IPv4 values
// in words 6-7 and 14-15, the rest zero.
struct tIPSocketPairKey {
    std::array<uint16_t, 16> Words{};
    uint16_t SourcePort = 0;
    uint16_t DestinationPort = 0;
    uint16_t Version = 0;
    bool operator==(const tIPSocketPairKey&) const = default;
};
// Version 0 (the "undefined" key) is all zero.
struct t5TupleKey {
    tIPSocketPairKey Pair;
    uint16_t Layer4Protocol = 0;
    bool operator==(const t5TupleKey&) const = default;
};

// std::hash of every key type, so they key std::unordered_map directly:
//   std::unordered_map<tIPSocketPairKey, tTCPConversation> byPair;
//   byPair[conversation.SocketPair.BinaryKey()]
template <typename K>
struct tAddressKeyHash {
    static_assert(std::has_unique_object_representations_v<K>, "keys must have no padding");
    size_t operator()(const K& key) const noexcept { return static_cast<size_t>(HashKeyBytes(&key, sizeof(K))); }
};

// ---------------------------------------------------------------------------------------
// Link-layer addresses
// ---------------------------------------------------------------------------------------

struct tMACAddress {
    std::array<uint8_t, 6> RangeBytes{};  // in transmission order

    void initialize() { RangeBytes = {}; }
    void SetFromBytes(std::span<const uint8_t, 6> bytes) { std::memcpy(RangeBytes.data(), bytes.data(), 6); }

    // Two hex digits per byte with Separator between them; upper case unless ForceLowercase.
    std::string asString(std::string_view Separator = ":", bool ForceLowercase = false) const;
    // 00:1A:2B:3C:4D:5E
    std::string DictionaryKey() const { return asString(":", false); }
    tMACAddressKey BinaryKey() const { return tMACAddressKey{RangeBytes}; }

    // Splits at separator (when it is not empty and occurs) and reads fields 1 to 6 as hex
    // numbers, one byte each (missing fields give 0); otherwise the one-argument form.
    void setfromString(std::string_view Address, std::string_view separator);
    // Twelve hex digits, two per byte (missing digits give 0).
    void setfromString(std::string_view Address);

    // Bytes from the first, unsigned.
    auto operator<=>(const tMACAddress&) const = default;
};

struct tMACAddressPair {
    tMACAddress Source;
    tMACAddress Destination;
    uint16_t VLANID = 0;

    void initialize() { *this = tMACAddressPair{}; }
    void initialize(const tMACAddress& src, const tMACAddress& dst, uint16_t vlan = 0) {
        Source = src;
        Destination = dst;
        VLANID = vlan;
    }
    // "source=destination"; "-" in either part is read as ":". VLANID becomes 0.
    void initialize(std::string_view value);

    // Source text, "-", destination text; always lower case, whatever ForceLowercase says.
    std::string asString(std::string_view Separator = ":", bool ForceLowercase = false) const;
    // Of a normalised copy: aa:bb:cc:dd:ee:ff-11:22:33:44:55:66 (no VLAN id).
    std::string DictionaryKey() const;
    tMACAddressPairKey BinaryKey() const;

    void swap() { std::swap(Source, Destination); }
    // Swaps when the source is greater than the destination; VLANID stays.
    void normalize() {
        if (Source > Destination) swap();
    }

    // Undirected: VLANID equal and the two sides equal in either direction.
    bool operator==(const tMACAddressPair& o) const;
    // VLANID, then sources, then destinations.
    bool operator<(const tMACAddressPair& o) const;
    bool operator>(const tMACAddressPair& o) const { return o < *this; }
    bool operator<=(const tMACAddressPair& o) const { return !(o < *this); }
    bool operator>=(const tMACAddressPair& o) const { return !(*this < o); }
};

// ---------------------------------------------------------------------------------------
// IPv4
// ---------------------------------------------------------------------------------------

struct tIPv4Address {
    uint32_t ValueAsLong = 0;  // first octet in the most significant byte
    uint8_t MaskBitCount = 32;

    void initialize() { *this = tIPv4Address{}; }
    void initialize(uint32_t value, uint8_t maskBits = 32) {
        ValueAsLong = value;
        MaskBitCount = maskBits;
    }
    // From four bytes in network order.
    void SetFromBytes(std::span<const uint8_t, 4> bytes, uint8_t maskBits = 32) {
        ValueAsLong = (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
        MaskBitCount = maskBits;
    }

    // Dotted decimal without leading zeros.
    std::string ValueAsString() const;
    // Dotted form, "/", mask count.
    std::string ValueAsCIDRString() const;
    std::string DictionaryKey() const { return ValueAsString(); }
    tIPv4AddressKey BinaryKey() const { return tIPv4AddressKey{ValueAsLong}; }

    // Error on an invalid text: Invalid IPv4 string: "<text>" (tIPv4Address.setValueFromString)
    void setValueFromString(std::string_view IPAddress, uint8_t MaskBits = 32);
    // "a.b.c.d/n"; without "/": "Error: Invalid IPv4 address CIDR format detected."
    void setValueFromCIDRString(std::string_view IPAddress);
    // Four non-empty "."-separated parts (empty pieces are skipped), digits only, no
    // leading zeros, each 0 to 255.
    static bool IsValidText(std::string_view text);

    bool isUndefined() const { return ValueAsLong == 0 && MaskBitCount == 32; }
    bool isZeroAddress() const { return ValueAsLong == 0; }
    // MaskBitCount leading one bits (counts above 32 act as 32).
    uint32_t MaskAsLong() const;
    // MaskBitCount := number of one bits of Value.
    void setMaskFromLong(uint32_t Value);
    // Value AND mask, mask 32.
    tIPv4Address LowestNetIP() const;
    bool IsMulticast() const { return ValueAsLong >= 0xE0000000u && ValueAsLong <= 0xEFFFFFFFu; }
    // Mask 32: 255.255.255.255; otherwise all host bits one.
    bool IsBroadcast() const;

    // Equality: value and mask. > and <: value, then mask. >= and <=: value only, so an
    // address with mask 24 is both less than and greater-or-equal to the same value with
    // mask 32.
    bool operator==(const tIPv4Address& o) const { return ValueAsLong == o.ValueAsLong && MaskBitCount == o.MaskBitCount; }
    bool operator<(const tIPv4Address& o) const {
        return ValueAsLong < o.ValueAsLong || (ValueAsLong == o.ValueAsLong && MaskBitCount < o.MaskBitCount);
    }
    bool operator>(const tIPv4Address& o) const {
        return ValueAsLong > o.ValueAsLong || (ValueAsLong == o.ValueAsLong && MaskBitCount > o.MaskBitCount);
    }
    bool operator>=(const tIPv4Address& o) const { return ValueAsLong >= o.ValueAsLong; }
    bool operator<=(const tIPv4Address& o) const { return ValueAsLong <= o.ValueAsLong; }
};

struct tIPv4AddressPair {
    tIPv4Address Source;
    tIPv4Address Destination;

    void initialize() { *this = tIPv4AddressPair{}; }
    void initialize(const tIPv4Address& src, const tIPv4Address& dst) {
        Source = src;
        Destination = dst;
    }
    // "source=destination", with setValueFromCIDRString when SetCIDR, else mask 32.
    void initialize(std::string_view value, bool SetCIDR);

    // source "-" destination, or source " - " destination.
    std::string ValueAsString(bool NoSpaces = true) const;
    // Of a normalised copy, with "-".
    std::string DictionaryKey() const;
    tIPv4AddressPairKey BinaryKey() const;

    void swap() { std::swap(Source, Destination); }
    void normalize() {
        if (Source > Destination) swap();
    }
    bool isUndefined() const { return Source.isUndefined() && Destination.isUndefined(); }

    bool operator==(const tIPv4AddressPair& o) const {
        return (Source == o.Source && Destination == o.Destination) || (Source == o.Destination && Destination == o.Source);
    }
    // Sources, then destinations.
    bool operator<(const tIPv4AddressPair& o) const { return Source == o.Source ? Destination < o.Destination : Source < o.Source; }
    bool operator>(const tIPv4AddressPair& o) const { return Source == o.Source ? Destination > o.Destination : Source > o.Source; }
    bool operator<=(const tIPv4AddressPair& o) const { return !(*this > o); }
    bool operator>=(const tIPv4AddressPair& o) const { return !(*this < o); }
};

// ---------------------------------------------------------------------------------------
// IPv6
// ---------------------------------------------------------------------------------------

struct tIPv6Address {
    std::array<uint16_t, 8> ValueAsWordStruct{};  // word 0 first, first address byte high
    uint8_t MaskBitCount = 64;                     // prefix length

    void initialize() { *this = tIPv6Address{}; }
    void initialize(const std::array<uint16_t, 8>& words, uint8_t prefix = 64) {
        ValueAsWordStruct = words;
        MaskBitCount = prefix;
    }
    // Words from / to 16 bytes in network order.
    void SetValueFromByteStruct(std::span<const uint8_t, 16> bytes) {
        for (size_t i = 0; i < 8; ++i)
            ValueAsWordStruct[i] = static_cast<uint16_t>((bytes[2 * i] << 8) | bytes[2 * i + 1]);
    }
    std::array<uint8_t, 16> ValueAsByteStruct() const;

    // Compressed form: 2001:db8::1. The longest run of two or more zero words becomes "::"
    // (the first of equal runs); a run that reaches the last word is only taken when no
    // earlier run was, so 1:0:0:1:0:0:0:0 is written 1::1:0:0:0:0.
    std::string ValueAsString() const;
    // Compressed form, "/", prefix length.
    std::string ValueAsSlashedNotationString() const;
    // Eight words without leading zeros joined by ":": 2001:db8:0:0:0:0:0:1.
    std::string getExpandedValue() const;
    std::string DictionaryKey() const { return getExpandedValue(); }
    tIPv6AddressKey BinaryKey() const { return tIPv6AddressKey{ValueAsWordStruct}; }

    // Error on an invalid text: "Error: Invalid IPv6 address format detected: <text>".
    // Accepts a trailing dotted IPv4 part (::ffff:1.2.3.4).
    void setValueFromString(std::string_view IPAddress, uint8_t PrefixLength = 64);
    // "addr/n"; without "/": "Error: Invalid IPv6 address slashed notation format detected."
    void setValueFromStringWithMask(std::string_view IPAddress);
    static bool IsValidText(std::string_view text);

    bool isUndefined() const { return ValueAsWordStruct == std::array<uint16_t, 8>{}; }
    // Host bits counted from word 7: zero words add 16 and go on; a word of ones followed
    // by zeros adds its trailing zero bits and stops; any other word stops.
    int getEmptyHostBitCount() const;
    // Prefix length at most 64 and equal to getEmptyHostBitCount.
    bool IsPrefixInformation() const;

    // Equality: words and prefix length. < is decided by the first differing word only;
    // > is "neither equal nor less", so equal words with different prefix lengths are each
    // greater than the other.
    bool operator==(const tIPv6Address& o) const {
        return ValueAsWordStruct == o.ValueAsWordStruct && MaskBitCount == o.MaskBitCount;
    }
    bool operator<(const tIPv6Address& o) const {
        for (size_t i = 0; i < 8; ++i)
            if (ValueAsWordStruct[i] != o.ValueAsWordStruct[i]) return ValueAsWordStruct[i] < o.ValueAsWordStruct[i];
        return false;
    }
    bool operator>(const tIPv6Address& o) const { return !(*this == o) && !(*this < o); }
    bool operator>=(const tIPv6Address& o) const { return *this == o || *this > o; }
    bool operator<=(const tIPv6Address& o) const { return !(*this > o); }
};

struct tIPv6AddressPair {
    tIPv6Address Source;
    tIPv6Address Destination;

    void initialize() { *this = tIPv6AddressPair{}; }
    void initialize(const tIPv6Address& src, const tIPv6Address& dst) {
        Source = src;
        Destination = dst;
    }
    // "source=destination", with setValueFromStringWithMask when SetCIDR, else prefix 64.
    void initialize(std::string_view value, bool SetCIDR);

    // Compressed addresses joined by "-" or " - ".
    std::string ValueAsString(bool NoSpaces = true) const;
    // Expanded addresses joined by "-" or " - ".
    std::string getExpandedValue(bool NoSpaces = true) const;
    // Of a normalised copy: expanded addresses joined by "-".
    std::string DictionaryKey() const;
    tIPv6AddressPairKey BinaryKey() const;

    void swap() { std::swap(Source, Destination); }
    void normalize() {
        if (Source > Destination) swap();
    }
    bool isUndefined() const { return Source.isUndefined() && Destination.isUndefined(); }

    bool operator==(const tIPv6AddressPair& o) const {
        return (Source == o.Source && Destination == o.Destination) || (Source == o.Destination && Destination == o.Source);
    }
    bool operator<(const tIPv6AddressPair& o) const { return Source == o.Source ? Destination < o.Destination : Source < o.Source; }
    bool operator>(const tIPv6AddressPair& o) const { return Source == o.Source ? Destination > o.Destination : Source > o.Source; }
    bool operator<=(const tIPv6AddressPair& o) const { return !(*this > o); }
    bool operator>=(const tIPv6AddressPair& o) const { return !(*this < o); }
};

// ---------------------------------------------------------------------------------------
// Typed sockets
// ---------------------------------------------------------------------------------------

struct tIPv4Socket {
    uint16_t VLANID = 0;
    tIPv4Address IPAddress;
    uint16_t Port = 0;

    void initialize() { *this = tIPv4Socket{}; }
    void initialize(const tIPv4Address& address, uint16_t port, uint16_t vlan = 0) {
        VLANID = vlan;
        IPAddress = address;
        Port = port;
    }
    // "a.b.c.d:port" or "a.b.c.d" (port 0); mask 32, VLANID 0.
    void initialize(std::string_view Value);

    // 1.2.3.4:80
    std::string ValueAsString() const;
    // A ":" with a valid IPv4 text before it and only digits after it giving 1 to 65535.
    static bool IsValidText(std::string_view text);

    bool isUndefined() const { return IPAddress.isUndefined() && Port == 0; }

    // VLANID, then address, then (for equal addresses) port.
    bool operator==(const tIPv4Socket& o) const { return VLANID == o.VLANID && IPAddress == o.IPAddress && Port == o.Port; }
    bool operator<(const tIPv4Socket& o) const {
        if (VLANID != o.VLANID) return VLANID < o.VLANID;
        return IPAddress == o.IPAddress ? Port < o.Port : IPAddress < o.IPAddress;
    }
    bool operator>(const tIPv4Socket& o) const {
        if (VLANID != o.VLANID) return VLANID > o.VLANID;
        return IPAddress == o.IPAddress ? Port > o.Port : IPAddress > o.IPAddress;
    }
    bool operator<=(const tIPv4Socket& o) const { return !(*this > o); }
    bool operator>=(const tIPv4Socket& o) const { return !(*this < o); }
};

struct tIPv4SocketPair {
    tIPv4Socket Source;
    tIPv4Socket Destination;

    void initialize() { *this = tIPv4SocketPair{}; }
    void initialize(const tIPv4Socket& src, const tIPv4Socket& dst) {
        Source = src;
        Destination = dst;
    }

    // The two socket texts joined by "-" or " - ".
    std::string ValueAsString(bool NoSpaces = true) const;
    // Of a normalised copy, joined by "-": 1.2.3.4:80-5.6.7.8:1234.
    std::string DictionaryKey() const;
    tIPv4SocketPairKey BinaryKey() const;
    tIPv4AddressPair IPAddressPair() const {
        tIPv4AddressPair r;
        r.initialize(Source.IPAddress, Destination.IPAddress);
        return r;
    }

    void swap() { std::swap(Source, Destination); }
    // Swaps when the destination is less than the source.
    void normalize() {
        if (Destination < Source) swap();
    }
    bool isUndefined() const { return Source.isUndefined() && Destination.isUndefined(); }

    bool operator==(const tIPv4SocketPair& o) const {
        return (Source == o.Source && Destination == o.Destination) || (Source == o.Destination && Destination == o.Source);
    }
    // Destinations, then sources.
    bool operator<(const tIPv4SocketPair& o) const { return Destination == o.Destination ? Source < o.Source : Destination < o.Destination; }
    bool operator>(const tIPv4SocketPair& o) const { return Destination == o.Destination ? Source > o.Source : Destination > o.Destination; }
    bool operator<=(const tIPv4SocketPair& o) const { return !(*this > o); }
    bool operator>=(const tIPv4SocketPair& o) const { return !(*this < o); }
};

struct tIPv6Socket {
    uint16_t VLANID = 0;
    tIPv6Address IPAddress;
    uint16_t Port = 0;

    void initialize() { *this = tIPv6Socket{}; }
    void initialize(const tIPv6Address& address, uint16_t port, uint16_t vlan = 0) {
        VLANID = vlan;
        IPAddress = address;
        Port = port;
    }
    // "[addr]:port"; or nine ":"-separated fields, the last the port; or a bare address
    // (port left unchanged). Prefix 64, VLANID 0. Anything else raises
    // "Cannot initialize IPv6 Socket (tIPv6Socket.initialize)".
    void initialize(std::string_view Value);

    // [2001:db8::1]:80
    std::string ValueAsString() const;
    // [2001:db8:0:0:0:0:0:1]:80
    std::string getExpandedValue() const;
    // "[" valid IPv6 text "]:" digits giving 1 to 65535.
    static bool IsValidBracketedText(std::string_view text);

    bool isUndefined() const { return IPAddress.isUndefined() && Port == 0; }

    bool operator==(const tIPv6Socket& o) const { return VLANID == o.VLANID && IPAddress == o.IPAddress && Port == o.Port; }
    bool operator<(const tIPv6Socket& o) const {
        if (VLANID != o.VLANID) return VLANID < o.VLANID;
        return IPAddress == o.IPAddress ? Port < o.Port : IPAddress < o.IPAddress;
    }
    bool operator>(const tIPv6Socket& o) const {
        if (VLANID != o.VLANID) return VLANID > o.VLANID;
        return IPAddress == o.IPAddress ? Port > o.Port : IPAddress > o.IPAddress;
    }
    bool operator<=(const tIPv6Socket& o) const { return !(*this > o); }
    bool operator>=(const tIPv6Socket& o) const { return !(*this < o); }
};

struct tIPv6SocketPair {
    tIPv6Socket Source;
    tIPv6Socket Destination;

    void initialize() { *this = tIPv6SocketPair{}; }
    void initialize(const tIPv6Socket& src, const tIPv6Socket& dst) {
        Source = src;
        Destination = dst;
    }

    // Compressed socket texts joined by "-" or " - ".
    std::string ValueAsString(bool NoSpaces = true) const;
    // Expanded socket texts joined by "-" or " - ".
    std::string getExpandedValue(bool NoSpaces = true) const;
    // Of a normalised copy: the expanded socket texts joined by "-", colons kept:
    // [1:0:0:0:0:0:0:2]:80-[10:0:0:0:0:0:0:2]:80. Unique per conversation.
    std::string DictionaryKey() const;
    // The older display text: DictionaryKey with every ":" removed ([1000000002]80-...).
    // Different conversations can share it, so it must never key a dictionary.
    std::string CompactKeyText() const;
    tIPv6SocketPairKey BinaryKey() const;
    tIPv6AddressPair IPAddressPair() const {
        tIPv6AddressPair r;
        r.initialize(Source.IPAddress, Destination.IPAddress);
        return r;
    }

    void swap() { std::swap(Source, Destination); }
    void normalize() {
        if (Destination < Source) swap();
    }
    bool isUndefined() const { return Source.isUndefined() && Destination.isUndefined(); }

    bool operator==(const tIPv6SocketPair& o) const {
        return (Source == o.Source && Destination == o.Destination) || (Source == o.Destination && Destination == o.Source);
    }
    bool operator<(const tIPv6SocketPair& o) const { return Destination == o.Destination ? Source < o.Source : Destination < o.Destination; }
    bool operator>(const tIPv6SocketPair& o) const { return Destination == o.Destination ? Source > o.Source : Destination > o.Destination; }
    bool operator<=(const tIPv6SocketPair& o) const { return !(*this > o); }
    bool operator>=(const tIPv6SocketPair& o) const { return !(*this < o); }
};

// ---------------------------------------------------------------------------------------
// Version-neutral addresses and sockets
// ---------------------------------------------------------------------------------------

struct tIPAddress {
    uint8_t IPVersion = 0;  // 0 none, 4 or 6
    tIPv4Address IPv4Address;
    tIPv6Address IPv6Address;

    void initialize() { *this = tIPAddress{}; }
    void initialize(const tIPv4Address& address) {
        *this = tIPAddress{};
        IPVersion = 4;
        IPv4Address = address;
    }
    void initialize(const tIPv6Address& address) {
        *this = tIPAddress{};
        IPVersion = 6;
        IPv6Address = address;
    }
    void initialize(uint32_t value) {
        *this = tIPAddress{};
        IPVersion = 4;
        IPv4Address.ValueAsLong = value;
    }
    // 16 bytes in network order: version 6.
    void initialize(std::span<const uint8_t, 16> bytes) {
        *this = tIPAddress{};
        IPVersion = 6;
        IPv6Address.SetValueFromByteStruct(bytes);
    }

    // Version 6: compressed IPv6; otherwise dotted IPv4 (version 0 gives 0.0.0.0).
    std::string ValueAsString() const;
    // Version 6: expanded IPv6; otherwise dotted IPv4.
    std::string DictionaryKey() const;
    tIPAddressKey BinaryKey() const;

    // A valid IPv4 text gives version 4 (mask MaskBits, 32 when 0), else a valid IPv6 text
    // version 6 (prefix MaskBits, 64 when 0), else the initial value. Never raises.
    void setValueFromString(std::string_view IPAddress, uint8_t MaskBits = 0);

    // The zero address of its version (version 0 counts as IPv4: value 0, mask 32).
    bool isUndefined() const {
        return IPVersion == 6 ? IPv6Address.isUndefined() : IPv4Address.isUndefined();
    }
    bool isZeroAddress() const {
        return IPVersion == 6 ? IPv6Address.isUndefined() : IPv4Address.isZeroAddress();
    }

    // Same version, then the address of that version (the IPv6 part for version 0).
    bool operator==(const tIPAddress& o) const {
        if (IPVersion != o.IPVersion) return false;
        return IPVersion == 4 ? IPv4Address == o.IPv4Address : IPv6Address == o.IPv6Address;
    }
    // Version first (0 < 4 < 6), then the address of that version; < is not >=.
    bool operator>=(const tIPAddress& o) const {
        if (IPVersion != o.IPVersion) return IPVersion > o.IPVersion;
        return IPVersion == 4 ? IPv4Address >= o.IPv4Address : IPv6Address >= o.IPv6Address;
    }
    bool operator<(const tIPAddress& o) const { return !(*this >= o); }
    bool operator>(const tIPAddress& o) const {
        if (IPVersion != o.IPVersion) return IPVersion > o.IPVersion;
        return IPVersion == 4 ? IPv4Address > o.IPv4Address : IPv6Address > o.IPv6Address;
    }
    bool operator<=(const tIPAddress& o) const {
        if (IPVersion != o.IPVersion) return IPVersion < o.IPVersion;
        return IPVersion == 4 ? IPv4Address <= o.IPv4Address : IPv6Address <= o.IPv6Address;
    }
};

struct tIPAddressPair {
    tIPAddress Source;
    tIPAddress Destination;

    void initialize() { *this = tIPAddressPair{}; }
    void initialize(const tIPAddress& src, const tIPAddress& dst) {
        Source = src;
        Destination = dst;
    }

    // The two address texts joined by "-" or " - ".
    std::string ValueAsString(bool NoSpaces = true) const;
    // Of the normalised pair, each address keyed as by tIPAddress::BinaryKey.
    tIPAddressPairKey BinaryKey() const;

    void swap() { std::swap(Source, Destination); }
    void normalize() {
        if (Source > Destination) swap();
    }
    bool isUndefined() const { return Source.isUndefined() && Destination.isUndefined(); }

    bool operator==(const tIPAddressPair& o) const {
        return (Source == o.Source && Destination == o.Destination) || (Source == o.Destination && Destination == o.Source);
    }
    bool operator<(const tIPAddressPair& o) const { return Source == o.Source ? Destination < o.Destination : Source < o.Source; }
    bool operator>(const tIPAddressPair& o) const { return Source == o.Source ? Destination > o.Destination : Source > o.Source; }
    bool operator<=(const tIPAddressPair& o) const { return !(*this > o); }
    bool operator>=(const tIPAddressPair& o) const { return !(*this < o); }
};

struct tIPSocket {
    uint16_t VLANID = 0;
    tIPAddress IPAddress;
    uint16_t Port = 0;

    void initialize() { *this = tIPSocket{}; }
    void initialize(const tIPAddress& address, uint16_t port, uint16_t vlan = 0) {
        VLANID = vlan;
        IPAddress = address;
        Port = port;
    }
    void initialize(const tIPv4Address& address, uint16_t port, uint16_t vlan = 0) {
        VLANID = vlan;
        IPAddress.initialize(address);
        Port = port;
    }
    void initialize(const tIPv6Address& address, uint16_t port, uint16_t vlan = 0) {
        VLANID = vlan;
        IPAddress.initialize(address);
        Port = port;
    }
    void initialize(const tIPv4Socket& s) { initialize(s.IPAddress, s.Port, s.VLANID); }
    void initialize(const tIPv6Socket& s) { initialize(s.IPAddress, s.Port, s.VLANID); }
    // A valid IPv4 socket text or bracketed IPv6 socket text; anything else (including
    // port 0) gives the initial value.
    void initialize(std::string_view Value);

    // Address text (IPv6 compressed, no brackets), ":", port.
    std::string ValueAsString() const;
    std::string DictionaryKey() const { return ValueAsString(); }

    // The typed socket with the same VLAN id, address part and port.
    tIPv4Socket getIPv4Socket() const {
        tIPv4Socket s;
        s.initialize(IPAddress.IPv4Address, Port, VLANID);
        return s;
    }
    tIPv6Socket getIPv6Socket() const {
        tIPv6Socket s;
        s.initialize(IPAddress.IPv6Address, Port, VLANID);
        return s;
    }

    bool isUndefined() const { return IPAddress.isUndefined() && Port == 0; }

    bool operator==(const tIPSocket& o) const { return VLANID == o.VLANID && IPAddress == o.IPAddress && Port == o.Port; }
    bool operator<(const tIPSocket& o) const {
        if (VLANID != o.VLANID) return VLANID < o.VLANID;
        return IPAddress == o.IPAddress ? Port < o.Port : IPAddress < o.IPAddress;
    }
    bool operator>(const tIPSocket& o) const {
        if (VLANID != o.VLANID) return VLANID > o.VLANID;
        return IPAddress == o.IPAddress ? Port > o.Port : IPAddress > o.IPAddress;
    }
    bool operator<=(const tIPSocket& o) const { return !(*this > o); }
    bool operator>=(const tIPSocket& o) const { return !(*this < o); }
};

struct tIPSocketPair {
    tIPSocket Source;
    tIPSocket Destination;

    void initialize() { *this = tIPSocketPair{}; }
    void initialize(const tIPSocket& src, const tIPSocket& dst) {
        Source = src;
        Destination = dst;
    }
    void initialize(const tIPv4SocketPair& pair) {
        Source.initialize(pair.Source);
        Destination.initialize(pair.Destination);
    }
    void initialize(const tIPv6SocketPair& pair) {
        Source.initialize(pair.Source);
        Destination.initialize(pair.Destination);
    }
    // "socket=socket", both IPv4 or both bracketed IPv6; otherwise
    // Not a valid socket pair: "<text>" (tIPSocketPair.initialize)
    void initialize(std::string_view value);
    static bool IsValidText(std::string_view text);

    // The typed pairs built from the parts of one version.
    tIPv4SocketPair getIPv4SocketPair() const {
        tIPv4SocketPair p;
        p.initialize(Source.getIPv4Socket(), Destination.getIPv4Socket());
        return p;
    }
    tIPv6SocketPair getIPv6SocketPair() const {
        tIPv6SocketPair p;
        p.initialize(Source.getIPv6Socket(), Destination.getIPv6Socket());
        return p;
    }

    // By the source's version: version 4 the DictionaryKey of the IPv4 socket pair,
    // version 6 the CompactKeyText of the IPv6 socket pair (NoSpaces has no effect).
    // Version 0: "Invalid socket IP version 0 (tIPSocketPair.ValueAsString)".
    std::string ValueAsString(bool NoSpaces = true) const;
    // Of a normalised copy: version 4 as ValueAsString, version 6 the DictionaryKey of the
    // IPv6 socket pair (colons kept). Version 0 raises as ValueAsString.
    std::string DictionaryKey() const;
    // Raises like DictionaryKey for version 0.
    tIPSocketPairKey BinaryKey() const;
    tIPAddressPair IPAddressPair() const {
        tIPAddressPair r;
        r.initialize(Source.IPAddress, Destination.IPAddress);
        return r;
    }

    void swap() { std::swap(Source, Destination); }
    void normalize() {
        if (Destination < Source) swap();
    }
    bool isUndefined() const { return Source.isUndefined() && Destination.isUndefined(); }

    bool operator==(const tIPSocketPair& o) const {
        return (Source == o.Source && Destination == o.Destination) || (Source == o.Destination && Destination == o.Source);
    }
    bool operator<(const tIPSocketPair& o) const { return Destination == o.Destination ? Source < o.Source : Destination < o.Destination; }
    bool operator>(const tIPSocketPair& o) const { return Destination == o.Destination ? Source > o.Source : Destination > o.Destination; }
    bool operator<=(const tIPSocketPair& o) const { return !(*this > o); }
    bool operator>=(const tIPSocketPair& o) const { return !(*this < o); }
};

// The client address of a socket pair by its ports: a well-known port (at most 1024)
// against a port of 1026 or more decides; otherwise a listed server port on the
// destination makes the source the client, else one on the source makes the destination
// the client; else the result is the initial (version 0) address.
tIPAddress ClientAddressByPorts(const tIPSocketPair& pair);
// The ports the rule above treats as server ports when both are above 1024.
bool IsListedServerPort(uint16_t port);

// ---------------------------------------------------------------------------------------
// 5-tuple
// ---------------------------------------------------------------------------------------

struct t5Tuple {
    uint8_t IPVersion = 0;
    tLayer4Protocol Layer4Protocol = l4Any;
    tIPv4SocketPair IPv4SocketPair;
    tIPv6SocketPair IPv6SocketPair;

    void initialize() { *this = t5Tuple{}; }
    void initialize(const tIPv4SocketPair& pair, tLayer4Protocol protocol) {
        *this = t5Tuple{};
        IPVersion = 4;
        Layer4Protocol = protocol;
        IPv4SocketPair = pair;
    }
    void initialize(const tIPv6SocketPair& pair, tLayer4Protocol protocol) {
        *this = t5Tuple{};
        IPVersion = 6;
        Layer4Protocol = protocol;
        IPv6SocketPair = pair;
    }
    // IP protocol number (1 and 58 ICMP, 6 TCP, 17 UDP, others Any).
    void initialize(const tIPv4SocketPair& pair, uint8_t ipProtocol) { initialize(pair, IPProtocolToLayer4Protocol(ipProtocol)); }
    void initialize(const tIPv6SocketPair& pair, uint8_t ipProtocol) { initialize(pair, IPProtocolToLayer4Protocol(ipProtocol)); }
    // Version from the pair's source; version 0 leaves both pairs initial.
    void initialize(const tIPSocketPair& pair, tLayer4Protocol protocol);

    // "undefined" for version 0; else the protocol name followed by the socket pair's key:
    // TCP1.2.3.4:80-5.6.7.8:1234.
    std::string DictionaryKey() const;
    t5TupleKey BinaryKey() const;

    bool isUndefined() const { return IPVersion == 0; }

    // Version, protocol and both socket pairs (undirected).
    bool operator==(const t5Tuple& o) const {
        return IPVersion == o.IPVersion && Layer4Protocol == o.Layer4Protocol && IPv4SocketPair == o.IPv4SocketPair &&
               IPv6SocketPair == o.IPv6SocketPair;
    }
    // Version, then protocol, then the socket pair of that version.
    bool operator<(const t5Tuple& o) const {
        if (IPVersion != o.IPVersion) return IPVersion < o.IPVersion;
        if (Layer4Protocol != o.Layer4Protocol) return Layer4Protocol < o.Layer4Protocol;
        return IPVersion == 6 ? IPv6SocketPair < o.IPv6SocketPair : IPv4SocketPair < o.IPv4SocketPair;
    }
    bool operator>(const t5Tuple& o) const {
        if (IPVersion != o.IPVersion) return IPVersion > o.IPVersion;
        if (Layer4Protocol != o.Layer4Protocol) return Layer4Protocol > o.Layer4Protocol;
        return IPVersion == 6 ? IPv6SocketPair > o.IPv6SocketPair : IPv4SocketPair > o.IPv4SocketPair;
    }
    bool operator<=(const t5Tuple& o) const { return !(*this > o); }
    bool operator>=(const t5Tuple& o) const { return !(*this < o); }
};

// ---------------------------------------------------------------------------------------
// Names, answers and address lists (these own texts and arrays)
// ---------------------------------------------------------------------------------------

struct tFQDN {
    std::string FullFQDN;
    std::string FullFQDNBackwards;  // labels in reverse order joined by "."
    uint16_t ElementCount = 0;
    std::vector<std::string> Elements;  // labels in order, each at most 63 characters

    void initialize() { *this = tFQDN{}; }
    // Splits at "." (empty or blank text: no labels).
    void setFQDN(std::string_view NewValue);

    // Compared by FullFQDNBackwards.
    bool operator==(const tFQDN& o) const { return FullFQDNBackwards == o.FullFQDNBackwards; }
    bool operator<(const tFQDN& o) const { return FullFQDNBackwards < o.FullFQDNBackwards; }
    bool operator>(const tFQDN& o) const { return FullFQDNBackwards > o.FullFQDNBackwards; }
    bool operator<=(const tFQDN& o) const { return FullFQDNBackwards <= o.FullFQDNBackwards; }
    bool operator>=(const tFQDN& o) const { return FullFQDNBackwards >= o.FullFQDNBackwards; }
};

struct tNameResolutionAnswer {
    tNRAnswerType AnswerType = nraUnknown;
    tIPAddress IPAddress;
    tFQDN FQDN;
    std::string TextValue;

    void initialize() { *this = tNameResolutionAnswer{}; }
    void initialize(const tIPv4Address& address) {
        *this = tNameResolutionAnswer{};
        AnswerType = nraIPAddress;
        IPAddress.initialize(address);
    }
    void initialize(const tIPv6Address& address) {
        *this = tNameResolutionAnswer{};
        AnswerType = nraIPAddress;
        IPAddress.initialize(address);
    }
    void initialize(const tIPAddress& address) {
        *this = tNameResolutionAnswer{};
        AnswerType = nraIPAddress;
        IPAddress = address;
    }
    void initialize(const tFQDN& fqdn) {
        *this = tNameResolutionAnswer{};
        AnswerType = nraFQDN;
        FQDN = fqdn;
    }
    void initialize(std::string_view text) {
        *this = tNameResolutionAnswer{};
        AnswerType = nraText;
        TextValue = std::string(text);
    }

    // The address text, the FullFQDN, the text, or "" for nraUnknown.
    std::string asString() const;
    // The type's ordinal, ":", asString: 1:192.168.1.1
    std::string DictionaryKey() const;
};

template <typename T>
struct tSimpleAddressList {
    std::vector<T> list;

    void Add(const T& entry) { list.push_back(entry); }
    int count() const { return static_cast<int>(list.size()); }
    // Index from 1; outside 1..count the initial address.
    T GetEntry(int index) const {
        if (index < 1 || index > count()) return T{};
        return list[static_cast<size_t>(index - 1)];
    }
    void copyFrom(const tSimpleAddressList& other) { list = other.list; }
};
using tIPv4SimpleAddressList = tSimpleAddressList<tIPv4Address>;
using tIPv6SimpleAddressList = tSimpleAddressList<tIPv6Address>;

static_assert(std::has_unique_object_representations_v<tMACAddressKey> &&
              std::has_unique_object_representations_v<tIPv4AddressKey> &&
              std::has_unique_object_representations_v<tIPv6AddressKey> &&
              std::has_unique_object_representations_v<tIPAddressKey> &&
              std::has_unique_object_representations_v<tMACAddressPairKey> &&
              std::has_unique_object_representations_v<tIPv4AddressPairKey> &&
              std::has_unique_object_representations_v<tIPv6AddressPairKey> &&
              std::has_unique_object_representations_v<tIPAddressPairKey> &&
              std::has_unique_object_representations_v<tIPv4SocketPairKey> &&
              std::has_unique_object_representations_v<tIPv6SocketPairKey> &&
              std::has_unique_object_representations_v<tIPSocketPairKey> &&
              std::has_unique_object_representations_v<t5TupleKey>);
static_assert(std::is_trivially_copyable_v<tMACAddressPair> && std::is_trivially_copyable_v<tIPv4SocketPair> &&
              std::is_trivially_copyable_v<tIPv6SocketPair> && std::is_trivially_copyable_v<tIPSocketPair> &&
              std::is_trivially_copyable_v<t5Tuple>);

}  // namespace morwick

template <> struct std::hash<morwick::tMACAddressKey> : morwick::tAddressKeyHash<morwick::tMACAddressKey> {};
template <> struct std::hash<morwick::tIPv4AddressKey> : morwick::tAddressKeyHash<morwick::tIPv4AddressKey> {};
template <> struct std::hash<morwick::tIPv6AddressKey> : morwick::tAddressKeyHash<morwick::tIPv6AddressKey> {};
template <> struct std::hash<morwick::tIPAddressKey> : morwick::tAddressKeyHash<morwick::tIPAddressKey> {};
template <> struct std::hash<morwick::tMACAddressPairKey> : morwick::tAddressKeyHash<morwick::tMACAddressPairKey> {};
template <> struct std::hash<morwick::tIPv4AddressPairKey> : morwick::tAddressKeyHash<morwick::tIPv4AddressPairKey> {};
template <> struct std::hash<morwick::tIPv6AddressPairKey> : morwick::tAddressKeyHash<morwick::tIPv6AddressPairKey> {};
template <> struct std::hash<morwick::tIPAddressPairKey> : morwick::tAddressKeyHash<morwick::tIPAddressPairKey> {};
template <> struct std::hash<morwick::tIPv4SocketPairKey> : morwick::tAddressKeyHash<morwick::tIPv4SocketPairKey> {};
template <> struct std::hash<morwick::tIPv6SocketPairKey> : morwick::tAddressKeyHash<morwick::tIPv6SocketPairKey> {};
template <> struct std::hash<morwick::tIPSocketPairKey> : morwick::tAddressKeyHash<morwick::tIPSocketPairKey> {};
template <> struct std::hash<morwick::t5TupleKey> : morwick::tAddressKeyHash<morwick::t5TupleKey> {};
