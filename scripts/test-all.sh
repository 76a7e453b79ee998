#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the native, i386
# and asan presets, then a short fuzzing smoke run of every loader.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
for preset in native i386 asan; do
  echo "==== preset $preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
echo "==== fuzz smoke"
FUZZ_SECONDS="${FUZZ_SECONDS:-60}" ./scripts/fuzz-smoke.sh
