#!/usr/bin/env bash
# Runs the whole benchmark: the engine micro-benchmarks (C++, allocations
# counted), a callgrind profile of simulated lives, and the module
# benchmarks (Python). Prints figures and ratios; it never fails because the
# machine was slow.
#
#   bash scripts/bench.sh [--quick] [--no-callgrind] [bench_module.py options]
#
# --quick runs fewer repetitions (a smoke test); the module benchmark's own
# options (--memory-lives N, --only 1,3) are passed through.
set -euo pipefail
export SABLEWICK_EXTRA_APT="${SABLEWICK_EXTRA_APT:-} libbenchmark-dev nlohmann-json3-dev valgrind"
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

quick=0
callgrind=1
module_args=()
for arg in "$@"; do
  case "$arg" in
    --quick) quick=1; module_args+=("$arg") ;;
    --no-callgrind) callgrind=0 ;;
    *) module_args+=("$arg") ;;
  esac
done

echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) at start"

cmake -S "$ROOT" -B "$BUILD/bench" -G Ninja -DCMAKE_MAKE_PROGRAM="$VENV/bin/ninja" \
  -DCMAKE_BUILD_TYPE=Release -DSABLEWICK_BUILD_MODULE=OFF -DSABLEWICK_BUILD_BENCH=ON >/dev/null
cmake --build "$BUILD/bench" --target sablewick_engine_bench -j2 >/dev/null
engine_bench="$BUILD/bench/bench/sablewick_engine_bench"
config_json="$BUILD/bench/large_config.json"
"$VENV/bin/python" "$ROOT/bench/large_config.py" --json "$config_json"

echo
echo "== engine micro-benchmarks: $engine_bench --config $config_json"
if [ "$quick" = 1 ]; then
  reps=(--benchmark_repetitions=3 --benchmark_min_time=0.05)
else
  reps=(--benchmark_repetitions=7 --benchmark_min_time=0.2)
fi
"$engine_bench" --config "$config_json" "${reps[@]}" --benchmark_report_aggregates_only=true \
  --benchmark_enable_random_interleaving=true --benchmark_color=false

if [ "$callgrind" = 1 ]; then
  lives=$([ "$quick" = 1 ] && echo 10 || echo 50)
  echo
  echo "== callgrind profile of $lives lives (simulate + GameSession::create):"
  echo "   valgrind --tool=callgrind --toggle-collect='*profile_lives*' $engine_bench --config $config_json --profile $lives"
  valgrind --tool=callgrind --callgrind-out-file="$BUILD/bench/callgrind.out" \
    --toggle-collect='*profile_lives*' "$engine_bench" --config "$config_json" --profile "$lives" \
    >/dev/null 2>&1
  "$VENV/bin/python" "$ROOT/bench/callgrind_top.py" "$BUILD/bench/callgrind.out" 8
fi

echo
echo "== module benchmarks: $VENV/bin/python bench/bench_module.py ${module_args[*]:-}"
cd "$ROOT"
"$VENV/bin/python" "$ROOT/bench/bench_module.py" "${module_args[@]}"
echo "load average $(cut -d' ' -f1-3 /proc/loadavg) at the end"
