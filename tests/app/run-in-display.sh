#!/usr/bin/env bash
# Runs a Windows test program under Wine on its own virtual display (xvfb-run -a picks a free one),
# then converts the screenshots it saved (BMP) into PNG next to them.
#   run-in-display.sh WINE PROGRAM [ARGS...]
set -euo pipefail
wine="$1"
program="$2"
shift 2

# Xvfb has no window manager: Wine then draws the frames itself, and hiding a window does not wait
# for a manager that never answers. Set for the test program and for larkspool.exe, which it starts.
settings=$(mktemp --suffix=.reg)
trap 'rm -f "$settings"' EXIT
{
  echo "REGEDIT4"
  for exe in "$(basename "$program")" larkspool.exe; do
    printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\%s\\X11 Driver]\n"Managed"="N"\n' "$exe"
  done
} > "$settings"
"$wine" regedit /S "$(winepath -w "$settings" 2>/dev/null || echo "Z:$settings")" >/dev/null 2>&1 || true

status=0
xvfb-run -a -s "-screen 0 1024x768x24" "$wine" "$program" "$@" || status=$?
if [ -n "${LARK_SCREENSHOTS:-}" ] && [ -d "$LARK_SCREENSHOTS" ] && command -v convert >/dev/null; then
  for bmp in "$LARK_SCREENSHOTS"/*.bmp; do
    [ -e "$bmp" ] && convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
  done
fi
exit "$status"
