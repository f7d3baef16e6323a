#!/usr/bin/env bash
# Runs a Windows program under Wine on its own virtual display (xvfb-run -a picks a free one), in a
# Wine prefix of the build's own, then converts the screenshots it saved (BMP) into PNG beside them.
#   run-in-display.sh WINE PROGRAM [ARGS...]
# LARK_GUI_WINEPREFIX names the prefix (made on first use); LARK_SCREENSHOTS the screenshot folder.
set -euo pipefail
wine="$1"
program="$2"
shift 2

# Wine's desktop process takes its display driver from the display it was started on; a prefix of
# our own, started on this display only, cannot inherit one started without a display elsewhere.
export WINEPREFIX="${LARK_GUI_WINEPREFIX:-$(cd "$(dirname "$program")/.." && pwd)/wine-gui}"
export WINEDEBUG="${WINEDEBUG:--all}"

# Xvfb has no window manager: Wine then draws the frames itself, and hiding a window does not wait
# for a manager that never answers. Set for the program and for larkspool.exe, which tests start.
settings=$(mktemp --suffix=.reg)
trap 'rm -f "$settings"' EXIT
{
  echo "REGEDIT4"
  for exe in "$(basename "$program")" larkspool.exe; do
    printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\%s\\X11 Driver]\n"Managed"="N"\n' "$exe"
  done
} > "$settings"

status=0
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  wine="$1"; settings="$2"; shift 2
  [ -f "$WINEPREFIX/system.reg" ] || "${wine%wine}wineboot" -i >/dev/null 2>&1 || true
  "$wine" regedit /S "Z:${settings//\//\\}" >/dev/null 2>&1 || true
  status=0
  "$wine" "$@" || status=$?
  # The prefix'"'"'s desktop process and server end with this display: the next test, on a display of
  # its own, must not meet them still holding windows of this one.
  "${wine%wine}wineserver" -k >/dev/null 2>&1 || true
  exit "$status"' run-in-display "$wine" "$settings" "$program" "$@" || status=$?

if [ -n "${LARK_SCREENSHOTS:-}" ] && [ -d "$LARK_SCREENSHOTS" ] && command -v convert >/dev/null; then
  for bmp in "$LARK_SCREENSHOTS"/*.bmp; do
    [ -e "$bmp" ] && convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
  done
fi
exit "$status"
