#!/usr/bin/env bash
# The longer reliability checks beyond scripts/test.sh (which already runs
# the suites under the sanitizers and each fuzzer for 30 s): each fuzzer for
# a longer fixed time, and the long leak rounds. Installs what it needs.
#
#   scripts/reliability.sh [FUZZ_SECONDS_PER_TARGET]     (default 300)
#
# Reuses the venv and build of scripts/test.sh for the leak rounds.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
FUZZ_SECONDS="${1:-300}"

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
  # Batches of 500: hundreds of lives queued, the threads beyond the
  # keep-alive count left to end.
  "$VENV/bin/python" "$probe" churn 20000 --check
}

total=$SECONDS
step "fuzzing, ${FUZZ_SECONDS} s a target" bash "$ROOT/scripts/fuzz.sh" "$FUZZ_SECONDS"
step "leak rounds" leak_rounds
echo "reliability checks passed in $((SECONDS - total)) s"
