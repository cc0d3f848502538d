#!/usr/bin/env bash
# Installs what is needed, builds Talvora and starts it. Arguments are
# passed on to the program (for example /setup).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B out/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build out/release --target talvora

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec out/release/app/talvora "$@"
fi

# No screen: show the window on a virtual one, keep a picture of it, close.
echo "Geen beeldscherm gevonden: Talvora start op een virtueel scherm."
shot=$PWD/out/talvora.png
xvfb-run -a -s "-screen 0 1024x768x24 -noreset" bash -c '
  out/release/app/talvora "$@" & pid=$!
  for _ in $(seq 100); do
    xdotool search --onlyvisible --pid "$pid" --name "Talvora" >/dev/null 2>&1 && break
    sleep 0.1
  done
  sleep 0.5
  import -window root "'"$shot"'"
  xdotool search --onlyvisible --pid "$pid" --name "Talvora" getwindowname %@ 2>/dev/null | sed "s/^/Venster: /"
  kill "$pid"; wait "$pid" 2>/dev/null || true
' talvora "$@"
echo "Schermafdruk: $shot"
