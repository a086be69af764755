#!/usr/bin/env bash
# Presses Start in the installed program, once as a user outside the quillmark
# group and once as a member, the way a person would: on an X server of its
# own, with the dump switch on, capturing loopback in a private network
# namespace. The program holds no capability, so the kernel refuses its own
# raw socket and it starts the capture helper: the outsider may not run the
# helper, which is what puts "Failed to create Raw socket for
# sniffing.BytesReturned.." in the log; the member's helper opens the socket,
# and the capture runs and writes its dump file. Screenshots of both logs go
# to SHOTS.
# Called by fresh_root_check.sh; arguments: the root, the screenshot folder.
set -euo pipefail
root=$1 shots=$2

if [ -z "${QUILLMARK_PRIVATE_NET:-}" ]; then
    exec env QUILLMARK_PRIVATE_NET=1 unshare --net "$0" "$@"
fi
ip link set lo up

failed=0
expect() { # what, expected, actual
    if [ "$2" = "$3" ]; then echo "ok: $1"; else echo "FAIL: $1: expected '$2', got '$3'"; failed=1; fi
}

# Xvfb picks a free display itself and names it on descriptor 3.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$root/tmp/display" 2>/dev/null &
xvfb=$!
trap 'kill $xvfb' EXIT
timeout 10 bash -c "until [ -s '$root/tmp/display' ]; do sleep 0.1; done"
export DISPLAY=:$(cat "$root/tmp/display")
# Under a window manager the window is activated and takes clicks as on a desktop.
openbox >/dev/null 2>&1 &
wm=$!
trap 'kill $wm $xvfb' EXIT

# Points of the main window's fixed layout, from the client area's corner.
click() {
    case $1 in
        sniffer_tab) xdotool mousemove --window "$window" 258 59 click 1 ;;
        local_ip) xdotool mousemove --window "$window" 58 117 click 1 ;;
        dump_switch) xdotool mousemove --window "$window" 17 180 click 1 ;;
        start) xdotool mousemove --window "$window" 463 158 click 1 ;;
    esac
    sleep 0.5
}

# Runs /usr/bin/quillmark as USER under strace (run by root, so the helper
# still receives its capability), presses Start on 127.0.0.1, makes three
# connection attempts on loopback for it to see, and notes the program's
# capabilities.
press_start() {
    local user=$1
    chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 DISPLAY="$DISPLAY" \
        HOME="/home/$user" strace -f -qq -e trace=socket,execve -o "/tmp/strace-$user" \
        -u "$user" /usr/bin/quillmark >/dev/null 2>&1 &
    local app=$!
    window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Quillmark$' | head -n 1)
    sleep 1 # the window manager places and activates it
    click sniffer_tab
    click local_ip
    xdotool type --delay 20 127.0.0.1
    click dump_switch
    click start
    sleep 2
    local attempt
    for attempt in 1 2 3; do
        (echo "GET /probe-$attempt" >/dev/tcp/127.0.0.1/9) 2>/dev/null || true
    done
    sleep 1
    import -window root "$shots/capture-$user.png"
    local program
    program=$(pgrep -P "$app")
    getpcaps "$program" >"$root/tmp/caps-$user" 2>&1
    kill "$program" # strace then ends with it
    wait "$app" || true
}

# What USER's run shows: whether the kernel refused the program's own raw
# socket, how starting the helper went, and the program's capabilities.
run_of() {
    local trace=$root/tmp/strace-$1
    grep -q 'socket(AF_PACKET, .*= -1 EPERM' "$trace" && echo -n "refused, "
    grep -o 'execve(".*/quillmark-capture-helper", .*= -*[0-9]* *[A-Z]*' "$trace" |
        sed 's/.*= //' | tr '\n' ' '
    cut -d' ' -f2- "$root/tmp/caps-$1"
}

press_start outsider
expect "outsider: raw socket refused, helper not run, no capability" "refused, -1 EACCES =" \
    "$(run_of outsider)"
expect "outsider: no dump file" "none" \
    "$(find "$root/opt/quillmark/dumps" -user "$(chroot "$root" id -u outsider)" | grep -q . && echo some || echo none)"

press_start member
expect "member: raw socket refused, helper run, no capability" "refused, 0 =" "$(run_of member)"
expect "member: the helper opens the raw socket" "opened" \
    "$(grep -qE 'socket\(AF_PACKET, .*= [0-9]+$' "$root/tmp/strace-member" && echo opened)"
dump=$root/opt/quillmark/dumps/dump.log
expect "member: dump file, owner-only, with the loopback attempts" "member 600 3" \
    "$(chroot "$root" stat -c '%U %a' /opt/quillmark/dumps/dump.log) $(grep -c '^Destination IP: 127.0.0.1:9' "$dump")"

exit "$failed"
