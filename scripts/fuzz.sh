#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a fixed time.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]     (default 30 s, all)
#
# Each target starts from its seed corpus in fuzz/corpus/<target>/ (kept in
# the repository) and writes what it finds, new inputs and crashes alike,
# to fuzz/corpus-work/<target>/ (ignored by git). A crash, a failed
# expectation or a sanitizer report fails the script.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
SECONDS_EACH="${1:-30}"
shift || true
TARGETS=("$@")
[ ${#TARGETS[@]} -gt 0 ] || TARGETS=(fuzz_check_condition fuzz_age_pattern fuzz_value_grammar)
BUILD="${SABLEWICK_FUZZ_BUILD:-$ROOT/build/fuzz}"
WORK="$ROOT/fuzz/corpus-work"

# clang 14 (Debian's default) cannot compile libstdc++ 12's <expected>: it
# reports __cpp_concepts 201907, and the header needs 202002. Debian 12
# ships clang 19, which does.
CLANG=19
source "$ROOT/scripts/debian_packages.sh"
ensure_debian_packages clang-$CLANG libclang-rt-$CLANG-dev cmake make

cmake -S "$ROOT" -B "$BUILD" -DCMAKE_CXX_COMPILER="clang++-$CLANG" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g" \
  -DSABLEWICK_BUILD_MODULE=OFF -DSABLEWICK_BUILD_TESTS=OFF -DSABLEWICK_BUILD_FUZZ=ON \
  -DSABLEWICK_SANITIZE=address,undefined >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target "${TARGETS[@]}"

export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
summary=()
for target in "${TARGETS[@]}"; do
  mkdir -p "$WORK/$target"
  log="$WORK/$target.log"
  dict=()
  [ -f "$ROOT/fuzz/$target.dict" ] && dict=(-dict="$ROOT/fuzz/$target.dict")
  echo "== $target for ${SECONDS_EACH}s"
  set +e
  "$BUILD/fuzz/$target" -max_total_time="$SECONDS_EACH" -print_final_stats=1 \
    -max_len=4096 -rss_limit_mb=2048 -timeout=10 "${dict[@]}" \
    -artifact_prefix="$WORK/$target/" "$WORK/$target" "$ROOT/fuzz/corpus/$target" >"$log" 2>&1
  status=$?
  set -e
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  if [ "$status" -ne 0 ]; then
    tail -40 "$log" >&2
    echo "$target FAILED (status $status); the input is in $WORK/$target/" >&2
    exit 1
  fi
  summary+=("$target: ${runs:-?} executions (${rate:-?}/s), coverage ${cov:-?} edges")
done
echo "== fuzz summary (${SECONDS_EACH}s each)"
printf '%s\n' "${summary[@]}"
