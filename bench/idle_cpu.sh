#!/usr/bin/env bash
# CPU seconds an idle window costs: the platform probe (tests/e2e/platform_probe) is opened under
# Xvfb, and its user + system time is read over 10 seconds in which nothing happens. The modal
# run waits for events, so the figure should stay below 0.05 s.
#   bench/idle_cpu.sh [BUILD_DIR]   (default: build; the probe must be built there)
set -euo pipefail
build=$(realpath "${1:-build}")
probe="$build/tests/e2e/platform_probe"
[ -x "$probe" ] || { echo "no $probe: build the platform_probe target first" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c $((64 * 48 * 4)) /dev/zero > "$work/picture.raw"

cat > "$work/measure.sh" <<'SCRIPT'
# Nanoseconds on a CPU, all threads: finer than the 10 ms ticks of /proc/PID/stat.
cpu_ns() { cat /proc/$1/task/*/schedstat | awk '{ n += $1 } END { print n }'; }
"$PROBE" 100 100 200 120 0 picture.raw 64 48 > probe.txt & pid=$!
for i in $(seq 100); do grep -q '^text' probe.txt && break; sleep 0.1; done
before=$(cpu_ns $pid)
sleep 10
after=$(cpu_ns $pid)
kill $pid
awk -v ns=$((after - before)) \
  'BEGIN { printf "idle window: %.6f CPU seconds over 10 s (goal < 0.05)\n", ns / 1e9 }'
SCRIPT
cd "$work"
PROBE="$probe" xvfb-run -a -s '-screen 0 1024x768x24' bash measure.sh
