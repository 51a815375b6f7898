#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every test function passes on its own: each function of each QtTest program in the build runs by itself, two at
# a time, so that no test leans on what an earlier one left behind. Prints the ones that fail.
set -uo pipefail
tests="$1"
export QT_QPA_PLATFORM=offscreen
list=$(mktemp)
trap 'rm -f "$list"' EXIT
for program in "$tests"/tst_*; do
    [ -f "$program" ] && [ -x "$program" ] || continue
    "$program" -functions | sed -n 's/()$//p' | while read -r function; do
        printf '%s %s\n' "$program" "$function"
    done
done >"$list"
echo "$(wc -l <"$list") test functions, each alone"
# A failure shows what the function printed: a test that fails only on a busy machine is seldom seen twice.
failed=$(xargs -P 2 -L 1 sh -c 'out=$("$0" "$1" 2>&1) || printf "FAIL: %s %s\n%s\n" "$(basename "$0")" "$1" "$(printf "%s\n" "$out" | grep -E "^(FAIL|   Loc|QWARN|QDEBUG)" | head -20)"' <"$list")
[ -z "$failed" ] && exit 0
echo "$failed"
exit 1
