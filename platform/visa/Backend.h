#pragma once
// What a session needs from its transport. The session layer (Visa.cpp) owns
// ids, attributes and files; a backend only moves bytes.

#include "visa.h"

#include <chrono>
#include <cstddef>
#include <vector>

namespace Visa {

// One time limit for a whole call, however many system calls it takes.
class Deadline {
public:
    static Deadline After(ViUInt32 timeoutMs);
    static Deadline Now() { return After(VI_TMO_IMMEDIATE); }
    bool Infinite() const { return infinite_; }
    // Milliseconds left, rounded up, for poll(): -1 when infinite, 0 when over.
    int PollMs() const;
    // Milliseconds left as a transport time-out argument, at least `floorMs`.
    ViUInt32 RemainingMs(ViUInt32 floorMs = 0) const;

private:
    bool infinite_ = false;
    std::chrono::steady_clock::time_point at_{};
};

struct IoResult {
    ViStatus status = VI_SUCCESS;
    ViUInt32 count = 0;
};

class Backend {
public:
    virtual ~Backend() = default;
    // `end`: the last byte ends the message.
    virtual IoResult Write(const ViByte* data, ViUInt32 count, bool end, const Deadline& d) = 0;
    virtual IoResult Read(ViByte* buf, ViUInt32 count, const Deadline& d) = 0;
    virtual ViStatus Clear(const Deadline& d) = 0;
    virtual ViStatus ReadStb(ViUInt16& stb, const Deadline& d) = 0;
};

// The status byte in an answer to "*STB?" ("+32", " 0\r\n", ...); false when
// the answer does not begin with a number from 0 to 255.
bool ParseStatusByte(const ViByte* answer, std::size_t length, ViUInt16& stb);

// Transports that end each response themselves (VXI-11, USBTMC): a receive
// returns fewer bytes than asked for only when the response ended. Asking for
// one byte more than the caller wants tells a response that fits exactly from
// one that goes on; that byte is kept for the next read.
class MessageBackend : public Backend {
public:
    IoResult Read(ViByte* buf, ViUInt32 count, const Deadline& d) final;

protected:
    // At most `size` bytes; fewer only at the end of a response.
    virtual IoResult Receive(ViByte* buf, ViUInt32 size, const Deadline& d) = 0;

    // Reads and drops the rest of a partly read response (bounded by `d`).
    void DiscardRest(const Deadline& d);
    // Forgets a partly read response without reading it.
    void DropInput();

private:
    std::vector<ViByte> held_; // received, not yet handed out
    bool heldEnds_ = false;    // the response ends with the last held byte
    bool inResponse_ = false;  // part of a response was handed out, its end was not
};

// Asks "*STB?" through `backend` and reads the answer.
ViStatus QueryStatusByte(Backend& backend, ViUInt16& stb, const Deadline& d);

} // namespace Visa
