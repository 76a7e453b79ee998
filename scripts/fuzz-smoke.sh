#!/usr/bin/env bash
# Builds the libFuzzer entry points with clang and runs each for a fixed time
# (default 60 seconds, FUZZ_SECONDS to change) from its seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-60}"
cmake --preset fuzz >/dev/null
targets=$(ls tests/fuzz/fuzz_*.cpp 2>/dev/null | xargs -r -n1 basename | sed 's/\.cpp$//')
[ -n "$targets" ] || { echo "fuzz: no entry points"; exit 0; }
cmake --build --preset fuzz --target $targets
status=0
for t in $targets; do
  work="build/fuzz/corpus-$t"
  mkdir -p "$work"
  seeds=""
  [ -d "tests/fuzz/corpus/$t" ] && seeds="tests/fuzz/corpus/$t"
  echo "fuzz: $t for ${seconds}s"
  if ! "build/fuzz/tests/fuzz/$t" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="build/fuzz/$t-" "$work" $seeds > "build/fuzz/$t.log" 2>&1; then
    echo "fuzz: $t FAILED"; tail -n 40 "build/fuzz/$t.log"; status=1
  else
    grep -E 'stat::number_of_executed_units|cov:' "build/fuzz/$t.log" | tail -n 2
  fi
done
exit $status
