#!/usr/bin/env bash
# Builds the Debian package from this build tree with CPack and checks what it
# holds: every file with its mode and owner, the control data, the maintainer
# scripts and the desktop entry.
# Arguments: the tree's CPackConfig.cmake, a work folder, the source folder.
set -euo pipefail
config=$1 work=$2 source=$3

mkdir -p "$work"
rm -f "$work"/*.deb
cpack -G DEB --config "$config" -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; exit 1; }

failed=0
fail() {
    echo "FAIL: $*"
    failed=1
}

# The version the About window shows is the one the package carries.
version=$(sed -n 's|.*<string>Version \([0-9.]*\)</string>.*|\1|p' "$source/resources/About.ui")
deb=$work/quillmark_${version}-1_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { fail "no $deb; made: $(ls "$work"/*.deb)"; exit 1; }

# Every entry, and nothing else: one program, which everyone may run; only
# root may run the capture helper until postinst hands it to the group; the
# dump directory starts owner-only; nothing is setuid or setgid.
expected_files="\
drwxr-xr-x root/root ./opt/
drwxr-xr-x root/root ./opt/quillmark/
drwx------ root/root ./opt/quillmark/dumps/
-rwxr-xr-x root/root ./opt/quillmark/quillmark
-rwxr-x--- root/root ./opt/quillmark/quillmark-capture-helper
drwxr-xr-x root/root ./usr/
drwxr-xr-x root/root ./usr/bin/
lrwxrwxrwx root/root ./usr/bin/quillmark -> /opt/quillmark/quillmark
drwxr-xr-x root/root ./usr/share/
drwxr-xr-x root/root ./usr/share/applications/
-rw-r--r-- root/root ./usr/share/applications/quillmark.desktop
drwxr-xr-x root/root ./usr/share/icons/
drwxr-xr-x root/root ./usr/share/icons/hicolor/
drwxr-xr-x root/root ./usr/share/icons/hicolor/64x64/
drwxr-xr-x root/root ./usr/share/icons/hicolor/64x64/apps/
-rw-r--r-- root/root ./usr/share/icons/hicolor/64x64/apps/quillmark.png"
files=$(dpkg-deb -c "$deb" | awk '{ $3 = $4 = $5 = ""; print }' | tr -s ' ')
[ "$files" = "$expected_files" ] ||
    fail "package files differ:"$'\n'"$(diff <(echo "$expected_files") <(echo "$files"))"

root=$work/root
rm -rf "$root" && mkdir -p "$root"
dpkg-deb -x "$deb" "$root"
dpkg-deb -e "$deb" "$root/DEBIAN"

# The helper loads no library: nothing but its own code runs with the
# capability.
for program in quillmark quillmark-capture-helper; do
    file "$root/opt/quillmark/$program" | grep -q ', stripped' ||
        fail "$program is not stripped"
done
file "$root/opt/quillmark/quillmark-capture-helper" | grep -q 'static-pie linked' ||
    fail "the capture helper is not statically linked"

# Control fields; the versioned library entries come from dpkg-shlibdeps.
control() { dpkg-deb -f "$deb" "$1"; }
while IFS='|' read -r field pattern; do
    [[ "$(control "$field")" =~ $pattern ]] || fail "$field '$(control "$field")' lacks '$pattern'"
done <<EOF
Package|^quillmark$
Version|^${version}-1$
Architecture|^$(dpkg --print-architecture)$
Section|^net$
Depends|(^|, )libqt6widgets6 \(>= 6\.[0-9.]+\)(,|$)
Depends|(^|, )libqt6gui6 \(>= 6\.[0-9.]+\)(,|$)
Depends|(^|, )libqt6core6 \(>= 6\.[0-9.]+\)(,|$)
Depends|(^|, )libstdc\+\+6 \(>= [0-9.]+\)(,|$)
Depends|(^|, )libc6 \(>= [0-9.]+\)(,|$)
Depends|(^|, )adduser(,|$)
Depends|(^|, )libcap2-bin(,|$)
Depends|(^|, )fonts-liberation2(,|$)
EOF

# The maintainer scripts are the reviewed ones, executable, and parse.
for script in postinst postrm; do
    [ -x "$root/DEBIAN/$script" ] || fail "$script is not executable"
    cmp -s "$root/DEBIAN/$script" "$source/packaging/$script" ||
        fail "$script differs from packaging/$script"
    bash -n "$root/DEBIAN/$script" || fail "$script does not parse"
done

# The menu entry is valid, starts a command the package installs, and names
# an icon the package installs.
entry=$root/usr/share/applications/quillmark.desktop
desktop-file-validate "$entry" || fail "desktop entry invalid"
key() { sed -n "s/^$1=//p" "$entry"; }
exec=$root/usr/bin/$(key Exec | cut -d' ' -f1)
[ -x "$root$(readlink "$exec")" ] || fail "Exec '$(key Exec)' not installed"
compgen -G "$root/usr/share/icons/hicolor/*/apps/$(key Icon).png" >/dev/null ||
    fail "icon '$(key Icon)' not installed"
[[ ";$(key Categories)" == *";System;"* && ";$(key Categories)" == *";Monitor;"* ]] ||
    fail "Categories '$(key Categories)' lack System;Monitor;"

exit "$failed"
