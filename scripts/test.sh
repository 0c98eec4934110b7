#!/usr/bin/env bash
# Sets up what is missing, builds, and runs the C++ tests and the Python tests.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

cmake -S "$ROOT" -B "$BUILD/cpp" -G Ninja -DCMAKE_MAKE_PROGRAM="$VENV/bin/ninja" \
  -DCMAKE_BUILD_TYPE=Release -DSABLEWICK_BUILD_MODULE=OFF -DSABLEWICK_BUILD_TESTS=ON >/dev/null
cmake --build "$BUILD/cpp" -j"$(nproc)"
ctest --test-dir "$BUILD/cpp" --output-on-failure -j"$(nproc)"

cd "$ROOT"
"$VENV/bin/python" -m pytest tests/python -q "$@"
