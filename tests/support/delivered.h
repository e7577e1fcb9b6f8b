#pragma once
// Waiting until the other end of a TCP connection has taken in what was sent
// on it, so that a test knows the bytes (or the end of the connection) lie
// at the peer instead of guessing how long the kernel takes to hand them over.

#include "patience.h"

#include <chrono>
#include <functional>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <thread>

// Until the peer has acknowledged everything sent on `fd` (the end of the
// connection too, after a shutdown), the connection has broken, `giveUp`
// holds, or kPatientMs have passed; whether nothing is left unacknowledged.
inline bool Delivered(
    int fd, const std::function<bool()>& giveUp = [] { return false; }) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatientMs);
    for (;;) {
        pollfd p{fd, 0, 0};
        int unacknowledged = 0;
        if (::poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR)) != 0) return false;
        if (::ioctl(fd, SIOCOUTQ, &unacknowledged) != 0) return false;
        if (unacknowledged == 0) return true;
        if (giveUp() || std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}
