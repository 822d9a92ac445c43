#!/usr/bin/env bash
# The Wine prefixes the Windows tests run in, kept in the build folder and made once:
#   wine-prefix.sh setup SERVER_DLL   makes the prefix if it is missing, keeps its wineserver
#                                     running for the tests and registers the test COM server
#   wine-prefix.sh program            the same for the Windows programs' tests, with a Chinese
#                                     font (each test lists COM7 in the volatile SERIALCOMM key
#                                     and links it to the simulator's terminal itself)
#   wine-prefix.sh cleanup            ends the wineserver and Wine's services
# WINEPREFIX comes from the environment.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the prefix}"
here=$(cd "$(dirname "$0")" && pwd)

# Wine's server and services live on after this script. Started with the test's output they
# would hold it open and the test would never end, so all of it writes to a log file, shown
# when something fails.
in_prefix() {
  local log="$WINEPREFIX.setup.log"
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
    "$@"
  ) </dev/null >"$log" 2>&1; then
    echo "setting up the Wine prefix failed:" >&2
    cat "$log" >&2
    exit 1
  fi
}

program_prefix() {
  # The Chinese texts: a font with the characters, and the names Windows programs ask for (Qt's
  # fallbacks for Chinese among them) mapped onto it.
  mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
  cp -f /usr/share/fonts/truetype/wqy/wqy-microhei.ttc "$WINEPREFIX/drive_c/windows/Fonts/"
  local subst='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
  for name in 'Microsoft YaHei' 'Microsoft YaHei UI' SimSun NSimSun SimHei 'MS Shell Dlg' 'MS Shell Dlg 2'; do
    wine reg add "$subst" /v "$name" /d 'WenQuanYi Micro Hei' /f >/dev/null
  done
}

case "${1:-}" in
setup) in_prefix "$here/server/register-server.sh" "$WINEPREFIX" "$2" ;;
program) in_prefix program_prefix ;;
cleanup) wineserver --kill </dev/null >/dev/null 2>&1 || true ;;
*)
  echo "usage: $0 setup SERVER_DLL | program | cleanup" >&2
  exit 2
  ;;
esac
