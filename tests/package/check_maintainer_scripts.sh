#!/usr/bin/env bash
# Runs the package's postinst and postrm against stand-ins for the system
# tools they call, and checks what they would do to the system: the order of
# the steps, the rights given, what an administrator set, and that the users'
# dump files survive. Argument: the folder that holds postinst and postrm.
set -euo pipefail
scripts=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Each stand-in logs its name and arguments and succeeds, except a tool named
# in FAILING; dpkg-statoverride --list finds only the paths in OVERRIDDEN.
mkdir "$work/bin"
for tool in addgroup dpkg-statoverride setcap chown chmod groupdel getent rm rmdir; do
    cat >"$work/bin/$tool" <<'STUB'
#!/bin/bash
echo "${0##*/} $*" >>"$LOG"
case " $FAILING " in *" ${0##*/} "*) exit 1 ;; esac
if [ "${0##*/} $1" = "dpkg-statoverride --list" ]; then
    case " $OVERRIDDEN " in *" $2 "*) exit 0 ;; *) exit 1 ;; esac
fi
STUB
    chmod +x "$work/bin/$tool"
done

helper=/opt/quillmark/quillmark-capture-helper
old_copy=/opt/quillmark/quillmark-capture
dumps=/opt/quillmark/dumps
root=$work/root
failed=0
# Columns, split by '%': case, script and argument, OVERRIDDEN, FAILING, exit
# status, regexes the steps (joined by "; ") must and must not match, and one
# that stderr must match.
while IFS='%' read -r name call overridden failing status must must_not stderr_must; do
    rm -rf "$root" && mkdir -p "$root$dumps" && echo data >"$root$dumps/dump.log2149" && : >"$work/log"
    actual_status=0
    env PATH="$work/bin:$PATH" LOG="$work/log" DPKG_ROOT="$root" OVERRIDDEN="$overridden" FAILING="$failing" \
        bash "$scripts/${call% *}" "${call#* }" 2>"$work/stderr" || actual_status=$?
    log=$(paste -sd';' "$work/log" | sed 's/;/; /g')
    problems=()
    [ "$actual_status" = "$status" ] || problems+=("exit status $actual_status")
    [[ "$log" =~ $must ]] || problems+=("steps lack /$must/")
    [ -z "$must_not" ] || ! [[ "$log" =~ $must_not ]] || problems+=("steps match /$must_not/")
    [[ "$(<"$work/stderr")" =~ $stderr_must ]] || problems+=("stderr lacks /$stderr_must/")
    [ "$(cat "$root$dumps/dump.log2149" 2>/dev/null)" = data ] || problems+=("a dump file is gone")
    [ ${#problems[@]} -eq 0 ] || { failed=1; printf 'FAIL: %s: %s\n  steps: %s\n' "$name" "${problems[*]}" "$log"; }
done <<EOF
install gives the group the helper, then CAP_NET_RAW%postinst configure%%%0%--add root quillmark 0750 $helper; .*setcap cap_net_raw\+ep $root$helper$%setcap.*(chown|--update)%
install lets only the group write dumps%postinst configure%%%0%^addgroup --quiet --system quillmark; .*--add root quillmark 2770 $dumps;%%
an administrator's override stays%postinst configure%$helper $dumps%%0%setcap cap_net_raw\+ep%--add%
no extended attributes: install goes on and says so%postinst configure%%setcap%0%setcap%%did not receive CAP_NET_RAW
upgrade from the capture copy takes back its override%postinst configure%$old_copy%%0%--remove $old_copy; .*setcap cap_net_raw\+ep $root$helper$%%
a failed upgrade's unwinding changes nothing%postinst abort-upgrade%%%0%^$%.%
upgrade keeps the dump directory as it is%postrm upgrade%%%0%^$%.%
remove leaves the group and its dump directory until purge%postrm remove%%%0%^$%.%
purge takes back the overrides and the group%postrm purge%$helper $dumps%%0%^chown root:root $root$dumps; chmod 00755 $root$dumps; .*--remove $helper; .*--remove $dumps; .*groupdel quillmark$%(^|; )(rm|rmdir) %
purge goes on when the group cannot be removed%postrm purge%%groupdel%0%groupdel quillmark%%could not remove the group
EOF
exit "$failed"
