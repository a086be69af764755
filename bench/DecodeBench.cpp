// Cost of DecodePacket per packet: a TCP packet that passes (summary and
// separator built), one rejected by the source address filter, and a UDP
// packet with its dump record appended to a real file.

#include "platform/LinuxFileSystem.h"
#include "sniffer/DumpLog.h"
#include "sniffer/PacketDecoder.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace {

// Lines are taken and dropped, as a window would copy them.
struct CountingOutput : PacketOutput {
    explicit CountingOutput(DumpWriter* dump = nullptr) : dump_(dump) {}
    void PostLine(const char* text) override { benchmark::DoNotOptimize(*text); }
    void WriteDumpRecord(const uint8_t* packet, int n, std::string_view sourceIp,
                         std::string_view destinationIp, int sourcePort, int destinationPort,
                         std::string_view protocol) override {
        if (dump_)
            dump_->WriteDumpRecord(packet, n, sourceIp, destinationIp, sourcePort, destinationPort,
                                   protocol);
    }
    DumpWriter* dump_;
};

std::vector<uint8_t> Packet(uint8_t protocol) {
    std::vector<uint8_t> bytes(60, 0);
    const uint8_t header[] = {0x45, 0, 0, 60, 0x12, 0x34, 0x40, 0, 128,  protocol, 0, 0,
                              10,   0, 0, 2,  10,   0,    0,    1, 0x04, 1,        0, 80,
                              0,    0, 0, 0,  0,    0,    0,    0, 0x50, 0x18};
    std::copy(std::begin(header), std::end(header), bytes.begin());
    for (size_t i = 40; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>('a' + i % 26);
    return bytes;
}

void Decode(benchmark::State& state, const std::vector<uint8_t>& packet,
            const CaptureSettings& settings, PacketOutput& output) {
    for (auto _ : state)
        DecodePacket(packet.data(), static_cast<int>(packet.size()), settings, output);
    state.SetItemsProcessed(state.iterations());
}

void BM_TcpPassing(benchmark::State& state) {
    CountingOutput output;
    Decode(state, Packet(6), {"ANY", "", "", "127.0.0.1", 80, 1025, 0}, output);
}

void BM_TcpRejectedBySourceAddress(benchmark::State& state) {
    CountingOutput output;
    Decode(state, Packet(6), {"ANY", "", "10.0.0.9", "127.0.0.1", 0, 0, 0}, output);
}

class TempExecutableFiles : public platform::LinuxFileSystem {
  public:
    TempExecutableFiles() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quillmark-XXXXXX").string();
        directory_ = mkdtemp(pattern.data());
    }
    ~TempExecutableFiles() override { std::filesystem::remove_all(directory_); }
    std::string ExecutableDirectory() override { return directory_.string() + "/"; }

  private:
    std::filesystem::path directory_;
};

void BM_UdpWithDumpRecord(benchmark::State& state) {
    TempExecutableFiles files;
    platform::SystemLocalClock clock;
    SetAsideNumbers numbers;
    PrepareDumpFile(files, numbers);
    DumpWriter dump(files, clock);
    CountingOutput output(&dump);
    Decode(state, Packet(17), {"ANY", "", "", "127.0.0.1", 0, 0, 1}, output);
}

} // namespace

BENCHMARK(BM_TcpPassing);
BENCHMARK(BM_TcpRejectedBySourceAddress);
BENCHMARK(BM_UdpWithDumpRecord);
BENCHMARK_MAIN();
