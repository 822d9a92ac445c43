#!/usr/bin/env bash
# Writes the serial ports of the registry test into the prefix with `wine reg add`, then runs the
# test. HARDWARE\DEVICEMAP lives only as long as the prefix's wineserver, which the prefix
# fixture keeps running, so the values are written right before they are read.
set -euo pipefail
test_exe=$1
shift
key='HKLM\HARDWARE\DEVICEMAP\SERIALCOMM'
# Only the values go: the key itself is volatile and Wine's own.
wine reg delete "$key" /va /f >/dev/null 2>&1 || true
add() { wine reg add "$key" /v "$1" /t "$2" /d "$3" /f >/dev/null; }
add '\Device\Serial0' REG_SZ COM3
add '\Device\Serial1' REG_SZ com1
add '\Device\Serial2' REG_DWORD 7
add '\Device\Serial3' REG_SZ COM4
add "\\Device\\Z$(printf 'x%.0s' $(seq 1100))" REG_SZ COM9
add '\Device\Zz' REG_SZ COM7
exec wine "$test_exe" "$@"
