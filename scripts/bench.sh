#!/usr/bin/env bash
# Runs the whole benchmark: the baseline commit against the current tree side
# by side on three configuration shapes (engine alone and simulate_full_life),
# the engine micro-benchmarks (C++, allocations counted), a callgrind profile
# of simulated lives, and the module benchmarks (Python). Prints figures and
# ratios; it never fails because the machine was slow.
#
#   bash scripts/bench.sh [--quick] [--no-callgrind] [--no-baseline | --baseline-only]
#                         [bench_module.py options]
#
# --quick runs fewer repetitions (a smoke test); the module benchmark's own
# options (--memory-lives N, --only 1,3) are passed through. The baseline
# (SABLEWICK_BASELINE_COMMIT, default 9300aac) is checked out as a detached
# git worktree in $BUILD/baseline/src and built there: its engine library
# and timing program in $BUILD/baseline/against, its module into
# $BUILD/baseline/site (a pip --target folder, never the venv).
set -euo pipefail
export SABLEWICK_EXTRA_APT="${SABLEWICK_EXTRA_APT:-} libbenchmark-dev nlohmann-json3-dev valgrind"
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

quick=0
callgrind=1
baseline=1
rest=1
module_args=()
for arg in "$@"; do
  case "$arg" in
    --quick) quick=1; module_args+=("$arg") ;;
    --no-callgrind) callgrind=0 ;;
    --no-baseline) baseline=0 ;;
    --baseline-only) rest=0 ;;
    *) module_args+=("$arg") ;;
  esac
done

echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) at start"

if [ "$baseline" = 1 ]; then
  baseline_commit="${SABLEWICK_BASELINE_COMMIT:-9300aac}"
  base="$BUILD/baseline"
  echo
  echo "== baseline $baseline_commit: worktree $base/src"
  mkdir -p "$base"
  # A worktree has a .git file of its own; without one, git -C would act on
  # the enclosing checkout.
  if [ ! -e "$base/src/.git" ]; then
    git -C "$ROOT" worktree prune
    git -C "$ROOT" worktree add --detach "$base/src" "$baseline_commit" >/dev/null
  fi
  git -C "$base/src" checkout -q --detach "$baseline_commit"
  against=(-G Ninja -DCMAKE_MAKE_PROGRAM="$VENV/bin/ninja" -DCMAKE_BUILD_TYPE=Release)
  cmake -S "$ROOT/bench/against" -B "$base/against" "${against[@]}" -DSABLEWICK_TREE="$base/src" >/dev/null
  cmake --build "$base/against" --target life_bench parse_bench -j2 >/dev/null
  cmake -S "$ROOT/bench/against" -B "$BUILD/against" "${against[@]}" -DSABLEWICK_TREE="$ROOT" >/dev/null
  cmake --build "$BUILD/against" --target life_bench parse_bench -j2 >/dev/null
  # The baseline's module in a folder of its own, so the two never mix.
  "$VENV/bin/python" -m pip install -q --no-build-isolation --no-deps --upgrade --target "$base/site" \
    -C build-dir="$base/py" -C cmake.build-type=Release "$base/src"
  configs="$BUILD/side_by_side"
  mkdir -p "$configs"
  for shape in large dense sparse; do
    "$VENV/bin/python" "$ROOT/bench/large_config.py" --json "$configs/config-$shape.json" --shape "$shape"
  done
  "$VENV/bin/python" "$ROOT/bench/large_config.py" --choices "$configs/choices.json"
  side_args=()
  [ "$quick" = 1 ] && side_args+=(--quick)
  "$VENV/bin/python" "$ROOT/bench/side_by_side.py" --configs "$configs" \
    --baseline-bench "$base/against/life_bench" --current-bench "$BUILD/against/life_bench" \
    --baseline-site "$base/site" --baseline-parse "$base/against/parse_bench" \
    --current-parse "$BUILD/against/parse_bench" "${side_args[@]}"
  echo "load average $(cut -d' ' -f1-3 /proc/loadavg) after the side-by-side runs"
  [ "$rest" = 1 ] || exit 0
fi

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
