#pragma once

// The pacing of the capture benchmarks' senders: in 1 ms steps, each step
// sends what the rate owes so far, so a short stall is made up at once.

#include <algorithm>
#include <chrono>
#include <thread>

// sendSome(next, owed) sends up to owed packets, next being the number of
// the first, and says how many it sent; 0 or less ends that step. Returns
// how many were sent in all.
template <typename SendSome> long SendPaced(long rate, double seconds, SendSome sendSome) {
    const long total = static_cast<long>(rate * seconds);
    const auto start = std::chrono::steady_clock::now();
    long sent = 0;
    while (sent < total) {
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const long owed = std::min(total, static_cast<long>(elapsed * rate) + 1);
        while (sent < owed) {
            const long done = sendSome(sent, owed - sent);
            if (done <= 0)
                break;
            sent += done;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return sent;
}
