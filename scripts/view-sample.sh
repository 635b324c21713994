#!/usr/bin/env bash
# Sets up, builds and opens the bundled sample image in the viewer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
bash scripts/build.sh build
exec build/glintview "$PWD/resources/sample.png"
