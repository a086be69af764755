#!/usr/bin/env bash
# Starts the program with no display and checks what each command line
# answers: the exit status, and regexes over standard output and error.
# Argument: the program.
set -uo pipefail
program=$1
stderr=$(mktemp)
trap 'rm -f "$stderr"' EXIT
failed=0
while IFS='|' read -r arguments status out err; do
    read -ra words <<<"$arguments"
    actual_out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
        "$program" "${words[@]}" 2>"$stderr")
    actual_status=$?
    actual_err=$(cat "$stderr")
    if [ "$actual_status" != "$status" ] || ! [[ "$actual_out" =~ $out ]] ||
        ! [[ "$actual_err" =~ $err ]]; then
        printf 'FAIL: [%s] status %s\n  out: %s\n  err: %s\n' \
            "$arguments" "$actual_status" "$actual_out" "$actual_err"
        failed=1
    fi
done <<'TABLE'
--version|0|^Quillmark 2\.0$|^$
--help|0|^Usage: .*quillmark \[options\].*--help.*--version|^$
--bogus|2|^$|Unknown option 'bogus'.*--help
--version --bogus|2|^$|Unknown option 'bogus'
stray|2|^$|Unexpected argument 'stray'
|1|^$|^Quillmark needs a graphical session .* none was found\.$
TABLE
exit "$failed"
