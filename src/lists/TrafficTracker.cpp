#include "TrafficTracker.h"

#include <cmath>

using platform::TcpByteCounts;

namespace {

// How many fetches a socket that left the tables is remembered, so the final
// counts of its close, which may come a little later, still reach its process.
constexpr unsigned kFetchesAwaitingClose = 2;

// The bytes counted from `from` to `to`; a counter never runs backwards.
uint64_t Between(TcpByteCounts from, TcpByteCounts to) {
    const auto gain = [](uint64_t a, uint64_t b) { return b > a ? b - a : 0; };
    return gain(from.sent, to.sent) + gain(from.received, to.received);
}

} // namespace

std::optional<uint64_t> TrafficView::RateOf(uint64_t cookie) const {
    const auto found = socketRates.find(cookie);
    return found == socketRates.end() ? std::nullopt : std::optional(found->second);
}

TrafficView TrafficTracker::Update(const std::vector<SocketSample>& samples, Time at) {
    std::lock_guard guard(lock_);
    if (lastAt_ && at <= *lastAt_)
        return View({});
    // What the sockets of the first fetch carried before is not ours to count;
    // a socket first seen later began after watching did.
    const bool first = !lastAt_;
    const double seconds = first ? 0 : std::chrono::duration<double>(at - *lastAt_).count();
    lastAt_ = at;
    const unsigned fetch = ++fetches_;
    std::unordered_map<uint64_t, uint64_t> rates;
    std::unordered_set<uint64_t> stillClosing;
    for (const SocketSample& sample : samples) {
        if (closed_.contains(sample.cookie)) {
            stillClosing.insert(sample.cookie);
            continue;
        }
        auto [entry, added] = live_.try_emplace(sample.cookie);
        Tracked& socket = entry->second;
        if (added)
            socket.baseline = socket.last = first ? sample.bytes : TcpByteCounts{};
        else
            rates[sample.cookie] = std::llround(Between(socket.last, sample.bytes) / seconds);
        socket.last = sample.bytes;
        socket.fetch = fetch;
        if (sample.pid != 0)
            socket.pid = sample.pid;
    }
    closed_ = std::move(stillClosing);
    // A socket the fetch missed is closing: what it carried so far stays its
    // process's, and its final counts may still add to that.
    for (auto entry = live_.begin(); entry != live_.end();) {
        if (entry->second.fetch == fetch) {
            ++entry;
            continue;
        }
        Credit(entry->second, entry->second.last);
        entry->second.fetch = fetch;
        gone_.insert(*entry);
        entry = live_.erase(entry);
    }
    Forget(fetch);
    return View(std::move(rates));
}

void TrafficTracker::Closed(const std::vector<platform::ClosedTcpSocket>& closed) {
    std::lock_guard guard(lock_);
    for (const platform::ClosedTcpSocket& socket : closed) {
        if (const auto live = live_.find(socket.cookie); live != live_.end()) {
            Credit(live->second, socket.bytes);
            live_.erase(live);
            closed_.insert(socket.cookie);
        } else if (const auto gone = gone_.find(socket.cookie); gone != gone_.end()) {
            Credit(gone->second, socket.bytes);
            gone_.erase(gone);
        }
    }
}

void TrafficTracker::Credit(Tracked& socket, TcpByteCounts upTo) {
    closedBytes_[socket.pid] += Between(socket.baseline, upTo);
    socket.baseline = upTo;
}

void TrafficTracker::Forget(unsigned fetch) {
    std::erase_if(gone_, [fetch](const auto& entry) {
        return entry.second.fetch + kFetchesAwaitingClose <= fetch;
    });
}

TrafficView TrafficTracker::View(std::unordered_map<uint64_t, uint64_t> rates) const {
    TrafficView view;
    for (const auto& [cookie, socket] : live_) {
        ProcessTraffic& process = view.processes[socket.pid];
        process.total += Between(socket.baseline, socket.last);
        if (const auto rate = rates.find(cookie); rate != rates.end())
            process.rate = process.rate.value_or(0) + rate->second;
    }
    for (const auto& [pid, bytes] : closedBytes_)
        view.processes[pid].total += bytes;
    view.socketRates = std::move(rates);
    return view;
}
