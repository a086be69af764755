#!/usr/bin/env bash
# Installs the package into a fresh Debian 12 root and checks it there as an
# administrator would: the program starts for anyone, with no capability, and
# its window stays up; only the capture helper holds CAP_NET_RAW, and a user
# outside the quillmark group may not run it; remove and purge take the
# rights back and keep the users' dumps. Capturing through the helper is the
# capture_without_capability test's. Needs root and Debian's package mirror
# (debootstrap, apt), so it is not part of scripts/test.sh. Takes a few
# minutes.
set -euo pipefail
cd "$(dirname "$0")/../.."

# Mounts made below die with this private mount namespace.
if [ -z "${QUILLMARK_PRIVATE_MOUNTS:-}" ]; then
    exec env QUILLMARK_PRIVATE_MOUNTS=1 unshare --mount --propagation private "$0" "$@"
fi

source scripts/deps.sh
quillmark_install_missing debootstrap
bash scripts/package.sh
deb=$(ls -t build-package/quillmark_*.deb | head -n 1)

root=$(mktemp -d /var/tmp/quillmark-root.XXXXXX)
chmod 0755 "$root" # it becomes / for the test users
cleanup() {
    umount "$root/proc" 2>/dev/null || true
    rm -rf --one-file-system "$root" "$root.log"
}
trap cleanup EXIT

failed=0
fail() {
    echo "FAIL: $*"
    failed=1
}
# Runs a command inside the root with a clean environment.
inroot() {
    chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive "$@"
}
expect() { # what, expected, actual
    if [ "$2" = "$3" ]; then echo "ok: $1"; else fail "$1: expected '$2', got '$3'"; fi
}

# The same mirror this machine's apt uses.
mirror=$(apt-cache policy | awk '$3 ~ "^bookworm/main" { print $2; exit }')
echo "debootstrap bookworm from $mirror into $root"
timeout 900 debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.log" ||
    { tail -n 20 "$root.log"; exit 1; }
mount -t proc proc "$root/proc"
cp "$deb" "$root/tmp/quillmark.deb"
install_package() {
    inroot timeout 900 apt-get install -y -q --no-install-recommends "$@" /tmp/quillmark.deb \
        >"$root/tmp/apt.log" 2>&1 || { cat "$root/tmp/apt.log"; exit 1; }
    grep -E '^(Setting up quillmark|quillmark:)' "$root/tmp/apt.log"
}
inroot apt-get update -q >/dev/null
install_package

inroot useradd --create-home outsider
inroot useradd --create-home member
inroot adduser --quiet member quillmark

helper=/opt/quillmark/quillmark-capture-helper
expect "helper owner and mode" "root:quillmark 750" "$(inroot stat -c '%U:%G %a' $helper)"
expect "helper capability" "$helper cap_net_raw=ep" "$(inroot getcap $helper)"
expect "program owner, mode, no capability" "root:root 755 " \
    "$(inroot stat -c '%U:%G %a' /opt/quillmark/quillmark) $(inroot getcap /opt/quillmark/quillmark)"
expect "dump directory owner and mode" "root:quillmark 2770" \
    "$(inroot stat -c '%U:%G %a' /opt/quillmark/dumps)"

# Starts /usr/bin/quillmark offscreen as USER; after 3 s prints what runs,
# its effective capabilities, and its exit status once terminated.
start_as() {
    inroot runuser -u "$1" -- env QT_QPA_PLATFORM=offscreen bash -c '
        quillmark & pid=$!
        sleep 3
        kill -0 "$pid" 2>/dev/null || { wait "$pid"; echo "exited early: $?"; exit; }
        echo "$(cat /proc/$pid/comm) $(awk "/^CapEff/ { print \$2 }" /proc/$pid/status)"
        kill "$pid"
        wait "$pid" || echo "status $?"'
}
# CAP_NET_RAW is capability 13: effective set 0x2000.
for user in outsider member; do
    expect "$user starts the program, window up, no capability" \
        "quillmark 0000000000000000 status 143" "$(start_as $user | tr '\n' ' ' | sed 's/ $//')"
done
expect "outsider cannot run the helper" "Permission denied" \
    "$(inroot runuser -u outsider -- $helper 2>&1 | grep -o 'Permission denied')"

expect "member writes to the dump directory" "written" \
    "$(inroot runuser -u member -- sh -c 'umask 077; echo data >/opt/quillmark/dumps/dump.log2149 && echo written')"
expect "outsider cannot write to the dump directory" "refused" \
    "$(inroot runuser -u outsider -- sh -c 'echo x >/opt/quillmark/dumps/x' 2>/dev/null || echo refused)"

install_package --reinstall
expect "capability back after reinstall" "$helper cap_net_raw=ep" "$(inroot getcap $helper)"

inroot apt-get remove -y -q quillmark >/dev/null 2>&1
expect "remove: programs gone; group and dumps stay until purge" "gone root:quillmark 2770 data" \
    "$(inroot sh -c 'ls /opt/quillmark/quillmark* 2>/dev/null || echo gone') $(inroot stat -c '%U:%G %a' /opt/quillmark/dumps) $(inroot cat /opt/quillmark/dumps/dump.log2149)"

install_package
expect "install after remove: capability back" "$helper cap_net_raw=ep" "$(inroot getcap $helper)"

inroot apt-get purge -y -q quillmark >/dev/null 2>&1
expect "purge: group gone" "gone" "$(inroot getent group quillmark || echo gone)"
expect "purge: no override left" "" "$(inroot dpkg-statoverride --list '/opt/quillmark/*')"
expect "purge: dumps kept, read by their owner" "root:root 755 data" \
    "$(inroot stat -c '%U:%G %a' /opt/quillmark/dumps) $(inroot runuser -u member -- cat /opt/quillmark/dumps/dump.log2149)"

install_package
expect "install after purge: dump directory open to the group again" "root:quillmark 2770" \
    "$(inroot stat -c '%U:%G %a' /opt/quillmark/dumps)"

exit "$failed"
