#!/usr/bin/env bash
# Installs what the program needs, builds the program alone and opens the bundled sample image.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh run
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLINTVIEW_WERROR=ON \
  -DGLINTVIEW_TESTS=OFF -DGLINTVIEW_BENCH=OFF >/dev/null
cmake --build build -j "$(nproc)" --target glintview
exec build/glintview "$PWD/resources/sample.png"
