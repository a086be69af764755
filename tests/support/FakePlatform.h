#pragma once

// The process and endpoint tables made up by a test.

#include "platform/Platform.h"

#include <arpa/inet.h>
#include <atomic>
#include <map>
#include <mutex>
#include <set>

// When every made-up process started, unless a test says otherwise.
inline constexpr uint64_t kStartTime = 1000;

// A process that answers each query as told, and a process table of them:
// which identifiers exist, and which process each opens.
struct FakeProcess : platform::ProcessHandle {
    bool opens = true, baseNameFails = false, fileNameFails = false;
    std::optional<std::string> exe; // nullopt: no first module
    std::optional<platform::MemoryCounters> memory;
    std::optional<std::vector<std::string>> modules; // nullopt: enumeration fails
    std::optional<uint64_t> startTime = kStartTime;

    std::optional<platform::ModuleHandle> FirstModule() override { return exe; }
    std::optional<std::vector<std::string>> EnumProcessModules() override { return modules; }
    std::optional<std::string> GetModuleBaseName(const std::string& module) override {
        return baseNameFails ? std::nullopt : std::optional(module.substr(module.rfind('/') + 1));
    }
    std::optional<std::string> GetModuleFileName(const std::string& module) override {
        return fileNameFails ? std::nullopt : std::optional(module);
    }
    std::optional<platform::MemoryCounters> GetProcessMemoryInfo() override { return memory; }
    std::optional<uint64_t> StartTime() override { return startTime; }
};

struct FakeProcessApi : platform::ProcessApi {
    std::optional<std::vector<uint32_t>> ids = std::vector<uint32_t>{};
    std::map<uint32_t, FakeProcess> processes;
    // The lists may read the tables on a worker thread.
    std::atomic<int> enumerations = 0;
    std::atomic<int> opens = 0;

    void add(uint32_t pid, FakeProcess process) {
        ids->push_back(pid);
        processes[pid] = std::move(process);
    }

    std::optional<std::vector<uint32_t>> EnumProcesses(size_t) override {
        ++enumerations;
        return ids;
    }
    std::unique_ptr<platform::ProcessHandle> OpenProcess(uint32_t pid) override {
        ++opens;
        const auto found = processes.find(pid);
        if (found == processes.end() || !found->second.opens)
            return nullptr;
        return std::make_unique<FakeProcess>(found->second);
    }
};

// A process that answers every query.
inline FakeProcess Running(const std::string& exe, uint64_t rss = 4096, uint64_t hwm = 8192,
                           std::optional<uint64_t> startTime = kStartTime) {
    FakeProcess process;
    process.exe = exe, process.startTime = startTime;
    process.memory = platform::MemoryCounters{rss, hwm};
    process.modules = std::vector<std::string>{exe, "/usr/lib/x86_64-linux-gnu/libc.so.6"};
    return process;
}

// Endpoint tables made up by a test; nullopt makes that table fail. Addresses
// and ports are stored in network byte order: htons(80) holds the bytes 00 50.
// A fetch hands out the tables it was asked for; a test that changes them
// while a live refresh may fetch holds the lock.
struct FakeSocketTables : platform::SocketTableApi {
    template <class Row> using Table = std::optional<std::vector<Row>>;
    std::mutex lock;
    Table<platform::MibTcpRowOwnerPid> tcp{std::in_place};
    Table<platform::MibUdpRowOwnerPid> udp{std::in_place};
    Table<platform::MibTcp6RowOwnerPid> tcp6{std::in_place};
    Table<platform::MibUdp6RowOwnerPid> udp6{std::in_place};

    platform::EndpointTables GetEndpointTables(platform::TableRequest request) override {
        const std::lock_guard<std::mutex> hold(lock);
        return {tcp, request.udp ? udp : std::nullopt, request.ipv6 ? tcp6 : std::nullopt,
                request.udp && request.ipv6 ? udp6 : std::nullopt};
    }
};

// Signals answered as a test says, per PID; only the test's own children
// (real) are signalled for real. A PID not answered ended before it was
// opened; one answered runs the process that started at kStartTime.
struct FakeProcessControl : platform::ProcessControl {
    std::map<uint32_t, platform::SignalResult> answers;
    std::set<uint32_t> real;

    struct Target : platform::SignalTarget {
        platform::SignalResult answer;
        explicit Target(platform::SignalResult answer) : answer(answer) {}
        platform::SignalResult Send(int) override { return answer; }
        bool HasEnded() override { return false; }
        std::optional<uint64_t> StartTime() override { return kStartTime; }
    };
    std::unique_ptr<platform::SignalTarget> Open(uint32_t pid) override {
        if (real.count(pid))
            return platform::SystemProcessControl().Open(pid);
        const auto found = answers.find(pid);
        return found == answers.end() ? nullptr : std::make_unique<Target>(found->second);
    }
};
