#include "base/pseudoheaders.h"

#include <fmt/format.h>

#include "base/addresses.h"

namespace morwick {

std::string tIPv4PseudoHeader::getDebug() const {
    tIPv4Address src;
    tIPv4Address dst;
    src.initialize(Source);
    dst.initialize(Destination);
    return fmt::format("{},{},{},{}", src.ValueAsString(), dst.ValueAsString(), Protocol, L4Length);
}

std::string tIPv6PseudoHeader::getDebug() const {
    tIPv6Address src;
    tIPv6Address dst;
    src.initialize(Source);
    dst.initialize(Destination);
    return fmt::format("{},{},{},{}", src.ValueAsString(), dst.ValueAsString(), NextHeader, L4Length);
}

}  // namespace morwick
