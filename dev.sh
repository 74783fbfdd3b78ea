#!/usr/bin/env bash
# Rivanta developer entry point. Works on a fresh Debian 12 machine: every
# command first installs the Debian packages it needs (as root, or through sudo).
USAGE="usage: ./dev.sh COMMAND [ARGS...]
  test              build every preset and run every test: the native tests, the
                    same core tests under AddressSanitizer and ThreadSanitizer, a
                    bounded fuzzing run, and the Windows tests under Wine on a
                    private Xvfb display; ends with the line \"N passed, N failed\"
  ctest [ARGS...]   build the windows preset and run 'ctest --preset windows ARGS'
                    with what the Windows tests need (a display, the Wine prefix);
                    the exit status is ctest's. Examples:
                      ./dev.sh ctest -R e2e_startup
                      ./dev.sh ctest -R win_main_window -V
                    The display in DISPLAY is used if it answers; otherwise (or
                    with DISPLAY= in front) a private Xvfb is started and stopped.
                    '--preset NAME' picks another test preset instead: native,
                    native-asan, native-tsan, e.g. ./dev.sh ctest --preset native
  run               build rivanta.exe and launch it under Wine. Without a display
                    (a server, a container) it starts a private one, saves a
                    screenshot of the window to build/rivanta-run.png once it is
                    up, and keeps running until Ctrl+C
  bench             build and run the benchmarks (not part of the tests; about 8
                    minutes): every rate in 3 rounds, a load case and builds with
                    the worker at other priorities; writes bench/REPORT.md. Lengths
                    and rounds: BENCH_ROUNDS, BENCH_LOAD_SECONDS, BENCH_VARIANTS and
                    more, listed in bench/run_pacing_bench.sh
  soak              the soak (not part of the tests; about an hour and a quarter):
                    rivanta.exe under Wine for SOAK_MINUTES (30) at 1000 per second,
                    then SOAK_CYCLES (2000) starts and stops by F6, then the rate
                    fuzz target for SOAK_FUZZ_RUNS (100000000) executions from the
                    committed corpus, merging what adds coverage into it; writes
                    bench/SOAK.md (more in bench/run_soak.sh)
  help              show this text
Environment: CI=true turns warnings into errors; JOBS (build jobs, default:
all cores); FUZZ_SECONDS (length of the fuzzing run in 'test', default 30)."
set -uo pipefail
cd "$(dirname "$0")"
ROOT=$PWD
JOBS=${JOBS:-$(nproc 2>/dev/null || echo 2)}
FUZZ_SECONDS=${FUZZ_SECONDS:-30}
WERROR=OFF
[ "${CI:-}" = "true" ] && WERROR=ON

PACKAGES=(cmake ninja-build clang libclang-rt-14-dev g++ libgtest-dev googletest
          libbenchmark-dev g++-mingw-w64-x86-64-posix wine wine64 xvfb xauth
          x11-utils python3)
# Only for ./dev.sh bench: the plot of the pacing report.
BENCH_PACKAGES=(python3-matplotlib)

# The Wine prefix that the windows preset's tests run in (tests/CMakeLists.txt).
TEST_WINEPREFIX="$ROOT/build/windows/wineprefix"
# The one that ./dev.sh run launches the program in.
RUN_WINEPREFIX="$ROOT/build/wineprefix-run"

log() { printf '== %s\n' "$*"; }

ensure_packages() { # extra packages beyond PACKAGES...
  local missing=()
  for p in "${PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  log "installing: ${missing[*]} (a few minutes on a fresh machine, once)"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq >/dev/null || true
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null \
    || { echo "could not install: ${missing[*]}" >&2; exit 1; }
}

# Configures and builds one preset of CMakePresets.json; the presets hold every
# setting but the warnings-as-errors switch, which follows CI.
configure_build() { # preset [cmake --build arguments, e.g. --target NAME...]
  local preset=$1
  shift
  log "configure + build: $preset${*:+ ($*)}"
  cmake --preset "$preset" -DRIVANTA_WERROR=$WERROR >/dev/null || return 1
  cmake --build --preset "$preset" -j "$JOBS" "$@" || return 1
}

# ---- results ------------------------------------------------------------------
# Every stage adds to these totals for the closing lines.
TOTAL_PASSED=0
TOTAL_FAILED=0
TOTAL_SKIPPED=0

record_stage() { # 0 = passed: a stage that is one result (the fuzzing run, a failed build)
  if [ "$1" -eq 0 ]; then TOTAL_PASSED=$((TOTAL_PASSED + 1)); else TOTAL_FAILED=$((TOTAL_FAILED + 1)); fi
}

# Counts the test cases of a JUnit report that ctest wrote. A case passed when
# ctest ran it and it passed. ctest also marks as "notrun" (with a <skipped>
# element) a test whose program is missing or whose fixture failed, which
# its own summary counts as failed: so only a deliberate skip (the test's
# SKIP_RETURN_CODE or SKIP_REGULAR_EXPRESSION) and a disabled test count as
# skipped. Prints "passed failed skipped"; names what did not pass on stderr.
junit_counts() { # report file
  python3 - "$1" <<'EOF'
import sys
import xml.etree.ElementTree as ET

try:
    root = ET.parse(sys.argv[1]).getroot()
except (OSError, ET.ParseError) as err:
    print(f"no readable JUnit report: {err}", file=sys.stderr)
    sys.exit(1)
passed = failed = skipped = 0
for case in root.iter("testcase"):
    name = case.get("name", "?")
    status = case.get("status", "")
    skip = case.find("skipped")
    reason = skip.get("message", "") if skip is not None else ""
    if status == "fail" or case.find("failure") is not None or case.find("error") is not None:
        failed += 1
    elif status == "run":
        passed += 1
    elif status == "disabled" or (status == "notrun" and reason.startswith("SKIP_")):
        skipped += 1
        print(f"skipped: {name} ({reason or status})", file=sys.stderr)
    else:
        failed += 1
        print(f"did not run, counted as failed: {name} ({reason or status})", file=sys.stderr)
print(passed, failed, skipped)
EOF
}

# Adds one ctest run to the totals from its JUnit report. A run that left no
# readable report, ran no test, or exited with an error that the report does
# not show as a failed test counts as one failure.
record_junit() { # report file, ctest exit status
  local report=$1 rc=$2 counts passed failed skipped
  if ! counts=$(junit_counts "$report"); then
    TOTAL_FAILED=$((TOTAL_FAILED + 1)); return
  fi
  read -r passed failed skipped <<<"$counts"
  if [ $((passed + failed + skipped)) -eq 0 ]; then
    echo "no test ran" >&2
    TOTAL_FAILED=$((TOTAL_FAILED + 1)); return
  fi
  if [ "$rc" -ne 0 ] && [ "$failed" -eq 0 ]; then
    echo "ctest exited with status $rc but its report shows no failed test" >&2
    failed=1
  fi
  TOTAL_PASSED=$((TOTAL_PASSED + passed))
  TOTAL_FAILED=$((TOTAL_FAILED + failed))
  TOTAL_SKIPPED=$((TOTAL_SKIPPED + skipped))
}

run_ctest() { # name of the run, ctest args...
  local name=$1; shift
  local report="$ROOT/build/ctest-$name.xml"
  rm -f "$report"
  log "ctest: $name"
  ctest "$@" --output-junit "$report" 2>&1 | tee "$ROOT/build/ctest-$name.log"
  record_junit "$report" "${PIPESTATUS[0]}"
}

# ---- display and clean-up -----------------------------------------------------
# A private X display for the Windows tests: windows, focus, SendInput and
# hotkeys need one. Xvfb picks a free display number itself, so runs of other
# people on the same machine do not collide.
XVFB_PID=
start_xvfb() { # [quiet]: say nothing once it is up
  [ -n "$XVFB_PID" ] && return 0
  local fd_file number
  fd_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fd_file" >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 100); do
    [ -s "$fd_file" ] && break
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  number=$(tr -dc '0-9' <"$fd_file")
  rm -f "$fd_file"
  if [ -z "$number" ]; then
    echo "Xvfb did not start" >&2
    kill "$XVFB_PID" 2>/dev/null
    XVFB_PID=
    return 1
  fi
  export DISPLAY=":$number"
  [ -z "${1:-}" ] && log "Xvfb on $DISPLAY"
  return 0
}

display_answers() {
  [ -n "${DISPLAY:-}" ] && timeout 10 xdpyinfo >/dev/null 2>&1
}

# The display in DISPLAY when it answers, else a private one.
ensure_display() {
  if display_answers; then
    log "using the display $DISPLAY"
    return 0
  fi
  [ -n "${DISPLAY:-}" ] && log "the display $DISPLAY does not answer: starting a private one"
  start_xvfb
}

# On every exit, interrupted runs included: the private display goes with this
# script, and so does the test prefix's wineserver when this script ran the
# Windows tests (they keep it alive on purpose and stop it only at their end).
WINE_TESTS_RAN=
RUN_WINE_STARTED=
cleanup() {
  if [ -n "$WINE_TESTS_RAN" ] && [ -d "$TEST_WINEPREFIX" ]; then
    WINEPREFIX="$TEST_WINEPREFIX" wineserver -k </dev/null >/dev/null 2>&1
  fi
  # ./dev.sh run: rivanta.exe and everything else of its own prefix.
  if [ -n "$RUN_WINE_STARTED" ]; then
    WINEPREFIX="$RUN_WINEPREFIX" wineserver -k </dev/null >/dev/null 2>&1
  fi
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null
  fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# ---- commands -----------------------------------------------------------------
cmd_test() {
  ensure_packages
  mkdir -p build

  if configure_build native; then
    run_ctest native --preset native -j "$JOBS"
  else
    record_stage 1
  fi

  # The portable core's tests again under AddressSanitizer + UndefinedBehavior-
  # Sanitizer, and under ThreadSanitizer for what the two threads share.
  local san
  for san in native-asan native-tsan; do
    if configure_build $san; then
      run_ctest $san --preset $san
    else
      record_stage 1
    fi
  done

  if [ -f tests/fuzz/CMakeLists.txt ]; then
    if configure_build fuzz; then
      log "fuzz: ${FUZZ_SECONDS}s"
      mkdir -p build/fuzz/corpus-run
      build/fuzz/tests/fuzz/rate_fuzz -max_total_time="$FUZZ_SECONDS" -max_len=400 \
        -print_final_stats=1 build/fuzz/corpus-run tests/fuzz/corpus > build/fuzz.log 2>&1
      local rc=$?
      grep -E 'stat::number_of_executed_units|stat::peak_rss_mb|ERROR|SUMMARY' build/fuzz.log
      record_stage $rc
    else
      record_stage 1
    fi
  fi

  # Always a private display here: a full run must not depend on, or draw on,
  # whatever desktop the caller has.
  if configure_build windows && start_xvfb; then
    WINE_TESTS_RAN=1
    run_ctest windows --preset windows
  else
    record_stage 1
  fi

  echo
  log "took $((SECONDS / 60)) min $((SECONDS % 60)) s"
  [ "$TOTAL_SKIPPED" -gt 0 ] && log "$TOTAL_SKIPPED skipped (neither passed nor failed; named above)"
  echo "$TOTAL_PASSED passed, $TOTAL_FAILED failed"
  [ "$TOTAL_FAILED" -eq 0 ]
}

cmd_ctest() { # ctest args...; --preset NAME picks a test preset other than windows
  local preset=windows args=()
  while [ $# -gt 0 ]; do
    case $1 in
      --preset)
        [ $# -ge 2 ] || { echo "--preset needs a name" >&2; exit 2; }
        preset=$2; shift 2 ;;
      --preset=*) preset=${1#--preset=}; shift ;;
      *) args+=("$1"); shift ;;
    esac
  done
  ensure_packages
  mkdir -p build
  configure_build "$preset" || { echo "the $preset preset did not configure or build" >&2; exit 1; }
  if [ "$preset" = windows ]; then
    ensure_display || exit 1
    WINE_TESTS_RAN=1
  fi
  log "ctest --preset $preset ${args[*]}"
  ctest --preset "$preset" "${args[@]}"
  exit $?
}

cmd_run() {
  ensure_packages
  [ -f build/windows/build.ninja ] ||
    log "first build of rivanta.exe (the windows preset): under a minute; later runs start in seconds"
  configure_build windows --target rivanta window_shot || exit 1
  local exe="$ROOT/build/windows/app/rivanta.exe"
  local shot_tool="$ROOT/build/windows/tests/e2e/window_shot.exe"
  local shot="$ROOT/build/rivanta-run.png"

  local headless=
  if ! display_answers; then
    headless="DISPLAY is unset"
    [ -n "${DISPLAY:-}" ] && headless="the display $DISPLAY does not answer"
    start_xvfb quiet || exit 1
    log "no display ($headless): running on a private Xvfb ($DISPLAY); a screenshot of the window goes to $shot"
  fi

  export WINEPREFIX="$RUN_WINEPREFIX" WINEDEBUG=-all
  RUN_WINE_STARTED=1
  [ -d "$WINEPREFIX" ] ||
    log "first run: Wine creates its prefix in build/wineprefix-run (about 15 s, once)"
  # Creates the prefix if need be, and starts its server apart from this
  # script's output.
  wine cmd /c exit </dev/null >/dev/null 2>&1

  if [ -z "$headless" ]; then
    log "launching $exe on $DISPLAY (close its window, or Ctrl+C here)"
    # In the background, so that Ctrl+C, which Wine's programs do not heed,
    # ends the wait at once and the clean-up ends the program.
    wine "$exe" </dev/null &
    wait $!
    return
  fi

  # No one can see the window: a screenshot shows what ran. Without a window
  # manager only a Wine virtual desktop draws the window's frame, and the
  # screenshot tool must run in the same desktop to find the window. Wine's
  # launchers for a desktop do not end with their program, so both run in
  # the background and the tool's output (the file it wrote, or why not) is
  # polled for.
  local desktop="explorer /desktop=Rivanta,1024x768"
  local shot_log="$ROOT/build/rivanta-run-shot.log"
  rm -f "$shot" "$shot_log"
  wine $desktop "$exe" </dev/null >/dev/null 2>&1 &
  wine $desktop "$shot_tool" Rivanta "$shot" 120 </dev/null >"$shot_log" 2>&1 &
  local tenths=0
  until grep -q 'png (\|window_shot:' "$shot_log" 2>/dev/null || [ $tenths -ge 1300 ]; do
    sleep 0.1
    tenths=$((tenths + 1))
  done
  if grep -q 'png (' "$shot_log"; then
    log "screenshot: $shot"
  else
    echo "no screenshot of the window: $(cat "$shot_log" 2>/dev/null)" >&2
  fi
  log "rivanta.exe is running on the private display; Ctrl+C ends it"
  # Until every program of the run prefix has ended; in the background, so
  # that Ctrl+C ends the wait at once.
  wineserver -w &
  wait $!
}

cmd_bench() {
  ensure_packages "${BENCH_PACKAGES[@]}"
  configure_build native || exit 1
  for b in build/native/bench/*_bench; do
    [ -x "$b" ] && { log "$b"; "$b"; }
  done
  build/native/bench/pacing_timer_model --into bench/REPORT.md >/dev/null || exit 1
  if [ -x bench/run_pacing_bench.sh ]; then
    configure_build windows || exit 1
    start_xvfb || exit 1
    bench/run_pacing_bench.sh
  fi
}

cmd_soak() {
  ensure_packages "${BENCH_PACKAGES[@]}"
  configure_build windows || exit 1
  configure_build fuzz || exit 1
  start_xvfb || exit 1
  bench/run_soak.sh
}

command=${1:-}
[ $# -gt 0 ] && shift
case $command in
  test) cmd_test ;;
  ctest) cmd_ctest "$@" ;;
  run) cmd_run ;;
  bench) cmd_bench ;;
  soak) cmd_soak ;;
  help|-h|--help) echo "$USAGE" ;;
  *) echo "$USAGE" >&2; exit 2 ;;
esac
