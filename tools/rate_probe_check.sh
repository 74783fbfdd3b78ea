#!/bin/sh
# Checks rate_probe's JSON for a few texts and its usage errors.
#   rate_probe_check.sh PATH_TO_RATE_PROBE
probe=$1
failures=0

# expect EXIT_CODE EXPECTED_STDOUT ARGS...
expect() {
  want_rc=$1 want_out=$2
  shift 2
  out=$("$probe" "$@" 2>/tmp/rate_probe_check.$$) ; rc=$?
  err=$(cat /tmp/rate_probe_check.$$); rm -f /tmp/rate_probe_check.$$
  if [ "$rc" != "$want_rc" ] || [ "$out" != "$want_out" ]; then
    printf 'FAIL: rate_probe %s\n  exit %s, wanted %s\n  got:    %s\n  wanted: %s\n' "$*" "$rc" "$want_rc" "$out" "$want_out"
    failures=$((failures + 1))
  elif [ "$want_rc" = 2 ] && ! printf '%s' "$err" | grep -q '^usage: rate_probe'; then
    printf 'FAIL: rate_probe %s\n  no usage text on standard error\n' "$*"
    failures=$((failures + 1))
  elif [ "$want_rc" = 0 ] && [ -n "$err" ]; then
    printf 'FAIL: rate_probe %s\n  unexpected standard error: %s\n' "$*" "$err"
    failures=$((failures + 1))
  fi
}

OK_TAIL='The actual rate in the game depends on Windows and the game; it is not measured here.'

expect 0 '{"status":0,"tokens":["20","clicks","/sec"]}' tokens '20 Clicks/Sec'
expect 0 '{"status":0,"tokens":["1","million","500000"]}' tokens '1 million 500 000'
expect 0 '{"status":4,"tokens":[]}' tokens '20%'
expect 0 '{"status":3,"tokens":[]}' tokens ''
expect 0 '{"status":0,"requested":"1500000","overflowed":0,"description":"1.5e+06"}' parse '1 million 500 thousand'
expect 0 '{"status":0,"requested":"nan","overflowed":1,"description":"nan"}' parse '1e400 -1e400'
expect 0 '{"status":0,"requested":"-inf","overflowed":1,"description":"beyond 1e308 (treated as infinite)"}' parse '-1e400'
expect 0 '{"status":0,"requested":"9.9999999999999694e-311","overflowed":0,"description":"1e-310"}' parse '1e-310'
expect 0 '{"status":4}' parse 'twenty'
expect 0 '{"status":3}' parse ''
expect 0 "{\"status\":0,\"requested\":\"20\",\"scheduled\":\"20\",\"overflowed\":0,\"description\":\"20\",\"period_us\":50000,\"hold_us\":25000,\"plan\":\"Requested: 20 CPS. Scheduled: 20 per second, evenly spaced (50.00 ms between events). $OK_TAIL\"}" cps '20'
expect 0 '{"status":2,"requested":"0.050000000000000003","scheduled":"0.10000000000000001","overflowed":0,"description":"0.05","period_us":10000000,"hold_us":25000,"plan":"Requested: 0.05 CPS: below the minimum; running at the minimum. Scheduled: 0.1 per second (one event every 10 s)."}' cps '0.05'
expect 0 '{"status":5,"requested":"-3","scheduled":"0","overflowed":0,"description":"-3","period_us":null,"hold_us":null,"plan":"Rate: must be greater than zero."}' cps '-3'
expect 0 '{"status":3,"requested":"0","scheduled":"0","overflowed":0,"description":"","period_us":null,"hold_us":null,"plan":"Rate: enter a number of clicks per second."}' cps ''
expect 0 "{\"status\":0,\"requested\":\"428.57142857142856\",\"scheduled\":\"428.57142857142856\",\"overflowed\":0,\"description\":\"3 every 7 ms = 428.6 per second\",\"period_us\":2333,\"hold_us\":1166,\"plan\":\"Requested: 3 every 7 ms = 428.6 per second. Scheduled: 428.6 per second, evenly spaced (2.33 ms between events). $OK_TAIL\"}" interval 3 7
expect 0 '{"status":2,"requested":"1.0000000000000001e-07","scheduled":"0.10000000000000001","overflowed":0,"description":"1e-300 every 1e+300 ms = 1e-07 per second","period_us":10000000,"hold_us":25000,"plan":"Requested: 1e-300 every 1e+300 ms = 1e-07 per second: below the minimum; running at the minimum. Scheduled: 0.1 per second (one event every 10 s)."}' interval 1e-300 1e300
expect 0 '{"status":6,"requested":"0","scheduled":"0","overflowed":0,"description":"","period_us":null,"hold_us":null,"plan":"Rate: the interval must be a positive number of milliseconds (e.g. 100, 0.1, 2.5e-3)."}' interval 1 ''

expect 2 '' 
expect 2 '' tokens
expect 2 '' parse a b
expect 2 '' cps
expect 2 '' interval 1
expect 2 '' interval 1 2 3
expect 2 '' frobnicate 20

if [ "$failures" -ne 0 ]; then
  echo "$failures rate_probe check(s) failed"
  exit 1
fi
echo "rate_probe checks passed"
