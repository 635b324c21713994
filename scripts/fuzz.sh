#!/usr/bin/env bash
# Builds the parser's libFuzzer target with clang (build-fuzz) and runs it for a bounded time on
# the committed seed corpus. Any finding (crash, sanitizer report, leak, hang) fails the run and
# leaves the input in build-fuzz/findings/. FUZZ_SECONDS overrides the 60-second budget.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-60}
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
  -DGLINTVIEW_FUZZ=ON -DGLINTVIEW_BENCH=OFF -DGLINTVIEW_WERROR=ON >/dev/null
cmake --build build-fuzz --target parser_fuzz -j "$(nproc)"

# New inputs go to a scratch folder so the committed corpus stays as it is.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p build-fuzz/findings

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
build-fuzz/fuzz/parser_fuzz -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -dict=fuzz/parser.dict -print_final_stats=1 -artifact_prefix=build-fuzz/findings/ \
  "$work" fuzz/corpus
