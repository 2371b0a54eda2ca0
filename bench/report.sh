#!/usr/bin/env bash
# Runs every benchmark and prints their figures as one table.
#   bash bench/report.sh [BUILD_DIR]      (default: build)
# Each benchmark starts the private desktop it needs; its own output goes to
# BUILD_DIR/bench-logs/NAME.txt.
set -uo pipefail
build="${1:-build}"
logs="$build/bench-logs"
mkdir -p "$logs"
# As in the test command: nothing may reach the user's display or sound server.
unset DISPLAY WAYLAND_DISPLAY XAUTHORITY PULSE_SERVER PULSE_COOKIE
isolated="$(mktemp -d /tmp/gs-bench-env-XXXXXX)"
trap 'rm -rf "$isolated"' EXIT
printf 'autospawn = no\n' > "$isolated/client.conf"
export XDG_RUNTIME_DIR="$isolated" PULSE_CLIENTCONFIG="$isolated/client.conf"
status=0
rows=""
for name in decode_bench canvas_bench capture_bench music_bench show_bench; do
  echo "running $name ..." >&2
  if ! "$build/bench/$name" > "$logs/$name.txt" 2>&1; then
    echo "$name failed; see $logs/$name.txt" >&2
    status=1
  fi
  rows+="$(grep '^| ' "$logs/$name.txt")"$'\n'
done
echo "| Benchmark | Ours | Peer | Ratio (ours / peer) | Goal |"
echo "|---|---|---|---|---|"
printf '%s' "$rows"
exit "$status"
