#!/usr/bin/env bash
# Plants deliberate one-line faults, one at a time, and reports which the tests
# catch. Each mutant names a file, one whole line as it stands there (it must
# occur exactly once, else the mutant is reported stale) and its replacement.
# For each: apply, build the test programs its area needs, run that area's
# tests, restore the file with git. A mutant that does not build counts as no
# mutant at all.
# Usage: bench/mutation_check.sh WORKTREE BUILD_DIR [NAME_FILTER]
# BUILD_DIR must be configured with -DQUILLMARK_TESTS=ON; run as root, so the
# capture tests run too. NAME_FILTER (a grep pattern) picks mutants by id.
set -uo pipefail
tree=$(realpath "$1") build=$(realpath "$2") only=${3:-.*}

# Area: the programs to build and the tests that could see a fault there.
targets_of() {
    case $1 in
    decoder | filter) echo unit_tests gui_tests system_tests ;;
    dump) echo unit_tests gui_tests ;;
    sort) echo unit_tests gui_tests ;;
    rows) echo unit_tests gui_tests system_tests ;;
    end) echo gui_tests ;;
    helper) echo quillmark-capture-helper system_tests ;;
    esac
}
tests_of() {
    case $1 in
    decoder | filter) echo '^(DecodePacket|SnifferPanel|PcapSave|CaptureLoopback|capture_without_capability)' ;;
    dump) echo 'DumpLog|^SnifferPanel' ;;
    sort) echo '^(StrToInt|ColumnSort|MainWindow)' ;;
    rows) echo '^(SocketRows|OtherNamespaces|ConnectionTraffic|LinuxProcessApi|MainWindow)' ;;
    end) echo '^MainWindow' ;;
    helper) echo '^(CaptureHelper|CaptureLoopback|capture_without_capability)' ;;
    esac
}

# id @@ area @@ file @@ original line @@ replacement line
mutants=$(
    cat <<'EOF'
D1 @@ decoder @@ src/sniffer/PacketDecoder.cpp @@     unsigned Word(int offset) const { return (*this)[offset] * 256 + (*this)[offset + 1]; } @@     unsigned Word(int offset) const { return (*this)[offset] + 256 * (*this)[offset + 1]; }
D2 @@ decoder @@ src/sniffer/PacketDecoder.cpp @@             bytes[4] + 256 * bytes[5], @@             256 * bytes[4] + bytes[5],
D3 @@ decoder @@ src/sniffer/PacketDecoder.cpp @@             4 * static_cast<int>(bytes[0] & 0x0F), @@             4 * static_cast<int>(bytes[0] & 0x07),
D4 @@ decoder @@ src/sniffer/PacketDecoder.cpp @@     if (!settings.SourceIp.empty() && settings.SourceIp != ip.source.view()) @@     if (!settings.SourceIp.empty() && settings.SourceIp != ip.destination.view())
D5 @@ decoder @@ src/sniffer/PacketDecoder.cpp @@     return settings.Protocol == name || settings.Protocol == "ANY"; @@     return settings.Protocol == name || settings.Protocol.starts_with("ANY");
D6 @@ decoder @@ src/sniffer/PacketDecoder.cpp @@         {0x04, "RST "}, {0x02, "SYN "}, {0x01, "FIN "}}; @@         {0x04, "RST "}, {0x01, "SYN "}, {0x02, "FIN "}};
D7 @@ decoder @@ src/sniffer/PacketDecoder.cpp @@     if (settings.DumpEnabled == 1) @@     if (settings.DumpEnabled != 0)
D8 @@ decoder @@ src/sniffer/PacketDecoder.cpp @@     if (h >= ip.n) { @@     if (h > ip.n) {
D9 @@ decoder @@ src/sniffer/PacketDecoder.cpp @@     if (settings.SourcePort != 0 && static_cast<int64_t>(sourcePort) != settings.SourcePort) @@     if (settings.SourcePort != 0 && static_cast<int64_t>(destinationPort) != settings.SourcePort)
D10 @@ decoder @@ src/sniffer/PacketDecoder.cpp @@         if (settings.Protocol != "ANY") @@         if (settings.Protocol == "TCP")
D11 @@ decoder @@ src/sniffer/PacketDecoder.cpp @@     AppendFlags(line, bytes[h + 13]); @@     AppendFlags(line, bytes[h + 12]);
D12 @@ decoder @@ src/sniffer/PacketDecoder.cpp @@     if (h >= ip.n) @@     if (h > ip.n)
F1 @@ filter @@ src/sniffer/CaptureFilter.cpp @@     if (canonical != text) @@     if (false)
F2 @@ filter @@ src/sniffer/CaptureFilter.cpp @@     program_.Jump(BPF_JMP | BPF_JGT | BPF_K, offset, present, value == 0 ? next : drop_); @@     program_.Jump(BPF_JMP | BPF_JGT | BPF_K, offset, present, drop_);
F3 @@ filter @@ src/sniffer/CaptureFilter.cpp @@     program_.Emit(BPF_ALU | BPF_SUB | BPF_K, offset); @@     program_.Emit(BPF_ALU | BPF_SUB | BPF_K, offset + 1);
F4 @@ filter @@ src/sniffer/CaptureFilter.cpp @@     program_.Jump(BPF_JMP | BPF_JGT | BPF_X, 0, decoded, accept_); @@     program_.Jump(BPF_JMP | BPF_JGT | BPF_X, 0, decoded, drop_);
F5 @@ filter @@ src/sniffer/CaptureFilter.cpp @@     if (!source.any() && !source.possible()) @@     if (false)
F6 @@ filter @@ src/sniffer/CaptureFilter.cpp @@             ByteAfterHeaderEquals(offset + 1, static_cast<uint8_t>(filter.port & 0xFF)); @@             ByteAfterHeaderEquals(offset + 1, static_cast<uint8_t>(filter.port & 0x7F));
F7 @@ filter @@ src/sniffer/CaptureFilter.cpp @@         (any || *protocol == 6) && !(sourcePort.any() && destinationPort.any()); @@         (any || *protocol == 6) && !(sourcePort.any() || destinationPort.any());
F8 @@ filter @@ src/sniffer/CaptureFilter.cpp @@         {BPF_JMP | BPF_JEQ | BPF_K, 1, 0, ETH_P_IP}, @@         {BPF_JMP | BPF_JEQ | BPF_K, 1, 0, ETH_P_IPV6},
F9 @@ filter @@ src/sniffer/CaptureFilter.cpp @@     program_.Emit(BPF_LD | BPF_IMM, 0); @@     program_.Emit(BPF_LD | BPF_IMM, 6);
F10 @@ filter @@ src/sniffer/BpfProgram.cpp @@     return target - from - 1; @@     return target - from;
L1 @@ dump @@ src/sniffer/DumpLog.cpp @@         if (byte == 0x0D) @@         if (byte == 0x0A)
L2 @@ dump @@ src/sniffer/DumpLog.cpp @@         else if (byte >= 0x20 && byte <= 0x7E) @@         else if (byte >= 0x20 && byte <= 0x7F)
L3 @@ dump @@ src/sniffer/DumpLog.cpp @@     return static_cast<uint32_t>((state_ >> 32) & 0x7FFFFFFF) % 23232; @@     return static_cast<uint32_t>((state_ >> 32) & 0x7FFFFFFF) % 23233;
L4 @@ dump @@ src/sniffer/DumpLog.cpp @@     if (files.FileExists(file)) @@     if (!files.FileExists(file))
L5 @@ dump @@ src/sniffer/DumpLog.cpp @@     Append(record_, {"Source IP: ", sourceIp, ":", std::to_string(sourcePort), kLineBreak}); @@     Append(record_, {"Source IP: ", sourceIp, ":", std::to_string(destinationPort), kLineBreak});
S1 @@ sort @@ src/lists/RowSort.cpp @@             right >= end || (left < middle && compare(rows[from[left]], rows[from[right]]) <= 0); @@             right >= end || (left < middle && compare(rows[from[left]], rows[from[right]]) < 0);
S2 @@ sort @@ src/lists/RowSort.cpp @@     for (size_t width = 1; width < count; width *= 2) { @@     for (size_t width = 1; width + 1 < count; width *= 2) {
S3 @@ sort @@ src/lists/ColumnCompare.cpp @@         return a < b ? 1 : (a > b ? -1 : 0); @@         return a < b ? -1 : (a > b ? 1 : 0);
S4 @@ sort @@ src/lists/ColumnCompare.cpp @@     return CompareByRule(item1, item2, column, {0, 2, 3}); @@     return CompareByRule(item1, item2, column, {0, 2});
S5 @@ sort @@ src/lists/ColumnCompare.cpp @@         (item1.column(column) == "N/A" || item2.column(column) == "N/A")) @@         (item1.column(column) == "N/A" && item2.column(column) == "N/A"))
R1 @@ rows @@ src/lists/SocketRows.cpp @@     return state < names.size() ? names[state] : names[0]; @@     return state < names.size() ? names[state] : names[12];
R2 @@ rows @@ src/lists/SocketRows.cpp @@     return ntohs(static_cast<uint16_t>(portField & 0xFFFF)); @@     return static_cast<uint16_t>(portField & 0xFFFF);
R3 @@ rows @@ src/lists/SocketRows.cpp @@         return {{AddressText(entry.dwLocalAddr), PortText(entry.dwLocalPort)}}; @@         return {{AddressText(entry.dwLocalAddr), PortText(entry.dwRemotePort)}};
R4 @@ rows @@ src/lists/SocketRows.cpp @@         return {"", "", process->StartTime()}; @@         return {kUnknownName, "", process->StartTime()};
R5 @@ rows @@ src/lists/SocketRows.cpp @@     if (found != known_.end()) @@     if (false)
R6 @@ rows @@ src/lists/SocketRows.cpp @@             tables.tcp6.reset(), tables.udp6.reset(); @@             tables.udp6.reset();
E1 @@ end @@ src/lists/EndProcess.cpp @@     if (!target || !startTime || target->StartTime() != startTime || @@     if (!target || !startTime ||
E2 @@ end @@ src/lists/EndProcess.cpp @@         CurrentName(os.processes, pid) != name || target->HasEnded()) { @@         target->HasEnded()) {
E3 @@ end @@ src/lists/EndProcess.cpp @@     const bool self = pid == QCoreApplication::applicationPid(); @@     const bool self = pid != QCoreApplication::applicationPid();
E4 @@ end @@ src/lists/EndProcess.cpp @@     auto sent = Signal(parent, *target, SIGTERM, process); @@     auto sent = Signal(parent, *target, SIGKILL, process);
E5 @@ end @@ src/lists/EndProcess.cpp @@     sent = Signal(parent, *target, SIGKILL, process); @@     sent = Signal(parent, *target, SIGTERM, process);
E6 @@ end @@ src/platform/ProcessControl.cpp @@         case EPERM: @@         case EACCES:
E7 @@ end @@ src/platform/ProcessControl.cpp @@         pollfd ready{fd_, POLLIN, 0}; @@         pollfd ready{fd_, POLLPRI, 0};
E8 @@ end @@ src/platform/ProcessControl.cpp @@         return HasEnded() ? std::nullopt : ticks; @@         return ticks;
E9 @@ end @@ src/platform/ProcessControl.cpp @@         const int fd = pid == 0 ? -1 : PidfdOpen(static_cast<pid_t>(pid)); @@         const int fd = pid == 0 ? -1 : PidfdOpen(static_cast<pid_t>(pid + 1));
H1 @@ helper @@ src/capture-helper/main.cpp @@     if (argc != 1 || !IsConnectedUnixStream(kStarter)) @@     if (!IsConnectedUnixStream(kStarter))
H2 @@ helper @@ src/capture-helper/main.cpp @@     return SocketOption(fd, SO_DOMAIN) == AF_UNIX && SocketOption(fd, SO_TYPE) == SOCK_STREAM && @@     return SocketOption(fd, SO_DOMAIN) == AF_UNIX &&
H3 @@ helper @@ src/capture-helper/main.cpp @@     return DropCapabilities() && Send(kStarter, packet) ? 0 : 1; @@     return Send(kStarter, packet) ? 0 : 1;
H4 @@ helper @@ src/capture-helper/main.cpp @@     rights->cmsg_len = CMSG_LEN(sizeof(int)); @@     rights->cmsg_len = CMSG_LEN(2 * sizeof(int));
H5 @@ helper @@ src/capture-helper/main.cpp @@     return sent == 1; @@     return sent >= 0;
H6 @@ helper @@ src/capture-helper/main.cpp @@     const int packet = socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, 0); @@     const int packet = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, 0);
EOF
)

# Replaces the one line equal to $2 in file $1 by $3; fails unless exactly one.
replace_line() {
    ORIGINAL=$2 REPLACEMENT=$3 perl -e '
        my ($file) = @ARGV; open my $in, "<", $file or exit 3; my @lines = <$in>; close $in;
        my $hits = grep { $_ eq "$ENV{ORIGINAL}\n" } @lines;
        exit 2 unless $hits == 1;
        s/^\Q$ENV{ORIGINAL}\E\n\z/$ENV{REPLACEMENT}\n/ for @lines;
        open my $out, ">", $file or exit 3; print $out @lines;' "$1"
}

caught=0 escaped=0 stale=0 invalid=0
printf '%-4s %-8s %-36s %s\n' id area file result
while IFS= read -r row; do
    [ -n "$row" ] || continue
    IFS=$'\x1f' read -r id area file original replacement <<<"${row// @@ /$'\x1f'}"
    grep -qE "^($only)\$" <<<"$id" || continue
    if ! replace_line "$tree/$file" "$original" "$replacement"; then
        result=stale
        stale=$((stale + 1))
    elif ! nice ninja -C "$build" -j2 $(targets_of "$area") >/tmp/mutation-build.$$ 2>&1; then
        result="does not build"
        invalid=$((invalid + 1))
    elif ctest --test-dir "$build" --timeout 300 -j2 --no-tests=error -R "$(tests_of "$area")" >/tmp/mutation-run.$$ 2>&1; then
        result=ESCAPED
        escaped=$((escaped + 1))
    else
        result="caught: $(grep -oE '[0-9]+ tests failed' /tmp/mutation-run.$$)"
        caught=$((caught + 1))
    fi
    git -C "$tree" checkout -q -- "$file"
    printf '%-4s %-8s %-36s %s\n' "$id" "$area" "$file" "$result"
done <<<"$mutants"
rm -f /tmp/mutation-build.$$ /tmp/mutation-run.$$
nice ninja -C "$build" -j2 >/dev/null
echo "caught $caught, escaped $escaped, stale $stale, not building $invalid"
