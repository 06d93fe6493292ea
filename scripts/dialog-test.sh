#!/usr/bin/env bash
# Runs the settings dialog test host (tests/win/dialog_host.cpp) under wine on a virtual X display,
# in a wine prefix of its own, and takes a screenshot of the open dialog once the host has filled
# in its values. Usage: scripts/dialog-test.sh dialog_host.exe ZbBiSS64.dll [work dir]
# Writes <work dir>/settings-dialog.png (default work dir: ./dialog-test).
set -euo pipefail
host=$(realpath "$1")
dll=$(realpath "$2")
work=$(realpath -m "${3:-dialog-test}")
mkdir -p "$work"
export WINEPREFIX="$work/wineprefix"
export WINEDEBUG=-all
export ZB_DIALOG_READY="$work/ready" ZB_DIALOG_GO="$work/go"
if [[ ${ZB_DIALOG_ON_DISPLAY:-} != 1 ]]; then
  rm -f "$ZB_DIALOG_READY" "$ZB_DIALOG_GO" "$work/settings-dialog.png"
fi

run_on_display() {
  # With no window manager wine draws the caption itself.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1 || true
  wine "$host" "$dll" &
  local pid=$!
  local waited=0
  while [[ ! -e $ZB_DIALOG_READY ]] && kill -0 "$pid" 2>/dev/null && ((waited < 600)); do
    sleep 0.1
    waited=$((waited + 1))
  done
  if [[ -e $ZB_DIALOG_READY ]]; then
    sleep 0.5  # let the last repaint land
    import -window root "$work/screen.png" || echo "dialog-test: screenshot failed"
    # Cut the screen down to the dialog: a black frame makes the black desktop trimmable.
    # (/usr/local/bin/convert may be a stand-in on these machines, so imagemagick is named in full.)
    local im
    im=$(command -v convert-im6.q16 || command -v magick || true)
    if [[ -n $im && -f $work/screen.png ]]; then
      "$im" "$work/screen.png" -bordercolor black -border 1 -trim +repage "$work/settings-dialog.png" ||
        cp "$work/screen.png" "$work/settings-dialog.png"
    elif [[ -f $work/screen.png ]]; then
      cp "$work/screen.png" "$work/settings-dialog.png"
    fi
  else
    echo "dialog-test: the dialog never became ready"
  fi
  touch "$ZB_DIALOG_GO"
  local status=0
  wait "$pid" || status=$?
  wineserver -k >/dev/null 2>&1 || true
  return $status
}
# The script runs itself again on the virtual display (xvfb-run's shell drops exported functions).
if [[ ${ZB_DIALOG_ON_DISPLAY:-} == 1 ]]; then
  run_on_display
  exit $?
fi
status=0
ZB_DIALOG_ON_DISPLAY=1 timeout 240 xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$host" "$dll" "$work" || status=$?
if [[ -f $work/settings-dialog.png ]]; then
  echo "dialog-test: screenshot in $work/settings-dialog.png"
fi
exit $status
