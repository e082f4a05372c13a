#pragma once
// Enumerations shared across layers and the fixed mappings between them and the numbers
// or names that are stored in the meta database.
#include <cstdint>
#include <string_view>

namespace morwick {

enum tLayer4Protocol : uint8_t { l4unknown, l4Any, l4TCP, l4UDP, l4ICMP, l4TCPUDP };

enum tNRAnswerType : uint8_t { nraUnknown, nraIPAddress, nraFQDN, nraText };

// "Any", "TCP", "UDP", "ICMP", "TCP/UDP"; anything else "unknown".
std::string_view Layer4ProtocolToString(tLayer4Protocol value);
// Compared after conversion to upper case; unrecognised texts give l4unknown.
tLayer4Protocol StringToLayer4Protocol(std::string_view text);
// IP protocol number: 1 and 58 ICMP, 6 TCP, 17 UDP, anything else l4Any.
tLayer4Protocol IPProtocolToLayer4Protocol(uint8_t protocol);

}  // namespace morwick
