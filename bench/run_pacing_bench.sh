#!/usr/bin/env bash
# The pacing benchmark in one command: runs the driver (pacing_driver.exe)
# under Wine, in a fresh prefix with a virtual desktop, against rivanta.exe
# and the plain sleep loop, then writes bench/REPORT.md and bench/pacing.png
# from its figures.
#
#   bench/run_pacing_bench.sh [<build folder of the windows preset> [<rate>[:<seconds>] ...]]
#
# The build folder defaults to build/windows; rates default to the driver's
# (1, 20, 100, 333 and 1000 per second). Needs a display in $DISPLAY
# (./dev.sh bench starts Xvfb) and Debian's python3-matplotlib.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/windows}
[ $# -gt 0 ] && shift
build=$(cd "$build" && pwd)
out=$build/bench/results
prefix=$build/bench/wineprefix

for f in app/rivanta.exe bench/pacing_driver.exe bench/sleep_loop_baseline.exe; do
  [ -f "$build/$f" ] || { echo "missing $build/$f: build the windows preset first" >&2; exit 1; }
done
[ -n "${DISPLAY:-}" ] || { echo "no DISPLAY: run under Xvfb (./dev.sh bench does)" >&2; exit 1; }

rm -rf "$out"
mkdir -p "$out"
# What else was running when the figures were taken: the load, and Wine
# servers of other prefixes (test runs, for example).
cat /proc/loadavg > "$out/loadavg_before"
# Wine servers of other prefixes: every live one whose environment names
# another WINEPREFIX than this run's (a server is started with its prefix's).
other_wineservers() {
  local n=0 pid env
  for pid in $(pgrep -x 'wineserver(64)?' || true); do
    env=$({ tr '\0' '\n' < "/proc/$pid/environ"; } 2>/dev/null) || continue  # ended meanwhile
    grep -qx "WINEPREFIX=$prefix" <<<"$env" || n=$((n + 1))
  done
  echo "$n"
}
other_wineservers > "$out/other_wineservers_before"

tests/wine_prefix.sh start "$prefix"
trap 'tests/wine_prefix.sh stop "$prefix" >/dev/null' EXIT
rc=0
WINEPREFIX=$prefix WINEDEBUG=-all wine "$build/bench/pacing_driver.exe" \
  "$build/app/rivanta.exe" "$build/bench/sleep_loop_baseline.exe" "$out" "$@" </dev/null || rc=$?
tests/wine_prefix.sh stop "$prefix" >/dev/null
trap - EXIT
other_wineservers > "$out/other_wineservers_after"
if [ $rc -ne 0 ]; then
  echo "pacing benchmark: the driver failed (exit $rc); no report written" >&2
  exit $rc
fi
# Debian's python3, for which its matplotlib package is installed (a python3
# earlier in PATH, a pyenv one say, would not see it).
"${PYTHON:-/usr/bin/python3}" bench/pacing_report.py "$out" bench/REPORT.md bench/pacing.png
