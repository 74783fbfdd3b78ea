#!/usr/bin/env bash
# Rivanta developer entry point.
#   ./dev.sh test    install what is missing, build both presets, run every test
#   ./dev.sh run     install what is missing, build, launch rivanta.exe under Wine
#   ./dev.sh bench   build and run the benchmarks (not part of the tests)
# Works on a fresh Debian 12 machine; installs Debian packages it needs
# (as root, or through sudo).
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

log() { printf '== %s\n' "$*"; }

ensure_packages() { # extra packages beyond PACKAGES...
  local missing=()
  for p in "${PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  log "installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq >/dev/null || true
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null \
    || { echo "could not install: ${missing[*]}" >&2; exit 1; }
}

configure_build() { # preset, extra cmake args...
  local preset=$1; shift
  log "configure + build: $preset"
  cmake --preset "$preset" -DRIVANTA_WERROR=$WERROR "$@" >/dev/null || return 1
  cmake --build --preset "$preset" -j "$JOBS" || return 1
}

# Results of every stage, added up for the closing line.
TOTAL_PASSED=0
TOTAL_FAILED=0
record_ctest() { # log file of a ctest run, or "fail" when the stage did not get that far
  local line passed failed total
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -1)
  if [ -z "$line" ]; then
    TOTAL_FAILED=$((TOTAL_FAILED + 1)); return
  fi
  failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
  passed=$((total - failed))
  TOTAL_PASSED=$((TOTAL_PASSED + passed))
  TOTAL_FAILED=$((TOTAL_FAILED + failed))
}
record_stage() { # 0 = passed
  if [ "$1" -eq 0 ]; then TOTAL_PASSED=$((TOTAL_PASSED + 1)); else TOTAL_FAILED=$((TOTAL_FAILED + 1)); fi
}

run_ctest() { # name, ctest args...
  local name=$1; shift
  local out="$ROOT/build/ctest-$name.log"
  log "ctest: $name"
  ctest "$@" --output-on-failure 2>&1 | tee "$out"
  record_ctest "$out"
}

# A private X display for the Windows tests: windows, focus, SendInput and
# hotkeys need one. Xvfb picks a free display number itself.
start_xvfb() {
  if [ -n "${RIVANTA_DISPLAY_STARTED:-}" ]; then return 0; fi
  local fd_file; fd_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fd_file" >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 100); do [ -s "$fd_file" ] && break; sleep 0.1; done
  export DISPLAY=":$(cat "$fd_file")"
  rm -f "$fd_file"
  RIVANTA_DISPLAY_STARTED=1
  trap 'kill $XVFB_PID 2>/dev/null' EXIT
  log "Xvfb on $DISPLAY"
}

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
  for san in asan tsan; do
    local opt=-DRIVANTA_SANITIZE=ON
    [ $san = tsan ] && opt=-DRIVANTA_TSAN=ON
    log "configure + build: native-$san"
    if cmake -S . -B build/native-$san -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
         -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DRIVANTA_WERROR=$WERROR $opt >/dev/null \
       && cmake --build build/native-$san -j "$JOBS" --target core_tests; then
      run_ctest native-$san --test-dir build/native-$san -R '^core_tests$'
    else
      record_stage 1
    fi
  done

  if [ -d tests/fuzz ] && [ -f tests/fuzz/CMakeLists.txt ]; then
    log "fuzz: ${FUZZ_SECONDS}s"
    if cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
         -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DRIVANTA_FUZZ=ON >/dev/null \
       && cmake --build build/fuzz -j "$JOBS" --target rate_fuzz; then
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

  if configure_build windows; then
    start_xvfb
    run_ctest windows --preset windows
  else
    record_stage 1
  fi

  echo
  echo "$TOTAL_PASSED passed, $TOTAL_FAILED failed"
  [ "$TOTAL_FAILED" -eq 0 ]
}

cmd_run() {
  ensure_packages
  configure_build windows || exit 1
  local exe="$ROOT/build/windows/app/rivanta.exe"
  export WINEPREFIX="$ROOT/build/wineprefix-run" WINEDEBUG=-all
  if [ -z "${DISPLAY:-}" ]; then
    start_xvfb
    log "no display was set: running on the private display $DISPLAY"
  fi
  log "launching $exe"
  wine "$exe"
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
    start_xvfb
    bench/run_pacing_bench.sh
  fi
}

case "${1:-}" in
  test) cmd_test ;;
  run) cmd_run ;;
  bench) cmd_bench ;;
  *) echo "usage: $0 test|run|bench" >&2; exit 2 ;;
esac
