#pragma once

// What each TCP socket and each process has sent and received since the
// traffic columns were switched on, from the counts of successive fetches and
// the final counts of closed sockets.

#include "platform/SocketTableApi.h"

#include <chrono>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// The counts of one TCP socket in one fetch; pid 0 where no owner was found.
struct SocketSample {
    uint64_t cookie = 0;
    uint32_t pid = 0;
    platform::TcpByteCounts bytes;
};

struct ProcessTraffic {
    // Bytes per second over the last interval, summed over the process's
    // sockets that have one.
    std::optional<uint64_t> rate;
    // Bytes since watching began, its closed sockets included.
    uint64_t total = 0;
};

// What one fetch shows.
struct TrafficView {
    std::unordered_map<uint64_t, uint64_t> socketRates; // by cookie
    std::unordered_map<uint32_t, ProcessTraffic> processes;

    std::optional<uint64_t> RateOf(uint64_t cookie) const;
};

// Fetches update it on whatever thread they run on, and closed sockets are
// credited from the watch's thread, so every call takes the lock.
class TrafficTracker {
  public:
    using Time = std::chrono::steady_clock::time_point;

    // Every TCP socket that has counts, from one fetch taken at `at`. A socket
    // seen for the first time has no rate yet. A fetch older than the last
    // one changes nothing.
    TrafficView Update(const std::vector<SocketSample>& samples, Time at);
    // Credits the final counts of closed sockets to the process that last
    // owned each; sockets never seen are unknown here and passed over.
    void Closed(const std::vector<platform::ClosedTcpSocket>& closed);

  private:
    struct Tracked {
        uint32_t pid = 0;
        platform::TcpByteCounts baseline; // counted before watching began
        platform::TcpByteCounts last;
        unsigned fetch = 0; // the last fetch that saw it, or that missed it first
    };

    void Credit(Tracked& socket, platform::TcpByteCounts upTo);
    void Forget(unsigned fetch);
    TrafficView View(std::unordered_map<uint64_t, uint64_t> rates) const;

    mutable std::mutex lock_;
    std::optional<Time> lastAt_;
    unsigned fetches_ = 0;
    std::unordered_map<uint64_t, Tracked> live_;
    // Missed by the last fetches: closing, so their final counts may follow.
    std::unordered_map<uint64_t, Tracked> gone_;
    // Credited as closed, though a fetch that started before may still list them.
    std::unordered_set<uint64_t> closed_;
    std::unordered_map<uint32_t, uint64_t> closedBytes_; // by pid
};
