#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz) and runs each for a bounded time on its
# committed seed corpus: the parser, then image loading through the sandboxed decoding child.
# Any finding in the fuzzing process (crash, sanitizer report, leak, hang) fails the run and
# leaves the input in build-fuzz/findings/; the decoding child's crashes and time-outs are
# contained and only counted (the last line of load_fuzz's output). load_fuzz also checks the
# viewer's own process after every input: it takes a loaded image through the viewer's steps
# (budget, conversion, screen bitmap) and fails on a child left behind or a leaked descriptor.
# FUZZ_SECONDS overrides the 60-second budget of each target.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-60}
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
  -DGLINTVIEW_FUZZ=ON -DGLINTVIEW_BENCH=OFF -DGLINTVIEW_WERROR=ON >/dev/null
cmake --build build-fuzz --target parser_fuzz load_fuzz -j "$(nproc)"

# New inputs go to a scratch folder so the committed corpus stays as it is.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p build-fuzz/findings "$work/parser" "$work/load"

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
build-fuzz/fuzz/parser_fuzz -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -dict=fuzz/parser.dict -print_final_stats=1 -artifact_prefix=build-fuzz/findings/ \
  "$work/parser" fuzz/corpus

# No names of newly covered functions: printing them starts the sanitizer's symbolizer as a
# child of this process, which the check for children left behind would count as a finding.
build-fuzz/fuzz/load_fuzz -print_funcs=0 -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -max_len=65536 -print_final_stats=1 -artifact_prefix=build-fuzz/findings/ \
  "$work/load" fuzz/load_corpus
