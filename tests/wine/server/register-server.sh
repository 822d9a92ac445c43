#!/usr/bin/env bash
# Registers the test COM server "Varnok.TestSheets" in a Wine prefix, and under each further
# program identifier given (such as Excel.Application, for the program's own save to reach it):
#   register-server.sh PREFIX DLLPATH [PROGID...]
# The keys are written per user, under HKCU\Software\Classes, as an installer without
# administrator rights would, and again under HKLM\Software\Classes: Wine 8's COM looks up
# classes only there (its HKEY_CLASSES_ROOT does not merge the user's classes).
# The keys are written with `reg add /f`, so running it again only rewrites them.
set -euo pipefail
if [ $# -lt 2 ]; then
  echo "usage: $0 PREFIX DLLPATH [PROGID...]" >&2
  exit 2
fi
if [ ! -f "$2" ]; then
  echo "$0: no server DLL at $2" >&2
  exit 1
fi
export WINEPREFIX=$1
export WINEDEBUG=-all
dll=$(winepath -w "$(cd "$(dirname "$2")" && pwd)/$(basename "$2")")
shift 2
[ -n "$dll" ] || { echo "$0: winepath gave no Windows path for $2" >&2; exit 1; }

clsid='{ACAFD206-4EA1-44AF-85BF-BF84411D975C}' # kClsid in SheetsServer.cpp
add() { wine reg add "$@" /f >/dev/null; }
for classes in 'HKCU\Software\Classes' 'HKLM\Software\Classes'; do
  add "$classes\\Varnok.TestSheets" /ve /d 'Varnok test sheets server'
  add "$classes\\Varnok.TestSheets\\CLSID" /ve /d "$clsid"
  add "$classes\\CLSID\\$clsid" /ve /d 'Varnok test sheets server'
  add "$classes\\CLSID\\$clsid\\ProgID" /ve /d 'Varnok.TestSheets'
  add "$classes\\CLSID\\$clsid\\InprocServer32" /ve /d "$dll"
  add "$classes\\CLSID\\$clsid\\InprocServer32" /v ThreadingModel /d Apartment
  for progid in "$@"; do
    add "$classes\\$progid" /ve /d 'Varnok test sheets server'
    add "$classes\\$progid\\CLSID" /ve /d "$clsid"
  done
done
