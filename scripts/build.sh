#!/usr/bin/env bash
# Configures and builds one build folder, warnings fatal: scripts/build.sh DIR [cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1
shift
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLINTVIEW_WERROR=ON \
  -DGLINTVIEW_TESTS=ON -DGLINTVIEW_BENCH=ON "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
