#!/bin/sh
# Start or stop the Wine prefix that the Windows tests run in.
#   wine_prefix.sh start PREFIX   create/warm the prefix, keep a wineserver up
#   wine_prefix.sh stop PREFIX    end the wineserver and everything in the prefix
#
# Wine's background services outlive the program that started them; started
# from a test they would inherit the test runner's output pipes and ctest would
# wait on them forever. So the server is started here, detached, with every
# standard stream pointed away from the runner, and the prefix is warmed once
# so that each test program starts in about a tenth of a second.
set -eu
action=$1
export WINEPREFIX=$2
export WINEDEBUG=-all

case $action in
start)
  # A fresh prefix for every run: nothing a previous run left behind (a
  # stuck process, a registry value) can change the outcome.
  wineserver -k </dev/null >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  setsid wineserver -p </dev/null >/dev/null 2>&1 || true
  wine cmd /c exit </dev/null >/dev/null 2>&1
  # Every program of the prefix runs in one virtual desktop: window focus and
  # hotkeys then behave as on Windows without an X window manager.
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f </dev/null >/dev/null 2>&1
  # The desktop that the commands above started predates these keys and has
  # no virtual desktop (windows would then wait seconds on an absent window
  # manager): restart the server so that the next desktop reads them.
  wineserver -k </dev/null >/dev/null 2>&1 || true
  setsid wineserver -p </dev/null >/dev/null 2>&1 || true
  wine cmd /c exit </dev/null >/dev/null 2>&1
  echo "wine prefix ready: $WINEPREFIX"
  ;;
stop)
  wineserver -k </dev/null >/dev/null 2>&1 || true
  echo "wine prefix stopped"
  ;;
*)
  echo "usage: $0 start|stop PREFIX" >&2
  exit 2
  ;;
esac
