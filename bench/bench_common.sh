# What the benchmark scripts share; sourced by run_pacing_bench.sh and
# run_soak.sh.

# Number of Wine servers of other prefixes: every live one whose environment
# names another WINEPREFIX than the given one (a server is started with its
# prefix's).
other_wineservers() { # prefix
  local n=0 pid env
  for pid in $(pgrep -x 'wineserver(64)?' || true); do
    env=$({ tr '\0' '\n' < "/proc/$pid/environ"; } 2>/dev/null) || continue  # ended meanwhile
    grep -qx "WINEPREFIX=$1" <<<"$env" || n=$((n + 1))
  done
  echo "$n"
}

# Notes what else was running when the figures were taken: the load, and Wine
# servers of other prefixes (test runs, for example), into
# <out>/loadavg_<when> and <out>/other_wineservers_<when>.
note_surroundings() { # out prefix when
  cat /proc/loadavg > "$1/loadavg_$3"
  other_wineservers "$2" > "$1/other_wineservers_$3"
}
