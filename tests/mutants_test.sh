#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The mutation run on a tiny project of its own: the mutants its test catches are killed, the ones it misses
# survive, a mutant that breaks the build and one that loops are told apart, a listed equivalent is skipped, and a
# second run carries on from the first one's results without trying anything again.
set -euo pipefail
root="$1"
work=$(mktemp -d -t norv-mutants-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
cp "$root"/tests/mutants/* "$work"/
git -C "$work" init -q
git -C "$work" add .
git -C "$work" -c user.name=test -c user.email=test@example.invalid commit -q -m fixture
run() { "$root/scripts/mutants" --root "$work" --files mini.cpp --equivalent equivalent.txt --timeout 3 "$@"; }
run --report "$work/report.md" >"$work/out.txt"

fail() { echo "FAIL: $*"; cat "$work/out.txt"; exit 1; }
expect() { # status, then the change as the run prints it
    grep -qF -- "$1 mini.cpp:" <(grep -F -- "$2" "$work/out.txt") || fail "expected $1: $2"
}
expect killed 'return status == "critical" || status == "warning"; ⇒ return status == "critical" && status == "warning";'
expect killed 'if (value < 0) ⇒ if (value > 0)'
expect survived 'return status == "critical" || status == "warning"; ⇒ return status == "critical" || status == "~warning";'
expect survived 'return value > Limit ? Limit : value; ⇒ return value >= Limit ? Limit : value;'
expect "does not compile" 'static_assert(Limit == 100, "a mutant here does not compile"); ⇒ static_assert(Limit != 100,'
expect "timed out" 'left -= step; ⇒ (nothing)'
grep -qF 'if (value <= 0)' "$work/out.txt" && fail "the listed equivalent mutant was tried"
grep -q '1 listed as equivalent' "$work/out.txt" || fail "the equivalent mutant is not counted"
grep -qF '| mini.cpp:16 | string: `return status == "critical" || status == "warning";`' "$work/report.md" ||
    fail "the report does not list the surviving string"
killed=$(grep -c ' killed mini.cpp' "$work/out.txt")
survived=$(grep -c ' survived mini.cpp' "$work/out.txt")
timed=$(grep -c ' timed out mini.cpp' "$work/out.txt")
grep -qF "Score: $((killed + timed))/$((killed + timed + survived))" "$work/report.md" || fail "the score is not the count"

run >"$work/again.txt"
grep -q '^\[' "$work/again.txt" && fail "the second run tried mutants again"
grep -q ' already judged' "$work/again.txt" || fail "the second run did not resume"
run --summary >"$work/summary.txt"
grep -qF "Score: $((killed + timed))/$((killed + timed + survived))" "$work/summary.txt" || fail "the summary is not the run's"
echo "PASS: $killed killed, $survived survived, $timed timed out"
