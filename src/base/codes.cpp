#include "base/codes.h"

#include <cctype>

namespace morwick {

std::string_view Layer4ProtocolToString(tLayer4Protocol value) {
    switch (value) {
        case l4Any: return "Any";
        case l4TCP: return "TCP";
        case l4UDP: return "UDP";
        case l4ICMP: return "ICMP";
        case l4TCPUDP: return "TCP/UDP";
        default: return "unknown";
    }
}

tLayer4Protocol StringToLayer4Protocol(std::string_view text) {
    auto is = [&](std::string_view name) {
        if (text.size() != name.size()) return false;
        for (size_t i = 0; i < text.size(); ++i)
            if (std::toupper(static_cast<unsigned char>(text[i])) != name[i]) return false;
        return true;
    };
    if (is("TCP")) return l4TCP;
    if (is("UDP")) return l4UDP;
    if (is("ICMP")) return l4ICMP;
    if (is("ANY")) return l4Any;
    if (is("TCP/UDP")) return l4TCPUDP;
    return l4unknown;
}

tLayer4Protocol IPProtocolToLayer4Protocol(uint8_t protocol) {
    switch (protocol) {
        case 1:
        case 58: return l4ICMP;
        case 6: return l4TCP;
        case 17: return l4UDP;
        default: return l4Any;
    }
}

}  // namespace morwick
