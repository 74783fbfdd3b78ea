#!/usr/bin/env bash
# The soak in one command: runs the soak's driver (soak_driver.exe) under Wine,
# in a fresh prefix with a virtual desktop, against rivanta.exe (a long run at
# 1000 per second, then many starts and stops by F6); then runs the rate
# language's fuzz target from the committed corpus and merges into that corpus
# every input that adds coverage; then writes bench/SOAK.md and bench/soak.png.
#
#   bench/run_soak.sh [<build folder of the windows preset> [<build folder of the fuzz preset>]]
#
# The build folders default to build/windows and build/fuzz, both built. Needs
# a display in $DISPLAY (./dev.sh soak starts Xvfb) and Debian's
# python3-matplotlib. The two parts run one after the other, never together,
# so that the fuzzer does not load the machine under the soak.
#
# Environment, with the defaults:
#   SOAK_MINUTES=30            length of the long run
#   SOAK_WARMUP_MINUTES=1      the resources are compared with their value after this
#   SOAK_CYCLES=2000           starts and stops by F6 after the long run
#   SOAK_FUZZ_RUNS=100000000   executions of the fuzz target; 0: no fuzzing
#   SOAK_REPORT=bench/SOAK.md, SOAK_PLOT=bench/soak.png
#                              where the report and its plot go (a short check
#                              run can write them elsewhere)
# With the defaults the soak takes about 35 minutes and the fuzzing about as long.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/bench_common.sh
build=$(cd "${1:-build/windows}" && pwd)
fuzz_build=${2:-build/fuzz}
out=$build/bench/soak
prefix=$build/bench/soak-wineprefix
minutes=${SOAK_MINUTES:-30}
warmup=${SOAK_WARMUP_MINUTES:-1}
cycles=${SOAK_CYCLES:-2000}
fuzz_runs=${SOAK_FUZZ_RUNS:-100000000}
report=${SOAK_REPORT:-bench/SOAK.md}
plot=${SOAK_PLOT:-bench/soak.png}
corpus=tests/fuzz/corpus
fuzzer=$fuzz_build/tests/fuzz/rate_fuzz

for f in "$build/app/rivanta.exe" "$build/bench/soak_driver.exe"; do
  [ -f "$f" ] || { echo "missing $f: build the windows preset first" >&2; exit 1; }
done
if [ "$fuzz_runs" != 0 ] && [ ! -x "$fuzzer" ]; then
  echo "missing $fuzzer: build the fuzz preset first" >&2
  exit 1
fi
[ -n "${DISPLAY:-}" ] || { echo "no DISPLAY: run under Xvfb (./dev.sh soak does)" >&2; exit 1; }

rm -rf "$out"
mkdir -p "$out"
note_surroundings "$out" "$prefix" before
date -u '+%Y-%m-%d %H:%M UTC' > "$out/started"

started=$SECONDS
tests/wine_prefix.sh start "$prefix"
trap 'tests/wine_prefix.sh stop "$prefix" >/dev/null' EXIT
rc=0
WINEPREFIX=$prefix WINEDEBUG=-all wine "$build/bench/soak_driver.exe" "$build/app/rivanta.exe" \
  "$out" --minutes "$minutes" --warmup "$warmup" --cycles "$cycles" </dev/null || rc=$?
tests/wine_prefix.sh stop "$prefix" >/dev/null
trap - EXIT
note_surroundings "$out" "$prefix" after
echo "$((SECONDS - started))" > "$out/soak_seconds"
if [ $rc -ne 0 ] && [ ! -s "$out/soak_summary.tsv" ]; then
  echo "soak: the driver failed (exit $rc) before writing its figures; no report written" >&2
  exit $rc
fi
echo "$rc" > "$out/driver_exit"

if [ "$fuzz_runs" != 0 ]; then
  # New inputs go to a folder of their own; the committed corpus is read,
  # and only the merge below adds to it.
  mkdir -p "$out/fuzz-new" "$out/fuzz-artifacts"
  find "$corpus" -type f | wc -l > "$out/fuzz_corpus_before"
  fuzz_started=$SECONDS
  fuzz_rc=0
  "$fuzzer" -runs="$fuzz_runs" -max_len=400 -print_final_stats=1 \
    -artifact_prefix="$out/fuzz-artifacts/" "$out/fuzz-new" "$corpus" \
    > "$out/fuzz.log" 2>&1 || fuzz_rc=$?
  echo "$((SECONDS - fuzz_started))" > "$out/fuzz_seconds"
  echo "$fuzz_rc" > "$out/fuzz_exit"
  merge_rc=0
  "$fuzzer" -merge=1 -max_len=400 "$corpus" "$out/fuzz-new" > "$out/fuzz-merge.log" 2>&1 || merge_rc=$?
  echo "$merge_rc" > "$out/fuzz_merge_exit"
  find "$corpus" -type f | wc -l > "$out/fuzz_corpus_after"
  echo "$fuzz_runs" > "$out/fuzz_runs_asked"
fi

# Debian's python3, for which its matplotlib package is installed.
"${PYTHON:-/usr/bin/python3}" bench/soak_report.py "$out" "$report" "$plot"
echo "soak: $((SECONDS - started)) s in all"
exit $rc
