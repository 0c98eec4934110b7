#!/usr/bin/env bash
# Sets up what is missing and simulates one life from the example configuration.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
"$VENV/bin/python" "$ROOT/examples/demo.py" "$@"
