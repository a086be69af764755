#!/usr/bin/env bash
# Builds the Debian package from this build tree with CPack and checks what it
# holds: the rights of the capture helper and the dump directory, the version
# it carries everywhere, the desktop entry, the software-centre metadata, the
# manual page, what lintian says of it, and what the program answers on its
# command line.
# Arguments: the tree's CPackConfig.cmake and a work folder.
set -euo pipefail
config=$1 work=$2

mkdir -p "$work"
rm -f "$work"/*.deb
cpack -G DEB --config "$config" -B "$work" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
failed=0
fail() { echo "FAIL: $*"; failed=1; }
deb=$(ls "$work"/quillmark_*.deb)
root=$work/root
rm -rf "$root" && dpkg-deb -x "$deb" "$root"
# The packaged program, started where there is no display.
program() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/opt/quillmark/quillmark" "$@"; }
version=$(program --version | sed 's/^Quillmark //') || fail "no version from --version"

# Only root may run the capture helper until postinst hands it to the group,
# and it loads no library: nothing but its own code runs with the capability.
# The dump directory starts owner-only; nothing is setuid or setgid.
files=$(dpkg-deb -c "$deb" | awk '{ print $1, $2, $6 }')
for entry in "drwx------ root/root ./opt/quillmark/dumps/" \
    "-rwxr-x--- root/root ./opt/quillmark/quillmark-capture-helper"; do
    grep -qxF -- "$entry" <<<"$files" || fail "no '$entry' in:"$'\n'"$files"
done
! grep -E '^.{3}[sS]|^.{6}[sS]' <<<"$files" || fail "setuid or setgid entries above"
file "$root/opt/quillmark/quillmark-capture-helper" | grep -q 'static-pie linked' ||
    fail "the capture helper is not statically linked"

# The version reported is the one the package, the changelog and the metadata's
# newest release carry.
[ "$(dpkg-deb -f "$deb" Version)" = "$version-1" ] || fail "package version is not $version-1"
zcat "$root/usr/share/doc/quillmark/changelog.Debian.gz" | head -n1 | grep -q "^quillmark ($version-1) " ||
    fail "changelog's newest entry is not $version-1"
grep -m1 '<release ' "$root"/usr/share/metainfo/*.xml | grep -q "version=\"$version\"" ||
    fail "metainfo's newest release is not $version"

# The menu entry is valid and starts a command the package installs, with
# an icon it installs; the metadata validates with it; lintian, which also
# reads the manual page's warnings, has nothing to say but the overridden,
# and no override is unused.
entry=$root/usr/share/applications/io.github.quillmark.quillmark.desktop
desktop-file-validate "$entry" || fail "desktop entry invalid"
exec=$root/usr/bin/$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
[ -x "$root$(readlink "$exec")" ] || fail "Exec '$exec' not installed"
[ -f "$root/usr/share/icons/hicolor/scalable/apps/$(sed -n 's/^Icon=//p' "$entry").svg" ] ||
    fail "icon not installed"
! appstream=$(appstreamcli validate-tree --pedantic --no-net "$root") &&
    fail "AppStream metadata: $appstream"
{ lintian -I "$deb" 2>/dev/null || :; } | grep -E '^[EW]: |-override ' &&
    fail "lintian reports the lines above"

# Where there is no display, the command line is still answered: the exit
# status, standard output and standard error, joined by ';', match a regex.
while IFS='|' read -r arguments expected; do
    status=0
    out=$(program $arguments 2>"$work/err") || status=$?
    [[ "$status;$out;$(<"$work/err")" =~ $expected ]] || fail "quillmark $arguments: $status;$out;$(<"$work/err")"
done <<EOF
--version|^0;Quillmark [0-9]+\.[0-9]+;$
--help|^0;Usage: [^ ]*quillmark \[options\].*--help.*--version.*;$
--bogus|^2;;.*Unknown option 'bogus'.*--help
stray|^2;;.*Unexpected argument 'stray'
|^1;;Quillmark needs a graphical session .* none was found\.$
EOF
exit "$failed"
