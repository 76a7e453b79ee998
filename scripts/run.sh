#!/usr/bin/env bash
# Installs what is missing, builds the production and plays it.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native --target vorna
exec ./build/native/vorna
