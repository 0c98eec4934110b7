#!/usr/bin/env bash
# Sets up what is missing, builds, and runs the whole test suite: the C++
# tests (CTest), the Python tests (pytest) and the typed interface (stubtest
# against the built module, mypy --strict over the README's examples and a
# typed usage file), then the C++ and Python suites against
# an AddressSanitizer/UndefinedBehaviorSanitizer build and each fuzzer for
# SABLEWICK_FUZZ_SECONDS (default 30) seconds.
#
#   scripts/test.sh [--quick] [PYTEST_ARGS...]
#
# --quick (or SABLEWICK_QUICK=1) stops after the plain build's suites.
set -euo pipefail
quick="${SABLEWICK_QUICK:-0}"
if [ "${1:-}" = "--quick" ]; then
  quick=1
  shift
fi
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

cmake -S "$ROOT" -B "$BUILD/cpp" -G Ninja -DCMAKE_MAKE_PROGRAM="$VENV/bin/ninja" \
  -DCMAKE_BUILD_TYPE=Release -DSABLEWICK_BUILD_MODULE=OFF -DSABLEWICK_BUILD_TESTS=ON \
  -DPython3_EXECUTABLE="$VENV/bin/python" >/dev/null
cmake --build "$BUILD/cpp" -j"$(nproc)"
ctest --test-dir "$BUILD/cpp" --output-on-failure -j"$(nproc)" --progress

cd "$ROOT"
"$VENV/bin/python" -m pytest tests/python -q "$@"

# The typed interface: the installed stubs against the built module, then the
# README's examples and the usage file as a user's strict mypy sees them.
"$VENV/bin/python" -m mypy.stubtest sablewick_core
rm -rf "$BUILD/typing" && "$VENV/bin/python" tests/python/readme_blocks.py "$BUILD/typing"
MYPYPATH=examples "$VENV/bin/python" -m mypy --strict --cache-dir "$BUILD/mypy-cache" \
  tests/typing/usage.py "$BUILD"/typing/*.py

if [ "$quick" != 1 ]; then
  bash "$ROOT/scripts/sanitize.sh" "$@"
  bash "$ROOT/scripts/fuzz.sh" "${SABLEWICK_FUZZ_SECONDS:-30}"
fi
