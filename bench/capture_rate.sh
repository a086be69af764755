#!/usr/bin/env bash
# Loopback capture rate of Quillmark against tcpdump, measured in one run, as
# a user gets it: the program shown on an X server (Xvfb, xcb platform), run
# as a user who is not root and holds CAP_NET_RAW alone, once plainly and
# once with the accessibility bridge on (a session bus with the at-spi bus,
# QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1); then `tcpdump -i lo -n -l udp`. For
# each rate and run, UDP datagrams go from 127.0.0.1:40001 to 127.0.0.1:40002
# for SECONDS while each of the three captures in turn.
# Everything happens inside a private network namespace with only its own
# loopback; nothing reaches or is read from any other interface.
#
# usage: bench/capture_rate.sh BUILD_DIR [SECONDS] [RUNS] [RATE...]
# QUILLMARK_DUMP=1 captures with the dump switch on.
# Needs root (unshare --net, setpriv), Xvfb, dbus-run-session, at-spi2-core, tcpdump.
set -euo pipefail

build=$(realpath "${1:?usage: $0 BUILD_DIR [SECONDS] [RUNS] [RATE...]}")
seconds=${2:-5}
runs=${3:-3}
shift $(($# < 3 ? $# : 3))
rates=("$@")
[ ${#rates[@]} -gt 0 ] || rates=(50000 100000 150000 200000 300000)

if [ "${QUILLMARK_PRIVATE_NET:-}" != 1 ]; then
    QUILLMARK_PRIVATE_NET=1 exec unshare --net "$0" "$build" "$seconds" "$runs" "${rates[@]}"
fi
ip link set lo up

tool="$build/bench/CaptureRate"
dump=$([ "${QUILLMARK_DUMP:-}" = 1 ] && echo dump || true)
work=$(mktemp -d)
chmod 755 "$work"
mkdir -m 700 "$work/home" && chown 65534:65534 "$work/home"

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
trap 'kill $xvfb; rm -rf "$work"' EXIT
timeout 10 bash -c "until [ -s '$work/display' ]; do sleep 0.1; done"
export DISPLAY=:$(cat "$work/display")

# CaptureRate as uid 65534 with CAP_NET_RAW alone, its home and runtime
# directory in the work directory.
as_member() {
    setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all,+net_raw \
        --ambient-caps=+net_raw env HOME="$work/home" XDG_RUNTIME_DIR="$work/home" \
        QT_QPA_PLATFORM=xcb "$@"
}

# Prints "sent shown drops captureus windowus lagms took".
quillmark_run() {
    local rate=$1 bridge=$2 out
    if [ "$bridge" = 1 ]; then
        # Qt's bridge waits for the at-spi bus to be registered; it does not start it.
        out=$(as_member env QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 timeout 180 dbus-run-session -- \
            bash -c '/usr/libexec/at-spi-bus-launcher --launch-immediately & sleep 1; exec "$@"' \
            - "$tool" quillmark "$rate" "$seconds" $dump 2>/dev/null)
    else
        out=$(as_member timeout 180 "$tool" quillmark "$rate" "$seconds" $dump 2>/dev/null)
    fi
    awk '/^sent / {print $2, $4, $6, $8, $10, $12, $14}' <<<"$out"
}

# Prints "sent lines drops took". tcpdump is stopped once its output has stopped
# growing: packets it has taken but not yet written are neither lines nor drops.
tcpdump_run() {
    local rate=$1 pid sent took drops size=-1
    : >"$work/err"
    timeout 120 tcpdump -i lo -n -l udp >"$work/lines" 2>"$work/err" &
    pid=$!
    for _ in $(seq 100); do grep -q 'listening on' "$work/err" && break; sleep 0.05; done
    read -r _ sent _ took < <("$tool" send "$rate" "$seconds")
    while [ "$(stat -c %s "$work/lines")" != "$size" ]; do
        size=$(stat -c %s "$work/lines")
        sleep 1
    done
    kill -INT "$pid"
    wait "$pid" || true
    drops=$(awk '/dropped by kernel/ {print $1}' "$work/err")
    echo "$sent $(grep -c ' > 127.0.0.1.40002: UDP' "$work/lines") ${drops:-?} $took"
}

results=$work/results
row='%7s %3s %5s | %8s %8s %7s %6s %6s %5s | %8s %7s %6s %6s %5s | %8s %7s\n'
printf "$row" rate run took sent shown drops cap_us win_us lagms "a11y:sh" drops cap_us win_us \
    lagms tcpdump drops
for rate in "${rates[@]}"; do
    for run in $(seq "$runs"); do
        read -r q_sent q_shown q_drops q_cap q_win q_lag q_took < <(quillmark_run "$rate" 0)
        read -r a_sent a_shown a_drops a_cap a_win a_lag a_took < <(quillmark_run "$rate" 1)
        read -r t_sent t_lines t_drops t_took < <(tcpdump_run "$rate")
        printf "$row" "$rate" "$run" "$q_took" "$q_sent" "$q_shown" "$q_drops" "$q_cap" "$q_win" \
            "$q_lag" "$a_shown" "$a_drops" "$a_cap" "$a_win" "$a_lag" "$t_lines" "$t_drops"
        echo "$rate quillmark $q_sent $q_shown $q_drops $q_cap $q_win $q_lag $q_took" >>"$results"
        echo "$rate bridge $a_sent $a_shown $a_drops $a_cap $a_win $a_lag $a_took" >>"$results"
        echo "$rate tcpdump $t_sent $t_lines $t_drops - - - $t_took" >>"$results"
    done
done

# Medians over the runs; a rate is lossless for a capture when every run
# showed every datagram sent.
echo
echo "Medians of $runs runs of ${seconds}s: the rate the sender reached (all runs), then per"
echo "capture shown/sent, kernel drops, CPU us per packet of the capture thread + the window"
echo "thread, the window's longest lag in ms; lossless: every run showed every datagram."
awk -v runs="$runs" '
    function median(list,    n, v, i, j, t) {
        n = split(list, v, " ")
        for (i = 2; i <= n; i++)
            for (j = i; j > 1 && v[j - 1] + 0 > v[j] + 0; j--) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
        return v[int((n + 1) / 2)]
    }
    {
        key = $1 " " $2
        if (!(key in seen)) { seen[key] = 1; order[++count] = key }
        sent[key] = sent[key] " " $3; shown[key] = shown[key] " " $4; drops[key] = drops[key] " " $5
        cap[key] = cap[key] " " $6; win[key] = win[key] " " $7; lag[key] = lag[key] " " $8
        reached[$1] = reached[$1] " " int($3 / $9)
        if ($4 + 0 < $3 + 0) lossy[key] = 1
        if (!($1 in rateSeen)) { rateSeen[$1] = 1; rates[++rateCount] = $1 }
    }
    END {
        printf "%8s %8s | %-34s | %-34s | %-18s\n", "rate", "reached", "Quillmark",
            "Quillmark, a11y bridge", "tcpdump"
        for (r = 1; r <= rateCount; r++) {
            rate = rates[r]; line = sprintf("%8s %8s", rate, median(reached[rate]))
            split("quillmark bridge tcpdump", kinds, " ")
            for (k = 1; k <= 3; k++) {
                key = rate " " kinds[k]
                cell = sprintf("%s/%s d%s", median(shown[key]), median(sent[key]), median(drops[key]))
                if (k < 3)
                    cell = cell sprintf(" %s+%s %sms", median(cap[key]), median(win[key]), median(lag[key]))
                line = line sprintf(" | %-34s", cell)
                if (!(key in lossy) && rate + 0 > best[kinds[k]] + 0) best[kinds[k]] = rate
            }
            print line
        }
        printf "highest lossless rate: Quillmark %s, with the bridge %s, tcpdump %s\n",
            best["quillmark"] + 0, best["bridge"] + 0, best["tcpdump"] + 0
    }' "$results"
