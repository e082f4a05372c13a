#include "base/addresses.h"

#include <algorithm>

#include "base/errors.h"

namespace morwick {

namespace {

constexpr char kHexUpper[] = "0123456789ABCDEF";
constexpr char kHexLower[] = "0123456789abcdef";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Numbers in stored texts are read forgivingly: leading blanks and a sign are allowed,
// reading stops at the first character that does not belong to the number and keeps the
// value read so far (0 when there is none). Callers keep the low bits they need.
uint64_t LenientNumber(std::string_view s, int base) {
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    uint64_t value = 0;
    for (; i < s.size(); ++i) {
        const int d = base == 16 ? HexDigitValue(s[i]) : (IsDigit(s[i]) ? s[i] - '0' : -1);
        if (d < 0) break;
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);  // wraps, never traps
    }
    return negative ? 0 - value : value;
}

// Digits only (at least one), value 1 to 65535; leading zeros are allowed.
bool IsValidPortText(std::string_view s) {
    if (s.empty() || !std::all_of(s.begin(), s.end(), IsDigit)) return false;
    const size_t nz = s.find_first_not_of('0');
    if (nz == std::string_view::npos || s.size() - nz > 5) return false;
    return LenientNumber(s.substr(nz), 10) <= 65535;
}

void AppendDecimal(std::string& out, uint32_t value) {
    char buf[10];
    int n = 0;
    do {
        buf[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0) out.push_back(buf[--n]);
}

// A word without leading zeros, lower case ("0" for zero).
void AppendHexWord(std::string& out, uint16_t w) {
    bool started = false;
    for (int shift = 12; shift >= 0; shift -= 4) {
        const unsigned nibble = (w >> shift) & 0xF;
        if (nibble != 0 || started || shift == 0) {
            out.push_back(kHexLower[nibble]);
            started = true;
        }
    }
}

void AppendIPv4(std::string& out, uint32_t v) {
    AppendDecimal(out, v >> 24);
    out.push_back('.');
    AppendDecimal(out, (v >> 16) & 0xFF);
    out.push_back('.');
    AppendDecimal(out, (v >> 8) & 0xFF);
    out.push_back('.');
    AppendDecimal(out, v & 0xFF);
}

void AppendIPv6Expanded(std::string& out, const std::array<uint16_t, 8>& w) {
    for (size_t i = 0; i < 8; ++i) {
        if (i > 0) out.push_back(':');
        AppendHexWord(out, w[i]);
    }
}

void AppendIPv6Compressed(std::string& out, const std::array<uint16_t, 8>& w) {
    int bestStart = -1;
    int bestLen = 0;
    int runStart = -1;
    for (int i = 0; i < 8; ++i) {
        if (w[i] == 0) {
            if (runStart < 0) runStart = i;
            continue;
        }
        if (runStart >= 0) {
            const int len = i - runStart;
            if (len >= 2 && len > bestLen) {
                bestStart = runStart;
                bestLen = len;
            }
            runStart = -1;
        }
    }
    // A run reaching the last word only counts when no earlier run was taken.
    if (runStart >= 0 && bestLen == 0 && 8 - runStart >= 2) {
        bestStart = runStart;
        bestLen = 8 - runStart;
    }
    if (bestLen == 0) {
        AppendIPv6Expanded(out, w);
        return;
    }
    if (bestStart == 0) {
        out.push_back(':');
    } else {
        for (int i = 0; i < bestStart; ++i) {
            AppendHexWord(out, w[static_cast<size_t>(i)]);
            out.push_back(':');
        }
    }
    out.push_back(':');
    for (int i = bestStart + bestLen; i < 8; ++i) {
        if (i > bestStart + bestLen) out.push_back(':');
        AppendHexWord(out, w[static_cast<size_t>(i)]);
    }
}

void AppendSeparator(std::string& out, bool noSpaces) { out += noSpaces ? "-" : " - "; }

// Dotted IPv4 text: four non-empty "."-separated parts (empty pieces are skipped), digits
// and dots only, no leading zeros, each part 0 to 255.
bool ParseIPv4Text(std::string_view s, uint32_t& value) {
    if (s.empty()) return false;
    for (char c : s)
        if (!IsDigit(c) && c != '.') return false;
    uint32_t v = 0;
    int parts = 0;
    size_t pos = 0;
    while (pos <= s.size()) {
        size_t end = s.find('.', pos);
        if (end == std::string_view::npos) end = s.size();
        const std::string_view part = s.substr(pos, end - pos);
        pos = end + 1;
        if (part.empty()) continue;
        if (parts == 4) return false;
        if (part.size() > 1 && part[0] == '0') return false;
        if (part.size() > 3) return false;
        const uint64_t n = LenientNumber(part, 10);
        if (n > 255) return false;
        v = (v << 8) | static_cast<uint32_t>(n);
        ++parts;
    }
    if (parts != 4) return false;
    value = v;
    return true;
}

// Splits at ':' into at most `limit` fields; false when there are more.
bool SplitColonFields(std::string_view s, std::string_view* fields, size_t limit, size_t& count) {
    count = 0;
    if (s.empty()) return true;
    size_t pos = 0;
    while (true) {
        if (count == limit) return false;
        const size_t end = s.find(':', pos);
        if (end == std::string_view::npos) {
            fields[count++] = s.substr(pos);
            return true;
        }
        fields[count++] = s.substr(pos, end - pos);
        pos = end + 1;
    }
}

// IPv6 text with an optional trailing dotted IPv4 part. Validity:
//  - at least two characters from 0-9 a-f A-F : . /, not beginning or ending with ".";
//    a ":" at either end belongs to a "::"; "::" at most once; "/" only as first character;
//  - without a dot: with "::" at most seven fields (the "::" counting as one ":"),
//    without "::" exactly eight;
//  - with a dot: the text after the last ":" is a valid IPv4 text and holds every dot;
//    with "::" at most seven fields, without it six words and the IPv4 part;
//  - every hexadecimal field has at most four characters.
bool ParseIPv6Text(std::string_view s, std::array<uint16_t, 8>& words) {
    const size_t n = s.size();
    if (n < 2) return false;
    size_t colons = 0;
    for (size_t i = 0; i < n; ++i) {
        const char c = s[i];
        if (c == ':') {
            ++colons;
        } else if (c == '/') {
            if (i != 0) return false;
        } else if (c != '.' && HexDigitValue(c) < 0) {
            return false;
        }
    }
    if (s.front() == '.' || s.back() == '.') return false;
    if (s.front() == ':' && s[1] != ':') return false;
    if (s.back() == ':' && s[n - 2] != ':') return false;
    size_t doubleColons = 0;
    size_t dc = std::string_view::npos;
    for (size_t i = 0; i + 1 < n; ++i) {
        if (s[i] == ':' && s[i + 1] == ':') {
            if (dc == std::string_view::npos) dc = i;
            ++doubleColons;
        }
    }
    if (doubleColons > 1) return false;

    const size_t firstDot = s.find('.');
    const bool dotted = firstDot != std::string_view::npos;
    uint32_t v4 = 0;
    std::string_view hexText = s;
    if (dotted) {
        const size_t lastColon = s.rfind(':');
        if (lastColon == std::string_view::npos || firstDot < lastColon) return false;
        if (!ParseIPv4Text(s.substr(lastColon + 1), v4)) return false;
        // The hexadecimal part keeps its trailing ":" when it closes a "::".
        hexText = s.substr(0, (dc != std::string_view::npos && dc + 1 == lastColon) ? lastColon + 1 : lastColon);
    }
    const size_t targetWords = dotted ? 6 : 8;
    // Fields of the whole text, the IPv4 part counting as one and "::" as one ":".
    const size_t fieldCount = dc != std::string_view::npos ? colons : colons + 1;
    if (dc != std::string_view::npos) {
        if (fieldCount > 7) return false;
    } else if (fieldCount != (dotted ? 7u : 8u)) {
        return false;
    }

    std::string_view left[9];
    std::string_view right[9];
    size_t nl = 0;
    size_t nr = 0;
    if (dc != std::string_view::npos) {
        if (!SplitColonFields(hexText.substr(0, dc), left, 9, nl)) return false;
        if (!SplitColonFields(hexText.substr(std::min(dc + 2, hexText.size())), right, 9, nr)) return false;
    } else {
        if (!SplitColonFields(hexText, left, 9, nl)) return false;
    }
    if (nl + nr > targetWords) return false;
    if (dc == std::string_view::npos && nl != targetWords) return false;
    std::array<uint16_t, 8> w{};
    size_t k = 0;
    for (size_t i = 0; i < nl; ++i) {
        if (left[i].empty() || left[i].size() > 4) return false;
        w[k++] = static_cast<uint16_t>(LenientNumber(left[i], 16));
    }
    k += targetWords - nl - nr;  // the words "::" stands for
    for (size_t i = 0; i < nr; ++i) {
        if (right[i].empty() || right[i].size() > 4) return false;
        w[k++] = static_cast<uint16_t>(LenientNumber(right[i], 16));
    }
    if (dotted) {
        w[6] = static_cast<uint16_t>(v4 >> 16);
        w[7] = static_cast<uint16_t>(v4 & 0xFFFF);
    }
    words = w;
    return true;
}

[[noreturn]] void Fail(std::string message) { throw tAssertionError(std::move(message)); }

std::pair<std::string_view, std::string_view> SplitAtFirst(std::string_view s, char c) {
    const size_t p = s.find(c);
    if (p == std::string_view::npos) return {s, std::string_view{}};
    return {s.substr(0, p), s.substr(p + 1)};
}

tIPAddressKey MakeIPAddressKey(uint8_t version, const tIPv4Address& v4, const tIPv6Address& v6) {
    tIPAddressKey key;
    if (version == 6) {
        key.Words = v6.ValueAsWordStruct;
        key.Version = 6;
    } else {
        key.Words[6] = static_cast<uint16_t>(v4.ValueAsLong >> 16);
        key.Words[7] = static_cast<uint16_t>(v4.ValueAsLong & 0xFFFF);
        key.Version = 4;
    }
    return key;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// tMACAddress, tMACAddressPair

std::string tMACAddress::asString(std::string_view Separator, bool ForceLowercase) const {
    const char* digits = ForceLowercase ? kHexLower : kHexUpper;
    std::string out;
    out.reserve(12 + 5 * Separator.size());
    for (size_t i = 0; i < 6; ++i) {
        if (i > 0) out += Separator;
        out.push_back(digits[RangeBytes[i] >> 4]);
        out.push_back(digits[RangeBytes[i] & 0xF]);
    }
    return out;
}

void tMACAddress::setfromString(std::string_view Address, std::string_view separator) {
    if (separator.empty() || Address.find(separator) == std::string_view::npos) {
        setfromString(Address);
        return;
    }
    RangeBytes = {};
    size_t pos = 0;
    for (size_t i = 0; i < 6 && pos <= Address.size(); ++i) {
        size_t end = Address.find(separator, pos);
        if (end == std::string_view::npos) end = Address.size();
        RangeBytes[i] = static_cast<uint8_t>(LenientNumber(Address.substr(pos, end - pos), 16));
        pos = end + separator.size();
    }
}

void tMACAddress::setfromString(std::string_view Address) {
    RangeBytes = {};
    for (size_t i = 0; i < 6 && 2 * i < Address.size(); ++i)
        RangeBytes[i] = static_cast<uint8_t>(LenientNumber(Address.substr(2 * i, 2), 16));
}

void tMACAddressPair::initialize(std::string_view value) {
    auto [src, dst] = SplitAtFirst(value, '=');
    auto read = [](std::string_view text, tMACAddress& mac) {
        std::string t(text);
        std::replace(t.begin(), t.end(), '-', ':');
        mac.setfromString(t, ":");
    };
    read(src, Source);
    read(dst, Destination);
    VLANID = 0;
}

std::string tMACAddressPair::asString(std::string_view Separator, bool /*ForceLowercase*/) const {
    return Source.asString(Separator, true) + "-" + Destination.asString(Separator, true);
}

std::string tMACAddressPair::DictionaryKey() const {
    tMACAddressPair n = *this;
    n.normalize();
    return n.asString(":", true);
}

tMACAddressPairKey tMACAddressPair::BinaryKey() const {
    tMACAddressPair n = *this;
    n.normalize();
    tMACAddressPairKey key;
    std::copy(n.Source.RangeBytes.begin(), n.Source.RangeBytes.end(), key.Bytes.begin());
    std::copy(n.Destination.RangeBytes.begin(), n.Destination.RangeBytes.end(), key.Bytes.begin() + 6);
    return key;
}

bool tMACAddressPair::operator==(const tMACAddressPair& o) const {
    if (VLANID != o.VLANID) return false;
    return (Source == o.Source && Destination == o.Destination) || (Source == o.Destination && Destination == o.Source);
}

bool tMACAddressPair::operator<(const tMACAddressPair& o) const {
    if (VLANID != o.VLANID) return VLANID < o.VLANID;
    return Source == o.Source ? Destination < o.Destination : Source < o.Source;
}

// ---------------------------------------------------------------------------------------
// tIPv4Address, tIPv4AddressPair

std::string tIPv4Address::ValueAsString() const {
    std::string out;
    out.reserve(15);
    AppendIPv4(out, ValueAsLong);
    return out;
}

std::string tIPv4Address::ValueAsCIDRString() const {
    std::string out = ValueAsString();
    out.push_back('/');
    AppendDecimal(out, MaskBitCount);
    return out;
}

bool tIPv4Address::IsValidText(std::string_view text) {
    uint32_t v;
    return ParseIPv4Text(text, v);
}

void tIPv4Address::setValueFromString(std::string_view IPAddress, uint8_t MaskBits) {
    uint32_t v;
    if (!ParseIPv4Text(IPAddress, v))
        Fail("Invalid IPv4 string: \"" + std::string(IPAddress) + "\" (tIPv4Address.setValueFromString)");
    ValueAsLong = v;
    MaskBitCount = MaskBits;
}

void tIPv4Address::setValueFromCIDRString(std::string_view IPAddress) {
    const size_t slash = IPAddress.find('/');
    if (slash == std::string_view::npos) Fail("Error: Invalid IPv4 address CIDR format detected.");
    setValueFromString(IPAddress.substr(0, slash), static_cast<uint8_t>(LenientNumber(IPAddress.substr(slash + 1), 10)));
}

uint32_t tIPv4Address::MaskAsLong() const {
    if (MaskBitCount == 0) return 0;
    if (MaskBitCount >= 32) return 0xFFFFFFFFu;
    return ~uint32_t{0} << (32 - MaskBitCount);
}

void tIPv4Address::setMaskFromLong(uint32_t Value) { MaskBitCount = static_cast<uint8_t>(__builtin_popcount(Value)); }

tIPv4Address tIPv4Address::LowestNetIP() const {
    tIPv4Address r;
    r.initialize(ValueAsLong & MaskAsLong(), 32);
    return r;
}

bool tIPv4Address::IsBroadcast() const {
    if (MaskBitCount == 32) return ValueAsLong == 0xFFFFFFFFu;
    return (ValueAsLong | MaskAsLong()) == 0xFFFFFFFFu;
}

void tIPv4AddressPair::initialize(std::string_view value, bool SetCIDR) {
    auto [src, dst] = SplitAtFirst(value, '=');
    if (SetCIDR) {
        Source.setValueFromCIDRString(src);
        Destination.setValueFromCIDRString(dst);
    } else {
        Source.setValueFromString(src, 32);
        Destination.setValueFromString(dst, 32);
    }
}

std::string tIPv4AddressPair::ValueAsString(bool NoSpaces) const {
    std::string out;
    out.reserve(33);
    AppendIPv4(out, Source.ValueAsLong);
    AppendSeparator(out, NoSpaces);
    AppendIPv4(out, Destination.ValueAsLong);
    return out;
}

std::string tIPv4AddressPair::DictionaryKey() const {
    tIPv4AddressPair n = *this;
    n.normalize();
    return n.ValueAsString(true);
}

tIPv4AddressPairKey tIPv4AddressPair::BinaryKey() const {
    tIPv4AddressPair n = *this;
    n.normalize();
    return tIPv4AddressPairKey{n.Source.ValueAsLong, n.Destination.ValueAsLong};
}

// ---------------------------------------------------------------------------------------
// tIPv6Address, tIPv6AddressPair

std::array<uint8_t, 16> tIPv6Address::ValueAsByteStruct() const {
    std::array<uint8_t, 16> b{};
    for (size_t i = 0; i < 8; ++i) {
        b[2 * i] = static_cast<uint8_t>(ValueAsWordStruct[i] >> 8);
        b[2 * i + 1] = static_cast<uint8_t>(ValueAsWordStruct[i] & 0xFF);
    }
    return b;
}

std::string tIPv6Address::ValueAsString() const {
    std::string out;
    out.reserve(39);
    AppendIPv6Compressed(out, ValueAsWordStruct);
    return out;
}

std::string tIPv6Address::ValueAsSlashedNotationString() const {
    std::string out = ValueAsString();
    out.push_back('/');
    AppendDecimal(out, MaskBitCount);
    return out;
}

std::string tIPv6Address::getExpandedValue() const {
    std::string out;
    out.reserve(39);
    AppendIPv6Expanded(out, ValueAsWordStruct);
    return out;
}

bool tIPv6Address::IsValidText(std::string_view text) {
    std::array<uint16_t, 8> w;
    return ParseIPv6Text(text, w);
}

void tIPv6Address::setValueFromString(std::string_view IPAddress, uint8_t PrefixLength) {
    std::array<uint16_t, 8> w;
    if (!ParseIPv6Text(IPAddress, w)) Fail("Error: Invalid IPv6 address format detected: " + std::string(IPAddress));
    ValueAsWordStruct = w;
    MaskBitCount = PrefixLength;
}

void tIPv6Address::setValueFromStringWithMask(std::string_view IPAddress) {
    const size_t slash = IPAddress.find('/');
    if (slash == std::string_view::npos) Fail("Error: Invalid IPv6 address slashed notation format detected.");
    setValueFromString(IPAddress.substr(0, slash), static_cast<uint8_t>(LenientNumber(IPAddress.substr(slash + 1), 10)));
}

int tIPv6Address::getEmptyHostBitCount() const {
    int count = 0;
    for (int i = 7; i >= 0; --i) {
        const uint16_t w = ValueAsWordStruct[static_cast<size_t>(i)];
        if (w == 0) {
            count += 16;
            continue;
        }
        // Ones followed by zeros: the inverted word plus one is a power of two.
        const uint16_t inverted = static_cast<uint16_t>(~w);
        const uint32_t next = uint32_t{inverted} + 1;
        if ((next & (next - 1)) == 0 && (w & 0x8000) != 0) count += __builtin_ctz(w);
        break;
    }
    return count;
}

bool tIPv6Address::IsPrefixInformation() const { return MaskBitCount <= 64 && MaskBitCount == getEmptyHostBitCount(); }

void tIPv6AddressPair::initialize(std::string_view value, bool SetCIDR) {
    auto [src, dst] = SplitAtFirst(value, '=');
    if (SetCIDR) {
        Source.setValueFromStringWithMask(src);
        Destination.setValueFromStringWithMask(dst);
    } else {
        Source.setValueFromString(src, 64);
        Destination.setValueFromString(dst, 64);
    }
}

std::string tIPv6AddressPair::ValueAsString(bool NoSpaces) const {
    std::string out;
    out.reserve(81);
    AppendIPv6Compressed(out, Source.ValueAsWordStruct);
    AppendSeparator(out, NoSpaces);
    AppendIPv6Compressed(out, Destination.ValueAsWordStruct);
    return out;
}

std::string tIPv6AddressPair::getExpandedValue(bool NoSpaces) const {
    std::string out;
    out.reserve(81);
    AppendIPv6Expanded(out, Source.ValueAsWordStruct);
    AppendSeparator(out, NoSpaces);
    AppendIPv6Expanded(out, Destination.ValueAsWordStruct);
    return out;
}

std::string tIPv6AddressPair::DictionaryKey() const {
    tIPv6AddressPair n = *this;
    n.normalize();
    return n.getExpandedValue(true);
}

tIPv6AddressPairKey tIPv6AddressPair::BinaryKey() const {
    tIPv6AddressPair n = *this;
    n.normalize();
    tIPv6AddressPairKey key;
    std::copy(n.Source.ValueAsWordStruct.begin(), n.Source.ValueAsWordStruct.end(), key.Words.begin());
    std::copy(n.Destination.ValueAsWordStruct.begin(), n.Destination.ValueAsWordStruct.end(), key.Words.begin() + 8);
    return key;
}

// ---------------------------------------------------------------------------------------
// Typed sockets and their pairs

void tIPv4Socket::initialize(std::string_view Value) {
    VLANID = 0;
    const size_t colon = Value.find(':');
    if (colon == std::string_view::npos) {
        IPAddress.setValueFromString(Value, 32);
        Port = 0;
        return;
    }
    IPAddress.setValueFromString(Value.substr(0, colon), 32);
    Port = static_cast<uint16_t>(LenientNumber(Value.substr(colon + 1), 10));
}

std::string tIPv4Socket::ValueAsString() const {
    std::string out;
    out.reserve(21);
    AppendIPv4(out, IPAddress.ValueAsLong);
    out.push_back(':');
    AppendDecimal(out, Port);
    return out;
}

bool tIPv4Socket::IsValidText(std::string_view text) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos) return false;
    return tIPv4Address::IsValidText(text.substr(0, colon)) && IsValidPortText(text.substr(colon + 1));
}

std::string tIPv4SocketPair::ValueAsString(bool NoSpaces) const {
    std::string out = Source.ValueAsString();
    AppendSeparator(out, NoSpaces);
    out += Destination.ValueAsString();
    return out;
}

std::string tIPv4SocketPair::DictionaryKey() const {
    tIPv4SocketPair n = *this;
    n.normalize();
    return n.ValueAsString(true);
}

tIPv4SocketPairKey tIPv4SocketPair::BinaryKey() const {
    tIPv4SocketPair n = *this;
    n.normalize();
    return tIPv4SocketPairKey{n.Source.IPAddress.ValueAsLong, n.Destination.IPAddress.ValueAsLong, n.Source.Port,
                              n.Destination.Port};
}

void tIPv6Socket::initialize(std::string_view Value) {
    VLANID = 0;
    const size_t close = Value.find("]:");
    if (close != std::string_view::npos) {
        const size_t start = (!Value.empty() && Value[0] == '[') ? 1 : 0;
        IPAddress.setValueFromString(Value.substr(start, close >= start ? close - start : 0), 64);
        Port = static_cast<uint16_t>(LenientNumber(Value.substr(close + 2), 10));
        return;
    }
    if (std::count(Value.begin(), Value.end(), ':') == 8) {
        const size_t last = Value.rfind(':');
        IPAddress.setValueFromString(Value.substr(0, last), 64);
        Port = static_cast<uint16_t>(LenientNumber(Value.substr(last + 1), 10));
        return;
    }
    if (tIPv6Address::IsValidText(Value)) {
        IPAddress.setValueFromString(Value, 64);
        return;
    }
    Fail("Cannot initialize IPv6 Socket (tIPv6Socket.initialize)");
}

std::string tIPv6Socket::ValueAsString() const {
    std::string out;
    out.reserve(47);
    out.push_back('[');
    AppendIPv6Compressed(out, IPAddress.ValueAsWordStruct);
    out += "]:";
    AppendDecimal(out, Port);
    return out;
}

std::string tIPv6Socket::getExpandedValue() const {
    std::string out;
    out.reserve(47);
    out.push_back('[');
    AppendIPv6Expanded(out, IPAddress.ValueAsWordStruct);
    out += "]:";
    AppendDecimal(out, Port);
    return out;
}

bool tIPv6Socket::IsValidBracketedText(std::string_view text) {
    if (text.empty() || text[0] != '[') return false;
    const size_t close = text.find("]:");
    if (close == std::string_view::npos) return false;
    return tIPv6Address::IsValidText(text.substr(1, close - 1)) && IsValidPortText(text.substr(close + 2));
}

std::string tIPv6SocketPair::ValueAsString(bool NoSpaces) const {
    std::string out = Source.ValueAsString();
    AppendSeparator(out, NoSpaces);
    out += Destination.ValueAsString();
    return out;
}

std::string tIPv6SocketPair::getExpandedValue(bool NoSpaces) const {
    std::string out = Source.getExpandedValue();
    AppendSeparator(out, NoSpaces);
    out += Destination.getExpandedValue();
    return out;
}

std::string tIPv6SocketPair::DictionaryKey() const {
    tIPv6SocketPair n = *this;
    n.normalize();
    return n.getExpandedValue(true);
}

std::string tIPv6SocketPair::CompactKeyText() const {
    std::string key = DictionaryKey();
    key.erase(std::remove(key.begin(), key.end(), ':'), key.end());
    return key;
}

tIPv6SocketPairKey tIPv6SocketPair::BinaryKey() const {
    tIPv6SocketPair n = *this;
    n.normalize();
    tIPv6SocketPairKey key;
    std::copy(n.Source.IPAddress.ValueAsWordStruct.begin(), n.Source.IPAddress.ValueAsWordStruct.end(), key.Words.begin());
    std::copy(n.Destination.IPAddress.ValueAsWordStruct.begin(), n.Destination.IPAddress.ValueAsWordStruct.end(),
              key.Words.begin() + 8);
    key.SourcePort = n.Source.Port;
    key.DestinationPort = n.Destination.Port;
    return key;
}

// ---------------------------------------------------------------------------------------
// tIPAddress, tIPAddressPair, tIPSocket, tIPSocketPair

std::string tIPAddress::ValueAsString() const {
    return IPVersion == 6 ? IPv6Address.ValueAsString() : IPv4Address.ValueAsString();
}

std::string tIPAddress::DictionaryKey() const {
    return IPVersion == 6 ? IPv6Address.getExpandedValue() : IPv4Address.ValueAsString();
}

tIPAddressKey tIPAddress::BinaryKey() const { return MakeIPAddressKey(IPVersion, IPv4Address, IPv6Address); }

void tIPAddress::setValueFromString(std::string_view IPAddress, uint8_t MaskBits) {
    *this = tIPAddress{};
    uint32_t v4;
    std::array<uint16_t, 8> v6;
    if (ParseIPv4Text(IPAddress, v4)) {
        IPVersion = 4;
        IPv4Address.initialize(v4, MaskBits == 0 ? 32 : MaskBits);
    } else if (ParseIPv6Text(IPAddress, v6)) {
        IPVersion = 6;
        IPv6Address.initialize(v6, MaskBits == 0 ? 64 : MaskBits);
    }
}

std::string tIPAddressPair::ValueAsString(bool NoSpaces) const {
    std::string out = Source.ValueAsString();
    AppendSeparator(out, NoSpaces);
    out += Destination.ValueAsString();
    return out;
}

tIPAddressPairKey tIPAddressPair::BinaryKey() const {
    tIPAddressPair n = *this;
    n.normalize();
    return tIPAddressPairKey{n.Source.BinaryKey(), n.Destination.BinaryKey()};
}

void tIPSocket::initialize(std::string_view Value) {
    *this = tIPSocket{};
    if (tIPv4Socket::IsValidText(Value)) {
        tIPv4Socket s;
        s.initialize(Value);
        initialize(s);
    } else if (tIPv6Socket::IsValidBracketedText(Value)) {
        tIPv6Socket s;
        s.initialize(Value);
        initialize(s);
    }
}

std::string tIPSocket::ValueAsString() const {
    std::string out = IPAddress.ValueAsString();
    out.push_back(':');
    AppendDecimal(out, Port);
    return out;
}

bool tIPSocketPair::IsValidText(std::string_view text) {
    const size_t eq = text.find('=');
    if (eq == std::string_view::npos || text.find('=', eq + 1) != std::string_view::npos) return false;
    const std::string_view a = text.substr(0, eq);
    const std::string_view b = text.substr(eq + 1);
    const bool a4 = tIPv4Socket::IsValidText(a);
    const bool b4 = tIPv4Socket::IsValidText(b);
    if (a4 || b4) return a4 && b4;
    return tIPv6Socket::IsValidBracketedText(a) && tIPv6Socket::IsValidBracketedText(b);
}

void tIPSocketPair::initialize(std::string_view value) {
    if (!IsValidText(value))
        Fail("Not a valid socket pair: \"" + std::string(value) + "\" (tIPSocketPair.initialize)");
    const size_t eq = value.find('=');
    Source.initialize(value.substr(0, eq));
    Destination.initialize(value.substr(eq + 1));
}

std::string tIPSocketPair::ValueAsString(bool /*NoSpaces*/) const {
    switch (Source.IPAddress.IPVersion) {
        case 4: return getIPv4SocketPair().DictionaryKey();
        case 6: return getIPv6SocketPair().CompactKeyText();
        default: Fail("Invalid socket IP version 0 (tIPSocketPair.ValueAsString)");
    }
}

std::string tIPSocketPair::DictionaryKey() const {
    tIPSocketPair n = *this;
    n.normalize();
    switch (n.Source.IPAddress.IPVersion) {
        case 4: return n.getIPv4SocketPair().DictionaryKey();
        case 6: return n.getIPv6SocketPair().DictionaryKey();
        default: Fail("Invalid socket IP version 0 (tIPSocketPair.ValueAsString)");
    }
}

tIPSocketPairKey tIPSocketPair::BinaryKey() const {
    tIPSocketPair n = *this;
    n.normalize();
    tIPSocketPairKey key;
    switch (n.Source.IPAddress.IPVersion) {
        case 4: {
            const tIPv4SocketPairKey k = n.getIPv4SocketPair().BinaryKey();
            key.Words[6] = static_cast<uint16_t>(k.SourceIP >> 16);
            key.Words[7] = static_cast<uint16_t>(k.SourceIP & 0xFFFF);
            key.Words[14] = static_cast<uint16_t>(k.DestinationIP >> 16);
            key.Words[15] = static_cast<uint16_t>(k.DestinationIP & 0xFFFF);
            key.SourcePort = k.SourcePort;
            key.DestinationPort = k.DestinationPort;
            key.Version = 4;
            return key;
        }
        case 6: {
            const tIPv6SocketPairKey k = n.getIPv6SocketPair().BinaryKey();
            key.Words = k.Words;
            key.SourcePort = k.SourcePort;
            key.DestinationPort = k.DestinationPort;
            key.Version = 6;
            return key;
        }
        default: Fail("Invalid socket IP version 0 (tIPSocketPair.ValueAsString)");
    }
}

// ---------------------------------------------------------------------------------------
// Client side by ports

bool IsListedServerPort(uint16_t port) {
    switch (port) {
        case 1025: case 1080: case 1194: case 1433: case 1434: case 1494: case 1701: case 1723:
        case 1812: case 1813: case 1900: case 2598: case 3128: case 3306: case 3389: case 5432:
        case 5480: case 5800: case 5900: case 6000: case 6001: case 8080: case 9443:
            return true;
        default:
            return false;
    }
}

tIPAddress ClientAddressByPorts(const tIPSocketPair& pair) {
    const uint16_t src = pair.Source.Port;
    const uint16_t dst = pair.Destination.Port;
    if (src <= 1024 && dst >= 1026) return pair.Destination.IPAddress;
    if (src >= 1026 && dst <= 1024) return pair.Source.IPAddress;
    tIPAddress client;
    if (IsListedServerPort(src)) client = pair.Destination.IPAddress;
    if (IsListedServerPort(dst)) client = pair.Source.IPAddress;
    return client;
}

// ---------------------------------------------------------------------------------------
// t5Tuple

void t5Tuple::initialize(const tIPSocketPair& pair, tLayer4Protocol protocol) {
    *this = t5Tuple{};
    Layer4Protocol = protocol;
    switch (pair.Source.IPAddress.IPVersion) {
        case 4:
            IPVersion = 4;
            IPv4SocketPair = pair.getIPv4SocketPair();
            break;
        case 6:
            IPVersion = 6;
            IPv6SocketPair = pair.getIPv6SocketPair();
            break;
        default:
            break;
    }
}

std::string t5Tuple::DictionaryKey() const {
    switch (IPVersion) {
        case 4: return std::string(Layer4ProtocolToString(Layer4Protocol)) + IPv4SocketPair.DictionaryKey();
        case 6: return std::string(Layer4ProtocolToString(Layer4Protocol)) + IPv6SocketPair.DictionaryKey();
        default: return "undefined";
    }
}

t5TupleKey t5Tuple::BinaryKey() const {
    t5TupleKey key;
    if (IPVersion != 4 && IPVersion != 6) return key;
    tIPSocketPair p;
    if (IPVersion == 4)
        p.initialize(IPv4SocketPair);
    else
        p.initialize(IPv6SocketPair);
    key.Pair = p.BinaryKey();
    key.Layer4Protocol = Layer4Protocol;
    return key;
}

// ---------------------------------------------------------------------------------------
// tFQDN, tNameResolutionAnswer

void tFQDN::setFQDN(std::string_view NewValue) {
    FullFQDN = std::string(NewValue);
    FullFQDNBackwards.clear();
    Elements.clear();
    ElementCount = 0;
    if (NewValue.find_first_not_of(" \t\r\n") == std::string_view::npos) return;
    std::vector<std::string_view> labels;
    size_t pos = 0;
    while (true) {
        const size_t dot = NewValue.find('.', pos);
        if (dot == std::string_view::npos) {
            labels.push_back(NewValue.substr(pos));
            break;
        }
        labels.push_back(NewValue.substr(pos, dot - pos));
        pos = dot + 1;
    }
    ElementCount = static_cast<uint16_t>(std::min<size_t>(labels.size(), 0xFFFF));
    Elements.reserve(labels.size());
    for (std::string_view label : labels) Elements.emplace_back(label.substr(0, 63));
    // The reversed name uses the labels in full, so distinct long names stay distinct.
    FullFQDNBackwards.reserve(NewValue.size());
    for (size_t i = labels.size(); i-- > 0;) {
        FullFQDNBackwards += labels[i];
        if (i > 0) FullFQDNBackwards.push_back('.');
    }
}

std::string tNameResolutionAnswer::asString() const {
    switch (AnswerType) {
        case nraIPAddress: return IPAddress.ValueAsString();
        case nraFQDN: return FQDN.FullFQDN;
        case nraText: return TextValue;
        default: return std::string();
    }
}

std::string tNameResolutionAnswer::DictionaryKey() const {
    std::string key;
    AppendDecimal(key, static_cast<uint32_t>(AnswerType));
    key.push_back(':');
    key += asString();
    return key;
}

}  // namespace morwick
