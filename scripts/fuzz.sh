#!/usr/bin/env bash
# Builds the libFuzzer targets (the "fuzz" preset: clang 14, with AddressSanitizer and
# UndefinedBehaviorSanitizer over the whole build) and runs each for FUZZ_SECONDS
# seconds (default 60), starting from a copy of its committed corpus
# (fuzz/corpus/<target>/ and fuzz/regressions/<target>/), so the repository is left as
# it was. Fails when a target finds an input that crashes, hangs, leaks or breaks one
# of its properties; that input is kept in FUZZ_ARTIFACTS (default build/fuzz/artifacts)
# and belongs in fuzz/regressions/<target>/ once fixed.
#   scripts/fuzz.sh [target...]        default: every target
#   FUZZ_SECONDS=600 JOBS=2 scripts/fuzz.sh protocol_request
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-60}"
jobs="${JOBS:-2}"
artifacts="${FUZZ_ARTIFACTS:-$PWD/build/fuzz/artifacts}"
all=(preset_json activity_records protocol_request strings_table string_format)
targets=("$@")
if ((${#targets[@]} == 0)); then targets=("${all[@]}"); fi

# The build's own packages, clang 14 and its libFuzzer runtime.
scripts/install-deps.sh --fuzz

cmake --preset fuzz >/dev/null
cmake --build build/fuzz -j "$jobs" --target fuzzers

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$artifacts"
failed=()
printf '%-18s %7s %7s %12s %8s %6s\n' target seeds corpus executions exec/s edges
for target in "${targets[@]}"; do
  corpus="$work/corpus-$target"
  mkdir -p "$corpus"
  cp "fuzz/corpus/$target"/* "$corpus"/
  if [[ -d "fuzz/regressions/$target" ]]; then cp "fuzz/regressions/$target"/* "$corpus"/; fi
  seeds=$(find "$corpus" -type f | wc -l)
  log="$work/$target.log"
  status=0
  # The targets' own temporary folders go under $work too, so that a run that ends
  # in a crash leaves nothing behind.
  mkdir -p "$work/tmp-$target"
  TMPDIR="$work/tmp-$target" "build/fuzz/fuzz/fuzz_$target" "$corpus" \
    -dict="fuzz/dict/$target.dict" -max_total_time="$seconds" -max_len=16384 -timeout=10 \
    -rss_limit_mb=2048 -artifact_prefix="$artifacts/$target-" -print_final_stats=1 >"$log" 2>&1 || status=$?
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  edges=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  printf '%-18s %7s %7s %12s %8s %6s\n' "$target" "$seeds" "$(find "$corpus" -type f | wc -l)" \
    "${executions:-?}" "${rate:-?}" "${edges:-?}"
  if ((status != 0)); then
    failed+=("$target")
    echo "---- $target failed (status $status); the end of its log:" >&2
    tail -n 60 "$log" >&2
    echo "---- the input is in $artifacts (replay: build/fuzz/fuzz/fuzz_$target FILE)" >&2
  fi
done

if ((${#failed[@]} > 0)); then
  echo "fuzzing found faults in: ${failed[*]}" >&2
  exit 1
fi
echo "no faults found (${seconds} s per target)"
