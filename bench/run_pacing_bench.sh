#!/usr/bin/env bash
# The pacing benchmark in one command: runs the driver (pacing_driver.exe)
# under Wine, in a fresh prefix with a virtual desktop, against rivanta.exe,
# the plain sleep loop, the builds of rivanta.exe whose worker runs at other
# priorities, and a spinning process for the load case; then writes
# bench/REPORT.md and bench/pacing.png from its figures.
#
#   bench/run_pacing_bench.sh [<build folder of the windows preset> [<rate>[:<seconds>] ...]]
#
# The build folder defaults to build/windows (configured: the priority builds
# are made here); rates default to the driver's (1, 20, 100, 333 and 1000 per
# second, each for 200 presses within 4 to 6 s). Needs a display in $DISPLAY
# (./dev.sh bench starts Xvfb) and Debian's python3-matplotlib.
#
# Environment, with the defaults:
#   BENCH_ROUNDS=3            rounds; every rate and build runs once in each
#   BENCH_LOAD_RATES=333,1000 rates of the load case and of the priority builds
#   BENCH_LOAD_SECONDS=3      length of each of those runs
#   BENCH_LOAD=1              0: no load case (no spinning process)
#   BENCH_VARIANTS="above_normal highest time_critical mmcss_games"
#                             the priority builds to run beside the default;
#                             "none" for none
#   BENCH_PHASE_SECONDS=5     the idle and the paused CPU measurement
#   BENCH_REPORT=bench/REPORT.md, BENCH_PLOT=bench/pacing.png
#                             where the report and its plot go (a short check
#                             run can write them elsewhere)
# With the defaults the whole run takes about 8 minutes.
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/bench_common.sh
build=${1:-build/windows}
[ $# -gt 0 ] && shift
build=$(cd "$build" && pwd)
out=$build/bench/results
prefix=$build/bench/wineprefix
rounds=${BENCH_ROUNDS:-3}
load_rates=${BENCH_LOAD_RATES:-333,1000}
load_seconds=${BENCH_LOAD_SECONDS:-3}
phase_seconds=${BENCH_PHASE_SECONDS:-5}
variants=${BENCH_VARIANTS:-above_normal highest time_critical mmcss_games}
[ "$variants" = none ] && variants=
report=${BENCH_REPORT:-bench/REPORT.md}
plot=${BENCH_PLOT:-bench/pacing.png}

variant_args=()
variant_targets=()
for v in $variants; do
  variant_targets+=("rivanta_worker_$v")
  variant_args+=(--variant "$v=$build/bench/rivanta_worker_$v.exe")
done
if [ ${#variant_targets[@]} -gt 0 ]; then
  cmake --build "$build" --target "${variant_targets[@]}" >/dev/null
fi
load_args=()
[ "${BENCH_LOAD:-1}" = 1 ] && load_args=(--spinner "$build/bench/cpu_spinner.exe")

for f in app/rivanta.exe bench/pacing_driver.exe bench/sleep_loop_baseline.exe bench/cpu_spinner.exe; do
  [ -f "$build/$f" ] || { echo "missing $build/$f: build the windows preset first" >&2; exit 1; }
done
[ -n "${DISPLAY:-}" ] || { echo "no DISPLAY: run under Xvfb (./dev.sh bench does)" >&2; exit 1; }

rm -rf "$out"
mkdir -p "$out"
note_surroundings "$out" "$prefix" before
# The limits under which Wine could change a thread's Linux scheduling.
{
  echo "user	$(id -un)"
  echo "rlimit_nice	$(ulimit -e)"
  echo "rlimit_rtprio	$(ulimit -r)"
  echo "wine	$(wine --version 2>/dev/null)"
} > "$out/scheduling_limits"

started=$SECONDS
tests/wine_prefix.sh start "$prefix"
trap 'tests/wine_prefix.sh stop "$prefix" >/dev/null' EXIT
rc=0
WINEPREFIX=$prefix WINEDEBUG=-all wine "$build/bench/pacing_driver.exe" \
  "$build/app/rivanta.exe" "$build/bench/sleep_loop_baseline.exe" "$out" \
  --rounds "$rounds" --load-rates "$load_rates" --load-seconds "$load_seconds" \
  --phase-seconds "$phase_seconds" ${load_args[@]+"${load_args[@]}"} \
  ${variant_args[@]+"${variant_args[@]}"} "$@" </dev/null || rc=$?
tests/wine_prefix.sh stop "$prefix" >/dev/null
trap - EXIT
note_surroundings "$out" "$prefix" after
echo "$((SECONDS - started))" > "$out/wall_seconds"
if [ $rc -ne 0 ]; then
  echo "pacing benchmark: the driver failed (exit $rc); no report written" >&2
  exit $rc
fi
# Debian's python3, for which its matplotlib package is installed (a python3
# earlier in PATH, a pyenv one say, would not see it).
"${PYTHON:-/usr/bin/python3}" bench/pacing_report.py "$out" "$report" "$plot"
echo "pacing benchmark: $((SECONDS - started)) s under Wine"
