#!/usr/bin/env bash
# The Wine prefix the Windows programs run in for their tests, kept in the build folder:
#   program-prefix.sh setup     makes the prefix if it is missing, keeps its wineserver running,
#                               gives it a Chinese font and lists its COM7 as Windows' serial
#                               driver would (the tests link COM7 to the simulator's terminal)
#   program-prefix.sh cleanup   ends the wineserver
# WINEPREFIX comes from the environment.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the prefix}"
case "$1" in
setup)
  log="$WINEPREFIX.setup.log"
  mkdir -p "$(dirname "$WINEPREFIX")"
  if ! (
    set -euo pipefail
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      mkdir -p "$WINEPREFIX"
      wineboot --init
    fi
    wineserver --persistent
    wine cmd /c exit 0
    # The Chinese texts: a font with the characters, and the names Windows programs ask for
    # (Qt's fallbacks for Chinese among them) mapped onto it.
    fonts="$WINEPREFIX/drive_c/windows/Fonts"
    mkdir -p "$fonts"
    cp -f /usr/share/fonts/truetype/wqy/wqy-microhei.ttc "$fonts/"
    subst='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
    for name in 'Microsoft YaHei' 'Microsoft YaHei UI' SimSun NSimSun SimHei 'MS Shell Dlg' 'MS Shell Dlg 2'; do
      wine reg add "$subst" /v "$name" /d 'WenQuanYi Micro Hei' /f >/dev/null
    done
    # HARDWARE\DEVICEMAP lives as long as the wineserver, which stays up for the tests.
    wine reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v '\Device\Serial6' /t REG_SZ /d COM7 /f >/dev/null
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
  echo "usage: $0 setup | cleanup" >&2
  exit 2
  ;;
esac
