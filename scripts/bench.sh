#!/usr/bin/env bash
# Builds the bench preset and runs the whole benchmark suite, then prints every figure
# beside its baseline from the same run, with the ratio and the budget it is held to.
# Installs what it needs first (the project's Debian packages and hyperfine), and only
# what is missing. Takes about four minutes after the build (--quick: one), most of
# it the live host's 10,000 updates.
#
#   scripts/bench.sh            the full run
#   scripts/bench.sh --quick    fewer repetitions and requests: a smoke run
#   scripts/bench.sh --strict   exit with status 1 when a budget is missed
#
# The raw results (JSON) stay in build/bench/results/. docs/performance.md says what
# each figure measures and against what.
set -euo pipefail
cd "$(dirname "$0")/.."

quick=false
strict=()
for argument in "$@"; do
  case "$argument" in
    --quick) quick=true ;;
    --strict) strict=(--strict) ;;
    *) echo "usage: scripts/bench.sh [--quick] [--strict]" >&2; exit 2 ;;
  esac
done

scripts/install-deps.sh
# hyperfine times `widget-host timeline` from the outside; installed like the rest.
if ! dpkg-query -W -f='${Status}' hyperfine 2>/dev/null | grep -q "install ok installed"; then
  echo "installing: hyperfine" >&2
  sudo_cmd=()
  if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends hyperfine
fi

jobs="$(nproc 2>/dev/null || echo 2)"
cmake --preset bench >/dev/null
# The compiler's output is shown only when the build fails.
mkdir -p build/bench
if ! cmake --build --preset bench -j "$jobs" >build/bench/bench-build.log 2>&1; then
  cat build/bench/bench-build.log >&2
  exit 1
fi

build=build/bench
bin="$build/bench"
results="$build/results"
extension="$build/TulWidgetExtension.appex/TulWidgetExtension"
host="$build/tools/widget-host/widget-host"
mkdir -p "$results"
rm -f "$results"/*.json "$results"/*.txt

if $quick; then
  repetitions=1 min_time=0.05 warm_requests=1000 cold_runs=10 memory_requests=20000 window=5000 host_runs=10
  cold_host_runs=20 rounds=2
  live_updates=100
else
  repetitions=5 min_time=0.2 warm_requests=4000 cold_runs=40 memory_requests=100000 window=10000 host_runs=40
  # A cold start takes milliseconds and moves with the machine: many runs, for a steady median.
  cold_host_runs=150 rounds=5
  live_updates=10000
fi

# Google Benchmark: interleaved repetitions, so that drift hits every contender alike;
# the report takes each one's fastest repetition. Its own table goes to a text file.
google_benchmark() {
  local program="$1" name="$2"
  "$bin/$program" --benchmark_repetitions="$repetitions" --benchmark_enable_random_interleaving=true \
    --benchmark_min_time="$min_time" \
    --benchmark_out="$results/$name.json" --benchmark_out_format=json >"$results/$name.txt" 2>&1
}

# hyperfine times one command after another, so a slow phase of the machine would fall
# on one command and move a ratio. hyperfine_rounds STEM RUNS WARMUP NAME COMMAND ...
# therefore runs the step in $rounds rounds of RUNS/$rounds runs of each command, the
# commands' order reversed every other round; the rounds' exports are
# STEM.round1.json, ..., which bench_report pools, and it prints each ratio's range
# over the rounds. hyperfine's own tables go to STEM.txt.
# A step may take more rounds than $rounds (fewer runs each) by setting step_rounds.
hyperfine_rounds() {
  local stem="$1" runs="$2" warmup="$3"
  shift 3
  local -a pairs=("$@") args
  local rounds="${step_rounds:-$rounds}"
  local round i per_round=$(((runs + rounds - 1) / rounds))
  : >"$results/$stem.txt"
  for ((round = 1; round <= rounds; round++)); do
    args=()
    if ((round % 2 == 1)); then
      for ((i = 0; i < ${#pairs[@]}; i += 2)); do args+=(--command-name "${pairs[i]}" "${pairs[i + 1]}"); done
    else
      for ((i = ${#pairs[@]} - 2; i >= 0; i -= 2)); do args+=(--command-name "${pairs[i]}" "${pairs[i + 1]}"); done
    fi
    hyperfine -N --style basic --warmup "$warmup" --runs "$per_round" \
      --export-json "$results/$stem.round$round.json" "${args[@]}" >>"$results/$stem.txt" 2>&1 || return 1
  done
}

echo "decoding the preset and loadShared() ..." >&2
google_benchmark preset_bench preset
echo "view trees ..." >&2
google_benchmark view_tree_bench view_trees
echo "timeline requests on a warm extension ..." >&2
"$bin/protocol_driver" warm --extension "$extension" --echo "$bin/echo_floor" \
  --requests "$warm_requests" --out "$results/warm.json" >/dev/null
echo "cold starts ..." >&2
"$bin/protocol_driver" cold --extension "$extension" --idle-pair "$bin/idle_pair" \
  --runs "$cold_runs" --out "$results/cold.json" >/dev/null
if [[ -x "$host" ]]; then
  # The cold start as a user sees it: `widget-host timeline`, process start to exit,
  # against its floor: the same two programs started with nothing to do (the host
  # printing its help, the extension with its input closed at once, so that it exits
  # at end of input; hyperfine gives every command /dev/null as input). idle_pair, a
  # bare pair of processes, is the reference below both. bench_report finds each
  # command by its name.
  preferences="$(mktemp -d)"
  trap 'rm -rf "$preferences"' EXIT
  "$bin/protocol_driver" store --folder "$preferences"
  if ! WIDGET_PLATFORM_PREFERENCES="$preferences" hyperfine_rounds cold_widget_host "$cold_host_runs" 10 \
    "widget-host timeline" "'$host' --extension '$extension' timeline" \
    "widget-host idle" "'$host' --help" \
    "extension idle" "'$extension'" \
    "idle_pair" "'$bin/idle_pair'"; then
    echo "widget-host timeline failed; the cold start is the driver's figure" >&2
    rm -f "$results"/cold_widget_host.round*.json
  fi
fi
echo "memory under $memory_requests mixed requests, twice ..." >&2
"$bin/protocol_driver" memory --extension "$extension" --requests "$memory_requests" --window "$window" \
  --out "$results/memory.json" >/dev/null
"$bin/protocol_driver" memory --extension "$extension" --requests "$memory_requests" --window "$window" \
  --ordinary-lines-only --out "$results/memory_ordinary.json" >/dev/null

if [[ -x "$host" ]]; then
  # Pictures: one cold (a process that draws one PNG) against picture_floor, a process
  # that sets up cairo and pango with the same fonts and writes one line as a PNG of
  # the same size; the gallery, cold; and the variant matrix for one phone and one
  # language (12 text sizes, 84 pictures) in one process on every core, against the
  # same 84 pictures drawn one process at a time (one variant per process, each
  # process drawing its 7 pictures). picture_driver draws the same pictures warm. The
  # gallery's floor is timed in the gallery's own rounds: a `widget-host timeline` and
  # a short picture_driver run (two galleries drawn warm, appended to a file) a run.
  echo "pictures, the gallery and the matrix ..." >&2
  pictures="$(mktemp -d)"
  trap 'rm -rf "$preferences" "$pictures"' EXIT
  WIDGET_PLATFORM_PREFERENCES="$preferences" "$host" --extension "$extension" timeline --format png \
    --output "$pictures/one.png" --force >/dev/null
  # The PNG's width and height, from its header.
  read -r width height < <(od -An -tu1 -j16 -N8 "$pictures/one.png" |
    awk '{ print $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8 }')
  cat >"$pictures/one_at_a_time.sh" <<SCRIPT
for size in xSmall small medium large xLarge xxLarge xxxLarge AX1 AX2 AX3 AX4 AX5; do
  '$host' --extension '$extension' gallery --matrix --device 393 --locale en --text-size "\$size" \\
    --output '$pictures/one' --force >/dev/null 2>&1 || exit 1
done
SCRIPT
  # Three times the host's runs, in three times the rounds: a cold picture's time
  # moves by a few milliseconds from run to run, and the machine's speed from one
  # minute to the next. With six runs of each command a round, one slow run moved a
  # round's median; in long rounds, a slow phase fell on one command.
  picture_runs=$((host_runs * 3))
  WIDGET_PLATFORM_PREFERENCES="$preferences" step_rounds=$((rounds * 3)) hyperfine_rounds pictures "$picture_runs" 2 \
    "one picture, cold" \
    "'$host' --extension '$extension' timeline --format png --output '$pictures/one.png' --force" \
    "floor" "'$bin/picture_floor' --width $width --height $height --output '$pictures/floor.png'" \
    "gallery, cold" "'$host' --extension '$extension' gallery --output '$pictures/gallery' --force" \
    "timeline, cold" "'$host' --extension '$extension' timeline" \
    "gallery drawn warm" "'$bin/picture_driver' --extension '$extension' --render-module \
'$build/tools/widget-host/widget-host-render.so' --pictures 1 --galleries 2 \
--append-serial '$results/gallery_warm_serial.txt' --out /dev/null" ||
    { echo "the picture timings failed" >&2; rm -f "$results"/pictures.round*.json; }
  WIDGET_PLATFORM_PREFERENCES="$preferences" hyperfine --style basic --warmup 1 --runs "$((host_runs / 8 + 1))" \
    --export-json "$results/matrix.json" \
    --command-name "matrix, every core" \
    "'$host' --extension '$extension' gallery --matrix --device 393 --locale en --output '$pictures/all' --force" \
    --command-name "matrix, one process at a time" \
    "bash '$pictures/one_at_a_time.sh'" >"$results/matrix.txt" 2>&1 || echo "the matrix timings failed" >&2
  WIDGET_PLATFORM_PREFERENCES="$preferences" "$bin/picture_driver" --extension "$extension" \
    --render-module "$build/tools/widget-host/widget-host-render.so" --pictures "$((host_runs * 2))" \
    --galleries "$((host_runs / 4))" --out "$results/picture.json" >/dev/null || echo "warm drawing failed" >&2
fi

if [[ -x "$host" ]]; then
  # Its median and tail over a few hundred updates; its memory over all of them.
  echo "the live host: $live_updates times a stored preset and a reload to the timeline event ..." >&2
  "$bin/live_driver" --host "$host" --extension "$extension" \
    --render-module "$build/tools/widget-host/widget-host-render.so" --updates "$live_updates" \
    --out "$results/live.json" >/dev/null || echo "the live host's timings failed" >&2
fi

"$bin/bench_report" "$results" "${strict[@]}"
