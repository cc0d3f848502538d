#!/usr/bin/env bash
# Installs what is needed, builds Talvora and shows its main job on a sample
# talking book: the book stands in for a disc in a drive (TALVORA_DRIVES),
# and the settings and the output folder are throwaway ones below out/demo,
# so the user's own settings are never touched. With a screen the copy
# window opens; press "Start kopiëren". Without one the copy runs by itself
# on a virtual screen and the copied folder is listed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B out/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build out/release --target talvora

demo=$PWD/out/demo
rm -rf "$demo"
mkdir -p "$demo/disc" "$demo/boeken" "$demo/config/Merrowind" "$demo/run"
chmod 700 "$demo/run"
/usr/bin/python3 sample/make_sample_book.py "$demo/disc"

headless=0
[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || headless=1
cat > "$demo/config/Merrowind/Talvora.conf" <<SETTINGS
[Settings]
OutputDir=$demo/boeken/
MessageWhenDone=$((1 - headless))
AutoStart=$headless
SETTINGS

export TALVORA_DRIVES="$demo/disc"
export XDG_CONFIG_HOME="$demo/config"
export XDG_RUNTIME_DIR="$demo/run"

if [ "$headless" -eq 0 ]; then
  out/release/app/talvora "$@"
else
  echo "Geen beeldscherm gevonden: Talvora kopieert het voorbeeldboek op een virtueel scherm."
  timeout 120 xvfb-run -a -s "-screen 0 1024x768x24 -noreset" env NO_AT_BRIDGE=1 out/release/app/talvora "$@"
fi

echo "Inhoud van $demo/boeken:"
(cd "$demo/boeken" && find . -mindepth 1 -printf '%y %10s  %p\n' | sort -k3)
