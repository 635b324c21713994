#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite: plain, then bounded fuzzing runs of the parser
# and of image loading, then everything again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and last the release builds that packagers make, with g++ and with
# clang (built, not run: warnings fatal).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh

jobs=$(nproc)

echo "== Plain build and tests"
bash scripts/build.sh build
(cd build && ctest --output-on-failure -j "$jobs")

echo "== Fuzzing the parser and image loading"
bash scripts/fuzz.sh

echo "== Sanitized build and tests"
bash scripts/build.sh build-sanitize -DGLINTVIEW_SANITIZE=ON -DGLINTVIEW_BENCH=OFF
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-sanitize && ctest --output-on-failure -j "$jobs")

echo "== Release builds with g++ and clang"
bash scripts/build.sh build-release-gcc -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++
bash scripts/build.sh build-release-clang -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
