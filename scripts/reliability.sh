#!/usr/bin/env bash
# The long reliability checks, in order: the sanitizer build with the C++
# tests, the Python suite against the sanitizer module, each fuzzer for a
# fixed time, and the long leak rounds. Installs what it needs itself.
#
#   scripts/reliability.sh [FUZZ_SECONDS_PER_TARGET]     (default 30)
#
# Runs after scripts/test.sh (whose venv and build it reuses for the leak
# rounds). About 13 minutes on a 2-core machine.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
FUZZ_SECONDS="${1:-30}"

step() {
  local name="$1"
  shift
  local start=$SECONDS
  echo "==== $name"
  "$@"
  echo "==== $name: $((SECONDS - start)) s"
}

leak_rounds() {
  source "$ROOT/scripts/setup.sh"
  local probe="$ROOT/tests/python/reliability_probe.py"
  "$VENV/bin/python" "$probe" sync 100000 --check
  "$VENV/bin/python" "$probe" async 100000 --check
  # Batches of 500: hundreds of pool threads started, then left to end.
  "$VENV/bin/python" "$probe" churn 20000 --check
}

total=$SECONDS
step "sanitizers: C++ tests and Python suite" bash "$ROOT/scripts/sanitize.sh"
step "fuzzing, ${FUZZ_SECONDS} s a target" bash "$ROOT/scripts/fuzz.sh" "$FUZZ_SECONDS"
step "leak rounds" leak_rounds
echo "reliability checks passed in $((SECONDS - total)) s"
