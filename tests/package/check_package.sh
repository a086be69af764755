#!/usr/bin/env bash
# Builds the Debian package from this build tree with CPack and checks what it
# holds: every file with its mode and owner, the control data, the maintainer
# scripts, the desktop entry and the software-centre metadata, the manual
# page, what lintian says of it, and what the program answers on its command
# line.
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

# The version the program reports is the one the package carries.
deb=$(ls "$work"/quillmark_*.deb)
root=$work/root
rm -rf "$root" && mkdir -p "$root"
dpkg-deb -x "$deb" "$root"
dpkg-deb -e "$deb" "$root/DEBIAN"
# The packaged program, started where there is no display.
program() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/opt/quillmark/quillmark" "$@"; }
version=$(program --version | sed 's/^Quillmark //') || fail "no version from --version"

# Every entry but the plain directories, and nothing else: one program, which
# everyone may run; only root may run the capture helper until postinst hands
# it to the group; the dump directory starts owner-only; nothing is setuid or
# setgid.
expected_files="\
drwx------ root/root ./opt/quillmark/dumps/
-rwxr-xr-x root/root ./opt/quillmark/quillmark
-rwxr-x--- root/root ./opt/quillmark/quillmark-capture-helper
lrwxrwxrwx root/root ./usr/bin/quillmark -> /opt/quillmark/quillmark
-rw-r--r-- root/root ./usr/share/applications/io.github.quillmark.quillmark.desktop
-rw-r--r-- root/root ./usr/share/doc/quillmark/changelog.Debian.gz
-rw-r--r-- root/root ./usr/share/doc/quillmark/copyright
-rw-r--r-- root/root ./usr/share/icons/hicolor/64x64/apps/quillmark.png
-rw-r--r-- root/root ./usr/share/icons/hicolor/scalable/apps/quillmark.svg
-rw-r--r-- root/root ./usr/share/lintian/overrides/quillmark
-rw-r--r-- root/root ./usr/share/man/man1/quillmark.1.gz
-rw-r--r-- root/root ./usr/share/metainfo/io.github.quillmark.quillmark.metainfo.xml"
files=$(dpkg-deb -c "$deb" | awk '$1 != "drwxr-xr-x" { $3 = $4 = $5 = ""; print }' | tr -s ' ')
[ "$files" = "$expected_files" ] ||
    fail "package files differ:"$'\n'"$(diff <(echo "$expected_files") <(echo "$files"))"

# The helper loads no library: nothing but its own code runs with the
# capability.
for program in quillmark quillmark-capture-helper; do
    file "$root/opt/quillmark/$program" | grep -q ', stripped' ||
        fail "$program is not stripped"
done
file "$root/opt/quillmark/quillmark-capture-helper" | grep -q 'static-pie linked' ||
    fail "the capture helper is not statically linked"

# Control fields worked out at build time: the version, the architecture and
# the versioned library entries dpkg-shlibdeps finds.
control() { dpkg-deb -f "$deb" "$1"; }
while IFS='|' read -r field pattern; do
    [[ "$(control "$field")" =~ $pattern ]] || fail "$field '$(control "$field")' lacks '$pattern'"
done <<EOF
Version|^${version}-1$
Architecture|^$(dpkg --print-architecture)$
Depends|(^|, )libqt6widgets6 \(>= 6\.[0-9.]+\)(,|$)
Depends|(^|, )libqt6gui6 \(>= 6\.[0-9.]+\)(,|$)
Depends|(^|, )libqt6core6 \(>= 6\.[0-9.]+\)(,|$)
Depends|(^|, )libstdc\+\+6 \(>= [0-9.]+\)(,|$)
Depends|(^|, )libc6 \(>= [0-9.]+\)(,|$)
EOF

# The maintainer scripts are the reviewed ones, executable, and parse.
for script in postinst postrm; do
    [ -x "$root/DEBIAN/$script" ] || fail "$script is not executable"
    cmp -s "$root/DEBIAN/$script" "$source/packaging/$script" ||
        fail "$script differs from packaging/$script"
    bash -n "$root/DEBIAN/$script" || fail "$script does not parse"
done

# The menu entry is valid, starts a command the package installs, and names
# its icon, which the file list above holds at 64 px and as SVG.
entry=$root/usr/share/applications/io.github.quillmark.quillmark.desktop
desktop-file-validate "$entry" || fail "desktop entry invalid"
key() { sed -n "s/^$1=//p" "$entry"; }
exec=$root/usr/bin/$(key Exec | cut -d' ' -f1)
[ -x "$root$(readlink "$exec")" ] || fail "Exec '$(key Exec)' not installed"
[ -f "$root/usr/share/icons/hicolor/scalable/apps/$(key Icon).svg" ] ||
    fail "icon '$(key Icon)' not installed"

# The metadata validates with the desktop entry it names, and its newest
# release, like the Debian changelog's, is the version packaged.
command -v appstreamcli >/dev/null && ! appstream=$(appstreamcli validate-tree --pedantic --no-net "$root") &&
    fail "AppStream metadata: $appstream"
grep -m1 '<release ' "$root"/usr/share/metainfo/*.xml | grep -q "version=\"$version\"" ||
    fail "metainfo's newest release is not $version"
zcat "$root/usr/share/doc/quillmark/changelog.Debian.gz" | head -n1 | grep -q "^quillmark ($version-1) " ||
    fail "changelog's newest entry is not $version-1"
page_warnings=$(MANWIDTH=80 man --warnings=w -l "$root/usr/share/man/man1/quillmark.1.gz" 2>&1 >/dev/null)
[ -z "$page_warnings" ] || fail "manual page: $page_warnings"
# No error or warning but the overridden ones, and no override left unused.
command -v lintian >/dev/null && { lintian -I "$deb" 2>/dev/null || :; } | grep -E '^[EW]: |-override ' &&
    fail "lintian reports the lines above"

# Where there is no display, the command line is still answered: the exit
# status, standard output and standard error, joined by ';', match a regex.
while IFS='|' read -r arguments expected; do
    status=0
    out=$(program $arguments 2>"$work/err") || status=$?
    [[ "$status;$out;$(<"$work/err")" =~ $expected ]] ||
        fail "quillmark $arguments: $status;$out;$(<"$work/err")"
done <<EOF
--version|^0;Quillmark [0-9]+\.[0-9]+;$
--help|^0;Usage: [^ ]*quillmark \[options\].*--help.*--version.*;$
--bogus|^2;;.*Unknown option 'bogus'.*--help
stray|^2;;.*Unexpected argument 'stray'
|^1;;Quillmark needs a graphical session .* none was found\.$
EOF

exit "$failed"
