#!/usr/bin/env bash
# Installs what a fresh machine lacks (system packages, a venv with the Python
# packages) and builds and installs the module into the venv.
# Sourced by test.sh and demo.sh. SABLEWICK_VENV and SABLEWICK_BUILD may name
# another venv and build folder (to keep several work trees apart).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
VENV="${SABLEWICK_VENV:-$ROOT/.venv}"
BUILD="${SABLEWICK_BUILD:-$ROOT/build}"

source "$ROOT/scripts/debian_packages.sh"
# shellcheck disable=SC2086  # SABLEWICK_EXTRA_APT is a list of names
ensure_debian_packages g++ cmake libgtest-dev nlohmann-json3-dev ${SABLEWICK_EXTRA_APT:-}

find_python() {
  for c in "${SABLEWICK_PYTHON:-}" python3.12 "$HOME"/.pyenv/versions/3.12*/bin/python3.12 /usr/local/bin/python3.12 /usr/bin/python3.12; do
    [ -n "$c" ] || continue
    if command -v "$c" >/dev/null 2>&1 && "$c" -c 'import sys; assert sys.version_info[:2] == (3, 12)' 2>/dev/null; then
      command -v "$c"; return 0
    fi
  done
  return 1
}
PY="$(find_python)" || { echo "CPython 3.12 not found (set SABLEWICK_PYTHON)" >&2; exit 1; }

if [ ! -x "$VENV/bin/python" ]; then
  echo "creating venv $VENV with $PY"
  "$PY" -m venv "$VENV"
fi
stamp="$VENV/.sablewick-deps"
if [ ! -f "$stamp" ] || [ "$ROOT/pyproject.toml" -nt "$stamp" ]; then
  "$VENV/bin/python" -m pip install -q --upgrade pip
  "$VENV/bin/python" -m pip install -q "scikit-build-core>=0.10" cmake ninja \
    pytest pytest-asyncio pytest-timeout hypothesis uvloop mypy
  touch "$stamp"
fi

# Build and install the module (incremental: the build folder is kept).
"$VENV/bin/python" -m pip install -q --no-build-isolation \
  -C build-dir="$BUILD/py" -C cmake.build-type="${SABLEWICK_BUILD_TYPE:-Release}" "$ROOT"
