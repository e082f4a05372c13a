#pragma once
// A file being written that must not outlive an interruption of the program. While a
// tRemoveOnInterrupt guard lives, SIGINT, SIGTERM and SIGHUP first remove its file (and
// the file's "-journal" companion), then end the program as the signal would have.
// One guard at a time; a second one replaces the first until it ends.
#include <string>

namespace morwick {

class tRemoveOnInterrupt {
public:
    explicit tRemoveOnInterrupt(const std::string& Path);
    ~tRemoveOnInterrupt();
    tRemoveOnInterrupt(const tRemoveOnInterrupt&) = delete;
    tRemoveOnInterrupt& operator=(const tRemoveOnInterrupt&) = delete;
};

}  // namespace morwick
