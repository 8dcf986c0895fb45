#!/usr/bin/env bash
# Installs what is missing, builds Release, lays out a demo station in
# demo-station/ and starts Velkor there: with its window when a display is
# available, otherwise headless with every log line echoed to the terminal.
# Extra arguments go to velkor (e.g. --headless).
set -euo pipefail
cd "$(dirname "$0")"
. ./scripts/deps.sh
velkor_install_deps
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DVELKOR_BUILD_TESTS=OFF -DVELKOR_BUILD_BENCH=OFF >/dev/null
cmake --build build-release --target velkor -j"$(nproc)"

STATION=demo-station
mkdir -p "$STATION"
if [ ! -e "$STATION/velkor.ini" ]; then
  # Only what differs from the defaults; velkor fills in the rest.
  cp scripts/demo-station.ini "$STATION/velkor.ini"
fi

# An example coefficient file: a 21-tap raised-cosine low-pass.
[ -e "$STATION/cosinus.txt" ] || cp scripts/cosinus.txt "$STATION/cosinus.txt"

args=(--dir "$STATION")
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  args+=(--headless)
  echo "No display found: running headless. Stop the station with Ctrl-C."
fi
exec ./build-release/velkor "${args[@]}" "$@"
