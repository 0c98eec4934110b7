#!/usr/bin/env bash
# Builds the C++ tests and the module with AddressSanitizer and
# UndefinedBehaviorSanitizer (gcc) and runs both suites against them. Any
# sanitizer report ends the run with a failure, so a clean exit means no
# report.
#
# The module lives in its own venv and build folder (SABLEWICK_SAN_VENV,
# SABLEWICK_SAN_BUILD) so that the ordinary build is left alone. Extra
# arguments go to pytest.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
SAN_BUILD="${SABLEWICK_SAN_BUILD:-$ROOT/build/sanitize}"
SANITIZERS="address,undefined"
# -O1 with line tables: readable reports and a build that fits the CI
# budget. gcc's -Wmaybe-uninitialized misfires on instrumented code.
SAN_FLAGS="-O1 -g -Wno-maybe-uninitialized"

export SABLEWICK_VENV="${SABLEWICK_SAN_VENV:-$ROOT/.venv-sanitize}"
export SABLEWICK_BUILD="$SAN_BUILD"
export SABLEWICK_BUILD_TYPE=RelWithDebInfo
export SKBUILD_CMAKE_DEFINE="SABLEWICK_SANITIZE=$SANITIZERS;CMAKE_CXX_FLAGS_RELWITHDEBINFO=$SAN_FLAGS"
source "$ROOT/scripts/setup.sh"

# A report exits with status 86 (or aborts), never with gtest's or pytest's 1.
REPORT_STATUS=86
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:exitcode=$REPORT_STATUS"
CPP_ASAN="detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1"
CPP_ASAN+=":check_initialization_order=1:exitcode=$REPORT_STATUS"

echo "== C++ tests with $SANITIZERS"
cmake -S "$ROOT" -B "$SAN_BUILD/cpp" -G Ninja -DCMAKE_MAKE_PROGRAM="$VENV/bin/ninja" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=$SAN_FLAGS" \
  -DSABLEWICK_BUILD_MODULE=OFF -DSABLEWICK_BUILD_TESTS=ON \
  -DSABLEWICK_SANITIZE="$SANITIZERS" -DPython3_EXECUTABLE="$VENV/bin/python" >/dev/null
cmake --build "$SAN_BUILD/cpp" -j"$(nproc)"
# Wall-clock budgets widen under the instrumentation (SABLEWICK_SANITIZED);
# the golden lives test checks the first 40 lives of each shape here.
SABLEWICK_SANITIZED=1 ASAN_OPTIONS="$CPP_ASAN" SABLEWICK_GOLDEN_LIVES=40 \
  ctest --test-dir "$SAN_BUILD/cpp" --output-on-failure -j"$(nproc)"

echo "== Python tests against the $SANITIZERS module"
# The interpreter is not instrumented: the runtimes must be loaded first.
# Its own allocations are not ours to judge, so leak detection is off here
# (the leak tests measure our growth directly). PYTHONMALLOC=malloc puts
# every Python object under ASan's watch, so a reference dropped once too
# often shows as a use after free. SABLEWICK_SANITIZED tells the tests to
# skip resident-size figures and widen wall-clock budgets.
cd "$ROOT"
LD_PRELOAD="$(gcc -print-file-name=libasan.so) $(gcc -print-file-name=libubsan.so)" \
ASAN_OPTIONS="detect_leaks=0:strict_string_checks=1:exitcode=$REPORT_STATUS" \
PYTHONMALLOC=malloc SABLEWICK_SANITIZED=1 \
  "$VENV/bin/python" -m pytest tests/python -q -p no:cacheprovider "$@"
