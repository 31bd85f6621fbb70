#!/usr/bin/env bash
# Screenshots of the main window and a few dialogs, for looking at window
# placement in CI. Builds nothing: takes build/release/src/app/tessaroute as
# it is. Runs under its own Xvfb + openbox with a scratch HOME, kills what it
# started and always exits 0 (a missing tool or a failed step is only told).
#   tools/screenshots.sh [OUTPUT_FOLDER]   (default build/screenshots)
cd "$(dirname "$0")/.." || exit 0
out=${1:-build/screenshots}
app=build/release/src/app/tessaroute
mkdir -p "$out" || exit 0
for tool in Xvfb openbox import xdotool; do
  if ! command -v "$tool" >/dev/null; then
    echo "screenshots: $tool is not installed; none taken"
    exit 0
  fi
done
if [ ! -x "$app" ]; then
  echo "screenshots: $app is not built; none taken"
  exit 0
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tessa-shots-XXXXXX")
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null; done
  sleep 0.5
  for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null; done
  rm -rf "$scratch"
}
trap cleanup EXIT

# A display nobody uses.
display=${SCREENSHOT_DISPLAY:-}
[ -n "$display" ] || for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=:$n; break; fi
done
[ -n "$display" ] || { echo "screenshots: no free display"; exit 0; }
export DISPLAY=$display
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
HOME=$scratch openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1

mkdir -p "$scratch/config" "$scratch/data" "$scratch/cache" "$scratch/runtime"
chmod 700 "$scratch/runtime"
shot() { timeout 10 import -window root "$out/$1.png" 2>/dev/null && echo "screenshots: $out/$1.png"; }
key() { timeout 5 xdotool key --clearmodifiers "$@" 2>/dev/null; sleep 0.8; }

# Each dialog gets a fresh start of the application, so no dialog hides or
# blocks the next; SIGTERM ends each run, and its exit status is told.
app_pid=
win=
start_app() {
  HOME=$scratch XDG_CONFIG_HOME=$scratch/config XDG_DATA_HOME=$scratch/data XDG_CACHE_HOME=$scratch/cache \
    XDG_RUNTIME_DIR=$scratch/runtime QT_QPA_PLATFORM=xcb \
    timeout 50 "$app" >>"$scratch/app.log" 2>&1 &
  app_pid=$!
  pids+=("$app_pid")
  win=
  for _ in $(seq 100); do
    win=$(timeout 2 xdotool search --onlyvisible --class tessaroute 2>/dev/null | head -1)
    [ -n "$win" ] && break
    sleep 0.2
  done
  if [ -z "$win" ]; then
    echo "screenshots: the main window did not show"
    tail -20 "$scratch/app.log"
    return 1
  fi
  sleep 1.5
  timeout 5 xdotool windowactivate --sync "$win" 2>/dev/null
  return 0
}
stop_app() {
  kill -TERM "$app_pid" 2>/dev/null
  wait "$app_pid" 2>/dev/null
  local status=$?
  [ "$status" -eq 0 ] || echo "screenshots: the application ended with status $status"
}

start_app || { shot no-window; exit 0; }
shot 01-main-window
# menu NAME KEY...: opens a menu by its mnemonic, picks an entry by typing.
menu_shot() {
  local name=$1; shift
  timeout 5 xdotool windowactivate --sync "$win" 2>/dev/null
  key "$@"
  shot "$name"
  key Escape
  key Escape
}
menu_shot 02-file-menu alt+f
menu_shot 03-gps-menu alt+g
menu_shot 04-window-menu alt+w
menu_shot 05-view-menu alt+v
stop_app
# Dialogs reached from the menus, one run each.
dialog_shot() {
  start_app || return 0
  key "${@:2}"
  sleep 0.5
  shot "$1"
  stop_app
}
# Menu entries are reached by their place (the first is highlighted when a
# menu opens by its mnemonic): File: Open 0, Page Setup 1, Sign In 7,
# Preferences 12; Window: Marks, Routes and Tracks 0, Data Panel 1.
down() { local n=$1 keys=(); for ((i = 0; i < n; i++)); do keys+=(Down); done; echo "${keys[@]}"; }
dialog_shot 06-gps-setup alt+g Return
dialog_shot 07-data-panel alt+w Down Return
dialog_shot 08-overlays alt+w Return
dialog_shot 09-preferences alt+f $(down 12) Return
dialog_shot 10-open-chart ctrl+o
dialog_shot 11-find-place ctrl+f
dialog_shot 12-page-setup alt+f Down Return
dialog_shot 13-sign-in alt+f $(down 7) Return
exit 0
