#include "CaptureFilter.h"

#include "BpfProgram.h"

#include <arpa/inet.h>
#include <array>
#include <linux/if_ether.h>
#include <optional>
#include <string>

namespace {

using Label = BpfProgram::Label;
using AddressBytes = std::array<uint8_t, 4>;

constexpr uint32_t kWholePacket = UINT32_MAX;
constexpr uint32_t kProtocolOffset = 9;
constexpr uint32_t kSourceOffset = 12;
constexpr uint32_t kDestinationOffset = 16;

// The decoder compares a filter text with the packet's dotted-quad text, so
// only a text that is exactly such a text can match: "10.0.0.01" or
// "10.0.0.1 " match no packet. Empty means any address.
struct AddressFilter {
    bool any = false;
    std::optional<AddressBytes> bytes; // none: no packet matches
};

AddressFilter ReadAddressFilter(const std::string& text) {
    if (text.empty())
        return {true, std::nullopt};
    AddressBytes bytes;
    if (inet_pton(AF_INET, text.c_str(), bytes.data()) != 1)
        return {};
    const std::string canonical = std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
                                  std::to_string(bytes[2]) + "." + std::to_string(bytes[3]);
    if (canonical != text)
        return {};
    return {false, bytes};
}

std::optional<uint32_t> ProtocolNumber(const std::string& name) {
    if (name == "ICMP")
        return 1;
    if (name == "IGMP")
        return 2;
    if (name == "TCP")
        return 6;
    if (name == "UDP")
        return 17;
    return std::nullopt;
}

// What the decoder checks of TCP ports: 0 is any port, and a number outside
// 1 to 65535 is no port at all.
struct PortFilter {
    int32_t port;
    bool any() const { return port == 0; }
    bool possible() const { return port > 0 && port <= 0xFFFF; }
};

// Emits the settings' tests. A classic BPF load past the packet's end ends
// the program with 0, which drops the packet; the decoder instead reads such
// bytes as 0. So every load that may lie past the end is guarded by a length
// test, and an absent byte counts as 0.
class SettingsCompiler {
  public:
    std::vector<sock_filter> Compile(const CaptureSettings& settings);

  private:
    void AddressEquals(uint32_t offset, const AddressBytes& address);
    void ByteEquals(uint32_t offset, uint8_t value);
    void ByteAfterHeaderEquals(uint32_t offset, uint8_t value);
    void LoadProtocol();
    void TcpPorts(PortFilter source, PortFilter destination);

    BpfProgram program_;
    Label accept_ = program_.NewLabel();
    Label drop_ = program_.NewLabel();
};

void SettingsCompiler::AddressEquals(uint32_t offset, const AddressBytes& address) {
    for (uint32_t i = 0; i < address.size(); ++i)
        ByteEquals(offset + i, address[i]);
}

// Goes on when the byte at offset is value, else drops.
void SettingsCompiler::ByteEquals(uint32_t offset, uint8_t value) {
    const Label present = program_.NewLabel();
    const Label next = program_.NewLabel();
    program_.Emit(BPF_LD | BPF_W | BPF_LEN);
    program_.Jump(BPF_JMP | BPF_JGT | BPF_K, offset, present, value == 0 ? next : drop_);
    program_.Place(present);
    program_.Emit(BPF_LD | BPF_B | BPF_ABS, offset);
    program_.Jump(BPF_JMP | BPF_JEQ | BPF_K, value, next, drop_);
    program_.Place(next);
}

// The same for the byte at X + offset, X holding the header length. Only a
// TCP packet gets here, so its length is at least 10 and above offset.
void SettingsCompiler::ByteAfterHeaderEquals(uint32_t offset, uint8_t value) {
    const Label present = program_.NewLabel();
    const Label next = program_.NewLabel();
    program_.Emit(BPF_LD | BPF_W | BPF_LEN);
    // length - offset > X, that is X + offset < length
    program_.Emit(BPF_ALU | BPF_SUB | BPF_K, offset);
    program_.Jump(BPF_JMP | BPF_JGT | BPF_X, 0, present, value == 0 ? next : drop_);
    program_.Place(present);
    program_.Emit(BPF_LD | BPF_B | BPF_IND, offset);
    program_.Jump(BPF_JMP | BPF_JEQ | BPF_K, value, next, drop_);
    program_.Place(next);
}

// A = the protocol byte, 0 when the packet is shorter.
void SettingsCompiler::LoadProtocol() {
    const Label present = program_.NewLabel();
    const Label absent = program_.NewLabel();
    const Label loaded = program_.NewLabel();
    program_.Emit(BPF_LD | BPF_W | BPF_LEN);
    program_.Jump(BPF_JMP | BPF_JGT | BPF_K, kProtocolOffset, present, absent);
    program_.Place(present);
    program_.Emit(BPF_LD | BPF_B | BPF_ABS, kProtocolOffset);
    program_.Goto(loaded);
    program_.Place(absent);
    program_.Emit(BPF_LD | BPF_IMM, 0);
    program_.Place(loaded);
}

// A TCP packet whose header length (4 * the low nibble of byte 0, whatever
// it holds) is not below its length gets the "Errorneous" line, which the
// ports do not filter; the others must match both port filters.
void SettingsCompiler::TcpPorts(PortFilter source, PortFilter destination) {
    const Label decoded = program_.NewLabel();
    program_.Emit(BPF_LDX | BPF_B | BPF_MSH, 0);
    program_.Emit(BPF_LD | BPF_W | BPF_LEN);
    program_.Jump(BPF_JMP | BPF_JGT | BPF_X, 0, decoded, accept_);
    program_.Place(decoded);
    if (!source.any() && !source.possible())
        return program_.Goto(drop_);
    if (!destination.any() && !destination.possible())
        return program_.Goto(drop_);
    uint32_t offset = 0;
    for (const PortFilter filter : {source, destination}) {
        if (!filter.any()) {
            ByteAfterHeaderEquals(offset, static_cast<uint8_t>(filter.port >> 8));
            ByteAfterHeaderEquals(offset + 1, static_cast<uint8_t>(filter.port & 0xFF));
        }
        offset += 2;
    }
}

std::vector<sock_filter> SettingsCompiler::Compile(const CaptureSettings& settings) {
    const AddressFilter source = ReadAddressFilter(settings.SourceIp);
    const AddressFilter destination = ReadAddressFilter(settings.DestinationIp);
    const bool any = settings.Protocol == "ANY";
    const std::optional<uint32_t> protocol = ProtocolNumber(settings.Protocol);
    if (!(any || protocol) || !(source.any || source.bytes) ||
        !(destination.any || destination.bytes))
        return {{BPF_RET | BPF_K, 0, 0, 0}};
    if (source.bytes)
        AddressEquals(kSourceOffset, *source.bytes);
    if (destination.bytes)
        AddressEquals(kDestinationOffset, *destination.bytes);
    const PortFilter sourcePort{settings.SourcePort};
    const PortFilter destinationPort{settings.DestinationPort};
    const bool portsMatter =
        (any || *protocol == 6) && !(sourcePort.any() && destinationPort.any());
    if (!any || portsMatter) {
        // Under "ANY" only TCP goes on, to the ports; otherwise only the chosen
        // protocol passes.
        const Label chosen = program_.NewLabel();
        LoadProtocol();
        program_.Jump(BPF_JMP | BPF_JEQ | BPF_K, any ? 6 : *protocol, chosen,
                      any ? accept_ : drop_);
        program_.Place(chosen);
        if (portsMatter)
            TcpPorts(sourcePort, destinationPort);
    }
    program_.Place(accept_);
    program_.Emit(BPF_RET | BPF_K, kWholePacket);
    program_.Place(drop_);
    program_.Emit(BPF_RET | BPF_K, 0);
    return program_.Finish();
}

} // namespace

std::vector<sock_filter> SettingsFilterProgram(const CaptureSettings& settings) {
    return SettingsCompiler().Compile(settings);
}

// The packet socket receives every protocol, so the program first keeps the
// frames whose protocol (skb->protocol) is IPv4.
std::vector<sock_filter> CaptureFilterProgram(const CaptureSettings& settings) {
    std::vector<sock_filter> program = {
        {BPF_LD | BPF_H | BPF_ABS, 0, 0, static_cast<uint32_t>(SKF_AD_OFF + SKF_AD_PROTOCOL)},
        {BPF_JMP | BPF_JEQ | BPF_K, 1, 0, ETH_P_IP},
        {BPF_RET | BPF_K, 0, 0, 0},
    };
    const std::vector<sock_filter> rest = SettingsFilterProgram(settings);
    program.insert(program.end(), rest.begin(), rest.end());
    return program;
}

std::vector<sock_filter> Ipv4FilterProgram() {
    CaptureSettings any;
    any.Protocol = "ANY";
    return CaptureFilterProgram(any);
}
