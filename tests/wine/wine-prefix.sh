#!/usr/bin/env bash
# The Wine prefix the Windows tests run in, kept in the build folder and made once:
#   wine-prefix.sh setup SERVER_DLL   makes the prefix if it is missing, keeps its wineserver
#                                     running for the tests and registers the test COM server
#   wine-prefix.sh cleanup            ends the wineserver and Wine's services
# WINEPREFIX comes from the environment.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the prefix}"
here=$(cd "$(dirname "$0")" && pwd)
case "$1" in
setup)
  # Wine's server and services live on after this script. Started with the test's output they
  # would hold it open and the test would never end, so all of it writes to a log file, shown
  # when something fails.
  log="$WINEPREFIX.setup.log"
  mkdir -p "$(dirname "$WINEPREFIX")"
  if ! (
    set -euo pipefail
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      mkdir -p "$WINEPREFIX"
      wineboot --init
    fi
    # A persistent server: the volatile part of the registry (HARDWARE) lives as long as it does.
    wineserver --persistent
    wine cmd /c exit 0 # brings up Wine's services now, with this log as their output
    "$here/server/register-server.sh" "$WINEPREFIX" "$2"
  ) </dev/null >"$log" 2>&1; then
    echo "setting up the Wine prefix failed:" >&2
    cat "$log" >&2
    exit 1
  fi
  ;;
cleanup)
  wineserver --kill </dev/null >/dev/null 2>&1 || true
  ;;
*)
  echo "usage: $0 setup SERVER_DLL | cleanup" >&2
  exit 2
  ;;
esac
