#!/usr/bin/env bash
# Proof that the tests are steady: a test that passes once but not twenty
# times, or not on a busy machine, would fail a user's first run.
#
#   bash scripts/stress-tests.sh [REPEATS]     (default 20)
#
# 1. Brings the optimised build (build/) and the sanitizer build
#    (build-sanitize/) up to date, as scripts/test.sh makes them.
# 2. Runs the window and dialog tests (ctest label "window"), and the tests
#    that split work among threads or interrupt a running program, REPEATS
#    times each in a row (ctest --repeat until-fail), in both builds.
# 3. Runs the whole optimised suite and the whole sanitizer suite at the
#    same time, each with -j 2: four test processes on the machine's cores,
#    as a loaded CI machine would run them.
#
# One summary line per run; exits non-zero when any run fails, after all
# runs, with their logs in build-stress-logs/ (ignored by git, as build*/ is).
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
repeats=${1:-20}
case $repeats in '' | *[!0-9]*) echo "stress-tests: REPEATS must be a whole number" >&2; exit 2 ;; esac

export QT_QPA_PLATFORM=offscreen
logs=$here/build-stress-logs
rm -rf "$logs"
mkdir -p "$logs"
failed=0

# The same two builds as scripts/test.sh, brought up to date.
build() { # folder, cmake options...
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja "$@" > "$logs/configure-$dir.log" 2>&1 &&
    cmake --build "$dir" -j "$(nproc)" > "$logs/build-$dir.log" 2>&1
}
for setup in "build -DCMAKE_BUILD_TYPE=Release -DTECTO_WERROR=ON" \
  "build-sanitize -DCMAKE_BUILD_TYPE=Debug -DTECTO_SANITIZE=ON -DTECTO_BENCH=OFF"; do
  # shellcheck disable=SC2086
  if ! build $setup; then
    echo "stress-tests: building ${setup%% *} FAILED (see $logs/build-${setup%% *}.log)"
    exit 1
  fi
done

sanitizer_env=(ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1)

# summary NAME LOG STATUS START: one line from ctest's own count.
summary() {
  local name=$1 log=$2 status=$3 start=$4 line
  line=$(grep -E '^[0-9]+% tests passed' "$log" | tail -n 1)
  [ -n "$line" ] || line="no test summary (see $log)"
  if [ "$status" -eq 0 ]; then
    printf 'stress-tests: %-52s passed: %s (%ds)\n' "$name" "$line" "$(($(date +%s) - start))"
  else
    printf 'stress-tests: %-52s FAILED: %s (%ds, log %s)\n' "$name" "$line" "$(($(date +%s) - start))" "$log"
    grep -E '^\s+[0-9]+ - ' "$log" | head -n 20
    failed=1
  fi
}

# repeated NAME DIR SELECTION...: the selected tests REPEATS times each.
repeated() {
  local name=$1 dir=$2 log start status
  shift 2
  log=$logs/$(echo "$name" | tr -c 'A-Za-z0-9\n' '-').log
  start=$(date +%s)
  env "${sanitizer_env[@]}" ctest --test-dir "$dir" --output-on-failure -j 2 \
    --repeat "until-fail:$repeats" "$@" > "$log" 2>&1
  status=$?
  summary "$name" "$log" "$status" "$start"
}

# Tests that split work among threads, report progress from them, or send
# a running program a signal.
threaded='[Tt]hread|^interrupted\.|[Pp]rogress|[Cc]ancel'
for dir in build build-sanitize; do
  repeated "window and dialog tests x$repeats ($dir)" "$dir" -L window
  repeated "thread and signal tests x$repeats ($dir)" "$dir" -R "$threaded"
done

# Both whole suites at once, two jobs each.
start=$(date +%s)
ctest --test-dir build --output-on-failure -j 2 > "$logs/together-release.log" 2>&1 &
release=$!
env "${sanitizer_env[@]}" ctest --test-dir build-sanitize --output-on-failure -j 2 \
  > "$logs/together-sanitize.log" 2>&1 &
sanitize=$!
wait "$release"
release_status=$?
wait "$sanitize"
sanitize_status=$?
summary "whole optimised suite, beside the sanitizer suite" "$logs/together-release.log" "$release_status" "$start"
summary "whole sanitizer suite, beside the optimised suite" "$logs/together-sanitize.log" "$sanitize_status" "$start"

# The ten slowest tests of the loaded sanitizer run, against ctest's
# per-test timeout.
echo "stress-tests: slowest tests of the loaded sanitizer run (per-test timeout 600 s):"
grep -E 'Test +#[0-9]+: ' "$logs/together-sanitize.log" |
  sed -E 's/^.*Test +#[0-9]+: ([^ ]+) .* ([0-9.]+) sec$/\2 \1/' |
  sort -rn | head -n 10 | awk '{ printf "  %8.1f s  %s\n", $1, $2 }'

if [ "$failed" -ne 0 ]; then
  echo "stress-tests: FAILED"
  exit 1
fi
echo "stress-tests: all runs passed"
