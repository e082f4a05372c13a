#include "base/conversation_types.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>

namespace morwick {

namespace {

// Database bit of each attribute, in attribute order.
constexpr std::array<uint32_t, 16> kAttributeBits = {
    32768,  // caSingleFrame
    16,     // caEthernetTrailerPresent
    1,      // caTimeOutOfOrder
    4,      // caOneSidedCommunication
    2,      // caMultipleInterfaces
    8,      // caSpansMultipleFiles
    32,     // caIPFragmented
    64,     // caTCPMultiSession
    4096,   // caTCPSYNBlocked
    128,    // caTCPMultiSYNRetry
    256,    // caTCPSYNReset
    2048,   // caTCPPortReused
    512,    // caAddressPairFlipped
    1024,   // caHardSliced
    8192,   // caNoQuickFilter
    16384,  // caMultiTTL
};

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

// Leading blanks and a sign are allowed; reading stops at the first character that is not
// a digit, keeping what was read (0 when nothing was).
int64_t LenientInteger(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    int64_t value = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        value = value * 10 + (s[i] - '0');
        if (value > (int64_t{1} << 40)) break;  // far beyond any index; stop before overflow
    }
    return negative ? -value : value;
}

template <typename R>
void InitializeCommon(R& r, int32_t FileIndex) {
    r.FirstFileID = FileIndex;
    r.LastFileID = FileIndex;
    r.OriginFileIndex = FileIndex;
}

}  // namespace

uint32_t AttributesToLong(tConversationAttributeSet Attributes) {
    uint32_t value = 0;
    for (size_t a = 0; a < kAttributeBits.size(); ++a)
        if (Attributes.has(static_cast<tConversationAttribute>(a))) value += kAttributeBits[a];
    return value;
}

tConversationAttributeSet LongToAttributes(int64_t Value) {
    tConversationAttributeSet set;
    for (size_t a = 0; a < kAttributeBits.size(); ++a)
        if ((Value & kAttributeBits[a]) != 0) set.add(static_cast<tConversationAttribute>(a));
    return set;
}

// ---- Interface entries and lists ----

void tInterfaceFileIDEntry::initialize(std::string_view ValueAsString) {
    *this = tInterfaceFileIDEntry{};
    const size_t slash = ValueAsString.find('/');
    const int64_t file = LenientInteger(Trim(ValueAsString.substr(0, slash)));
    if (file <= 0 || file > INT32_MAX) return;
    FileIndex = static_cast<int32_t>(file);
    if (slash == std::string_view::npos) return;
    std::string_view list = ValueAsString.substr(slash + 1);
    list = list.substr(0, list.find('/'));
    while (!list.empty()) {
        const size_t comma = list.find(',');
        const std::string_view piece = list.substr(0, comma);
        if (!Trim(piece).empty()) {
            // n mod 32 of the number as written (negative numbers count from the top).
            const int64_t n = LenientInteger(piece);
            MarkInterfaceIndexActive(static_cast<uint32_t>(((n % 32) + 32) % 32));
        }
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
}

std::string tInterfaceFileIDEntry::toString() const {
    std::string text;
    for (int bit = 0; bit < 32; ++bit) {
        if ((InterfaceFlags & (uint32_t{1} << bit)) == 0) continue;
        if (!text.empty()) text += ',';
        text += fmt::to_string(bit);
    }
    return text;
}

std::vector<int32_t> tInterfaceFileIDEntry::GetInterfaceIndexList() const {
    std::vector<int32_t> list;
    for (int bit = 0; bit < 32; ++bit)
        if ((InterfaceFlags & (uint32_t{1} << bit)) != 0) list.push_back(bit);
    return list;
}

void tInterfaceFileIDList::pushBackSlow(const tInterfaceFileIDEntry& Entry) {
    {
        if (priv_more.empty()) {
            priv_more.reserve(4);
            priv_more.push_back(priv_first);
        }
        priv_more.push_back(Entry);
    }
    ++priv_count;
}

bool tInterfaceFileIDList::operator==(const tInterfaceFileIDList& o) const {
    return std::equal(begin(), end(), o.begin(), o.end());
}

std::string InterfaceListToString(const tInterfaceFileIDList& List) {
    if (List.empty()) return {};
    if (List.size() == 1) return List[0].toString();
    std::string text;
    for (const auto& entry : List) {
        if (!text.empty()) text += ';';
        text += fmt::format("{}/{}", entry.FileIndex, entry.toString());
    }
    return text;
}

tInterfaceFileIDList InterfaceListFromString(std::string_view Text) {
    tInterfaceFileIDList list;
    if (Trim(Text).empty()) return list;
    for (;;) {
        const size_t semicolon = Text.find(';');
        tInterfaceFileIDEntry entry;
        entry.initialize(Text.substr(0, semicolon));
        list.push_back(entry);
        if (semicolon == std::string_view::npos) break;
        Text.remove_prefix(semicolon + 1);
    }
    return list;
}

void AddInterfaceEntry(tInterfaceFileIDList& List, const tInterfaceFileIDEntry& Entry) {
    for (auto& existing : List) {
        if (existing.FileIndex == Entry.FileIndex) {
            existing.InterfaceFlags |= Entry.InterfaceFlags;
            return;
        }
    }
    List.push_back(Entry);
}

void MergeInterfaceListInto(tInterfaceFileIDList& A, const tInterfaceFileIDList& B) {
    // With one entry each and the same file index this ors the flags, as the general case
    // does; the two rules agree.
    for (const auto& entry : B) AddInterfaceEntry(A, entry);
}

tInterfaceFileIDList MergeInterfaceLists(const tInterfaceFileIDList& A, const tInterfaceFileIDList& B) {
    tInterfaceFileIDList result = A;
    MergeInterfaceListInto(result, B);
    return result;
}

bool FileIndexExistsInList(const tInterfaceFileIDList& List, int32_t FileIndex) {
    return std::any_of(List.begin(), List.end(), [&](const auto& e) { return e.FileIndex == FileIndex; });
}

bool SameFileSet(const tInterfaceFileIDList& A, const tInterfaceFileIDList& B) {
    if (A.size() == 1 && B.size() == 1) return A[0].FileIndex == B[0].FileIndex;
    if (A.size() != B.size()) return false;
    return std::all_of(A.begin(), A.end(), [&](const auto& e) { return FileIndexExistsInList(B, e.FileIndex); });
}

// ---- Records ----

void tMACEndpoint::initialize(int32_t FileIndex) {
    *this = tMACEndpoint{};
    InitializeCommon(*this, FileIndex);
}
void tIPv4Endpoint::initialize(int32_t FileIndex) {
    *this = tIPv4Endpoint{};
    InitializeCommon(*this, FileIndex);
}
void tIPv6Endpoint::initialize(int32_t FileIndex) {
    *this = tIPv6Endpoint{};
    InitializeCommon(*this, FileIndex);
}
void tMACConversation::initialize(int32_t FileIndex) {
    *this = tMACConversation{};
    InitializeCommon(*this, FileIndex);
}
void tIPv4Conversation::initialize(int32_t FileIndex) {
    *this = tIPv4Conversation{};
    InitializeCommon(*this, FileIndex);
}
void tIPv6Conversation::initialize(int32_t FileIndex) {
    *this = tIPv6Conversation{};
    InitializeCommon(*this, FileIndex);
}
void tTCPConversation::initialize(int32_t FileIndex) {
    *this = tTCPConversation{};
    InitializeCommon(*this, FileIndex);
}
void tUDPConversation::initialize(int32_t FileIndex) {
    *this = tUDPConversation{};
    InitializeCommon(*this, FileIndex);
}
void tNameResolutionEntry::initialize(int32_t FileIndex) {
    *this = tNameResolutionEntry{};
    FirstFileID = FileIndex;
    LastFileID = FileIndex;
}

std::string tNameResolutionEntry::DictionaryKey() const {
    std::string name = FQDN.FullFQDN;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return fmt::format("{}{}{}-{}", name, isAnswer ? "-1-" : "-0-", Answer.DictionaryKey(),
                       ReturnCodeToNumber(ReplyCode));
}

// ---- Descriptions ----

std::string_view SessionStatusText(uint8_t SessionStatus) {
    static constexpr std::array<std::string_view, 12> kLabels = {
        "No Handshake or teardown",
        "SYN sent",
        "SYN/ACK sent",
        "SYN Two Way",
        "TCP half-open",
        "SYN rejected",
        "Handshake complete",
        "Handshake and Teardown",
        "Teardown",
        "TCP half-open then reset",
        "Client IP refused by server application",
        "New socket closed due to client inactivity",
    };
    return SessionStatus < kLabels.size() ? kLabels[SessionStatus] : std::string_view{};
}

std::string SessionDescription(uint8_t SessionStatus, tConversationAttributeSet Attributes) {
    std::string text(Attributes.has(caTimeOutOfOrder) ? std::string_view("Frames out-of-order")
                                                      : SessionStatusText(SessionStatus));
    if (Attributes.has(caTCPSYNReset)) {
        if (SessionStatus == 6) text = "Handshake complete after initial SYN reject";
        if (SessionStatus == 7) text = "Handshake and Teardown after initial SYN reject";
    } else if (Attributes.has(caTCPMultiSYNRetry)) {
        if (SessionStatus == 6) text = "Handshake complete after multi SYN retry";
        if (SessionStatus == 7) text = "Handshake and Teardown after multi SYN retry";
    }
    static constexpr std::pair<tConversationAttribute, std::string_view> kSuffixes[] = {
        {caTCPSYNBlocked, ", SYN blocked"},
        {caTCPPortReused, ", port reused"},
        {caSpansMultipleFiles, ", spans multiple files"},
        {caEthernetTrailerPresent, ", has Ethernet trailer"},
        {caIPFragmented, ", IP fragmented"},
        {caHardSliced, ", HardSliced"},
        {caMultiTTL, ", MultiTTL"},
    };
    for (const auto& [attribute, suffix] : kSuffixes)
        if (Attributes.has(attribute)) text += suffix;
    return text;
}

}  // namespace morwick
