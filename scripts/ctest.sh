#!/usr/bin/env bash
# Runs the test suite of a build tree with CTest. The tests that need root
# skip for anyone else, so when a user who is not root can obtain it with
# sudo, the tests that skipped run again as root: a sudo user gets the
# coverage of a root run. Writes the skips that remain, with their reasons,
# to BUILD/skipped.txt, which test.sh prints at its very end.
# Usage: bash scripts/ctest.sh BUILD
set -euo pipefail
build=$1
log=$build/Testing/Temporary/LastTest.log
report=$build/skipped.txt

# "NAME<TAB>REASON" for each skipped test of a CTest log, once: gtest prints
# a skip as "FILE:LINE: Skipped", then the reason on the next line, and one
# CTest test may run several gtest cases.
skips() {
    awk '/^[0-9]+\/[0-9]+ Test: / { name = $3 }
         skipped && !seen[name]++ {
             print name "\t" (/^(\[  SKIPPED \]|$)/ ? "(no reason given)" : $0) }
         { skipped = /: Skipped$/ }' "$1"
}

root_available() {
    [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null &&
        { sudo -n true 2>/dev/null || { [ -t 0 ] && sudo -v; }; }
}

count() {
    if [ -z "$1" ]; then echo 0; else wc -l <<<"$1"; fi
}

status=0
ctest --test-dir "$build" --output-on-failure --timeout 300 -j2 || status=$?
skipped=$(skips "$log")
reran=0
if [ -n "$skipped" ] && root_available; then
    names=$(cut -f1 <<<"$skipped" | sed 's/[][\.*^$+?(){}|]/\\&/g' | paste -sd'|')
    reran=$(count "$skipped")
    echo "Running again as root the $reran tests that skipped as $(id -un):"
    sudo ctest --test-dir "$build" --output-on-failure --timeout 300 -j2 -R "^($names)\$" ||
        status=$?
    # Root's log and test files stay the user's to overwrite.
    sudo chown -R "$(id -u):$(id -g)" "$build/Testing"
    skipped=$(skips "$log")
fi
{
    [ "$reran" -eq 0 ] || echo "$reran tests that skipped as $(id -un) ran again as root."
    echo "$(count "$skipped") tests were skipped."
    [ -z "$skipped" ] || cut -f2 <<<"$skipped" | sort | uniq -c | sort -rn |
        sed 's/^ *\([0-9]*\) /  \1 x /'
} >"$report"
exit "$status"
