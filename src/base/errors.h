#pragma once
// The two error kinds of the program. Both carry the complete message text; the entry
// prints the kind's name, ": " and the message. Nothing below the entry catches them,
// except the parse master, which contains any error of one frame.
#include <stdexcept>
#include <string>

namespace morwick {

class tMorwickError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    // Name printed before ": " by the entry's error handler.
    virtual const char* KindName() const noexcept = 0;
};

// Internal errors of value types and other "can't happen" conditions
// ("Invalid Offset (tFrameChunk.getByte)").
class tAssertionError : public tMorwickError {
public:
    using tMorwickError::tMorwickError;
    const char* KindName() const noexcept override { return "EAssertionFailed"; }
};

// Errors of file input and output, raised by the loaders
// ("Error: PCAP file too short (PCAPLoader.readTraceFileheader).").
class tInOutError : public tMorwickError {
public:
    using tMorwickError::tMorwickError;
    const char* KindName() const noexcept override { return "EInOutError"; }
};

}  // namespace morwick
